// A sale recorded in the business window and the stock seen by the purchase
// tab and the stock query.
#include "ui/record_view.h"
#include "ui/tab_page.h"
#include "support/test_env.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

using namespace shop;
using shop::test::TestEnv;

class TstSaleStock : public QObject {
    Q_OBJECT

private:
    static QStringList column(RecordView* grid, int c)
    {
        QStringList out;
        for (int r = 0; r < grid->records()->rowCount(); ++r)
            out << grid->records()->record(r)->value(c);
        return out;
    }
    static void typeInto(QWidget* window, const QString& name, const QString& text)
    {
        auto* e = window->findChild<QLineEdit*>(name);
        QVERIFY2(e, qPrintable(name));
        e->setFocus();
        for (QChar c : text)
            QTest::sendKeyEvent(QTest::Click, e, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    static void enter(QWidget* window, const QString& name)
    {
        QTest::keyClick(window->findChild<QWidget*>(name), Qt::Key_Return);
    }

    // A goods sale to a customer without a card, confirmed.
    static void sell(TestEnv& env, QWidget* yewu, const QString& code, const QString& quantity)
    {
        yewu->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(yewu));
        typeInto(yewu, "txt_production_code", code);
        enter(yewu, "txt_production_code");
        typeInto(yewu, "txt_quantily", quantity);
        enter(yewu, "txt_quantily");
        env.messages().answer(QMessageBox::Yes);
        QTest::mouseClick(yewu->findChild<QPushButton*>("cmd_save"), Qt::LeftButton);
        QCOMPARE(env.messages().last().text, QString("请确认你输入的资料是否正确，然后再保存！ "));
        QCOMPARE(env.messages().unusedAnswers(), 0);
    }

private slots:
    void saleLowersStock()
    {
        TestEnv env;
        registerWindows(env.ctx().windows());

        // Buy two products in the purchase tab.
        QWidget host;
        auto* layout = new QVBoxLayout(&host);
        QWidget* page = env.ctx().windows().createTab(env.ctx(), "frame_jin", &host);
        QVERIFY(page);
        layout->addWidget(page);
        host.show();
        host.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&host));
        static_cast<TabPage*>(page)->showTab();
        const QStringList cola = {"可乐", "K1", "500ml", "24", "4", "6", "5", "甲", "2026-12-07", ""};
        const QStringList tea = {"绿茶", "T1", "500ml", "24", "3", "5", "0.0", "乙", "2026-12-07", ""};
        for (const QStringList& goods : {cola, tea}) {
            static const QStringList fields = {
                "txt_name",        "txt_code",     "txt_mode",      "txt_box",  "txt_inprice",
                "txt_salse_price", "txt_quantily", "txt_superlier", "txt_date", "txt_remark"};
            for (int i = 0; i < fields.size(); ++i) {
                page->findChild<QLineEdit*>(fields.at(i))->clear();
                typeInto(page, fields.at(i), goods.at(i));
            }
            QTest::mouseClick(page->findChild<QPushButton*>("cmd_add"), Qt::LeftButton);
        }
        auto* jinBg = page->findChild<RecordView*>("jin_bg");
        QCOMPARE(column(jinBg, 6), (QStringList{"5", "0.0"}));

        auto* kucun = env.ctx().windows().open(env.ctx(), "frm_kucun");
        QVERIFY(kucun);
        auto* kucunBg = kucun->findChild<RecordView*>("bg");
        auto item = [kucun](const QString& name) {
            return kucun->findChild<QMenu*>("S_QUERY")->findChild<QAction*>(name);
        };

        // Sell 2 of 5.
        auto* yewu = env.ctx().windows().open(env.ctx(), "frmyewu");
        QVERIFY(yewu);
        QTest::mouseClick(yewu->findChild<QCheckBox*>("shangpin"), Qt::LeftButton);
        QVERIFY(yewu->findChild<QCheckBox*>("shangpin")->isChecked());
        sell(env, yewu, "K1", "2");

        QTest::mouseClick(page->findChild<QPushButton*>("cmd_clear"), Qt::LeftButton);
        QCOMPARE(column(jinBg, 6), (QStringList{"3", "0.0"}));
        item("s_fresh")->trigger();
        QCOMPARE(column(kucunBg, 6), (QStringList{"3", "0.0"}));

        // "0.0" is not an empty stock text: no zero-stock line yet.
        env.messages().clear();
        item("s_quantily")->trigger();
        QCOMPARE(env.messages().texts(), QStringList{"未找到相应的记录！"});

        // Sell the rest: the line is sold out and listed.
        sell(env, yewu, "K1", "3");
        env.messages().clear();
        item("s_quantily")->trigger();
        QCOMPARE(env.messages().count(), 0);
        QCOMPARE(column(kucunBg, 0), QStringList{"可乐"});
        QCOMPARE(column(kucunBg, 6), QStringList{"0"});
        QTest::mouseClick(page->findChild<QPushButton*>("cmd_clear"), Qt::LeftButton);
        QCOMPARE(column(jinBg, 6), (QStringList{"0", "0.0"}));

        // Purchase history keeps the quantities bought.
        const auto history = env.rows("jinhuo_history");
        QCOMPARE(history.size(), 2);
        QCOMPARE(history.at(0), cola);
        QCOMPARE(history.at(1), tea);
    }
};

QTEST_MAIN(TstSaleStock)
#include "tst_integration_sale_stock.moc"
