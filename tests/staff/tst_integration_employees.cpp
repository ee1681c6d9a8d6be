// The employee tab inside the main window: opened from the tree, its grid
// opening the main window's menu "表格", and a saved employee offered by the
// business entry window's employee list.
#include "shell/journal.h"
#include "shell/main_window.h"
#include "support/ui.h"
#include "ui/record_view.h"
#include "ui/window_registry.h"

#include <QComboBox>
#include <QMenu>
#include <QTreeWidget>

using namespace shop;
using namespace shop::test;

class TstIntegrationEmployees : public QObject {
    Q_OBJECT
private slots:
    void savedEmployeeIsOfferedElsewhere()
    {
        TestEnv env;
        registerWindows(env.ctx().windows());
        env.ctx().setLogin("ZED", "M");
        LoginJournal journal(env.ctx());
        MainWindow w(env.ctx(), journal);
        QVERIFY(showActive(&w));
        w.dispatchNode("员工管理");
        QWidget* frame = child<QWidget>(&w, "Frame_worker");
        QVERIFY(frame->isVisible());
        QCOMPARE(focusName(), QString("worker_name"));

        const char* boxes[] = {"worker_name", "worker_id"};
        const QStringList typed = {"张三", "110"};
        for (int i = 0; i < 2; ++i)
            type(child<QWidget>(frame, boxes[i]), typed.at(i));
        press(frame, "cmd_worker_save");
        QCOMPARE(env.messages().count(), 0);
        QCOMPARE(env.rows("worker").size(), 1);

        // The grid's right button opens the main window's menu, locked.
        auto* grid = child<RecordView>(frame, "worker_bg");
        auto* table1 = child<QMenu>(&w, "table1");
        QCOMPARE(grid->popupMenu(), table1);
        QVERIFY(!action(&w, "lock_txt")->isEnabled());
        QTest::mousePress(grid->viewport(), Qt::RightButton, {}, QPoint(5, 5));
        QTRY_VERIFY(table1->isVisible());
        table1->hide();

        QWidget* business = env.ctx().windows().open(env.ctx(), "frmyewu");
        QVERIFY(business);
        QVERIFY(showActive(business));
        auto* names = child<QComboBox>(business, "com_name");
        QVERIFY(chooseFromList(names, "张三"));
        QCOMPARE(names->currentText(), QString("张三"));
        env.ctx().windows().closeAll();
    }
};

QTEST_MAIN(TstIntegrationEmployees)
#include "tst_integration_employees.moc"
