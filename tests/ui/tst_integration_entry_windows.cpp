// What the kit gives every entry window, one data row per window: the
// main window's tabs leave through their exit button emptied and closed;
// Tab runs through each window in reading order and leaves its grid.
#include "data/schema.h"
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

    // Tab from the control a window opens on visits its controls in reading
    // order, the grid last, and leaves the grid (a window's own Tab comes
    // round to its first control again, a tab's goes on in the main window);
    // Shift+Tab walks the same way back. `window` is the window's name, or
    // the menu item that opens a tab.
    void tabOrder_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("tables");
        QTest::addColumn<QString>("names");
        // Disabled buttons are passed over.
        QTest::newRow("business")
            << "frmyewu"
            << "salse"
            << "shangpin qita txt_card_number txt_production_code txt_quantily txt_money txt_service "
               "com_name txt_remark cmd_save cmd_del cmd_void cmd_query cmd_count cmd_exit bg shangpin";
        QTest::newRow("purchase")
            << "jinhuo"
            << "jinhuo"
            << "txt_name txt_code txt_mode txt_box txt_inprice txt_salse_price txt_quantily "
               "txt_superlier txt_date txt_remark cmd_del cmd_query cmd_clear cmd_exit jin_bg TreeView1";
        QTest::newRow("cards")
            << "frm_card"
            << "numbercard"
            << "txt_date txt_number com_name txt_name txt_service txt_jine txt_times com_style "
               "txt_remark cmd_save cmd_deleted cmd_modify cmd_query cmd_topup cmd_exit bg txt_date";
        QTest::newRow("customers")
            << "frmguke"
            << "guke"
            << "txt_guke_num txt_guke_name txt_guke_sex txt_guke_bron txt_guke_tel txt_guke_creat "
               "txt_guke_address txt_guke_person cmd_guke_save cmd_guke_del cmd_guke_mod cmd_guke_query "
               "cmd_guke_exit bg txt_guke_num";
        QTest::newRow("employees")
            << "worker"
            << "worker"
            << "worker_name worker_sex worker_bron worker_xueli worker_hukou worker_hunyin worker_jiwei "
               "worker_salary worker_tel worker_indate worker_id worker_address cmd_worker_del "
               "cmd_worker_modi cmd_worker_query cmd_worker_exit worker_bg TreeView1";
        QTest::newRow("salaries")
            << "frmgz"
            << "salary salse"
            << "com_name txt_ti_je txt_quanqin txt_gl txt_jiangjin txt_chidao txt_zaotui txt_fakuan "
               "cmd_del cmd_prn cmd_preview cmd_exit txt_from txt_to cmd_ok txt_item cmd_select bg salse_bg "
               "com_name";
        QTest::newRow("ledger")
            << "in_out"
            << "shouzhi"
            << "txt_shou_date txt_shou_shixiang txt_shou_zhicu txt_shou_qita txt_shou_remark txt_from "
               "txt_to cmd_shou_save cmd_shou_del cmd_shou_modi cmd_shou_count cmd_shou_exit shou_bg "
               "TreeView1";
        // Of the two kinds, Tab visits the chosen one.
        QTest::newRow("add user") << "frmadduser"
                                  << ""
                                  << "user_txt pass_txt modi cmcancel user_txt";
        // Opens on the list of accounts.
        QTest::newRow("delete user") << "frmdeleuser"
                                     << ""
                                     << "bg cmrefresh cmquit bg";
        QTest::newRow("change password") << "frmchange"
                                         << ""
                                         << "txt_old txt_new cmquit txt_old";
    }
    void tabOrder()
    {
        QFETCH(QString, window);
        QFETCH(QString, tables);
        QFETCH(QString, names);
        const QStringList order = names.split(' ');
        TestEnv env;
        // A stored row in each grid: Tab must leave a grid with cells too.
        for (const QString& t : tables.split(' ', Qt::SkipEmptyParts))
            env.insert(t, QStringList(schema::columnsOf(t).size(), "1"));
        TabHost<TabPage> host(env);
        if (window.startsWith("frm")) {
            QWidget* w = env.ctx().windows().open(env.ctx(), window);
            QVERIFY(w && QTest::qWaitForWindowActive(w));
        } else {
            QVERIFY(host.open("DATAMAN", qPrintable(window)));
        }
        QStringList forth{focusName()};
        for (int i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            forth << focusName();
        }
        QStringList back{focusName()};
        for (int i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
            back.prepend(focusName());
        }
        QCOMPARE(forth, order);
        QCOMPARE(back, order);
    }
};

QTEST_MAIN(TstEntryWindows)
#include "tst_integration_entry_windows.moc"
