// The card ledger and the money figures: every change of a card kept with
// it, all or none; voids; the day's closing.
#include "data/card_ledger.h"
#include "data/money.h"
#include "data/record_model.h"
#include "data/schema.h"
#include "data/table_rows.h"
#include "members/card_service.h"
#include "sales/sale_service.h"
#include "support/sale_entry.h"
#include "support/test_env.h"

#include <QRandomGenerator>
#include <QTest>

#include <barrier>
#include <thread>

using namespace shop;
using shop::test::saleEntry;
using shop::test::TestEnv;

namespace {

const QString kToday = QStringLiteral("2026-12-07");

QStringList card(const QString& number, const QString& type, const QString& balance, const QString& uses)
{
    return {"2026-01-01", number, "李四", "王五", "洗车", balance, uses, type, ""};
}

void addGoods(TestEnv& env, const QString& code, const QString& stock)
{
    env.insert("jinhuo", {"可乐", code, "330ml", "24", "2", "12", stock, "供应商甲", "2026-11-01", ""});
}

SaleEntry sale(const QString& number, const QString& money, const QString& code = {})
{
    return saleEntry({.card = number, .money = money, .productCode = code, .commission = 3});
}

bool sell(TestEnv& env, const SaleEntry& e)
{
    SaleService s(env.db());
    return s.save(e, s.check(e), kToday).kind == SaleOutcome::Saved;
}

qint64 rowidOf(TestEnv& env, const QString& table, const QString& where = QStringLiteral("1 = 1"))
{
    const auto row = env.db().selectOne(
        QStringLiteral("SELECT rowid FROM %1 WHERE %2 ORDER BY rowid LIMIT 1").arg(table, where));
    return row ? row->value(0).toLongLong() : 0;
}

QStringList salseRow(TestEnv& env, qint64 rowid)
{
    return *rows::storedRow(env.db(), QStringLiteral("salse"), rowid);
}

// The ledger's kinds in order, with the figures after each.
QStringList ledger(TestEnv& env)
{
    QStringList out;
    for (const QStringList& r : env.rows("kawu"))
        if (r.at(2) != QStringLiteral("启用"))
            out << QStringLiteral("%1 %2 %3/%4 %5")
                       .arg(r.at(2), r.at(1), r.at(4), r.at(6), r.at(7))
                       .trimmed();
    return out;
}

// For every card that has ledger rows, its last row's figures after the
// change are the card's stored figures.
QString ledgerMismatch(TestEnv& env)
{
    const auto cards = env.db().selectAll(QStringLiteral("SELECT rowid, 卡号, 金额, 次数 FROM numbercard"));
    for (const QVariantList& c : *cards) {
        const auto last = env.db().selectOne(
            QStringLiteral(
                "SELECT 卡号, 新金额, 新次数 FROM kawu WHERE 卡记录号 = ? ORDER BY rowid DESC LIMIT 1"),
            {c.value(0).toString()});
        if (!last)
            return QStringLiteral("card %1 has no ledger row").arg(c.value(1).toString());
        for (int i = 0; i < 3; ++i)
            if (last->value(i).toString() != c.value(i + 1).toString())
                return QStringLiteral("card %1: ledger says %2, card holds %3")
                    .arg(c.value(1).toString(), last->value(i).toString(), c.value(i + 1).toString());
    }
    return {};
}

struct Snapshot {
    QList<QList<QStringList>> tables;
    explicit Snapshot(TestEnv& env)
    {
        for (const char* t : {"jinhuo", "numbercard", "salse", "salse_history", "kawu", "chexiao"})
            tables << env.rows(t);
    }
    bool operator==(const Snapshot&) const = default;
};

// One in-place edit of the card grid, written as the grid writes it.
DbResult gridEdit(TestEnv& env, qint64 rowid, int column, const QString& value)
{
    RecordModel model(env.db());
    model.setSource(RecordSource::all(QStringLiteral("numbercard")));
    model.setEditable(true);
    const int row = model.rowOfRowid(rowid);
    model.setData(model.index(row, column), value);
    return model.flushEdits();
}

} // namespace

class TstCardLedger : public QObject {
    Q_OBJECT
private slots:
    void topUpChargeAndVoidOnEachKind_data();
    void topUpChargeAndVoidOnEachKind();
    void ledgerMatchesCardsAfterAnyMix_data();
    void ledgerMatchesCardsAfterAnyMix();
    void failedWriteLeavesNoHalf_data();
    void failedWriteLeavesNoHalf();
    void voidIsRefusedWhenItCannotGiveBack_data();
    void voidIsRefusedWhenItCannotGiveBack();
    void voidGivesBackWhatTheLedgerTook_data();
    void voidGivesBackWhatTheLedgerTook();
    void dayClosingFigures();
    void dayEndsAtMidnight_data();
    void dayEndsAtMidnight();
    void olderDatabaseGetsTheLedgerWhenOpened();
    void twoTillsTopUpTheSameCard();
};

void TstCardLedger::topUpChargeAndVoidOnEachKind_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("added");
    QTest::addColumn<QString>("received");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QList<qint64>>("totals"); // received, charged, uses

    QTest::newRow("use card") << "月卡"
                              << "10"
                              << "300"
                              << QStringList{"开卡 M1 0/2", "充值 M1 0/12 300", "消费 M1 0/11",
                                             "撤销消费 M1 0/12"}
                              << QList<qint64>{300, 0, 0};
    QTest::newRow("stored-value card")
        << "钻石卡"
        << "99.5"
        << "90"
        << QStringList{"开卡 M1 100/0", "充值 M1 199.5/0 90", "消费 M1 164.5/0", "撤销消费 M1 199.5/0"}
        << QList<qint64>{90, 0, 0};
}

void TstCardLedger::topUpChargeAndVoidOnEachKind()
{
    QFETCH(QString, type);
    QFETCH(QString, added);
    QFETCH(QString, received);
    QFETCH(QStringList, expected);
    QFETCH(QList<qint64>, totals);
    TestEnv env;
    env.ctx().setLogin(QStringLiteral("ZED"), QStringLiteral("M"));
    const bool value = type == QStringLiteral("钻石卡");
    QVERIFY(rows::insert(env.db(), "numbercard", card("M1", type, value ? "100" : "0", value ? "0" : "2")));
    const TopUpOutcome up =
        CardService(env.db()).topUp({rowidOf(env, "numbercard"), added, received, "张三"});
    QCOMPARE(up.kind, TopUpOutcome::Done);
    QVERIFY(sell(env, sale("M1", "35")));

    // Before the void the sale's charge counts; the void gives it back.
    const RecordSource oneCard = RecordSource::all("kawu").filter("卡号", Op::Eq, "M1");
    QCOMPARE(money::ledgerTotals(env.db(), oneCard)->charged.total, value ? qint64(35) : 0);
    QCOMPARE(money::ledgerTotals(env.db(), oneCard)->uses.total, value ? 0 : qint64(1));
    const qint64 sold = rowidOf(env, "salse");
    const VoidOutcome voided = SaleService(env.db()).voidSale(sold, salseRow(env, sold));
    QCOMPARE(voided.kind, VoidOutcome::Voided);

    QCOMPARE(ledger(env), expected);
    const auto t = money::ledgerTotals(env.db(), oneCard);
    QCOMPARE((QList<qint64>{t->received.total, t->netCharged().total, t->netUses().total}), totals);
    QCOMPARE(ledgerMismatch(env), QString());
    // Every row names the login; the charge and its void name the sale.
    QCOMPARE(env.db().selectOne("SELECT count(*) FROM kawu WHERE 操作员 = 'ZED'")->value(0).toInt(), 4);
    const auto keys = env.db().selectAll(
        "SELECT 业务编号 FROM kawu WHERE 业务编号 <> '' AND 类别 <> '启用' ORDER BY rowid");
    QCOMPARE(keys->size(), 2);
    QCOMPARE(keys->at(0).value(0).toString(), voided.key);
    QCOMPARE(keys->at(1).value(0).toString(), voided.key);
    QCOMPARE(env.rows("chexiao").size(), 1);
    QCOMPARE(env.rows("salse").size(), 0);
    QCOMPARE(env.rows("salse_history").size(), 1);
}

void TstCardLedger::ledgerMatchesCardsAfterAnyMix_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 2u, 3u})
        QTest::addRow("seed %u", seed) << seed;
}

void TstCardLedger::ledgerMatchesCardsAfterAnyMix()
{
    QFETCH(quint32, seed);
    TestEnv env;
    env.ctx().setLogin(QStringLiteral("ZED"), QStringLiteral("M"));
    addGoods(env, "P1", "1000");
    QRandomGenerator rnd(seed);
    const QStringList types = {"月卡", "季卡", "钻石卡", "年卡", "贵宾卡"};
    int opened = 0;
    const auto anyRow = [&](const QString& table) -> qint64 {
        const auto all = env.db().selectAll(QStringLiteral("SELECT rowid FROM %1").arg(table));
        return all->isEmpty() ? 0 : all->at(rnd.bounded(int(all->size()))).value(0).toLongLong();
    };
    for (int step = 0; step < 60; ++step) {
        const qint64 c = anyRow("numbercard");
        const QString number = c ? rows::storedRow(env.db(), "numbercard", c)->value(1) : QString();
        switch (c ? rnd.bounded(8) : 0) {
        case 0:
            QVERIFY(
                rows::insert(env.db(), "numbercard",
                             card(QStringLiteral("C%1").arg(++opened), types.at(rnd.bounded(5)),
                                  QString::number(rnd.bounded(50, 500)), QString::number(rnd.bounded(5)))));
            break;
        case 1:
            CardService(env.db()).topUp({c, QString::number(rnd.bounded(1, 9)), "10", "张三"});
            break;
        case 2:
        case 3:
            sell(env, sale(number, QString::number(rnd.bounded(1, 60)), rnd.bounded(2) ? "P1" : QString()));
            break;
        case 4:
            if (const qint64 s = anyRow("salse"))
                SaleService(env.db()).voidSale(s, salseRow(env, s));
            break;
        case 5: {
            QStringList v = *rows::storedRow(env.db(), "numbercard", c);
            v[5] = QString::number(rnd.bounded(100));
            QVERIFY(rows::updateRowid(env.db(), "numbercard", c, v));
            break;
        }
        case 6:
            QVERIFY(gridEdit(env, c, rnd.bounded(2) ? 6 : 1, QString::number(rnd.bounded(1000))));
            break;
        case 7:
            QVERIFY(rnd.bounded(6) ? rows::deleteRowid(env.db(), "numbercard", c).ok
                                   : rows::emptyTable(env.db(), "numbercard").ok);
            break;
        }
        QVERIFY(!env.db().inTransaction());
    }
    QCOMPARE(ledgerMismatch(env), QString());
    // Every sale is in the history; every history row is in salse or voided.
    QCOMPARE(env.db()
                 .selectOne("SELECT count(*) FROM salse WHERE rowid NOT IN (SELECT rowid FROM "
                            "salse_history)")
                 ->value(0)
                 .toInt(),
             0);
    QCOMPARE(env.db()
                 .selectOne("SELECT count(*) FROM salse_history WHERE rowid NOT IN (SELECT rowid FROM salse) "
                            "AND CAST(rowid AS TEXT) NOT IN (SELECT 业务编号 FROM chexiao)")
                 ->value(0)
                 .toInt(),
             0);
}

void TstCardLedger::failedWriteLeavesNoHalf_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("trigger");
    const QString ledgerRow = QStringLiteral("BEFORE INSERT ON kawu");
    QTest::newRow("opening: card") << "open"
                                   << "BEFORE INSERT ON numbercard";
    QTest::newRow("opening: ledger") << "open" << ledgerRow;
    QTest::newRow("top-up: card") << "top-up"
                                  << "BEFORE UPDATE ON numbercard";
    QTest::newRow("top-up: ledger") << "top-up" << ledgerRow;
    QTest::newRow("modify: card") << "modify"
                                  << "BEFORE UPDATE ON numbercard";
    QTest::newRow("modify: ledger") << "modify" << ledgerRow;
    QTest::newRow("grid edit: card") << "grid edit"
                                     << "BEFORE UPDATE ON numbercard";
    QTest::newRow("grid edit: ledger") << "grid edit" << ledgerRow;
    QTest::newRow("delete: ledger") << "delete" << ledgerRow;
    QTest::newRow("delete: card") << "delete"
                                  << "BEFORE DELETE ON numbercard";
    QTest::newRow("emptying: ledger") << "empty" << ledgerRow;
    QTest::newRow("emptying: cards") << "empty"
                                     << "BEFORE DELETE ON numbercard";
    QTest::newRow("sale: card") << "sale"
                                << "BEFORE UPDATE ON numbercard";
    QTest::newRow("sale: ledger") << "sale" << ledgerRow;
    QTest::newRow("void: stock") << "void"
                                 << "BEFORE UPDATE ON jinhuo";
    QTest::newRow("void: card") << "void"
                                << "BEFORE UPDATE ON numbercard";
    QTest::newRow("void: ledger") << "void" << ledgerRow;
    QTest::newRow("void: record") << "void"
                                  << "BEFORE INSERT ON chexiao";
    QTest::newRow("void: row") << "void"
                               << "BEFORE DELETE ON salse";
}

void TstCardLedger::failedWriteLeavesNoHalf()
{
    QFETCH(QString, action);
    QFETCH(QString, trigger);
    TestEnv env;
    addGoods(env, "P1", "5");
    QVERIFY(rows::insert(env.db(), "numbercard", card("M1", "钻石卡", "100", "0")));
    QVERIFY(sell(env, sale("M1", "30", "P1")));
    const qint64 c = rowidOf(env, "numbercard");
    const qint64 s = rowidOf(env, "salse");
    QVERIFY(test::addFailingTrigger(env.db(), "fail", trigger, "disk on fire"));
    const Snapshot before(env);

    bool ok = true;
    if (action == "open") {
        ok = rows::insert(env.db(), "numbercard", card("M2", "月卡", "0", "5")).ok;
    } else if (action == "top-up") {
        ok = CardService(env.db()).topUp({c, "50", "50", ""}).kind == TopUpOutcome::Done;
    } else if (action == "modify") {
        ok = rows::updateRowid(env.db(), "numbercard", c, card("M1", "钻石卡", "800", "0")).ok;
    } else if (action == "grid edit") {
        ok = gridEdit(env, c, 5, "800").ok;
    } else if (action == "delete") {
        ok = rows::deleteRowid(env.db(), "numbercard", c).ok;
    } else if (action == "empty") {
        ok = rows::emptyTable(env.db(), "numbercard").ok;
    } else if (action == "sale") {
        ok = sell(env, sale("M1", "10"));
    } else {
        ok = SaleService(env.db()).voidSale(s, salseRow(env, s)).kind == VoidOutcome::Voided;
    }
    QVERIFY(!ok);
    QVERIFY(!env.db().inTransaction());
    QVERIFY(Snapshot(env) == before);
}

void TstCardLedger::voidIsRefusedWhenItCannotGiveBack_data()
{
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<int>("refusal");
    QTest::newRow("voided before") << "void" << int(VoidRefusal::AlreadyVoided);
    QTest::newRow("row deleted") << "delete sale" << int(VoidRefusal::Gone);
    QTest::newRow("card deleted") << "delete card" << int(VoidRefusal::CardGone);
    QTest::newRow("card emptied and reopened") << "reopen card" << int(VoidRefusal::CardGone);
    QTest::newRow("goods line deleted") << "delete goods" << int(VoidRefusal::GoodsGone);
}

void TstCardLedger::voidIsRefusedWhenItCannotGiveBack()
{
    QFETCH(QString, meanwhile);
    QFETCH(int, refusal);
    TestEnv env;
    addGoods(env, "P1", "5");
    QVERIFY(rows::insert(env.db(), "numbercard", card("M1", "季卡", "0", "3")));
    QVERIFY(sell(env, sale("M1", "30", "P1")));
    const qint64 s = rowidOf(env, "salse");
    const QStringList values = salseRow(env, s);
    SaleService service(env.db());
    if (meanwhile == "void")
        QCOMPARE(service.voidSale(s, values).kind, VoidOutcome::Voided);
    else if (meanwhile == "delete sale")
        QVERIFY(rows::deleteRowid(env.db(), "salse", s));
    else if (meanwhile == "delete card")
        QVERIFY(rows::deleteRowid(env.db(), "numbercard", rowidOf(env, "numbercard")));
    else if (meanwhile == "reopen card")
        // Another card, perhaps under the deleted card's rowid.
        QVERIFY(rows::emptyTable(env.db(), "numbercard") &&
                rows::insert(env.db(), "numbercard", card("M9", "季卡", "0", "9")));
    else
        QVERIFY(rows::deleteRowid(env.db(), "jinhuo", rowidOf(env, "jinhuo")));
    const Snapshot before(env);

    const VoidOutcome out = service.voidSale(s, values);
    QCOMPARE(out.kind, VoidOutcome::Refused);
    QCOMPARE(int(out.refusal), refusal);
    QVERIFY(Snapshot(env) == before);
}

void TstCardLedger::voidGivesBackWhatTheLedgerTook_data()
{
    QTest::addColumn<QString>("history"); // what happened between the sale and the void
    QTest::addColumn<QString>("uses");    // the card's uses after the void; empty: card gone
    QTest::addColumn<int>("ledgerRows");  // rows the void wrote

    QTest::newRow("never charged, card's type changed since") << "retyped"
                                                              << "3" << 0;
    QTest::newRow("never charged, card deleted since") << "deleted"
                                                       << "" << 0;
    QTest::newRow("charged before the ledger began") << "older file"
                                                     << "3" << 1;
}

void TstCardLedger::voidGivesBackWhatTheLedgerTook()
{
    QFETCH(QString, history);
    QFETCH(QString, uses);
    QFETCH(int, ledgerRows);
    TestEnv env;
    if (history == "older file") {
        // A use taken by a sale an earlier version stored, without a ledger.
        for (const char* t : {"kawu", "chexiao"})
            QVERIFY(env.db().exec(QStringLiteral("DROP TABLE %1").arg(t)));
        env.insert("numbercard", card("M1", "月卡", "0", "2"));
        const QStringList sold = SaleService::values(sale("M1", "30"), kToday);
        env.insert("salse_history", sold);
        env.insert("salse", sold);
        env.ctx().closeDatabases();
        QString error;
        QVERIFY2(env.ctx().openDatabases(&error), qPrintable(error));
    } else {
        // A type that is never charged.
        QVERIFY(rows::insert(env.db(), "numbercard", card("M1", "贵宾卡", "0", "3")));
        QVERIFY(sell(env, sale("M1", "30")));
        if (history == "retyped")
            QVERIFY(rows::updateRowid(env.db(), "numbercard", 1, card("M1", "月卡", "0", "3")));
        else
            QVERIFY(rows::deleteRowid(env.db(), "numbercard", 1));
    }
    const qsizetype before = env.rows("kawu").size();
    const qint64 s = rowidOf(env, "salse");
    QCOMPARE(SaleService(env.db()).voidSale(s, salseRow(env, s)).kind, VoidOutcome::Voided);
    const auto cards = env.rows("numbercard");
    QCOMPARE(cards.isEmpty() ? QString() : cards.first().at(6), uses);
    QCOMPARE(env.rows("kawu").size() - before, ledgerRows);
}

void TstCardLedger::dayClosingFigures()
{
    TestEnv env;
    addGoods(env, "P1", "50");
    QVERIFY(rows::insert(env.db(), "numbercard", card("M1", "钻石卡", "500", "0")));
    QVERIFY(rows::insert(env.db(), "numbercard", card("M2", "年卡", "0", "10")));
    CardService(env.db()).topUp({rowidOf(env, "numbercard", "卡号 = 'M2'"), "5", "120.5", "张三"});
    // Yesterday's sale and ledger row stay out of today's closing.
    env.insert("salse",
               {"2026-12-06", "其它服务", "非会员", "", "", "", "", "", "1000", "", "李四", "", "9"});
    env.insert("kawu", {"2026-12-06 18:00:00", "M1", "充值", "", "", "", "", "777", "", "", "", "", "1"});
    QVERIFY(sell(env, sale({}, "10.5", "P1")));
    QVERIFY(sell(env, sale({}, "10.5")));
    QVERIFY(sell(env, sale("M1", "40", "P1")));
    QVERIFY(sell(env, sale("M2", "60")));
    QVERIFY(sell(env, saleEntry({.money = "7", .employee = "李四", .commission = 3})));
    const qint64 voided = rowidOf(env, "salse", "卡号 = 'M2'");
    QCOMPARE(SaleService(env.db()).voidSale(voided, salseRow(env, voided)).kind, VoidOutcome::Voided);
    env.insert("shouzhi", {kToday, "房租", "0.5", "", ""});
    env.insert("shouzhi", {kToday, "废品", "1", "2.5", ""});

    const auto d = money::dayClosing(env.db(), kToday);
    QVERIFY(d);
    // Every sale made today, the voided one too: 10.5 + 10.5 + 40 + 60 + 7,
    // rounded after each: 10, 20, 60, 120, 127; of them in cash 10, 20, 27.
    const money::PeriodTakings& t = d->takings;
    QCOMPARE(t.sales.total.rows, qint64(5));
    QCOMPARE(t.sales.total.total, qint64(127));
    QCOMPARE(t.sales.cash.total, qint64(27));
    QCOMPARE(t.sales.card().total, qint64(100));
    // Less the void of the card sale of 60, made today.
    QCOMPARE((QList<qint64>{t.voidsSame.total.rows, t.voidsSame.total.total, t.voidsSame.cash.total}),
             (QList<qint64>{1, 60, 0}));
    QCOMPARE(t.voidsEarlier.total.rows, qint64(0));
    QCOMPARE(t.net().total.total, qint64(67));
    QCOMPARE(t.net().total.total, SaleService(env.db()).dailyTotal(kToday)->total);
    QCOMPARE(t.net().cash.total, qint64(27));
    QCOMPARE(t.net().card().total, qint64(40));
    // The top-up's money; the openings' balance and uses came with none.
    QCOMPARE(d->cards.received.total, qint64(120));
    QCOMPARE((QList<qint64>{d->cards.opened.total, d->cards.toppedUp().total, d->cards.freeBalance.total,
                            d->cards.freeUses.total}),
             (QList<qint64>{0, 120, 500, 10}));
    // The charge of M1 and of M2, whose use the void gave back.
    QCOMPARE(d->cards.charged.total, qint64(40));
    QCOMPARE(d->cards.uses.total, qint64(1));
    QCOMPARE(d->cards.usesBack.total, qint64(1));
    QCOMPARE(d->cards.netUses().total, qint64(0));
    // 0.5 goes to 0, then 1; 2.5 goes to 2.
    QCOMPARE(d->expense.total, qint64(1));
    QCOMPARE(d->income.total, qint64(2));
    QCOMPARE(d->goods.size(), 1);
    QCOMPARE(d->goods.at(0).quantity, 4.0);
    QCOMPARE(d->goods.at(0).received.total, qint64(50));
    QCOMPARE(d->employees.size(), 2);
    QCOMPARE(d->employees.at(0).name, QStringLiteral("张三"));
    QCOMPARE(d->employees.at(0).received.rows, qint64(4));
    QCOMPARE(d->employees.at(0).commission.total, qint64(12));
    QCOMPARE(d->employees.at(1).received.total, qint64(7));
}

void TstCardLedger::dayEndsAtMidnight_data()
{
    QTest::addColumn<QTime>("voidAt"); // the sale is made at 23:59:59
    QTest::addColumn<int>("nextDay");  // 0: the void is on the sale's day, 1: the next day
    QTest::newRow("void at 23:59:59") << QTime(23, 59, 59) << 0;
    QTest::newRow("void at 00:00:00 the next day") << QTime(0, 0, 0) << 1;
}

// A sale and a void at the last second of a day count on that day.
void TstCardLedger::dayEndsAtMidnight()
{
    QFETCH(QTime, voidAt);
    QFETCH(int, nextDay);
    TestEnv env(QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59)));
    QVERIFY(rows::insert(env.db(), "numbercard", card("M1", "钻石卡", "100", "0")));
    QVERIFY(sell(env, sale("M1", "30")));
    env.clock().set(QDateTime(QDate(2026, 12, 7 + nextDay), voidAt));
    const qint64 s = rowidOf(env, "salse");
    QCOMPARE(SaleService(env.db()).voidSale(s, salseRow(env, s)).kind, VoidOutcome::Voided);

    for (const QString day : {"2026-12-07", "2026-12-08"}) {
        const auto d = money::dayClosing(env.db(), day);
        QVERIFY(d);
        const bool saleDay = day == kToday;
        const bool voidDay = (day == kToday) == (nextDay == 0);
        QCOMPARE(d->takings.sales.total.total, qint64(saleDay ? 30 : 0));
        QCOMPARE(d->cards.charged.total, qint64(saleDay ? 30 : 0));
        QCOMPARE(d->takings.voidsSame.total.total, qint64(voidDay && saleDay ? 30 : 0));
        QCOMPARE(d->takings.voidsEarlier.total.total, qint64(voidDay && !saleDay ? 30 : 0));
        QCOMPARE(d->cards.chargedBack.total, qint64(voidDay ? 30 : 0));
    }
}

void TstCardLedger::olderDatabaseGetsTheLedgerWhenOpened()
{
    TestEnv env;
    QVERIFY(rows::insert(env.db(), "numbercard", card("M1", "月卡", "0", "2")));
    // As an earlier version left it: no ledger, no voids.
    for (const char* t : {"kawu", "chexiao"})
        QVERIFY(env.db().exec(QStringLiteral("DROP TABLE %1").arg(t)));
    env.ctx().closeDatabases();
    QString error;
    QVERIFY2(env.ctx().openDatabases(&error), qPrintable(error));
    for (const char* t : {"kawu", "chexiao"})
        QCOMPARE(env.db().columns(t), schema::columnsOf(t));
    // The card opened before has no history; its next change starts one.
    QCOMPARE(CardService(env.db()).topUp({rowidOf(env, "numbercard"), "3", "90", ""}).kind,
             TopUpOutcome::Done);
    QCOMPARE(ledger(env), QStringList{"充值 M1 0/5 90"});
    QCOMPARE(ledgerMismatch(env), QString());
    // It began after every sale stored so far: here none.
    QCOMPARE(env.rows("kawu").first().mid(2, 1) + env.rows("kawu").first().mid(10, 1),
             (QStringList{"启用", "0"}));
}

// Two tills topping up one card at the same moments, each on a connection
// of its own: every top-up counts, and each ledger row starts where the one
// before it ended.
void TstCardLedger::twoTillsTopUpTheSameCard()
{
    TestEnv env;
    QVERIFY(rows::insert(env.db(), "numbercard", card("M1", "钻石卡", "100", "0")));
    const qint64 rowid = rowidOf(env, "numbercard");
    constexpr int kEach = 25;
    std::barrier together(2);
    QString errors[2];
    int done[2] = {0, 0};
    std::vector<std::thread> tills;
    for (int t = 0; t < 2; ++t)
        tills.emplace_back([&, t] {
            // A connection belongs to the thread that opened it.
            QString error;
            std::unique_ptr<Database> db = env.ctx().onServer()
                                               ? Database::openServer(*env.ctx().server(), &error)
                                               : Database::open(env.ctx().paths().businessDb(), &error);
            for (int i = 0; i < kEach; ++i) {
                together.arrive_and_wait();
                if (!db)
                    continue;
                const TopUpOutcome out = CardService(*db).topUp({rowid, "1", "2", QString::number(t)});
                if (out.kind == TopUpOutcome::Done)
                    ++done[t];
                else
                    errors[t] = out.error;
            }
            if (!db)
                errors[t] = error;
        });
    for (std::thread& t : tills)
        t.join();
    for (int t = 0; t < 2; ++t) {
        QVERIFY2(errors[t].isEmpty(), qPrintable(errors[t]));
        QCOMPARE(done[t], kEach);
    }
    QCOMPARE(env.rows("numbercard").first().at(5), QString::number(100 + 2 * kEach));
    QString balance = "100";
    int topUps = 0;
    for (const QStringList& r : env.rows("kawu")) {
        if (r.at(2) != "充值")
            continue;
        QCOMPARE(r.at(3), balance);
        balance = r.at(4);
        ++topUps;
    }
    QCOMPARE(topUps, 2 * kEach);
    QCOMPARE(money::ledgerTotals(env.db(), RecordSource::all("kawu"))->received.total, qint64(4 * kEach));
    QCOMPARE(ledgerMismatch(env), QString());
}

QTEST_GUILESS_MAIN(TstCardLedger)
#include "tst_integration_card_ledger.moc"
