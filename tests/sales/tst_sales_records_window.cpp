// The sales records browser driven as a person would: the range boxes and the
// employee list, 选择/统计 with its messages, the searches of the popup menu
// and their states, the locked grid.
#include "sales/sales_records_window.h"
#include "support/ui.h"

#include <QComboBox>
#include <QSignalSpy>

using namespace shop;
using namespace shop::test;

namespace {

const int kCard = 2;
const int kReceived = 8;

QStringList sale(const QString& date, const QString& employee, const QString& received,
                 const QString& card = "M1", const QString& code = "P1", const QString& name = "可乐")
{
    return {date, "商品销售", card, code, name, "1", "3", "2026-01-01", received, "", employee, "", "1"};
}

QStringList worker(const QString& name)
{
    QStringList row(12);
    row[0] = name;
    return row;
}

QString stopInfo(const QString& text)
{
    return stop(text, "信息");
}

QString infoAs(const QString& caption, const QString& text)
{
    return caption + "|" + QString::number(int(QMessageBox::Information)) + "|" + text;
}

} // namespace

class TstSalesRecordsWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<SalesRecordsWindow> w;

    void open(const QString& user = "ZED")
    {
        env->ctx().setLogin(user, "M");
        w = std::make_unique<SalesRecordsWindow>(env->ctx());
        QVERIFY(showActive(w.get()));
    }
    RecordView* grid() const { return w->grid(); }

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup()
    {
        w.reset();
        env.reset();
    }

    // The range from 30 days ago to today; the commission column only for a
    // supervisor; a locked grid that says so at every try to edit a cell.
    void opening_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("columns");

        QTest::newRow("ZED") << "ZED" << QDate(2026, 12, 7) << "2026-11-07" << 13;
        QTest::newRow("administrator") << "Administrator" << QDate(2026, 12, 7) << "2026-11-07" << 13;
        QTest::newRow("ordinary user, 1 March of a leap year")
            << "clerk" << QDate(2028, 3, 1) << "2028-01-31" << 12;
    }
    void opening()
    {
        QFETCH(QString, user);
        QFETCH(QDate, today);
        QFETCH(QString, from);
        QFETCH(int, columns);

        env->clock().set(QDateTime(today, QTime(9, 0)));
        env->insert("salse", sale("2026-12-01", "张三", "10"));
        open(user);
        QCOMPARE(textOf(w.get(), "txt_from"), from);
        QCOMPARE(textOf(w.get(), "txt_to"), dateText(today));
        QCOMPARE(grid()->records()->columnCount(), columns);
        QCOMPARE(grid()->records()->headerData(columns - 1, Qt::Horizontal).toString(),
                 columns == 13 ? QString("提成金额") : QString("备注或说明"));

        const QList<QStringList> stored = env->rows("salse");
        typeInCell(grid(), 0, 4, "x");
        typeInCell(grid(), 0, 8, "9");
        QTest::keyClick(grid(), Qt::Key_Delete);
        const QString locked = stop("不能编辑内容，因为目前表格处于锁定状态！");
        QCOMPARE(shownAll(*env), (QStringList{locked, locked}));
        QCOMPARE(env->rows("salse"), stored);
    }

    // 选择/统计: the grid shows the rows of the range while the result is
    // said, then every row with every column for every user. The total
    // rounds half to even after each row, in stored order (as the grid
    // lists them meanwhile).
    void rangeTotal_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("employee"); // chosen from the list; "typed:" types it
        QTest::addColumn<QString>("from");     // empty: as the window opened
        QTest::addColumn<QString>("to");
        QTest::addColumn<QStringList>("more"); // amounts of 赵六 on 2026-11-20 (or "date=amount")
        QTest::addColumn<QString>("said");
        QTest::addColumn<QStringList>("during"); // amounts the grid shows meanwhile
        auto row = [](const char* tag, const QString& user, const QString& employee, const QString& from,
                      const QString& to, const QStringList& more, const QString& box,
                      const QStringList& during) {
            QTest::newRow(tag) << user << employee << from << to << more << box << during;
        };

        const QString range = "从2026-11-07日到2026-12-07日";
        const QString total = range + "实收金额合计为：";
        row("all employees: 10.5 goes to 10, 22 + 10.5 to 32", "ZED", "", "", "", {}, info(total + "32元"),
            {"10.5", "12元", "10.5"});
        row("10.5 and 10.5 give 20, both edges of the range", "ZED", "", "2026-12-07", "2026-12-08", {},
            info("从2026-12-07日到2026-12-08日实收金额合计为：20元"), {"10.5", "10.5"});
        row("one employee: only hers, named in the caption", "ZED", "张三", "", "", {},
            infoAs("张三业务发生额", total + "20元"), {"10.5", "10.5"});
        row("ordinary user, other employee", "clerk", "李四", "", "", {},
            infoAs("李四业务发生额", total + "12元"), {"12元"});
        row("employee without business in the range", "ZED", "王五", "", "", {},
            stopInfo(range + "没有由该员工所发生的业务"), {});
        row("no rows at all in the range", "ZED", "", "2026-10-01", "2026-10-31", {},
            stop("未找到相应的记录！", ""), {});
        row("typed name, every half to even", "ZED", "typed:赵六", "", "", {"0.5", "0.5", "0.5"},
            infoAs("赵六业务发生额", total + "0元"), {"0.5", "0.5", "0.5"});
        // The stored order, as the salary window adds them: 1.5 goes to 2,
        // then 3; in date order 1, then 2.5 would go to 2.
        row("rows added in stored order, not by date", "ZED", "typed:赵六", "", "",
            {"2026-11-21=1.5", "2026-11-20=1"}, infoAs("赵六业务发生额", total + "3元"), {"1.5", "1"});
        row("a total beyond a whole number is refused, not wrapped", "ZED", "typed:赵六", "", "",
            {"9e18", "9e18"}, stop("实收金额合计超出范围，无法统计！"), {"9e18", "9e18"});
        row("an amount beyond any number is refused, not counted as 0", "ZED", "typed:赵六", "", "",
            {"3", "-1e400"}, stop("实收金额合计超出范围，无法统计！"), {"3", "-1e400"});
    }
    void rangeTotal()
    {
        QFETCH(QString, user);
        QFETCH(QString, employee);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QStringList, more);
        QFETCH(QString, said);
        QFETCH(QStringList, during);

        env->insert("salse", sale("2026-11-06", "张三", "500"));
        env->insert("salse", sale("2026-11-07", "张三", "10.5"));
        env->insert("salse", sale("2026-12-01", "李四", "12元"));
        for (const QString& m : more)
            env->insert("salse", m.contains('=') ? sale(m.section('=', 0, 0), "赵六", m.section('=', 1))
                                                 : sale("2026-11-20", "赵六", m));
        env->insert("salse", sale("2026-12-07", "张三", "10.5"));
        env->insert("salse", sale("2026-12-08", "李四", "10.5"));
        open(user);
        // Employees stored after the window opened are in the list when
        // the person comes back to it.
        for (const char* n : {"张三", "李四", "王五"})
            env->insert("worker", worker(QString::fromUtf8(n)));
        QTest::mouseClick(child<QLineEdit>(w.get(), "txt_from"), Qt::LeftButton);

        auto* box = child<QComboBox>(w.get(), "com_name");
        if (employee.startsWith("typed:")) {
            box->setFocus();
            type(box, employee.mid(6));
        } else if (!employee.isEmpty()) {
            QVERIFY(chooseFromList(box, employee));
        }
        if (!from.isEmpty()) {
            type(child<QLineEdit>(w.get(), "txt_from"), from);
            type(child<QLineEdit>(w.get(), "txt_to"), to);
        }
        QList<QStringList> runs;
        const auto watch =
            connect(grid(), &RecordView::reran, this, [&] { runs << gridColumn(grid(), kReceived); });
        press(w.get(), "cmd_search");
        disconnect(watch);

        QCOMPARE(shownAll(*env), QStringList{said});
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs.first(), during);
        QCOMPARE(runs.last(), storedColumn(*env, "salse", kReceived));
        QCOMPARE(grid()->records()->columnCount(), 13);
    }

    // A date not in the stored form would compare wrongly as text: it is
    // refused and nothing runs.
    void badDateRefused_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::newRow("from without zero") << "txt_from"
                                           << "2026-12-1";
        QTest::newRow("to empty") << "txt_to"
                                  << "";
        QTest::newRow("no such day") << "txt_to"
                                     << "2026-02-30";
        QTest::newRow("other form") << "txt_from"
                                    << "2026/11/07";
    }
    void badDateRefused()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);

        env->insert("salse", sale("2026-12-01", "张三", "10"));
        open("clerk");
        type(child<QLineEdit>(w.get(), qPrintable(box)), text);
        QSignalSpy runs(grid(), &RecordView::reran);
        press(w.get(), "cmd_search");
        QCOMPARE(shownAll(*env), QStringList{stop("请按“年-月-日”的形式输入日期，例如：2026-12-07")});
        QCOMPARE(runs.count(), 0);
        QCOMPARE(focusName(), box);
        QCOMPARE(grid()->records()->columnCount(), 12);
    }

    // Enter walks 员工姓名, 从, 到 and lands on the button, which Enter presses.
    void enterFlow()
    {
        env->insert("salse", sale("2026-12-01", "张三", "7.5"));
        open();
        QCOMPARE(focusName(), QString("com_name"));
        for (const char* next : {"txt_from", "txt_to", "cmd_search"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QCOMPARE(focusName(), QString(next));
        }
        QCOMPARE(env->messages().count(), 0);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(shownAll(*env), QStringList{info("从2026-11-07日到2026-12-07日实收金额合计为：8元")});
    }

    // The three searches find the answer anywhere in their column; without a
    // match they say so and show every row; an empty answer changes nothing.
    void searches_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QStringList>("cards");
        QTest::addColumn<bool>("notFound");

        const QStringList all{"1885", "88", "1777", "V9"};
        QTest::newRow("card 88 also finds 1885")
            << "card_search"
            << "88" << input("请输入要查询的卡号：", "卡号查询") << QStringList{"1885", "88"} << false;
        QTest::newRow("product code, letter case")
            << "product_search"
            << "x2" << input("请输入要查询的产品编号：", "产品编号查询") << QStringList{"1777"} << false;
        QTest::newRow("goods name part")
            << "name_search"
            << "碧" << input("请输入要查询的商品名称：", "商品名称查询") << QStringList{"88", "V9"} << false;
        QTest::newRow("no match: message and every row")
            << "card_search"
            << "99" << input("请输入要查询的卡号：", "卡号查询") << all << true;
        QTest::newRow("empty answer: the filter in force stays")
            << "card_search"
            << "" << input("请输入要查询的卡号：", "卡号查询") << QStringList{"1777"} << false;
    }
    void searches()
    {
        QFETCH(QString, item);
        QFETCH(QString, answer);
        QFETCH(QString, prompt);
        QFETCH(QStringList, cards);
        QFETCH(bool, notFound);

        env->insert("salse", sale("2026-12-01", "张三", "1", "1885", "P1", "可乐"));
        env->insert("salse", sale("2026-12-01", "张三", "1", "88", "P2", "雪碧"));
        env->insert("salse", sale("2026-12-01", "张三", "1", "1777", "X20", "可乐"));
        env->insert("salse", sale("2026-12-01", "张三", "1", "V9", "P3", "碧螺春"));
        open();
        if (answer.isEmpty()) {
            env->messages().answerInput("77");
            w->item("card_search")->trigger();
            env->messages().clear();
        }
        env->messages().answerInput(answer);
        w->item(item)->trigger();
        QStringList boxes{prompt};
        if (notFound)
            boxes << stop("未找到相应的记录！", "");
        QCOMPARE(shownAll(*env), boxes);
        QCOMPARE(gridColumn(grid(), kCard), cards);
    }

    // With no rows the searches are off and 刷新所有记录 stays on; the timer
    // turns them on once the grid shows rows.
    void itemStates()
    {
        open();
        const QStringList searches{"card_search", "product_search", "name_search"};
        for (const QString& s : searches)
            QVERIFY(!w->item(s)->isEnabled());
        QVERIFY(w->item("all_record")->isEnabled());

        env->insert("salse", sale("2026-12-01", "张三", "1"));
        w->item("all_record")->trigger();
        QCOMPARE(gridColumn(grid(), kReceived), QStringList{"1"});
        for (const QString& s : searches)
            QTRY_VERIFY(w->item(s)->isEnabled());
    }

    // A business file from before the employee-and-date index gets it when
    // the program opens the file.
    void indexReachesOlderFiles()
    {
        const QString ix = "ix_salse_员工姓名_业务日期";
        const QString sql = "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name = ?";
        QCOMPARE(env->db().selectOne(sql, {ix})->value(0).toInt(), 1);
        QVERIFY(env->db().exec("DROP INDEX " + quoteIdent(ix)).ok);
        QCOMPARE(env->db().selectOne(sql, {ix})->value(0).toInt(), 0);

        ScriptedMessages messages;
        ScriptedPrinting printing;
        AppContext again(ProgramPaths{env->dir()}, std::make_unique<FixedClock>(QDateTime::currentDateTime()),
                         std::make_unique<QSettings>(env->dir() + "/again.ini", QSettings::IniFormat),
                         messages, printing);
        QString error;
        QVERIFY2(again.openDatabases(&error), qPrintable(error));
        QCOMPARE(again.business().selectOne(sql, {ix})->value(0).toInt(), 1);
    }
};

QTEST_MAIN(TstSalesRecordsWindow)
#include "tst_sales_records_window.moc"
