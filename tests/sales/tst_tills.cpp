// Several tills selling at once, each on a connection of its own: every
// sale that is reported saved is stored once with its stock change and card
// charge, none that was refused is, and no stock, uses or balance goes
// below what the rules allow.
#include "sales/sale_service.h"
#include "data/numeric.h"
#include "data/schema.h"
#include "data/table_rows.h"
#include "support/test_env.h"

#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <barrier>
#include <map>
#include <memory>
#include <thread>
#include <vector>

using namespace shop;
using shop::test::TestEnv;

namespace {

const QString kToday = QStringLiteral("2026-12-07");

constexpr int kTills = 8;
constexpr int kSalesPerTill = 1000;
constexpr int kCards = 20;
constexpr int kLines = 50;

const QStringList kUseTypes = {"月卡", "季卡", "年卡", "其它"};

// A till's own connection, opened in the till's thread (a connection
// belongs to the thread that opened it).
std::unique_ptr<Database> openTill(TestEnv& env, QString* error)
{
    if (env.ctx().onServer())
        return Database::openServer(*env.ctx().server(), error);
    auto db = Database::open(env.ctx().paths().businessDb(), error);
    // What is tested is who gets the lock, not the disk: without a flush per
    // commit (as the tests' server runs) eight thousand sales take seconds.
    if (db && !db->exec(QStringLiteral("PRAGMA synchronous=OFF"))) {
        *error = QStringLiteral("PRAGMA synchronous failed");
        return nullptr;
    }
    return db;
}

QString lineCode(int i)
{
    return QStringLiteral("G%1").arg(i, 2, 10, QChar(u'0'));
}

QString cardNumber(int i)
{
    return QStringLiteral("C%1").arg(i, 2, 10, QChar(u'0'));
}

void addGoods(TestEnv& env, const QString& code, const QString& stock)
{
    env.insert("jinhuo", {"可乐", code, "330ml", "24", "2", "12", stock, "供应商甲", "2026-11-01", ""});
}

void addCard(TestEnv& env, const QString& number, const QString& type, const QString& balance,
             const QString& uses)
{
    env.insert("numbercard", {"2026-01-01", number, "李四", "王五", "洗车", balance, uses, type, ""});
}

// The goods line, the card (empty: none) and the amounts of one sale.
SaleEntry entry(bool goods, bool service, const QString& code, const QString& quantity, const QString& card,
                const QString& money, const QString& remark)
{
    SaleEntry e;
    e.goods = goods;
    e.service = service;
    e.card = card;
    if (goods) {
        e.productCode = code;
        e.productName = QStringLiteral("可乐");
        e.quantity = quantity;
        e.retailPrice = QStringLiteral("12元");
        e.purchaseDate = QStringLiteral("2026-11-01");
    }
    if (service)
        e.serviceItem = QStringLiteral("洗车");
    e.money = money;
    e.employee = QStringLiteral("张三");
    e.remark = remark;
    return e;
}

// What one till did.
struct TillLog {
    QString openError;
    QStringList saved;   // remarks of the sales reported saved
    QStringList keys;    // and the keys they were given
    QStringList refused; // remarks of the sales refused
    QHash<int, int> refusals;
    QStringList failures;
};

// The remark of each sale stored in `table`, by its rowid.
QHash<QString, QString> remarksByRowid(TestEnv& env, const QString& table)
{
    QHash<QString, QString> out;
    const auto rows = env.db().selectAll(QStringLiteral("SELECT rowid, %1 FROM %2")
                                             .arg(quoteIdent(schema::salse::kRemark), quoteIdent(table)));
    if (rows)
        for (const QVariantList& row : *rows)
            out.insert(row.value(0).toString(), row.value(1).toString());
    return out;
}

// One stored value of a row, found by the row's key column.
QHash<QString, QString> valuesByKey(TestEnv& env, const QString& table, int keyColumn, int valueColumn)
{
    QHash<QString, QString> out;
    for (const QStringList& row : env.rows(table))
        out.insert(row.value(keyColumn), row.value(valueColumn));
    return out;
}

} // namespace

class TstTills : public QObject {
    Q_OBJECT
private slots:
    void eightTillsStoreEveryChargeOnce();
    void twoTillsAtTheSameMoment_data();
    void twoTillsAtTheSameMoment();
    void aSaleTheServerGivesUpIsTriedAgain_data();
    void aSaleTheServerGivesUpIsTriedAgain();
    void twoTillsSaveTheSameNewCard();
};

void TstTills::eightTillsStoreEveryChargeOnce()
{
    TestEnv env;
    // Use cards: every other one has only a few uses, so they run out; the
    // value cards likewise with little money on every other one.
    std::map<QString, double> initialUses, initialBalance;
    for (int i = 0; i < kCards; ++i) {
        const QString number = cardNumber(i);
        if (i < kCards / 2) {
            const double uses = i % 2 ? 100000 : 5 + i;
            addCard(env, number, kUseTypes.at(i % kUseTypes.size()), "0", numberText(uses));
            initialUses[number] = uses;
        } else {
            const double balance = i % 2 ? 1000000 : 60.5 + 10 * i;
            addCard(env, number, QStringLiteral("钻石卡"), numberText(balance), "0");
            initialBalance[number] = balance;
        }
    }
    // Goods lines: every other one with a few items only.
    std::map<QString, double> initialStock;
    for (int i = 0; i < kLines; ++i) {
        const double stock = i % 2 ? 100000 : 3 + i % 7;
        addGoods(env, lineCode(i), numberText(stock));
        initialStock[lineCode(i)] = stock;
    }

    std::vector<TillLog> logs(kTills);
    {
        std::vector<std::thread> tills;
        for (int t = 0; t < kTills; ++t)
            tills.emplace_back([&env, &log = logs[t], t] {
                auto db = openTill(env, &log.openError);
                if (!db)
                    return;
                SaleService till(*db);
                QRandomGenerator rng(20261207u + static_cast<quint32>(t));
                for (int i = 0; i < kSalesPerTill; ++i) {
                    // Three in four sell goods (one to three items), the
                    // rest a service, sometimes both; four in five on a card.
                    const bool goods = rng.bounded(4) != 0;
                    const bool service = !goods || rng.bounded(3) == 0;
                    const QString card = rng.bounded(5) ? cardNumber(rng.bounded(kCards)) : QString();
                    // Halves add up exactly, so stored balances can be
                    // compared with sums of the stored amounts.
                    const QString money = numberText((1 + rng.bounded(40)) / 2.0);
                    const QString remark = QStringLiteral("till %1 sale %2").arg(t).arg(i);
                    const SaleEntry e = entry(goods, service, lineCode(rng.bounded(kLines)),
                                              QString::number(1 + rng.bounded(3)), card, money, remark);
                    const SaleOutcome out = till.save(e, till.check(e), kToday);
                    switch (out.kind) {
                    case SaleOutcome::Saved:
                        log.saved << remark;
                        log.keys << out.key;
                        break;
                    case SaleOutcome::Refused:
                        log.refused << remark;
                        ++log.refusals[int(out.refusal)];
                        break;
                    default:
                        log.failures << out.step + QStringLiteral(": ") + out.error;
                    }
                }
            });
        for (std::thread& t : tills)
            t.join();
    }

    QSet<QString> saved, refused;
    QHash<int, int> refusals;
    int savedCount = 0;
    for (const TillLog& log : logs) {
        QVERIFY2(log.openError.isEmpty(), qPrintable(log.openError));
        QVERIFY2(log.failures.isEmpty(), qPrintable(QStringLiteral("%1 failures, first: %2")
                                                        .arg(log.failures.size())
                                                        .arg(log.failures.value(0))));
        // Every till got its sales through, not only the fastest.
        QVERIFY(!log.saved.isEmpty());
        QCOMPARE(log.saved.size() + log.refused.size(), kSalesPerTill);
        savedCount += static_cast<int>(log.saved.size());
        saved.unite(QSet<QString>(log.saved.cbegin(), log.saved.cend()));
        refused.unite(QSet<QString>(log.refused.cbegin(), log.refused.cend()));
        for (auto it = log.refusals.cbegin(); it != log.refusals.cend(); ++it)
            refusals[it.key()] += it.value();
    }
    // The stock, the uses and the balances ran out somewhere, so the tills
    // met the refusals as well as each other.
    QVERIFY(refusals.value(int(SaleRefusal::StockEmpty)) +
                refusals.value(int(SaleRefusal::QuantityOverStock)) >
            0);
    QVERIFY(refusals.value(int(SaleRefusal::NoUsesLeft)) > 0);
    QVERIFY(refusals.value(int(SaleRefusal::BalanceTooLow)) > 0);

    // Each sale reported saved is stored once, in both tables; none refused is.
    const QList<QStringList> sales = env.rows("salse");
    QStringList storedRemarks, historyRemarks;
    for (const QStringList& row : sales)
        storedRemarks << row.value(11);
    for (const QStringList& row : env.rows("salse_history"))
        historyRemarks << row.value(11);
    QCOMPARE(sales.size(), savedCount);
    QCOMPARE(historyRemarks.size(), savedCount);
    QCOMPARE(QSet<QString>(storedRemarks.cbegin(), storedRemarks.cend()), saved);
    QCOMPARE(QSet<QString>(historyRemarks.cbegin(), historyRemarks.cend()), saved);
    QVERIFY(!saved.intersects(refused));
    // Each key was given once, and names the sale's row in both tables.
    const auto salseByKey = remarksByRowid(env, schema::salse::kTable);
    const auto historyByKey = remarksByRowid(env, schema::salse::kHistory);
    QSet<QString> keys;
    for (const TillLog& log : logs)
        for (qsizetype i = 0; i < log.keys.size(); ++i) {
            const QString& key = log.keys.at(i);
            QVERIFY2(!keys.contains(key), qPrintable(key));
            keys.insert(key);
            QCOMPARE(salseByKey.value(key), log.saved.at(i));
            QCOMPARE(historyByKey.value(key), log.saved.at(i));
        }

    // What the stored sales say each card and line gave.
    std::map<QString, double> usesTaken, moneyTaken, itemsSold;
    for (const QStringList& row : sales) {
        const QString card = row.value(2);
        if (initialUses.count(card))
            usesTaken[card] += 1;
        else if (initialBalance.count(card))
            moneyTaken[card] += numericValue(row.value(8));
        if (row.value(1).startsWith(QStringLiteral("商品销售")))
            itemsSold[row.value(3)] += numericValue(row.value(5));
    }
    const auto storedUses = valuesByKey(env, "numbercard", 1, 6);
    const auto storedBalance = valuesByKey(env, "numbercard", 1, 5);
    for (const auto& [card, uses] : initialUses) {
        const double left = numericValue(storedUses.value(card));
        QCOMPARE(left, uses - usesTaken[card]);
        QVERIFY2(left >= 0, qPrintable(card));
    }
    for (const auto& [card, balance] : initialBalance) {
        const double left = numericValue(storedBalance.value(card));
        QCOMPARE(left, balance - moneyTaken[card]);
        QVERIFY2(left > 0, qPrintable(card));
    }
    const auto storedStock = valuesByKey(env, "jinhuo", 1, 6);
    for (const auto& [code, stock] : initialStock) {
        const double left = numericValue(storedStock.value(code));
        QCOMPARE(left, stock - itemsSold[code]);
        QVERIFY2(left >= 0, qPrintable(code));
    }
}

void TstTills::twoTillsAtTheSameMoment_data()
{
    QTest::addColumn<int>("stock");
    QTest::addColumn<QString>("cardType"); // empty: no card
    QTest::addColumn<int>("balance");
    QTest::addColumn<int>("uses");
    QTest::addColumn<bool>("goods");  // else a service
    QTest::addColumn<int>("refusal"); // of the till that loses; None: both fit
    QTest::addColumn<int>("stockAfter");
    QTest::addColumn<int>("balanceAfter");
    QTest::addColumn<int>("usesAfter");

    // Each till sells one item (or a service) for 30.
    const int none = int(SaleRefusal::None);
    const QString month = QStringLiteral("月卡");
    const QString value = QStringLiteral("钻石卡");
    QTest::newRow("last item") << 1 << QString() << 0 << 0 << true << int(SaleRefusal::StockEmpty) << 0 << 0
                               << 0;
    QTest::newRow("two items, both fit") << 2 << QString() << 0 << 0 << true << none << 0 << 0 << 0;
    QTest::newRow("last use of a card")
        << 5 << month << 0 << 1 << false << int(SaleRefusal::NoUsesLeft) << 5 << 0 << 0;
    QTest::newRow("two uses, both fit") << 5 << month << 0 << 2 << true << none << 3 << 0 << 0;
    QTest::newRow("balance for one sale")
        << 5 << value << 50 << 0 << false << int(SaleRefusal::BalanceTooLow) << 5 << 20 << 0;
    QTest::newRow("balance for both") << 5 << value << 61 << 0 << true << none << 3 << 1 << 0;
    QTest::newRow("last item, money for both")
        << 1 << value << 100 << 0 << true << int(SaleRefusal::StockEmpty) << 0 << 70 << 0;
}

void TstTills::twoTillsAtTheSameMoment()
{
    QFETCH(int, stock);
    QFETCH(QString, cardType);
    QFETCH(int, balance);
    QFETCH(int, uses);
    QFETCH(bool, goods);
    QFETCH(int, refusal);
    QFETCH(int, stockAfter);
    QFETCH(int, balanceAfter);
    QFETCH(int, usesAfter);

    TestEnv env;
    addGoods(env, "P1", QString::number(stock));
    addCard(env, "M1", cardType.isEmpty() ? QStringLiteral("钻石卡") : cardType, QString::number(balance),
            QString::number(uses));
    const QString card = cardType.isEmpty() ? QString() : QStringLiteral("M1");
    const int winners = refusal == int(SaleRefusal::None) ? 2 : 1;

    // A few rounds, so that the two saves meet more than once.
    for (int round = 0; round < 4; ++round) {
        QVERIFY(env.db().exec("UPDATE jinhuo SET 库存数量 = ?", {QString::number(stock)}).ok);
        QVERIFY(env.db()
                    .exec("UPDATE numbercard SET 金额 = ?, 次数 = ?",
                          {QString::number(balance), QString::number(uses)})
                    .ok);
        QVERIFY(env.db().exec("DELETE FROM salse").ok);
        QVERIFY(env.db().exec("DELETE FROM salse_history").ok);

        // Both check before either saves, then both save at once.
        std::barrier bothChecked(2);
        SaleOutcome checked[2], saved[2];
        QString errors[2];
        std::vector<std::thread> tills;
        for (int t = 0; t < 2; ++t)
            tills.emplace_back([&, t] {
                auto db = openTill(env, &errors[t]);
                std::unique_ptr<SaleService> service(db ? new SaleService(*db) : nullptr);
                const SaleEntry e = entry(goods, !goods, "P1", "1", card, "30", QString::number(t));
                if (service)
                    checked[t] = service->check(e);
                bothChecked.arrive_and_wait();
                if (service)
                    saved[t] = service->save(e, checked[t], kToday);
            });
        for (std::thread& t : tills)
            t.join();

        int won = 0;
        const auto salseByKey = remarksByRowid(env, schema::salse::kTable);
        const auto historyByKey = remarksByRowid(env, schema::salse::kHistory);
        for (int t = 0; t < 2; ++t) {
            QVERIFY2(errors[t].isEmpty(), qPrintable(errors[t]));
            QCOMPARE(checked[t].kind, SaleOutcome::Ready);
            QVERIFY2(saved[t].kind != SaleOutcome::Failed, qPrintable(saved[t].error));
            if (saved[t].kind == SaleOutcome::Saved) {
                // Its own key, naming its own rows.
                QCOMPARE(salseByKey.value(saved[t].key), QString::number(t));
                QCOMPARE(historyByKey.value(saved[t].key), QString::number(t));
                ++won;
            } else {
                QCOMPARE(saved[t].kind, SaleOutcome::Refused);
                QCOMPARE(int(saved[t].refusal), refusal);
            }
        }
        QCOMPARE(won, winners);
        QCOMPARE(env.rows("salse").size(), winners);
        QCOMPARE(env.rows("salse_history").size(), winners);
        const QStringList line = env.rows("jinhuo").value(0);
        const QStringList member = env.rows("numbercard").value(0);
        QCOMPARE(line.value(6), QString::number(stockAfter));
        QCOMPARE(member.value(5), QString::number(balanceAfter));
        QCOMPARE(member.value(6), QString::number(usesAfter));
    }
}

void TstTills::aSaleTheServerGivesUpIsTriedAgain_data()
{
    QTest::addColumn<QString>("sqlState");
    QTest::addColumn<int>("givenUp"); // tries the server gives up
    QTest::addColumn<bool>("saved");

    QTest::newRow("serialization failure twice") << "40001" << 2 << true;
    QTest::newRow("deadlock once") << "40P01" << 1 << true;
    QTest::newRow("serialization failure every time") << "40001" << 1000 << false;
    // Another till's uncommitted sale took the key this one drew.
    QTest::newRow("key taken meanwhile") << "23505" << 1 << true;
}

void TstTills::aSaleTheServerGivesUpIsTriedAgain()
{
    QFETCH(QString, sqlState);
    QFETCH(int, givenUp);
    QFETCH(bool, saved);

    TestEnv env;
    if (!env.db().onServer())
        QSKIP("a sale on the files holds the write lock from its start: nothing gives it up");
    addGoods(env, "P1", "5");
    addCard(env, "M1", "钻石卡", "100", "0");
    // The server gives up the first tries at the last write, after the stock
    // and the card were written; a sequence counts the tries through the
    // rollbacks.
    Database& db = env.db();
    QVERIFY(db.exec("CREATE SEQUENCE tries").ok);
    QVERIFY(
        db.exec(QStringLiteral("CREATE FUNCTION give_up() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN "
                               "IF nextval('tries') <= %1 THEN RAISE EXCEPTION 'given up for another till' "
                               "USING ERRCODE = '%2', CONSTRAINT = 'salse_history_pkey'; END IF; "
                               "RETURN NEW; END$$")
                    .arg(givenUp)
                    .arg(sqlState))
            .ok);
    QVERIFY(db.exec("CREATE TRIGGER give_up BEFORE INSERT ON salse_history FOR EACH ROW EXECUTE FUNCTION "
                    "give_up()")
                .ok);

    SaleService service(db);
    const SaleEntry e = entry(true, false, "P1", "1", "M1", "30", "retried");
    const SaleOutcome out = service.save(e, service.check(e), kToday);
    const auto tries = db.selectOne("SELECT last_value FROM tries");
    QVERIFY(tries.found());
    QVERIFY(!db.inTransaction());
    if (saved) {
        QCOMPARE(out.kind, SaleOutcome::Saved);
        QCOMPARE(tries->value(0).toInt(), givenUp + 1);
        // Stored once, charged once.
        QCOMPARE(env.rows("salse").size(), 1);
        QCOMPARE(env.rows("salse_history").size(), 1);
        QCOMPARE(env.rows("jinhuo").value(0).value(6), QStringLiteral("4"));
        QCOMPARE(env.rows("numbercard").value(0).value(5), QStringLiteral("70"));
    } else {
        // Tried again, but not without end; then said, with nothing stored.
        QVERIFY2(tries->value(0).toInt() > 1 && tries->value(0).toInt() <= 10,
                 qPrintable(tries->value(0).toString()));
        QCOMPARE(out.kind, SaleOutcome::Failed);
        QCOMPARE(out.step, QStringLiteral("写入业务历史记录"));
        QVERIFY2(out.error.contains("given up for another till"), qPrintable(out.error));
        QVERIFY(env.rows("salse").isEmpty());
        QVERIFY(env.rows("salse_history").isEmpty());
        QCOMPARE(env.rows("jinhuo").value(0).value(6), QStringLiteral("5"));
        QCOMPARE(env.rows("numbercard").value(0).value(5), QStringLiteral("100"));
    }
}

// Two tills saving a new card with the same number at the same moment: one
// stores it, the other finds it stored, never two rows with one number.
void TstTills::twoTillsSaveTheSameNewCard()
{
    TestEnv env;
    constexpr int kNumbers = 40;
    std::barrier together(2);
    QString errors[2];
    int inserted[2] = {0, 0};
    int found[2] = {0, 0};
    std::vector<std::thread> tills;
    for (int t = 0; t < 2; ++t)
        tills.emplace_back([&, t] {
            auto db = openTill(env, &errors[t]);
            for (int i = 0; i < kNumbers; ++i) {
                together.arrive_and_wait();
                if (!db)
                    continue;
                const QString number = QStringLiteral("N%1").arg(i);
                const QStringList card = {
                    "2026-12-07", number, "李四", "王五", "洗车", "100", "", "钻石卡", QString::number(t)};
                const auto r = rows::insertUnlessFound(*db, "numbercard", card, {{"卡号", Op::Eq, number}});
                if (r.failed())
                    errors[t] = r.error();
                else
                    ++(r.found() ? found[t] : inserted[t]);
            }
        });
    for (std::thread& t : tills)
        t.join();
    for (int t = 0; t < 2; ++t)
        QVERIFY2(errors[t].isEmpty(), qPrintable(errors[t]));
    QCOMPARE(inserted[0] + inserted[1], kNumbers);
    QCOMPARE(found[0] + found[1], kNumbers);
    QCOMPARE(env.rows("numbercard").size(), kNumbers);
}
QTEST_GUILESS_MAIN(TstTills)
#include "tst_tills.moc"
