#include "card_window.h"

#include "data/table_rows.h"
#include "ui/field_set.h"
#include "ui/input_filters.h"
#include "ui/keyed_rows.h"
#include "ui/widgets.h"
#include "ui/worker_box.h"

#include <QComboBox>
#include <QGridLayout>
#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

namespace shop {

namespace {
const QString kNumber = QStringLiteral("卡号");
} // namespace

const QStringList& CardWindow::cardTypes()
{
    static const QStringList types = {QStringLiteral("月卡"), QStringLiteral("季卡"), QStringLiteral("年卡"),
                                      QStringLiteral("钻石卡")};
    return types;
}

CardWindow::CardWindow(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("frm_card"));
    setWindowTitle(QStringLiteral("开卡管理"));

    const QStringList columns = db().columns(kTable);
    // The card type is reached by mouse or Tab; it keeps its text on clear.
    fields_ = new FieldSet(
        ctx_, this, columns,
        {
            {"txt_date", "开卡日期", "开卡日期", {}, FieldKind::Date, 0, 0},
            {"txt_number", "卡   号", kNumber, {}, FieldKind::Line, 0, 1},
            {"com_name", "经手人", "经手人", {}, FieldKind::Worker, 0, 2},
            {"txt_name", "顾客姓名", "顾客姓名", {}, FieldKind::Line, 1, 0},
            {"txt_service", "服务项目", "服务项目", {}, FieldKind::Line, 1, 1},
            {"txt_jine", "金  额", "金额", {}, FieldKind::Line, 1, 2},
            {"txt_times", "次    数", "次数", {}, FieldKind::Line, 2, 0, 1, Trimmed},
            {"com_style", "卡类型", "卡类型", {}, FieldKind::Combo, 2, 1, 1, OffChain | KeptOnClear},
            {"txt_remark", "备   注", "备注", {}, FieldKind::Line, 2, 2},
        });
    worker_ = fields_->as<WorkerBox>("com_name");
    cardType_ = fields_->as<QComboBox>("com_style");

    buttons_ = entryButtons("cmd_save", "cmd_deleted", "cmd_modify", "cmd_query", "cmd_exit");
    grid_ = new RecordView(ctx_, db(), kTable);
    grid_->setObjectName(QStringLiteral("bg"));
    entryLayout(this, fields_->layout(), buttons_, grid_);
    fields_->chainTo(buttons_.save);

    QMenu* table3 = grid_->popupMenu();
    table3->setObjectName(QStringLiteral("table3"));
    table3->setTitle(QStringLiteral("表格"));
    const auto menu =
        grid_->addLockMenu({"lock_bg", QStringLiteral("锁定表格")}, {"EDIT_BG", QStringLiteral("编辑表格")},
                           {"fresh", QStringLiteral("刷新表格")}, LockKind::Full, table3, false);
    connect(menu.refresh, &QAction::triggered, this, &CardWindow::showAllCards);

    // The type and remark columns have no sort; a click on them leaves the
    // grid as it is.
    QHash<int, QString> sorts;
    for (int i = 0; i <= 6 && i < columns.size(); ++i)
        sorts.insert(i, columns.at(i));
    grid_->setSortColumns(sorts, {}, UnmappedHeader::Ignore);

    // Edits of the number in the unlocked grid: a number that belongs to
    // another card is refused, as opening a card refuses it.
    grid_->refuseDuplicateEdits(kNumber, QStringLiteral("此卡号已存在，不能重复！"));

    keyed_ = std::make_unique<KeyedRows>(*grid_, *fields_);
    keyed_->setShow([this](qint64, const QStringList& card) { show_card(card); });
    keyed_->setClear([this] {
        fields_->clear();
        fields_->setText("txt_date", ctx_.today());
    });

    connect(grid_, &RecordView::rowClicked, this, &CardWindow::showClickedCard);
    connect(buttons_.save, &QPushButton::clicked, this, &CardWindow::saveCard);
    connect(buttons_.modify, &QPushButton::clicked, this, &CardWindow::modifyCard);
    connect(buttons_.remove, &QPushButton::clicked, this, &CardWindow::deleteCard);
    connect(buttons_.query, &QPushButton::clicked, this, &CardWindow::queryCards);
    connect(buttons_.exit, &QPushButton::clicked, this, &QWidget::close);
    // The type list is rebuilt whenever its box receives the focus.
    cardType_->installEventFilter(this);

    for (QPushButton* b : {buttons_.remove, buttons_.modify, buttons_.query})
        grid_->addStateItem(b);
    grid_->startItemStateTimer(200, "Timer1");

    resize(820, 560);
    centreOnScreen(this);

    grid_->refresh();
    fields_->setText("txt_date", ctx_.today());
    grid_->lock();
}

CardWindow::~CardWindow() = default;

void CardWindow::clear_card_fields()
{
    keyed_->clear();
}

void CardWindow::show_card(const QStringList& card)
{
    fields_->show(card);
}

void CardWindow::fill_worker_list()
{
    worker_->fill_worker_list();
}

void CardWindow::fillCardTypes()
{
    const QString typed = cardType_->currentText();
    cardType_->clear();
    cardType_->addItems(cardTypes());
    cardType_->setEditText(typed);
}

bool CardWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The focus coming back from the box's own drop-down is not a new
    // visit: rebuilding the list then would drop the entry being chosen.
    if (watched == cardType_ && event->type() == QEvent::FocusIn &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
        fillCardTypes();
    return QWidget::eventFilter(watched, event);
}

void CardWindow::saveCard()
{
    const auto saved = keyed_->save({{kNumber, QStringLiteral("顾客姓名")},
                                     QStringLiteral("请输入完整的资料！"),
                                     {kNumber},
                                     QStringLiteral("会员资料已存在，你想修改它吗？"),
                                     QStringLiteral("修改")});
    if (saved != KeyedRows::Saved::Failed)
        fields_->widget("txt_date")->setFocus();
}

void CardWindow::modifyCard()
{
    // A top-up types the new balance or uses over the stored ones.
    if (keyed_->modify({{kNumber}}) != KeyedRows::Modified::Failed)
        fields_->widget("txt_date")->setFocus();
}

void CardWindow::deleteCard()
{
    grid_->deleteSelected(RecordView::defaultDeleteQuestion(), QStringLiteral("删除"));
    fields_->widget("txt_date")->setFocus();
}

void CardWindow::queryCards()
{
    clear_card_fields();
    const SearchItem item{QStringLiteral("请输入会员卡号"), QStringLiteral("查询"), kNumber,
                          QStringLiteral("未找到相应的记录！"), QStringLiteral("错误")};
    if (grid_->search(item) != SearchResult::Cancelled)
        fields_->widget("txt_date")->setFocus();
}

void CardWindow::showAllCards()
{
    clear_card_fields();
    grid_->refresh();
}

void CardWindow::showClickedCard(const Record& record)
{
    // Read afresh: business entry may have charged the card since the grid
    // read its page.
    keyed_->showStored(record.rowid);
}

} // namespace shop
