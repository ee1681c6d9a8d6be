// What the benchmarks that measure a server share: psql as the reference
// (its own \timing of a statement, run many times in one session) and a
// large table filled through psql's \copy.
#pragma once

#include "bench_support.h"

#include "data/database.h"
#include "data/schema.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <functional>

namespace shop::bench {

// Runs a psql script on `s`; its standard output.
inline QByteArray runPsql(const DbServer& s, const QByteArray& script)
{
    QProcess p;
    p.start(QStringLiteral("psql"), {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", s.host, "-p",
                                     QString::number(s.port), "-U", s.user, "-d", s.name, "-f", "-"});
    if (!p.waitForStarted())
        qFatal("psql did not start");
    p.write(script);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        qFatal("psql failed: %s", p.readAllStandardError().constData());
    return p.readAllStandardOutput();
}

// psql's \timing of `runs` runs of a statement in one session that first
// sets what every program connection sets (so both plan alike): the
// median, the first run left out.
inline double psqlMedian(const DbServer& s, const QString& sql, int runs)
{
    QByteArray script;
    for (const QString& set : Database::serverSessionSettings())
        script += set.toUtf8() + ";\n";
    script += "\\o /dev/null\n\\timing on\n";
    for (int i = 0; i < runs + 1; ++i)
        script += sql.toUtf8() + ";\n";
    static const QRegularExpression time(QStringLiteral("^Time: ([0-9.]+) ms"),
                                         QRegularExpression::MultilineOption);
    std::vector<double> ms;
    for (auto it = time.globalMatch(QString::fromUtf8(runPsql(s, script))); it.hasNext();)
        ms.push_back(it.next().captured(1).toDouble());
    if (ms.size() < 2)
        qFatal("psql timed nothing");
    ms.erase(ms.begin());
    return median(ms);
}

// `count` rows of `table` (its columns in stored order, from `row(i)`)
// through a file and psql's \copy, then ANALYZE: a million rows in seconds,
// where one INSERT each would take minutes.
inline void copyRows(const DbServer& s, const QString& dir, const QString& table, int count,
                     const std::function<QStringList(int)>& row)
{
    const QStringList columns = schema::columnsOf(table);
    const QString path = dir + QStringLiteral("/") + table + QStringLiteral(".tsv");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    for (int i = 0; i < count; ++i) {
        QStringList v = row(i);
        v.resize(columns.size());
        f.write(v.join(u'\t').toUtf8() + '\n');
    }
    f.close();
    QStringList quoted;
    for (const QString& c : columns)
        quoted << quoteIdent(c);
    runPsql(s, QStringLiteral("\\copy %1 (%2) FROM '%3'\nANALYZE %1;\n")
                   .arg(quoteIdent(table), quoted.join(QStringLiteral(", ")), path)
                   .toUtf8());
    QFile::remove(path);
}

} // namespace shop::bench
