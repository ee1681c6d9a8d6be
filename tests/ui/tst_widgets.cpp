// Keyboard use of the kit's buttons: Enter on a focused button presses it;
// the Enter that moves the focus onto it along the chain does not.
#include "support/ui.h"
#include "ui/enter_chain.h"
#include "ui/widgets.h"

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
};

QTEST_MAIN(TstWidgets)
#include "tst_widgets.moc"
