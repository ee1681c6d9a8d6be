// What the kit gives every entry window, one data row per window: the
// main window's tabs leave through their exit button emptied and closed.
#include "support/tab_host.h"

using namespace shop;
using namespace shop::test;

class TstEntryWindows : public QObject {
    Q_OBJECT
private slots:
    // 退出 empties the tab and hides it; opened again, the field typed
    // into before is empty.
    void tabExit_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("exit");
        QTest::newRow("purchase") << "jinhuo"
                                  << "txt_name"
                                  << "cmd_exit";
        QTest::newRow("employees") << "worker"
                                   << "worker_name"
                                   << "cmd_worker_exit";
        QTest::newRow("ledger") << "in_out"
                                << "txt_shou_shixiang"
                                << "cmd_shou_exit";
    }
    void tabExit()
    {
        QFETCH(QString, item);
        QFETCH(QString, field);
        QFETCH(QString, exit);
        TestEnv env;
        TabHost<TabPage> host(env);
        QVERIFY(host.open("DATAMAN", qPrintable(item)));
        TabPage* tab = host.tab();
        type(child<QWidget>(tab, qPrintable(field)), "可乐");
        press(tab, qPrintable(exit));
        QVERIFY(!tab->isVisible());
        QVERIFY(!host.tab());
        QVERIFY(host.chooseFromMenuBar("DATAMAN", qPrintable(item)));
        QCOMPARE(host.tab(), tab);
        QCOMPARE(textOf(tab, qPrintable(field)), QString());
    }
};

QTEST_MAIN(TstEntryWindows)
#include "tst_integration_entry_windows.moc"
