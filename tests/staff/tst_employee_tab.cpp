// The employee tab: the save button and Enter, save / modify / delete /
// query with their refusals, the grid menu and its states, and the key kept
// unique by in-place edits.
#include "staff/employee_tab.h"
#include "support/tab_host.h"

using namespace shop;
using namespace shop::test;

namespace {

const char* const kBoxes[] = {"worker_name",  "worker_sex",    "worker_bron",  "worker_xueli",
                              "worker_hukou", "worker_hunyin", "worker_jiwei", "worker_salary",
                              "worker_tel",   "worker_indate", "worker_id",    "worker_address"};
const QString kToday = QStringLiteral("2026-12-07");

// An employee in column order.
QStringList worker(const QString& name, const QString& id, const QString& tel = "111")
{
    return {name,   "男",   "1990-01", "大专",       "北京", "未婚",
            "技师", "1500", tel,       "2026-01-02", id,     "北京路 1 号"};
}

QStringList cleared()
{
    QStringList out(12);
    out[9] = kToday;
    return out;
}

} // namespace

class TstEmployeeTab : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<TabHost<EmployeeTab>> host;
    EmployeeTab* tab = nullptr;

    // The main window showing the tab, opened from its menu item; the grid
    // opens the main window's menu "表格".
    void open(const QList<QStringList>& workers = {})
    {
        for (const QStringList& w : workers)
            env->insert("worker", w);
        host = std::make_unique<TabHost<EmployeeTab>>(*env);
        QVERIFY(host->open("DATAMAN", "worker"));
        tab = host->tab();
    }
    QStringList fields() const { return readFields(tab, kBoxes); }
    void fill(const QStringList& values) { fillFields(tab, kBoxes, values); }
    QPushButton* b(const char* name) const { return child<QPushButton>(tab, name); }
    QAction* item(const char* name) const { return host->item(name); }
    // A click on an item of the grid's popup menu.
    void choose(const char* name) { QVERIFY2(chooseFromPopup(grid(), name), name); }
    RecordView* grid() const { return tab->grid(); }

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup()
    {
        host.reset();
        env.reset();
    }

    // 保存 follows the name box; Enter along the fields reaches it only
    // while it is enabled.
    void saveButtonAndEnter_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("focusAfterAddress");
        QTest::newRow("with a name") << "张三"
                                     << "cmd_worker_save";
        QTest::newRow("without a name") << ""
                                        << "worker_address";
    }
    void saveButtonAndEnter()
    {
        QFETCH(QString, name);
        QFETCH(QString, focusAfterAddress);
        open();
        QVERIFY(!b("cmd_worker_save")->isEnabled());
        QCOMPARE(textOf(tab, "worker_indate"), kToday);
        QCOMPARE(focusName(), QString("worker_name"));
        type(child<QWidget>(tab, "worker_name"), "王");
        QVERIFY(b("cmd_worker_save")->isEnabled());
        type(child<QWidget>(tab, "worker_name"), name);
        QCOMPARE(b("cmd_worker_save")->isEnabled(), !name.isEmpty());

        child<QWidget>(tab, "worker_name")->setFocus();
        for (int i = 1; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QCOMPARE(focusName(), QString(kBoxes[i]));
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(focusName(), focusAfterAddress);
        QCOMPARE(env->messages().count(), 0);
    }

    // Save: refused without the number or the name; a new number adds the
    // row as typed; a stored number never adds one: Yes shows the stored
    // employee (current in the grid, even after a query hid it), No clears.
    void save_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<bool>("filtered");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QList<QStringList>>("stored");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("focus");

        const QStringList zhang = worker("张三", "110");
        const QStringList newcomer = worker("O'Neil", "220'", "5'5");
        QTest::newRow("no number") << worker("李四", "") << false << 0
                                   << QStringList{stop("请输入完整的数据！")} << QList<QStringList>{zhang}
                                   << worker("李四", "") << "worker_name";
        QTest::newRow("new, apostrophes kept as typed")
            << newcomer << false << 0 << QStringList{} << QList<QStringList>{zhang, newcomer} << cleared()
            << "worker_name";
        QTest::newRow("stored number, Yes") << worker("李四", "110") << true << int(QMessageBox::Yes)
                                            << QStringList{ask("此员工资料已存在，你想修改它吗？", "信息")}
                                            << QList<QStringList>{zhang} << zhang << "cmd_worker_save";
        QTest::newRow("stored number, No") << worker("李四", "110") << false << int(QMessageBox::No)
                                           << QStringList{ask("此员工资料已存在，你想修改它吗？", "信息")}
                                           << QList<QStringList>{zhang} << cleared() << "worker_name";
    }
    void save()
    {
        QFETCH(QStringList, typed);
        QFETCH(bool, filtered);
        QFETCH(int, answer);
        QFETCH(QStringList, messages);
        QFETCH(QList<QStringList>, stored);
        QFETCH(QStringList, shown);
        QFETCH(QString, focus);

        open({worker("张三", "110")});
        if (filtered) {
            env->insert("worker", worker("王五", "330"));
            env->messages().answerInput("王");
            press(tab, "cmd_worker_query");
            QCOMPARE(gridColumn(grid(), 0), QStringList{"王五"});
            stored << worker("王五", "330");
            env->messages().clear();
        }
        fill(typed);
        if (answer)
            env->messages().answer(QMessageBox::StandardButton(answer));
        child<QWidget>(tab, "worker_address")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        if (b("cmd_worker_save")->hasFocus())
            QTest::keyClick(b("cmd_worker_save"), Qt::Key_Return);
        else
            press(tab, "cmd_worker_save");

        QCOMPARE(shownAll(*env), messages);
        QCOMPARE(env->rows("worker"), stored);
        QCOMPARE(fields(), shown);
        QCOMPARE(focusName(), focus);
        if (messages.isEmpty() || answer) // the lookup showed every employee
            QCOMPARE(gridColumn(grid(), 0), storedColumn(*env, "worker", 0));
        if (answer == QMessageBox::Yes) {
            QVERIFY(grid()->currentRecord());
            QCOMPARE(grid()->currentRecord()->values.value(10), QString("110"));
        }
    }

    // Modify writes the one row called up; a changed number, or an employee
    // the grid does not show, is refused and nothing changes.
    void modify_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("tels");
        QTest::addColumn<bool>("fieldsKept");

        const QStringList refused = {stop("身份证是唯一标识，目前不能修改！")};
        QTest::newRow("the row clicked, its twin untouched")
            << "click" << QStringList{info("修改成功！")} << QStringList{"111", "999", "333"} << false;
        QTest::newRow("number changed") << "number" << refused << QStringList{"111", "222", "333"} << true;
        QTest::newRow("outside the grid's query")
            << "filtered" << refused << QStringList{"111", "222", "333"} << true;
    }
    void modify()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, tels);
        QFETCH(bool, fieldsKept);

        // Older data may hold one number twice.
        open({worker("张三", "110", "111"), worker("李四", "220", "222"), worker("李四", "220", "333")});
        if (how == "filtered") {
            env->messages().answerInput("张");
            press(tab, "cmd_worker_query");
            env->messages().clear();
            fill(worker("李四", "220", "999"));
        } else {
            clickRow(grid(), 1);
            QCOMPARE(fields(), worker("李四", "220", "222"));
            type(child<QWidget>(tab, "worker_tel"), "999");
            if (how == "number")
                type(child<QWidget>(tab, "worker_id"), "221");
        }
        const QStringList before = fields();
        press(tab, "cmd_worker_modi");

        QCOMPARE(shownAll(*env), messages);
        QCOMPARE(storedColumn(*env, "worker", 8), tels);
        QCOMPARE(fields(), fieldsKept ? before : cleared());
    }

    // A cell edited in the grid and not yet written comes before a later
    // 修改: the fields' values, which 修改 confirms, are what stays stored.
    void modifyAfterCellEdit_data()
    {
        QTest::addColumn<int>("editedRow");
        QTest::addColumn<QStringList>("tels");
        QTest::newRow("the row shown") << 0 << QStringList{"999", "222"};
        QTest::newRow("another row") << 1 << QStringList{"999", "777"};
    }
    void modifyAfterCellEdit()
    {
        QFETCH(int, editedRow);
        QFETCH(QStringList, tels);
        open({worker("张三", "110", "111"), worker("李四", "220", "222")});
        choose("edit_txt");
        clickRow(grid(), 0);
        typeInCell(grid(), editedRow, 8, "777");
        type(child<QWidget>(tab, "worker_name"), "张三丰");
        type(child<QWidget>(tab, "worker_tel"), "999");
        press(tab, "cmd_worker_modi");

        QCOMPARE(shownAll(*env), QStringList{info("修改成功！")});
        QCOMPARE(storedColumn(*env, "worker", 0), (QStringList{"张三丰", "李四"}));
        QCOMPARE(storedColumn(*env, "worker", 8), tels);
        QCOMPARE(gridColumn(grid(), 8), tels);
    }

    // Delete asks, deletes the selected row only, and clears the fields
    // whatever the answer; with no row selected it asks nothing.
    void deleteWorker_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("tels");
        QTest::newRow("Yes") << 2 << int(QMessageBox::Yes) << QStringList{"111", "222"};
        QTest::newRow("No") << 2 << int(QMessageBox::No) << QStringList{"111", "222", "333"};
        QTest::newRow("no row selected") << -1 << 0 << QStringList{"111", "222", "333"};
    }
    void deleteWorker()
    {
        QFETCH(int, row);
        QFETCH(int, answer);
        QFETCH(QStringList, tels);
        open({worker("张三", "110", "111"), worker("李四", "220", "222"), worker("李四", "220", "333")});
        if (row >= 0) {
            clickRow(grid(), row);
            env->messages().answer(QMessageBox::StandardButton(answer));
        }
        press(tab, "cmd_worker_del");
        QCOMPARE(shownAll(*env),
                 row >= 0 ? QStringList{ask("你真的想删除所选的记录吗？", "信息")} : QStringList{});
        QCOMPARE(storedColumn(*env, "worker", 8), tels);
        QCOMPARE(gridColumn(grid(), 8), tels);
        QCOMPARE(fields(), cleared());
    }

    // Query by part of the name; no match says so and shows everybody; an
    // empty answer leaves everybody shown.
    void query_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("shown");
        const QStringList ask = {input("请输入要查询的姓名：")};
        QTest::newRow("王") << "王" << ask << QStringList{"王五", "小王"};
        QTest::newRow("no match") << "赵" << (ask + QStringList{stop("没有找到相应的记录！")})
                                  << QStringList{"王五", "张三", "小王"};
        QTest::newRow("empty answer") << "" << ask << QStringList{"王五", "张三", "小王"};
    }
    void query()
    {
        QFETCH(QString, answer);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, shown);
        open({worker("王五", "1"), worker("张三", "2"), worker("小王", "3")});
        clickRow(grid(), 0);
        env->messages().answerInput(answer);
        press(tab, "cmd_worker_query");
        QCOMPARE(shownAll(*env), messages);
        QCOMPARE(gridColumn(grid(), 0), shown);
        QCOMPARE(fields(), cleared());
    }

    // The states follow whether the grid has rows; the lock pair starts
    // locked; 刷新 shows everybody and clears the fields.
    void menuAndStates()
    {
        open();
        tab->updateStates();
        for (const char* n : {"cmd_worker_modi", "cmd_worker_del", "cmd_worker_query"})
            QVERIFY2(!b(n)->isEnabled(), n);
        QVERIFY(!item("d_fresh")->isEnabled());
        QVERIFY(b("cmd_worker_exit")->isEnabled());
        QVERIFY(!item("lock_txt")->isEnabled());
        QVERIFY(item("edit_txt")->isEnabled());

        env->insert("worker", worker("张三", "110"));
        env->insert("worker", worker("王五", "330"));
        emit env->ctx().notifier().tableChanged("worker");
        tab->updateStates();
        for (const char* n : {"cmd_worker_modi", "cmd_worker_del", "cmd_worker_query"})
            QVERIFY2(b(n)->isEnabled(), n);
        QVERIFY(item("d_fresh")->isEnabled());

        env->messages().answerInput("王");
        press(tab, "cmd_worker_query");
        clickRow(grid(), 0);
        choose("d_fresh");
        QCOMPARE(gridColumn(grid(), 0), (QStringList{"张三", "王五"}));
        QCOMPARE(fields(), cleared());
        QCOMPARE(focusName(), QString("worker_name"));
    }

    // Unlocked, a cell edit is written; a number another employee holds is
    // refused and nothing is written; locked again, edits are refused.
    void inPlaceEdits_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QStringList>("tels");
        QTest::newRow("telephone") << 8 << "777" << QStringList{} << QStringList{"110", "330"}
                                   << QStringList{"777", "111"};
        QTest::newRow("a new number")
            << 10 << "119" << QStringList{} << QStringList{"119", "330"} << QStringList{"111", "111"};
        QTest::newRow("another's number")
            << 10 << "330" << QStringList{stop("此身份证号码已存在，不能重复！")} << QStringList{"110", "330"}
            << QStringList{"111", "111"};
    }
    void inPlaceEdits()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, ids);
        QFETCH(QStringList, tels);
        open({worker("张三", "110"), worker("王五", "330")});
        typeInCell(grid(), 0, column, "5");
        QCOMPARE(storedColumn(*env, "worker", 8), (QStringList{"111", "111"}));

        choose("edit_txt");
        QVERIFY(item("lock_txt")->isEnabled());
        typeInCell(grid(), 0, column, typed);
        clickRow(grid(), 1);
        QCOMPARE(shownAll(*env), messages);
        QCOMPARE(storedColumn(*env, "worker", 10), ids);
        QCOMPARE(storedColumn(*env, "worker", 8), tels);
        choose("lock_txt");
        QVERIFY(!grid()->allowUpdate());
    }
};

QTEST_MAIN(TstEmployeeTab)
#include "tst_employee_tab.moc"
