// A sale recorded in the business window and the stock seen by the purchase
// tab and the stock query.
#include "stock/purchase_tab.h"
#include "support/tab_host.h"

#include <QCheckBox>

using namespace shop;
using namespace shop::test;

namespace {

const char* const kGoods[] = {"txt_name",        "txt_code",     "txt_mode",      "txt_box",  "txt_inprice",
                              "txt_salse_price", "txt_quantily", "txt_superlier", "txt_date", "txt_remark"};

} // namespace

class TstSaleStock : public QObject {
    Q_OBJECT

private:
    // A goods sale to a customer without a card, confirmed.
    static void sell(TestEnv& env, QWidget* yewu, const QString& code, const QString& quantity)
    {
        yewu->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(yewu));
        typeInto(yewu, "txt_production_code", code);
        pressEnter(yewu, "txt_production_code");
        typeInto(yewu, "txt_quantily", quantity);
        pressEnter(yewu, "txt_quantily");
        env.messages().answer(QMessageBox::Yes);
        press(yewu, "cmd_save");
        QCOMPARE(env.messages().last().text, QString("请确认你输入的资料是否正确，然后再保存！ "));
        QCOMPARE(env.messages().unusedAnswers(), 0);
    }

private slots:
    void saleLowersStock()
    {
        TestEnv env;

        // Buy two products in the purchase tab.
        TabHost<PurchaseTab> host(env);
        QVERIFY(host.open("DATAMAN", "jinhuo"));
        PurchaseTab* page = host.tab();
        QVERIFY(page);
        const QStringList cola = {"可乐", "K1", "500ml", "24", "4", "6", "5", "甲", "2026-12-07", ""};
        const QStringList tea = {"绿茶", "T1", "500ml", "24", "3", "5", "0.0", "乙", "2026-12-07", ""};
        for (const QStringList& goods : {cola, tea}) {
            fillFields(page, kGoods, goods);
            press(page, "cmd_add");
        }
        auto* jinBg = child<RecordView>(page, "jin_bg");
        QCOMPARE(gridColumn(jinBg, 6), (QStringList{"5", "0.0"}));

        const Opened kucun = openRegistered(env, "frm_kucun");
        QVERIFY(kucun.widget);
        auto* kucunBg = child<RecordView>(kucun.widget, "bg");
        auto item = [&kucun](const char* name) {
            return action(child<QMenu>(kucun.widget, "S_QUERY"), name);
        };

        // Sell 2 of 5.
        const Opened opened = openRegistered(env, "frmyewu");
        QWidget* yewu = opened.widget;
        QVERIFY(yewu);
        QTest::mouseClick(child<QCheckBox>(yewu, "shangpin"), Qt::LeftButton);
        QVERIFY(child<QCheckBox>(yewu, "shangpin")->isChecked());
        sell(env, yewu, "K1", "2");

        press(page, "cmd_clear");
        QCOMPARE(gridColumn(jinBg, 6), (QStringList{"3", "0.0"}));
        item("s_fresh")->trigger();
        QCOMPARE(gridColumn(kucunBg, 6), (QStringList{"3", "0.0"}));

        // "0.0" is not an empty stock text: no zero-stock line yet.
        env.messages().clear();
        item("s_quantily")->trigger();
        QCOMPARE(env.messages().texts(), QStringList{"未找到相应的记录！"});

        // Sell the rest: the line is sold out and listed.
        sell(env, yewu, "K1", "3");
        env.messages().clear();
        item("s_quantily")->trigger();
        QCOMPARE(env.messages().count(), 0);
        QCOMPARE(gridColumn(kucunBg, 0), QStringList{"可乐"});
        QCOMPARE(gridColumn(kucunBg, 6), QStringList{"0"});
        press(page, "cmd_clear");
        QCOMPARE(gridColumn(jinBg, 6), (QStringList{"0", "0.0"}));

        // Purchase history keeps the quantities bought.
        const auto history = env.rows("jinhuo_history");
        QCOMPARE(history.size(), 2);
        QCOMPARE(history.at(0), cola);
        QCOMPARE(history.at(1), tea);
    }
};

QTEST_MAIN(TstSaleStock)
#include "tst_integration_sale_stock.moc"
