#include "main_window.h"

#include "ui/app_context.h"
#include "app_settings.h"
#include "backup.h"
#include "journal.h"
#include "rights.h"
#include "ui/tab_page.h"
#include "window_table.h"
#include "ui/widgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <functional>

namespace shop {

MainWindow::MainWindow(AppContext& ctx, LoginJournal& journal, QWidget* parent)
    : QMainWindow(parent), ctx_(ctx), journal_(journal)
{
    setObjectName(QStringLiteral("frmmain"));
    resize(1000, 680);
    // The hidden menus exist before the tabs that are handed them.
    buildMenus();

    auto* central = new QWidget(this);
    auto* columns = new QHBoxLayout(central);

    auto* left = new QVBoxLayout;
    logo_ = new QLabel(central);
    logo_->setObjectName(QStringLiteral("logobmp"));
    logo_->setFixedSize(200, 80);
    logo_->setFrameShape(QFrame::StyledPanel);
    logo_->setScaledContents(true);
    userLabel_ = new QLabel(logo_);
    userLabel_->setObjectName(QStringLiteral("Label1"));
    auto* logoLayout = new QVBoxLayout(logo_);
    logoLayout->addStretch(1);
    logoLayout->addWidget(userLabel_);
    left->addWidget(logo_);
    buildTree();
    left->addWidget(tree_, 1);
    columns->addLayout(left);

    auto* right = new QVBoxLayout;
    dateLabel_ = new QLabel(central);
    dateLabel_->setObjectName(QStringLiteral("lab_date"));
    dateLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    right->addWidget(dateLabel_);
    // The tabs and the page shown while none is share one place.
    auto* work = new QGridLayout;
    work->addWidget(buildTabs(central), 0, 0);
    idlePage_ = ctx_.windows().createIdlePage(ctx_, central);
    if (idlePage_)
        work->addWidget(idlePage_, 0, 0);
    right->addLayout(work, 1);
    columns->addLayout(right, 1);
    setCentralWidget(central);
    buildStatusBar();

    // Loading: no tab showing; the employee grid's lock item starts disabled.
    frameJin_->hide();
    frameJin_->installEventFilter(this);
    item(QStringLiteral("lock_txt"))->setEnabled(false);

    setWindowTitle(app_settings::mainCaption(ctx_.shopSettings().companyForCaption(), true));
    // Rewritten when the settings are saved, then without the revision.
    connect(&ctx_.shellNotifier(), &ShellNotifier::settingsChanged, this, [this] {
        setWindowTitle(app_settings::mainCaption(ctx_.shopSettings().companyForCaption(), false));
    });

    const QString logoFile = ctx_.paths().picture(QStringLiteral("logo.bmp"));
    QPixmap logo;
    if (QFileInfo::exists(logoFile) && logo.load(logoFile)) {
        logo_->setPixmap(logo);
        show_user_label();
    } else {
        logo_->clear();
    }

    const char* timerNames[] = {"Timer1", "Timer2", "Timer3"};
    void (MainWindow::*ticks[])() = {&MainWindow::tick1, &MainWindow::tick2, &MainWindow::tick3};
    for (int i = 0; i < 3; ++i) {
        timers_[i] = new QTimer(this);
        timers_[i]->setObjectName(QLatin1String(timerNames[i]));
        timers_[i]->setInterval(100);
        connect(timers_[i], &QTimer::timeout, this, ticks[i]);
        timers_[i]->start();
    }
    qApp->installEventFilter(this);
}

void MainWindow::buildTree()
{
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("TreeView1"));
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setFixedWidth(200);
    auto addNode = [this](QTreeWidgetItem* parent, const char* key, const char* text) {
        auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
        node->setText(0, QString::fromUtf8(text));
        node->setData(0, Qt::UserRole, QLatin1String(key));
        return node;
    };
    // A group's node is added where its first entry comes.
    QHash<QString, QTreeWidgetItem*> groupNodes;
    std::function<QTreeWidgetItem*(const char*)> groupNode = [&](const char* menu) -> QTreeWidgetItem* {
        if (!menu)
            return nullptr;
        if (QTreeWidgetItem* node = groupNodes.value(QLatin1String(menu)))
            return node;
        const MenuGroup* g = window_table::group(menu);
        QTreeWidgetItem* node = addNode(groupNode(g->parent), g->treeKey, g->treeText);
        groupNodes.insert(QLatin1String(menu), node);
        return node;
    };
    for (const WindowEntry& e : window_table::entries())
        if (e.treeKey)
            addNode(groupNode(e.treeGroup), e.treeKey, e.treeText);
    tree_->collapseAll();
    // The last node at the top ("退出系统"): scrolling to a node inside a
    // group would open the group.
    tree_->scrollToItem(tree_->topLevelItem(tree_->topLevelItemCount() - 1));
    connect(tree_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item, int) { dispatchNode(item->text(0)); });
    // Enter or Space on the selected node opens it as a click does.
    tree_->installEventFilter(this);
}

void MainWindow::addSeparator(QMenu* menu, const char* name)
{
    menu->addSeparator()->setObjectName(QLatin1String(name));
}

QMenu* MainWindow::contextMenu(const QString& name) const
{
    return menus_.value(name);
}

QAction* MainWindow::nameItem(QAction* a, const char* name)
{
    a->setObjectName(QLatin1String(name));
    items_.insert(QLatin1String(name), a);
    return a;
}

QMenu* MainWindow::nameMenu(QMenu* m, const char* name)
{
    m->setObjectName(QLatin1String(name));
    m->menuAction()->setObjectName(QLatin1String(name));
    menus_.insert(QLatin1String(name), m);
    return m;
}

void MainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    // A menu is added where its first item comes.
    std::function<QMenu*(const char*)> menuOf = [&](const char* name) -> QMenu* {
        if (QMenu* m = menus_.value(QLatin1String(name)))
            return m;
        const MenuGroup* g = window_table::group(name);
        if (!g->parent)
            return nameMenu(bar->addMenu(QString::fromUtf8(g->caption)), name);
        QMenu* parent = menuOf(g->parent);
        if (g->separator)
            addSeparator(parent, g->separator);
        QMenu* m = nameMenu(parent->addMenu(QString::fromUtf8(g->caption)), name);
        nameItem(m->menuAction(), name);
        return m;
    };
    for (const WindowEntry& e : window_table::entries()) {
        const QString caption = QString::fromUtf8(e.caption);
        QAction* a = nullptr;
        if (e.menu) {
            QMenu* m = menuOf(e.menu);
            if (e.separator)
                addSeparator(m, e.separator);
            a = nameItem(m->addAction(caption), e.item);
        } else {
            a = nameItem(bar->addAction(caption), e.item);
        }
        // Menu items act without the tree's guard: the rights disable them instead.
        const WindowEntry* entry = &e;
        connect(a, &QAction::triggered, this, [this, entry] { run(*entry); });
    }

    // Hidden menus: the employee and ledger tabs open them over their grids.
    struct Row {
        const char* name;
        const char* caption; // nullptr: a separator
    };
    auto hidden = [&](const char* name, const QString& title, std::initializer_list<Row> rows) {
        QMenu* m = nameMenu(bar->addMenu(title), name);
        for (const Row& r : rows) {
            if (!r.caption) {
                addSeparator(m, r.name);
                continue;
            }
            nameItem(m->addAction(QString::fromUtf8(r.caption)), r.name);
        }
        m->menuAction()->setVisible(false);
    };
    hidden("table1", QStringLiteral("表格"),
           {{"lock_txt", "锁定"},
            {"line009", nullptr},
            {"edit_txt", "编辑"},
            {"line00110", nullptr},
            {"d_fresh", "刷新"}});
    hidden("TABLE2", QStringLiteral("表格2"),
           {{"bg_lock", "锁定表格"},
            {"line0010", nullptr},
            {"bg_unlock", "编辑表格"},
            {"line0011", nullptr},
            {"bg_fresh", "刷新表格"}});
}

void MainWindow::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("bar"));
    bar->setSizeGripEnabled(false);
    for (int i = 1; i <= 5; ++i) {
        auto* l = new QLabel(bar);
        l->setObjectName(QStringLiteral("panel%1").arg(i));
        l->setFrameShape(QFrame::StyledPanel);
        l->setFrameShadow(QFrame::Sunken);
        l->setMargin(2);
        panels_ << l;
        bar->addWidget(l, i <= 2 ? 1 : 0);
    }
    panels_[0]->setText(QStringLiteral("ZEDWARE 软件工作室 设计"));
    panels_[2]->setText(QStringLiteral("NUM"));
    panels_[3]->setText(QStringLiteral("INS"));
}

QWidget* MainWindow::makeTabContent(const QString& name, QGroupBox* frame, QMenu* contextMenu)
{
    if (ctx_.windows().hasTab(name)) {
        if (QWidget* w = ctx_.windows().createTab(ctx_, name, frame)) {
            if (auto* page = qobject_cast<TabPage*>(w)) {
                page->setContextMenu(contextMenu);
                // Every tab's close hides the outer frame, and with it all three.
                connect(page, &TabPage::closeRequested, frameJin_, &QWidget::hide);
            }
            return w;
        }
    }
    // Until the tab is built the frame holds only its close button.
    auto* w = new QWidget(frame);
    auto* l = new QVBoxLayout(w);
    l->addStretch(1);
    auto* close = button("placeholder_close", QStringLiteral("关闭"));
    connect(close, &QPushButton::clicked, frameJin_, &QWidget::hide);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(close);
    l->addLayout(row);
    return w;
}

QWidget* MainWindow::buildTabs(QWidget* parent)
{
    // Nested frames of one size: an inner visible frame covers the outer
    // ones, so the visibility of the three tells which tab is showing.
    frameJin_ = new QGroupBox(QStringLiteral("进货管理"), parent);
    frameJin_->setObjectName(QLatin1String(window_name::purchaseTab));
    frameWorker_ = new QGroupBox(QStringLiteral("员工管理"), frameJin_);
    frameWorker_->setObjectName(QLatin1String(window_name::employeeTab));
    frameShouzhi_ = new QGroupBox(QStringLiteral("收支管理"), frameWorker_);
    frameShouzhi_->setObjectName(QLatin1String(window_name::ledgerTab));
    for (QGroupBox* f : {frameWorker_, frameShouzhi_})
        f->setAutoFillBackground(true);

    jinPage_ = makeTabContent(QLatin1String(window_name::purchaseTab), frameJin_, nullptr);
    workerPage_ =
        makeTabContent(QLatin1String(window_name::employeeTab), frameWorker_, contextMenu("table1"));
    shouzhiPage_ =
        makeTabContent(QLatin1String(window_name::ledgerTab), frameShouzhi_, contextMenu("TABLE2"));

    auto* jinLayout = new QGridLayout(frameJin_);
    jinLayout->addWidget(jinPage_, 0, 0);
    jinLayout->addWidget(frameWorker_, 0, 0);
    auto* workerLayout = new QGridLayout(frameWorker_);
    workerLayout->addWidget(workerPage_, 0, 0);
    workerLayout->addWidget(frameShouzhi_, 0, 0);
    auto* shouzhiLayout = new QGridLayout(frameShouzhi_);
    shouzhiLayout->addWidget(shouzhiPage_, 0, 0);

    // A covered page is hidden too, so its controls take no focus.
    frameWorker_->installEventFilter(this);
    frameShouzhi_->installEventFilter(this);
    syncCoveredPages();
    return frameJin_;
}

void MainWindow::syncCoveredPages()
{
    if (jinPage_)
        jinPage_->setVisible(frameWorker_->isHidden());
    if (workerPage_)
        workerPage_->setVisible(frameShouzhi_->isHidden());
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e)
{
    if ((watched == frameWorker_ || watched == frameShouzhi_) &&
        (e->type() == QEvent::ShowToParent || e->type() == QEvent::HideToParent))
        syncCoveredPages();
    if (watched == frameJin_ && idlePage_ &&
        (e->type() == QEvent::ShowToParent || e->type() == QEvent::HideToParent))
        idlePage_->setVisible(frameJin_->isHidden());
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (watched == tree_ && tree_->currentItem() &&
            (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter || k->key() == Qt::Key_Space)) {
            dispatchNode(tree_->currentItem()->text(0));
            return true;
        }
        QWidget* target =
            QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
        // Seen once, at the first receiver, however far the key propagates.
        if (watched == target && !k->isAutoRepeat()) {
            if (k->key() == Qt::Key_Insert)
                insertMode_ = !insertMode_;
            else if (k->key() == Qt::Key_NumLock)
                numLock_ = !numLock_;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void MainWindow::showPurchaseTab()
{
    frameJin_->show();
    frameWorker_->hide();
    if (auto* p = qobject_cast<TabPage*>(jinPage_.data()))
        p->showTab();
}

void MainWindow::showEmployeeTab()
{
    frameJin_->show();
    frameWorker_->show();
    frameShouzhi_->hide();
    if (auto* p = qobject_cast<TabPage*>(workerPage_.data()))
        p->showTab();
}

void MainWindow::showLedgerTab()
{
    frameJin_->show();
    frameWorker_->show();
    frameShouzhi_->show();
    if (auto* p = qobject_cast<TabPage*>(shouzhiPage_.data()))
        p->showTab();
    item(QStringLiteral("bg_lock"))->setEnabled(false);
}

void MainWindow::openWindow(const QString& name)
{
    if (!ctx_.windows().has(name)) {
        ctx_.messages().information(QStringLiteral("该功能尚未开放"), QStringLiteral("系统信息"));
        return;
    }
    ctx_.windows().open(ctx_, name);
}

void MainWindow::runBackup()
{
    shop::runBackup(ctx_);
}

void MainWindow::dispatchNode(const QString& text)
{
    const WindowEntry* entry = window_table::byTreeText(text);
    if (entry && rights::passes(ctx_, entry->guard))
        run(*entry);
}

void MainWindow::run(const WindowEntry& entry)
{
    const QString name = QLatin1String(entry.name);
    switch (entry.opens) {
    case Opens::Window:
        openWindow(name);
        break;
    case Opens::Tab:
        if (name == QLatin1String(window_name::purchaseTab))
            showPurchaseTab();
        else if (name == QLatin1String(window_name::employeeTab))
            showEmployeeTab();
        else
            showLedgerTab();
        break;
    case Opens::Backup:
        runBackup();
        break;
    case Opens::SwitchUser:
        emit switchUserRequested();
        break;
    case Opens::Leave:
        leaveProgram();
        break;
    }
}

void MainWindow::write_logout()
{
    loggedOut_ = true;
    journal_.writeLogout();
}

void MainWindow::leaveProgram()
{
    if (!ctx_.messages().question(QStringLiteral(" 你真的想退出本系统吗？ "), QStringLiteral("退出")))
        return;
    write_logout();
    ctx_.quit();
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    if (!loggedOut_)
        write_logout();
    e->accept();
    emit closedByUser();
}

void MainWindow::apply_menu_rights()
{
    rights::apply_menu_rights(ctx_, [this](const char* name, bool on) {
        if (QAction* a = items_.value(QLatin1String(name)))
            a->setEnabled(on);
    });
}

void MainWindow::show_user_label()
{
    userLabel_->setText(rights::userLabelText(ctx_));
}

void MainWindow::updateTab(QWidget* page)
{
    if (auto* p = qobject_cast<TabPage*>(page))
        p->updateStates();
}

void MainWindow::tick1()
{
    panels_[4]->setText(dateTimeText(ctx_.clock().now()));
    panels_[1]->setText(QStringLiteral("使用单位：") + ctx_.shopSettings().companyName());
    panels_[2]->setEnabled(numLock_);
    panels_[3]->setText(insertMode_ ? QStringLiteral("INS") : QStringLiteral("OVR"));
    dateLabel_->setText(ctx_.today());
    apply_menu_rights();
    show_user_label();
    updateTab(jinPage_);
}

void MainWindow::tick2()
{
    updateTab(workerPage_);
}

void MainWindow::tick3()
{
    updateTab(shouzhiPage_);
}

} // namespace shop
