// The money figures read straight from their definitions, over rows stored
// as the program stores them: what each window then shows.
#include "data/money.h"
#include "data/schema.h"
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
};

QTEST_MAIN(TstMoney)
#include "tst_money.moc"
