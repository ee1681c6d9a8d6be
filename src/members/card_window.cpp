#include "card_window.h"

#include "card_service.h"

#include "data/card_ledger.h"
#include "data/schema.h"
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
namespace card = schema::numbercard;

// What is said of a top-up's figures that the rules refuse; `figure` is
// the column added to.
QString refusalText(TopUpRefusal r, const QString& figure)
{
    switch (r) {
    case TopUpRefusal::BadAdded:
        return QStringLiteral("充值%1必须是大于零的数字！").arg(figure);
    case TopUpRefusal::BadReceived:
        return QStringLiteral("收款金额必须是不小于零的数字！");
    case TopUpRefusal::OutOfRange:
        return QStringLiteral("充值后的%1超出范围！").arg(figure);
    case TopUpRefusal::NoFigure:
        return QStringLiteral("此卡类型不能充值！");
    case TopUpRefusal::CardGone:
    case TopUpRefusal::None:
        break;
    }
    return QStringLiteral("此卡号不存在，请确认后重输！");
}

const QString kMoneyPrompt = QStringLiteral("请输入收款金额（元）：");
} // namespace

const QStringList& CardWindow::cardTypes()
{
    static const QStringList types = {QStringLiteral("月卡"), QStringLiteral("季卡"), QStringLiteral("年卡"),
                                      QStringLiteral("钻石卡")};
    return types;
}

CardWindow::CardWindow(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    setWindowTitle(QStringLiteral("开卡管理"));

    const QStringList columns = db().columns(kTable);
    // The card type is reached by mouse or Tab; it keeps its text on clear.
    // clang-format off
    const QList<FieldDef> defs = {
        {.name = "txt_date", .label = "开卡日期", .column = card::kOpened, .kind = FieldKind::Date},
        {.name = "txt_number", .label = "卡   号", .column = card::kNumber, .col = 1},
        {.name = "com_name", .label = "经手人", .column = card::kHandler, .kind = FieldKind::Worker, .col = 2},
        {.name = "txt_name", .label = "顾客姓名", .column = card::kHolder, .row = 1},
        {.name = "txt_service", .label = "服务项目", .column = card::kServiceItem, .row = 1, .col = 1},
        {.name = "txt_jine", .label = "金  额", .column = card::kBalance, .row = 1, .col = 2},
        {.name = "txt_times", .label = "次    数", .column = card::kUses, .row = 2, .flags = Trimmed},
        {.name = "com_style", .label = "卡类型", .column = card::kType, .kind = FieldKind::Combo, .row = 2, .col = 1, .flags = OffChain | KeptOnClear},
        {.name = "txt_remark", .label = "备   注", .column = card::kRemark, .row = 2, .col = 2},
    };
    // clang-format on
    fields_ = new FieldSet(ctx_, this, columns, defs);
    worker_ = fields_->as<WorkerBox>("com_name");
    cardType_ = fields_->as<QComboBox>("com_style");

    buttons_ = entryButtons("cmd_save", "cmd_deleted", "cmd_modify", "cmd_query", "cmd_exit");
    grid_ = namedGrid(ctx_, db(), kTable, "bg");
    topUp_ = button("cmd_topup", QStringLiteral("充值(&T)"));
    entryLayout(this, fields_->layout(), buttons_, grid_, {topUp_});
    fields_->chainTo(buttons_.save);

    QMenu* table3 = grid_->popupMenu();
    table3->setObjectName(QStringLiteral("table3"));
    table3->setTitle(QStringLiteral("表格"));
    const auto menu =
        grid_->addLockMenu({"lock_bg", QStringLiteral("锁定表格")}, {"EDIT_BG", QStringLiteral("编辑表格")},
                           {"fresh", QStringLiteral("刷新表格")}, LockKind::Full, table3, false);
    connect(menu.refresh, &QAction::triggered, this, &CardWindow::showAllCards);
    table3->addSeparator();
    QAction* history = menuItem(table3, {"card_history", QStringLiteral("卡务记录")});
    connect(history, &QAction::triggered, this, &CardWindow::showHistory);

    // The type and remark columns have no sort; a click on them leaves the
    // grid as it is.
    QHash<int, QString> sorts;
    for (int i = 0; i <= 6 && i < columns.size(); ++i)
        sorts.insert(i, columns.at(i));
    grid_->setSortColumns(sorts, {}, UnmappedHeader::Ignore);

    // Edits of the number in the unlocked grid: a number that belongs to
    // another card is refused, as opening a card refuses it.
    grid_->refuseDuplicateEdits(card::kNumber, QStringLiteral("此卡号已存在，不能重复！"));

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
    connect(topUp_, &QPushButton::clicked, this, &CardWindow::topUpCard);
    // The type list is rebuilt whenever its box receives the focus.
    cardType_->installEventFilter(this);

    for (QPushButton* b : {buttons_.remove, buttons_.modify, buttons_.query, topUp_})
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

std::optional<QString> CardWindow::askReceived(const QString& caption, const QString& offered)
{
    MessageService& m = ctx_.messages();
    const QString received = m.input(kMoneyPrompt, caption, offered).trimmed();
    if (received.isEmpty())
        return received;
    if (const TopUpRefusal r = CardService::checkReceived(received); r != TopUpRefusal::None) {
        m.critical(refusalText(r, {}), QStringLiteral("错误"));
        return std::nullopt;
    }
    return received;
}

void CardWindow::saveCard()
{
    KeyedSave how{{card::kNumber, card::kHolder},
                  QStringLiteral("请输入完整的资料！"),
                  {card::kNumber},
                  QStringLiteral("会员资料已存在，你想修改它吗？"),
                  QStringLiteral("修改")};
    // A new card: the money received for it.
    how.beforeInsert = [this](const QStringList& values) -> std::optional<rows::RowWrite> {
        const auto received = askReceived(QStringLiteral("开卡"), CardService::receivedByDefault({}, values));
        if (!received)
            return std::nullopt;
        return [received = *received](Database& db, const QStringList& v) {
            return CardService(db).open(v, received);
        };
    };
    if (keyed_->save(how) != KeyedRows::Saved::Failed)
        fields_->widget("txt_date")->setFocus();
}

void CardWindow::modifyCard()
{
    // A top-up types the new balance or uses over the stored ones: the
    // money received for what they add is asked.
    KeyedModify how{{card::kNumber}};
    how.beforeUpdate = [this](qint64 rowid, const QStringList& values) -> std::optional<KeyedModify::Write> {
        const auto stored = rows::storedRow(db(), kTable, rowid);
        if (stored.failed()) {
            ctx_.messages().databaseError(stored.error());
            return std::nullopt;
        }
        if (!stored || !CardService::raises(*stored, values))
            return KeyedModify::Write();
        const auto received =
            askReceived(QStringLiteral("修改"), CardService::receivedByDefault(*stored, values));
        if (!received)
            return std::nullopt;
        return [received = *received](Database& db, qint64 row, const QStringList& v) {
            return CardService(db).change(row, v, received);
        };
    };
    if (keyed_->modify(how) != KeyedRows::Modified::Failed)
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
    const SearchItem item{QStringLiteral("请输入会员卡号"), QStringLiteral("查询"), card::kNumber,
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

DbValue<qint64> CardWindow::cardInFields()
{
    const QList<Condition> number{{card::kNumber, Op::Eq, fields_->value(card::kNumber)}};
    if (fields_->value(card::kNumber).isEmpty())
        return DbValue<qint64>::none();
    if (keyed_->shown()) {
        const auto shown = rows::rowidIfMatches(db(), kTable, *keyed_->shown(), number);
        if (shown.failed() || shown.found())
            return shown;
    }
    return rows::firstRowid(db(), kTable, number);
}

void CardWindow::topUpCard()
{
    MessageService& m = ctx_.messages();
    const QString error = QStringLiteral("错误");
    const QString caption = QStringLiteral("充值");
    const auto rowid = cardInFields();
    const auto card =
        rowid.found() ? rows::storedRow(db(), kTable, *rowid) : DbValue<QStringList>{rowid.status, {}};
    if (card.failed()) {
        m.databaseError(card.error());
        return;
    }
    if (!card) {
        m.critical(QStringLiteral("此卡号不存在，请确认后重输！"), error);
        return;
    }
    const QString figure = CardService::toppedUp(cards::valueOf(*card, schema::numbercard::kType));
    if (figure.isEmpty()) {
        m.critical(refusalText(TopUpRefusal::NoFigure, figure), error);
        return;
    }
    const bool uses = figure == card::kUses;
    // Each answer is checked by the rule the top-up itself keeps.
    const auto ask = [&](const QString& prompt, const QString& offered,
                         TopUpRefusal (*check)(const QString&)) -> std::optional<QString> {
        const QString answer = m.input(prompt, caption, offered).trimmed();
        if (answer.isEmpty())
            return std::nullopt;
        if (const TopUpRefusal r = check ? check(answer) : TopUpRefusal::None; r != TopUpRefusal::None) {
            m.critical(refusalText(r, figure), error);
            return std::nullopt;
        }
        return answer;
    };
    const auto added = ask(QStringLiteral("请输入充值%1：").arg(figure), {}, &CardService::checkAdded);
    if (!added)
        return;
    // A stored-value card is sold at its face value unless told otherwise.
    const auto received = ask(kMoneyPrompt, uses ? QString() : *added, &CardService::checkReceived);
    if (!received)
        return;
    // Who takes the money: the employee box still shows whoever opened the card.
    const auto handler = ask(QStringLiteral("请输入经手人："), {}, nullptr);
    if (!handler)
        return;
    const TopUpOutcome out = CardService(db()).topUp({*rowid, *added, *received, *handler});
    switch (out.kind) {
    case TopUpOutcome::Failed:
        m.databaseError(out.error);
        return;
    case TopUpOutcome::Refused:
        m.critical(refusalText(out.refusal, figure), error);
        return;
    case TopUpOutcome::Done:
        break;
    }
    ctx_.notifier().changed({kTable, schema::kawu::kTable});
    keyed_->showStored(*rowid);
    m.information(QStringLiteral("充值成功！"), QStringLiteral("信息"));
}

void CardWindow::showHistory()
{
    if (!ctx_.isSupervisor()) {
        ctx_.messages().critical(QStringLiteral("此功能只授权系统管理员操作！"), QStringLiteral("错误"));
        return;
    }
    // Opened by its name, as the main window opens it; told which card.
    if (QWidget* w = ctx_.windows().open(ctx_, QStringLiteral("frm_kawu")))
        QMetaObject::invokeMethod(w, "showCard", Q_ARG(QString, fields_->value(card::kNumber)));
}

} // namespace shop
