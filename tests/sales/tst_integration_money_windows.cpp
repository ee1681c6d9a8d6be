// The windows of the money as a person uses them: a top-up in the card
// window, a void in the business window, the card history and the day's
// closing, and who may do each.
#include "data/table_rows.h"
#include "members/card_service.h"
#include "members/card_window.h"
#include "reports/card_history_window.h"
#include "reports/day_closing_document.h"
#include "reports/day_closing_window.h"
#include "reports/overview_widget.h"
#include "sales/business_window.h"
#include "sales/sale_service.h"
#include "support/sale_entry.h"
#include "support/test_env.h"
#include "support/ui.h"
#include "ui/rows_grid.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTextBrowser>

using namespace shop;
using namespace shop::test;

namespace {

const QString kToday = QStringLiteral("2026-12-07");

void addCard(TestEnv& env, const QString& number, const QString& type, const QString& balance,
             const QString& uses)
{
    QVERIFY(rows::insert(env.db(), "numbercard",
                         {"2026-01-01", number, "李四", "王五", "洗车", balance, uses, type, ""}));
}

// A sale of goods and a service to `card`, saved as the business window saves it;
// `shown` is the purchase date the entry showed (none when the code was not looked up).
void sell(TestEnv& env, const QString& card, const QString& money, const QString& date = kToday,
          const QString& shown = "2026-11-01")
{
    const SaleEntry e = saleEntry({.card = card, .money = money, .productCode = "P1", .purchaseDate = shown});
    SaleService s(env.db());
    QCOMPARE(s.save(e, s.check(e), date).kind, SaleOutcome::Saved);
}

// Goods line P1 (unit cost 2) and P2 (no cost), card A1, and two sales of
// P1 today: one to the card, one to no member.
void sellFromTwoLines(TestEnv& env)
{
    for (const char* code : {"P1", "P2"})
        env.insert("jinhuo", {"可乐", code, "330ml", "24", code == QLatin1String("P1") ? "2" : "", "12", "9",
                              "供应商甲", "2026-11-01", ""});
    addCard(env, "A1", "钻石卡", "100", "0");
    sell(env, "A1", "30");
    sell(env, {}, "12.5");
}

QString pdfText(const QString& file)
{
    QProcess p;
    p.start(QStandardPaths::findExecutable("pdftotext"), {"-enc", "UTF-8", "-layout", file, "-"});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TstMoneyWindows : public QObject {
    Q_OBJECT
private slots:
    void topUp_data();
    void topUp();
    void voidSale_data();
    void voidSale();
    void onlySupervisorsVoid();
    void cardHistoryFromTheCardWindow_data();
    void cardHistoryFromTheCardWindow();
    void dayClosingSavedAsPdfAndCsv();
    void closingPapersShowTheMarginToSupervisorsOnly_data();
    void closingPapersShowTheMarginToSupervisorsOnly();
    void partsAddUpAndTotalsKeepTheWrittenOrder();
    void aVoidCountsOnTheDayItIsMade();
    void closingGridsShowTheCountedDay_data();
    void closingGridsShowTheCountedDay();
    void topUpRuleIsTheService_data();
    void topUpRuleIsTheService();
};

void TstMoneyWindows::topUp_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("answers"); // the input boxes' answers
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("moneyDefault"); // the money box's default, when it is asked
    QTest::addColumn<QStringList>("card");     // 金额, 次数 afterwards
    QTest::addColumn<QStringList>("ledger");   // every field of the rows after the opening

    const QString added = input("请输入充值次数：", "充值");
    const QString addedMoney = input("请输入充值金额：", "充值");
    const QString money = input("请输入收款金额（元）：", "充值");
    const QString handler = input("请输入经手人：", "充值");
    // The box still shows 李四, who opened the card; 张三 takes the money.
    QTest::newRow("uses") << "季卡" << QStringList{"10", "300", "张三"}
                          << QStringList{added, money, handler, info("充值成功！")} << ""
                          << QStringList{"100", "12"}
                          << QStringList{"2026-12-07 10:00:00|A1|充值|100|100|2|12|300|ZED|张三|||1"};
    QTest::newRow("amount, money as added")
        << "钻石卡" << QStringList{"99.5", "99.5", "张三"}
        << QStringList{addedMoney, money, handler, info("充值成功！")} << "99.5" << QStringList{"199.5", "2"}
        << QStringList{"2026-12-07 10:00:00|A1|充值|100|199.5|2|2|99.5|ZED|张三|||1"};
    QTest::newRow("nobody takes the money")
        << "月卡" << QStringList{"5", "300", ""} << QStringList{added, money, handler} << ""
        << QStringList{"100", "2"} << QStringList{};
    QTest::newRow("not a number") << "钻石卡" << QStringList{"1O"}
                                  << QStringList{addedMoney, stop("充值金额必须是大于零的数字！")} << ""
                                  << QStringList{"100", "2"} << QStringList{};
    QTest::newRow("nothing added") << "月卡" << QStringList{"0"}
                                   << QStringList{added, stop("充值次数必须是大于零的数字！")} << ""
                                   << QStringList{"100", "2"} << QStringList{};
    QTest::newRow("money not a number") << "月卡" << QStringList{"5", "-3"}
                                        << QStringList{added, money, stop("收款金额必须是不小于零的数字！")}
                                        << "" << QStringList{"100", "2"} << QStringList{};
    QTest::newRow("cancelled") << "月卡" << QStringList{"5", ""} << QStringList{added, money} << ""
                               << QStringList{"100", "2"} << QStringList{};
    QTest::newRow("type without figures")
        << "贵宾卡" << QStringList{} << QStringList{stop("此卡类型不能充值！")} << ""
        << QStringList{"100", "2"} << QStringList{};
}

void TstMoneyWindows::topUp()
{
    QFETCH(QString, type);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, messages);
    QFETCH(QString, moneyDefault);
    QFETCH(QStringList, card);
    QFETCH(QStringList, ledger);
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    addCard(env, "A1", type, "100", "2");
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    clickRow(w.grid(), 0);
    for (const QString& a : answers)
        env.messages().answerInput(a);
    press(&w, "cmd_topup");

    QCOMPARE(shownAll(env), messages);
    if (messages.size() > 1 && env.messages().shown().at(1).kind == Shown::Input)
        QCOMPARE(env.messages().shown().at(1).defaultText, moneyDefault);
    QCOMPARE(env.rows("numbercard").first().mid(5, 2), card);
    QStringList kept;
    for (const QStringList& r : env.rows("kawu"))
        if (r.at(2) != "启用" && r.at(2) != "开卡")
            kept << r.join('|');
    QCOMPARE(kept, ledger);
    // The fields show the card as stored.
    QCOMPARE(textOf(&w, "txt_jine"), card.at(0));
    QCOMPARE(textOf(&w, "txt_times"), card.at(1));
}

void TstMoneyWindows::closingGridsShowTheCountedDay_data()
{
    QTest::addColumn<QStringList>("dates"); // typed one after the other, Enter after each
    QTest::addColumn<QList<QStringList>>("goods");
    QTest::addColumn<QList<QStringList>>("employees");
    // The goods with their cost and 毛利, the services, the total.
    QTest::addColumn<QList<QStringList>>("margin");

    const QList<QStringList> today{{"P1", "可乐", "4", "42"}};
    const QList<QStringList> staffToday{{"张三", "2", "42", "0"}};
    const QList<QStringList> marginToday{{"P1", "可乐", "4", "42", "8", "34", "0"},
                                         {"", "服务项目", "", "0", "无成本", "", ""},
                                         {"合计", "", "", "42", "8", "34", "0"}};
    QTest::newRow("the day opened") << QStringList{} << today << staffToday << marginToday;
    // P2 has no purchase price: its money is not 毛利.
    QTest::newRow("the next day") << QStringList{"2026-12-08"} << QList<QStringList>{{"P2", "可乐", "2", "5"}}
                                  << QList<QStringList>{{"李四", "1", "5", "0"}}
                                  << QList<QStringList>{{"P2", "可乐", "2", "0", "无进货价", "无进货价", "5"},
                                                        {"", "服务项目", "", "0", "无成本", "", ""},
                                                        {"合计", "", "", "0", "0", "0", "5"}};
    QTest::newRow("a day without sales empties them")
        << QStringList{"2026-12-01"} << QList<QStringList>{} << QList<QStringList>{}
        << QList<QStringList>{{"", "服务项目", "", "0", "无成本", "", ""},
                              {"合计", "", "", "0", "0", "0", "0"}};
    QTest::newRow("and back") << QStringList{"2026-12-01", kToday} << today << staffToday << marginToday;
}

void TstMoneyWindows::closingGridsShowTheCountedDay()
{
    QFETCH(QStringList, dates);
    QFETCH(QList<QStringList>, goods);
    QFETCH(QList<QStringList>, employees);
    QFETCH(QList<QStringList>, margin);

    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    sellFromTwoLines(env);
    {
        const SaleEntry e = saleEntry({.money = "5", .productCode = "P2", .employee = "李四"});
        SaleService s(env.db());
        QCOMPARE(s.save(e, s.check(e), "2026-12-08").kind, SaleOutcome::Saved);
    }

    DayClosingWindow w(env.ctx());
    QVERIFY(showActive(&w));
    for (const QString& date : dates) {
        type(child<QWidget>(&w, "txt_date"), date);
        pressEnter(&w, "txt_date");
    }
    const auto shown = [&](const char* name) {
        const auto* grid = child<RowsGrid>(&w, name);
        QList<QStringList> rows;
        for (int r = 0; r < grid->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < grid->model()->columnCount(); ++c)
                cells << grid->model()->index(r, c).data().toString();
            rows << cells;
        }
        return rows;
    };
    QCOMPARE(shown("bg_goods"), goods);
    QCOMPARE(shown("bg_employees"), employees);
    QCOMPARE(shown("bg_margin"), margin);
    // The report's head names the day counted.
    QVERIFY(child<QTextBrowser>(&w, "txt_report")->toPlainText().contains(w.figures()->date));
}

void TstMoneyWindows::topUpRuleIsTheService_data()
{
    QTest::addColumn<QString>("added");
    QTest::addColumn<QString>("received");
    // added/received
    for (const QString row : {"0.5/0", "0/5", "-1/5", "1O/5", " 5 /5", "5/-0", "5/1e2", "５/5", "5/5."})
        QTest::addRow("%s", qPrintable(row)) << row.section('/', 0, 0) << row.section('/', 1);
}

// What the window lets through, the card service stores, and what the
// window refuses, the service refuses too.
void TstMoneyWindows::topUpRuleIsTheService()
{
    QFETCH(QString, added);
    QFETCH(QString, received);
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    addCard(env, "A1", "钻石卡", "100", "0");
    addCard(env, "B2", "钻石卡", "100", "0");
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    clickRow(w.grid(), 0);
    for (const QString& a : {added, received, QString("张三")})
        env.messages().answerInput(a);
    press(&w, "cmd_topup");
    const bool windowRefused = env.messages().last().icon == QMessageBox::Critical;
    const TopUpOutcome byService = CardService(env.db()).topUp({2, added, received, "张三"});
    QCOMPARE(windowRefused, byService.kind == TopUpOutcome::Refused);
    // Refused as it was typed, before anything else is asked.
    const QList<Shown>& boxes = env.messages().shown();
    QCOMPARE(
        std::any_of(boxes.begin(), boxes.end(), [](const Shown& b) { return b.text == "请输入经手人："; }),
        !windowRefused);
    QCOMPARE(storedColumn(env, "numbercard", 5).at(0), storedColumn(env, "numbercard", 5).at(1));
}

void TstMoneyWindows::voidSale_data()
{
    QTest::addColumn<QString>(
        "meanwhile");                    // what another till did after the grid was read (or how it was sold)
    QTest::addColumn<QString>("answer"); // the answer to the question
    QTest::addColumn<QString>("result"); // the message after the question, if any
    QTest::addColumn<int>("salesLeft");
    QTest::addColumn<QString>("balance");
    QTest::addColumn<QString>("stock"); // P1's stock afterwards: 5 before the sale of 2

    QTest::newRow("voided") << ""
                            << "yes" << info("撤销成功！") << 0 << "100"
                            << "5";
    QTest::newRow("No keeps it") << ""
                                 << "no"
                                 << "" << 1 << "70"
                                 << "3";
    QTest::newRow("voided at another till") << "void"
                                            << "yes" << stop("这笔业务已经撤销，不能重复撤销！") << 0 << "100"
                                            << "5";
    QTest::newRow("card deleted") << "delete card"
                                  << "yes" << stop("此业务的会员卡（卡号 A1）已被删除或改号，不能撤销！") << 1
                                  << ""
                                  << "3";
    // The goods go back to the first line of the code, as the sale took
    // them, whatever purchase date the entry showed.
    QTest::newRow("sold without looking the code up") << "not looked up"
                                                      << "yes" << info("撤销成功！") << 0 << "100"
                                                      << "5";
    QTest::newRow("goods line re-dated") << "re-date goods"
                                         << "yes" << info("撤销成功！") << 0 << "100"
                                         << "5";
    QTest::newRow("goods line renumbered")
        << "renumber goods"
        << "yes" << stop("此业务的商品（产品编号 P1）已被删除或改号，不能撤销！") << 1 << "70"
        << "3";
}

void TstMoneyWindows::voidSale()
{
    QFETCH(QString, meanwhile);
    QFETCH(QString, answer);
    QFETCH(QString, result);
    QFETCH(int, salesLeft);
    QFETCH(QString, balance);
    QFETCH(QString, stock);
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    env.insert("jinhuo", {"可乐", "P1", "330ml", "24", "2", "12", "5", "供应商甲", "2026-11-01", ""});
    addCard(env, "A1", "钻石卡", "100", "0");
    sell(env, "A1", "30", kToday, meanwhile == "not looked up" ? "" : "2026-11-01");
    BusinessWindow w(env.ctx());
    QVERIFY(showActive(&w));
    RecordView* grid = child<RecordView>(&w, "bg");
    clickRow(grid, 0);
    const qint64 sale = grid->currentRecord()->rowid;
    if (meanwhile == "void")
        QCOMPARE(SaleService(env.db()).voidSale(sale, *rows::storedRow(env.db(), "salse", sale)).kind,
                 VoidOutcome::Voided);
    if (meanwhile == "delete card")
        QVERIFY(rows::deleteRowid(env.db(), "numbercard", 1));
    if (meanwhile == "re-date goods")
        QVERIFY(env.db().exec("UPDATE jinhuo SET 进货日期 = '2026-12-01'").ok);
    if (meanwhile == "renumber goods")
        QVERIFY(env.db().exec("UPDATE jinhuo SET 产品编号 = 'P9'").ok);
    env.messages().answer(answer == "yes" ? QMessageBox::Yes : QMessageBox::No);
    action(&w, "void_sale")->trigger();

    QStringList expected;
    if (meanwhile != "void")
        expected << ask(
            QStringLiteral("真的要撤销这笔业务吗？\n业务编号：1\n业务日期：2026-12-07　业务类型：商品销售+其"
                           "它服务\n卡号：A1　实收金额：30　员工：张三"),
            "撤销");
    else
        expected << stop("这笔业务已经撤销，不能重复撤销！");
    if (!result.isEmpty() && meanwhile != "void")
        expected << result;
    QCOMPARE(shownAll(env), expected);
    QCOMPARE(env.rows("salse").size(), salesLeft);
    QTRY_COMPARE(gridColumn(grid, 2).size(), salesLeft);
    QCOMPARE(storedColumn(env, "numbercard", 5), balance.isEmpty() ? QStringList{} : QStringList{balance});
    QCOMPARE(storedColumn(env, "jinhuo", 6), QStringList{stock});
}

void TstMoneyWindows::onlySupervisorsVoid()
{
    TestEnv env;
    env.insert("jinhuo", {"可乐", "P1", "330ml", "24", "2", "12", "5", "供应商甲", "2026-11-01", ""});
    sell(env, {}, "30");
    for (const QString& user : {QStringLiteral("LI"), QStringLiteral("ZED")}) {
        env.ctx().setLogin(user, "M");
        BusinessWindow w(env.ctx());
        QVERIFY(showActive(&w));
        QSignalSpy tick(child<QTimer>(&w, "Timer1"), &QTimer::timeout);
        QVERIFY(tick.wait(1000));
        const bool supervisor = user == QStringLiteral("ZED");
        QCOMPARE(child<QPushButton>(&w, "cmd_void")->isEnabled(), supervisor);
        QCOMPARE(action(&w, "void_sale")->isEnabled(), supervisor);
    }
}

void TstMoneyWindows::cardHistoryFromTheCardWindow_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("supervisor") << "ZED" << QStringList{};
    QTest::newRow("ordinary user") << "LI" << QStringList{stop("此功能只授权系统管理员操作！")};
}

void TstMoneyWindows::cardHistoryFromTheCardWindow()
{
    QFETCH(QString, user);
    QFETCH(QStringList, messages);
    TestEnv env;
    registerWindows(env.ctx().windows());
    env.ctx().setLogin(user, "M");
    env.insert("jinhuo", {"可乐", "P1", "330ml", "24", "2", "12", "5", "供应商甲", "2026-11-01", ""});
    addCard(env, "A1", "钻石卡", "100", "0");
    addCard(env, "B2", "月卡", "0", "9");
    sell(env, "A1", "30.5");
    sell(env, "B2", "10");
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    clickRow(w.grid(), 0);
    action(&w, "card_history")->trigger();
    QCOMPARE(shownAll(env), messages);
    auto* history = qobject_cast<CardHistoryWindow*>(env.ctx().windows().find("frm_kawu"));
    QCOMPARE(history != nullptr, messages.isEmpty());
    if (!history)
        return;
    // A1's rows, newest first, and their totals.
    QCOMPARE(gridColumn(history->grid(), 2), (QStringList{"消费", "开卡"}));
    QCOMPARE(child<QLabel>(history, "lab_total")->text(),
             QStringLiteral("收款金额合计：0元　扣卡金额合计：30元　扣卡次数合计：0次"));
    // Its grid stays locked: the ledger is only added to.
    QVERIFY(!history->grid()->allowUpdate());
}

void TstMoneyWindows::dayClosingSavedAsPdfAndCsv()
{
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    env.insert("jinhuo", {"可乐", "P1", "330ml", "24", "2", "12", "5", "供应商甲", "2026-11-01", ""});
    addCard(env, "A1", "钻石卡", "100", "0");
    sell(env, "A1", "30");
    sell(env, {}, "12.5");
    DayClosingWindow w(env.ctx());
    QVERIFY(showActive(&w));
    QVERIFY(w.figures());
    QCOMPARE(w.figures()->takings.sales.total.total, qint64(42));

    const QString pdf = env.dir() + "/日结.pdf";
    const QString csv = env.dir() + "/日结.csv";
    env.messages().answerFile(pdf);
    press(&w, "cmd_pdf");
    env.messages().answerFile(csv);
    press(&w, "cmd_csv");
    QCOMPARE(shownAll(env),
             (QStringList{"另存为PDF|save|日结报表2026-12-07.pdf",
                          info("日结报表已保存为PDF文件：\n" + QDir::toNativeSeparators(pdf)),
                          "导出CSV|save|日结报表2026-12-07.csv",
                          info("日结报表已导出为CSV文件：\n" + QDir::toNativeSeparators(csv))}));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString lines = QString::fromUtf8(file.readAll());
    for (const QString line : {"2026-12-07,营业收入,实收金额合计（元）,42,,",
                               "2026-12-07,会员卡,扣卡金额（元）,30,,", "2026-12-07,员工业务,张三,2,42,0"})
        QVERIFY2(lines.contains(line + QStringLiteral("\r\n")), qPrintable(lines));
    // 打印预览 shows the report as it prints, with no printer installed.
    env.messages().clear();
    press(&w, "cmd_preview");
    QCOMPARE(shownAll(env), QStringList{});
    QCOMPARE(env.printing().printed().size(), 1);
    QCOMPARE(env.printing().printed().first().kind, test::Printed::Preview);
    QVERIFY(env.printing().printed().first().text.contains("扣卡金额（元）"));
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    const QString text = pdfText(pdf);
    // As printed: no radical stands in for an ideograph (日, 金).
    for (const QString v : {"日结报表", "2026-12-07", "实收金额合计（元）", "扣卡金额（元）", "张三"})
        QVERIFY2(text.contains(v), qPrintable(v + " not in:\n" + text));
}

void TstMoneyWindows::closingPapersShowTheMarginToSupervisorsOnly_data()
{
    QTest::addColumn<QString>("user");
    // The CSV's headings, then its margin rows; the page's margin table
    // holds the same cells.
    QTest::addColumn<QList<QStringList>>("margin");
    QTest::newRow("a supervisor")
        << "ZED"
        << QList<QStringList>{{"日期", "类别", "项目", "数值", "实收金额（元）", "提成金额（元）",
                               "成本（元）", "毛利（元）", "无成本销售额（元）"},
                              {kToday, "商品毛利", "P1 可乐", "4", "42", "", "8", "34", "0"},
                              // No purchase price: listed as such, its money not 毛利.
                              {kToday, "商品毛利", "P2 可乐", "2", "0", "", "无进货价", "无进货价", "5"},
                              {kToday, "商品毛利", "服务项目", "", "20", "", "无成本", "", ""},
                              {kToday, "商品毛利", "合计", "", "42", "", "8", "34", "5"}};
    QTest::newRow("an ordinary account")
        << "LI" << QList<QStringList>{{"日期", "类别", "项目", "数值", "实收金额（元）", "提成金额（元）"}};
}

void TstMoneyWindows::closingPapersShowTheMarginToSupervisorsOnly()
{
    QFETCH(QString, user);
    QFETCH(QList<QStringList>, margin);
    TestEnv env;
    env.ctx().setLogin(user, "M");
    sellFromTwoLines(env);
    for (const SaleEntry& e : {saleEntry({.money = "5", .productCode = "P2", .employee = "李四"}),
                               saleEntry({.money = "20", .employee = "李四"})}) {
        SaleService s(env.db());
        QCOMPARE(s.save(e, s.check(e), kToday).kind, SaleOutcome::Saved);
    }
    env.printing().setPrinter(true);
    DayClosingWindow w(env.ctx());
    QVERIFY(showActive(&w));

    const QString csv = env.dir() + "/日结.csv";
    env.messages().answerFile(env.dir() + "/日结.pdf");
    press(&w, "cmd_pdf");
    env.messages().answerFile(csv);
    press(&w, "cmd_csv");
    press(&w, "cmd_print");
    press(&w, "cmd_preview");
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(file.readAll()).remove(QChar(0xFEFF)).split("\r\n");
    QCOMPARE(lines.takeLast(), QString());
    QList<QStringList> rows{lines.first().split(',')};
    for (const QString& line : lines)
        if (line.contains(",商品毛利,"))
            rows << line.split(',');
    QCOMPARE(rows, margin);

    // Printed, previewed and saved as PDF: one text, with the margin's
    // cells in the CSV's order, or no cost and no 毛利 at all.
    QCOMPARE(env.printing().saved().size(), 1);
    QCOMPARE(env.printing().printed().size(), 2);
    const QString text = env.printing().saved().first().text;
    for (const Printed& p : env.printing().printed())
        QCOMPARE(p.text, text);
    if (margin.size() == 1) {
        for (const QString word : {"成本", "毛利", "无进货价"})
            QVERIFY2(!text.contains(word), qPrintable(text));
        return;
    }
    QVERIFY(text.contains("商品毛利\n"));
    QString inOrder = text.mid(text.indexOf("商品毛利\n"));
    for (const QStringList& r : margin.mid(1))
        for (const QString& cell : r.at(2).split(' ') + r.mid(3))
            if (!cell.isEmpty()) {
                const qsizetype at = inOrder.indexOf(cell);
                QVERIFY2(at >= 0, qPrintable(cell + " not in order in:\n" + text));
                inOrder = inOrder.mid(at + cell.size());
            }
}

void TstMoneyWindows::partsAddUpAndTotalsKeepTheWrittenOrder()
{
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    env.insert("jinhuo", {"可乐", "P1", "330ml", "24", "2", "12", "5", "供应商甲", "2026-11-01", ""});
    addCard(env, "A1", "钻石卡", "100", "0");
    // Received 2.5 then 1: 2, then 3; newest first it would be 1, then 4.
    for (const char* received : {"2.5", "1"})
        QCOMPARE(CardService(env.db()).topUp({1, "10", received, "张三"}).kind, TopUpOutcome::Done);
    // 1 by card, then 0.5 in cash: the whole is 1, then 2; the cash alone 0.
    sell(env, "A1", "1");
    sell(env, {}, "0.5");

    DayClosingWindow closing(env.ctx());
    QVERIFY(showActive(&closing));
    const money::DayClosing& d = *closing.figures();
    const money::Takings& sales = d.takings.sales;
    QCOMPARE((QList<qint64>{sales.total.total, sales.cash.total, sales.card().total}),
             (QList<qint64>{2, 0, 2}));
    QCOMPARE(d.cards.received.total, qint64(3));
    CardHistoryWindow history(env.ctx());
    QVERIFY(showActive(&history));
    QCOMPARE(child<QLabel>(&history, "lab_total")->text(),
             QStringLiteral("收款金额合计：3元　扣卡金额合计：1元　扣卡次数合计：0次"));
}

void TstMoneyWindows::aVoidCountsOnTheDayItIsMade()
{
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    env.insert("jinhuo", {"可乐", "P1", "330ml", "24", "2", "12", "9", "供应商甲", "2026-11-01", ""});
    addCard(env, "A1", "钻石卡", "100", "0");
    sell(env, "A1", "30");
    sell(env, {}, "12.5");
    DayClosingWindow closing(env.ctx());
    QVERIFY(showActive(&closing));
    // Every figure of the page, as the CSV file has them.
    const auto countDay = [&](const QString& date) {
        type(child<QWidget>(&closing, "txt_date"), date);
        pressEnter(&closing, "txt_date");
        return dayClosingRows(*closing.figures());
    };
    const auto printed = dayClosingRows(*closing.figures());

    // The next day: a cash sale of 5, and the card sale of the day before voided.
    env.clock().set(QDateTime(QDate(2026, 12, 8), QTime(9, 0)));
    const QString nextDay = QStringLiteral("2026-12-08");
    sell(env, {}, "5", nextDay);
    const auto nextBefore = countDay(nextDay);
    {
        BusinessWindow w(env.ctx());
        QVERIFY(showActive(&w));
        clickRow(child<RecordView>(&w, "bg"), 0);
        env.messages().answer(QMessageBox::Yes);
        action(&w, "void_sale")->trigger();
        QCOMPARE(env.messages().last().text, QStringLiteral("撤销成功！"));
    }

    // The day of the sale stays as it was printed; the void counts on its own day.
    QVERIFY(showActive(&closing));
    QCOMPARE(countDay(kToday), printed);
    QVERIFY(countDay(nextDay) != nextBefore);
    const money::PeriodTakings& t = closing.figures()->takings;
    QCOMPARE((QList<qint64>{t.sales.total.rows, t.sales.total.total, t.voidsSame.total.rows}),
             (QList<qint64>{1, 5, 0}));
    QCOMPARE(
        (QList<qint64>{t.voidsEarlier.total.rows, t.voidsEarlier.total.total, t.voidsEarlier.cash.total}),
        (QList<qint64>{1, 30, 0}));
    QCOMPARE((QList<qint64>{t.net().total.total, t.net().cash.total, t.net().card().total}),
             (QList<qint64>{-25, 5, -30}));
    QCOMPARE(closing.figures()->cards.chargedBack.total, qint64(30));
    QCOMPARE(closing.figures()->cards.charged.total, qint64(0));

    // The overview's bars of both days by the same count.
    OverviewWidget overview(env.ctx());
    QSignalSpy shown(&overview, &OverviewWidget::figuresShown);
    overview.resize(1200, 700);
    overview.show();
    QVERIFY(shown.wait(5000));
    // Thirty days' bars, the last one today's (12-08).
    QChart* days = child<QChartView>(&overview, "chart_days")->chart();
    QBarSet* bars = qobject_cast<QBarSeries*>(days->series().first())->barSets().first();
    QCOMPARE(bars->count(), 30);
    QCOMPARE(bars->at(28), 42.0);
    QCOMPARE(bars->at(29), -25.0);
}

QTEST_MAIN(TstMoneyWindows)
#include "tst_integration_money_windows.moc"
