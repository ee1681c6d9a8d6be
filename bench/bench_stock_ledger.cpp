// The stock ledger's costs, each goal printed PASS or MISS at the end:
//  - a sale with its stock ledger row against the same checks and writes
//    less that row, the two in turns (goal 1.1x), beside the same by-hand
//    writes with the row, the row's own floor;
//  - applying a count of 10 000 lines, on a file and on a server (goal
//    under 1 s);
//  - the count window with a count of 100 000 lines under way, from opening
//    to its first screen painted (goal 100 ms, wall time);
//  - one line's history in a ledger of 1 000 000 rows, and a month's margin
//    at 1 000 000 sales, beside the warm sqlite3 shell running the same
//    statements on a copy (goal: CPU time within 1.5x).
//
//   bench_stock_ledger [saves] [rows] [count lines] [sheet lines]
//   (default 400 saves each way, 1 000 000 rows, 10 000 and 100 000 lines)
#include "data/card_ledger.h"
#include "data/money_margin.h"
#include "data/record_model.h"
#include "data/sale_rows.h"
#include "data/schema.h"
#include "data/stock_ledger.h"
#include "data/stocktaking.h"
#include "sales/sale_service.h"
#include "stock/stocktaking_window.h"
#include "support/test_env.h"
#include "ui/record_view.h"

#include "bench_psql.h"
#include "bench_sale_by_hand.h"
#include "bench_support.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <memory>

using namespace shop;
using namespace shop::bench;
using shop::test::TestEnv;

namespace {

namespace g = schema::jinhuo;
namespace l = schema::liushui;

const QString kToday = QStringLiteral("2026-12-07");
constexpr int kTurns = 5;
constexpr int kRepeat = 5;

QString code(int i)
{
    return QStringLiteral("G%1").arg(i, 6, 10, QChar(u'0'));
}

QString cardNumber(int i)
{
    return QStringLiteral("C%1").arg(i, 6, 10, QChar(u'0'));
}

// `lines` goods lines, 100 000 000 each in stock, and their opening rows.
QStringList goodsLine(int i)
{
    return QStringList{QStringLiteral("商品%1").arg(i),
                       code(i),
                       "330ml",
                       "24",
                       QString::number(1 + i % 9) + ".5",
                       "12",
                       "100000000",
                       QStringLiteral("供应商%1").arg(i % 20),
                       "2020-01-01",
                       ""};
}

void fillGoods(Database& db, int lines)
{
    Database::Transaction tx(db);
    insertRows(db, g::kTable, lines, goodsLine);
    if (!stock::writeOpeningRows(db) || !tx.commit())
        qFatal("goods not filled");
}

// The sale alone with and without its stock ledger row, in turns.
void saleWithAndWithoutLedger(int saves)
{
    TestEnv env;
    Database& db = env.db();
    fillGoods(db, 1000);
    insertRows(db, schema::numbercard::kTable, 1000, [](int i) {
        return QStringList{"2020-01-01", cardNumber(i), "张三",   "王五", "洗车",
                           "100000000",  "0",           "钻石卡", ""};
    });
    SaleService service(db);
    SaleEntry e;
    e.service = true;
    e.goods = true;
    e.productCode = code(7);
    e.productName = QStringLiteral("商品7");
    e.quantity = QStringLiteral("1");
    e.retailPrice = QStringLiteral("12元");
    e.purchaseDate = QStringLiteral("2020-01-01");
    e.money = QStringLiteral("12");
    e.employee = QStringLiteral("张三");
    std::vector<double> with, without, handWith;
    for (int i = 0; i < saves; ++i) {
        e.card = cardNumber(i % 1000);
        const auto withLedger = [&] {
            const double t0 = nowMs();
            const SaleOutcome checked = service.check(e);
            if (service.save(e, checked, kToday).kind != SaleOutcome::Saved)
                qFatal("sale failed");
            with.push_back(nowMs() - t0);
        };
        // The same checks, reads and writes by hand, with the stock ledger
        // row (as the sale builds it) or less it: what the row itself costs.
        const auto byHand = [&](bool ledgerRow, std::vector<double>& into) {
            const double t0 = nowMs();
            saleByHand(db, service, e, kToday, {.stock = ledgerRow, .card = true});
            into.push_back(nowMs() - t0);
        };
        // Each goes first in turn: none gains from another's warm cache.
        switch (i % 3) {
        case 0:
            withLedger();
            byHand(false, without);
            byHand(true, handWith);
            break;
        case 1:
            byHand(false, without);
            byHand(true, handWith);
            withLedger();
            break;
        default:
            byHand(true, handWith);
            withLedger();
            byHand(false, without);
        }
    }
    const double ratio = median(with) / median(without);
    std::printf("sale with its stock ledger row, median %.3f ms; without it %.3f ms (%d each, in turns)\n",
                median(with), median(without), saves);
    std::printf("sale with stock ledger row / without: %.2fx %s (goal 1.1x)\n", ratio, verdict(ratio <= 1.1));
    // The row's own floor: the same by-hand sale with the row the sale writes.
    std::printf("by hand with the row, median %.3f ms: the row's own cost %.2fx; the sale over it %.2fx\n\n",
                median(handWith), median(handWith) / median(without), median(with) / median(handWith));
    addGoal(QStringLiteral("sale with stock ledger row / without (median)"), ratio, ratio, 1.1, Judged::Wall);
}

// A count of every line, each counted one below its stock; the typing is not
// timed (nor flushed), the apply is.
double countAndApply(Database& db, int turn)
{
    const auto started = counts::start(db, {});
    if (!started || started->kind != counts::Started::Done)
        qFatal("count not started");
    const auto sheet =
        db.selectAll(QStringLiteral("SELECT rowid, %1 FROM %2")
                         .arg(quoteIdent(schema::pandian::kSheetStock), quoteIdent(schema::pandian::kTable)));
    db.exec(QStringLiteral("PRAGMA synchronous=OFF"));
    for (const QVariantList& row : *sheet)
        if (!counts::record(db, row.value(0).toLongLong(), QString::number(row.value(1).toLongLong() - 1)))
            qFatal("count not recorded");
    db.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    const double t0 = nowMs();
    const auto applied = counts::apply(db, QStringLiteral("第%1次盘点").arg(turn));
    const double ms = nowMs() - t0;
    if (!applied || applied->kind != counts::Applied::Done)
        qFatal("count not applied");
    return ms;
}

void applyCount(int lines, bool server)
{
    if (server)
        qputenv("SHOP_TEST_ENGINE", "postgres");
    TestEnv env;
    if (server) {
        qunsetenv("SHOP_TEST_ENGINE");
        copyRows(*env.ctx().server(), env.dir(), g::kTable, lines, goodsLine);
        Database::Transaction tx(env.db());
        if (!stock::writeOpeningRows(env.db()) || !tx.commit())
            qFatal("goods not filled");
    } else {
        fillGoods(env.db(), lines);
    }
    std::vector<double> times;
    for (int t = 0; t < 3; ++t)
        times.push_back(countAndApply(env.db(), t + 1));
    const char* where = server ? "server" : "file";
    std::printf("applying a count of %d lines (%s): median %.1f ms, slowest %.1f ms (3 counts)\n\n", lines,
                where, median(times), *std::max_element(times.begin(), times.end()));
    addLimit(QStringLiteral("apply a count of %1 lines, %2 (slowest of 3)").arg(lines).arg(where),
             *std::max_element(times.begin(), times.end()), 1000, " ms");
}

void countWindow(int lines)
{
    TestEnv env;
    env.ctx().setLogin(QStringLiteral("ZED"), QStringLiteral("M"));
    fillGoods(env.db(), lines);
    if (!counts::start(env.db(), {}))
        qFatal("count not started");
    // Timed to the first screen painted; the window's close (which waits
    // for its figures' read behind it) is not.
    std::vector<double> wall, cpu;
    for (int i = 0; i < kRepeat; ++i) {
        const double w0 = nowMs();
        const double c0 = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        auto w = std::make_unique<StocktakingWindow>(env.ctx());
        w->show();
        settle();
        w->repaint();
        if (readScreen(w->grid()) == 0)
            qFatal("nothing on the first screen");
        cpu.push_back(cpuMs(CLOCK_THREAD_CPUTIME_ID) - c0);
        wall.push_back(nowMs() - w0);
        w.reset();
    }
    const Time painted{median(wall), median(cpu)};
    std::printf("count window with %d lines under way, to its first screen painted: %.2f ms (cpu %.2f)\n\n",
                lines, painted.wall, painted.cpu);
    addLimit(QStringLiteral("count window of %1 lines to painted").arg(lines), painted.wall, 100, " ms");
}

// A statement with its ? numbered @p1... for the shell.
QString numbered(const QString& sql)
{
    QString out;
    int n = 0;
    for (QChar c : sql)
        out += c == u'?' ? QStringLiteral("@p%1").arg(++n) : QString(c);
    return out;
}

// The program's step against a reference running the same statements, in
// turns. psql gives its own time of the statement only (no CPU of its own
// to set beside ours): that comparison is judged on wall time.
void compare(const char* what, const std::function<void()>& step, const char* anchorName,
             const std::function<Time()>& anchor, Judged on)
{
    // Our side runs as often as the warm shell does (about 300 ms a turn):
    // five runs could sit wholly in a slow spell that the shell's hundred
    // ride out.
    const Time probe = timeMedian(1, step);
    const int runs = runsFor(std::max(probe.wall, probe.cpu));
    const Versus v = inTurns(
        kTurns, [&] { return timeMedian(runs, step); }, [&](const Time&) { return anchor(); });
    std::printf("%s: %.2f ms (cpu %.2f); %s %.2f ms (cpu %.2f); medians of %d turns of %d runs\n", what,
                v.ours.wall, v.ours.cpu, anchorName, v.anchor.wall, v.anchor.cpu, kTurns, runs);
    const bool ok = addGoal(QStringLiteral("%1 / %2").arg(QLatin1String(what), QLatin1String(anchorName)),
                            v.wallRatio, v.cpuRatio, 1.5, on);
    std::printf("%s / %s: wall %.2fx, cpu %.2fx %s (goal 1.5x)\n\n", what, anchorName, v.wallRatio,
                v.cpuRatio, verdict(ok));
}

using RowWriter =
    std::function<void(const QString& table, int count, const std::function<QStringList(int)>&)>;

// `rows` sales over six years (half of them goods of 1 000 lines), each
// goods sale with its 销售 row in the ledger, and as many other ledger rows.
void fillShop(const RowWriter& insertRows, int rows)
{
    namespace s = schema::salse;
    insertRows(g::kTable, 1000, [](int i) {
        return QStringList{
            QStringLiteral("商品%1").arg(i), code(i), "", "", "2.5", "12", "1000", "", "2020-01-01", ""};
    });
    const QDate first(2021, 1, 1);
    const qint64 span = first.daysTo(QDate::fromString(kToday, Qt::ISODate));
    const auto dayOf = [&](int i) { return first.addDays(span * i / qMax(1, rows)).toString(Qt::ISODate); };
    const auto sale = [&](int i) {
        const bool goods = i % 2 == 0;
        return QStringList{dayOf(i),
                           goods ? "商品销售" : "其它服务",
                           "非会员",
                           goods ? code(i % 1000) : "",
                           goods ? "商品" : "",
                           goods ? "2" : "",
                           goods ? "12元" : "",
                           goods ? "2020-01-01" : "",
                           QString::number(10 + i % 50),
                           goods ? "" : "洗车",
                           "张三",
                           "",
                           "0"};
    };
    insertRows(s::kHistory, rows, sale);
    insertRows(s::kTable, rows, sale);
    // A sale's key is its rowid: the goods sales' rows name theirs; the
    // others are the purchases and counts between them.
    insertRows(l::kTable, rows, [&](int i) {
        const bool sold = i % 2 == 0;
        return QStringList{dayOf(i) + QStringLiteral(" 12:00:00"),
                           code(i % 1000),
                           "商品",
                           "2020-01-01",
                           sold ? "销售" : "补货",
                           "100",
                           sold ? "98" : "110",
                           sold ? "-2" : "10",
                           "2.5",
                           sold ? "5" : "",
                           "ZED",
                           sold ? QString::number(i + 1) : "",
                           "",
                           QString::number(i % 1000 + 1)};
    });
}

// One line's history and a month's margin, on the files beside the warm
// sqlite3 shell, or on a server beside psql.
void historyAndMargin(int rows, bool server)
{
    if (server)
        qputenv("SHOP_TEST_ENGINE", "postgres");
    TestEnv env;
    Database& db = env.db();
    const double t0 = nowMs();
    if (server) {
        fillShop(
            [&](const QString& table, int count, const std::function<QStringList(int)>& row) {
                copyRows(*env.ctx().server(), env.dir(), table, count, row);
            },
            rows);
    } else {
        Database::Transaction tx(db);
        fillShop([&](const QString& table, int count,
                     const std::function<QStringList(int)>& row) { insertRows(db, table, count, row); },
                 rows);
        if (!tx.commit())
            qFatal("shop not filled");
        db.exec(QStringLiteral("ANALYZE"));
        db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    std::printf("%s: %d sales and %d stock ledger rows: filled in %.1f s\n", server ? "server" : "files",
                rows, rows, (nowMs() - t0) / 1000);
    const QString file = QDir(env.dir()).filePath(QStringLiteral("shell.db"));
    if (!server) {
        QFile::copy(env.ctx().paths().businessDb(), file);
        plainIndexesForShell(file);
    }
    const char* anchorName = server ? "psql" : "shell, warm";
    const Judged on = server ? Judged::Wall : Judged::Cpu;

    // One line's history as the 库存流水 window reads it: its rows newest
    // first, as the grid reads them, and the stock added and taken.
    const QString one = code(421);
    const RecordSource history =
        RecordSource::all(l::kTable).filter(l::kCode, Op::Eq, one).orderBy(l::kTime, true);
    RecordModel model(db);
    const auto line = [&] {
        if (!model.setSource(history) || !stock::movementsIn(db, history))
            qFatal("history failed");
    };
    line();
    const QString rowsSql =
        QStringLiteral("SELECT rowid, * FROM %1 WHERE %2 = ? ORDER BY %3 DESC, rowid DESC")
            .arg(quoteIdent(l::kTable), quoteIdent(l::kCode), quoteIdent(l::kTime));
    std::printf("history of %s: %d rows; plan: %s\n", qPrintable(one), model.rowCount(),
                qPrintable(queryPlan(db, rowsSql, {one}).join("; ")));
    if (server) {
        // The statements the grid and the totals run: the rows in the
        // program's order, and the kinds and quantities the totals add up.
        QVariantList binds;
        const QString rows = inlined(
            modelSql(history, schema::columnsOf(l::kTable), 0, &binds, false, TextOrder::Program), binds);
        const QString totals = QStringLiteral("SELECT rowid, %1, %2 FROM %3 WHERE %4 = %5")
                                   .arg(quoteIdent(l::kKind), quoteIdent(l::kQuantity), quoteIdent(l::kTable),
                                        quoteIdent(l::kCode), sqlLiteral(one));
        compare(
            "one line's history", line, anchorName,
            [&] {
                return Time{psqlMedian(*env.ctx().server(), rows, kRepeat * 4) +
                                psqlMedian(*env.ctx().server(), totals, kRepeat * 4),
                            0};
            },
            on);
    } else {
        const QString shellHistory =
            numbered(rowsSql) +
            QStringLiteral(";SELECT total(CASE WHEN %1 > 0 THEN %1 END), total(CASE WHEN %1 < 0 "
                           "THEN -%1 END) FROM %2 WHERE %3 = @p1 AND %4 <> '期初'")
                .arg(quoteIdent(l::kQuantity), quoteIdent(l::kTable), quoteIdent(l::kCode),
                     quoteIdent(l::kKind));
        compare(
            "one line's history", line, anchorName, [&] { return warmShell(file, shellHistory, {one}); }, on);
    }

    // The margin of the last month of the shop.
    const QString from = kToday.left(8) + QStringLiteral("01");
    const auto month = [&] {
        if (!money::marginsBetween(db, from, kToday))
            qFatal("margin failed");
    };
    month();
    namespace s = schema::salse;
    const QString marginSql =
        QStringLiteral(
            "SELECT s.rowid, s.%1, s.%2, s.%3, s.%4, s.%5, s.%6, c.%7 FROM %8 AS s LEFT JOIN %9 AS c ON "
            "c.%10 = %12 AND c.%11 = '销售' WHERE s.%1 >= ? AND s.%1 <= ? ORDER BY "
            "s.rowid")
            .arg(quoteIdent(s::kDate), quoteIdent(s::kType), quoteIdent(s::kProductCode),
                 quoteIdent(s::kProductName), quoteIdent(s::kQuantity), quoteIdent(s::kReceived),
                 quoteIdent(l::kCost), quoteIdent(s::kTable), quoteIdent(l::kTable))
            .arg(quoteIdent(l::kSale), quoteIdent(l::kKind),
                 server ? QStringLiteral("CAST(CAST(s.rowid AS TEXT) AS citext)")
                        : QStringLiteral("CAST(s.rowid AS TEXT)"));
    const auto sales = db.selectOne(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 >= ?")
                                        .arg(quoteIdent(s::kTable), quoteIdent(s::kDate)),
                                    {from});
    std::printf("margin of %s..%s: %lld sales; plan: %s\n", qPrintable(from), qPrintable(kToday),
                sales ? sales->value(0).toLongLong() : -1,
                qPrintable(queryPlan(db, marginSql, {from, kToday}).join("; ")));
    if (server)
        compare(
            "a month's margin", month, anchorName,
            [&] {
                return Time{psqlMedian(*env.ctx().server(), inlined(marginSql, {from, kToday}), kRepeat * 4),
                            0};
            },
            on);
    else
        compare(
            "a month's margin", month, anchorName,
            [&] {
                return warmShell(file, numbered(marginSql), {from, kToday});
            },
            on);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const auto arg = [&](int i, int fallback) {
        return argc > i ? QString::fromLocal8Bit(argv[i]).toInt() : fallback;
    };
    saleWithAndWithoutLedger(arg(1, 400));
    applyCount(arg(3, 10000), false);
    countWindow(arg(4, 100000));
    historyAndMargin(arg(2, 1000000), false);
    if (qEnvironmentVariable("BENCH_STOCK_LEDGER_SERVER") != QLatin1String("0")) {
        applyCount(arg(3, 10000), true);
        historyAndMargin(arg(2, 1000000), true);
    }
    return finish();
}
