// The shop's money: the sale with its card ledger row against the same sale
// without it, in turns in one run; then, in a shop of 1 000 000 sales and
// 1 000 000 ledger rows, the day's closing and the card history of one card
// beside the sqlite3 shell running the same totals and rows.
//
// Usage: bench_money [rows] [sales]   (default 1000000 rows, 400 sales)
// Environment: SQLITE3_SHELL (default /usr/bin/sqlite3), BENCH_REPEAT (default 15).
// Exits 1 when a goal is missed.

#include "data/card_ledger.h"
#include "data/money.h"
#include "data/record_model.h"
#include "data/sale_rows.h"
#include "data/schema.h"
#include "data/stock_ledger.h"
#include "reports/day_closing_window.h"
#include "sales/sale_service.h"
#include "support/test_env.h"

#include "bench_sale_by_hand.h"
#include "bench_support.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSqlQuery>

#include <cstdio>
#include <random>

using namespace shop;
using namespace shop::bench;
using shop::test::TestEnv;

namespace {

const int kRepeat = benchRepeat(15);
// Turns of the program and the shell per comparison.
const int kTurns = 5;
const QString kToday = QStringLiteral("2026-12-07");

QString cardNumber(int i)
{
    return QStringLiteral("C%1").arg(i, 6, 10, QChar(u'0'));
}

QString code(int i)
{
    return QStringLiteral("G%1").arg(i, 5, 10, QChar(u'0'));
}

// Cards, goods, and `sales` sales with as many ledger rows, spread over six
// years up to today (about 450 of each a day).
void fill(Database& db, int sales, int cards)
{
    Database::Transaction tx(db);
    std::mt19937 rng(20261207);
    const QDate first = QDate::fromString(kToday, Qt::ISODate).addDays(-2200);
    const auto dayOf = [&](int i, int n) { return first.addDays(i * 2201LL / n).toString(Qt::ISODate); };
    insertRows(db, QStringLiteral("jinhuo"), 1000, [](int i) {
        return QStringList{"可乐", code(i),     "330ml",  "24",         "2",
                           "12",   "100000000", "供应商", "2020-01-01", ""};
    });
    insertRows(db, QStringLiteral("numbercard"), cards, [](int i) {
        return QStringList{"2020-01-01",
                           cardNumber(i),
                           "张三",
                           "王五",
                           "洗车",
                           i % 2 ? "100000000" : "0",
                           i % 2 ? "0" : "100000000",
                           i % 2 ? "钻石卡" : "季卡",
                           ""};
    });
    const QStringList& staff = twentyEmployees();
    for (const QString& table : {QStringLiteral("salse"), QStringLiteral("salse_history")})
        insertRows(db, table, sales, [&](int i) {
            const bool member = i % 3 != 0;
            return QStringList{dayOf(i, sales),
                               i % 2 ? "商品销售+其它服务" : "其它服务",
                               member ? cardNumber(i % cards) : "非会员",
                               i % 2 ? code(i % 1000) : "",
                               i % 2 ? "可乐" : "",
                               i % 2 ? "2" : "",
                               i % 2 ? "12元" : "",
                               i % 2 ? "2020-01-01" : "",
                               QString::number(rng() % 20000 / 100.0),
                               "洗车",
                               staff.at(i % staff.size()),
                               "",
                               QString::number(rng() % 10)};
        });
    insertRows(db, QStringLiteral("kawu"), sales, [&](int i) {
        const int c = static_cast<int>(rng() % cards);
        const bool topUp = i % 10 == 0;
        return QStringList{dayOf(i, sales) + QStringLiteral(" 12:00:00"),
                           cardNumber(c),
                           topUp ? "充值" : "消费",
                           "500",
                           topUp ? "600" : "480",
                           "",
                           "",
                           topUp ? "100" : "",
                           "ZED",
                           staff.at(i % staff.size()),
                           topUp ? "" : QString::number(i + 1),
                           "",
                           QString::number(c + 1)};
    });
    insertRows(db, QStringLiteral("shouzhi"), 20000, [&](int i) {
        return QStringList{dayOf(i, 20000), "杂费", QString::number(rng() % 1000), "0", ""};
    });
    if (!tx.commit())
        qFatal("commit failed");
    db.exec(QStringLiteral("ANALYZE"));
    db.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

// The sale alone, with and without its ledger row, in turns.
void saleWithAndWithoutLedger(int saves)
{
    TestEnv env;
    Database& db = env.db();
    fill(db, 1000, 1000);
    SaleService service(db);
    SaleEntry e;
    e.service = true;
    e.goods = true;
    e.productCode = code(7);
    e.productName = QStringLiteral("可乐");
    e.quantity = QStringLiteral("1");
    e.retailPrice = QStringLiteral("12元");
    e.purchaseDate = QStringLiteral("2020-01-01");
    e.money = QStringLiteral("12");
    e.employee = QStringLiteral("张三");
    std::vector<double> with, without;
    for (int i = 0; i < saves; ++i) {
        e.card = cardNumber(2 * (i % 400) + 1); // stored-value cards
        const auto withLedger = [&] {
            const double t0 = nowMs();
            const SaleOutcome checked = service.check(e);
            if (service.save(e, checked, kToday).kind != SaleOutcome::Saved)
                qFatal("sale failed");
            with.push_back(nowMs() - t0);
        };
        const auto withoutLedger = [&] {
            // The same checks and the same writes, less the card's ledger row.
            const double t0 = nowMs();
            saleByHand(db, service, e, kToday, {.stock = true, .card = false});
            without.push_back(nowMs() - t0);
        };
        // Each goes first every other turn: neither gains from the other's warm cache.
        if (i % 2) {
            withLedger();
            withoutLedger();
        } else {
            withoutLedger();
            withLedger();
        }
    }
    const double ratio = median(with) / median(without);
    std::printf("sale with its ledger row, median %.3f ms; without it %.3f ms (%d each, in turns)\n",
                median(with), median(without), saves);
    std::printf("sale with ledger / without: %.2fx %s (goal 1.1x)\n\n", ratio, verdict(ratio <= 1.1));
    addGoal(QStringLiteral("sale with ledger / without (median)"), ratio, ratio, 1.1);
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

// The program's step and the shell's warm runs of the same statements, in
// turns; goal: CPU time within 1.5x of the shell's.
void compare(const char* what, const std::function<void()>& step, const QString& file, const QString& sql,
             const QVariantList& binds)
{
    const Versus v = inTurns(
        kTurns, [&] { return timeMedian(kRepeat, step); },
        [&](const Time&) { return warmShell(file, sql, binds); });
    std::printf("%s: %.2f ms (cpu %.2f); shell, warm %.2f ms (cpu %.2f); medians of %d turns\n", what,
                v.ours.wall, v.ours.cpu, v.anchor.wall, v.anchor.cpu, kTurns);
    const bool ok =
        addGoal(QStringLiteral("%1 / shell").arg(QLatin1String(what)), v.wallRatio, v.cpuRatio, 1.5);
    std::printf("%s / shell: wall %.2fx, cpu %.2fx %s (goal 1.5x)\n\n", what, v.wallRatio, v.cpuRatio,
                verdict(ok));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int size = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    const int saves = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 400;
    saleWithAndWithoutLedger(saves);

    TestEnv env;
    Database& db = env.db();
    const double t0 = nowMs();
    fill(db, size, 100000);
    std::printf("%d sales, %d ledger rows, 100000 cards: filled in %.1f s\n\n", size, size,
                (nowMs() - t0) / 1000);
    const QString file = QDir(env.dir()).filePath(QStringLiteral("shell.db"));
    QFile::copy(env.ctx().paths().businessDb(), file);
    plainIndexesForShell(file);

    // The day's closing, and the same totals in SQL.
    const auto closing = [&] {
        if (!money::dayClosing(db, kToday))
            qFatal("closing failed");
    };
    const QString from = kToday + QStringLiteral(" 00:00:00");
    const QString to = kToday + QStringLiteral(" 23:59:59");
    const QString totals = QStringLiteral(
        "SELECT count(*), total(实收金额) FROM salse WHERE 业务日期 = @p1;"
        "SELECT 卡号 = '非会员', count(*), total(实收金额) FROM salse WHERE 业务日期 = @p1 GROUP BY 1;"
        "SELECT 产品编号, total(出货数量), total(实收金额) FROM salse WHERE 业务日期 = @p1 AND 业务类型 LIKE "
        "'商品销售%' GROUP BY 产品编号;"
        "SELECT 员工姓名, count(*), total(实收金额), total(提成金额) FROM salse WHERE 业务日期 = @p1 GROUP "
        "BY "
        "员工姓名;"
        "SELECT total(收款金额), total(CASE WHEN 类别 IN ('消费', '撤销消费') THEN 原金额 - 新金额 END), "
        "total(CASE WHEN 类别 IN ('消费', '撤销消费') THEN 原次数 - 新次数 END) FROM kawu WHERE 时间 >= @p2 "
        "AND 时间 <= @p3;"
        "SELECT total(支出费用), total(收入) FROM shouzhi WHERE 日期 = @p1;"
        "SELECT count(*), total(实收金额) FROM chexiao WHERE 撤销时间 >= @p2 AND 撤销时间 <= @p3;");
    for (const QString& sql : {QStringLiteral("SELECT rowid FROM salse WHERE 业务日期 = ?"),
                               QStringLiteral("SELECT rowid FROM kawu WHERE 时间 >= ? AND 时间 <= ?")})
        std::printf(
            "plan: %s\n    %s\n", qPrintable(sql),
            qPrintable(
                queryPlan(db, sql, QVariantList{kToday, from, to}.mid(0, sql.count(u'?'))).join("; ")));
    compare("day's closing", closing, file, totals, {kToday, from, to});

    // The window, from opening to its report painted: the figures of a day
    // of a few hundred goods lines (goal: 100 ms, as a person waits for it).
    env.ctx().setLogin(QStringLiteral("ZED"), QStringLiteral("M"));
    const auto day = money::dayClosing(db, kToday);
    if (!day)
        qFatal("closing failed");
    const Time painted = timeMedian(kRepeat, [&] {
        DayClosingWindow w(env.ctx());
        w.show();
        settle();
        w.repaint();
    });
    std::printf("day's closing window (%lld goods lines, %lld employees) to painted: %.2f ms (cpu %.2f)\n",
                static_cast<long long>(day->goods.size()), static_cast<long long>(day->employees.size()),
                painted.wall, painted.cpu);
    addLimit(QStringLiteral("day's closing window to painted"), painted.wall, 100, " ms");
    std::printf("\n");

    // The card history of one card: the grid's rows, newest first, and its totals.
    const QString one = cardNumber(4242);
    const RecordSource history = RecordSource::all(QStringLiteral("kawu"))
                                     .filter(QStringLiteral("卡号"), Op::Eq, one)
                                     .orderBy(QStringLiteral("时间"), true);
    RecordModel model(db);
    const auto card = [&] {
        if (!model.setSource(history) || !money::ledgerTotals(db, history))
            qFatal("history failed");
    };
    card();
    // The grid's statement: newest first, the rowid breaking ties.
    const QVariantList binds{one};
    const QString rowsSql =
        QStringLiteral("SELECT rowid, * FROM kawu WHERE 卡号 = ? ORDER BY 时间 DESC, rowid DESC");
    std::printf("card history of %s: %d rows; plan: %s\n", qPrintable(one), model.rowCount(),
                qPrintable(queryPlan(db, rowsSql, binds).join("; ")));
    const QString shellHistory =
        numbered(rowsSql) +
        QStringLiteral(";SELECT total(收款金额), total(CASE WHEN 类别 IN ('消费', '撤销消费') THEN 原金额 - "
                       "新金额 END), total(CASE WHEN 类别 IN ('消费', '撤销消费') THEN 原次数 - 新次数 END) "
                       "FROM kawu WHERE 卡号 = @p1");
    compare("card history", card, file, shellHistory, binds);
    return finish();
}
