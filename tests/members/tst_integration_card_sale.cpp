// A card opened in the member card window, charged by a sale in the business
// window, and seen again in both.
#include "support/ui.h"

#include <QCheckBox>
#include <QLabel>

using namespace shop;
using namespace shop::test;

class TstCardSale : public QObject {
    Q_OBJECT
private slots:
    void chargedBalanceShownAndTopUpSeenBySale();
};

void TstCardSale::chargedBalanceShownAndTopUpSeenBySale()
{
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    registerWindows(env.ctx().windows());

    QWidget* cards = env.ctx().windows().open(env.ctx(), "frm_card");
    QVERIFY(cards);
    QVERIFY(showActive(cards));
    type(child<QWidget>(cards, "txt_number"), "D1");
    type(child<QWidget>(cards, "txt_name"), "王");
    type(child<QWidget>(cards, "txt_jine"), "500");
    type(child<QWidget>(cards, "com_style"), "钻石卡");
    press(cards, "cmd_save");
    QCOMPARE(storedColumn(env, "numbercard", 5), QStringList{"500"});

    QWidget* sales = env.ctx().windows().open(env.ctx(), "frmyewu");
    QVERIFY(sales);
    QVERIFY(showActive(sales));
    QTest::mouseClick(child<QCheckBox>(sales, "qita"), Qt::LeftButton);
    QVERIFY(child<QCheckBox>(sales, "qita")->isChecked());
    type(child<QWidget>(sales, "txt_card_number"), "D1");
    type(child<QWidget>(sales, "txt_money"), "100");
    type(child<QWidget>(sales, "txt_service"), "洗车");
    env.messages().answer(QMessageBox::Yes); // the confirmation
    press(sales, "cmd_save");
    QCOMPARE(env.messages().unusedAnswers(), 0);
    QCOMPARE(storedColumn(env, "numbercard", 5), QStringList{"400"});

    // Clicked again in the card window: the charged balance.
    QVERIFY(showActive(cards));
    auto* grid = child<RecordView>(cards, "bg");
    clickRow(grid, 0);
    QCOMPARE(textOf(cards, "txt_number"), QString("D1"));
    QCOMPARE(textOf(cards, "txt_jine"), QString("400"));
    QCOMPARE(gridColumn(grid, 5), QStringList{"400"});

    // Topped up to 800 here; the sale's card lookup shows the new balance.
    type(child<QWidget>(cards, "txt_jine"), "800");
    press(cards, "cmd_modify");
    QCOMPARE(storedColumn(env, "numbercard", 5), QStringList{"800"});
    QVERIFY(showActive(sales));
    QWidget* number = child<QWidget>(sales, "txt_card_number");
    type(number, "D1");
    number->setFocus();
    QTRY_VERIFY(number->hasFocus());
    QTest::keyClick(number, Qt::Key_Return);
    QCOMPARE(child<QLabel>(sales, "bar_panel4")->text(), QString("剩余金额：800"));
    QCOMPARE(env.rows("numbercard").size(), 1);
}

QTEST_MAIN(TstCardSale)
#include "tst_integration_card_sale.moc"
