#include "customer_window.h"

#include "ui/field_set.h"
#include "ui/input_filters.h"
#include "ui/keyed_rows.h"
#include "ui/widgets.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>

namespace shop {

namespace {
namespace guke = schema::guke;

// A key that types a character (Enter and Backspace included); arrows,
// Tab and shortcuts are not.
bool typesCharacter(const QKeyEvent* k)
{
    switch (k->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Backspace:
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return false;
    default:
        break;
    }
    if (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString t = k->text();
    return !t.isEmpty() && t.at(0).isPrint();
}
} // namespace

CustomerWindow::CustomerWindow(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    setWindowTitle(QStringLiteral("顾客信息管理"));

    // clang-format off
    const QList<FieldDef> defs = {
        {.name = "txt_guke_num", .label = "编    号", .column = guke::kNumber},
        {.name = "txt_guke_name", .label = "姓    名", .column = guke::kName, .col = 1},
        {.name = "txt_guke_sex", .label = "性    别", .column = guke::kSex, .col = 2},
        {.name = "txt_guke_bron", .label = "出生年月", .column = guke::kBorn, .row = 1},
        {.name = "txt_guke_tel", .label = "联系电话", .column = guke::kPhone, .row = 1, .col = 1},
        {.name = "txt_guke_creat", .label = "创建日期", .column = guke::kCreated, .row = 1, .col = 2},
        {.name = "txt_guke_address", .label = "通信地址", .column = guke::kAddress, .row = 2, .span = 3},
        {.name = "txt_guke_person", .label = "个人分析", .column = guke::kAnalysis, .row = 3, .span = 3},
    };
    // clang-format on
    fields_ = new FieldSet(ctx_, this, db().columns(kTable), defs);
    number_ = fields_->as<QLineEdit>("txt_guke_num");

    buttons_ =
        entryButtons("cmd_guke_save", "cmd_guke_del", "cmd_guke_mod", "cmd_guke_query", "cmd_guke_exit");
    grid_ = namedGrid(ctx_, db(), kTable, "bg");
    entryLayout(this, fields_->layout(), buttons_, grid_);
    fields_->chainTo(buttons_.save);
    // Installed after the chain, so the locked-number warning comes before
    // Enter moves on.
    number_->installEventFilter(this);

    gridMenu_ = grid_->popupMenu();
    gridMenu_->setObjectName(QStringLiteral("eidt_bg"));
    gridMenu_->setTitle(QStringLiteral("表格编辑"));
    grid_->addLockMenu({"lock_bg", QStringLiteral("表格锁定")}, {"unlock_bg", QStringLiteral("表格解锁")},
                       {"bg_fresh", QStringLiteral("刷新表格")}, LockKind::Full);
    // The menu is disabled while the grid is empty: no popup then.
    grid_->viewport()->installEventFilter(this);

    keyed_ = std::make_unique<KeyedRows>(*grid_, *fields_);
    keyed_->setShow([this](qint64 rowid, const QStringList& customer) { show_guke(rowid, customer); });
    keyed_->setClear([this] {
        setNumberLocked(false);
        fields_->clear();
    });

    connect(grid_, &RecordView::rowClicked, this, &CustomerWindow::showClickedCustomer);
    connect(buttons_.save, &QPushButton::clicked, this, &CustomerWindow::saveCustomer);
    connect(buttons_.modify, &QPushButton::clicked, this, &CustomerWindow::modifyCustomer);
    connect(buttons_.remove, &QPushButton::clicked, this, &CustomerWindow::deleteCustomer);
    connect(buttons_.query, &QPushButton::clicked, this, &CustomerWindow::queryCustomers);
    connect(buttons_.exit, &QPushButton::clicked, this, &QWidget::close);

    for (QPushButton* b : {buttons_.remove, buttons_.modify, buttons_.query})
        grid_->addStateItem(b);
    grid_->addStateItem(gridMenu_);
    // Nobody is shown once the grid is empty: the number box opens again.
    connect(grid_, &RecordView::statesUpdated, this, [this] {
        if (grid_->isEmpty() && numberLocked_)
            setNumberLocked(false);
    });
    grid_->startItemStateTimer(100, "Timer1");

    resize(820, 560);
    centreOnScreen(this);

    grid_->lock();
    grid_->refresh();
}

CustomerWindow::~CustomerWindow() = default;

void CustomerWindow::setNumberLocked(bool locked)
{
    numberLocked_ = locked;
    number_->setReadOnly(locked);
}

void CustomerWindow::clear_guke_fields()
{
    keyed_->clear();
}

void CustomerWindow::show_guke(qint64, const QStringList& customer)
{
    setNumberLocked(true);
    fields_->show(customer);
}

bool CustomerWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == number_ && event->type() == QEvent::KeyPress && numberLocked_) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (typesCharacter(k)) {
            ctx_.messages().critical(QStringLiteral("编号目前是唯一标识，不能在此修改！"),
                                     QStringLiteral("错误"));
            // Enter still moves on (the chain sees it next); nothing is typed.
            const bool enter = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter;
            return !enter;
        }
    }
    if (watched == grid_->viewport() && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton && !gridMenu_->isEnabled())
        return true;
    return QWidget::eventFilter(watched, event);
}

void CustomerWindow::saveCustomer()
{
    // Number and name together tell customers apart.
    const auto saved = keyed_->save({{guke::kNumber, guke::kName},
                                     QStringLiteral("请输入完整的数据！"),
                                     {guke::kNumber, guke::kName},
                                     QStringLiteral("此顾客资料已存在，你想修改它吗？"),
                                     QStringLiteral("信息")});
    // A customer shown after Yes keeps the focus where it was.
    if (saved != KeyedRows::Saved::Failed && saved != KeyedRows::Saved::Shown)
        number_->setFocus();
}

void CustomerWindow::modifyCustomer()
{
    // Several customers may share a number, so the change is written to one
    // row: the customer shown, or else the first with the typed number.
    if (keyed_->modify({{guke::kNumber}}) != KeyedRows::Modified::Failed)
        number_->setFocus();
}

void CustomerWindow::deleteCustomer()
{
    grid_->deleteSelected(QStringLiteral("真的想删除所选的记录?"), QStringLiteral("删除"));
    clear_guke_fields();
    number_->setFocus();
}

void CustomerWindow::queryCustomers()
{
    const SearchItem item{QStringLiteral("请输入要查询的姓名："), QStringLiteral("查询"), guke::kName,
                          QStringLiteral("找不到相应的记录！"), QStringLiteral("错误")};
    if (grid_->search(item) == SearchResult::Cancelled)
        return;
    clear_guke_fields();
}

void CustomerWindow::showClickedCustomer(const Record& record)
{
    keyed_->showStored(record.rowid);
}

} // namespace shop
