#include "members/customer_window.h"
#include "support/ui.h"

#include <QMenu>

using namespace shop;
using namespace shop::test;

namespace {

const char* const kBoxes[] = {"txt_guke_num", "txt_guke_name",  "txt_guke_sex",     "txt_guke_bron",
                              "txt_guke_tel", "txt_guke_creat", "txt_guke_address", "txt_guke_person"};

// A customer in table order.
QStringList customer(const QString& number, const QString& name, const QString& tel = "111")
{
    return {number, name, "男", "1990-01", tel, "2026-01-01", "北京路 1 号", "常客"};
}

const QStringList kBlank = {"", "", "", "", "", "", "", ""};

} // namespace

class TstCustomerWindow : public QObject {
    Q_OBJECT
private slots:
    void opening();
    void addCustomer_data();
    void addCustomer();
    void changeCustomer_data();
    void changeCustomer();
    void numberBoxLock_data();
    void numberBoxLock();
    void itemStatesFollowRows_data();
    void itemStatesFollowRows();
    void findByName_data();
    void findByName();
    void deleteCustomer_data();
    void deleteCustomer();
    void gridLockAndInPlaceEdits();
    void enterChain();
};

void TstCustomerWindow::opening()
{
    TestEnv env;
    env.insert("guke", customer("002", "李四"));
    env.insert("guke", customer("001", "张三"));
    CustomerWindow w(env.ctx());
    QVERIFY(showActive(&w));
    QCOMPARE(w.windowTitle(), QString("顾客信息管理"));
    QCOMPARE(gridColumn(w.grid(), 0), QStringList({"002", "001"}));
    QCOMPARE(w.grid()->records()->columnNames(), env.db().columns("guke"));
    QVERIFY(!action(&w, "lock_bg")->isEnabled());
    QVERIFY(action(&w, "unlock_bg")->isEnabled());
    QVERIFY(!w.grid()->allowUpdate());
    QVERIFY(!w.grid()->allowDelete());
    QCOMPARE(readFields(&w, kBoxes), kBlank);
    QVERIFY(!w.numberLocked());
}

void TstCustomerWindow::addCustomer_data()
{
    QTest::addColumn<QList<QStringList>>("seed");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QList<QStringList>>("stored");
    QTest::addColumn<QStringList>("fieldsAfter");
    QTest::addColumn<bool>("lockedAfter");
    QTest::addColumn<QString>("focusAfter");

    const QStringList zhang = customer("001", "张三", "111");
    const QStringList typed = customer("001", "张三", "999");
    const QStringList li = customer("001", "李四", "999");
    const QString exists = ask("此顾客资料已存在，你想修改它吗？", "信息");

    QTest::newRow("new pair: one row of the eight fields, no message")
        << QList<QStringList>{} << "" << typed << 0 << QStringList{} << QList<QStringList>{typed} << kBlank
        << false << "txt_guke_num";
    QTest::newRow("same number, other name: a second customer")
        << QList<QStringList>{zhang} << "" << li << 0 << QStringList{} << QList<QStringList>{zhang, li}
        << kBlank << false << "txt_guke_num";
    QTest::newRow("existing pair, Yes: the stored customer, number locked, focus stays")
        << QList<QStringList>{zhang} << "" << typed << int(QMessageBox::Yes) << QStringList{exists}
        << QList<QStringList>{zhang} << zhang << true << "cmd_guke_save";
    QTest::newRow("existing pair, No: blanked and unlocked")
        << QList<QStringList>{zhang} << "" << typed << int(QMessageBox::No) << QStringList{exists}
        << QList<QStringList>{zhang} << kBlank << false << "txt_guke_num";
    QTest::newRow("existing pair filtered out of the grid is still found")
        << QList<QStringList>{zhang, customer("002", "李四")} << "李" << typed << int(QMessageBox::No)
        << QStringList{input("请输入要查询的姓名："), exists}
        << QList<QStringList>{zhang, customer("002", "李四")} << kBlank << false << "txt_guke_num";

    QStringList noNumber = typed;
    noNumber[0] = "";
    QStringList noName = typed;
    noName[1] = "";
    QTest::newRow("number missing") << QList<QStringList>{} << "" << noNumber << 0
                                    << QStringList{stop("请输入完整的数据！")} << QList<QStringList>{}
                                    << noNumber << false << "txt_guke_num";
    QTest::newRow("name missing") << QList<QStringList>{} << "" << noName << 0
                                  << QStringList{stop("请输入完整的数据！")} << QList<QStringList>{} << noName
                                  << false << "txt_guke_num";
}

void TstCustomerWindow::addCustomer()
{
    QFETCH(QList<QStringList>, seed);
    QFETCH(QString, filter);
    QFETCH(QStringList, typed);
    QFETCH(int, answer);
    QFETCH(QStringList, messages);
    QFETCH(QList<QStringList>, stored);
    QFETCH(QStringList, fieldsAfter);
    QFETCH(bool, lockedAfter);
    QFETCH(QString, focusAfter);

    TestEnv env;
    for (const QStringList& c : seed)
        env.insert("guke", c);
    CustomerWindow w(env.ctx());
    QVERIFY(showActive(&w));
    if (!filter.isEmpty()) {
        env.messages().answerInput(filter);
        press(&w, "cmd_guke_query");
    }
    fillFields(&w, kBoxes, typed);
    if (answer)
        env.messages().answer(QMessageBox::StandardButton(answer));
    press(&w, "cmd_guke_save");

    QCOMPARE(shownAll(env), messages);
    QCOMPARE(env.messages().unusedAnswers(), 0);
    QCOMPARE(env.rows("guke"), stored);
    QCOMPARE(readFields(&w, kBoxes), fieldsAfter);
    QCOMPARE(w.numberLocked(), lockedAfter);
    QCOMPARE(focusName(), focusAfter);
    if (filter.isEmpty())
        QCOMPARE(gridColumn(w.grid(), 1), storedColumn(env, "guke", 1));
}

void TstCustomerWindow::changeCustomer_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QList<QStringList>>("stored");

    const QStringList zhang = customer("001", "张三", "111");
    const QStringList li = customer("001", "李四", "222");
    const QStringList wang = customer("002", "王五", "333");
    const QStringList done = {info("修改成功！")};

    // Two customers share number 001: a change reaches the one shown only.
    QTest::newRow("shown customer's telephone")
        << 1 << customer("001", "李四", "999") << done
        << QList<QStringList>{zhang, customer("001", "李四", "999"), wang};
    QTest::newRow("shown customer's name") << 0 << customer("001", "张三丰", "111") << done
                                           << QList<QStringList>{customer("001", "张三丰", "111"), li, wang};
    QTest::newRow("typed number: the first customer with it")
        << -1 << customer("001", "赵六", "444") << done
        << QList<QStringList>{customer("001", "赵六", "444"), li, wang};
    QTest::newRow("unknown number") << -1 << customer("009", "赵六", "444")
                                    << QStringList{stop("未找到相应的记录修改！")}
                                    << QList<QStringList>{zhang, li, wang};
}

void TstCustomerWindow::changeCustomer()
{
    QFETCH(int, row);
    QFETCH(QStringList, typed);
    QFETCH(QStringList, messages);
    QFETCH(QList<QStringList>, stored);

    TestEnv env;
    env.insert("guke", customer("001", "张三", "111"));
    env.insert("guke", customer("001", "李四", "222"));
    env.insert("guke", customer("002", "王五", "333"));
    CustomerWindow w(env.ctx());
    QVERIFY(showActive(&w));
    if (row >= 0) {
        clickRow(w.grid(), row);
        QVERIFY(w.numberLocked());
        // The number box is locked; the other fields are typed over.
        for (int i = 1; i < 8; ++i)
            type(child<QWidget>(&w, kBoxes[i]), typed.value(i));
    } else {
        fillFields(&w, kBoxes, typed);
    }
    press(&w, "cmd_guke_mod");

    QCOMPARE(shownAll(env), messages);
    QCOMPARE(env.rows("guke"), stored);
    QCOMPARE(gridColumn(w.grid(), 1), storedColumn(env, "guke", 1));
    // Blanked and unlocked whether or not the number was found.
    QCOMPARE(readFields(&w, kBoxes), kBlank);
    QVERIFY(!w.numberLocked());
    QCOMPARE(focusName(), QString("txt_guke_num"));
    env.messages().clear();
    typeMore(child<QWidget>(&w, "txt_guke_num"), "7");
    QCOMPARE(textOf(&w, "txt_guke_num"), QString("7"));
    QCOMPARE(env.messages().count(), 0);
}

void TstCustomerWindow::numberBoxLock_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("warned");
    QTest::addColumn<QString>("focusAfter");

    QTest::newRow("digit") << int(Qt::Key_5) << "5" << true << "txt_guke_num";
    QTest::newRow("letter") << int(Qt::Key_A) << "a" << true << "txt_guke_num";
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << "\b" << true << "txt_guke_num";
    QTest::newRow("Enter warns, then moves on") << int(Qt::Key_Return) << "\r" << true << "txt_guke_name";
    QTest::newRow("an arrow is not a character") << int(Qt::Key_Left) << "" << false << "txt_guke_num";
}

void TstCustomerWindow::numberBoxLock()
{
    QFETCH(int, key);
    QFETCH(QString, text);
    QFETCH(bool, warned);
    QFETCH(QString, focusAfter);

    TestEnv env;
    env.insert("guke", customer("001", "张三"));
    CustomerWindow w(env.ctx());
    QVERIFY(showActive(&w));
    clickRow(w.grid(), 0);
    QCOMPARE(readFields(&w, kBoxes), customer("001", "张三"));
    QVERIFY(w.numberLocked());

    QWidget* number = child<QWidget>(&w, "txt_guke_num");
    number->setFocus();
    QTRY_VERIFY(number->hasFocus());
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(number, &press);
    QApplication::sendEvent(number, &release);

    QCOMPARE(shownAll(env), warned ? QStringList{stop("编号目前是唯一标识，不能在此修改！")} : QStringList{});
    QCOMPARE(textOf(&w, "txt_guke_num"), QString("001"));
    QCOMPARE(focusName(), focusAfter);
}

void TstCustomerWindow::itemStatesFollowRows_data()
{
    QTest::addColumn<bool>("elsewhere");
    QTest::newRow("last customer deleted here") << false;
    QTest::newRow("table emptied by another window") << true;
}

void TstCustomerWindow::itemStatesFollowRows()
{
    QFETCH(bool, elsewhere);

    TestEnv env;
    env.insert("guke", customer("001", "张三"));
    CustomerWindow w(env.ctx());
    QVERIFY(showActive(&w));
    auto* menu = child<QMenu>(&w, "eidt_bg");
    QCOMPARE(menu->title(), QString("表格编辑"));
    const auto states = [&] {
        return QList<bool>{child<QPushButton>(&w, "cmd_guke_del")->isEnabled(),
                           child<QPushButton>(&w, "cmd_guke_mod")->isEnabled(),
                           child<QPushButton>(&w, "cmd_guke_query")->isEnabled(),
                           menu->isEnabled(),
                           child<QPushButton>(&w, "cmd_guke_save")->isEnabled(),
                           child<QPushButton>(&w, "cmd_guke_exit")->isEnabled()};
    };
    QCOMPARE(states(), QList<bool>({true, true, true, true, true, true}));
    clickRow(w.grid(), 0);
    QVERIFY(w.numberLocked());

    if (elsewhere) {
        QVERIFY(env.db().exec("DELETE FROM guke").ok);
        emit env.ctx().notifier().tableChanged("guke");
    } else {
        env.messages().answer(QMessageBox::Yes);
        press(&w, "cmd_guke_del");
    }
    QVERIFY(nextTick(&w));
    QCOMPARE(states(), QList<bool>({false, false, false, false, true, true}));
    QVERIFY(!w.numberLocked());
    typeMore(child<QWidget>(&w, "txt_guke_num"), "7");
    QVERIFY(textOf(&w, "txt_guke_num").endsWith("7"));

    // No popup over an empty grid while the menu is disabled.
    QTest::mouseClick(w.grid()->viewport(), Qt::RightButton, {}, QPoint(10, 10));
    QCoreApplication::processEvents();
    QVERIFY(!menu->isVisible());
}

void TstCustomerWindow::findByName_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("grid");
    QTest::addColumn<bool>("blanked");

    const QStringList all = {"张三", "李四", "张小明"};
    const QStringList prompt = {input("请输入要查询的姓名：")};
    const QStringList notFound = {input("请输入要查询的姓名："), stop("找不到相应的记录！")};

    QTest::newRow("empty answer changes nothing") << "" << prompt << all << false;
    QTest::newRow("name part") << "张" << prompt << QStringList{"张三", "张小明"} << true;
    QTest::newRow("no match falls back to every customer") << "赵" << notFound << all << true;
    QTest::newRow("% matches itself") << "%" << notFound << all << true;
}

void TstCustomerWindow::findByName()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, grid);
    QFETCH(bool, blanked);

    TestEnv env;
    env.insert("guke", customer("001", "张三"));
    env.insert("guke", customer("002", "李四"));
    env.insert("guke", customer("003", "张小明"));
    CustomerWindow w(env.ctx());
    QVERIFY(showActive(&w));
    clickRow(w.grid(), 1);
    env.messages().answerInput(answer);
    press(&w, "cmd_guke_query");

    QCOMPARE(shownAll(env), messages);
    QCOMPARE(gridColumn(w.grid(), 1), grid);
    QCOMPARE(readFields(&w, kBoxes), blanked ? kBlank : customer("002", "李四"));
    QCOMPARE(w.numberLocked(), !blanked);

    // The refresh item shows everyone again and leaves the fields alone.
    clickRow(w.grid(), 0);
    const QStringList before = readFields(&w, kBoxes);
    action(&w, "bg_fresh")->trigger();
    QCOMPARE(gridColumn(w.grid(), 1), QStringList({"张三", "李四", "张小明"}));
    QCOMPARE(readFields(&w, kBoxes), before);
}

void TstCustomerWindow::deleteCustomer_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("left");

    QTest::newRow("Yes deletes exactly the selected customer")
        << 2 << int(QMessageBox::Yes) << QStringList{"张三", "李四"};
    QTest::newRow("No keeps every customer")
        << 2 << int(QMessageBox::No) << QStringList{"张三", "李四", "张三"};
    QTest::newRow("without a current row nothing is asked or deleted")
        << -1 << int(QMessageBox::Yes) << QStringList{"张三", "李四", "张三"};
    // 李四 clicked and saved unchanged (the fields clear, the row stays
    // current), then 001 张三 typed and 是 to the exists question: the first
    // 张三 is shown, so it is current and deleted.
    QTest::newRow("the customer shown after the exists question")
        << -2 << int(QMessageBox::Yes) << QStringList{"李四", "张三"};
}

void TstCustomerWindow::deleteCustomer()
{
    QFETCH(int, row);
    QFETCH(int, answer);
    QFETCH(QStringList, left);

    TestEnv env;
    env.insert("guke", customer("001", "张三", "111"));
    env.insert("guke", customer("002", "李四", "222"));
    env.insert("guke", customer("001", "张三", "333")); // an exact twin but for the telephone
    CustomerWindow w(env.ctx());
    QVERIFY(showActive(&w));
    if (row >= 0)
        clickRow(w.grid(), row);
    if (row == -2) {
        clickRow(w.grid(), 1);
        press(&w, "cmd_guke_mod");
        QVERIFY(w.grid()->currentRecord());
        QCOMPARE(w.grid()->currentRecord()->values.value(1), QString("李四"));
        type(child<QWidget>(&w, "txt_guke_num"), "001");
        type(child<QWidget>(&w, "txt_guke_name"), "张三");
        env.messages().answer(QMessageBox::Yes);
        press(&w, "cmd_guke_save");
        QCOMPARE(textOf(&w, "txt_guke_tel"), QString("111"));
        env.messages().clear();
    }
    if (row != -1)
        env.messages().answer(QMessageBox::StandardButton(answer));
    press(&w, "cmd_guke_del");

    QCOMPARE(shownAll(env), row != -1 ? QStringList{ask("真的想删除所选的记录?", "删除")} : QStringList{});
    QCOMPARE(storedColumn(env, "guke", 1), left);
    if (row >= 0 && answer == QMessageBox::Yes)
        QCOMPARE(storedColumn(env, "guke", 4), QStringList({"111", "222"}));
    if (row == -2)
        QCOMPARE(storedColumn(env, "guke", 4), QStringList({"222", "333"}));
    QCOMPARE(gridColumn(w.grid(), 1), left);
    QCOMPARE(readFields(&w, kBoxes), kBlank);
    QVERIFY(!w.numberLocked());
    QCOMPARE(focusName(), QString("txt_guke_num"));
}

void TstCustomerWindow::gridLockAndInPlaceEdits()
{
    TestEnv env;
    env.insert("guke", customer("001", "张三"));
    env.insert("guke", customer("002", "李四"));
    CustomerWindow w(env.ctx());
    QVERIFY(showActive(&w));
    RecordView* bg = w.grid();
    QAction* lockBg = action(&w, "lock_bg");
    QAction* unlockBg = action(&w, "unlock_bg");

    auto* menu = child<QMenu>(&w, "eidt_bg");
    QTest::mouseClick(bg->viewport(), Qt::RightButton, {},
                      bg->visualRect(bg->records()->index(0, 0)).center());
    QTRY_VERIFY(menu->isVisible());
    menu->close();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));

    // Typing into a telephone cell opens its editor; Enter commits it (queued).
    const auto editTel = [&](int row, const QString& text) { typeInCell(bg, row, 4, text); };

    editTel(0, "555");
    bg->setCurrentIndex(bg->records()->index(1, 4));
    QTest::keyClick(bg, Qt::Key_Delete);
    QCOMPARE(storedColumn(env, "guke", 4), QStringList({"111", "111"}));
    QCOMPARE(env.messages().count(), 0);

    unlockBg->trigger();
    QVERIFY(lockBg->isEnabled());
    QVERIFY(!unlockBg->isEnabled());
    editTel(0, "555");
    QCOMPARE(storedColumn(env, "guke", 4), QStringList({"111", "111"})); // not before the row is left
    QTest::keyClick(bg, Qt::Key_Down);
    QCOMPARE(storedColumn(env, "guke", 4), QStringList({"555", "111"}));
    QCOMPARE(bg->records()->rowCount(), 2);

    lockBg->trigger();
    QVERIFY(!lockBg->isEnabled());
    QVERIFY(unlockBg->isEnabled());
    editTel(1, "666");
    QTest::keyClick(bg, Qt::Key_Up);
    QCOMPARE(storedColumn(env, "guke", 4), QStringList({"555", "111"}));
}

void TstCustomerWindow::enterChain()
{
    TestEnv env;
    CustomerWindow w(env.ctx());
    QVERIFY(showActive(&w));
    child<QWidget>(&w, "txt_guke_num")->setFocus();
    QTRY_COMPARE(focusName(), QString("txt_guke_num"));
    const QStringList chain = {"txt_guke_name",  "txt_guke_sex",     "txt_guke_bron",   "txt_guke_tel",
                               "txt_guke_creat", "txt_guke_address", "txt_guke_person", "cmd_guke_save"};
    for (const QString& next : chain) {
        typeMore(QApplication::focusWidget(), "x");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(focusName(), next);
    }
    QCOMPARE(env.rows("guke").size(), 0);
    QCOMPARE(env.messages().count(), 0);
}

QTEST_MAIN(TstCustomerWindow)
#include "tst_customer_window.moc"
