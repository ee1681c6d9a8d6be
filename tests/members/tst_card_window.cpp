#include "members/card_window.h"
#include "support/ui.h"

#include <QApplication>
#include <QMenu>
#include <QPushButton>

using namespace shop;
using namespace shop::test;

namespace {

const char* const kBoxes[] = {"txt_date", "txt_number", "com_name",  "txt_name",  "txt_service",
                              "txt_jine", "txt_times",  "com_style", "txt_remark"};
const QString kToday = QStringLiteral("2026-12-07");

// A card in table order.
QStringList card(const QString& number, const QString& holder, const QString& amount = "500",
                 const QString& times = "", const QString& type = "钻石卡")
{
    return {"2026-11-01", number, "李", holder, "洗车", amount, times, type, ""};
}

} // namespace

class TstCardWindow : public QObject {
    Q_OBJECT
private slots:
    void opening();
    void openCard_data();
    void openCard();
    void changeCard_data();
    void changeCard();
    void deleteCard_data();
    void deleteCard();
    void findByNumber_data();
    void findByNumber();
    void headerSort_data();
    void headerSort();
    void buttonStatesFollowRows_data();
    void buttonStatesFollowRows();
    void clickShowsStoredCard();
    void gridLockAndInPlaceEdits();
    void inPlaceNumberEdit_data();
    void inPlaceNumberEdit();
    void enterChainSkipsCardType();
    void listsRebuiltOnFocus();
    void cardTypeChosenFromList_data();
    void cardTypeChosenFromList();
    void moneyReceived_data();
    void moneyReceived();
};

void TstCardWindow::opening()
{
    TestEnv env;
    env.insert("numbercard", card("B", "乙"));
    env.insert("numbercard", card("A", "甲"));
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    QCOMPARE(w.windowTitle(), QString("开卡管理"));
    QCOMPARE(textOf(&w, "txt_date"), kToday);
    QCOMPARE(gridColumn(w.grid(), 1), QStringList({"B", "A"}));
    QCOMPARE(w.grid()->records()->columnNames(), env.db().columns("numbercard"));
    QVERIFY(!action(&w, "lock_bg")->isEnabled());
    QVERIFY(action(&w, "EDIT_BG")->isEnabled());
    QVERIFY(!w.grid()->allowUpdate());
    QVERIFY(!w.grid()->allowDelete());
    QCOMPARE(env.messages().count(), 0);
}

void TstCardWindow::openCard_data()
{
    QTest::addColumn<QList<QStringList>>("seed");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QList<QStringList>>("stored");
    QTest::addColumn<QStringList>("fieldsAfter");

    const QStringList typed = {"2026-12-01", "A1", "钱", "王", "洗车", "500", "", "钻石卡", "常客"};
    const QStringList a1 = card("A1", "张", "300");
    const QStringList cleared = {kToday, "", "", "", "", "", "", "钻石卡", ""};
    const QString exists = ask("会员资料已存在，你想修改它吗？", "修改");
    const QString money = input("请输入收款金额（元）：", "开卡");

    QTest::newRow("new number: one row of the nine fields, no message")
        << QList<QStringList>{} << "" << typed << 0 << QStringList{money} << QList<QStringList>{typed}
        << cleared;
    QTest::newRow("existing number, Yes: the stored card is shown, nothing written")
        << QList<QStringList>{a1} << "" << typed << int(QMessageBox::Yes) << QStringList{exists}
        << QList<QStringList>{a1} << a1;
    QTest::newRow("existing number, No: the fields are cleared, nothing written")
        << QList<QStringList>{a1} << "" << typed << int(QMessageBox::No) << QStringList{exists}
        << QList<QStringList>{a1} << cleared;
    QTest::newRow("number differs only in letter case")
        << QList<QStringList>{card("a1", "张")} << "" << typed << int(QMessageBox::No) << QStringList{exists}
        << QList<QStringList>{card("a1", "张")} << cleared;

    // The grid shows only the cards whose number contains 12; card 99 is not
    // among them but is still the same card.
    QStringList typed99 = typed;
    typed99[1] = "99";
    QTest::newRow("existing number filtered out of the grid is still refused")
        << QList<QStringList>{card("A12", "甲"), card("99", "乙")} << "12" << typed99 << int(QMessageBox::No)
        << QStringList{input("请输入会员卡号"), exists}
        << QList<QStringList>{card("A12", "甲"), card("99", "乙")} << cleared;

    QStringList noNumber = typed;
    noNumber[1] = "";
    QStringList noName = typed;
    noName[3] = "";
    QTest::newRow("number missing") << QList<QStringList>{} << "" << noNumber << 0
                                    << QStringList{stop("请输入完整的资料！")} << QList<QStringList>{}
                                    << noNumber;
    QTest::newRow("holder missing") << QList<QStringList>{} << "" << noName << 0
                                    << QStringList{stop("请输入完整的资料！")} << QList<QStringList>{}
                                    << noName;

    QStringList odd = typed;
    odd[5] = "abc";
    odd[6] = "";
    odd[8] = "It's";
    QTest::newRow("amounts and apostrophes are stored as typed")
        << QList<QStringList>{} << "" << odd << 0 << QStringList{money} << QList<QStringList>{odd} << cleared;
}

void TstCardWindow::openCard()
{
    QFETCH(QList<QStringList>, seed);
    QFETCH(QString, filter);
    QFETCH(QStringList, typed);
    QFETCH(int, answer);
    QFETCH(QStringList, messages);
    QFETCH(QList<QStringList>, stored);
    QFETCH(QStringList, fieldsAfter);

    TestEnv env;
    for (const QStringList& c : seed)
        env.insert("numbercard", c);
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    if (!filter.isEmpty()) {
        env.messages().answerInput(filter);
        press(&w, "cmd_query");
    }
    fillFields(&w, kBoxes, typed);
    if (answer)
        env.messages().answer(QMessageBox::StandardButton(answer));
    press(&w, "cmd_save");

    QCOMPARE(shownAll(env), messages);
    QCOMPARE(env.messages().unusedAnswers(), 0);
    QCOMPARE(env.rows("numbercard"), stored);
    QCOMPARE(readFields(&w, kBoxes), fieldsAfter);
    QCOMPARE(focusName(), QString("txt_date"));
    // The grid shows what is stored (within its query).
    if (filter.isEmpty())
        QCOMPARE(gridColumn(w.grid(), 1), storedColumn(env, "numbercard", 1));
}

void TstCardWindow::changeCard_data()
{
    QTest::addColumn<QList<QStringList>>("seed");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("clickRow");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QList<QStringList>>("stored");

    const QStringList d1 = card("D1", "王", "500", "0", "钻石卡");
    const QStringList m1 = card("M1", "赵", "0", "3", "月卡");
    QStringList d1Topped = d1;
    d1Topped[5] = "800";
    QStringList m1Topped = m1;
    m1Topped[6] = "10";

    const QString money = input("请输入收款金额（元）：", "修改");
    QTest::newRow("top-up replaces the balance")
        << QList<QStringList>{m1, d1} << "" << 1 << "txt_jine"
        << "800" << QStringList{money, info("修改成功！")} << QList<QStringList>{m1, d1Topped};
    QTest::newRow("top-up replaces the uses")
        << QList<QStringList>{m1, d1} << "" << 0 << "txt_times"
        << "10" << QStringList{money, info("修改成功！")} << QList<QStringList>{m1Topped, d1};
    QTest::newRow("a changed number finds no card")
        << QList<QStringList>{m1, d1} << "" << 0 << "txt_number"
        << "M2" << QStringList{stop("未找到相应的记录修改！")} << QList<QStringList>{m1, d1};

    // The card is shown through the exists-question while the grid is
    // filtered: the grid shows every card again, the shown one current.
    QTest::newRow("a card outside the grid's query is still changed")
        << QList<QStringList>{m1, d1} << "M" << -1 << "txt_jine"
        << "800"
        << QStringList{input("请输入会员卡号"), ask("会员资料已存在，你想修改它吗？", "修改"), money,
                       info("修改成功！")}
        << QList<QStringList>{m1, d1Topped};
}

void TstCardWindow::changeCard()
{
    QFETCH(QList<QStringList>, seed);
    QFETCH(QString, filter);
    QFETCH(int, clickRow);
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QStringList, messages);
    QFETCH(QList<QStringList>, stored);

    TestEnv env;
    for (const QStringList& c : seed)
        env.insert("numbercard", c);
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    if (!filter.isEmpty()) {
        env.messages().answerInput(filter);
        press(&w, "cmd_query");
        QCOMPARE(gridColumn(w.grid(), 1), QStringList{"M1"});
    }
    if (clickRow >= 0) {
        shop::test::clickRow(w.grid(), clickRow);
    } else {
        type(child<QWidget>(&w, "txt_number"), "D1");
        type(child<QWidget>(&w, "txt_name"), "x");
        env.messages().answer(QMessageBox::Yes);
        press(&w, "cmd_save");
        QCOMPARE(textOf(&w, "txt_name"), QString("王"));
        QVERIFY(w.grid()->currentRecord());
        QCOMPARE(w.grid()->currentRecord()->values.value(1), QString("D1"));
    }
    type(child<QWidget>(&w, box.toLatin1().constData()), typed);
    press(&w, "cmd_modify");

    QCOMPARE(shownAll(env), messages);
    QCOMPARE(env.rows("numbercard"), stored);
    QCOMPARE(textOf(&w, "txt_number"), QString());
    QCOMPARE(textOf(&w, "txt_date"), kToday);
    QCOMPARE(focusName(), QString("txt_date"));
    QCOMPARE(gridColumn(w.grid(), 5), storedColumn(env, "numbercard", 5));
}

void TstCardWindow::deleteCard_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("left");

    QTest::newRow("Yes deletes exactly the selected card")
        << 1 << int(QMessageBox::Yes) << QStringList{"A", "A"};
    QTest::newRow("No keeps every card") << 1 << int(QMessageBox::No) << QStringList{"A", "B", "A"};
    QTest::newRow("without a current row nothing is asked or deleted")
        << -1 << int(QMessageBox::Yes) << QStringList{"A", "B", "A"};
    // B clicked, then A typed and 是 to the exists question: A is shown,
    // so A is current and deleted.
    QTest::newRow("the card shown after the exists question")
        << -2 << int(QMessageBox::Yes) << QStringList{"B", "A"};
}

void TstCardWindow::deleteCard()
{
    QFETCH(int, row);
    QFETCH(int, answer);
    QFETCH(QStringList, left);

    TestEnv env;
    // Two cards share a number (left from older data): the delete takes the
    // selected row, not the first with its number.
    env.insert("numbercard", card("A", "甲"));
    env.insert("numbercard", card("B", "乙"));
    env.insert("numbercard", card("A", "丙"));
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    if (row >= 0)
        clickRow(w.grid(), row);
    if (row == -2) {
        clickRow(w.grid(), 1);
        type(child<QWidget>(&w, "txt_number"), "A");
        type(child<QWidget>(&w, "txt_name"), "x");
        env.messages().answer(QMessageBox::Yes);
        press(&w, "cmd_save");
        QCOMPARE(textOf(&w, "txt_name"), QString("甲"));
        env.messages().clear();
    }
    const QStringList before = readFields(&w, kBoxes);
    if (row != -1)
        env.messages().answer(QMessageBox::StandardButton(answer));
    press(&w, "cmd_deleted");

    QCOMPARE(shownAll(env), row != -1 ? QStringList{ask("真的想删除所选的记录吗？", "删除")} : QStringList{});
    QCOMPARE(storedColumn(env, "numbercard", 1), left);
    QCOMPARE(gridColumn(w.grid(), 1), left);
    // The deleted card is no longer shown (the type is kept on clear);
    // otherwise the fields stay.
    if (answer == QMessageBox::Yes && row != -1)
        QCOMPARE(readFields(&w, kBoxes), QStringList({kToday, "", "", "", "", "", "", before.at(7), ""}));
    else
        QCOMPARE(readFields(&w, kBoxes), before);
    QCOMPARE(focusName(), QString("txt_date"));
}

void TstCardWindow::findByNumber_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("grid");

    const QStringList all = {"A12", "123", "99", "5%1"};
    const QStringList prompt = {input("请输入会员卡号")};
    const QStringList notFound = {input("请输入会员卡号"), stop("未找到相应的记录！")};

    QTest::newRow("empty answer changes nothing") << "" << prompt << QStringList{"123"};
    QTest::newRow("contains-match") << "12" << prompt << QStringList{"A12", "123"};
    QTest::newRow("letter case ignored") << "a1" << prompt << QStringList{"A12"};
    QTest::newRow("no match falls back to every card") << "zz" << notFound << all;
    QTest::newRow("% matches itself") << "%" << prompt << QStringList{"5%1"};
    QTest::newRow("_ matches itself") << "_" << notFound << all;
    QTest::newRow("an apostrophe is a plain character") << "'" << notFound << all;
}

void TstCardWindow::findByNumber()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, grid);

    TestEnv env;
    for (const char* n : {"A12", "123", "99", "5%1"})
        env.insert("numbercard", card(n, "甲"));
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    // A filter in force before: an empty answer keeps it.
    env.messages().answerInput("123");
    press(&w, "cmd_query");
    env.messages().clear();

    clickRow(w.grid(), 0);
    QCOMPARE(textOf(&w, "txt_number"), QString("123"));
    env.messages().answerInput(answer);
    press(&w, "cmd_query");
    QCOMPARE(shownAll(env), messages);
    QCOMPARE(gridColumn(w.grid(), 1), grid);
    QCOMPARE(textOf(&w, "txt_number"), QString()); // cleared before asking

    // The found cards stay until another operation changes the query.
    QVERIFY(nextTick(&w));
    QCOMPARE(gridColumn(w.grid(), 1), grid);
    action(&w, "fresh")->trigger();
    QCOMPARE(gridColumn(w.grid(), 1), QStringList({"A12", "123", "99", "5%1"}));
}

void TstCardWindow::headerSort_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("order");

    // First sorted by number (A, B, C); stored order is B, C, A.
    QTest::newRow("0 opening date") << 0 << QStringList{"C", "A", "B"};
    QTest::newRow("1 number") << 1 << QStringList{"A", "B", "C"};
    // Names in pinyin order: 丙 (bing), 甲 (jia), 乙 (yi).
    QTest::newRow("2 employee") << 2 << QStringList{"B", "C", "A"};
    QTest::newRow("3 holder") << 3 << QStringList{"C", "B", "A"};
    QTest::newRow("4 service") << 4 << QStringList{"A", "B", "C"};
    QTest::newRow("5 amount, as text: 10 before 9") << 5 << QStringList{"C", "A", "B"};
    QTest::newRow("6 uses, as text") << 6 << QStringList{"A", "C", "B"};
    QTest::newRow("7 card type does nothing") << 7 << QStringList{"A", "B", "C"};
    QTest::newRow("8 remark does nothing") << 8 << QStringList{"A", "B", "C"};
}

void TstCardWindow::headerSort()
{
    QFETCH(int, column);
    QFETCH(QStringList, order);

    TestEnv env;
    env.insert("numbercard", {"2026-03-01", "B", "丙", "b", "y", "9", "2", "钻石卡", "z"});
    env.insert("numbercard", {"2026-01-01", "C", "甲", "a", "z", "10", "10", "月卡", "a"});
    env.insert("numbercard", {"2026-02-01", "A", "乙", "c", "x", "100", "1", "季卡", "m"});
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    clickHeader(w.grid(), 1);
    QCOMPARE(gridColumn(w.grid(), 1), QStringList({"A", "B", "C"}));
    clickHeader(w.grid(), column);
    QCOMPARE(gridColumn(w.grid(), 1), order);
    QCOMPARE(env.messages().count(), 0);
}

void TstCardWindow::buttonStatesFollowRows_data()
{
    QTest::addColumn<bool>("elsewhere");
    QTest::newRow("last card deleted here") << false;
    QTest::newRow("table emptied by another window") << true;
}

void TstCardWindow::buttonStatesFollowRows()
{
    QFETCH(bool, elsewhere);

    TestEnv env;
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    auto* del = child<QPushButton>(&w, "cmd_deleted");
    auto* mod = child<QPushButton>(&w, "cmd_modify");
    auto* query = child<QPushButton>(&w, "cmd_query");
    auto* save = child<QPushButton>(&w, "cmd_save");
    auto* exit = child<QPushButton>(&w, "cmd_exit");
    const auto states = [&] {
        return QList<bool>{del->isEnabled(), mod->isEnabled(), query->isEnabled(), save->isEnabled(),
                           exit->isEnabled()};
    };
    QCOMPARE(states(), QList<bool>({false, false, false, true, true}));

    type(child<QWidget>(&w, "txt_number"), "A1");
    type(child<QWidget>(&w, "txt_name"), "王");
    press(&w, "cmd_save");
    QVERIFY(nextTick(&w));
    QCOMPARE(states(), QList<bool>({true, true, true, true, true}));

    if (elsewhere) {
        QVERIFY(env.db().exec("DELETE FROM numbercard").ok);
        emit env.ctx().notifier().tableChanged("numbercard");
    } else {
        clickRow(w.grid(), 0);
        env.messages().answer(QMessageBox::Yes);
        press(&w, "cmd_deleted");
    }
    QVERIFY(nextTick(&w));
    QCOMPARE(states(), QList<bool>({false, false, false, true, true}));
}

void TstCardWindow::clickShowsStoredCard()
{
    TestEnv env;
    env.insert("numbercard", {"2026-11-01", "D1", "李", "王", " 洗车 ", "500", " 5 ", "钻石卡", " r "});
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    clickRow(w.grid(), 0, 3);
    // Only the uses are trimmed.
    QCOMPARE(readFields(&w, kBoxes),
             QStringList({"2026-11-01", "D1", "李", "王", " 洗车 ", "500", "5", "钻石卡", " r "}));

    // Charged meanwhile by another window: the click shows the stored balance.
    QVERIFY(env.db().exec("UPDATE numbercard SET 金额 = ? WHERE 卡号 = ?", {"400", "D1"}).ok);
    clickRow(w.grid(), 0, 1);
    QCOMPARE(textOf(&w, "txt_jine"), QString("400"));

    // Deleted by another window: the fields no longer show it. A click on
    // the empty grid then leaves what is typed.
    QVERIFY(env.db().exec("DELETE FROM numbercard").ok);
    emit env.ctx().notifier().tableChanged("numbercard");
    QCOMPARE(textOf(&w, "txt_number"), QString());
    type(child<QWidget>(&w, "txt_number"), "E5");
    QTest::mouseClick(w.grid()->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(textOf(&w, "txt_number"), QString("E5"));
    QCOMPARE(env.messages().count(), 0);
}

void TstCardWindow::gridLockAndInPlaceEdits()
{
    TestEnv env;
    env.insert("numbercard", card("A", "甲"));
    env.insert("numbercard", card("B", "乙"));
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    RecordView* bg = w.grid();
    QAction* lockBg = action(&w, "lock_bg");
    QAction* editBg = action(&w, "EDIT_BG");

    // The right button pops up the grid menu.
    auto* table3 = child<QMenu>(&w, "table3");
    QCOMPARE(table3->title(), QString("表格"));
    QTest::mouseClick(bg->viewport(), Qt::RightButton, {},
                      bg->visualRect(bg->records()->index(0, 0)).center());
    QTRY_VERIFY(table3->isVisible());
    table3->close();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));

    // Typing into a cell opens its editor; Enter commits it (queued).
    const auto editHolder = [&](int row, const QString& text) { typeInCell(bg, row, 3, text); };

    // Locked: typing into a cell changes nothing, Delete deletes nothing.
    editHolder(0, "X");
    bg->setCurrentIndex(bg->records()->index(1, 3));
    QTest::keyClick(bg, Qt::Key_Delete);
    QCOMPARE(storedColumn(env, "numbercard", 3), QStringList({"甲", "乙"}));
    QCOMPARE(env.messages().count(), 0);

    editBg->trigger();
    QVERIFY(lockBg->isEnabled());
    QVERIFY(!editBg->isEnabled());
    editHolder(0, "Ding");
    QCOMPARE(bg->records()->index(0, 3).data().toString(), QString("Ding"));
    QCOMPARE(storedColumn(env, "numbercard", 3), QStringList({"甲", "乙"})); // not before the row is left
    QTest::keyClick(bg, Qt::Key_Down);
    QCOMPARE(storedColumn(env, "numbercard", 3), QStringList({"Ding", "乙"}));
    QCOMPARE(bg->records()->rowCount(), 2); // no row is added from the grid

    lockBg->trigger();
    QVERIFY(!lockBg->isEnabled());
    QVERIFY(editBg->isEnabled());
    editHolder(1, "Y");
    QTest::keyClick(bg, Qt::Key_Up);
    QCOMPARE(storedColumn(env, "numbercard", 3), QStringList({"Ding", "乙"}));
}

void TstCardWindow::inPlaceNumberEdit_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("stored");

    QTest::newRow("a new number is written") << 1 << "C" << QStringList{} << QStringList{"A", "C"};
    QTest::newRow("another card's number is refused")
        << 1 << "A" << QStringList{stop("此卡号已存在，不能重复！")} << QStringList{"A", "B"};
    QTest::newRow("another card's number in other letter case is refused")
        << 1 << "a" << QStringList{stop("此卡号已存在，不能重复！")} << QStringList{"A", "B"};
    QTest::newRow("the card's own number in other letter case")
        << 0 << "a" << QStringList{} << QStringList{"a", "B"};
}

void TstCardWindow::inPlaceNumberEdit()
{
    QFETCH(int, row);
    QFETCH(QString, typed);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, stored);

    TestEnv env;
    env.insert("numbercard", card("A", "甲"));
    env.insert("numbercard", card("B", "乙"));
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    RecordView* bg = w.grid();
    action(&w, "EDIT_BG")->trigger();
    bg->setFocus();
    QTRY_VERIFY(bg->hasFocus());
    bg->setCurrentIndex(bg->records()->index(row, 1));
    QTest::keyClick(bg, Qt::Key_F2);
    QWidget* editor = QApplication::focusWidget();
    QVERIFY(editor != bg);
    type(editor, typed);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    bg->setCurrentIndex(bg->records()->index(1 - row, 1)); // the row is left
    QCOMPARE(shownAll(env), messages);
    QCOMPARE(storedColumn(env, "numbercard", 1), stored);
}

void TstCardWindow::enterChainSkipsCardType()
{
    TestEnv env;
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    child<QWidget>(&w, "txt_date")->setFocus();
    QTRY_COMPARE(focusName(), QString("txt_date"));
    const QStringList chain = {"txt_number", "com_name",  "txt_name",   "txt_service",
                               "txt_jine",   "txt_times", "txt_remark", "cmd_save"};
    for (const QString& next : chain) {
        const QString at = focusName();
        if (at == "txt_number")
            typeMore(QApplication::focusWidget(), "A1");
        if (at == "txt_name")
            typeMore(QApplication::focusWidget(), "王");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(focusName(), next);
    }
    // Enter gave the save button the focus without pressing it.
    QCOMPARE(env.rows("numbercard").size(), 0);
    QCOMPARE(env.messages().count(), 0);
}

void TstCardWindow::listsRebuiltOnFocus()
{
    TestEnv env;
    env.insert("worker", {"赵", "男", "", "", "", "", "", "", "", "", "1", ""});
    env.insert("worker", {"钱", "女", "", "", "", "", "", "", "", "", "2", ""});
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    auto* names = child<QComboBox>(&w, "com_name");
    auto* types = child<QComboBox>(&w, "com_style");
    const auto items = [](QComboBox* c) {
        QStringList out;
        for (int i = 0; i < c->count(); ++i)
            out << c->itemText(i);
        return out;
    };
    const auto focusOn = [&](QWidget* box) {
        child<QWidget>(&w, "txt_date")->setFocus();
        QTRY_COMPARE(focusName(), QString("txt_date"));
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
    };

    type(names, "孙");
    focusOn(names);
    QCOMPARE(items(names), QStringList({"赵", "钱"}));
    QCOMPARE(names->currentText(), QString("孙"));
    env.insert("worker", {"李", "男", "", "", "", "", "", "", "", "", "3", ""});
    focusOn(names);
    QCOMPARE(items(names), QStringList({"赵", "钱", "李"}));

    type(types, "其它");
    focusOn(types);
    focusOn(types);
    QCOMPARE(items(types), QStringList({"月卡", "季卡", "年卡", "钻石卡"}));
    QCOMPARE(types->currentText(), QString("其它"));

    // No employees: the list and the box are empty.
    QVERIFY(env.db().exec("DELETE FROM worker").ok);
    focusOn(names);
    QCOMPARE(names->count(), 0);
    QCOMPARE(names->currentText(), QString());
}

void TstCardWindow::cardTypeChosenFromList_data()
{
    QTest::addColumn<QString>("before"); // typed before the list is opened
    QTest::addColumn<QString>("chosen");
    QTest::newRow("empty box, last entry") << ""
                                           << "钻石卡";
    QTest::newRow("empty box, second entry") << ""
                                             << "季卡";
    QTest::newRow("typed type replaced") << "其它"
                                         << "年卡";
    QTest::newRow("same entry again") << "月卡"
                                      << "月卡";
}

// The type a person picks from the drop-down is the one stored with the
// card, whatever the box held before.
void TstCardWindow::cardTypeChosenFromList()
{
    QFETCH(QString, before);
    QFETCH(QString, chosen);

    TestEnv env;
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    fillFields(&w, kBoxes, {kToday, "A1", "", "王", "洗车", "500", "3", before, ""});
    auto* types = child<QComboBox>(&w, "com_style");
    QVERIFY(chooseFromList(types, chosen));
    QCOMPARE(types->currentText(), chosen);
    press(&w, "cmd_save");

    QCOMPARE(shownAll(env), QStringList{input("请输入收款金额（元）：", "开卡")});
    const QStringList stored = {kToday, "A1", "", "王", "洗车", "500", "3", chosen, ""};
    QCOMPARE(env.rows("numbercard"), QList<QStringList>{stored});
}

void TstCardWindow::moneyReceived_data()
{
    QTest::addColumn<QString>("stored");    // a card stored before, in the grid's first row
    QTest::addColumn<QStringList>("typed"); // 金额, 次数, 卡类型 typed over the fields
    QTest::addColumn<QString>("answer");    // to the money question, if asked
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("ledger"); // the last ledger row: 类别, 收款金额, 备注

    const QString opening = input("请输入收款金额（元）：", "开卡");
    const QString change = input("请输入收款金额（元）：", "修改");
    const QString done = info("修改成功！");
    // Default: the amount loaded onto a stored-value card.
    QTest::newRow("stored-value card opened, less taken")
        << "" << QStringList{"500", "", "钻石卡"} << "450" << QStringList{opening + "|500"}
        << QStringList{"开卡", "450", ""};
    QTest::newRow("month card opened, its price")
        << "" << QStringList{"", "10", "月卡"} << "300" << QStringList{opening + "|"}
        << QStringList{"开卡", "300", ""};
    QTest::newRow("opened, cancelled: no money, marked")
        << "" << QStringList{"", "10", "月卡"} << "" << QStringList{opening + "|"}
        << QStringList{"开卡", "", "未收款"};
    QTest::newRow("not an amount: nothing opened")
        << "" << QStringList{"", "10", "月卡"} << "3O"
        << QStringList{opening + "|", stop("收款金额必须是不小于零的数字！") + "|"} << QStringList{};
    QTest::newRow("balance raised by 修改")
        << "钻石卡" << QStringList{"800", "0", "钻石卡"} << "300" << QStringList{change + "|300", done + "|"}
        << QStringList{"修改", "300", ""};
    QTest::newRow("uses raised by 修改, cancelled")
        << "月卡" << QStringList{"500", "12", "月卡"} << "" << QStringList{change + "|", done + "|"}
        << QStringList{"修改", "", "未收款"};
    QTest::newRow("balance lowered: nothing asked") << "钻石卡" << QStringList{"400", "0", "钻石卡"} << ""
                                                    << QStringList{done + "|"} << QStringList{"修改", "", ""};
}

// The money received is asked at every opening and at a 修改 that adds to
// the card, and kept in the card's ledger row.
void TstCardWindow::moneyReceived()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, typed);
    QFETCH(QString, answer);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, ledger);

    TestEnv env;
    if (!stored.isEmpty())
        env.insert("numbercard", card("A1", "王", "500", stored == "月卡" ? "3" : "0", stored));
    CardWindow w(env.ctx());
    QVERIFY(showActive(&w));
    const qsizetype ledgerBefore = env.rows("kawu").size();
    if (stored.isEmpty())
        fillFields(&w, kBoxes, {kToday, "A1", "", "王", "洗车", typed.at(0), typed.at(1), typed.at(2), ""});
    else
        clickRow(w.grid(), 0);
    type(child<QWidget>(&w, "txt_jine"), typed.at(0));
    type(child<QWidget>(&w, "txt_times"), typed.at(1));
    env.messages().answerInput(answer);
    press(&w, stored.isEmpty() ? "cmd_save" : "cmd_modify");

    QStringList seen;
    for (const Shown& s : env.messages().shown())
        seen << shown(s) + "|" + s.defaultText;
    QCOMPARE(seen, messages);
    const QList<QStringList> rows = env.rows("kawu");
    if (ledger.isEmpty()) {
        QCOMPARE(rows.size(), ledgerBefore);
        QVERIFY(env.rows("numbercard").isEmpty());
        QCOMPARE(textOf(&w, "txt_number"), QString("A1")); // the fields are kept
    } else {
        QCOMPARE(rows.size(), ledgerBefore + 1);
        QCOMPARE((QStringList{rows.last().at(2), rows.last().at(7), rows.last().at(11)}), ledger);
    }
}

QTEST_MAIN(TstCardWindow)
#include "tst_card_window.moc"
