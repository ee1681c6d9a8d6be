// Stocktaking through its window, and the margin of the goods sold.
#include "data/money_margin.h"
#include "data/stock_ledger.h"
#include "data/stocktaking.h"
#include "data/table_rows.h"
#include "sales/sale_service.h"
#include "stock/purchase_service.h"
#include "stock/stocktaking_window.h"
#include "support/sale_entry.h"
#include "support/test_env.h"
#include "support/ui.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <barrier>
#include <thread>

using namespace shop;
using namespace shop::test;

namespace {

const QString kToday = QStringLiteral("2026-12-07");

QStringList line(const QString& code, const QString& stock, const QString& cost = QStringLiteral("2"),
                 const QString& supplier = QStringLiteral("供应商甲"))
{
    return {QStringLiteral("商品") + code, code, "", "", cost, "12", stock, supplier, "2026-11-01", ""};
}

// Another till's connection, opened in the thread that uses it.
std::unique_ptr<Database> openTill(TestEnv& env, QString* error)
{
    if (env.ctx().onServer())
        return Database::openServer(*env.ctx().server(), error);
    return Database::open(env.ctx().paths().businessDb(), error);
}

qint64 rowidOf(TestEnv& env, const QString& code)
{
    const auto row = env.db().selectOne(
        QStringLiteral("SELECT rowid FROM jinhuo WHERE 产品编号 = ? ORDER BY rowid LIMIT 1"), {code});
    return row ? row->value(0).toLongLong() : 0;
}

QString stockOf(TestEnv& env, const QString& code)
{
    return rows::storedRow(env.db(), QStringLiteral("jinhuo"), rowidOf(env, code))->value(6);
}

bool sell(TestEnv& env, const QString& code, const QString& quantity, const QString& money = "30")
{
    SaleService s(env.db());
    SaleEntry e = saleEntry({.money = money, .productCode = code});
    e.service = false;
    e.quantity = quantity;
    return s.save(e, s.check(e), kToday).kind == SaleOutcome::Saved;
}

// The 盘点 rows: code, before, after, reason.
QStringList countRows(TestEnv& env)
{
    QStringList out;
    for (const QStringList& r : env.rows("kucun_liushui"))
        if (r.at(4) == QStringLiteral("盘点"))
            out << QStringList{r.at(1), r.at(5), r.at(6), r.at(12)}.join(u' ');
    return out;
}

} // namespace

class TstStocktaking : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<StocktakingWindow> window;

    void open()
    {
        window = std::make_unique<StocktakingWindow>(env->ctx());
        QVERIFY(showActive(window.get()));
    }
    // Starts a count of every line through the window.
    void startAll() { press(window.get(), "cmd_start"); }
    // Types a counted quantity and Enter, on the line current in the grid.
    void count(const QString& quantity)
    {
        type(child<QLineEdit>(window.get(), "txt_counted"), quantity);
        pressEnter(window.get(), "txt_counted");
    }
    void applyWith(const QString& reason)
    {
        env->messages().answerInput(reason);
        env->messages().answer(QMessageBox::Yes);
        press(window.get(), "cmd_apply");
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        env->ctx().setLogin(QStringLiteral("ZED"), QStringLiteral("M"));
        for (const char* code : {"P1", "P2", "P3"})
            QVERIFY(PurchaseService(env->db()).addGoods(line(code, "10")));
    }
    void cleanup()
    {
        window.reset();
        env.reset();
    }

    // Counts typed line by line with Enter; sales made after a line was
    // counted stay sold; each changed line gets its 盘点 row.
    void countKeepsSalesMadeMeanwhile()
    {
        open();
        startAll();
        QCOMPARE(focusName(), QString("txt_counted"));
        count("8");                     // P1: 2 missing
        QVERIFY(sell(*env, "P1", "3")); // sold after the count: 7 left
        count("10");                    // P2: as it stands
        count("12");                    // P3: 2 more than the program knew
        QCOMPARE(child<QLabel>(window.get(), "lab_total")->text(),
                 QString("已清点 3/3 种商品，有差异 2 种，差异金额（按进货价）：0元"));
        applyWith("月末盘点");
        QCOMPARE(shownAll(*env),
                 (QStringList{
                     input("请输入盘点原因：", "盘点"),
                     ask("已清点 3 种商品，有差异 2 种，差异金额（按进货价）0元。\n确定要应用盘点结果吗？",
                         "盘点"),
                     info("盘点已应用，2 种商品的库存已调整。"),
                 }));
        QCOMPARE(stockOf(*env, "P1"), QString("5"));
        QCOMPARE(stockOf(*env, "P2"), QString("10"));
        QCOMPARE(stockOf(*env, "P3"), QString("12"));
        QCOMPARE(countRows(*env), (QStringList{"P1 7 5 月末盘点", "P3 10 12 月末盘点"}));
        QCOMPARE(*counts::underWay(env->db()), false);
    }

    // The figures shown run with the counting: a line counted again takes
    // the place of its first count, the line's own difference follows the
    // line chosen, and a window opened on the count reads them whole.
    void figuresFollowTheCounting()
    {
        QVERIFY(PurchaseService(env->db()).addGoods(line("Z0", "10", "0")));
        open();
        startAll();
        const auto total = [&] { return child<QLabel>(window.get(), "lab_total")->text(); };
        const auto lineText = [&] { return child<QLabel>(window.get(), "lab_line")->text(); };
        count("7"); // P1: 3 missing, 6 yuan
        count("10");
        count("13"); // P3: 3 more, 6 yuan
        count("4");  // Z0: no cost
        QCOMPARE(total(), QString("已清点 4/4 种商品，有差异 3 种，差异金额（按进货价）：0元"));
        clickRow(window->grid(), 0);
        QCOMPARE(lineText(), QString("差异：-3　差异金额：-6元"));
        clickRow(window->grid(), 3);
        QCOMPARE(lineText(), QString("差异：-6　进货价格为0或没有，不计金额"));
        clickRow(window->grid(), 0);
        count("10"); // P1 again: as it stands
        QCOMPARE(total(), QString("已清点 4/4 种商品，有差异 2 种，差异金额（按进货价）：6元"));
        QCOMPARE(lineText(), QString());
        clickRow(window->grid(), 1);
        count("9"); // P2 again: 1 missing
        QCOMPARE(total(), QString("已清点 4/4 种商品，有差异 3 种，差异金额（按进货价）：4元"));
        window.reset();
        open();
        QTRY_COMPARE(total(), QString("已清点 4/4 种商品，有差异 3 种，差异金额（按进货价）：4元"));
    }

    // A counted quantity that is no whole number of at least 0 is refused
    // and nothing is recorded.
    void badQuantityIsRefused_data()
    {
        QTest::addColumn<QString>("typed");
        for (const char* t : {"-1", "2.5", "", "abc", "1e3", "３", "10 5"})
            QTest::newRow(t) << QString::fromUtf8(t);
    }
    void badQuantityIsRefused()
    {
        QFETCH(QString, typed);
        open();
        startAll();
        count(typed);
        QCOMPARE(shownAll(*env), QStringList{stop("实盘数量必须是大于或等于0的整数！")});
        QCOMPARE(focusName(), QString("txt_counted"));
        QCOMPARE(counts::summary(env->db())->counted, 0);
    }

    // A line deleted, renumbered or sold beyond its count since: the apply
    // is refused and nothing is written.
    void applyRefusedWhenTheLineChanged_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("message");
        QTest::newRow("deleted") << "delete"
                                 << "商品 P1（商品P1）已被删除，盘点没有应用！";
        QTest::newRow("renumbered") << "renumber"
                                    << "商品 P1（商品P1）的产品编号或名称已被修改，盘点没有应用！";
        QTest::newRow("sold beyond count")
            << "sell"
            << "商品 P1（商品P1）清点后售出的数量超过实盘数量，请重新清点该商品！";
        QTest::newRow("counted by another apply")
            << "other"
            << "商品 P1（商品P1）清点后已被其他盘点调整，盘点没有应用！";
    }
    void applyRefusedWhenTheLineChanged()
    {
        QFETCH(QString, change);
        QFETCH(QString, message);
        open();
        startAll();
        count(change == "sell" ? "1" : "9");
        const qint64 p1 = rowidOf(*env, "P1");
        if (change == "delete") {
            QVERIFY(rows::deleteRowid(env->db(), "jinhuo", p1));
        } else if (change == "renumber") {
            QVERIFY(rows::updateRowid(env->db(), "jinhuo", p1, line("P9", "10")));
        } else if (change == "sell") {
            QVERIFY(sell(*env, "P1", "4"));
        } else {
            // Another till applied a count of the line since (written as its apply writes it).
            const auto stored = stock::readForChange(env->db(), p1);
            stock::Note note;
            note.reason = "另一台收银机";
            QVERIFY(env->db().execEach(Database::statementsOf(
                stock::setStock(env->db(), p1, *stored, "11", stock::Change::Count, note))));
        }
        const QList<QStringList> goods = env->rows("jinhuo");
        const QList<QStringList> ledger = env->rows("kucun_liushui");
        env->messages().clear();
        applyWith("月末盘点");
        QCOMPARE(env->messages().last().text, message);
        QCOMPARE(env->rows("jinhuo"), goods);
        QCOMPARE(env->rows("kucun_liushui"), ledger);
        // The count is kept, to be mended or cancelled.
        QCOMPARE(*counts::underWay(env->db()), true);
    }

    // Two supervisors on two tills apply the count at the same moment: it
    // is applied once; a third, whose window still shows it, is told so
    // and nothing more is written.
    void countAppliedOnceByTwoTills()
    {
        open();
        startAll();
        for (const char* q : {"8", "10", "12"})
            count(q);
        std::barrier meet(2);
        std::vector<counts::Applied::Kind> kinds(2, counts::Applied::Done);
        std::vector<QString> errors(2);
        const auto till = [&](int i) {
            auto db = openTill(*env, &errors[i]);
            meet.arrive_and_wait();
            if (!db)
                return;
            const auto a = counts::apply(*db, QStringLiteral("收银台%1").arg(i));
            if (a)
                kinds[i] = a->kind;
            else
                errors[i] = a.error();
        };
        std::thread first(till, 0), second(till, 1);
        first.join();
        second.join();
        QCOMPARE(errors, (std::vector<QString>{{}, {}}));
        QCOMPARE(std::count(kinds.begin(), kinds.end(), counts::Applied::Done), 1);
        QCOMPARE(std::count(kinds.begin(), kinds.end(), counts::Applied::NotCounting), 1);
        QCOMPARE(countRows(*env).size(), 2);
        QCOMPARE(stockOf(*env, "P1"), QString("8"));

        const QList<QStringList> goods = env->rows("jinhuo");
        const QList<QStringList> ledger = env->rows("kucun_liushui");
        env->messages().clear();
        press(window.get(), "cmd_apply");
        QCOMPARE(shownAll(*env), QStringList{stop("本次盘点已被应用或取消！")});
        QCOMPARE(env->rows("jinhuo"), goods);
        QCOMPARE(env->rows("kucun_liushui"), ledger);
        QVERIFY(child<QPushButton>(window.get(), "cmd_start")->isEnabled());
    }

    // A count stays across a restart and can be cancelled.
    void countResumesAndCancels()
    {
        open();
        startAll();
        count("4");
        window.reset();
        env->ctx().closeDatabases();
        QString error;
        QVERIFY2(env->ctx().openDatabases(&error), qPrintable(error));
        open();
        QVERIFY(!child<QPushButton>(window.get(), "cmd_start")->isEnabled());
        QCOMPARE(gridColumn(window->grid(), counts::Counted), (QStringList{"4", "", ""}));
        env->messages().answer(QMessageBox::Yes);
        press(window.get(), "cmd_cancel");
        QCOMPARE(*counts::underWay(env->db()), false);
        QVERIFY(child<QPushButton>(window.get(), "cmd_start")->isEnabled());
        QCOMPARE(stockOf(*env, "P1"), QString("10"));
        QCOMPARE(countRows(*env), QStringList{});
    }

    // Lines chosen by supplier; a count under way refuses a second.
    void choosingLines()
    {
        QVERIFY(PurchaseService(env->db()).addGoods(line("Q1", "3", "2", "供应商乙")));
        open();
        QVERIFY(chooseFromList(child<QComboBox>(window.get(), "cmb_choice"), "按供应商"));
        type(child<QLineEdit>(window.get(), "txt_choice"), "供应商乙");
        pressEnter(window.get(), "txt_choice");
        QCOMPARE(gridColumn(window->grid(), counts::Code), QStringList{"Q1"});
        const auto again = counts::start(env->db(), {});
        QCOMPARE(again->kind, counts::Started::Busy);
    }

    // The margin: money received less the cost recorded with each sale; a
    // sale of a line without cost is listed apart, services have none.
    void marginOfTheGoodsSold()
    {
        QVERIFY(PurchaseService(env->db()).addGoods(line("Z0", "10", "0")));
        QVERIFY(sell(*env, "P1", "3", "30")); // cost 6
        QVERIFY(sell(*env, "P1", "1", "11")); // cost 2
        QVERIFY(sell(*env, "Z0", "2", "20")); // no cost
        QVERIFY(rows::updateRowid(env->db(), "jinhuo", rowidOf(*env, "P1"), line("P1", "6", "5")));
        SaleService s(env->db());
        const SaleEntry service = saleEntry({.money = "50"});
        QCOMPARE(s.save(service, s.check(service), kToday).kind, SaleOutcome::Saved);
        const auto m = money::marginsBetween(env->db(), kToday, kToday);
        QVERIFY(m);
        QCOMPARE(m->total.received.total, 41);
        QCOMPARE(m->total.cost.total, 8);
        QCOMPARE(m->total.margin().total, 33);
        QCOMPARE(m->total.withoutCost.total, 20);
        QCOMPARE(m->total.services.total, 50);
        QCOMPARE(m->goods.size(), 2);
        QCOMPARE(m->goods.at(0).code + " " + QString::number(m->goods.at(0).quantity), QString("P1 4"));
        QCOMPARE(m->months.keys(), QStringList{"2026-12"});
        QCOMPARE(m->months.value("2026-12").margin().total, 33);
    }
};

QTEST_MAIN(TstStocktaking)
#include "tst_integration_stocktaking.moc"
