#include "main_window.h"

#include "ui/app_context.h"
#include "app_settings.h"
#include "backup.h"
#include "journal.h"
#include "rights.h"
#include "ui/tab_page.h"

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

namespace shop {

namespace {
struct Node {
    const char* parent;
    const char* key;
    const char* text;
};
// The tree in the order the nodes are added; a parent comes before its children.
const Node kNodes[] = {
    {nullptr, "scan", "管理中心"},      {"scan", "contract", "进货管理"},
    {"scan", "scale1", "业务管理"},     {"scan", "scale2", "收支管理"},
    {"scan", "scale3", "员工管理"},     {"scan", "scale4", "顾客管理"},
    {"scale4", "scale5", "顾客信息"},   {"scale4", "scale6", "开卡服务"},
    {nullptr, "switch", "切换用户"},    {nullptr, "query", "数据查询"},
    {"query", "con_data", "进货记录"},  {"query", "order_data", "销售记录"},
    {"query", "order_out", "库存查询"}, {"query", "order_salary", "员工工资"},
    {nullptr, "sys", "系统维护"},       {"sys", "Del", "数据删除"},
    {"sys", "backup", "数据备份"},      {"sys", "Adduser", "增加用户"},
    {"sys", "deleteduser", "删除用户"}, {"sys", "change", "更改密码"},
    {"sys", "setup", "系统设置"},       {nullptr, "Exit", "退出系统"},
};
} // namespace

MainWindow::MainWindow(AppContext& ctx, LoginJournal& journal, QWidget* parent)
    : QMainWindow(parent), ctx_(ctx), journal_(journal)
{
    setObjectName(QStringLiteral("frmmain"));
    resize(1000, 680);

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
    right->addWidget(buildTabs(central), 1);
    columns->addLayout(right, 1);
    setCentralWidget(central);

    buildMenus();
    buildStatusBar();

    // Loading: no tab showing; the purchase tab's add button and the
    // employee grid's lock item start disabled.
    frameJin_->hide();
    if (jinPage_)
        if (auto* add = jinPage_->findChild<QWidget*>(QStringLiteral("cmd_add")))
            add->setEnabled(false);
    item(QStringLiteral("lock_txt"))->setEnabled(false);

    setWindowTitle(app_settings::mainCaption(app_settings::companyForCaption(ctx_.settings()), true));

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
    QHash<QString, QTreeWidgetItem*> byKey;
    QTreeWidgetItem* last = nullptr;
    for (const Node& n : kNodes) {
        auto* item =
            n.parent ? new QTreeWidgetItem(byKey.value(QLatin1String(n.parent))) : new QTreeWidgetItem(tree_);
        item->setText(0, QString::fromUtf8(n.text));
        item->setData(0, Qt::UserRole, QLatin1String(n.key));
        byKey.insert(QLatin1String(n.key), item);
        last = item;
    }
    tree_->collapseAll();
    tree_->scrollToItem(last);
    connect(tree_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item, int) { dispatchNode(item->text(0)); });
}

QAction* MainWindow::addItem(QMenu* menu, const char* name, const QString& caption)
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    items_.insert(QLatin1String(name), a);
    return a;
}

void MainWindow::addSeparator(QMenu* menu, const char* name)
{
    menu->addSeparator()->setObjectName(QLatin1String(name));
}

QMenu* MainWindow::contextMenu(const QString& name) const
{
    return menus_.value(name);
}

void MainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    auto topMenu = [&](const char* name, const QString& title) {
        QMenu* m = bar->addMenu(title);
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        menus_.insert(QLatin1String(name), m);
        return m;
    };
    auto open = [this](QAction* a, const char* window) {
        const QString name = QLatin1String(window);
        connect(a, &QAction::triggered, this, [this, name] { openWindow(name); });
    };

    QMenu* dataman = topMenu("DATAMAN", QStringLiteral("管理中心(&C)"));
    connect(addItem(dataman, "jinhuo", QStringLiteral("进货管理")), &QAction::triggered, this,
            &MainWindow::showPurchaseTab);
    open(addItem(dataman, "salse", QStringLiteral("业务管理")), "frmyewu");
    connect(addItem(dataman, "in_out", QStringLiteral("收支管理")), &QAction::triggered, this,
            &MainWindow::showLedgerTab);
    addSeparator(dataman, "line002");
    connect(addItem(dataman, "worker", QStringLiteral("员工管理")), &QAction::triggered, this,
            &MainWindow::showEmployeeTab);
    addSeparator(dataman, "line004");
    QMenu* huiyuan = dataman->addMenu(QStringLiteral("顾客管理"));
    huiyuan->setObjectName(QStringLiteral("huiyuan"));
    huiyuan->menuAction()->setObjectName(QStringLiteral("huiyuan"));
    items_.insert(QStringLiteral("huiyuan"), huiyuan->menuAction());
    open(addItem(huiyuan, "guke", QStringLiteral("顾客信息")), "frmguke");
    open(addItem(huiyuan, "member_car", QStringLiteral("开卡服务")), "frm_card");
    addSeparator(dataman, "line006");
    connect(addItem(dataman, "exit_sys", QStringLiteral("退出系统")), &QAction::triggered, this,
            &MainWindow::leaveProgram);

    QAction* swich = bar->addAction(QStringLiteral("切换用户(&S)"));
    swich->setObjectName(QStringLiteral("swich_user"));
    items_.insert(QStringLiteral("swich_user"), swich);
    connect(swich, &QAction::triggered, this, &MainWindow::switchUserRequested);

    QMenu* query = topMenu("query_data", QStringLiteral("数据查询(&Q)"));
    open(addItem(query, "in_history", QStringLiteral("进货记录")), "frm_history");
    open(addItem(query, "salse_history", QStringLiteral("销售记录")), "frm_salse");
    open(addItem(query, "balance", QStringLiteral("库存查询")), "frm_kucun");
    addSeparator(query, "line007");
    open(addItem(query, "salary", QStringLiteral("员工工资")), "frmgz");

    QMenu* sys = topMenu("system", QStringLiteral("系统维护(&M)"));
    open(addItem(sys, "deldata", QStringLiteral("删除数据(&D)")), "frmdeleted");
    connect(addItem(sys, "bakdata", QStringLiteral("备份数据(&B)")), &QAction::triggered, this,
            &MainWindow::runBackup);
    addSeparator(sys, "li1");
    open(addItem(sys, "adduser", QStringLiteral("增加用户(&A)")), "frmadduser");
    open(addItem(sys, "Deleuser", QStringLiteral("删除用户(&U)")), "frmdeleuser");
    addSeparator(sys, "li0");
    open(addItem(sys, "chpass", QStringLiteral("更改密码(&C)")), "frmchange");
    addSeparator(sys, "li01");
    open(addItem(sys, "sysetup", QStringLiteral("系统设置(&S)")), "frmsetup");

    QMenu* help = topMenu("HLP", QStringLiteral("帮助(&H)"));
    open(addItem(help, "ABOUT", QStringLiteral("关于系统")), "frmabout");

    // Hidden menus: the employee and ledger tabs open them over their grids.
    QMenu* table1 = topMenu("table1", QStringLiteral("表格"));
    addItem(table1, "lock_txt", QStringLiteral("锁定"));
    addSeparator(table1, "line009");
    addItem(table1, "edit_txt", QStringLiteral("编辑"));
    addSeparator(table1, "line00110");
    addItem(table1, "d_fresh", QStringLiteral("刷新"));
    table1->menuAction()->setVisible(false);
    QMenu* table2 = topMenu("TABLE2", QStringLiteral("表格2"));
    addItem(table2, "bg_lock", QStringLiteral("锁定表格"));
    addSeparator(table2, "line0010");
    addItem(table2, "bg_unlock", QStringLiteral("编辑表格"));
    addSeparator(table2, "line0011");
    addItem(table2, "bg_fresh", QStringLiteral("刷新表格"));
    table2->menuAction()->setVisible(false);
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

QWidget* MainWindow::makeTabContent(const QString& name, QGroupBox* frame)
{
    if (ctx_.windows().hasTab(name)) {
        if (QWidget* w = ctx_.windows().createTab(ctx_, name, frame)) {
            if (auto* page = qobject_cast<TabPage*>(w))
                connect(page, &TabPage::closeRequested, frameJin_, &QWidget::hide);
            return w;
        }
    }
    // Until the tab is built the frame holds only its close button.
    auto* w = new QWidget(frame);
    auto* l = new QVBoxLayout(w);
    l->addStretch(1);
    auto* close = new QPushButton(QStringLiteral("关闭"), w);
    close->setObjectName(QStringLiteral("placeholder_close"));
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
    frameJin_->setObjectName(QStringLiteral("frame_jin"));
    frameWorker_ = new QGroupBox(QStringLiteral("员工管理"), frameJin_);
    frameWorker_->setObjectName(QStringLiteral("Frame_worker"));
    frameShouzhi_ = new QGroupBox(QStringLiteral("收支管理"), frameWorker_);
    frameShouzhi_->setObjectName(QStringLiteral("frame_shouzhi"));
    for (QGroupBox* f : {frameWorker_, frameShouzhi_})
        f->setAutoFillBackground(true);

    jinPage_ = makeTabContent(QStringLiteral("frame_jin"), frameJin_);
    workerPage_ = makeTabContent(QStringLiteral("Frame_worker"), frameWorker_);
    shouzhiPage_ = makeTabContent(QStringLiteral("frame_shouzhi"), frameShouzhi_);

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
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
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
    struct Entry {
        const char* text;
        Guard guard;
        std::function<void()> action;
    };
    auto open = [this](const char* name) { return [this, name] { openWindow(QLatin1String(name)); }; };
    const Entry entries[] = {
        {"进货管理", Guard::Supervisor, [this] { showPurchaseTab(); }},
        {"业务管理", Guard::KindM, open("frmyewu")},
        {"收支管理", Guard::Supervisor, [this] { showLedgerTab(); }},
        {"员工管理", Guard::Supervisor, [this] { showEmployeeTab(); }},
        {"顾客信息", Guard::Supervisor, open("frmguke")},
        {"开卡服务", Guard::Supervisor, open("frm_card")},
        {"切换用户", Guard::None, [this] { emit switchUserRequested(); }},
        {"进货记录", Guard::Supervisor, open("frm_history")},
        {"销售记录", Guard::KindM, open("frm_salse")},
        {"库存查询", Guard::Supervisor, open("frm_kucun")},
        {"员工工资", Guard::Supervisor, open("frmgz")},
        {"数据删除", Guard::Supervisor, open("frmdeleted")},
        {"数据备份", Guard::KindM, [this] { runBackup(); }},
        {"增加用户", Guard::Supervisor, open("frmadduser")},
        {"删除用户", Guard::Supervisor, open("frmdeleuser")},
        {"更改密码", Guard::None, open("frmchange")},
        {"系统设置", Guard::KindM, open("frmsetup")},
        {"退出系统", Guard::None, [this] { leaveProgram(); }},
    };
    for (const Entry& e : entries) {
        if (text != QString::fromUtf8(e.text))
            continue;
        if (e.guard == Guard::KindM && !rights::guardKindM(ctx_))
            return;
        if (e.guard == Guard::Supervisor && !rights::guardSupervisor(ctx_))
            return;
        e.action();
        return;
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
    panels_[1]->setText(QStringLiteral("使用单位：") + app_settings::companyForStatus(ctx_.settings()));
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
