// Helpers the benchmark programs share: clocks, medians, and running the
// sqlite3 shell as a timed child process, the reference the grids are
// measured against.
#pragma once

#include "data/clock.h"
#include "data/database.h"
#include "data/numeric.h"
#include "data/record_source.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDate>
#include <QSqlQuery>
#include <QTableView>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QVariant>

#include <algorithm>
#include <functional>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace shop::bench {

// ---------------------------------------------------------------- settings

// Runs per measurement: BENCH_REPEAT when it is set, else `fallback`.
inline int benchRepeat(int fallback)
{
    const int set = qEnvironmentVariableIntValue("BENCH_REPEAT");
    return set > 0 ? set : fallback;
}

// The twenty employees the business of the benchmarks is shared among.
inline const QStringList& twentyEmployees()
{
    static const QStringList names = {"张丽", "王芳", "李娜", "刘洋", "陈静", "杨敏", "赵强",
                                      "黄磊", "周婷", "吴刚", "徐燕", "孙杰", "胡军", "朱红",
                                      "高峰", "林涛", "何雪", "郭勇", "马超", "罗琳"};
    return names;
}

// ---------------------------------------------------------------- business

// `rows` business transactions in `salse`, in business order: dates rising
// from 2021-01-01 to 2026-12-06, twenty employees, four in ten services,
// seven in ten on a member card, amounts with cents and halves.
// `remarkOf`, when given, makes the remark from a draw in 0..99.
inline void fillBusiness(Database& db, int rows, const std::function<QString(int)>& remarkOf = {})
{
    static const QStringList services = {"洗剪吹", "烫发", "染发", "焗油", "头皮护理", "面部护理"};
    const QDate firstDay(2021, 1, 1);
    std::mt19937 rng(20261207);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const qint64 span = firstDay.daysTo(QDate(2026, 12, 6));

    QSqlQuery q(db.handle());
    if (!q.prepare(QStringLiteral("INSERT INTO salse VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")))
        qFatal("prepare failed");
    Database::Transaction tx(db);
    if (!tx.active())
        qFatal("no transaction: %s", qPrintable(tx.error()));
    for (int i = 0; i < rows; ++i) {
        const QString day = dateText(firstDay.addDays(span * i / qMax(1, rows)));
        const bool service = pick(10) < 4;
        const int product = pick(400);
        const double paid = service ? 30 + 10 * pick(20) : (18 + (product % 40) * 4.5) * (1 + pick(3));
        const QString remark = remarkOf ? remarkOf(pick(100)) : QString();
        const QString values[13] = {
            day,
            service ? QStringLiteral("其它服务") : QStringLiteral("商品销售"),
            pick(10) < 7 ? QStringLiteral("8%1").arg(pick(2000) * 7919 % 10000000, 7, 10, QChar('0'))
                         : QString(),
            service ? QString() : QStringLiteral("P%1").arg(10000 + product),
            service ? QString() : QStringLiteral("商品%1").arg(product),
            QString::number(1 + pick(3)),
            QString::number(18 + (product % 40) * 4.5),
            service ? QString() : dateText(firstDay.addDays(pick(static_cast<int>(span)))),
            numberText(paid),
            service ? services.at(pick(services.size())) : QString(),
            twentyEmployees().at(pick(twentyEmployees().size())),
            remark,
            QString::number(pick(20)),
        };
        for (int c = 0; c < 13; ++c)
            q.bindValue(c, textValue(values[c]));
        if (!q.exec())
            qFatal("insert failed at row %d", i);
    }
    q.finish();
    if (auto r = tx.commit(); !r)
        qFatal("commit failed: %s", qPrintable(r.error));
}

// `count` rows into `table`, the values of row i from `row(i)` (missing
// ones empty), through one prepared statement.
inline void insertRows(Database& db, const QString& table, int count,
                       const std::function<QStringList(int)>& row)
{
    const int width = static_cast<int>(db.columns(table).size());
    QSqlQuery q(db.handle());
    if (!q.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)")
                       .arg(quoteIdent(table), QStringList(width, QStringLiteral("?")).join(u','))))
        qFatal("prepare failed");
    for (int i = 0; i < count; ++i) {
        const QStringList v = row(i);
        for (int c = 0; c < width; ++c)
            q.bindValue(c, v.value(c));
        if (!q.exec())
            qFatal("insert into %s failed", qPrintable(table));
    }
    q.finish();
}

// ---------------------------------------------------------------- clocks

// Wall time on the steady clock, in milliseconds; only differences mean anything.
inline double nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// CPU time of a clock (the process by default), in milliseconds. The machine is
// shared: CPU time is the steadier figure when other work competes for the cores.
inline double cpuMs(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// ---------------------------------------------------------------- medians

// The median; with an even count the mean of the two middle values.
inline double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The upper of the two middle values with an even count (the same as median()
// for an odd count). Kept for the programs that have always reported it, so
// their figures stay comparable with earlier runs.
inline double upperMedian(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// ---------------------------------------------------------------- the shell

// Wall time and CPU time of a step (the machine is shared: CPU time is the
// steadier figure when other work competes for the cores).
struct Time {
    double wall = 0;
    double cpu = 0;
};

inline QString shellPath()
{
    const QString s = qEnvironmentVariable("SQLITE3_SHELL");
    return s.isEmpty() ? QStringLiteral("/usr/bin/sqlite3") : s;
}

struct ShellRun {
    double ms = 0;
    double cpuMs = 0; // user + system time of the shell process
    long maxRssKiB = 0;
    bool started = false;
    bool ok = false; // started and exited with 0
};

// Runs `args` (the program first) with its output to /dev/null (its errors
// too if `quietErrors`) and times the whole process: wall time around spawn
// and wait, CPU and peak memory from the child's own rusage, so that this
// process's work is not counted.
inline ShellRun spawnTimed(std::vector<QByteArray> args, bool quietErrors = false)
{
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    if (quietErrors)
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);

    ShellRun out;
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&fa);
        return out;
    }
    out.started = true;
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    const auto t1 = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&fa);
    out.ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
    out.cpuMs = ru.ru_utime.tv_sec * 1e3 + ru.ru_utime.tv_usec / 1e3 + ru.ru_stime.tv_sec * 1e3 +
                ru.ru_stime.tv_usec / 1e3;
    out.maxRssKiB = ru.ru_maxrss;
    out.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return out;
}

// The dot command that binds `value` as parameter @p<n> of the shell.
inline QByteArray shellParameter(int n, const QVariant& value)
{
    // The shell evaluates a parameter's value as SQL (a bare 2023-06-01
    // becomes the number 2016), so each value is given as a quoted SQL text
    // inside a double-quoted argument of the dot command.
    QString v = value.toString();
    v.replace(QStringLiteral("'"), QStringLiteral("''"));
    v = QLatin1Char('\'') + v + QLatin1Char('\'');
    v.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
    v.replace(QStringLiteral("\""), QStringLiteral("\\\""));
    return QStringLiteral(".parameter set @p%1 \"%2\"").arg(n).arg(v).toUtf8();
}

// Runs `sql` once in the shell on `dbPath`, the values bound as parameters
// @p1..., its output to /dev/null.
inline ShellRun runShellOnce(const QString& dbPath, const QString& sql, const QVariantList& binds)
{
    std::vector<QByteArray> args;
    args.push_back(shellPath().toLocal8Bit());
    args.push_back("-batch");
    for (int i = 0; i < binds.size(); ++i) {
        args.push_back("-cmd");
        args.push_back(shellParameter(i + 1, binds.at(i)));
    }
    args.push_back(QFile::encodeName(dbPath));
    args.push_back(sql.toUtf8());
    return spawnTimed(std::move(args));
}

// runShellOnce `repeat` times: the medians (by `mid`) of wall and CPU time, the
// other fields from the last run; stops at the first failure and says so.
inline ShellRun runShell(const QString& dbPath, const QString& sql, const QVariantList& binds, int repeat,
                         double (*mid)(std::vector<double>) = median)
{
    std::vector<double> wall, cpu;
    ShellRun last;
    for (int i = 0; i < repeat; ++i) {
        last = runShellOnce(dbPath, sql, binds);
        if (!last.ok) {
            std::printf("  ! shell failed: %s\n", qPrintable(sql));
            return last;
        }
        wall.push_back(last.ms);
        cpu.push_back(last.cpuMs);
    }
    last.ms = mid(wall);
    last.cpuMs = mid(cpu);
    return last;
}

// How many runs of a step of `expectedMs` fill about 300 ms (5 to 400): the
// warm shell's runs, and the program's side set against them, so that a
// passing slow spell of a shared machine weighs alike on both.
inline int runsFor(double expectedMs)
{
    return std::clamp(static_cast<int>(300 / std::max(0.02, expectedMs)), 5, 400);
}

// The warm anchor: the statements (one or several, `;` between them) run
// `runs` times in one shell process after one untimed run, under the shell's
// own timer, their output to /dev/null, so neither the shell's start nor its
// first read of the schema and pages counts. Per run: the CPU time (the
// shell's user + system time, in microseconds) as the median, the wall time
// as the mean (the shell's clock counts whole milliseconds; over many runs
// the rounding evens out). `expectedMs` (a run's rough time; 0: unknown, a
// first shell finds it) sets how many runs: about 300 ms of them, 5 to 400.
// Stops the benchmark when the shell fails.
inline Time warmShell(const QString& dbPath, const QString& sql, const QVariantList& binds,
                      double expectedMs = 0);

namespace detail {
inline Time warmShellRuns(const QString& dbPath, const QString& sql, const QVariantList& binds, int runs)
{
    QByteArray script;
    for (int i = 0; i < binds.size(); ++i)
        script += shellParameter(i + 1, binds.at(i)) + '\n';
    script += ".output /dev/null\n.timer on\n";
    QByteArray one = sql.trimmed().toUtf8();
    if (!one.endsWith(';'))
        one += ';';
    one += '\n';
    script += one.repeated(runs + 1);

    QProcess shell;
    shell.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    shell.start(shellPath(), {QStringLiteral("-batch"), QStringLiteral("-bail"), dbPath});
    if (!shell.waitForStarted())
        qFatal("the shell did not start");
    shell.write(script);
    shell.closeWriteChannel();
    shell.waitForFinished(-1);
    const QByteArray out = shell.readAllStandardOutput();
    if (shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0)
        qFatal("the shell failed on: %s", qPrintable(sql.left(300)));
    // "Run Time: real 0.001 user 0.000812 sys 0.000000", one per statement.
    std::vector<double> wall, cpu;
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> w = line.simplified().split(' ');
        if (w.size() == 8 && line.startsWith("Run Time:")) {
            wall.push_back(w.at(3).toDouble() * 1e3);
            cpu.push_back((w.at(5).toDouble() + w.at(7).toDouble()) * 1e3);
        }
    }
    const size_t per = wall.size() / static_cast<size_t>(runs + 1);
    if (per == 0 || wall.size() != per * static_cast<size_t>(runs + 1))
        qFatal("the shell's timer said %d lines for %d runs of: %s", static_cast<int>(wall.size()), runs + 1,
               qPrintable(sql.left(300)));
    std::vector<double> runWall, runCpu;
    for (size_t r = 1; r <= static_cast<size_t>(runs); ++r) {
        double w = 0, c = 0;
        for (size_t k = 0; k < per; ++k) {
            w += wall.at(r * per + k);
            c += cpu.at(r * per + k);
        }
        runWall.push_back(w);
        runCpu.push_back(c);
    }
    double sum = 0;
    for (double w : runWall)
        sum += w;
    return {std::max(0.001, sum / runs), std::max(0.001, median(runCpu))};
}
} // namespace detail

inline Time warmShell(const QString& dbPath, const QString& sql, const QVariantList& binds, double expectedMs)
{
    if (expectedMs <= 0) {
        const Time probe = detail::warmShellRuns(dbPath, sql, binds, 1);
        expectedMs = std::max(probe.wall, probe.cpu);
    }
    return detail::warmShellRuns(dbPath, sql, binds, runsFor(expectedMs));
}

// The shell lacks the program's pinyin collation, and SQLite will not write
// to a table (nor copy a file) whose indexes use a collation it does not know.
// Rebuilds every such index of `file` in its column's own order, with the same
// name and columns, so that the shell can do the same work on a copy.
inline void plainIndexesForShell(const QString& file)
{
    QString err;
    auto db = Database::open(file, &err);
    if (!db)
        qFatal("open failed: %s", qPrintable(err));
    const auto indexes = db->selectAll(QStringLiteral(
        "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND sql LIKE '%COLLATE PINYIN%'"));
    if (!indexes)
        qFatal("cannot read the indexes of %s", qPrintable(file));
    for (const QVariantList& ix : *indexes) {
        QString sql = ix.value(1).toString();
        sql.replace(QStringLiteral(" COLLATE PINYIN"), QString());
        if (!db->exec(QStringLiteral("DROP INDEX %1").arg(quoteIdent(ix.value(0).toString()))) ||
            !db->exec(sql))
            qFatal("cannot rebuild %s", qPrintable(ix.value(0).toString()));
    }
    db->exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

// ---------------------------------------------------------------- statements

// Which order a statement sorts text in: the program's (pinyin, through the
// collation every connection of the program registers; with SortKeys by the
// sort keys of that order, as the record model reads its list of rowids when
// no index serves the order), or the columns' own stored order, the only one
// the sqlite3 shell knows (and the order the program sorted text in before
// it used pinyin).
enum class TextOrder { Program, SortKeys, Shell };

// The statement the record model runs for a source, written out the same way
// so that the shell can run it and its plan can be shown: rowid, `columns`,
// the order columns, the conditions, the order with rowid last. `limit` 0
// means the whole result. With `shellParams` the values become @p1... (as
// runShellOnce binds them), otherwise they stay ?.
inline QString modelSql(const RecordSource& s, const QStringList& columns, int limit, QVariantList* binds,
                        bool shellParams, TextOrder textOrder = TextOrder::Shell)
{
    QStringList sel{QStringLiteral("rowid")};
    for (const QString& c : columns)
        sel << quoteIdent(c);
    for (const SortKey& k : s.order)
        sel << quoteIdent(k.column);
    QString where = s.whereSql(binds);
    if (shellParams) {
        QString numbered;
        int n = 0;
        for (QChar c : where)
            numbered += c == u'?' ? QStringLiteral("@p%1").arg(++n) : QString(c);
        where = numbered;
    }
    QStringList order;
    for (const SortKey& k : s.order)
        order << (textOrder == TextOrder::Program    ? orderTerm(k.column)
                  : textOrder == TextOrder::SortKeys ? orderKeyTerm(k.column)
                                                     : quoteIdent(k.column)) +
                     (k.descending ? " DESC" : "");
    order << QStringLiteral("rowid");
    QString sql = QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4")
                      .arg(sel.join(", "), quoteIdent(s.table), where, order.join(", "));
    if (limit > 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    return sql;
}

// ---------------------------------------------------------------- timing

// Medians of `repeat` runs of `f`.
inline Time timeMedian(int repeat, const std::function<void()>& f)
{
    std::vector<double> wall, cpu;
    for (int i = 0; i < repeat; ++i) {
        const double w0 = nowMs();
        const double c0 = cpuMs();
        f();
        cpu.push_back(cpuMs() - c0);
        wall.push_back(nowMs() - w0);
    }
    return {median(wall), median(cpu)};
}

// A step of the program and its anchor in turns, so that both meet the same
// load of a shared machine: each turn times the program (`ours`, a median of
// its own runs) and then the anchor (given the program's time of the turn,
// to size its runs); the figures are the medians of the turns', the ratios
// the medians of the turns' ratios.
struct Versus {
    Time ours;
    Time anchor;
    double wallRatio = 0;
    double cpuRatio = 0;
};

inline Versus inTurns(int turns, const std::function<Time()>& ours,
                      const std::function<Time(const Time& ours)>& anchor)
{
    std::vector<double> ow, oc, aw, ac, rw, rc;
    for (int t = 0; t < turns; ++t) {
        const Time o = ours();
        const Time a = anchor(o);
        ow.push_back(o.wall);
        oc.push_back(o.cpu);
        aw.push_back(a.wall);
        ac.push_back(a.cpu);
        rw.push_back(o.wall / std::max(0.001, a.wall));
        rc.push_back(o.cpu / std::max(0.001, a.cpu));
    }
    return {{median(ow), median(oc)}, {median(aw), median(ac)}, median(rw), median(rc)};
}

// A value as an SQL literal for a shell script (the program binds it).
inline QString sqlLiteral(const QVariant& v)
{
    if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
        return v.toString();
    QString s = v.toString();
    s.replace(QStringLiteral("'"), QStringLiteral("''"));
    return QStringLiteral("'%1'").arg(s);
}

// A statement with its ? replaced by literals.
inline QString inlined(const QString& sql, const QVariantList& binds)
{
    QString out;
    int n = 0;
    for (QChar c : sql)
        out += c == u'?' ? sqlLiteral(binds.value(n++)) : QString(c);
    return out;
}

// ---------------------------------------------------------------- plans, screens, goals

// The engine's plan of a statement, one line per step.
inline QStringList queryPlan(Database& db, const QString& sql, const QVariantList& binds = {})
{
    QStringList out;
    auto rows = db.selectAll(QStringLiteral("EXPLAIN QUERY PLAN ") + sql, binds);
    if (!rows)
        return {QStringLiteral("(no plan)")};
    for (const QVariantList& r : *rows)
        out << r.value(3).toString();
    return out;
}

// Lets posted events (layout, paint requests) run.
inline void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// Reads every cell of the rows visible in the view through the model.
inline qint64 readScreen(QTableView* view)
{
    QAbstractItemModel* m = view->model();
    const int first = qMax(0, view->rowAt(0));
    int last = view->rowAt(view->viewport()->height() - 1);
    if (last < 0)
        last = m->rowCount() - 1;
    qint64 chars = 0;
    for (int r = first; r <= last; ++r)
        for (int c = 0; c < m->columnCount(); ++c)
            chars += m->data(m->index(r, c)).toString().size();
    return chars;
}

inline const char* verdict(bool ok)
{
    return ok ? "PASS" : "MISS";
}

// A window's control by its objectName; a bench without it cannot go on.
template <class T> T* child(QWidget& w, const char* name)
{
    T* c = w.findChild<T*>(QLatin1String(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

// ---------------------------------------------------------------- memory

// The resident set and its peak (VmRSS, VmHWM), in KiB.
struct Memory {
    long rssKiB = 0;
    long hwmKiB = 0;
};

inline Memory memoryNow()
{
    Memory m;
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return m;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            m.rssKiB = line.mid(6).trimmed().split(' ').value(0).toLong();
        else if (line.startsWith("VmHWM:"))
            m.hwmKiB = line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return m;
}

// Resets VmHWM to the current RSS, so that it shows the peak of the next step.
inline bool resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

// The table sizes named on the command line, else `defaults`; an argument
// that is not a positive whole number gives no sizes (the caller prints its
// usage and exits 2).
inline std::vector<int> sizesFrom(int argc, char** argv, const std::vector<int>& defaults)
{
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        bool ok = false;
        const int n = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || n <= 0)
            return {};
        sizes.push_back(n);
    }
    return sizes.empty() ? defaults : sizes;
}

// ---------------------------------------------------------------- goals

// Every goal checked, for the summary at the end, and whether all were met.
inline QStringList& goals()
{
    static QStringList g;
    return g;
}

inline bool& goalsMet()
{
    static bool met = true;
    return met;
}

// Notes a goal's line and whether it was met.
inline bool judge(const QString& line, bool met)
{
    goals() << line;
    goalsMet() = goalsMet() && met;
    return met;
}

// Which time a ratio's goal is judged on: CPU time, the steadier figure on a
// machine shared with other work; wall time where the work is the disk's; or
// both.
enum class Judged { Cpu, Wall, Both };

inline bool addGoal(const QString& what, double wallRatio, double cpuRatio, double limit,
                    Judged on = Judged::Cpu)
{
    const bool wallOk = wallRatio <= limit;
    const bool cpuOk = cpuRatio <= limit;
    const bool met = on == Judged::Cpu ? cpuOk : on == Judged::Wall ? wallOk : wallOk && cpuOk;
    return judge(QStringLiteral("%1: wall %2x %3, cpu %4x %5 (goal <= %6 on %7): %8")
                     .arg(what)
                     .arg(wallRatio, 0, 'f', 2)
                     .arg(QLatin1String(verdict(wallOk)))
                     .arg(cpuRatio, 0, 'f', 2)
                     .arg(QLatin1String(verdict(cpuOk)))
                     .arg(limit)
                     .arg(QLatin1String(on == Judged::Cpu    ? "cpu"
                                        : on == Judged::Wall ? "wall"
                                                             : "both"))
                     .arg(QLatin1String(verdict(met))),
                 met);
}

// A figure against its limit (at most, or at least).
inline bool addLimit(const QString& what, double value, double limit, const char* unit, bool atLeast = false)
{
    const bool met = atLeast ? value >= limit : value <= limit;
    return judge(QStringLiteral("%1: %2%3 %4 (goal %5 %6%3)")
                     .arg(what)
                     .arg(value, 0, 'f', 2)
                     .arg(QLatin1String(unit))
                     .arg(QLatin1String(verdict(met)))
                     .arg(QLatin1String(atLeast ? ">=" : "<="))
                     .arg(limit),
                 met);
}

// Prints every goal and gives the exit status: 0 only when all were met.
inline int finish()
{
    std::printf("\n== goals ==\n");
    for (const QString& g : goals())
        std::printf("  %s\n", qPrintable(g));
    std::printf("%s\n", goalsMet() ? "every goal met" : "a goal was missed");
    std::fflush(stdout);
    return goalsMet() ? 0 : 1;
}

} // namespace shop::bench
