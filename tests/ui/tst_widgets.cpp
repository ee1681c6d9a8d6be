// Keyboard use of the kit's buttons: Enter on a focused button presses it;
// the Enter that moves the focus onto it along the chain does not. A date
// box reached by keys or a click takes a typed date in place of its own. A
// check box shows the focus the window opens on, as Tab would show it.
#include "support/ui.h"
#include "ui/enter_chain.h"
#include "ui/widgets.h"
#include "ui/worker_box.h"

#include <QCheckBox>
#include <QSignalSpy>
#include <QVBoxLayout>

using namespace shop;
using namespace shop::test;

class TstWidgets : public QObject {
    Q_OBJECT
private slots:
    void enterPressesFocusedButton_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Return") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
        QTest::newRow("Space") << int(Qt::Key_Space);
    }
    void enterPressesFocusedButton()
    {
        QFETCH(int, key);
        TestEnv env;
        QWidget w;
        QLineEdit* field = lineEdit("txt_remark");
        QPushButton* save = button("cmd_save", "保存(&S)");
        auto* l = new QVBoxLayout(&w);
        l->addWidget(field);
        l->addWidget(save);
        EnterChain chain(env.messages());
        chain.add(field, save);
        int presses = 0;
        connect(save, &QPushButton::clicked, this, [&presses] { ++presses; });
        QVERIFY(showActive(&w));
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(focusName(), QString("cmd_save"));
        QCOMPARE(presses, 0);
        QTest::keyClick(save, Qt::Key(key));
        QCOMPARE(presses, 1);
    }

    void dateBoxReplacesItsText_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("click") << "click";
        QTest::newRow("Tab") << "tab";
        QTest::newRow("Enter in the field before") << "enter";
    }
    void dateBoxReplacesItsText()
    {
        QFETCH(QString, how);
        TestEnv env;
        QWidget w;
        QLineEdit* before = lineEdit("txt_before");
        QLineEdit* date = dateEdit("txt_date");
        auto* l = new QVBoxLayout(&w);
        for (QLineEdit* e : {before, date})
            l->addWidget(e);
        EnterChain chain(env.messages());
        chain.add(before, date);
        date->setText("2026-12-07");
        QVERIFY(showActive(&w));
        if (how == "click") {
            QTest::mouseClick(date, Qt::LeftButton, {}, date->rect().center());
        } else {
            QTest::mouseClick(before, Qt::LeftButton);
            QTest::keyClick(before, how == "enter" ? Qt::Key_Return : Qt::Key_Tab);
        }
        QCOMPARE(focusName(), QString("txt_date"));
        QTest::keyClicks(QApplication::focusWidget(), "2026-12-08");
        QCOMPARE(date->text(), QString("2026-12-08"));
    }

    // The box a window opens on is marked as the one Shift+Tab comes back
    // to; without the focus it shows no mark.
    void checkBoxShowsItsFocus()
    {
        QWidget w;
        QCheckBox* box = checkBox("shangpin", "商品销售");
        auto* l = new QVBoxLayout(&w);
        l->addWidget(box);
        l->addWidget(lineEdit("txt_card_number"));
        QVERIFY(showActive(&w));
        QCOMPARE(focusName(), QString("shangpin"));
        const QImage opened = box->grab().toImage();
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(focusName(), QString("txt_card_number"));
        const QImage left = box->grab().toImage();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(focusName(), QString("shangpin"));
        QCOMPARE(box->grab().toImage(), opened);
        QVERIFY(left != opened);
    }

    // Down in a list box that shows none of its entries picks the first, Up
    // the last, as a choice from the list.
    void arrowsPickFromNone_data()
    {
        QTest::addColumn<bool>("employees"); // the employee box, else a list of the kit's maker
        QTest::addColumn<QString>("typed");  // over what the box showed ("" empties it)
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("picked");
        QTest::newRow("list emptied, Down") << false << "" << int(Qt::Key_Down) << "月卡";
        QTest::newRow("list, a type typed in, Up") << false << "白金卡" << int(Qt::Key_Up) << "钻石卡";
        QTest::newRow("the only employee, emptied, Down") << true << "" << int(Qt::Key_Down) << "张三";
    }
    void arrowsPickFromNone()
    {
        QFETCH(bool, employees);
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QString, picked);
        TestEnv env;
        env.insert("worker", {"张三", "男", "", "", "", "", "", "1500", "", "", "", ""});
        QWidget w;
        QComboBox* box = employees ? new WorkerBox(env.db()) : editableCombo("com_style");
        (new QVBoxLayout(&w))->addWidget(box);
        if (!employees)
            box->addItems({"月卡", "季卡", "年卡", "钻石卡"});
        QVERIFY(showActive(&w));
        if (employees)
            QVERIFY(chooseFromList(box, "张三"));
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Backspace);
        typeMore(box, typed);
        QSignalSpy chosen(box, &QComboBox::textActivated);
        QTest::keyClick(box, Qt::Key(key));
        QCOMPARE(box->currentText(), picked);
        QCOMPARE(chosen.size(), 1);
    }
};

QTEST_MAIN(TstWidgets)
#include "tst_widgets.moc"
