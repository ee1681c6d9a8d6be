// Main window: tree, menus, status bar, timers, tab frames, rights, leaving.
#include "shell/backup.h"
#include "shell/journal.h"
#include "shell/main_window.h"
#include "ui/tab_page.h"
#include "data/database.h"
#include "support/ui.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace shop;
using namespace shop::test;

namespace {
const QStringList kWindows = {"frmyewu",    "frm_salse", "frm_kucun",  "frm_history", "frm_card",
                              "frmguke",    "frmgz",     "frmadduser", "frmdeleuser", "frmchange",
                              "frmdeleted", "frmsetup",  "frmabout",   "frm_import",  "frm_yuyue"};

// A tab that counts what the main window asks of it.
class FakeTab : public TabPage {
public:
    using TabPage::TabPage;
    void showTab() override { ++shown; }
    void updateStates() override { ++updates; }
    int shown = 0;
    int updates = 0;
};

// Every separate window is a plain widget named after it, so a test sees
// which one a tree node or menu item opened.
void registerFakes(TestEnv& env)
{
    for (const QString& name : kWindows)
        env.ctx().windows().add(name, [name](AppContext&) {
            auto* w = new QWidget;
            w->setObjectName(name);
            return w;
        });
}

QStringList openWindows(TestEnv& env)
{
    QStringList out;
    for (const QString& name : kWindows)
        if (env.ctx().windows().find(name))
            out << name;
    return out;
}

// "jin", "worker", "shouzhi" or "none": the tab a person sees.
QString tabShowing(MainWindow& w)
{
    auto* jin = child<QGroupBox>(&w, "frame_jin");
    auto* worker = child<QGroupBox>(&w, "Frame_worker");
    auto* shouzhi = child<QGroupBox>(&w, "frame_shouzhi");
    if (jin->isHidden())
        return "none";
    if (worker->isHidden())
        return "jin";
    return shouzhi->isHidden() ? "worker" : "shouzhi";
}

QString menuLayout(QMenu* m)
{
    QStringList out;
    for (QAction* a : m->actions()) {
        if (a->isSeparator())
            out << "-" + a->objectName();
        else if (a->menu())
            out << a->objectName() + ":" + a->text() + "[" + menuLayout(a->menu()) + "]";
        else
            out << a->objectName() + ":" + a->text();
    }
    return out.join(", ");
}

const QStringList kRightsItems = {
    "jinhuo",      "salse",    "in_out",       "worker",      "huiyuan",       "guke",
    "member_car",  "exit_sys", "swich_user",   "in_history",  "salse_history", "balance",
    "day_closing", "salary",   "deldata",      "bakdata",     "restoredata",   "adduser",
    "Deleuser",    "chpass",   "sysetup",      "dbsetup",     "ABOUT",         "card_history",
    "importdata",  "yuyue",    "stock_ledger", "stocktaking", "margins"};

// The menu items that are disabled, in a fixed order.
QStringList disabledItems(MainWindow& w)
{
    QStringList out;
    for (const QString& name : kRightsItems)
        if (!w.item(name)->isEnabled())
            out << name;
    return out;
}
} // namespace

class TstMainWindow : public QObject {
    Q_OBJECT
private slots:
    void layoutAtLoad();
    void timersKeepStatusCurrent();
    void logoSetsLabelAtLoad();
    void tabFrames_data();
    void tabFrames();
    void registeredTabs();
    void purchaseTabAddStartsDisabled();
    void treeDispatch_data();
    void treeDispatch();
    void menuRightsAfterUsers_data();
    void menuRightsAfterUsers();
    void menuItemsOpenWithoutCheck();
    void switchOfUserKeepsTabAndWindows();
    void closeBoxWritesLogout();
    void missingWindowIsToldNotBroken();
    void backupFromTree();
    void backupFailures();
};

void TstMainWindow::layoutAtLoad()
{
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    LoginJournal journal(env.ctx());
    MainWindow w(env.ctx(), journal);

    QCOMPARE(w.objectName(), QString("frmmain"));
    QCOMPARE(w.windowTitle(), QString("zedware管理系统 Ver:1.0.21"));

    auto* tree = child<QTreeWidget>(&w, "TreeView1");
    QVERIFY(tree);
    QStringList nodes;
    QTreeWidgetItemIterator it(tree);
    for (; *it; ++it) {
        QTreeWidgetItem* i = *it;
        nodes << (i->parent() ? i->parent()->data(0, Qt::UserRole).toString() : QString()) + ">" +
                     i->data(0, Qt::UserRole).toString() + ":" + i->text(0);
        QVERIFY2(!i->isExpanded(), qPrintable(i->text(0)));
    }
    QCOMPARE(nodes, (QStringList{">scan:管理中心",
                                 "scan>contract:进货管理",
                                 "scan>scale1:业务管理",
                                 "scan>scale2:收支管理",
                                 "scan>scale8:预约管理",
                                 "scan>scale3:员工管理",
                                 "scan>scale4:顾客管理",
                                 "scale4>scale5:顾客信息",
                                 "scale4>scale6:开卡服务",
                                 "scale4>scale7:卡务记录",
                                 ">switch:切换用户",
                                 ">query:数据查询",
                                 "query>con_data:进货记录",
                                 "query>order_data:销售记录",
                                 "query>order_out:库存查询",
                                 "query>order_salary:员工工资",
                                 "query>order_day:日结",
                                 "query>order_flow:库存流水",
                                 "query>order_count:盘点",
                                 "query>order_margin:毛利",
                                 ">sys:系统维护",
                                 "sys>Del:数据删除",
                                 "sys>backup:数据备份",
                                 "sys>Adduser:增加用户",
                                 "sys>deleteduser:删除用户",
                                 "sys>change:更改密码",
                                 "sys>setup:系统设置",
                                 "sys>import:导入",
                                 ">Exit:退出系统"}));
    QCOMPARE(tree->topLevelItemCount(), 5);

    QStringList bar;
    for (QAction* a : w.menuBar()->actions())
        bar << a->objectName() + ":" + a->text() + (a->isVisible() ? "" : "(hidden)");
    QCOMPARE(bar, (QStringList{"DATAMAN:管理中心(&C)", "swich_user:切换用户(&S)", "query_data:数据查询(&Q)",
                               "system:系统维护(&M)", "HLP:帮助(&H)", "table1:表格(hidden)",
                               "TABLE2:表格2(hidden)"}));
    QCOMPARE(menuLayout(child<QMenu>(&w, "DATAMAN")),
             QString("jinhuo:进货管理, salse:业务管理, in_out:收支管理, yuyue:预约管理, -line002, "
                     "worker:员工管理, -line004, "
                     "huiyuan:顾客管理[guke:顾客信息, member_car:开卡服务, card_history:卡务记录], -line006, "
                     "exit_sys:退出系统"));
    QCOMPARE(
        menuLayout(child<QMenu>(&w, "query_data")),
        QString("in_history:进货记录, salse_history:销售记录, balance:库存查询, -line007, salary:员工工资, "
                "-line008, day_closing:日结, stock_ledger:库存流水, stocktaking:盘点, margins:毛利"));
    QCOMPARE(menuLayout(child<QMenu>(&w, "system")),
             QString("deldata:删除数据(&D), bakdata:备份数据(&B), -li1, adduser:增加用户(&A), "
                     "Deleuser:删除用户(&U), -li0, chpass:更改密码(&C), -li01, sysetup:系统设置(&S), "
                     "-li02, restoredata:数据恢复(&R), dbsetup:数据库设置(&P), -li03, importdata:导入(&I)"));
    QCOMPARE(menuLayout(child<QMenu>(&w, "HLP")), QString("ABOUT:关于系统"));
    QCOMPARE(menuLayout(w.contextMenu("table1")),
             QString("lock_txt:锁定, -line009, edit_txt:编辑, -line00110, d_fresh:刷新"));
    QCOMPARE(menuLayout(w.contextMenu("TABLE2")),
             QString("bg_lock:锁定表格, -line0010, bg_unlock:编辑表格, -line0011, bg_fresh:刷新表格"));
    QVERIFY(!w.item("lock_txt")->isEnabled());
    QVERIFY(w.item("edit_txt")->isEnabled());

    QCOMPARE(w.statusBar()->objectName(), QString("bar"));
    for (int i = 1; i <= 5; ++i)
        QVERIFY(w.panel(i));
    QVERIFY(!w.panel(1)->text().isEmpty());

    const QStringList timers = {"Timer1", "Timer2", "Timer3"};
    for (const QString& name : timers) {
        auto* t = w.findChild<QTimer*>(name);
        QVERIFY(t);
        QCOMPARE(t->interval(), 100);
        QVERIFY(t->isActive());
    }
    QCOMPARE(tabShowing(w), QString("none"));
    // Without a logo file the user label waits for the first tick.
    QVERIFY(child<QLabel>(&w, "Label1")->text().isEmpty());
}

void TstMainWindow::timersKeepStatusCurrent()
{
    TestEnv env;
    env.ctx().setLogin("LI", "M");
    LoginJournal journal(env.ctx());
    MainWindow w(env.ctx(), journal);
    w.show();
    QTRY_COMPARE(w.panel(2)->text(), QString("使用单位：ZEDWARE CO.,LTD"));
    QCOMPARE(w.panel(5)->text(), QString("2026-12-07 10:00:00"));
    QCOMPARE(child<QLabel>(&w, "lab_date")->text(), QString("2026-12-07"));
    QCOMPARE(child<QLabel>(&w, "Label1")->text(), QString("当前用户: LI"));

    // The setting is read afresh every tick; the caption keeps its load value.
    env.ctx().settings().setValue("settings/CompanyName", "ACME");
    env.clock().set(QDateTime(QDate(2026, 12, 8), QTime(0, 0, 1)));
    QTRY_COMPARE(w.panel(2)->text(), QString("使用单位：ACME"));
    QCOMPARE(w.panel(5)->text(), QString("2026-12-08 00:00:01"));
    QCOMPARE(child<QLabel>(&w, "lab_date")->text(), QString("2026-12-08"));
    QCOMPARE(w.windowTitle(), QString("zedware管理系统 Ver:1.0.21"));

    // A stored empty name is not absent: no default.
    env.ctx().settings().setValue("settings/CompanyName", "");
    QTRY_COMPARE(w.panel(2)->text(), QString("使用单位："));
}

void TstMainWindow::logoSetsLabelAtLoad()
{
    TestEnv env;
    QVERIFY(QDir(env.dir()).mkpath("bmp"));
    QImage logo(120, 40, QImage::Format_RGB32);
    logo.fill(Qt::darkBlue);
    QVERIFY(logo.save(env.ctx().paths().picture("logo.bmp"), "BMP"));
    env.ctx().setLogin("WANG", "R");
    LoginJournal journal(env.ctx());
    MainWindow w(env.ctx(), journal);
    QVERIFY(!child<QLabel>(&w, "logobmp")->pixmap().isNull());
    QCOMPARE(child<QLabel>(&w, "Label1")->text(), QString("受限制用户: WANG"));
}

void TstMainWindow::tabFrames_data()
{
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QString>("showing");

    QTest::newRow("purchase by tree") << QStringList{"node:进货管理"} << "jin";
    QTest::newRow("purchase by menu") << QStringList{"item:jinhuo"} << "jin";
    QTest::newRow("employees by tree") << QStringList{"node:员工管理"} << "worker";
    QTest::newRow("employees by menu") << QStringList{"item:worker"} << "worker";
    QTest::newRow("ledger by tree") << QStringList{"node:收支管理"} << "shouzhi";
    QTest::newRow("ledger by menu") << QStringList{"item:in_out"} << "shouzhi";
    QTest::newRow("ledger then purchase") << QStringList{"item:in_out", "item:jinhuo"} << "jin";
    QTest::newRow("purchase then employees") << QStringList{"item:jinhuo", "node:员工管理"} << "worker";
    QTest::newRow("close button hides every tab") << QStringList{"item:in_out", "close"} << "none";
    QTest::newRow("shown again after closing")
        << QStringList{"item:worker", "close", "item:worker"} << "worker";
}

void TstMainWindow::tabFrames()
{
    QFETCH(QStringList, actions);
    QFETCH(QString, showing);

    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    LoginJournal journal(env.ctx());
    MainWindow w(env.ctx(), journal);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (const QString& a : actions) {
        if (a.startsWith("node:")) {
            w.dispatchNode(a.mid(5));
        } else if (a.startsWith("item:")) {
            w.item(a.mid(5))->trigger();
        } else {
            // The close button of the visible tab.
            QPushButton* close = nullptr;
            for (auto* b : w.findChildren<QPushButton*>("placeholder_close"))
                if (b->isVisible())
                    close = b;
            QVERIFY(close);
            QTest::mouseClick(close, Qt::LeftButton);
        }
    }
    QCOMPARE(tabShowing(w), showing);
    QCOMPARE(env.messages().count(), 0);
    // Each frame shows its caption; exactly one placeholder is on screen.
    QCOMPARE(child<QGroupBox>(&w, "frame_jin")->title(), QString("进货管理"));
    QCOMPARE(child<QGroupBox>(&w, "Frame_worker")->title(), QString("员工管理"));
    QCOMPARE(child<QGroupBox>(&w, "frame_shouzhi")->title(), QString("收支管理"));
    int visible = 0;
    for (auto* b : w.findChildren<QPushButton*>("placeholder_close"))
        visible += b->isVisible() ? 1 : 0;
    QCOMPARE(visible, showing == "none" ? 0 : 1);
    if (actions.contains("item:in_out") && showing == "shouzhi")
        QVERIFY(!w.item("bg_lock")->isEnabled());
}

void TstMainWindow::registeredTabs()
{
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    QList<FakeTab*> tabs;
    for (const char* name : {"frame_jin", "Frame_worker", "frame_shouzhi"})
        env.ctx().windows().addTab(name, [&tabs](AppContext&, QWidget* parent) {
            auto* t = new FakeTab(parent);
            tabs << t;
            return t;
        });
    LoginJournal journal(env.ctx());
    MainWindow w(env.ctx(), journal);
    QCOMPARE(tabs.size(), 3);
    // The employee and ledger tabs get the hidden menu for their grids.
    QCOMPARE(tabs[0]->contextMenu(), nullptr);
    QCOMPARE(tabs[1]->contextMenu(), w.contextMenu("table1"));
    QCOMPARE(tabs[2]->contextMenu(), w.contextMenu("TABLE2"));

    w.show();
    w.item("in_out")->trigger();
    QCOMPARE(tabs[2]->shown, 1);
    QCOMPARE(tabs[0]->shown + tabs[1]->shown, 0);
    w.dispatchNode("员工管理");
    QCOMPARE(tabs[1]->shown, 1);
    // Every timer keeps its own tab's states.
    QTRY_VERIFY(tabs[0]->updates > 0 && tabs[1]->updates > 0 && tabs[2]->updates > 0);
    emit tabs[1]->closeRequested();
    QCOMPARE(tabShowing(w), QString("none"));
}

void TstMainWindow::purchaseTabAddStartsDisabled()
{
    TestEnv env;
    registerWindows(env.ctx().windows());
    env.ctx().setLogin("ZED", "M");
    LoginJournal journal(env.ctx());
    MainWindow w(env.ctx(), journal);
    w.show();
    w.item("jinhuo")->trigger();
    QCOMPARE(tabShowing(w), QString("jin"));
    // Nothing typed yet: the real tab keeps its add button disabled.
    QVERIFY(!child<QPushButton>(child<QGroupBox>(&w, "frame_jin"), "cmd_add")->isEnabled());
}

void TstMainWindow::treeDispatch_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("refusal"); // "", "kind" or "supervisor"
    QTest::addColumn<QString>("effect");  // window name, "tab:x", "backup", "switch", "leave" or ""
    QTest::addColumn<int>("key");         // 0: a click; else the key pressed on the selected node

    const struct {
        const char* node;
        const char* effect;
        int guard; // 0 none, 1 kind M, 2 supervisor
    } nodes[] = {
        {"进货管理", "tab:jin", 2},
        {"业务管理", "frmyewu", 1},
        {"收支管理", "tab:shouzhi", 2},
        {"员工管理", "tab:worker", 2},
        {"顾客信息", "frmguke", 2},
        {"开卡服务", "frm_card", 2},
        {"切换用户", "switch", 0},
        {"进货记录", "frm_history", 2},
        {"销售记录", "frm_salse", 1},
        {"库存查询", "frm_kucun", 2},
        {"员工工资", "frmgz", 2},
        {"数据删除", "frmdeleted", 2},
        {"数据备份", "backup", 1},
        {"增加用户", "frmadduser", 2},
        {"删除用户", "frmdeleuser", 2},
        {"更改密码", "frmchange", 0},
        {"系统设置", "frmsetup", 1},
        {"导入", "frm_import", 2},
        {"预约管理", "frm_yuyue", 1},
        {"退出系统", "leave", 0},
        {"管理中心", "", 0},
        {"顾客管理", "", 0},
        {"数据查询", "", 0},
        {"系统维护", "", 0},
    };
    const struct {
        const char* label;
        const char* user;
        const char* kind;
        int level; // 0 restricted, 1 ordinary, 2 supervisor
    } users[] = {
        {"supervisor", "ZED", "M", 2},
        {"ordinary", "LI", "M", 1},
        {"restricted", "WANG", "R", 0},
        {"ZED of kind R", "ZED", "R", 0},
        {"lower-case kind m", "administrator", "m", 2},
    };
    for (const auto& u : users)
        for (const auto& n : nodes) {
            QString refusal;
            if (n.guard >= 1 && u.level == 0)
                refusal = "kind";
            else if (n.guard == 2 && u.level == 1)
                refusal = "supervisor";
            QTest::addRow("%s %s", u.label, n.node)
                << u.user << u.kind << n.node << refusal << (refusal.isEmpty() ? n.effect : "") << 0;
        }
    // The keyboard opens a selected node as the click does.
    for (const auto& n : nodes) {
        QTest::addRow("Enter on %s", n.node) << "ZED"
                                             << "M" << n.node << "" << n.effect << int(Qt::Key_Return);
        QTest::addRow("Space on %s", n.node) << "ZED"
                                             << "M" << n.node << "" << n.effect << int(Qt::Key_Space);
    }
}

void TstMainWindow::treeDispatch()
{
    QFETCH(QString, user);
    QFETCH(QString, kind);
    QFETCH(QString, node);
    QFETCH(QString, refusal);
    QFETCH(QString, effect);
    QFETCH(int, key);

    TestEnv env;
    registerFakes(env);
    env.ctx().setLogin(user, kind);
    LoginJournal journal(env.ctx());
    MainWindow w(env.ctx(), journal);
    QSignalSpy switches(&w, &MainWindow::switchUserRequested);
    w.show();

    // A click on the node's text, as a person makes it, or the node
    // selected with the arrow keys and a key pressed.
    auto* tree = child<QTreeWidget>(&w, "TreeView1");
    tree->expandAll();
    const auto found = tree->findItems(node, Qt::MatchExactly | Qt::MatchRecursive);
    QCOMPARE(found.size(), 1);
    tree->scrollToItem(found.first());
    if (key == 0) {
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(found.first()).center());
    } else {
        tree->setFocus();
        tree->setCurrentItem(tree->topLevelItem(0));
        while (tree->currentItem() != found.first()) {
            QTreeWidgetItem* before = tree->currentItem();
            QTest::keyClick(tree, Qt::Key_Down);
            QVERIFY(tree->currentItem() != before);
        }
        QVERIFY(env.messages().texts().isEmpty()); // moving opens nothing
        QTest::keyClick(tree, Qt::Key(key));
    }

    QStringList texts = env.messages().texts();
    if (refusal == "kind") {
        QCOMPARE(texts, QStringList{"你未授权使用本功能，请与系统管理员联系！"});
    } else if (refusal == "supervisor") {
        QCOMPARE(texts, QStringList{"此功能只授权系统管理员操作！"});
    }
    if (!refusal.isEmpty()) {
        QCOMPARE(env.messages().last().icon, QMessageBox::Critical);
        QCOMPARE(env.messages().last().caption, QString("错误"));
        QCOMPARE(env.messages().last().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    const QStringList opened = openWindows(env);
    if (effect.startsWith("frm")) {
        QCOMPARE(opened, QStringList{effect});
        QVERIFY(texts.isEmpty());
    } else {
        QVERIFY(opened.isEmpty());
    }
    QCOMPARE(tabShowing(w), effect.startsWith("tab:") ? effect.mid(4) : QString("none"));
    QCOMPARE(switches.count(), effect == "switch" ? 1 : 0);
    QCOMPARE(QDir(env.ctx().paths().backupDir()).exists(), effect == "backup");
    if (effect == "backup")
        QVERIFY(texts.last().startsWith("数据已备份到："));
    if (effect == "leave")
        QCOMPARE(texts, QStringList{" 你真的想退出本系统吗？ "});
    if (effect.isEmpty())
        QVERIFY(texts.isEmpty() || !refusal.isEmpty());
    QVERIFY(!env.quitCalled());
}

void TstMainWindow::menuRightsAfterUsers_data()
{
    QTest::addColumn<QStringList>("logins"); // user/kind, in turn
    QTest::addColumn<QStringList>("disabled");
    QTest::addColumn<QString>("label");

    const QStringList restricted = {
        "deldata",     "bakdata", "restoredata", "adduser", "Deleuser",     "sysetup",     "in_history",
        "balance",     "salary",  "jinhuo",      "salse",   "in_out",       "worker",      "huiyuan",
        "day_closing", "dbsetup", "importdata",  "yuyue",   "stock_ledger", "stocktaking", "margins"};
    auto order = [](QStringList items) {
        QStringList out;
        for (const QString& i : kRightsItems)
            if (items.contains(i))
                out << i;
        return out;
    };
    const QStringList ordinary =
        order({"jinhuo", "in_out", "worker", "huiyuan", "in_history", "balance", "salary", "deldata",
               "restoredata", "adduser", "Deleuser", "day_closing", "dbsetup", "importdata", "stock_ledger",
               "stocktaking", "margins"});

    QTest::newRow("supervisor") << QStringList{"ZED/M"} << QStringList{} << "当前用户: 系统管理员";
    QTest::newRow("ordinary") << QStringList{"LI/M"} << ordinary << "当前用户: LI";
    QTest::newRow("restricted") << QStringList{"WANG/R"} << order(restricted) << "受限制用户: WANG";
    QTest::newRow("ZED of kind R") << QStringList{"ZED/R"} << order(restricted) << "当前用户: 系统管理员";
    QTest::newRow("lower-case zed, kind m")
        << QStringList{"zed/m"} << QStringList{} << "当前用户: 系统管理员";
    QTest::newRow("empty kind is restricted") << QStringList{"LI/"} << order(restricted) << "受限制用户: LI";
    QTest::newRow("blank after the name is not a supervisor")
        << QStringList{"ZED /M"} << ordinary << "当前用户: ZED ";
    // sysetup is left alone for an ordinary user: it keeps the restricted state.
    QTest::newRow("restricted then ordinary")
        << QStringList{"WANG/R", "LI/M"} << order(ordinary + QStringList{"sysetup"}) << "当前用户: LI";
    QTest::newRow("restricted, ordinary, supervisor")
        << QStringList{"WANG/R", "LI/M", "ZED/M"} << QStringList{} << "当前用户: 系统管理员";
    QTest::newRow("supervisor then restricted")
        << QStringList{"ZED/M", "WANG/R"} << order(restricted) << "受限制用户: WANG";
}

void TstMainWindow::menuRightsAfterUsers()
{
    QFETCH(QStringList, logins);
    QFETCH(QStringList, disabled);
    QFETCH(QString, label);

    TestEnv env;
    env.ctx().setLogin(logins.first().section('/', 0, 0), logins.first().section('/', 1));
    LoginJournal journal(env.ctx());
    MainWindow w(env.ctx(), journal);
    // Everything is enabled at load.
    QCOMPARE(disabledItems(w), QStringList{});
    w.show();
    for (const QString& l : logins) {
        env.ctx().setLogin(l.section('/', 0, 0), l.section('/', 1));
        // Within one tick of Timer1.
        QSignalSpy tick(child<QTimer>(&w, "Timer1"), &QTimer::timeout);
        QVERIFY(tick.wait(1000));
    }
    QCOMPARE(disabledItems(w), disabled);
    QCOMPARE(child<QLabel>(&w, "Label1")->text(), label);
    QCOMPARE(env.messages().count(), 0);
}

void TstMainWindow::menuItemsOpenWithoutCheck()
{
    TestEnv env;
    registerFakes(env);
    env.ctx().setLogin("WANG", "R");
    LoginJournal journal(env.ctx());
    MainWindow w(env.ctx(), journal);
    w.show();
    QTRY_VERIFY(!w.item("salse")->isEnabled());
    // The sales records item is never disabled: a restricted user opens it.
    QVERIFY(w.item("salse_history")->isEnabled());
    w.item("salse_history")->trigger();
    w.item("chpass")->trigger();
    w.item("ABOUT")->trigger();
    // A disabled item cannot be chosen.
    w.item("sysetup")->trigger();
    QCOMPARE(openWindows(env), (QStringList{"frm_salse", "frmchange", "frmabout"}));
    QCOMPARE(env.messages().count(), 0);
    // Opened again: still one of each, brought forward.
    QWidget* first = env.ctx().windows().find("frm_salse");
    w.item("salse_history")->trigger();
    QCOMPARE(env.ctx().windows().find("frm_salse"), first);
}

void TstMainWindow::switchOfUserKeepsTabAndWindows()
{
    TestEnv env;
    registerFakes(env);
    env.ctx().setLogin("ZED", "M");
    LoginJournal journal(env.ctx());
    MainWindow w(env.ctx(), journal);
    w.show();
    w.dispatchNode("员工管理");
    w.dispatchNode("库存查询");
    env.ctx().setLogin("WANG", "R");
    QTRY_COMPARE(child<QLabel>(&w, "Label1")->text(), QString("受限制用户: WANG"));
    QVERIFY(!w.item("worker")->isEnabled());
    QCOMPARE(tabShowing(w), QString("worker"));
    QCOMPARE(openWindows(env), QStringList{"frm_kucun"});
    QCOMPARE(w.windowTitle(), QString("zedware管理系统 Ver:1.0.21"));
}

void TstMainWindow::closeBoxWritesLogout()
{
    TestEnv env;
    env.ctx().setLogin("LI", "M");
    LoginJournal journal(env.ctx());
    auto* w = new MainWindow(env.ctx(), journal);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    QVERIFY(w->close());
    QCOMPARE(env.messages().count(), 0);
    QCOMPARE(env.journal(),
             QByteArray("Login Off :2026-12-07 10:00:00\r\n---------------------------------\r\n"));
    QVERIFY(!env.quitCalled());
}

void TstMainWindow::missingWindowIsToldNotBroken()
{
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    LoginJournal journal(env.ctx());
    MainWindow w(env.ctx(), journal);
    w.dispatchNode("员工工资");
    w.item("adduser")->trigger();
    QCOMPARE(env.messages().texts(), (QStringList{"该功能尚未开放", "该功能尚未开放"}));
    QCOMPARE(env.messages().last().icon, QMessageBox::Information);
}

void TstMainWindow::backupFromTree()
{
    TestEnv env;
    env.ctx().setLogin("LI", "M");
    env.insert("jinhuo", {"可乐", "A001", "330ml", "24", "1.5", "3", "48", "供应商", "2026-12-01", ""});
    LoginJournal journal(env.ctx());
    MainWindow w(env.ctx(), journal);
    w.dispatchNode("数据备份");
    const QString folder = QDir(env.ctx().paths().backupDir()).filePath("2026-12-07_10-00-00");
    QCOMPARE(env.messages().texts(), QStringList{"数据已备份到：" + QDir::toNativeSeparators(folder)});
    QCOMPARE(env.messages().last().icon, QMessageBox::Information);
    QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList{"database.db", "userid.db"}));

    // The copies are complete databases of their own.
    QString err;
    auto copy = Database::open(QDir(folder).filePath("database.db"), &err);
    QVERIFY2(copy, qPrintable(err));
    QCOMPARE(copy->selectOne("SELECT 商品名称, 库存数量 FROM jinhuo")->value(1).toString(), QString("48"));
    auto accounts = Database::open(QDir(folder).filePath("userid.db"), &err);
    QVERIFY2(accounts, qPrintable(err));
    QCOMPARE(accounts->selectOne("SELECT username FROM username")->value(0).toString(), QString("ZED"));

    // A second backup in the same second gets a folder of its own.
    w.item("bakdata")->trigger();
    QVERIFY(QDir(folder + "_2").exists());
}

void TstMainWindow::backupFailures()
{
    TestEnv env;
    // "backup" is a file: no folder can be made there.
    QFile blocker(env.ctx().paths().backupDir());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    BackupOutcome r = runBackup(env.ctx());
    QVERIFY(!r.ok);
    QCOMPARE(env.messages().last().icon, QMessageBox::Critical);
    QVERIFY(env.messages().last().text.startsWith("数据备份失败："));
    QVERIFY(QFileInfo(env.ctx().paths().backupDir()).isFile());

    // The second copy fails after the first was written: nothing is left.
    const QString root = QDir(env.dir()).filePath("other");
    r = backupDatabases(root, env.clock().now(), {{&env.db(), "same.db"}, {&env.accounts(), "same.db"}});
    QVERIFY(!r.ok);
    QVERIFY(!r.error.isEmpty());
    QCOMPARE(QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{});
}

QTEST_MAIN(TstMainWindow)
#include "tst_main_window.moc"
