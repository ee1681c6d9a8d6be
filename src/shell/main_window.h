#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPointer>

class QGroupBox;
class QLabel;
class QMenu;
class QTimer;
class QTreeWidget;

namespace shop {

class AppContext;
class LoginJournal;
struct WindowEntry;

// frmmain: the navigation tree TreeView1 and the menu bar, both made from
// the window table (with the hidden context menus table1 and TABLE2, handed
// to the employee and ledger tabs for their grids), the status bar `bar`,
// the logo and user label, the date label, the three 100 ms timers and the
// three nested tab frames frame_jin > Frame_worker > frame_shouzhi.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(AppContext& ctx, LoginJournal& journal, QWidget* parent = nullptr);

    // A tree click, dispatched by the node's text.
    void dispatchNode(const QString& text);
    // A menu item (or the menu-bar item swich_user) by name.
    QAction* item(const QString& name) const { return items_.value(name); }
    QMenu* contextMenu(const QString& name) const;
    // Panel 1..5 of the status bar.
    QLabel* panel(int n) const { return panels_.value(n - 1); }

    void showPurchaseTab();
    void showEmployeeTab();
    void showLedgerTab();

    // The procedures under their own names.
    void write_logout();
    void apply_menu_rights();
    void show_user_label();

    // Asks, then writes the logout entry and ends the program.
    void leaveProgram();

    // The timers' work, one tick each.
    void tick1();
    void tick2();
    void tick3();

signals:
    // "切换用户": the login window is to be shown over this window.
    void switchUserRequested();
    // Closed by its close box (the logout entry is written).
    void closedByUser();

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildMenus();
    void buildTree();
    void buildStatusBar();
    QWidget* buildTabs(QWidget* parent);
    QWidget* makeTabContent(const QString& name, QGroupBox* frame, QMenu* contextMenu);
    // Name a menu item, or a menu and its menu action, and keep it under that name.
    QAction* nameItem(QAction* item, const char* name);
    QMenu* nameMenu(QMenu* menu, const char* name);
    void addSeparator(QMenu* menu, const char* name);
    // What a menu item or a tree node does, once its guard let it.
    void run(const WindowEntry& entry);
    void openWindow(const QString& name);
    void runBackup();
    void updateTab(QWidget* page);
    void syncCoveredPages();

    AppContext& ctx_;
    LoginJournal& journal_;
    bool loggedOut_ = false;
    bool insertMode_ = true;
    bool numLock_ = true;

    QTreeWidget* tree_ = nullptr;
    QHash<QString, QAction*> items_;
    QHash<QString, QMenu*> menus_;
    QList<QLabel*> panels_;
    QLabel* logo_ = nullptr;
    QLabel* userLabel_ = nullptr;
    QLabel* dateLabel_ = nullptr;
    QGroupBox* frameJin_ = nullptr;
    QGroupBox* frameWorker_ = nullptr;
    QGroupBox* frameShouzhi_ = nullptr;
    QPointer<QWidget> jinPage_;
    QPointer<QWidget> workerPage_;
    QPointer<QWidget> shouzhiPage_;
    // Shown in the work area while no tab is.
    QPointer<QWidget> idlePage_;
    QTimer* timers_[3] = {};
};

} // namespace shop
