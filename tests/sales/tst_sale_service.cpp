// The save of one business transaction without its window: the rows it
// touches, the values it computes inside its transaction, and all-or-none.
#include "sales/sale_service.h"
#include "data/sale_rows.h"
#include "data/schema.h"
#include "support/test_env.h"
#include "support/ui.h"

#include <QTest>

using namespace shop;
using shop::test::storedColumn;
using shop::test::TestEnv;

namespace {

const QString kToday = QStringLiteral("2026-12-07");

void addGoods(TestEnv& env, const QString& code, const QString& price, const QString& stock,
              const QString& name = QStringLiteral("可乐"))
{
    env.insert("jinhuo", {name, code, "330ml", "24", "2", price, stock, "供应商甲", "2026-11-01", ""});
}

void addCard(TestEnv& env, const QString& number, const QString& type, const QString& balance,
             const QString& uses)
{
    env.insert("numbercard", {"2026-01-01", number, "李四", "王五", "洗车", balance, uses, type, ""});
}

SaleEntry goodsSale(const QString& code, const QString& quantity, const QString& card = {})
{
    SaleEntry e;
    e.goods = true;
    e.card = card;
    e.productCode = code;
    e.productName = QStringLiteral("可乐");
    e.quantity = quantity;
    e.retailPrice = QStringLiteral("12元");
    e.purchaseDate = QStringLiteral("2026-11-01");
    e.money = QStringLiteral("24");
    return e;
}

struct Snapshot {
    QList<QStringList> goods, cards, sales, history;
    explicit Snapshot(TestEnv& env)
        : goods(env.rows("jinhuo")), cards(env.rows("numbercard")), sales(env.rows("salse")),
          history(env.rows("salse_history"))
    {
    }
    bool operator==(const Snapshot&) const = default;
};

// A sale of two of P1 (stock 5) to card D1 (74), checked, then `changeSql`
// run as another till would before the confirmation, then saved.
SaleOutcome saveAfterChange(TestEnv& env, const QString& changeSql)
{
    addGoods(env, "P1", "12", "5");
    addCard(env, "D1", "钻石卡", "74", "0");
    SaleService s(env.db());
    const SaleEntry e = goodsSale("P1", "2", "D1");
    const SaleOutcome checked = s.check(e);
    if (checked.kind != SaleOutcome::Ready)
        qFatal("the sale was not ready before the change");
    if (!changeSql.isEmpty() && !env.db().exec(changeSql).ok)
        qFatal("the change failed");
    return s.save(e, checked, kToday);
}

} // namespace

class TstSaleService : public QObject {
    Q_OBJECT
private slots:
    void lowersOnlyTheLineTheCheckFound();
    void chargesOnlyTheCardTheCheckFound();
    void computesFromValuesReadInsideTheTransaction_data();
    void computesFromValuesReadInsideTheTransaction();
    void recordsTheRowsAsStoredAtTheSave_data();
    void recordsTheRowsAsStoredAtTheSave();
    void decidesOnWhatAnotherConnectionStoredMeanwhile_data();
    void decidesOnWhatAnotherConnectionStoredMeanwhile();
    void readsAgainOnAConnectionOpenedAgain();
    void savesOnlyTheRowsTheEntryNames_data();
    void savesOnlyTheRowsTheEntryNames();
    void failureLeavesEverythingAsBefore_data();
    void failureLeavesEverythingAsBefore();
    void busyDatabaseIsAFailureNotASave();
    void keysLieBeyondEveryRow_data();
    void keysLieBeyondEveryRow();
    void dailyTotalRoundsEveryRow_data();
    void dailyTotalRoundsEveryRow();
    void saleRowNamesEachColumn_data();
    void saleRowNamesEachColumn();
};

void TstSaleService::lowersOnlyTheLineTheCheckFound()
{
    TestEnv env;
    // Two goods lines of one product, bought at different prices.
    addGoods(env, "P1", "12", "5");
    addGoods(env, "P1", "15", "7");
    addGoods(env, "P2", "3", "9");
    SaleService s(env.db());
    const SaleEntry e = goodsSale("p1", "2"); // codes compare without regard to case
    const SaleOutcome checked = s.check(e);
    QCOMPARE(checked.kind, SaleOutcome::Ready);
    QCOMPARE(s.save(e, checked, kToday).kind, SaleOutcome::Saved);
    QCOMPARE(storedColumn(env, "jinhuo", 6), QStringList({"3", "7", "9"}));
}

void TstSaleService::chargesOnlyTheCardTheCheckFound()
{
    TestEnv env;
    addGoods(env, "P1", "12", "5");
    addCard(env, "C1", "月卡", "0", "4");
    addCard(env, "C1", "月卡", "0", "9"); // a duplicate number must not be charged too
    addCard(env, "C2", "月卡", "0", "4");
    SaleService s(env.db());
    const SaleEntry e = goodsSale("P1", "1", "C1");
    QCOMPARE(s.save(e, s.check(e), kToday).kind, SaleOutcome::Saved);
    QCOMPARE(storedColumn(env, "numbercard", 6), QStringList({"3", "9", "4"}));
}

void TstSaleService::computesFromValuesReadInsideTheTransaction_data()
{
    QTest::addColumn<QString>("changeSql");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("refusal");
    QTest::addColumn<QString>("stockAfter");
    QTest::addColumn<QString>("balanceAfter");

    // Another till changes the rows between the check and the confirmation.
    QTest::newRow("stock lowered meanwhile")
        << "UPDATE jinhuo SET 库存数量 = '4'" << int(SaleOutcome::Saved) << int(SaleRefusal::None) << "2"
        << "50";
    QTest::newRow("balance lowered meanwhile")
        << "UPDATE numbercard SET 金额 = '80'" << int(SaleOutcome::Saved) << int(SaleRefusal::None) << "3"
        << "56";
    QTest::newRow("stock now too low") << "UPDATE jinhuo SET 库存数量 = '1'" << int(SaleOutcome::Refused)
                                       << int(SaleRefusal::QuantityOverStock) << "1"
                                       << "74";
    QTest::newRow("stock sold out") << "UPDATE jinhuo SET 库存数量 = '0'" << int(SaleOutcome::Refused)
                                    << int(SaleRefusal::StockEmpty) << "0"
                                    << "74";
    QTest::newRow("balance now too low") << "UPDATE numbercard SET 金额 = '24'" << int(SaleOutcome::Refused)
                                         << int(SaleRefusal::BalanceTooLow) << "5"
                                         << "24";
    QTest::newRow("goods line deleted")
        << "DELETE FROM jinhuo" << int(SaleOutcome::Refused) << int(SaleRefusal::ProductNotFound) << ""
        << "74";
    QTest::newRow("goods line renamed to another product")
        << "UPDATE jinhuo SET 产品编号 = 'P9'" << int(SaleOutcome::Refused)
        << int(SaleRefusal::ProductNotFound) << "5"
        << "74";
    QTest::newRow("card deleted") << "DELETE FROM numbercard" << int(SaleOutcome::Refused)
                                  << int(SaleRefusal::CardNotFound) << "5"
                                  << "";
}

void TstSaleService::computesFromValuesReadInsideTheTransaction()
{
    QFETCH(QString, changeSql);
    QFETCH(int, kind);
    QFETCH(int, refusal);
    QFETCH(QString, stockAfter);
    QFETCH(QString, balanceAfter);

    TestEnv env;
    const SaleOutcome saved = saveAfterChange(env, changeSql);
    QCOMPARE(int(saved.kind), kind);
    QCOMPARE(int(saved.refusal), refusal);
    QCOMPARE(storedColumn(env, "jinhuo", 6).value(0), stockAfter);
    QCOMPARE(storedColumn(env, "numbercard", 5).value(0), balanceAfter);
    const int written = kind == SaleOutcome::Saved ? 1 : 0;
    QCOMPARE(env.rows("salse").size(), written);
    QCOMPARE(env.rows("salse_history").size(), written);
}

void TstSaleService::recordsTheRowsAsStoredAtTheSave_data()
{
    QTest::addColumn<QString>("changeSql");
    // The stock ledger's row: code, name, purchase date, stock before and
    // after, unit cost, cost; the card ledger's: number, amount and uses
    // before and after.
    QTest::addColumn<QStringList>("stockRow");
    QTest::addColumn<QStringList>("cardRow");

    // Another till changes what the sale records between the check and the
    // confirmation: the rows are written as they stand at the save.
    const QStringList stock{"P1", "可乐", "2026-11-01", "5", "3", "2", "4"};
    const QStringList card{"D1", "74", "50", "0", "0"};
    QTest::newRow("nothing changed") << QString() << stock << card;
    QTest::newRow("unit cost raised") << "UPDATE jinhuo SET 进货价格 = '3'"
                                      << QStringList{"P1", "可乐", "2026-11-01", "5", "3", "3", "6"} << card;
    QTest::newRow("goods renamed") << "UPDATE jinhuo SET 商品名称 = '雪碧'"
                                   << QStringList{"P1", "雪碧", "2026-11-01", "5", "3", "2", "4"} << card;
    QTest::newRow("purchase date corrected")
        << "UPDATE jinhuo SET 进货日期 = '2026-11-02'"
        << QStringList{"P1", "可乐", "2026-11-02", "5", "3", "2", "4"} << card;
    QTest::newRow("code retyped in small letters")
        << "UPDATE jinhuo SET 产品编号 = 'p1'" << QStringList{"p1", "可乐", "2026-11-01", "5", "3", "2", "4"}
        << card;
    QTest::newRow("same stock written otherwise")
        << "UPDATE jinhuo SET 库存数量 = '5.0'"
        << QStringList{"P1", "可乐", "2026-11-01", "5.0", "3", "2", "4"} << card;
    QTest::newRow("card number retyped in small letters")
        << "UPDATE numbercard SET 卡号 = 'd1'" << stock << QStringList{"d1", "74", "50", "0", "0"};
    QTest::newRow("card turned into a card of uses") << "UPDATE numbercard SET 卡类型 = '月卡', 次数 = '4'"
                                                     << stock << QStringList{"D1", "74", "74", "4", "3"};
    QTest::newRow("same amount written otherwise")
        << "UPDATE numbercard SET 金额 = '74.0'" << stock << QStringList{"D1", "74.0", "50", "0", "0"};
}

void TstSaleService::recordsTheRowsAsStoredAtTheSave()
{
    QFETCH(QString, changeSql);
    QFETCH(QStringList, stockRow);
    QFETCH(QStringList, cardRow);

    TestEnv env;
    QCOMPARE(saveAfterChange(env, changeSql).kind, SaleOutcome::Saved);
    // The sale's rows, the last of each ledger.
    const auto columnsOf = [&env](const QString& table, const QStringList& columns) {
        const QStringList last = env.rows(table).value(env.rows(table).size() - 1);
        const QStringList all = schema::columnsOf(table);
        QStringList out;
        for (const QString& c : columns)
            out << last.value(all.indexOf(c));
        return out;
    };
    namespace l = schema::liushui;
    namespace k = schema::kawu;
    QCOMPARE(
        columnsOf(l::kTable, {l::kCode, l::kName, l::kDate, l::kBefore, l::kAfter, l::kUnitCost, l::kCost}),
        stockRow);
    QCOMPARE(
        columnsOf(k::kTable, {k::kCard, k::kBalanceBefore, k::kBalanceAfter, k::kUsesBefore, k::kUsesAfter}),
        cardRow);
    QCOMPARE(storedColumn(env, "jinhuo", 6), QStringList{stockRow.at(4)});
    QCOMPARE(storedColumn(env, "numbercard", 5), QStringList{cardRow.at(2)});
    QCOMPARE(storedColumn(env, "numbercard", 6), QStringList{cardRow.at(4)});
}

void TstSaleService::decidesOnWhatAnotherConnectionStoredMeanwhile_data()
{
    QTest::addColumn<QString>("changeSql");
    QTest::addColumn<int>("refusal");
    QTest::addColumn<QString>("stockAfter");
    QTest::addColumn<QString>("balanceAfter");
    QTest::addColumn<QString>("cost"); // of the goods taken, in the stock ledger's row

    // Another program on the file (another till on a server) changes the
    // rows between the check and the confirmation.
    const int none = int(SaleRefusal::None);
    QTest::newRow("nothing changed") << QString() << none << "3"
                                     << "50"
                                     << "4";
    QTest::newRow("stock lowered") << "UPDATE jinhuo SET 库存数量 = '4'" << none << "2"
                                   << "50"
                                   << "4";
    QTest::newRow("stock now too low")
        << "UPDATE jinhuo SET 库存数量 = '1'" << int(SaleRefusal::QuantityOverStock) << "1"
        << "74"
        << "";
    QTest::newRow("unit cost raised") << "UPDATE jinhuo SET 进货价格 = '3'" << none << "3"
                                      << "50"
                                      << "6";
    QTest::newRow("goods line renamed to another product")
        << "UPDATE jinhuo SET 产品编号 = 'P9'" << int(SaleRefusal::ProductNotFound) << "5"
        << "74"
        << "";
    QTest::newRow("balance raised") << "UPDATE numbercard SET 金额 = '80'" << none << "3"
                                    << "56"
                                    << "4";
    QTest::newRow("balance now too low")
        << "UPDATE numbercard SET 金额 = '24'" << int(SaleRefusal::BalanceTooLow) << "5"
        << "24"
        << "";
    QTest::newRow("card deleted") << "DELETE FROM numbercard" << int(SaleRefusal::CardNotFound) << "5"
                                  << ""
                                  << "";
}

void TstSaleService::decidesOnWhatAnotherConnectionStoredMeanwhile()
{
    QFETCH(QString, changeSql);
    QFETCH(int, refusal);
    QFETCH(QString, stockAfter);
    QFETCH(QString, balanceAfter);
    QFETCH(QString, cost);

    TestEnv env;
    addGoods(env, "P1", "12", "5");
    addCard(env, "D1", "钻石卡", "74", "0");
    QString err;
    auto other = env.db().onServer() ? Database::openServer(*env.ctx().server(), &err)
                                     : Database::open(env.ctx().paths().businessDb(), &err);
    QVERIFY2(other, qPrintable(err));
    SaleService s(env.db());
    const SaleEntry e = goodsSale("P1", "2", "D1");
    const SaleOutcome checked = s.check(e);
    QCOMPARE(checked.kind, SaleOutcome::Ready);
    if (!changeSql.isEmpty())
        QVERIFY(other->exec(changeSql).ok);

    const SaleOutcome saved = s.save(e, checked, kToday);
    QCOMPARE(int(saved.refusal), refusal);
    QCOMPARE(saved.kind, refusal == int(SaleRefusal::None) ? SaleOutcome::Saved : SaleOutcome::Refused);
    QCOMPARE(storedColumn(env, "jinhuo", 6).value(0), stockAfter);
    QCOMPARE(storedColumn(env, "numbercard", 5).value(0), balanceAfter);
    QCOMPARE(env.rows("salse").size(), saved.kind == SaleOutcome::Saved ? 1 : 0);
    namespace l = schema::liushui;
    const QList<QStringList> ledger = env.rows(l::kTable);
    QCOMPARE(ledger.value(ledger.size() - 1).value(schema::columnsOf(l::kTable).indexOf(l::kCost)), cost);
}

void TstSaleService::readsAgainOnAConnectionOpenedAgain()
{
    // A till's connection opened afresh (the file turned writable again,
    // or was restored) between the check and the confirmation, while
    // another program lowered the stock.
    TestEnv env;
    if (env.db().onServer())
        QSKIP("a file's connection");
    addGoods(env, "P1", "12", "5");
    addCard(env, "D1", "钻石卡", "74", "0");
    QString err;
    auto till = Database::open(env.ctx().paths().businessDb(), &err);
    QVERIFY2(till, qPrintable(err));
    SaleService s(*till);
    const SaleEntry e = goodsSale("P1", "2", "D1");
    const SaleOutcome checked = s.check(e);
    QCOMPARE(checked.kind, SaleOutcome::Ready);
    QVERIFY(env.db().exec("UPDATE jinhuo SET 库存数量 = '4'").ok);
    till->close();
    QVERIFY2(till->reopen(&err), qPrintable(err));

    QCOMPARE(s.save(e, checked, kToday).kind, SaleOutcome::Saved);
    QCOMPARE(storedColumn(env, "jinhuo", 6), QStringList{"2"});
}

void TstSaleService::savesOnlyTheRowsTheEntryNames_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("card");
    QTest::addColumn<int>("refusal");

    // Saved with the outcome of a check of another entry: the rows it
    // pinned are not the entry's.
    QTest::newRow("another product") << "P2"
                                     << "D1" << int(SaleRefusal::ProductNotFound);
    QTest::newRow("another card") << "P1"
                                  << "D2" << int(SaleRefusal::CardNotFound);
}

void TstSaleService::savesOnlyTheRowsTheEntryNames()
{
    QFETCH(QString, code);
    QFETCH(QString, card);
    QFETCH(int, refusal);

    TestEnv env;
    addGoods(env, "P1", "12", "5");
    addGoods(env, "P2", "12", "9");
    addCard(env, "D1", "钻石卡", "74", "0");
    addCard(env, "D2", "钻石卡", "90", "0");
    SaleService s(env.db());
    const SaleOutcome checked = s.check(goodsSale("P1", "2", "D1"));
    QCOMPARE(checked.kind, SaleOutcome::Ready);
    const SaleOutcome saved = s.save(goodsSale(code, "2", card), checked, kToday);
    QCOMPARE(saved.kind, SaleOutcome::Refused);
    QCOMPARE(int(saved.refusal), refusal);
    QCOMPARE(storedColumn(env, "jinhuo", 6), QStringList({"5", "9"}));
    QCOMPARE(storedColumn(env, "numbercard", 5), QStringList({"74", "90"}));
}

void TstSaleService::failureLeavesEverythingAsBefore_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("step");

    QTest::newRow("stock write") << "BEFORE UPDATE ON jinhuo"
                                 << "更新库存数量";
    QTest::newRow("card charge") << "BEFORE UPDATE ON numbercard"
                                 << "扣除会员卡";
    QTest::newRow("transaction row") << "BEFORE INSERT ON salse"
                                     << "写入业务记录";
    QTest::newRow("history row") << "BEFORE INSERT ON salse_history"
                                 << "写入业务历史记录";
}

void TstSaleService::failureLeavesEverythingAsBefore()
{
    QFETCH(QString, trigger);
    QFETCH(QString, step);

    TestEnv env;
    addGoods(env, "P1", "12", "5");
    addCard(env, "M1", "季卡", "0", "3");
    env.insert("salse", {"2026-12-01", "其它服务", "M1", "", "", "", "", "", "10", "洗车", "张三", "", "0"});
    QVERIFY(test::addFailingTrigger(env.db(), "fail", trigger, "disk on fire"));
    const Snapshot before(env);

    SaleService s(env.db());
    SaleEntry e = goodsSale("P1", "2", "M1");
    e.service = true;
    const SaleOutcome saved = s.save(e, s.check(e), kToday);
    QCOMPARE(saved.kind, SaleOutcome::Failed);
    QCOMPARE(saved.step, step);
    QVERIFY2(saved.error.contains("disk on fire"), qPrintable(saved.error));
    QVERIFY(Snapshot(env) == before);
    QVERIFY(!env.db().inTransaction());

    // Once the fault is gone the same entry saves.
    QVERIFY(test::dropTrigger(env.db(), "fail"));
    QCOMPARE(s.save(e, s.check(e), kToday).kind, SaleOutcome::Saved);
    QCOMPARE(storedColumn(env, "jinhuo", 6), QStringList{"3"});
    QCOMPARE(storedColumn(env, "numbercard", 6), QStringList{"2"});
    QCOMPARE(env.rows("salse").size(), 2);
    QCOMPARE(env.rows("salse_history").size(), 1);
}

void TstSaleService::busyDatabaseIsAFailureNotASave()
{
    TestEnv env;
    addGoods(env, "P1", "12", "5");
    // A second connection holds the write lock (another program on the
    // file), or the goods line (another till on the server).
    QString err;
    auto other = env.db().onServer() ? Database::openServer(*env.ctx().server(), &err)
                                     : Database::open(env.ctx().paths().businessDb(), &err);
    QVERIFY2(other, qPrintable(err));
    if (env.db().onServer()) {
        QVERIFY(env.db().exec("SET lock_timeout = '50ms'").ok);
    } else {
        QVERIFY(other->exec("PRAGMA busy_timeout = 0").ok);
        QVERIFY(env.db().exec("PRAGMA busy_timeout = 50").ok);
    }
    Database::Transaction hold(*other);
    QVERIFY(hold.active());
    if (env.db().onServer())
        QVERIFY(other->selectOneForUpdate("SELECT rowid FROM jinhuo").found());

    SaleService s(env.db());
    const SaleEntry e = goodsSale("P1", "2");
    const SaleOutcome saved = s.save(e, s.check(e), kToday);
    QCOMPARE(saved.kind, SaleOutcome::Failed);
    QCOMPARE(saved.step, env.db().onServer() ? QStringLiteral("读取商品资料") : QStringLiteral("开始保存"));
    hold.rollback();
    QCOMPARE(storedColumn(env, "jinhuo", 6), QStringList{"5"});
    QVERIFY(env.rows("salse").isEmpty());
}

void TstSaleService::keysLieBeyondEveryRow_data()
{
    QTest::addColumn<QString>("table"); // where a row was written by hand, with its own rowid
    QTest::addColumn<qint64>("rowid");
    QTest::addColumn<qint64>("firstKey");

    QTest::newRow("no row") << QString() << qint64(0) << qint64(1);
    QTest::newRow("salse row beyond the history") << schema::salse::kTable << qint64(40) << qint64(41);
    QTest::newRow("history row beyond its counter") << schema::salse::kHistory << qint64(40) << qint64(41);
}

void TstSaleService::keysLieBeyondEveryRow()
{
    QFETCH(QString, table);
    QFETCH(qint64, rowid);
    QFETCH(qint64, firstKey);

    TestEnv env;
    addGoods(env, "P1", "12", "5");
    addCard(env, "C1", "钻石卡", "100", "0");
    const QStringList columns = schema::columnsOf(schema::salse::kTable);
    if (!table.isEmpty()) {
        QStringList names;
        QVariantList values{rowid};
        for (const QString& c : columns) {
            names << quoteIdent(c);
            values << (c == schema::salse::kReceived ? QStringLiteral("5") : QString(""));
        }
        QVERIFY(env.db()
                    .exec(QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (?%3)")
                              .arg(quoteIdent(table), names.join(u','),
                                   QStringLiteral(", ?").repeated(names.size())),
                          values)
                    .ok);
    }

    // Two sales: each key names its salse row, its history row and the card
    // ledger's row of its charge.
    SaleService s(env.db());
    for (const qint64 key : {firstKey, firstKey + 1}) {
        SaleEntry e = goodsSale("P1", "1", "C1");
        e.remark = QString::number(key);
        const SaleOutcome saved = s.save(e, s.check(e), kToday);
        QCOMPARE(saved.kind, SaleOutcome::Saved);
        QCOMPARE(saved.key, QString::number(key));
        for (const QString& t : {schema::salse::kTable, schema::salse::kHistory}) {
            const auto row = env.db().selectOne(QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?")
                                                    .arg(quoteIdent(schema::salse::kRemark), quoteIdent(t)),
                                                {key});
            QVERIFY2(row.found(), qPrintable(t));
            QCOMPARE(row->value(0).toString(), QString::number(key));
        }
        const auto charge =
            env.db().selectOne(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ?")
                                   .arg(quoteIdent(schema::kawu::kTable), quoteIdent(schema::kawu::kSale)),
                               {QString::number(key)});
        QCOMPARE(charge->value(0).toLongLong(), 1);
    }
}

void TstSaleService::dailyTotalRoundsEveryRow_data()
{
    QTest::addColumn<QStringList>("amounts");
    QTest::addColumn<qint64>("total");
    QTest::newRow("12, 8.5, empty") << QStringList{"12", "8.5", ""} << qint64(20);
    QTest::newRow("10.5 twice") << QStringList{"10.5", "10.5"} << qint64(20);
    QTest::newRow("2.5 then 1") << QStringList{"2.5", "1"} << qint64(3);
    QTest::newRow("text and units") << QStringList{"30元", "abc", " 1 2 "} << qint64(42);
    QTest::newRow("negative") << QStringList{"-3.5", "1"} << qint64(-3);
}

void TstSaleService::dailyTotalRoundsEveryRow()
{
    QFETCH(QStringList, amounts);
    QFETCH(qint64, total);
    TestEnv env;
    env.insert("salse", {"2026-12-06", "其它服务", "非会员", "", "", "", "", "", "1000", "", "", "", "0"});
    for (const QString& a : amounts)
        env.insert("salse", {kToday, "其它服务", "非会员", "", "", "", "", "", a, "", "", "", "0"});
    env.insert("salse", {"2026-12-08", "其它服务", "非会员", "", "", "", "", "", "1000", "", "", "", "0"});
    const auto t = SaleService(env.db()).dailyTotal(kToday);
    QVERIFY(t);
    QCOMPARE(t->rows, qint64(amounts.size()));
    QCOMPARE(t->total, total);
}

void TstSaleService::saleRowNamesEachColumn_data()
{
    namespace c = schema::salse;
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("text");
    const QList<std::pair<QString, QString sales::SaleRow::*>> fields{
        {c::kDate, &sales::SaleRow::date},
        {c::kType, &sales::SaleRow::type},
        {c::kCard, &sales::SaleRow::card},
        {c::kProductCode, &sales::SaleRow::productCode},
        {c::kProductName, &sales::SaleRow::productName},
        {c::kQuantity, &sales::SaleRow::quantity},
        {c::kRetailPrice, &sales::SaleRow::retailPrice},
        {c::kPurchaseDate, &sales::SaleRow::purchaseDate},
        {c::kReceived, &sales::SaleRow::received},
        {c::kServiceItem, &sales::SaleRow::serviceItem},
        {c::kEmployee, &sales::SaleRow::employee},
        {c::kRemark, &sales::SaleRow::remark},
        {c::kCommission, &sales::SaleRow::commission},
    };
    for (const auto& [column, field] : fields) {
        sales::SaleRow row;
        row.*field = QStringLiteral("值") + column;
        QTest::newRow(qPrintable(column)) << column << row.values().join(u'|');
    }
}

void TstSaleService::saleRowNamesEachColumn()
{
    // A field set by name lands in its own stored column, alone, and reads back.
    QFETCH(QString, column);
    QFETCH(QString, text);
    const QStringList columns = schema::columnsOf(schema::salse::kTable);
    const QStringList values = text.split(u'|');
    QCOMPARE(values.size(), columns.size());
    for (qsizetype i = 0; i < columns.size(); ++i)
        QCOMPARE(values.at(i), columns.at(i) == column ? QStringLiteral("值") + column : QString());
    QCOMPARE(sales::SaleRow::fromValues(values).values(), values);
}

QTEST_GUILESS_MAIN(TstSaleService)
#include "tst_sale_service.moc"
