// The business entry window among the others: opened by name from the
// registry, once, and re-reading its grid when another window empties salse;
// a whole sale entered with the keyboard alone, from the main window's menu.
#include "ui/record_view.h"
#include "sales/business_window.h"
#include "support/tab_host.h"
#include "support/test_env.h"

#include <QPushButton>
#include <QTest>

using namespace shop;
using shop::test::TestEnv;

class TstIntegrationSales : public QObject {
    Q_OBJECT
private slots:
    void openedOnceByName();
    void gridFollowsOtherWindows();
    void saleByKeysOnly();
};

void TstIntegrationSales::openedOnceByName()
{
    TestEnv env;
    registerWindows(env.ctx().windows());
    QWidget* first = env.ctx().windows().open(env.ctx(), "frmyewu");
    QVERIFY(qobject_cast<BusinessWindow*>(first));
    QCOMPARE(first->objectName(), QStringLiteral("frmyewu"));
    QCOMPARE(first->windowTitle(), QStringLiteral("业务管理"));
    QCOMPARE(env.ctx().windows().open(env.ctx(), "frmyewu"), first);

    // 退出 closes it; opening it again makes a fresh one.
    first->findChild<QPushButton*>("cmd_exit")->click();
    QTRY_VERIFY(!env.ctx().windows().find("frmyewu"));
    QWidget* again = env.ctx().windows().open(env.ctx(), "frmyewu");
    QVERIFY(qobject_cast<BusinessWindow*>(again));
}

void TstIntegrationSales::gridFollowsOtherWindows()
{
    TestEnv env;
    env.insert("salse", {"2026-12-07", "其它服务", "非会员", "", "", "", "", "", "10", "", "", "", "0"});
    registerWindows(env.ctx().windows());
    auto* w = qobject_cast<BusinessWindow*>(env.ctx().windows().open(env.ctx(), "frmyewu"));
    QVERIFY(w);
    QCOMPARE(w->grid()->model()->rowCount(), 1);
    // What the data deletion window does after emptying the table.
    QVERIFY(env.db().exec("DELETE FROM salse").ok);
    emit env.ctx().notifier().tableChanged("salse");
    QCOMPARE(w->grid()->model()->rowCount(), 0);
    QTRY_VERIFY(!w->findChild<QPushButton*>("cmd_count")->isEnabled());
}

void TstIntegrationSales::saleByKeysOnly()
{
    using namespace shop::test;
    TestEnv env;
    env.insert("jinhuo", {"可乐", "P1", "330ml", "24", "2", "12", "5", "供应商甲", "2026-11-01", ""});
    env.insert("numbercard", {"2026-01-01", "D1", "李四", "赵六", "洗车", "100", "0", "钻石卡", ""});
    for (const char* name : {"王二", "阿三"})
        env.insert("worker", {QString::fromUtf8(name), "男", "", "", "", "", "", "3000", "", "", "", ""});
    // The answers a person gives: Yes to the commission, 10 per cent, Yes
    // to the confirmation.
    env.messages().answer(QMessageBox::Yes);
    env.messages().answerInput("10");
    env.messages().answer(QMessageBox::Yes);
    TabHost<TabPage> host(env);
    QVERIFY(showActive(&host.window()));

    // 管理中心 (Alt+C), its second item 业务管理.
    pressKey(Qt::Key_C, Qt::AltModifier);
    QTRY_VERIFY(QApplication::activePopupWidget());
    pressKey(Qt::Key_Down);
    pressKey(Qt::Key_Return);
    QWidget* w = env.ctx().windows().find("frmyewu");
    QVERIFY(w && QTest::qWaitForWindowActive(w));

    // Both kinds of business, then the card and the goods looked up by Enter.
    QCOMPARE(focusName(), QString("shangpin"));
    pressKey(Qt::Key_Space);
    pressKey(Qt::Key_Tab);
    pressKey(Qt::Key_Space);
    pressKey(Qt::Key_Tab);
    QCOMPARE(focusName(), QString("txt_card_number"));
    for (const char* text : {"D1", "P1", "2", "30"}) {
        typeKeys(QString::fromUtf8(text));
        pressKey(Qt::Key_Return);
    }
    // Enter in 实收金额 asked for the commission.
    QCOMPARE(focusName(), QString("txt_service"));
    typeKeys("洗车");
    pressKey(Qt::Key_Return);
    // The employee from the drop-down: the second name.
    QCOMPARE(focusName(), QString("com_name"));
    pressKey(Qt::Key_Down, Qt::AltModifier);
    QTRY_VERIFY(QApplication::activePopupWidget());
    pressKey(Qt::Key_Down);
    pressKey(Qt::Key_Down);
    pressKey(Qt::Key_Return);
    QTRY_VERIFY(!QApplication::activePopupWidget());
    pressKey(Qt::Key_Tab);
    typeKeys("老顾客");
    pressKey(Qt::Key_Tab);
    QCOMPARE(focusName(), QString("cmd_save"));
    pressKey(Qt::Key_Return);

    QCOMPARE(shownAll(env), QStringList({ask("你想计算本笔业务的提成吗？", "提成计算"),
                                         input("请你输入此服务项目的提成率(按百分率计算)：", "设置提成率"),
                                         ask("请确认你输入的资料是否正确，然后再保存！ ", "保存")}));
    QCOMPARE(env.messages().unusedAnswers(), 0);
    const QStringList sale = {"2026-12-07", "商品销售+其它服务", "D1", "P1",   "可乐", "2",
                              "12元",       "2026-11-01",        "30", "洗车", "阿三", "老顾客",
                              "3"};
    QCOMPARE(env.rows("salse"), QList<QStringList>{sale});
    QCOMPARE(env.rows("numbercard").at(0).at(5), QString("70"));
    QCOMPARE(focusName(), QString("txt_card_number"));
}

QTEST_MAIN(TstIntegrationSales)
#include "tst_integration_sales.moc"
