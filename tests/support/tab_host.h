#pragma once

// The program's main window around one of its tabs, so that a tab's test
// drives the menus the main window really builds and hands over. Tests that
// include this link the whole program (tests/CMakeLists.txt).
#include "shell/journal.h"
#include "shell/main_window.h"
#include "support/ui.h"
#include "ui/tab_page.h"
#include "ui/window_registry.h"

#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>

namespace shop::test {

// Clicks item `name` of an open menu. False when the menu lacks it or the
// item is disabled (the menu is closed then, as Escape closes it).
inline bool clickMenuItem(QMenu* menu, const char* name)
{
    QAction* a = menu->findChild<QAction*>(QLatin1String(name));
    if (!a || !menu->actions().contains(a) || !a->isEnabled()) {
        QTest::keyClick(menu, Qt::Key_Escape);
        return false;
    }
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
    return QTest::qWaitFor([menu] { return !menu->isVisible(); }, 1000);
}

// Opens the grid's popup menu with the right button and clicks item `name`.
// The grid's window is active again afterwards, as a window manager makes
// it when a popup closes (the offscreen platform does not).
inline bool chooseFromPopup(RecordView* grid, const char* name)
{
    QMenu* menu = grid->popupMenu();
    QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    if (!menu || !QTest::qWaitFor([menu] { return menu->isVisible(); }, 1000))
        return false;
    const bool chosen = clickMenuItem(menu, name);
    grid->window()->activateWindow();
    return QTest::qWaitForWindowActive(grid->window()) && chosen;
}

// The main window, logged in as a supervisor, with the tab a menu item
// opens (`menu` is the menu-bar menu, `item` the tab's item in it).
template <typename Tab> class TabHost {
public:
    explicit TabHost(TestEnv& env) : journal_(env.ctx())
    {
        env.ctx().setLogin("ZED", "M");
        if (env.ctx().windows().tabNames().isEmpty())
            registerWindows(env.ctx().windows());
        main_ = std::make_unique<MainWindow>(env.ctx(), journal_);
        main_->resize(1300, 800);
    }

    // Shows the main window and opens the tab through its menu item.
    bool open(const char* menu, const char* item)
    {
        if (!showActive(main_.get()))
            return false;
        return chooseFromMenuBar(menu, item) && tab() && tab()->isVisible();
    }
    bool chooseFromMenuBar(const char* menu, const char* item)
    {
        auto* m = main_->findChild<QMenu*>(QLatin1String(menu));
        if (!m)
            return false;
        QMenuBar* bar = main_->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(m->menuAction()).center());
        if (!QTest::qWaitFor([m] { return m->isVisible(); }, 1000))
            return false;
        return clickMenuItem(m, item);
    }
    // The tab showing (the covered ones are hidden).
    Tab* tab() const
    {
        for (Tab* t : main_->findChildren<Tab*>())
            if (t->isVisible())
                return t;
        return nullptr;
    }
    MainWindow& window() const { return *main_; }
    // An item of the main window's menus (those it hands its tabs included).
    QAction* item(const char* name) const { return main_->findChild<QAction*>(QLatin1String(name)); }

private:
    LoginJournal journal_;
    std::unique_ptr<MainWindow> main_;
};

// A window or tab opened by its registered name (see openRegistered).
struct Opened {
    QWidget* widget = nullptr;          // nullptr when the name is not registered
    std::unique_ptr<QGroupBox> frame{}; // a tab's frame
    bool active = false;                // shown and active
    // The window it shows in.
    QWidget* top() const { return frame ? frame.get() : widget; }
};

// Opens a registered window, or a tab in a frame titled with its name (as
// the main window frames its tabs, and shows it: showTab()), shown and
// active. Registers the windows first when the test has not.
inline Opened openRegistered(TestEnv& env, const QString& name)
{
    WindowRegistry& windows = env.ctx().windows();
    if (windows.names().isEmpty())
        registerWindows(windows);
    Opened o;
    if (windows.hasTab(name)) {
        o.frame = std::make_unique<QGroupBox>(name);
        o.widget = windows.createTab(env.ctx(), name, o.frame.get());
        if (o.widget)
            (new QVBoxLayout(o.frame.get()))->addWidget(o.widget);
        o.frame->resize(1000, 700);
    } else {
        o.widget = windows.open(env.ctx(), name);
    }
    o.active = o.widget && showActive(o.top());
    if (auto* tab = qobject_cast<TabPage*>(o.widget); tab && o.frame)
        tab->showTab();
    return o;
}

} // namespace shop::test
