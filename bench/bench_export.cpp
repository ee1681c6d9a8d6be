// "导出…" of a large `salse` grid to CSV beside the sqlite3 shell writing the
// same rows as CSV to a file, and the memory the export adds to the open grid.
//
// Usage: bench_export [rows]   (default 1000000)
// Environment: SQLITE3_SHELL (default /usr/bin/sqlite3), BENCH_REPEAT (default 3).

#include "sales/business_window.h"
#include "ui/record_view.h"
#include "data/numeric.h"
#include "data/table_rows.h"
#include "support/test_env.h"

#include "bench_support.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

using namespace shop;
using namespace shop::bench;

namespace {

const int kRepeat = benchRepeat(3);
const QDate kLastDay(2026, 12, 6);

// `rows` transactions in business order: dates rising over six years, twenty
// employees, goods and services; one in twenty with a remark that needs
// quoting, one in fifty with one a spreadsheet would run.
void fill(Database& db, int rows)
{
    fillBusiness(db, rows, [](int draw) {
        return draw < 5   ? QStringLiteral("会员价, 含\"赠品\"")
               : draw < 7 ? QStringLiteral("-退货")
                          : QString();
    });
    db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

qint64 lineCount(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    qint64 n = 0;
    char buf[1 << 16];
    for (qint64 got; (got = f.read(buf, sizeof buf)) > 0;)
        n += std::count(buf, buf + got, '\n');
    return n;
}

// The records of an RFC 4180 file, field by field (quotes undone).
class CsvReader {
public:
    explicit CsvReader(const QString& path) : file_(path)
    {
        if (file_.open(QIODevice::ReadOnly))
            data_ = file_.map(0, file_.size());
        if (data_ && file_.size() >= 3 && std::memcmp(data_, "\xEF\xBB\xBF", 3) == 0)
            at_ = 3;
    }
    // False at the end of the file.
    bool next(std::vector<QByteArray>* fields)
    {
        fields->clear();
        const qint64 size = file_.size();
        if (!data_ || at_ >= size)
            return false;
        QByteArray field;
        bool quoted = false;
        for (; at_ < size; ++at_) {
            const char c = static_cast<char>(data_[at_]);
            if (quoted) {
                if (c == '"' && at_ + 1 < size && data_[at_ + 1] == '"') {
                    field += '"';
                    ++at_;
                } else if (c == '"') {
                    quoted = false;
                } else {
                    field += c;
                }
            } else if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                fields->push_back(field);
                field.clear();
            } else if (c == '\r') {
                continue;
            } else if (c == '\n') {
                ++at_;
                break;
            } else {
                field += c;
            }
        }
        fields->push_back(field);
        return true;
    }

private:
    QFile file_;
    const uchar* data_ = nullptr;
    qint64 at_ = 0;
};

// Whether the export holds the shell's values, a guarded formula written
// with its single quote in front. Says where the first difference is.
bool sameValues(const QString& ours, const QString& theirs, qint64* guarded)
{
    CsvReader a(ours), b(theirs);
    std::vector<QByteArray> x, y;
    qint64 line = 0;
    *guarded = 0;
    for (;;) {
        const bool more = a.next(&x);
        if (more != b.next(&y)) {
            std::printf("  ! line counts differ after line %lld\n", line);
            return false;
        }
        if (!more)
            return true;
        ++line;
        if (x.size() != y.size()) {
            std::printf("  ! line %lld: %zu fields against %zu\n", line, x.size(), y.size());
            return false;
        }
        for (size_t i = 0; i < x.size(); ++i) {
            if (x[i] == y[i])
                continue;
            if (x[i] == "'" + y[i]) {
                ++*guarded;
                continue;
            }
            std::printf("  ! line %lld field %zu: %s against %s\n", line, i + 1, x[i].constData(),
                        y[i].constData());
            return false;
        }
    }
}

struct Case {
    QString name;
    int header;          // header clicked before the export; -1: none
    QString search = {}; // a contains-search of 商品名称 before that
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const std::vector<int> sizes = sizesFrom(argc, argv, {1000000});
    if (sizes.size() != 1) {
        std::fprintf(stderr, "usage: %s [rows]  (default 1000000)\n", argv[0]);
        return 2;
    }
    const int count = sizes.front();
    if (!QFileInfo(shellPath()).isExecutable()) {
        std::fprintf(stderr, "no sqlite3 shell at %s (set SQLITE3_SHELL)\n", qPrintable(shellPath()));
        return 2;
    }

    test::TestEnv env(QDateTime(kLastDay, QTime(18, 0)));
    Database& db = env.db();
    const double t0 = nowMs();
    fill(db, count);
    std::printf(
        "bench_export: salse with %d rows (filled in %.1f s; file %.1f MiB); %d turns each of the export "
        "and the shell, medians; shell %s; platform %s\n",
        count, (nowMs() - t0) / 1e3, QFileInfo(db.path()).size() / 1048576.0, kRepeat,
        qPrintable(shellPath()), qPrintable(QGuiApplication::platformName()));
    std::fflush(stdout);

    // The open grid: the business window's as a supervisor (13 columns), its
    // first screen shown.
    env.ctx().setLogin(QStringLiteral("ZED"), QStringLiteral("M"));
    auto w = std::make_unique<BusinessWindow>(env.ctx());
    w->resize(1200, 700);
    w->show();
    settle();
    readScreen(w->grid());
    RecordView* grid = w->grid();
    // The freed memory of one export stays with the process for the next,
    // so each peak is given over the RSS just before it and over the RSS
    // with the grid just opened (the goal is judged on the larger).
    const long opened = memoryNow().rssKiB;

    QTemporaryDir out;
    const QString ours = out.filePath(QStringLiteral("export.csv"));
    const QString theirs = out.filePath(QStringLiteral("shell.csv"));

    const QList<Case> cases = {
        {QStringLiteral("every row, stored order (the opening query)"), -1},
        {QStringLiteral("sorted by 业务日期 (header 0, index)"), 0},
        {QStringLiteral("sorted by 商品名称 (header 4, no index)"), 4},
        {QStringLiteral("search 商品名称 contains 商品1 (stored order)"), -1, QStringLiteral("商品1")},
    };
    bool allOk = true;
    for (const Case& c : cases) {
        if (!c.search.isEmpty())
            grid->searchFor(
                SearchItem{QString(), QString(), QStringLiteral("商品名称"), QString(), QString()}, c.search);
        if (c.header >= 0)
            grid->sortByHeader(c.header);
        settle();
        // The same rows: the grid's columns, conditions (none here) and
        // order, rowid last. The shell lacks the program's pinyin collation:
        // it sorts text in the column's own order (the same order for these
        // names of goods).
        QStringList columns;
        for (const QString& name : grid->records()->columnNames())
            columns << quoteIdent(name);
        QVariantList binds;
        const RecordSource& source = grid->source();
        QStringList order;
        bool allDesc = !source.order.isEmpty();
        for (const SortKey& k : source.order) {
            order << quoteIdent(k.column) + (k.descending ? QStringLiteral(" DESC") : QString());
            allDesc = allDesc && k.descending;
        }
        order << (allDesc ? QStringLiteral("rowid DESC") : QStringLiteral("rowid"));
        const QString sql = inlined(QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4")
                                        .arg(columns.join(QStringLiteral(", ")), quoteIdent(source.table),
                                             source.whereSql(&binds), order.join(QStringLiteral(", "))),
                                    binds);
        std::printf("\n== %s ==\n  shell: %s\n", qPrintable(c.name), qPrintable(sql));

        std::vector<double> ew, ec, sw, sc, peak;
        qint64 ourLines = 0, shellLines = 0, ourBytes = 0, shellBytes = 0;
        for (int turn = 0; turn < kRepeat; ++turn) {
            // The export as a person starts it: Ctrl+E on the grid, the file
            // named in the save dialog, the progress shown until the end.
            QFile::remove(ours);
            env.messages().clear();
            env.messages().answerFile(ours);
            settle();
            const Memory before = memoryNow();
            resetPeak();
            const double w0 = nowMs();
            const double c0 = cpuMs();
            grid->setFocus();
            QTest::keyClick(grid, Qt::Key_E, Qt::ControlModifier);
            ec.push_back(cpuMs() - c0);
            ew.push_back(nowMs() - w0);
            const Memory after = memoryNow();
            peak.push_back((after.hwmKiB - qMin(before.rssKiB, opened)) / 1024.0);
            ourLines = lineCount(ours);
            ourBytes = QFileInfo(ours).size();
            const QString said = env.messages().last().text;

            QFile::remove(theirs);
            std::vector<QByteArray> args{shellPath().toLocal8Bit(),
                                         "-batch",
                                         "-csv",
                                         "-header",
                                         "-cmd",
                                         ".output " + QFile::encodeName(theirs),
                                         QFile::encodeName(db.path()),
                                         sql.toUtf8()};
            const ShellRun s = spawnTimed(args);
            if (!s.ok) {
                std::printf("  ! shell failed\n");
                allOk = false;
            }
            sw.push_back(s.ms);
            sc.push_back(s.cpuMs);
            shellLines = lineCount(theirs);
            shellBytes = QFileInfo(theirs).size();
            std::printf(
                "  turn %d: export wall %8.1f ms cpu %8.1f ms, peak +%6.1f MiB over the open grid (RSS "
                "%.1f MiB before, %.1f MiB with the grid just opened); shell wall %8.1f ms cpu %8.1f ms  "
                "[%s]\n",
                turn + 1, ew.back(), ec.back(), peak.back(), before.rssKiB / 1024.0, opened / 1024.0, s.ms,
                s.cpuMs, qPrintable(QString(said).replace(QLatin1Char('\n'), QLatin1Char(' '))));
            std::fflush(stdout);
        }
        const double wallRatio = median(ew) / median(sw);
        const double cpuRatio = median(ec) / median(sc);
        const double peakMax = *std::max_element(peak.begin(), peak.end());
        qint64 guarded = 0;
        const bool sameRows = ourLines == shellLines && (!c.search.isEmpty() || ourLines == count + 1) &&
                              sameValues(ours, theirs, &guarded);
        allOk = allOk && sameRows;
        std::printf(
            "  export: wall %.1f ms, cpu %.1f ms, %.1f MiB, %lld lines; shell: wall %.1f ms, cpu %.1f "
            "ms, %.1f MiB, %lld lines (%s)\n",
            median(ew), median(ec), ourBytes / 1048576.0, ourLines, median(sw), median(sc),
            shellBytes / 1048576.0, shellLines,
            sameRows ? qPrintable(QStringLiteral("same values, %1 cells guarded").arg(guarded))
                     : "VALUES DIFFER");
        std::printf(
            "  ratio export / shell: wall %.2fx, cpu %.2fx (goal <= 2); peak memory +%.1f MiB (goal < "
            "100) %s\n",
            wallRatio, cpuRatio, peakMax, verdict(peakMax < 100));
        // Judged on wall time: the export writes and syncs a file.
        addGoal(c.name + QStringLiteral(", time"), wallRatio, cpuRatio, 2, Judged::Wall);
        judge(QStringLiteral("%1, memory: peak +%2 MiB %3 (goal < 100)")
                  .arg(c.name)
                  .arg(peakMax, 0, 'f', 1)
                  .arg(QLatin1String(verdict(peakMax < 100))),
              peakMax < 100);
        judge(QStringLiteral("%1, the same rows and values as the shell's: %2")
                  .arg(c.name, QLatin1String(verdict(sameRows))),
              sameRows);
        std::fflush(stdout);
    }
    QFile::remove(ours);
    QFile::remove(theirs);

    judge(QStringLiteral("every export and shell run finished"), allOk);
    return finish();
}
