// Record view over a large `salse` table: time and memory to open a view and
// show its first screen, to re-run it sorted (with and without an index), to
// run contains-searches, and to scroll a view from its first to its last row,
// each beside the same query run by the sqlite3 command-line shell on the same
// file.
//
// Usage: bench_record_view [rows ...]   (default 10000 100000 1000000)
// Environment: SQLITE3_SHELL (default /usr/bin/sqlite3), BENCH_REPEAT (default 5).

#include "ui/record_view.h"
#include "data/record_model.h"
#include "support/test_env.h"

#include "bench_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QScrollBar>
#include <QSqlQuery>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

using namespace shop;
using namespace shop::bench;

namespace {

const QString kTable = QStringLiteral("salse");
const int kMembers = 2000;
const int kRepeat = qMax(1, benchRepeat(5));
// Turns of the view and the shell per step, and of the two text orders.
const int kTurns = 3;
const int kPinyinTurns = 5;
// Half a frame: the CPU a click that fills a grid may take.
constexpr double kClickCpuMs = 8;

double mib(long kib)
{
    return kib / 1024.0;
}

// Wall time and the process's CPU time (the machine is shared: CPU time is
// the steadier figure when other work competes for the cores).
class Stopwatch {
public:
    Stopwatch() { restart(); }
    void restart()
    {
        wall_ = std::chrono::steady_clock::now();
        cpu_ = cpuNow();
    }
    double wallMs() const
    {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall_).count();
    }
    double cpuMs() const { return cpuNow() - cpu_; }

private:
    static double cpuNow() { return bench::cpuMs(); }
    std::chrono::steady_clock::time_point wall_;
    double cpu_ = 0;
};

// ---------------------------------------------------------------- data

QString dateAt(const QDate& d)
{
    return d.toString(QStringLiteral("yyyy-MM-dd"));
}

QString money(double v)
{
    return QString::number(v, 'f', 2);
}

// Fills `salse` with `rows` rows in business order: dates rising over six
// years, a few thousand member cards (some sales without card), a goods list
// of a hair and beauty shop, services, twenty employees.
void fill(Database& db, int rows)
{
    static const QStringList brands = {"玉兰油", "雅丽",   "丝蕴",   "飘柔",  "海飞丝", "清扬",
                                       "沙宣",   "欧莱雅", "施华蔻", "潘婷",  "资生堂", "美涛",
                                       "卡诗",   "蜂花",   "霸王",   "阿道夫"};
    static const QStringList kinds = {"洗发水", "护发素", "发膜",   "精油",   "染发剂", "烫发水",
                                      "发蜡",   "啫喱水", "弹力素", "洗面奶", "面膜",   "爽肤水"};
    static const QStringList sizes = {"200ml", "400ml", "750ml", "1L", "50g", "100g"};
    static const QStringList services = {"洗剪吹",   "烫发", "染发", "焗油", "头皮护理",
                                         "面部护理", "足疗", "按摩", "修眉", "盘发"};
    const QStringList& employees = twentyEmployees();
    static const QStringList notes = {"", "", "", "", "", "", "会员折扣", "赠品", "退货补差", "节日活动"};

    std::mt19937 rng(20261207);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };

    const QDate start(2021, 1, 1);
    const qint64 span = start.daysTo(QDate(2026, 12, 6));

    QSqlQuery q(db.handle());
    QStringList qs;
    for (int i = 0; i < 13; ++i)
        qs << "?";
    if (!q.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(quoteIdent(kTable), qs.join(", "))))
        qFatal("prepare failed");

    Database::Transaction tx(db);
    if (!tx.active())
        qFatal("no transaction: %s", qPrintable(tx.error()));
    for (int i = 0; i < rows; ++i) {
        const QDate day = start.addDays(span * i / qMax(1, rows));
        const bool service = pick(10) < 4;
        const bool member = pick(10) < 7;
        const int memberNo = pick(kMembers);
        const QString card =
            member ? QStringLiteral("8%1").arg((memberNo * 7919 + 104729) % 10000000, 7, 10, QChar('0'))
                   : QString();
        const int product = pick(brands.size() * kinds.size() * sizes.size());
        const QString code = service ? QString() : QStringLiteral("P%1").arg(10000 + product);
        const QString name = service ? QString()
                                     : brands.at(product % brands.size()) +
                                           kinds.at(product / brands.size() % kinds.size()) +
                                           sizes.at(product / brands.size() / kinds.size());
        const int qty = service ? 1 : 1 + pick(5);
        const double price = service ? 30 + 10 * pick(20) : 18 + (product % 40) * 4.5;
        const double paid = qty * price * (member ? 0.9 : 1.0);
        const QString bought = service ? QString() : dateAt(day.addDays(-(15 + pick(180))));

        const QString values[13] = {
            dateAt(day),
            service ? QStringLiteral("服务") : QStringLiteral("销售"),
            card,
            code,
            name,
            QString::number(qty),
            money(price),
            bought,
            money(paid),
            service ? services.at(pick(services.size())) : QString(),
            employees.at(pick(employees.size())),
            notes.at(pick(notes.size())),
            money(paid * 0.1),
        };
        for (int c = 0; c < 13; ++c)
            q.bindValue(c, textValue(values[c]));
        if (!q.exec())
            qFatal("insert failed at row %d", i);
    }
    q.finish();
    if (auto r = tx.commit(); !r)
        qFatal("commit failed: %s", qPrintable(r.error));
    db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

// The card number the contains-search looks for (a fragment of one member's card).
QString cardFragment()
{
    const int memberNo = 42;
    return QStringLiteral("8%1").arg((memberNo * 7919 + 104729) % 10000000, 7, 10, QChar('0')).mid(2);
}

// ---------------------------------------------------------------- the view

// The keyset statement of the page after the first (ascending orders only).
QString nextPageSql(const RecordSource& s, const QStringList& columns, int limit, QVariantList* binds)
{
    QStringList sel{QStringLiteral("rowid")};
    for (const QString& c : columns)
        sel << quoteIdent(c);
    QStringList lhs, qs, order;
    for (const SortKey& k : s.order) {
        sel << quoteIdent(k.column);
        lhs << quoteIdent(k.column);
        qs << orderMark(k.column);
        order << orderTerm(k.column);
    }
    lhs << QStringLiteral("rowid");
    qs << QStringLiteral("?");
    order << QStringLiteral("rowid");
    QString where = s.whereSql(binds);
    for (int i = 0; i < lhs.size(); ++i)
        binds->append(i + 1 < lhs.size() ? QVariant(QString()) : QVariant(qint64(0)));
    where += where.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ");
    where += lhs.size() == 1 ? QStringLiteral("rowid > ?")
                             : QStringLiteral("(%1) > (%2)").arg(lhs.join(", "), qs.join(", "));
    return QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4 LIMIT %5")
        .arg(sel.join(", "), quoteIdent(s.table), where, order.join(", "))
        .arg(limit);
}

// A sort in pinyin order beside the same statement sorting the text in its
// stored (code point) order, as the grid sorted before; both on the
// program's connection, CPU time the steadier figure. `columns` empty reads
// the rowids only, by sort keys, as the model reads its list of the rows
// after the first pages when no index serves the order.
void comparePinyin(Database& db, const RecordSource& s, const QStringList& columns, int limit,
                   const QString& what, int rows)
{
    const TextOrder program = columns.isEmpty() ? TextOrder::SortKeys : TextOrder::Program;
    auto timed = [&](TextOrder order) {
        QVariantList binds;
        const QString sql = modelSql(s, columns, limit, &binds, false, order);
        return timeMedian(kRepeat, [&] {
            qint64 n = 0;
            if (!db.selectKeyedTexts(sql, binds, [&n](qint64, const Database::TextRow&) { return ++n > 0; }))
                qFatal("statement failed: %s", qPrintable(sql));
        });
    };
    // In turns, so both meet the same load; the medians of the turns' ratios.
    const Versus v = inTurns(
        kPinyinTurns, [&] { return timed(program); }, [&](const Time&) { return timed(TextOrder::Shell); });
    std::printf("    %s: pinyin order wall %.2f ms cpu %.2f ms | code point order wall %.2f ms cpu %.2f ms | "
                "pinyin / code point: wall %.2fx %s, cpu %.2fx %s (goal <= 1.5)\n",
                qPrintable(what), v.ours.wall, v.ours.cpu, v.anchor.wall, v.anchor.cpu, v.wallRatio,
                verdict(v.wallRatio <= 1.5), v.cpuRatio, verdict(v.cpuRatio <= 1.5));
    addGoal(QStringLiteral("%1 rows, %2: pinyin vs code point order").arg(rows).arg(what), v.wallRatio,
            v.cpuRatio, 1.5);
}

std::unique_ptr<RecordView> makeView(test::TestEnv& env)
{
    auto view = std::make_unique<RecordView>(env.ctx(), env.db(), kTable);
    view->resize(1200, 700);
    view->setSortColumns({{0, QStringLiteral("业务日期")}, {4, QStringLiteral("商品名称")}});
    return view;
}

struct Timing {
    double wallMs = 0;
    double cpuMs = 0;
};

struct Step {
    QString name;
    RecordSource source;
    Timing view = {};
    Timing nextPage = {};
    long rssDeltaKiB = 0;
    long peakDeltaKiB = 0;
    qint64 resultRows = 0;
    // The shell's warm runs: the whole result, the first page; and the
    // medians of the turns' ratios of the view to the whole result.
    Time shellAll = {};
    Time shellPage = {};
    double wallRatio = 0;
    double cpuRatio = 0;
    QStringList plan = {};
    QStringList nextPlan = {};
};

struct SizeResult {
    int rows = 0;
    Timing open;
};

void printStep(const Step& s, int rows)
{
    std::printf("  %s\n", qPrintable(s.name));
    std::printf(
        "    view:  wall %8.2f ms  cpu %8.2f ms | next page wall %7.2f ms cpu %7.2f ms | RSS %+6.2f MiB "
        "peak %+6.2f MiB | %lld rows in result\n",
        s.view.wallMs, s.view.cpuMs, s.nextPage.wallMs, s.nextPage.cpuMs, mib(s.rssDeltaKiB),
        mib(s.peakDeltaKiB), static_cast<long long>(s.resultRows));
    std::printf(
        "    shell (warm, many runs in one shell), whole result: wall %8.2f ms  cpu %8.2f ms; first page "
        "(LIMIT): wall %.3f ms  cpu %.3f ms\n",
        s.shellAll.wall, s.shellAll.cpu, s.shellPage.wall, s.shellPage.cpu);
    std::printf(
        "    view / shell whole result (medians of %d turns): wall %.2fx %s, cpu %.2fx %s (goal <= 1.5)\n",
        kTurns, s.wallRatio, verdict(s.wallRatio <= 1.5), s.cpuRatio, verdict(s.cpuRatio <= 1.5));
    std::printf("    view / shell first page:   wall %.2fx, cpu %.2fx (information)\n",
                s.view.wallMs / s.shellPage.wall, s.view.cpuMs / s.shellPage.cpu);
    std::printf("    plan, first page: %s\n", qPrintable(s.plan.join(QStringLiteral(" | "))));
    std::printf("    plan, next page:  %s\n", qPrintable(s.nextPlan.join(QStringLiteral(" | "))));
    // The ratio tells how the view grows with the rows it reads; where the
    // engine reads them all in under half a frame, what a person meets is
    // the view's own cost, which the click's goal below judges.
    if (s.shellAll.cpu >= kClickCpuMs)
        addGoal(QStringLiteral("%1 rows, %2 vs shell").arg(rows).arg(s.name), s.wallRatio, s.cpuRatio, 1.5);
    else
        std::printf(
            "    (the ratio is for information: the shell reads the whole result in %.2f ms of cpu, under "
            "%.0f ms)\n",
            s.shellAll.cpu, kClickCpuMs);
    // A click that fills the grid: half a frame of CPU, where the engine
    // itself gives the first page in that time.
    if (s.shellPage.cpu < kClickCpuMs)
        addLimit(QStringLiteral("%1 rows, %2, cpu").arg(rows).arg(s.name), s.view.cpuMs, kClickCpuMs, " ms");
    else
        std::printf(
            "    (a click's goal of %.0f ms of cpu is beyond this step: the shell alone takes %.2f ms of "
            "cpu for the first page)\n",
            kClickCpuMs, s.shellPage.cpu);
}

// Times `run` (which leaves the view showing its first screen) kRepeat times;
// memory is taken from the first run.
template <typename Run> Timing measure(Step& step, Run run, bool memory)
{
    std::vector<double> wall, cpu;
    for (int i = 0; i < kRepeat; ++i) {
        settle();
        resetPeak();
        const Memory before = memoryNow();
        Stopwatch t;
        run();
        wall.push_back(t.wallMs());
        cpu.push_back(t.cpuMs());
        const Memory after = memoryNow();
        if (i == 0 && memory) {
            step.rssDeltaKiB = after.rssKiB - before.rssKiB;
            step.peakDeltaKiB = after.hwmKiB - before.rssKiB;
        }
    }
    return Timing{median(wall), median(cpu)};
}

Timing timeNextPage(RecordModel* m)
{
    Stopwatch t;
    m->fetchMore();
    return Timing{t.wallMs(), t.cpuMs()};
}

// A scroll from the first row to the last: what it is called, the header
// clicked after opening the view (-1: none) and the source that shows.
struct ScrollCase {
    QString name;
    QString goalName;
    int header = -1;
    RecordSource source;
};

// A view of every row, shown, sorted by the case's header, first screen read.
std::unique_ptr<RecordView> openForScroll(test::TestEnv& env, const ScrollCase& sc)
{
    auto view = makeView(env);
    view->refresh();
    view->show();
    settle();
    if (sc.header >= 0) {
        view->sortByHeader(sc.header);
        settle();
    }
    readScreen(view.get());
    return view;
}

// Rowid of the last row of the source in its order (rowid breaking ties).
qint64 lastRowidOf(Database& db, const RecordSource& s)
{
    QStringList order;
    for (const SortKey& k : s.order)
        order << orderTerm(k.column) + (k.descending ? "" : " DESC");
    order << QStringLiteral("rowid DESC");
    QVariantList binds;
    const auto row = db.selectOne(QStringLiteral("SELECT rowid FROM %1%2 ORDER BY %3 LIMIT 1")
                                      .arg(quoteIdent(s.table), s.whereSql(&binds), order.join(", ")),
                                  binds);
    return row ? row->value(0).toLongLong() : -1;
}

void scrollToEnd(test::TestEnv& env, std::unique_ptr<RecordView>& view, const QStringList& columns, int rows,
                 const ScrollCase& sc)
{
    Database& db = env.db();
    view.reset();
    settle();
    const Memory empty = memoryNow();
    view = openForScroll(env, sc);
    settle();
    resetPeak();
    const Memory before = memoryNow();
    RecordModel* m = view->records();
    QScrollBar* bar = view->verticalScrollBar();
    Stopwatch s;
    int steps = 0;
    int stalls = 0;
    qint64 chars = 0;
    while (true) {
        const int had = m->rowCount();
        view->scrollToBottom();
        settle();
        chars += readScreen(view.get());
        ++steps;
        if (!m->canFetchMore() && bar->value() == bar->maximum())
            break;
        stalls = m->rowCount() == had ? stalls + 1 : 0;
        if (stalls > 1000)
            break;
    }
    const Timing scroll{s.wallMs(), s.cpuMs()};
    const Memory after = memoryNow();
    const int lastRow = m->rowCount() - 1;
    const qint64 lastRowid = m->rowidAt(lastRow);
    const qint64 expectedLast = lastRowidOf(db, sc.source);
    const bool reached = expectedLast == lastRowid && !m->canFetchMore();
    const int pages = m->cachedPageCount();
    const int scrolledRows = m->rowCount();

    // The same scroll with painting suppressed: layout, header and model
    // work, the visible rows still read through the model.
    view.reset();
    settle();
    view = openForScroll(env, sc);
    settle();
    view->setUpdatesEnabled(false);
    RecordModel* um = view->records();
    QScrollBar* ubar = view->verticalScrollBar();
    resetPeak();
    const Memory quietBefore = memoryNow();
    Stopwatch q;
    int quietSteps = 0;
    stalls = 0;
    while (true) {
        const int had = um->rowCount();
        view->scrollToBottom();
        settle();
        chars += readScreen(view.get());
        ++quietSteps;
        if (!um->canFetchMore() && ubar->value() == ubar->maximum())
            break;
        stalls = um->rowCount() == had ? stalls + 1 : 0;
        if (stalls > 1000)
            break;
    }
    const Timing quiet{q.wallMs(), q.cpuMs()};
    const Memory quietAfter = memoryNow();
    const int quietRows = um->rowCount();
    view.reset();
    settle();

    // The same pass without the widget: only the model's pages, every cell read.
    RecordModel bare(db);
    bare.setSource(sc.source);
    resetPeak();
    const Memory bareBefore = memoryNow();
    Stopwatch b;
    qint64 bareChars = 0;
    int row = 0;
    while (true) {
        for (; row < bare.rowCount(); ++row)
            for (int c = 0; c < bare.columnCount(); ++c)
                bareChars += bare.data(bare.index(row, c)).toString().size();
        if (!bare.canFetchMore())
            break;
        bare.fetchMore();
    }
    const Timing bareT{b.wallMs(), b.cpuMs()};
    const Memory bareAfter = memoryNow();

    QVariantList b1;
    const Time whole = warmShell(db.path(), modelSql(sc.source, columns, 0, &b1, true), b1);
    // The plain read of the table is the reference of the unsorted scroll only.
    const Time star =
        sc.source.order.isEmpty() ? warmShell(db.path(), QStringLiteral("SELECT * FROM salse"), {}) : Time{};
    const double wholeWall = whole.wall;
    const double wholeCpu = whole.cpu;
    // Peak during the scroll above the process without a view (stricter than
    // above the opened view, which is printed too).
    const long grow = after.hwmKiB - empty.rssKiB;

    std::printf("  %s\n", qPrintable(sc.name));
    std::printf(
        "    view: wall %.1f ms, cpu %.1f ms in %d scroll steps; %d rows, last rowid %lld (%s %lld): %s; %d "
        "pages cached at the end\n",
        scroll.wallMs, scroll.cpuMs, steps, scrolledRows, static_cast<long long>(lastRowid),
        sc.source.order.isEmpty() ? "table max rowid" : "rowid of the last row in order",
        static_cast<long long>(expectedLast), reached ? "end reached" : "END NOT REACHED", pages);
    std::printf(
        "    memory: without a view %.1f MiB, view open %.1f MiB, after scrolling %.1f MiB, peak %.1f MiB;"
        " peak above the opened view %+.1f MiB, above the process without a view %+.1f MiB "
        "(goal < 100): %s\n",
        mib(empty.rssKiB), mib(before.rssKiB), mib(after.rssKiB), mib(after.hwmKiB),
        mib(after.hwmKiB - before.rssKiB), mib(grow), verdict(grow < 100 * 1024));
    std::printf("    shell (warm), model's statement without LIMIT: wall %.1f ms, cpu %.1f ms\n", wholeWall,
                wholeCpu);
    if (star.wall > 0)
        std::printf("    shell (warm), SELECT * FROM salse:             wall %.1f ms, cpu %.1f ms\n",
                    star.wall, star.cpu);
    const double rw = scroll.wallMs / wholeWall, rc = scroll.cpuMs / wholeCpu;
    std::printf("    view scroll / shell whole result: wall %.2fx %s, cpu %.2fx %s (goal <= 2)\n", rw,
                verdict(rw <= 2), rc, verdict(rc <= 2));
    const double qw = quiet.wallMs / wholeWall, qc = quiet.cpuMs / wholeCpu;
    std::printf("    the same scroll with painting suppressed (setUpdatesEnabled(false)): wall %.1f ms, cpu "
                "%.1f ms in "
                "%d steps, %d rows, RSS %+.1f MiB, peak %+.1f MiB; / shell: wall %.2fx %s, cpu %.2fx %s "
                "(goal <= 2)\n",
                quiet.wallMs, quiet.cpuMs, quietSteps, quietRows, mib(quietAfter.rssKiB - quietBefore.rssKiB),
                mib(quietAfter.hwmKiB - quietBefore.rssKiB), qw, verdict(qw <= 2), qc, verdict(qc <= 2));
    std::printf(
        "    model alone (fetchMore to the end, every cell read, no widget): wall %.1f ms, cpu %.1f ms, "
        "%d rows, RSS %+.1f MiB, peak %+.1f MiB; model / shell: wall %.2fx, cpu %.2fx (information)\n",
        bareT.wallMs, bareT.cpuMs, bare.rowCount(), mib(bareAfter.rssKiB - bareBefore.rssKiB),
        mib(bareAfter.hwmKiB - bareBefore.rssKiB), bareT.wallMs / wholeWall, bareT.cpuMs / wholeCpu);
    addGoal(QStringLiteral("%1 rows, %2 to the end (painted) vs shell reading the whole result")
                .arg(rows)
                .arg(sc.goalName),
            rw, rc, 2);
    addGoal(QStringLiteral("%1 rows, %2 to the end (painting suppressed) vs shell reading the whole result")
                .arg(rows)
                .arg(sc.goalName),
            qw, qc, 2);
    judge(QStringLiteral("%1 rows, %2 memory: peak %3 MiB above the process without a view "
                         "(goal < 100): %4; end %5")
              .arg(rows)
              .arg(sc.goalName)
              .arg(mib(grow), 0, 'f', 1)
              .arg(QLatin1String(verdict(grow < 100 * 1024)))
              .arg(QLatin1String(reached ? "reached" : "NOT reached")),
          grow < 100 * 1024 && reached);
    Q_UNUSED(chars);
    Q_UNUSED(bareChars);
}

SizeResult runSize(int rows, bool scroll)
{
    SizeResult result;
    result.rows = rows;
    test::TestEnv env;
    Database& db = env.db();
    const QString path = db.path();

    Stopwatch t;
    fill(db, rows);
    const double fillS = t.wallMs() / 1e3;
    const QStringList columns = db.columns(kTable);

    std::printf(
        "\n== salse with %d rows (filled in %.1f s; file %.1f MiB; %d columns; view runs %d a turn, %d turns "
        "with the shell's warm runs; medians) ==\n",
        rows, fillS, QFileInfo(path).size() / 1048576.0, static_cast<int>(columns.size()), kRepeat, kTurns);

    RecordModel probe(db);
    const int pageSize = 256; // RecordModel's default page

    // The view's step and the shell's warm runs of the model's statement
    // (the whole result, and the first page) in turns.
    auto compareStep = [&](Step& s, const std::function<void()>& run, const std::function<void()>& after) {
        QVariantList b1, b2, b3, b4;
        const QString whole = modelSql(s.source, columns, 0, &b1, true);
        const QString page = modelSql(s.source, columns, pageSize, &b2, true);
        std::vector<double> vw, vc, aw, ac, pw, pc, rw, rc;
        for (int turn = 0; turn < kTurns; ++turn) {
            const Timing v = measure(s, run, turn == 0);
            const Time all = warmShell(path, whole, b1);
            const Time first = warmShell(path, page, b2);
            vw.push_back(v.wallMs);
            vc.push_back(v.cpuMs);
            aw.push_back(all.wall);
            ac.push_back(all.cpu);
            pw.push_back(first.wall);
            pc.push_back(first.cpu);
            rw.push_back(v.wallMs / all.wall);
            rc.push_back(v.cpuMs / all.cpu);
        }
        s.view = {median(vw), median(vc)};
        s.shellAll = {median(aw), median(ac)};
        s.shellPage = {median(pw), median(pc)};
        s.wallRatio = median(rw);
        s.cpuRatio = median(rc);
        if (after)
            after();
        s.plan = queryPlan(db, modelSql(s.source, columns, pageSize, &b3, false, TextOrder::Program), b3);
        s.nextPlan = queryPlan(db, nextPageSql(s.source, columns, pageSize, &b4), b4);
        probe.setSource(s.source);
        s.resultRows = probe.count();
        printStep(s, rows);
        std::fflush(stdout);
    };

    std::unique_ptr<RecordView> view;

    // Open: a new view, every row, shown, first screen read.
    Step open{QStringLiteral("open a view (every row) and show its first screen"), RecordSource::all(kTable)};
    compareStep(
        open,
        [&] {
            view.reset();
            view = makeView(env);
            view->refresh();
            view->show();
            settle();
            readScreen(view.get());
        },
        [&] { open.nextPage = timeNextPage(view->records()); });
    result.open = open.view;

    // Header sorts through the view's sort map.
    Step byDate{QStringLiteral("re-run sorted by 业务日期 (indexed), header 0"),
                RecordSource::all(kTable).orderBy(QStringLiteral("业务日期"))};
    compareStep(
        byDate,
        [&] {
            view->sortByHeader(0);
            settle();
            readScreen(view.get());
        },
        [&] { byDate.nextPage = timeNextPage(view->records()); });

    Step byName{QStringLiteral("re-run sorted by 商品名称 (no index), header 4"),
                RecordSource::all(kTable).orderBy(QStringLiteral("商品名称"))};
    compareStep(
        byName,
        [&] {
            view->sortByHeader(4);
            settle();
            readScreen(view.get());
        },
        [&] { byName.nextPage = timeNextPage(view->records()); });
    comparePinyin(db, byName.source, columns, pageSize, QStringLiteral("sorted by 商品名称, first page"),
                  rows);
    comparePinyin(db, byName.source, {}, 0, QStringLiteral("sorted by 商品名称, every rowid in order"), rows);

    // Contains-searches through the view's search (the answer is given, no input box).
    auto searchStep = [&](const QString& column, const QString& text, const QString& label) {
        Step s{label, RecordSource::all(kTable).filter(column, Op::Contains, text)};
        SearchItem item{QStringLiteral("请输入"), QStringLiteral("查询"), column, QStringLiteral("没有找到"),
                        QStringLiteral("提示")};
        compareStep(
            s,
            [&] {
                view->searchFor(item, text);
                settle();
                readScreen(view.get());
            },
            [&] { s.nextPage = timeNextPage(view->records()); });
    };
    searchStep(QStringLiteral("卡号"), cardFragment(),
               QStringLiteral("contains-search 卡号 \"%1\" (one member's card)").arg(cardFragment()));
    searchStep(QStringLiteral("商品名称"), QStringLiteral("护发"),
               QStringLiteral("contains-search 商品名称 \"护发\" (a common word)"));
    if (env.messages().count() > 0)
        std::printf("  (messages shown by the view: %s)\n", qPrintable(env.messages().texts().join(" / ")));

    if (scroll) {
        scrollToEnd(env, view, columns, rows,
                    {QStringLiteral("scroll the view (every row) from the first to the last row"),
                     QStringLiteral("scroll"), -1, RecordSource::all(kTable)});
        scrollToEnd(
            env, view, columns, rows,
            {QStringLiteral("scroll the view sorted by 商品名称 (no index, header 4) from the first to "
                            "the last row"),
             QStringLiteral("sorted scroll (商品名称)"), 4,
             RecordSource::all(kTable).orderBy(QStringLiteral("商品名称"))});
    }
    view.reset();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const std::vector<int> sizes = sizesFrom(argc, argv, {10000, 100000, 1000000});
    if (sizes.empty()) {
        std::fprintf(stderr, "usage: %s [rows ...]  (default 10000 100000 1000000)\n", argv[0]);
        return 2;
    }
    if (!QFileInfo(shellPath()).isExecutable()) {
        std::fprintf(stderr, "no sqlite3 shell at %s (set SQLITE3_SHELL)\n", qPrintable(shellPath()));
        return 2;
    }
    std::printf("bench_record_view: sizes");
    for (int n : sizes)
        std::printf(" %d", n);
    std::printf("; shell %s; platform %s\n", qPrintable(shellPath()),
                qPrintable(QGuiApplication::platformName()));
    std::fflush(stdout);

    const int largest = *std::max_element(sizes.begin(), sizes.end());
    std::vector<SizeResult> results;
    QElapsedTimer total;
    total.start();
    for (int n : sizes) {
        results.push_back(runSize(n, n == largest));
        std::fflush(stdout);
    }

    std::printf("\n== summary ==\n");
    const auto smallest =
        std::min_element(results.begin(), results.end(),
                         [](const SizeResult& a, const SizeResult& b) { return a.rows < b.rows; });
    const auto biggest =
        std::max_element(results.begin(), results.end(),
                         [](const SizeResult& a, const SizeResult& b) { return a.rows < b.rows; });
    for (const SizeResult& r : results)
        std::printf("  open view, %8d rows: wall %8.2f ms, cpu %8.2f ms\n", r.rows, r.open.wallMs,
                    r.open.cpuMs);
    if (results.size() > 1)
        addGoal(
            QStringLiteral("open a view is flat: %1 rows vs %2 rows").arg(biggest->rows).arg(smallest->rows),
            biggest->open.wallMs / qMax(0.01, smallest->open.wallMs),
            biggest->open.cpuMs / qMax(0.01, smallest->open.cpuMs), 2);
    std::printf("  total run time %.1f s\n", total.nsecsElapsed() / 1e9);
    return finish();
}
