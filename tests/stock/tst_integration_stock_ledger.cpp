// The stock ledger: every change of a goods line's stock kept with it, all
// or none, on both engines.
#include "data/record_model.h"
#include "data/schema.h"
#include "data/stock_ledger.h"
#include "data/table_rows.h"
#include "sales/sale_service.h"
#include "stock/purchase_service.h"
#include "support/sale_entry.h"
#include "support/test_env.h"

#include <QRandomGenerator>
#include <QTest>

using namespace shop;
using shop::test::saleEntry;
using shop::test::TestEnv;

namespace {

const QString kToday = QStringLiteral("2026-12-07");
const QString kGoods = QStringLiteral("jinhuo");
const QString kLedger = QStringLiteral("kucun_liushui");

QStringList line(const QString& code, const QString& stock, const QString& cost = QStringLiteral("2"))
{
    return {"可乐", code, "330ml", "24", cost, "12", stock, "供应商甲", "2026-11-01", ""};
}

qint64 rowidOf(TestEnv& env, const QString& code)
{
    const auto row = env.db().selectOne(
        QStringLiteral("SELECT rowid FROM jinhuo WHERE 产品编号 = ? ORDER BY rowid LIMIT 1"), {code});
    return row ? row->value(0).toLongLong() : 0;
}

SaleOutcome sell(TestEnv& env, const QString& code, const QString& quantity)
{
    SaleService s(env.db());
    SaleEntry e = saleEntry({.money = "30", .productCode = code});
    e.quantity = quantity;
    return s.save(e, s.check(e), kToday);
}

VoidOutcome voidLast(TestEnv& env)
{
    const auto row =
        env.db().selectOne(QStringLiteral("SELECT rowid FROM salse ORDER BY rowid DESC LIMIT 1"));
    if (!row)
        return {};
    const qint64 rowid = row->value(0).toLongLong();
    return SaleService(env.db()).voidSale(rowid, *rows::storedRow(env.db(), QStringLiteral("salse"), rowid));
}

// One in-place edit of the goods grid, written as the grid writes it.
DbResult gridEdit(TestEnv& env, qint64 rowid, int column, const QString& value)
{
    RecordModel model(env.db());
    model.setSource(RecordSource::all(kGoods));
    model.setEditable(true);
    model.setData(model.index(model.rowOfRowid(rowid), column), value);
    return model.flushEdits();
}

// The ledger's rows: kind, code, before, after, quantity, unit cost, cost,
// login, sale, reason.
QStringList ledger(TestEnv& env)
{
    QStringList out;
    for (const QStringList& r : env.rows(kLedger))
        out << QStringList{r.at(4), r.at(1), r.at(5),  r.at(6),  r.at(7),
                           r.at(8), r.at(9), r.at(10), r.at(11), r.at(12)}
                   .join(u' ');
    return out;
}

// Every line's stock is the stock after its last ledger row, and every line
// gone has a last row that took its stock to 0.
QString ledgerMismatch(TestEnv& env)
{
    const auto lines = env.db().selectAll(QStringLiteral("SELECT rowid, 产品编号, 库存数量 FROM jinhuo"));
    QSet<QString> present;
    for (const QVariantList& l : *lines) {
        present << l.value(0).toString();
        const auto last = stock::lastRowOf(env.db(), l.value(0).toLongLong());
        if (!last)
            return QStringLiteral("line %1 has no ledger row").arg(l.value(1).toString());
        if (last->after != l.value(2).toString())
            return QStringLiteral("line %1: ledger says %2, line holds %3")
                .arg(l.value(1).toString(), last->after, l.value(2).toString());
    }
    const auto named = env.db().selectAll(QStringLiteral("SELECT DISTINCT 商品记录号 FROM kucun_liushui"));
    for (const QVariantList& n : *named) {
        if (present.contains(n.value(0).toString()))
            continue;
        const auto last = stock::lastRowOf(env.db(), n.value(0).toLongLong());
        if (last->after != QStringLiteral("0"))
            return QStringLiteral("line row %1 is gone, its ledger ends at %2")
                .arg(n.value(0).toString(), last->after);
    }
    return {};
}

} // namespace

class TstStockLedger : public QObject {
    Q_OBJECT
private slots:
    void init();
    void eachChangeWritesItsRow_data();
    void eachChangeWritesItsRow();
    void ledgerMatchesStockAfterAnyMix_data();
    void ledgerMatchesStockAfterAnyMix();
    void failedLedgerWriteLeavesNoHalf_data();
    void failedLedgerWriteLeavesNoHalf();
    void olderDatabaseGetsOpeningRows();
    void importedLinesStartWithTheirRows();
    void laterPriceLeavesPastCostAlone();
};

void TstStockLedger::init() {}

void TstStockLedger::eachChangeWritesItsRow_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("rows"); // after the line's 进货 row
    QTest::newRow("补货") << "restock" << QStringList{"补货 P1 10 15 5 2.5  ZED  "};
    QTest::newRow("销售") << "sale" << QStringList{"销售 P1 10 7 -3 2.5 7.5 ZED 1 "};
    QTest::newRow("撤销") << "void"
                          << QStringList{"销售 P1 10 7 -3 2.5 7.5 ZED 1 ", "撤销 P1 7 10 3 2.5 7.5 ZED 1 "};
    QTest::newRow("修改") << "modify" << QStringList{"修改 P1 10 12 2 2.5  ZED  "};
    QTest::newRow("修改 without stock or cost") << "modify remark" << QStringList{};
    QTest::newRow("修改 of the cost") << "modify cost" << QStringList{"修改 P1 10 10 0 3  ZED  "};
    QTest::newRow("表格修改") << "grid" << QStringList{"表格修改 P1 10 4 -6 2.5  ZED  "};
    QTest::newRow("删除") << "delete" << QStringList{"删除 P1 10 0 -10 2.5  ZED  "};
    QTest::newRow("清空") << "empty" << QStringList{"清空 P1 10 0 -10 2.5  ZED  数据删除"};
}

void TstStockLedger::eachChangeWritesItsRow()
{
    QFETCH(QString, change);
    QFETCH(QStringList, rows);
    TestEnv env;
    env.ctx().setLogin(QStringLiteral("ZED"), QStringLiteral("M"));
    QVERIFY(PurchaseService(env.db()).addGoods(line("P1", "10", "2.5")));
    const qint64 rowid = rowidOf(env, "P1");
    QStringList values = line("P1", "10", "2.5");
    if (change == "restock") {
        QCOMPARE(PurchaseService(env.db()).addStock(rowid, "5").kind, StockOutcome::Added);
    } else if (change == "sale") {
        QCOMPARE(sell(env, "P1", "3").kind, SaleOutcome::Saved);
    } else if (change == "void") {
        QCOMPARE(sell(env, "P1", "3").kind, SaleOutcome::Saved);
        QCOMPARE(voidLast(env).kind, VoidOutcome::Voided);
    } else if (change.startsWith("modify")) {
        values[change == "modify" ? 6 : change == "modify cost" ? 4 : 9] = change == "modify" ? "12" : "3";
        QVERIFY(PurchaseService(env.db()).modify(rowid, RecordSource::all(kGoods), values));
    } else if (change == "grid") {
        QVERIFY(gridEdit(env, rowid, 6, "4"));
    } else if (change == "delete") {
        QVERIFY(rows::deleteRowid(env.db(), kGoods, rowid));
    } else if (change == "empty") {
        QVERIFY(rows::emptyTable(env.db(), kGoods));
    }
    QCOMPARE(ledger(env), QStringList{"进货 P1 0 10 10 2.5  ZED  "} + rows);
    QCOMPARE(ledgerMismatch(env), QString());
    // Every row names the line it changed and the time of the clock.
    for (const QStringList& r : env.rows(kLedger))
        QCOMPARE(r.at(0) + u' ' + r.at(13), QStringLiteral("2026-12-07 10:00:00 %1").arg(rowid));
}

void TstStockLedger::ledgerMatchesStockAfterAnyMix_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u})
        QTest::addRow("seed %u", seed) << seed;
}

void TstStockLedger::ledgerMatchesStockAfterAnyMix()
{
    QFETCH(quint32, seed);
    TestEnv env;
    env.ctx().setLogin(QStringLiteral("ZED"), QStringLiteral("M"));
    QRandomGenerator rnd(seed);
    int added = 0;
    const auto anyLine = [&]() -> qint64 {
        const auto all = env.db().selectAll(QStringLiteral("SELECT rowid FROM jinhuo"));
        return all->isEmpty() ? 0 : all->at(rnd.bounded(int(all->size()))).value(0).toLongLong();
    };
    for (int step = 0; step < 80; ++step) {
        const qint64 l = anyLine();
        const QStringList stored = l ? *rows::storedRow(env.db(), kGoods, l) : QStringList();
        switch (l ? rnd.bounded(9) : 0) {
        case 0:
            QVERIFY(PurchaseService(env.db()).addGoods(line(QStringLiteral("P%1").arg(++added % 4),
                                                            QString::number(rnd.bounded(20)),
                                                            QString::number(rnd.bounded(1, 9)))));
            break;
        case 1:
            PurchaseService(env.db()).addStock(l, QString::number(rnd.bounded(1, 9)));
            break;
        case 2:
        case 3:
            sell(env, stored.at(1), QString::number(rnd.bounded(1, 4)));
            break;
        case 4:
            voidLast(env);
            break;
        case 5: {
            QStringList v = stored;
            v[rnd.bounded(2) ? 6 : 4] = QString::number(rnd.bounded(30));
            QVERIFY(PurchaseService(env.db()).modify(l, RecordSource::all(kGoods), v));
            break;
        }
        case 6:
            QVERIFY(gridEdit(env, l, rnd.bounded(2) ? 6 : 1, QString::number(rnd.bounded(30))));
            break;
        case 7:
            QVERIFY(rnd.bounded(6) ? rows::deleteRowid(env.db(), kGoods, l).ok
                                   : rows::emptyTable(env.db(), kGoods).ok);
            break;
        case 8:
            QVERIFY(gridEdit(env, l, 6, QString::number(rnd.bounded(30))));
            break;
        }
        QVERIFY(!env.db().inTransaction());
    }
    QCOMPARE(ledgerMismatch(env), QString());
    // Every sale still stored has its 销售 row.
    QCOMPARE(
        env.db()
            .selectOne("SELECT count(*) FROM salse WHERE CAST(rowid AS TEXT) NOT IN (SELECT 业务编号 FROM "
                       "kucun_liushui WHERE 类别 = '销售')")
            ->value(0)
            .toInt(),
        0);
}

void TstStockLedger::failedLedgerWriteLeavesNoHalf_data()
{
    QTest::addColumn<QString>("change");
    for (const char* c : {"add", "restock", "sale", "void", "modify", "grid", "delete", "empty"})
        QTest::newRow(c) << QString::fromLatin1(c);
}

// The ledger refuses its row: the change it records is not stored either.
void TstStockLedger::failedLedgerWriteLeavesNoHalf()
{
    QFETCH(QString, change);
    TestEnv env;
    QVERIFY(PurchaseService(env.db()).addGoods(line("P1", "10")));
    if (change == "void")
        QCOMPARE(sell(env, "P1", "3").kind, SaleOutcome::Saved);
    const qint64 rowid = rowidOf(env, "P1");
    const QList<QStringList> goods = env.rows(kGoods);
    const QList<QStringList> sales = env.rows("salse");
    const QList<QStringList> kept = env.rows(kLedger);
    QVERIFY(test::addFailingTrigger(env.db(), "no_ledger", "BEFORE INSERT ON kucun_liushui", "ledger full"));
    QStringList values = line("P1", "12");
    if (change == "add")
        QVERIFY(!PurchaseService(env.db()).addGoods(line("P2", "5")));
    else if (change == "restock")
        QCOMPARE(PurchaseService(env.db()).addStock(rowid, "5").kind, StockOutcome::Failed);
    else if (change == "sale")
        QCOMPARE(sell(env, "P1", "3").kind, SaleOutcome::Failed);
    else if (change == "void")
        QCOMPARE(voidLast(env).kind, VoidOutcome::Failed);
    else if (change == "modify")
        QVERIFY(!PurchaseService(env.db()).modify(rowid, RecordSource::all(kGoods), values));
    else if (change == "grid")
        QVERIFY(!gridEdit(env, rowid, 6, "4"));
    else if (change == "delete")
        QVERIFY(!rows::deleteRowid(env.db(), kGoods, rowid));
    else
        QVERIFY(!rows::emptyTable(env.db(), kGoods));
    QVERIFY(!env.db().inTransaction());
    QCOMPARE(env.rows(kGoods), goods);
    QCOMPARE(env.rows("salse"), sales);
    QCOMPARE(env.rows(kLedger), kept);
}

void TstStockLedger::olderDatabaseGetsOpeningRows()
{
    TestEnv env;
    env.insert(kGoods, line("P1", "7"));
    env.insert(kGoods, line("P2", "0"));
    // As an earlier version left it: no stock ledger.
    QVERIFY(env.db().exec(QStringLiteral("DROP TABLE kucun_liushui")));
    QVERIFY(env.db().exec(QStringLiteral("DROP TABLE pandian")));
    env.ctx().closeDatabases();
    QString error;
    QVERIFY2(env.ctx().openDatabases(&error), qPrintable(error));
    QCOMPARE(env.db().columns(kLedger), schema::columnsOf(kLedger));
    QCOMPARE(ledger(env), (QStringList{"期初 P1 0 7 7 2    此前的库存没有流水记录",
                                       "期初 P2 0 0 0 2    此前的库存没有流水记录"}));
    QCOMPARE(ledgerMismatch(env), QString());
    // Opened again: no second opening.
    env.ctx().closeDatabases();
    QVERIFY2(env.ctx().openDatabases(&error), qPrintable(error));
    QCOMPARE(env.rows(kLedger).size(), 2);
}

// A sale's cost is the cost at the sale: a later price leaves it alone.
void TstStockLedger::laterPriceLeavesPastCostAlone()
{
    TestEnv env;
    QVERIFY(PurchaseService(env.db()).addGoods(line("P1", "10", "2")));
    QCOMPARE(sell(env, "P1", "4").kind, SaleOutcome::Saved);
    QVERIFY(PurchaseService(env.db()).modify(rowidOf(env, "P1"), RecordSource::all(kGoods),
                                             line("P1", "6", "5")));
    QCOMPARE(sell(env, "P1", "1").kind, SaleOutcome::Saved);
    QStringList costs;
    for (const QStringList& r : env.rows(kLedger))
        if (r.at(4) == "销售")
            costs << r.at(9);
    QCOMPARE(costs, (QStringList{"8", "5"}));
}

// Lines brought in by an import, several in one transaction: each starts
// with its own 导入 row, from nothing to its stock.
void TstStockLedger::importedLinesStartWithTheirRows()
{
    TestEnv env;
    env.ctx().setLogin(QStringLiteral("ZED"), QStringLiteral("M"));
    Database::Transaction tx(env.db());
    QVERIFY(env.db().holdKeysOf(schema::jinhuo::kTable));
    const auto keys = env.db().newKeys(schema::jinhuo::kTable, 2);
    QVERIFY(keys.found());
    const auto rows = stock::importRows(
        env.db(), {{keys->at(0), line("P1", "10", "2.5")}, {keys->at(1), line("P2", "4", "3")}},
        "从文件导入");
    QCOMPARE(rows.size(), 2);
    for (const Database::Rows& r : rows)
        QVERIFY(env.db().insertRows(r));
    QVERIFY(tx.commit());
    QCOMPARE(ledger(env),
             (QStringList{"导入 P1 0 10 10 2.5  ZED  从文件导入", "导入 P2 0 4 4 3  ZED  从文件导入"}));
    QCOMPARE(ledgerMismatch(env), QString());
    // Values that do not fill a line give nothing to write.
    QVERIFY(stock::importRows(env.db(), {{1, {"可乐", "P3"}}}, {}).isEmpty());
}

QTEST_MAIN(TstStockLedger)
#include "tst_integration_stock_ledger.moc"
