// The business entry window among the others: opened by name from the
// registry, once, and re-reading its grid when another window empties salse.
#include "ui/record_view.h"
#include "sales/business_window.h"
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

QTEST_MAIN(TstIntegrationSales)
#include "tst_integration_sales.moc"
