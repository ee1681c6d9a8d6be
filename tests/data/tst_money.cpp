// The money figures read straight from their definitions, over rows stored
// as the program stores them: what each window then shows.
#include "data/money.h"
#include "data/money_margin.h"
#include "data/sale_rows.h"
#include "data/schema.h"
#include "data/stock_ledger.h"
#include "support/test_env.h"

#include <QTest>

#include <algorithm>

using namespace shop;
using namespace shop::test;

namespace {
namespace s = schema::salse;

QString figure(const money::RoundedTotal& t)
{
    return QStringLiteral("%1:%2").arg(t.rows).arg(t.overflow ? QStringLiteral("beyond")
                                                              : QString::number(t.total));
}

// A service sale with as much commission, as the business window stores it.
void sell(TestEnv& env, const QString& date, const QString& money,
          const QString& card = QStringLiteral("非会员"))
{
    for (const QString& table : {s::kTable, s::kHistory})
        env.insert(table, {date, "其它服务", card, "", "", "", "", "", money, "洗车", "张三", "", money});
}

// A goods line of 1000 at `unitCost` a piece; its rowid.
qint64 goodsLine(Database& db, const QString& unitCost)
{
    QStringList line = stock::blankLine();
    stock::setValue(line, schema::jinhuo::kCode, QStringLiteral("P%1").arg(unitCost));
    stock::setValue(line, schema::jinhuo::kPurchasePrice, unitCost);
    stock::setValue(line, schema::jinhuo::kStock, QStringLiteral("1000"));
    if (!stock::add(db, line))
        return 0;
    return db.selectOne(QStringLiteral("SELECT max(rowid) FROM %1").arg(quoteIdent(schema::jinhuo::kTable)))
        ->value(0)
        .toLongLong();
}

// A sale written as the program writes one, at `written` (the clock's time):
// its rows under a new key, and, with `line`, one piece taken from that line
// with its 销售 row in the stock ledger. Its key.
QString writeSale(TestEnv& env, const QString& date, const QString& type, const QString& money, qint64 line,
                  const QDateTime& written)
{
    env.clock().set(written);
    Database& db = env.db();
    QList<Database::Statement> writes = sales::appendStatements(
        db, {date, type, "非会员", "P", "可乐", "1", "", "", money, "", "张三", "", "0"});
    if (line != 0) {
        const auto stored = stock::readForChange(db, line);
        stock::Note note;
        note.saleSql = sales::keySql(db);
        const QString after = QString::number(stock::valueOf(*stored, schema::jinhuo::kStock).toInt() - 1);
        writes +=
            Database::statementsOf(stock::setStock(db, line, *stored, after, stock::Change::Sale, note));
    }
    Database::Transaction tx(db);
    QVariant key;
    if (!tx.commitAfter(writes, nullptr, &key))
        return {};
    return key.toString();
}

// The void of sale `key` as the program writes it: the stock back with its
// 撤销 row, the sale's row gone (its history row stays).
bool voidSale(TestEnv& env, const QString& key, qint64 line)
{
    Database& db = env.db();
    Database::Transaction tx(db);
    const auto stored = stock::readForChange(db, line);
    stock::Note note;
    note.sale = key;
    const QString after = QString::number(stock::valueOf(*stored, schema::jinhuo::kStock).toInt() + 1);
    QList<Database::Statement> writes =
        Database::statementsOf(stock::setStock(db, line, *stored, after, stock::Change::Void, note));
    writes << Database::Statement{QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoteIdent(s::kTable)),
                                  {key.toLongLong()}};
    return tx.commitAfter(writes).ok;
}

// A month's goods margin as "received/cost/without cost".
QString marginText(const money::Margin& m)
{
    return QStringLiteral("%1/%2/%3").arg(figure(m.received), figure(m.cost), figure(m.withoutCost));
}
} // namespace

class TstMoney : public QObject {
    Q_OBJECT
private slots:
    void roundedPerRowInWrittenOrder_data()
    {
        QTest::addColumn<QStringList>("written"); // date|amount, in the order written
        QTest::addColumn<QString>("expected");    // rows:total
        QTest::newRow("an empty period") << QStringList{} << "0:0";
        // 0, 2, 2, 4: not 5 from the sum.
        QTest::newRow("half to even after each addition")
            << QStringList{"2026-12-07|0.5", "2026-12-07|1.5", "2026-12-07|0.5", "2026-12-07|2.5"} << "4:4";
        // 2, then 3; by date (and by the grid's order) 1, then 4.
        QTest::newRow("the order written, not the dates'")
            << QStringList{"2026-12-02|2.5", "2026-12-01|1"} << "2:3";
        QTest::newRow("beyond a whole number")
            << QStringList{"2026-12-07|9000000000000000000", "2026-12-07|9000000000000000000"} << "2:beyond";
    }
    // Every figure over the same rows: the sales browser's, the salary
    // window's, the ledger's, the card ledger's, the closing's, the overview's.
    void roundedPerRowInWrittenOrder()
    {
        QFETCH(QStringList, written);
        QFETCH(QString, expected);
        TestEnv env;
        QVector<qint64> byDate; // rowids as a grid sorted by date lists them
        for (const QString& row : written) {
            byDate << byDate.size() + 1;
            const QString date = row.section('|', 0, 0), amount = row.section('|', 1);
            sell(env, date, amount);
            env.insert(schema::shouzhi::kTable, {date, "杂项", amount, amount, ""});
            env.insert(schema::kawu::kTable, {date + " 10:00:00", "A1", "充值", "0", "0", "0", "0", amount,
                                              "ZED", "张三", "", "", "1"});
        }
        std::stable_sort(byDate.begin(), byDate.end(), [&](qint64 a, qint64 b) {
            return written.at(a - 1).left(10) < written.at(b - 1).left(10);
        });
        const QString from = "2026-12-01", to = "2026-12-07";
        Database& db = env.db();
        const RecordSource period =
            RecordSource::all(s::kTable).filter(s::kDate, Op::Ge, from).filter(s::kDate, Op::Le, to);
        QVector<qint64> keys;
        const auto received = money::receivedIn(db, RecordSource(period).orderBy(s::kDate), &keys);
        QCOMPARE(keys, byDate);
        const auto sales = money::salesIn(db, RecordSource(period).filter(s::kEmployee, Op::Eq, "张三"));
        namespace c = schema::shouzhi;
        const auto cash = money::cashIn(
            db, RecordSource::all(c::kTable).filter(c::kDate, Op::Ge, from).filter(c::kDate, Op::Le, to));
        const money::Takings month = money::takingsPer(db, from, to)->months.value("2026-12").sales;
        const auto employee = money::perEmployee(db, from, to)->value(0);
        const QStringList figures = {figure(*received),
                                     figure(*money::commissionIn(db, period)),
                                     figure(sales->received),
                                     figure(sales->commission),
                                     figure(cash->expense),
                                     figure(cash->income),
                                     figure(month.total),
                                     figure(month.cash),
                                     figure(employee.received),
                                     figure(employee.commission),
                                     figure(money::receivedPerItem(db, from, to)->value(0).received),
                                     figure(money::ledgerTotals(db, money::ledgerDays(from, to))->received)};
        QCOMPARE(figures, QStringList(figures.size(), expected));
    }

    void periodsAndVoids_data()
    {
        QTest::addColumn<QString>("sold");   // date|card of a sale of 30
        QTest::addColumn<QString>("voided"); // when it was voided
        // Each period with a sale or a void: sales, voids of its own sales and
        // of earlier ones (each whole/in cash), then the takings.
        QTest::addColumn<QStringList>("periods");
        QTest::newRow("a void on a later day")
            << "2026-12-05|A1"
            << "2026-12-06 10:00:00"
            << QStringList{"2026-12-05 30/0 0/0 0/0 =30/0", "2026-12-06 0/0 0/0 30/0 =-30/0",
                           "2026-12 30/0 30/0 0/0 =0/0"};
        QTest::newRow("in cash, the same day")
            << "2026-12-05|非会员"
            << "2026-12-05 18:00:00"
            << QStringList{"2026-12-05 30/30 30/30 0/0 =0/0", "2026-12 30/30 30/30 0/0 =0/0"};
        QTest::newRow("the month's last second")
            << "2026-11-30|A1"
            << "2026-11-30 23:59:59"
            << QStringList{"2026-11-30 30/0 30/0 0/0 =0/0", "2026-11 30/0 30/0 0/0 =0/0"};
        QTest::newRow("the next year's first second")
            << "2026-12-31|非会员"
            << "2027-01-01 00:00:00"
            << QStringList{"2026-12-31 30/30 0/0 0/0 =30/30", "2027-01-01 0/0 0/0 30/30 =-30/-30",
                           "2026-12 30/30 0/0 0/0 =30/30", "2027-01 0/0 0/0 30/30 =-30/-30"};
    }
    void periodsAndVoids()
    {
        QFETCH(QString, sold);
        QFETCH(QString, voided);
        QFETCH(QStringList, periods);
        TestEnv env;
        const QString date = sold.section('|', 0, 0), card = sold.section('|', 1);
        sell(env, date, "30", card);
        env.insert(schema::chexiao::kTable, {voided, "1", date, card, "30", "张三", "ZED"});
        const auto per = money::takingsPer(env.db(), "2026-11-01", "2027-01-31");
        QVERIFY(per);
        const auto pair = [](const money::Takings& t) {
            return QStringLiteral("%1/%2").arg(t.total.total).arg(t.cash.total);
        };
        QStringList shown;
        for (const auto* all : {&per->days, &per->months})
            for (auto p = all->begin(); p != all->end(); ++p)
                shown << QStringLiteral("%1 %2 %3 %4 =%5")
                             .arg(p.key(), pair(p->sales), pair(p->voidsSame), pair(p->voidsEarlier),
                                  pair(p->net()));
        QCOMPARE(shown, periods);
    }

    void monthsMarginOfTheGoodsSold_data()
    {
        // Each sale: its date|type|money|when it was written|the unit cost of
        // its line ("" without a line, "-" from none) [|voided].
        QTest::addColumn<QStringList>("sold");
        QTest::addColumn<int>("times"); // the sales written so, again and again
        // Each month with goods sold: received/cost/without cost, as rows:total.
        QTest::addColumn<QStringList>("months");
        const QString today = QStringLiteral("2026-12-07 10:00:00");
        QTest::newRow("written on their day")
            << QStringList{"2026-11-10|商品销售|30|2026-11-10 10:00:00|12",
                           "2026-12-07|商品销售|9|" + today + "|4"}
            << 1 << QStringList{"2026-11 1:30/1:12/0:0", "2026-12 1:9/1:4/0:0"};
        QTest::newRow("goods with a service, and a service alone")
            << QStringList{"2026-11-10|商品销售+其它服务|50|2026-11-10 10:00:00|12",
                           "2026-11-10|其它服务|80|2026-11-10 10:00:00|"}
            << 1 << QStringList{"2026-11 1:50/1:12/0:0"};
        // Entered today for a day months ago: its 销售 row is today's.
        QTest::newRow("backdated") << QStringList{"2026-03-05|商品销售|20|" + today + "|5"} << 1
                                   << QStringList{"2026-03 1:20/1:5/0:0"};
        QTest::newRow("backdated to before the first month")
            << QStringList{"2025-12-31|商品销售|20|" + today + "|5", "2026-01-01|商品销售|7|" + today + "|3"}
            << 1 << QStringList{"2026-01 1:7/1:3/0:0"};
        // Entered before the months shown, for a day within them.
        QTest::newRow("dated ahead") << QStringList{"2026-02-01|商品销售|15|2025-12-20 10:00:00|6",
                                                    "2026-02-02|商品销售|10|"
                                                    "2026-02-02 10:00:00|1"}
                                     << 1 << QStringList{"2026-02 2:25/2:7/0:0"};
        // A till whose clock is ahead: its row is dated after today.
        QTest::newRow("written after the last day")
            << QStringList{"2026-12-07|商品销售|15|2026-12-08 00:00:01|6"} << 1
            << QStringList{"2026-12 1:15/1:6/0:0"};
        QTest::newRow("voided") << QStringList{"2026-11-10|商品销售|30|2026-11-10 10:00:00|12|voided",
                                               "2026-11-11|商品销售|8|2026-11-11 10:00:00|3"}
                                << 1 << QStringList{"2026-11 1:8/1:3/0:0"};
        QTest::newRow("voided, dated ahead")
            << QStringList{"2026-11-10|商品销售|30|2025-11-10 10:00:00|12|voided"} << 1 << QStringList{};
        // Taken from a line without a purchase price, or sold before the
        // ledger began: never counted as margin.
        QTest::newRow("without a cost") << QStringList{"2026-11-10|商品销售|30|2026-11-10 10:00:00|0",
                                                       "2026-11-11|商品销售|8|2026-11-11 "
                                                       "10:00:00|-",
                                                       "2026-11-12|商品销售|5|2026-11-12 10:00:00|",
                                                       "2026-11-13|商品销售|6|2026-11-13 "
                                                       "10:00:00|2"}
                                        << 1 << QStringList{"2026-11 1:6/1:2/3:43"};
        // 2.5 to 2 (half to even), then 3; by date 1, then 4.
        QTest::newRow("summed in the order written")
            << QStringList{"2026-11-12|商品销售|2.5|2026-11-12 10:00:00|0",
                           "2026-11-01|商品销售|1|" + today + "|0"}
            << 1 << QStringList{"2026-11 0:0/0:0/2:3"};
        // More sales to look up on their own than one query of them takes.
        QTest::newRow("many dated ahead") << QStringList{"2026-06-01|商品销售|2|2025-06-01 10:00:00|1"}
                                          << 1201 << QStringList{"2026-06 1201:2402/1201:1201/0:0"};
    }
    // The overview's months of goods margin: the goods sales of each month,
    // each with the cost its 销售 row recorded, as the margin report (one
    // look-up for each sale) counts them.
    void monthsMarginOfTheGoodsSold()
    {
        QFETCH(QStringList, sold);
        QFETCH(int, times);
        QFETCH(QStringList, months);
        TestEnv env;
        Database& db = env.db();
        QHash<QString, qint64> lines;
        for (int n = 0; n < times; ++n)
            for (const QString& sale : sold) {
                const QStringList f = sale.split('|');
                const QString unitCost = f.at(4);
                if (!unitCost.isEmpty() && !lines.contains(unitCost))
                    lines.insert(unitCost, goodsLine(db, unitCost == "-" ? QString() : unitCost));
                const qint64 line = lines.value(unitCost);
                const QString key = writeSale(env, f.at(0), f.at(1), f.at(2), line,
                                              QDateTime::fromString(f.at(3), "yyyy-MM-dd HH:mm:ss"));
                QVERIFY(!key.isEmpty());
                if (f.value(5) == "voided")
                    QVERIFY(voidSale(env, key, line));
            }
        const auto per = money::marginsPerMonth(db, "2026-01-01", "2026-12-07");
        QVERIFY(per);
        QStringList shown;
        for (auto m = per->begin(); m != per->end(); ++m)
            shown << m.key() + " " + marginText(*m);
        QCOMPARE(shown, months);
        // The same as each sale looked up on its own.
        const auto report = money::marginsBetween(db, "2026-01-01", "2026-12-07");
        QVERIFY(report);
        QStringList reported;
        for (auto m = report->months.begin(); m != report->months.end(); ++m)
            if (m->received.rows + m->withoutCost.rows > 0)
                reported << m.key() + " " + marginText(*m);
        QCOMPARE(shown, reported);
    }
};

QTEST_MAIN(TstMoney)
#include "tst_money.moc"
