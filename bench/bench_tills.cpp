// Several tills on one shop database, on a PostgreSQL server of its own
// (real disk flushes, synchronous commit on) and on the SQLite files, in one
// run: a durable sale with 1 000 and with a million rows in `salse`, opening
// a grid of every row (10 000 against a million), eight tills together
// against one, and three searches beside the engine's own client (psql, the
// sqlite3 shell) running the same statements.
//
//   bench_tills [large rows] [sales per size]     (default 1000000 300)
// Environment: BENCH_REPEAT (default 7), SQLITE3_SHELL (default /usr/bin/sqlite3),
// BENCH_TILLS_ENGINE=server|files (default both), BENCH_TILLS_ONLY=searches (the
// large size and its searches alone).
#include "data/numeric.h"
#include "data/record_model.h"
#include "data/schema.h"
#include "sales/sale_service.h"
#include "support/pg_cluster.h"
#include "support/test_env.h"
#include "ui/app_context.h"
#include "ui/record_view.h"

#include "bench_shop.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <array>
#include <barrier>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include <sched.h>
#include <unistd.h>

using namespace shop;
using namespace shop::bench;

namespace {

const int kRepeat = benchRepeat(7);
// Turns of program and reference per search.
const int kTurns = 5;
constexpr int kGoods = 10000;
constexpr int kCards = 10000;
constexpr int kMembers = 2000;
constexpr int kPageSize = 256; // the record model's page
const QDate kFirstDay(2021, 1, 1);
const QDate kLastDay(2026, 12, 6);
// The tills sell on the day after the history.
const QDateTime kOpenedAt(kLastDay.addDays(1), QTime(10, 0));
const QStringList kEmployees = twentyEmployees();

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
    return v.at(i);
}

QString goodsCode(int i)
{
    return QStringLiteral("G%1").arg(i, 6, 10, QChar(u'0'));
}

QString cardNumber(int i)
{
    return QStringLiteral("C%1").arg(i, 6, 10, QChar(u'0'));
}

QString memberCard(int member)
{
    return QStringLiteral("8%1").arg((member * 7919 + 104729) % 10000000, 7, 10, QChar(u'0'));
}

// `rows` transactions in business order (as bench_record_view fills them):
// dates rising over six years, member cards, goods of a hair and beauty
// shop, services, twenty employees. The same rows on either engine.
void fillShop(Shop& shop, int rows)
{
    static const QStringList brands = {"玉兰油", "雅丽",   "丝蕴",   "飘柔",  "海飞丝", "清扬",
                                       "沙宣",   "欧莱雅", "施华蔻", "潘婷",  "资生堂", "美涛",
                                       "卡诗",   "蜂花",   "霸王",   "阿道夫"};
    static const QStringList kinds = {"洗发水", "护发素", "发膜",   "精油",   "染发剂", "烫发水",
                                      "发蜡",   "啫喱水", "弹力素", "洗面奶", "面膜",   "爽肤水"};
    static const QStringList sizes = {"200ml", "400ml", "750ml", "1L", "50g", "100g"};
    static const QStringList services = {"洗剪吹", "烫发", "染发", "焗油", "头皮护理", "面部护理"};

    const double t0 = nowMs();
    std::mt19937 rng(20261207);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const qint64 span = kFirstDay.daysTo(kLastDay);
    fillTable(shop, QStringLiteral("salse"), rows, [&](int i) -> QStringList {
        const QDate day = kFirstDay.addDays(span * i / qMax(1, rows));
        const bool service = pick(10) < 4;
        const bool member = pick(10) < 7;
        const QString card = member ? memberCard(pick(kMembers)) : QString();
        const int product = pick(static_cast<int>(brands.size() * kinds.size() * sizes.size()));
        const int qty = service ? 1 : 1 + pick(5);
        const double price = service ? 30 + 10 * pick(20) : 18 + (product % 40) * 4.5;
        const double paid = qty * price * (member ? 0.9 : 1.0);
        return {dateText(day),
                service ? QStringLiteral("其它服务") : QStringLiteral("商品销售"),
                card,
                service ? QString() : QStringLiteral("P%1").arg(10000 + product),
                service
                    ? QString()
                    : brands.at(product % brands.size()) + kinds.at(product / brands.size() % kinds.size()) +
                          sizes.at(product / brands.size() / kinds.size()),
                QString::number(qty),
                numberText(price),
                service ? QString() : dateText(day.addDays(-(15 + pick(180)))),
                numberText(paid),
                service ? services.at(pick(services.size())) : QString(),
                kEmployees.at(pick(kEmployees.size())),
                QString(),
                QString::number(pick(20))};
    });
    // Goods lines and cards enough that no sale runs out: half the cards
    // counted in uses, half 钻石卡 with money.
    fillTable(shop, QStringLiteral("jinhuo"), kGoods, [](int i) -> QStringList {
        return {QStringLiteral("商品%1").arg(i),
                goodsCode(i),
                "200ml",
                "24",
                "10",
                "18",
                "1000000000",
                "供应商甲",
                "2026-01-01",
                ""};
    });
    fillTable(shop, QStringLiteral("numbercard"), kCards, [](int i) -> QStringList {
        const bool value = i % 2;
        return {"2026-01-01",
                cardNumber(i),
                "张丽",
                QStringLiteral("顾客%1").arg(i),
                "洗剪吹",
                value ? "1000000000000" : "0",
                value ? "0" : "100000000",
                value ? "钻石卡" : "月卡",
                ""};
    });
    // A server's statistics come from its autovacuum soon after a load like
    // this; a file's planner goes without, as the program leaves it.
    if (shop.onServer())
        runPsql(*shop.server, "VACUUM ANALYZE\n");
    else
        shop.db().exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    std::printf("  filled salse with %d rows, jinhuo and numbercard with %d and %d in %.1f s\n", rows, kGoods,
                kCards, (nowMs() - t0) / 1e3);
    std::fflush(stdout);
}

// ---------------------------------------------------------------- a sale

// A sale of one item and a service on a card, as the business window makes it.
SaleEntry saleEntry(QRandomGenerator& rng, int cards, int goods, int n)
{
    SaleEntry e;
    e.goods = e.service = true;
    e.card = cardNumber(rng.bounded(cards));
    e.productCode = goodsCode(rng.bounded(goods));
    e.productName = QStringLiteral("商品");
    e.quantity = QStringLiteral("1");
    e.retailPrice = QStringLiteral("18元");
    e.purchaseDate = QStringLiteral("2026-01-01");
    e.money = QStringLiteral("30");
    e.serviceItem = QStringLiteral("洗剪吹");
    e.employee = QStringLiteral("张丽");
    e.remark = QStringLiteral("bench %1").arg(n);
    e.commission = 3;
    return e;
}

struct SaleFigures {
    double median = 0, p90 = 0, p99 = 0, max = 0;
    double checkMedian = 0, saveMedian = 0;
    double commitFloor = 0;
};

// `count` sales one after the other on the shop's connection: check() and
// save(), each timed.
SaleFigures timeSales(Shop& shop, int count)
{
    Database& db = shop.db();
    SaleService service(db);
    QRandomGenerator rng(20261207);
    const QString today = shop.ctx->today();
    std::vector<double> total, checks, saves;
    for (int i = -10; i < count; ++i) { // ten to warm up
        const SaleEntry e = saleEntry(rng, kCards, kGoods, i);
        const double t0 = nowMs();
        const SaleOutcome checked = service.check(e);
        const double t1 = nowMs();
        const SaleOutcome saved = service.save(e, checked, today);
        const double t2 = nowMs();
        if (saved.kind != SaleOutcome::Saved)
            qFatal("sale %d not saved: %d %s %s", i, int(saved.kind), qPrintable(saved.step),
                   qPrintable(saved.error));
        if (i < 0)
            continue;
        total.push_back(t2 - t0);
        checks.push_back(t1 - t0);
        saves.push_back(t2 - t1);
    }
    // The disk's share: one durable commit that changes one value.
    std::vector<double> floor;
    for (int i = 0; i < 100; ++i) {
        const double t0 = nowMs();
        Database::Transaction tx(db);
        db.exec(QStringLiteral("UPDATE jinhuo SET 说明 = ? WHERE rowid = 1"), {QString::number(i)});
        tx.commit();
        floor.push_back(nowMs() - t0);
    }
    return {percentile(total, 0.5),  percentile(total, 0.9), percentile(total, 0.99), percentile(total, 1),
            percentile(checks, 0.5), percentile(saves, 0.5), percentile(floor, 0.5)};
}

void printSale(const char* what, const SaleFigures& f)
{
    std::printf("  durable sale, %s: median %.3f ms, p90 %.3f ms, p99 %.3f ms, slowest %.3f ms "
                "(check %.3f + save %.3f, medians); one-value commit %.3f ms\n",
                what, f.median, f.p90, f.p99, f.max, f.checkMedian, f.saveMedian, f.commitFloor);
    std::fflush(stdout);
}

// ---------------------------------------------------------------- CPU

// CPU time of each of the server's processes (the postmaster and every
// process it started: the tills' backends, the WAL writer, the
// checkpointer...) in ms, from the scheduler's own count in nanoseconds, by
// process id; none for the files.
QHash<QByteArray, double> serverCpu(const Shop& shop)
{
    QHash<QByteArray, double> out;
    if (!shop.onServer())
        return out;
    QFile pidFile(shop.server->host + QStringLiteral("/data/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(pidFile.fileName()));
    const QByteArray postmaster = pidFile.readLine().trimmed();
    auto runtime = [&out](const QByteArray& pid) {
        QFile f(QStringLiteral("/proc/%1/schedstat").arg(QString::fromLatin1(pid)));
        if (f.open(QIODevice::ReadOnly))
            out.insert(pid, f.readAll().split(' ').value(0).toDouble() / 1e6);
    };
    runtime(postmaster);
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (entry.front().isDigit() && stat.open(QIODevice::ReadOnly)) {
            // "pid (name) state ppid ...": the name may hold spaces.
            const QByteArray line = stat.readAll();
            const QList<QByteArray> after = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (after.value(1) == postmaster)
                runtime(entry.toLatin1());
        }
    }
    return out;
}

// The server's CPU time between two readings: of every process there at
// the second (one started since counts from zero).
double serverCpuBetween(const QHash<QByteArray, double>& before, const QHash<QByteArray, double>& after)
{
    double ms = 0;
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        ms += it.value() - before.value(it.key(), 0);
    return ms;
}

// The cores this process may run on.
int cores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
}

// The machine's CPU time spent by any process, in ms (from /proc/stat), to
// tell how much of the cores other work took during a run.
double machineBusyMs()
{
    QFile f(QStringLiteral("/proc/stat"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    // cpu user nice system idle iowait irq softirq steal ...
    const QList<QByteArray> v = f.readLine().simplified().split(' ');
    double busy = 0;
    for (int i : {1, 2, 3, 6, 7, 8})
        busy += v.value(i).toDouble();
    return busy * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// ---------------------------------------------------------------- tills

struct TillsRun {
    int tills = 0;
    int saved = 0;
    int refused = 0;
    int failed = 0;
    QString firstFailure;
    double seconds = 0;
    double latencyMedian = 0;
    // CPU time of the run: this process (the tills) and the server.
    double clientCpuMs = 0;
    double serverCpuMs = 0;
    // CPU time of the whole machine during the run.
    double machineCpuMs = 0;
    double perSecond() const { return seconds > 0 ? saved / seconds : 0; }
    // CPU time per sale, client and server together.
    double cpuPerSale() const { return saved > 0 ? (clientCpuMs + serverCpuMs) / saved : 0; }
    // The share of the machine's CPU time that other work took.
    double othersShare() const
    {
        const double all = seconds * 1e3 * cores();
        return all > 0 ? qBound(0.0, (machineCpuMs - clientCpuMs - serverCpuMs) / all, 1.0) : 0;
    }
};

// `tills` threads, each on a connection of its own opened before the clock
// starts, each making `each` sales on `cards` cards and `goods` lines.
TillsRun runTills(Shop& shop, int tills, int each, int cards, int goods)
{
    TillsRun run;
    run.tills = tills;
    const QString today = shop.ctx->today();
    // Every till connected, then all start; at the end the CPU times are
    // read before any connection closes (its server process would be gone).
    std::barrier ready(tills + 1), start(tills + 1), done(tills + 1), measured(tills + 1);
    struct Log {
        int saved = 0, refused = 0, failed = 0;
        QString failure;
        std::vector<double> latencies;
    };
    std::vector<Log> logs(tills);
    std::vector<std::thread> threads;
    for (int t = 0; t < tills; ++t)
        threads.emplace_back([&, t] {
            Log& log = logs[t];
            QString err;
            auto db = shop.openTill(&err);
            ready.arrive_and_wait();
            start.arrive_and_wait();
            const auto end = qScopeGuard([&] {
                done.arrive_and_wait();
                measured.arrive_and_wait();
            });
            if (!db) {
                log.failed = each;
                log.failure = err;
                return;
            }
            SaleService service(*db);
            QRandomGenerator rng(1000u + static_cast<quint32>(t));
            for (int i = 0; i < each; ++i) {
                const SaleEntry e = saleEntry(rng, cards, goods, i);
                const double t0 = nowMs();
                const SaleOutcome out = service.save(e, service.check(e), today);
                log.latencies.push_back(nowMs() - t0);
                if (out.kind == SaleOutcome::Saved) {
                    ++log.saved;
                } else if (out.kind == SaleOutcome::Refused) {
                    ++log.refused;
                } else {
                    ++log.failed;
                    if (log.failure.isEmpty())
                        log.failure = out.step + QStringLiteral(": ") + out.error;
                }
            }
        });
    ready.arrive_and_wait();
    const auto server0 = serverCpu(shop);
    const double client0 = cpuMs();
    const double machine0 = machineBusyMs();
    const double t0 = nowMs();
    start.arrive_and_wait();
    done.arrive_and_wait();
    run.seconds = (nowMs() - t0) / 1e3;
    run.clientCpuMs = cpuMs() - client0;
    run.machineCpuMs = machineBusyMs() - machine0;
    run.serverCpuMs = serverCpuBetween(server0, serverCpu(shop));
    measured.arrive_and_wait();
    for (std::thread& t : threads)
        t.join();
    std::vector<double> latencies;
    for (const Log& log : logs) {
        run.saved += log.saved;
        run.refused += log.refused;
        run.failed += log.failed;
        if (run.firstFailure.isEmpty())
            run.firstFailure = log.failure;
        latencies.insert(latencies.end(), log.latencies.begin(), log.latencies.end());
    }
    run.latencyMedian = percentile(latencies, 0.5);
    return run;
}

void printTills(const char* what, const TillsRun& r)
{
    std::printf("    %s, %d till%s: %d saved, %d refused, %d failed in %.2f s: %.0f sales/s; sale median "
                "%.2f ms; cpu a sale %.3f ms (tills %.3f + server %.3f); other work took %.0f%% of the "
                "cores%s%s\n",
                what, r.tills, r.tills == 1 ? "" : "s", r.saved, r.refused, r.failed, r.seconds,
                r.perSecond(), r.latencyMedian, r.cpuPerSale(), r.clientCpuMs / qMax(1, r.saved),
                r.serverCpuMs / qMax(1, r.saved), 100 * r.othersShare(),
                r.firstFailure.isEmpty() ? "" : "; first failure: ", qPrintable(r.firstFailure));
    std::fflush(stdout);
}

// ---------------------------------------------------------------- grid

Time openGrid(Shop& shop)
{
    std::unique_ptr<RecordView> view;
    auto open = [&] {
        view.reset();
        settle();
        view = std::make_unique<RecordView>(*shop.ctx, shop.db(), QStringLiteral("salse"));
        view->resize(1200, 700);
        view->setSortColumns({{0, QStringLiteral("业务日期")}, {4, QStringLiteral("商品名称")}});
        view->refresh();
        view->show();
        settle();
        readScreen(view.get());
    };
    open(); // warms the caches
    return timeMedian(kRepeat, open);
}

// ---------------------------------------------------------------- searches

struct Search {
    QString name;
    RecordSource source;
};

struct SearchFigures {
    Time page;          // the grid's first page through the record model
    Time whole;         // every row of the result through the data layer
    double refPage = 0; // psql's or the shell's time for the same statements
    double refWhole = 0;
    // Medians of the turns' ratios (program / reference).
    double pageRatio = 0;
    double wholeRatio = 0;
    qint64 rows = 0;
    QStringList plan;
};

SearchFigures timeSearch(Shop& shop, const Search& s)
{
    Database& db = shop.db();
    const QStringList columns = db.columns(QStringLiteral("salse"));
    SearchFigures f;
    RecordModel model(db);
    if (!model.setSource(s.source))
        qFatal("search failed: %s", qPrintable(model.lastError()));
    f.rows = model.count();

    QVariantList binds;
    const QString wholeSql = modelSql(s.source, columns, 0, &binds, false, TextOrder::Program);
    auto readAll = [&] {
        qint64 bytes = 0;
        if (!db.selectKeyedTexts(wholeSql, binds, [&bytes](qint64, const Database::TextRow& row) {
                for (int c = 0; c < row.count(); ++c)
                    bytes += row.utf8(c).size();
                return true;
            }))
            qFatal("statement failed: %s", qPrintable(wholeSql));
    };
    readAll();

    QVariantList pageBinds;
    const QString pageSql = modelSql(s.source, columns, kPageSize, &pageBinds, false, TextOrder::Program);
    // The program and the reference in turns, so that both meet the same
    // load of a shared machine: each figure is the median of the turns', and
    // each ratio the median of the turns' ratios.
    std::vector<double> pageW, pageC, wholeW, wholeC, refPage, refWhole, pageRatio, wholeRatio;
    QVariantList b1, b2;
    const QString shellPage = modelSql(s.source, columns, kPageSize, &b1, true, TextOrder::Shell);
    const QString shellWhole = modelSql(s.source, columns, 0, &b2, true, TextOrder::Shell);
    for (int turn = 0; turn < kTurns; ++turn) {
        const Time page = timeMedian(kRepeat, [&] { model.setSource(s.source); });
        const Time whole = timeMedian(kRepeat, readAll);
        double rp = 0, rw = 0;
        if (shop.onServer()) {
            // psql is handed the values as literals (it cannot bind them); the
            // program's unnamed statements are planned with their values too.
            rp = psqlMedian(*shop.server, inlined(pageSql, pageBinds), kRepeat);
            rw = psqlMedian(*shop.server, inlined(wholeSql, binds), kRepeat);
        } else {
            // The shell's warm runs in one process, as psql's in one session.
            rp = warmShell(db.path(), shellPage, b1).wall;
            rw = warmShell(db.path(), shellWhole, b2).wall;
        }
        pageW.push_back(page.wall);
        pageC.push_back(page.cpu);
        wholeW.push_back(whole.wall);
        wholeC.push_back(whole.cpu);
        refPage.push_back(rp);
        refWhole.push_back(rw);
        pageRatio.push_back(page.wall / qMax(0.001, rp));
        wholeRatio.push_back(whole.wall / qMax(0.001, rw));
    }
    f.page = {median(pageW), median(pageC)};
    f.whole = {median(wholeW), median(wholeC)};
    f.refPage = median(refPage);
    f.refWhole = median(refWhole);
    f.pageRatio = median(pageRatio);
    f.wholeRatio = median(wholeRatio);
    if (shop.onServer()) {
        const auto plan =
            db.selectAll(QStringLiteral("EXPLAIN (ANALYZE, BUFFERS) ") + inlined(pageSql, pageBinds));
        if (plan)
            for (const QVariantList& line : *plan)
                f.plan << line.value(0).toString().trimmed();
    } else {
        f.plan = queryPlan(db, pageSql, pageBinds);
    }
    return f;
}

// ---------------------------------------------------------------- one engine

struct EngineFigures {
    QString name;
    SaleFigures saleSmall, saleLarge;
    Time gridSmall, gridLarge;
    TillsRun one, eight, oneHot, eightHot;
    QList<QPair<QString, SearchFigures>> searches;
};

EngineFigures runSearches(Shop& shop, EngineFigures& e);

EngineFigures runEngine(test::PgCluster* cluster, int largeRows, int sales)
{
    EngineFigures e;
    e.name = cluster ? QStringLiteral("server") : QStringLiteral("files");
    std::printf("\n== %s ==\n", cluster ? "PostgreSQL server (durable cluster, synchronous_commit on)"
                                        : "SQLite files (WAL, synchronous=FULL)");
    std::fflush(stdout);
    const bool searchesOnly = qEnvironmentVariable("BENCH_TILLS_ONLY") == QLatin1String("searches");
    if (!searchesOnly) {
        auto shop = openShop(cluster, kOpenedAt);
        fillShop(*shop, 1000);
        e.saleSmall = timeSales(*shop, sales);
        printSale("1 000 rows in salse", e.saleSmall);
    }
    if (!searchesOnly) {
        auto shop = openShop(cluster, kOpenedAt);
        fillShop(*shop, 10000);
        e.gridSmall = openGrid(*shop);
        std::printf("  open a grid of every row, 10 000 rows: wall %.2f ms, cpu %.2f ms\n", e.gridSmall.wall,
                    e.gridSmall.cpu);
    }
    auto shop = openShop(cluster, kOpenedAt);
    fillShop(*shop, largeRows);
    if (searchesOnly)
        return runSearches(*shop, e);
    e.gridLarge = openGrid(*shop);
    std::printf("  open a grid of every row, %d rows: wall %.2f ms, cpu %.2f ms\n", largeRows,
                e.gridLarge.wall, e.gridLarge.cpu);
    e.saleLarge = timeSales(*shop, sales);
    printSale(qPrintable(QStringLiteral("%1 rows in salse").arg(largeRows)), e.saleLarge);

    std::printf("  tills (each its own connection; sales spread over %d cards and %d lines, or hot: 20 cards "
                "and 50 lines):\n",
                kCards, kGoods);
    const int each = qMax(50, sales);
    e.one = runTills(*shop, 1, each * 2, kCards, kGoods);
    printTills("spread", e.one);
    e.eight = runTills(*shop, 8, each, kCards, kGoods);
    printTills("spread", e.eight);
    e.oneHot = runTills(*shop, 1, each * 2, 20, 50);
    printTills("hot", e.oneHot);
    e.eightHot = runTills(*shop, 8, each, 20, 50);
    printTills("hot", e.eightHot);

    return runSearches(*shop, e);
}

EngineFigures runSearches(Shop& shopRef, EngineFigures& e)
{
    Shop* shop = &shopRef;
    const QList<Search> searches = {
        {QStringLiteral("卡号 = one member's card"),
         RecordSource::all(QStringLiteral("salse")).filter(QStringLiteral("卡号"), Op::Eq, memberCard(42))},
        {QStringLiteral("商品名称 contains \"护发\""),
         RecordSource::all(QStringLiteral("salse"))
             .filter(QStringLiteral("商品名称"), Op::Contains, QStringLiteral("护发"))},
        {QStringLiteral("业务日期 2023-06-01..2023-06-30 of one employee, by date"),
         RecordSource::all(QStringLiteral("salse"))
             .filter(QStringLiteral("业务日期"), Op::Ge, QStringLiteral("2023-06-01"))
             .filter(QStringLiteral("业务日期"), Op::Le, QStringLiteral("2023-06-30"))
             .filter(QStringLiteral("员工姓名"), Op::Eq, kEmployees.at(3))
             .orderBy(QStringLiteral("业务日期"))},
    };
    const char* ref = shop->onServer() ? "psql" : "sqlite3";
    for (const Search& s : searches) {
        const SearchFigures f = timeSearch(*shop, s);
        std::printf("  search %s: %lld rows\n", qPrintable(s.name), static_cast<long long>(f.rows));
        std::printf(
            "    first page (record model): wall %.3f ms, cpu %.3f ms | %s %.3f ms | ratio %.2fx %s\n",
            f.page.wall, f.page.cpu, ref, f.refPage, f.pageRatio, verdict(f.pageRatio <= 1.5));
        std::printf(
            "    whole result (data layer, every text): wall %.3f ms, cpu %.3f ms | %s %.3f ms | ratio "
            "%.2fx %s\n",
            f.whole.wall, f.whole.cpu, ref, f.refWhole, f.wholeRatio, verdict(f.wholeRatio <= 1.5));
        std::printf("    plan of the first page: %s\n", qPrintable(f.plan.join(QStringLiteral(" | "))));
        std::fflush(stdout);
        e.searches.append({s.name, f});
    }
    return e;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int largeRows = argc > 1 ? qMax(10000, QString::fromLocal8Bit(argv[1]).toInt()) : 1000000;
    const int sales = argc > 2 ? qMax(20, QString::fromLocal8Bit(argv[2]).toInt()) : 300;
    const QString only = qEnvironmentVariable("BENCH_TILLS_ENGINE");
    std::printf("bench_tills: large size %d rows, %d sales per size, repeats %d; platform %s\n", largeRows,
                sales, kRepeat, qPrintable(QGuiApplication::platformName()));
    std::printf("(the machine is shared with other work: wall times carry its noise)\n");
    std::fflush(stdout);

    const double start = nowMs();
    std::vector<EngineFigures> engines;
    std::unique_ptr<test::PgCluster> cluster;
    if (only.isEmpty() || only == QLatin1String("server")) {
        QString err;
        cluster = test::PgCluster::start(/*durable=*/true, &err);
        if (!cluster) {
            std::fprintf(stderr, "cannot start a cluster: %s\n", qPrintable(err));
            return 1;
        }
        engines.push_back(runEngine(cluster.get(), largeRows, sales));
    }
    if (only.isEmpty() || only == QLatin1String("files"))
        engines.push_back(runEngine(nullptr, largeRows, sales));

    std::printf("\n== summary (goals are the server's; the files' figures beside them) ==\n");
    for (const EngineFigures& e : engines) {
        const QByteArray nameBytes = e.name.toUtf8();
        const char* n = nameBytes.constData();
        const bool judged = e.name == QLatin1String("server");
        // With searches only (BENCH_TILLS_ONLY), no sale was timed.
        if (e.saleSmall.median > 0) {
            const double saleFlat = e.saleLarge.median / qMax(0.001, e.saleSmall.median);
            std::printf(
                "  %-6s durable sale median: 1 000 rows %.3f ms, %d rows %.3f ms (p90 %.3f / %.3f): < 5 ms "
                "%s; large / small %.2fx %s (flat taken as <= 1.5x)\n",
                n, e.saleSmall.median, largeRows, e.saleLarge.median, e.saleSmall.p90, e.saleLarge.p90,
                verdict(e.saleSmall.median < 5 && e.saleLarge.median < 5), saleFlat,
                verdict(saleFlat <= 1.5));
            const double gridFlat = e.gridLarge.wall / qMax(0.001, e.gridSmall.wall);
            std::printf(
                "  %-6s open grid: 10 000 rows %.2f ms, %d rows %.2f ms: %.2fx %s (goal <= 2x; cpu %.2fx)\n",
                n, e.gridSmall.wall, largeRows, e.gridLarge.wall, gridFlat, verdict(gridFlat <= 2),
                e.gridLarge.cpu / qMax(0.001, e.gridSmall.cpu));
            // What the cores allow at the CPU time a sale costs (one till,
            // client and server together), and the share of it eight reach.
            const double cap = cores() * 1e3 / qMax(0.001, e.one.cpuPerSale());
            const double share = e.eight.perSecond() / cap;
            std::printf(
                "  %-6s a sale costs %.3f ms of cpu (tills %.3f + server %.3f; %.3f with eight tills): %d "
                "cores allow %.0f sales/s; eight tills %.0f sales/s = %.0f%% of that (one till %.0f, "
                "%.2fx; hot: eight %.0f, one %.0f); other work took %.0f%% of the cores during the eight (of "
                "what it left, the eight took %.0f%%)\n",
                n, e.one.cpuPerSale(), e.one.clientCpuMs / qMax(1, e.one.saved),
                e.one.serverCpuMs / qMax(1, e.one.saved), e.eight.cpuPerSale(), cores(), cap,
                e.eight.perSecond(), 100 * share, e.one.perSecond(),
                e.eight.perSecond() / qMax(0.001, e.one.perSecond()), e.eightHot.perSecond(),
                e.oneHot.perSecond(), 100 * e.eight.othersShare(),
                100 * share / qMax(0.01, 1 - e.eight.othersShare()));
            if (judged) {
                addLimit(QStringLiteral("server: durable sale median, the larger of 1 000 and %1 rows")
                             .arg(largeRows),
                         qMax(e.saleSmall.median, e.saleLarge.median), 5, " ms");
                addLimit(QStringLiteral("server: durable sale is flat, %1 rows / 1 000").arg(largeRows),
                         saleFlat, 1.5, "x");
                addLimit(QStringLiteral("server: open grid is flat, %1 rows / 10 000").arg(largeRows),
                         gridFlat, 2, "x");
                addLimit(QStringLiteral("server: eight tills' sales / what %1 cores allow at a sale's cpu")
                             .arg(cores()),
                         share, 0.8, "", true);
                addLimit(QStringLiteral("server: sales failed with eight tills"),
                         e.eight.failed + e.eightHot.failed, 0, "");
            }
        }
        for (const auto& [name, f] : e.searches) {
            std::printf("  %-6s search %s: first page %.2fx, whole result %.2fx of %s %s (goal <= 1.5x)\n", n,
                        qPrintable(name), f.pageRatio, f.wholeRatio, judged ? "psql" : "sqlite3",
                        verdict(f.pageRatio <= 1.5 && f.wholeRatio <= 1.5));
            if (judged)
                addLimit(QStringLiteral("server: search %1, first page and whole result / psql").arg(name),
                         qMax(f.pageRatio, f.wholeRatio), 1.5, "x");
        }
    }
    std::printf("  total run time %.1f s\n", (nowMs() - start) / 1e3);
    return finish();
}
