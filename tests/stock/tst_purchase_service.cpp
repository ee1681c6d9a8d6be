#include "stock/purchase_service.h"

#include "support/test_env.h"

#include <QTest>

using namespace shop;
using shop::test::TestEnv;

namespace {

const QString kGoods = PurchaseService::kTable;
const QString kHistory = PurchaseService::kHistory;

QStringList line(const QString& name, const QString& code, const QString& price, const QString& stock)
{
    return {name, code, "500ml", "24", price, "6", stock, "供应商甲", "2026-12-01", "备注"};
}

void refuse(TestEnv& env, const QString& when)
{
    QVERIFY(test::addFailingTrigger(env.db(), "refuse", when, "disk full"));
}

QStringList stockColumn(TestEnv& env)
{
    QStringList out;
    for (const QStringList& r : env.rows(kGoods))
        out << r.at(6);
    return out;
}

} // namespace

class TstPurchaseService : public QObject {
    Q_OBJECT
private slots:
    void addGoodsAllOrNothing_data();
    void addGoodsAllOrNothing();
    void addStock_data();
    void addStock();
    void modifyChoosesOneLine_data();
    void modifyChoosesOneLine();
};

void TstPurchaseService::addGoodsAllOrNothing_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::newRow("both written") << "";
    QTest::newRow("history row refused") << "BEFORE INSERT ON jinhuo_history";
    QTest::newRow("goods row refused after the history row") << "BEFORE INSERT ON jinhuo";
}

void TstPurchaseService::addGoodsAllOrNothing()
{
    QFETCH(QString, trigger);
    TestEnv env;
    const QStringList old = line("可乐", "K1", "4", "12");
    env.insert(kGoods, old);
    env.insert(kHistory, old);
    if (!trigger.isEmpty())
        refuse(env, trigger);

    const QStringList added = line("雪碧", "X'2", "3", "5");
    const DbResult r = PurchaseService(env.db()).addGoods(added);

    QCOMPARE(r.ok, trigger.isEmpty());
    QVERIFY(r.ok || r.error.contains("disk full"));
    const QList<QStringList> expected =
        trigger.isEmpty() ? QList<QStringList>{old, added} : QList<QStringList>{old};
    QCOMPARE(env.rows(kGoods), expected);
    QCOMPARE(env.rows(kHistory), expected);
    QVERIFY(!env.db().inTransaction());
}

void TstPurchaseService::addStock_data()
{
    QTest::addColumn<QString>("stock");
    QTest::addColumn<QString>("change"); // made between the match and the commit
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QStringList>("stored");

    const int added = StockOutcome::Added;
    QTest::newRow("whole stock") << "12"
                                 << ""
                                 << "3.5" << added << " 15.5" << QStringList{"15.5", "1"};
    QTest::newRow("a sale made meanwhile is kept") << "12"
                                                   << "UPDATE jinhuo SET 库存数量 = '9' WHERE rowid = 1"
                                                   << "3" << added << " 12" << QStringList{"12", "1"};
    QTest::newRow("deleted meanwhile") << "12"
                                       << "DELETE FROM jinhuo WHERE rowid = 1"
                                       << "3" << int(StockOutcome::LineDeleted) << "" << QStringList{"1"};
    QTest::newRow("quantity beyond any number")
        << "12"
        << ""
        << "1e999" << int(StockOutcome::Overflow) << "" << QStringList{"12", "1"};
    QTest::newRow("update refused") << "12"
                                    << "BEFORE UPDATE ON jinhuo"
                                    << "3" << int(StockOutcome::Failed) << "" << QStringList{"12", "1"};
}

void TstPurchaseService::addStock()
{
    QFETCH(QString, stock);
    QFETCH(QString, change);
    QFETCH(QString, quantity);
    QFETCH(int, kind);
    QFETCH(QString, said);
    QFETCH(QStringList, stored);

    TestEnv env;
    env.insert(kGoods, line("可乐", "K1", "4", stock));
    env.insert(kGoods, line("雪碧", "X2", "3", "1"));
    if (change.startsWith("BEFORE"))
        refuse(env, change);
    else if (!change.isEmpty())
        QVERIFY(env.db().exec(change).ok);

    const StockOutcome out = PurchaseService(env.db()).addStock(1, quantity);

    QCOMPARE(int(out.kind), kind);
    QCOMPARE(out.stock, said);
    QCOMPARE(out.error.contains("disk full"), kind == StockOutcome::Failed);
    QCOMPARE(stockColumn(env), stored);
    QVERIFY(env.rows(kHistory).isEmpty());
    QVERIFY(!env.db().inTransaction());
}

void TstPurchaseService::modifyChoosesOneLine_data()
{
    QTest::addColumn<qint64>("loaded");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("byPriceDescending");
    QTest::addColumn<qint64>("written");

    // Lines 1 and 2 are identical; line 3 has another name.
    QTest::newRow("the second twin loaded") << qint64(2) << "可乐" << false << qint64(2);
    QTest::newRow("the first twin loaded") << qint64(1) << "可乐" << false << qint64(1);
    QTest::newRow("none loaded: the first of the grid") << qint64(0) << "可乐" << false << qint64(1);
    QTest::newRow("the loaded line renamed: the first line of the new name")
        << qint64(1) << "雪碧" << false << qint64(3);
    QTest::newRow("grid sorted descending: its first twin, the later rowid")
        << qint64(0) << "可乐" << true << qint64(2);
    QTest::newRow("no line of that name and code") << qint64(2) << "百事" << false << qint64(0);
}

void TstPurchaseService::modifyChoosesOneLine()
{
    QFETCH(qint64, loaded);
    QFETCH(QString, name);
    QFETCH(bool, byPriceDescending);
    QFETCH(qint64, written);

    TestEnv env;
    const QList<QStringList> lines = {line("可乐", "K1", "4", "10"), line("可乐", "K1", "4", "10"),
                                      line("雪碧", "K1", "3", "1")};
    for (const QStringList& l : lines)
        env.insert(kGoods, l);
    RecordSource source = RecordSource::all(kGoods);
    if (byPriceDescending)
        source.orderBy("进货价格", true);

    const QStringList typed = line(name, "k1", "4.8", "30");
    const auto r = PurchaseService(env.db()).modify(loaded ? std::optional<qint64>(loaded) : std::nullopt,
                                                    source, typed);

    QVERIFY(!r.failed());
    QCOMPARE(r.found() ? *r : qint64(0), written);
    QList<QStringList> expected = lines;
    if (written)
        expected[written - 1] = typed;
    QCOMPARE(env.rows(kGoods), expected);
}

QTEST_MAIN(TstPurchaseService)
#include "tst_purchase_service.moc"
