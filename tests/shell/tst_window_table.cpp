// The window table against the registry: every menu item and tree node that
// opens a window or a tab names one that is registered.
#include "shell/journal.h"
#include "shell/main_window.h"
#include "shell/window_table.h"
#include "support/ui.h"

#include <QMenu>
#include <QMenuBar>
#include <QTreeWidget>

using namespace shop;
using namespace shop::test;

namespace {
// Named by the menus and the tree but not built yet. Take a name out when
// its window or tab is registered in windows.cpp.
const QStringList kNotBuilt = {"Frame_worker", "frame_shouzhi", "frm_salse",   "frmadduser",
                               "frmchange",    "frmdeleted",    "frmdeleuser", "frmgz"};

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
    // 16 items and 15 nodes open a window or a tab.
    QCOMPARE(openers, 31);
    QStringList notBuilt = missing.values();
    notBuilt.sort();
    QCOMPARE(notBuilt, kNotBuilt);
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

QTEST_MAIN(TstWindowTable)
#include "tst_window_table.moc"
