// The window table against the registry: every menu item and tree node that
// opens a window or a tab names one that is registered.
#include "shell/login_window.h"
#include "shell/window_table.h"
#include "support/tab_host.h"

#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>

using namespace shop;
using namespace shop::test;

namespace {
bool opensSomething(const WindowEntry& e)
{
    return e.opens == Opens::Window || e.opens == Opens::Tab;
}

bool registered(AppContext& ctx, const WindowEntry& e)
{
    const QString name = QLatin1String(e.name);
    return e.opens == Opens::Tab ? ctx.windows().hasTab(name) : ctx.windows().has(name);
}

// The items of a menu and its submenus, separators left out.
QList<QAction*> itemsOf(QMenu* menu)
{
    QList<QAction*> out;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator())
            continue;
        if (a->menu())
            out += itemsOf(a->menu());
        else
            out << a;
    }
    return out;
}
} // namespace

class TstWindowTable : public QObject {
    Q_OBJECT
private slots:
    void everyOpenerNamesARegisteredWindow();
    void everyRegisteredWindowIsInTheTable();
    void everyButtonPressesOnEnter_data();
    void everyButtonPressesOnEnter();
};

void TstWindowTable::everyOpenerNamesARegisteredWindow()
{
    TestEnv env;
    registerWindows(env.ctx().windows());
    env.ctx().setLogin("ZED", "M");
    LoginJournal journal(env.ctx());
    MainWindow w(env.ctx(), journal);

    QStringList unknown;
    QSet<QString> missing;
    int openers = 0;
    auto check = [&](const WindowEntry* e, const QString& what) {
        if (!e) {
            unknown << what;
        } else if (opensSomething(*e)) {
            ++openers;
            if (!registered(env.ctx(), *e))
                missing << QLatin1String(e->name);
        }
    };
    // Every visible menu item; the hidden menus hold the tabs' grid items.
    for (QAction* top : w.menuBar()->actions()) {
        if (!top->isVisible())
            continue;
        const QList<QAction*> items = top->menu() ? itemsOf(top->menu()) : QList<QAction*>{top};
        for (QAction* a : items)
            check(window_table::byItem(a->objectName()), "item " + a->objectName());
    }
    // Every tree node without children; the others only group.
    for (QTreeWidgetItemIterator it(child<QTreeWidget>(&w, "TreeView1")); *it; ++it)
        if ((*it)->childCount() == 0)
            check(window_table::byTreeText((*it)->text(0)), "node " + (*it)->text(0));

    QCOMPARE(unknown, QStringList{});
    // 25 items and 22 nodes open a window or a tab.
    QCOMPARE(openers, 47);
    QStringList notBuilt = missing.values();
    notBuilt.sort();
    QCOMPARE(notBuilt, QStringList{}); // every window and tab is built
}

void TstWindowTable::everyRegisteredWindowIsInTheTable()
{
    TestEnv env;
    registerWindows(env.ctx().windows());
    QSet<QString> windows, tabs;
    for (const WindowEntry& e : window_table::entries())
        if (opensSomething(e))
            (e.opens == Opens::Tab ? tabs : windows) << QLatin1String(e.name);
    for (const QString& name : env.ctx().windows().names())
        QVERIFY2(windows.contains(name), qPrintable(name));
    for (const QString& name : env.ctx().windows().tabNames())
        QVERIFY2(tabs.contains(name), qPrintable(name));
}

// Keyboard users: in every window and tab, and at the login, Enter on a
// focused command button presses it (as Space does).
void TstWindowTable::everyButtonPressesOnEnter_data()
{
    QTest::addColumn<QString>("window");
    TestEnv env;
    registerWindows(env.ctx().windows());
    QTest::newRow("frmlogin") << "frmlogin";
    for (const QString& name : env.ctx().windows().names() + env.ctx().windows().tabNames())
        QTest::newRow(qPrintable(name)) << name;
}

void TstWindowTable::everyButtonPressesOnEnter()
{
    QFETCH(QString, window);
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    LoginJournal journal(env.ctx());
    LoginCounters counters;
    QWidget holder; // the login window's
    holder.resize(1000, 700);
    Opened opened;
    QWidget* w = nullptr;
    QWidget* top = &holder;
    if (window == "frmlogin") {
        w = new LoginWindow(env.ctx(), journal, counters, &holder);
        QVERIFY(w);
        QVERIFY(showActive(top));
    } else {
        opened = openRegistered(env, window);
        w = opened.widget;
        top = opened.top();
        QVERIFY(w);
        QVERIFY(opened.active);
    }

    const QList<QPushButton*> buttons = w->findChildren<QPushButton*>();
    if (buttons.isEmpty())
        QSKIP("no command buttons");
    for (QPushButton* b : buttons) {
        if (!b->isVisibleTo(top))
            continue;
        // What the button does is its window's business; here only that
        // the key presses it.
        b->disconnect();
        b->setEnabled(true);
        QSignalSpy clicked(b, &QAbstractButton::clicked);
        b->setFocus();
        QTest::keyClick(b, Qt::Key_Return);
        QVERIFY2(clicked.size() == 1, qPrintable(window + " " + b->objectName()));
    }
    env.ctx().windows().closeAll();
}

QTEST_MAIN(TstWindowTable)
#include "tst_window_table.moc"
