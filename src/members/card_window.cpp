#include "card_window.h"

#include "member_rows.h"

#include "ui/widgets.h"

#include "ui/enter_chain.h"
#include "ui/input_filters.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSqlQuery>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

namespace shop {

namespace {
const QString kNumber = QStringLiteral("卡号");

// Edits of the number column in the unlocked grid: a number that belongs to
// another card is refused, as opening a card refuses it.
class CardNumberDelegate : public QStyledItemDelegate {
public:
    CardNumberDelegate(AppContext& ctx, RecordView* grid) : QStyledItemDelegate(grid), ctx_(ctx), grid_(grid)
    {
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        auto* edit = qobject_cast<QLineEdit*>(editor);
        const QString number = edit ? edit->text() : QString();
        const QString stored = index.data(Qt::EditRole).toString();
        if (edit && number.compare(stored, Qt::CaseInsensitive) != 0) {
            QString error;
            const auto other =
                members::firstRowid(ctx_.business(), grid_->table(), {{kNumber, Op::Eq, number}}, &error);
            const qint64 self = index.data(RecordModel::RowidRole).toLongLong();
            if (!error.isEmpty()) {
                ctx_.messages().databaseError(error);
                return;
            }
            if (other && *other != self) {
                ctx_.messages().critical(QStringLiteral("此卡号已存在，不能重复！"), QStringLiteral("错误"));
                return;
            }
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

private:
    AppContext& ctx_;
    RecordView* grid_;
};

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

    txt_date_ = lineEdit("txt_date");
    txt_number_ = lineEdit("txt_number");
    com_name_ = editableCombo("com_name");
    txt_name_ = lineEdit("txt_name");
    txt_service_ = lineEdit("txt_service");
    txt_jine_ = lineEdit("txt_jine");
    txt_times_ = lineEdit("txt_times");
    com_style_ = editableCombo("com_style");
    txt_remark_ = lineEdit("txt_remark");

    auto* fields = new QGridLayout;
    addField(fields, 0, 0, QStringLiteral("开卡日期"), txt_date_);
    addField(fields, 0, 1, QStringLiteral("卡   号"), txt_number_);
    addField(fields, 0, 2, QStringLiteral("经手人"), com_name_);
    addField(fields, 1, 0, QStringLiteral("顾客姓名"), txt_name_);
    addField(fields, 1, 1, QStringLiteral("服务项目"), txt_service_);
    addField(fields, 1, 2, QStringLiteral("金  额"), txt_jine_);
    addField(fields, 2, 0, QStringLiteral("次    数"), txt_times_);
    addField(fields, 2, 1, QStringLiteral("卡类型"), com_style_);
    addField(fields, 2, 2, QStringLiteral("备   注"), txt_remark_);

    cmd_save_ = button("cmd_save", QStringLiteral("保存(&S)"));
    cmd_deleted_ = button("cmd_deleted", QStringLiteral("删除(&D)"));
    cmd_modify_ = button("cmd_modify", QStringLiteral("修改(&M)"));
    cmd_query_ = button("cmd_query", QStringLiteral("查询(&Q)"));
    cmd_exit_ = button("cmd_exit", QStringLiteral("退出(&E)"));
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {cmd_save_, cmd_deleted_, cmd_modify_, cmd_query_, cmd_exit_})
        buttons->addWidget(b);
    buttons->addStretch();

    bg_ = new RecordView(ctx_, db(), kTable);
    bg_->setObjectName(QStringLiteral("bg"));

    auto* top = new QHBoxLayout;
    top->addLayout(fields, 1);
    top->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(bg_, 1);

    // The grid's popup menu and its lock pair.
    QMenu* table3 = bg_->popupMenu();
    table3->setObjectName(QStringLiteral("table3"));
    table3->setTitle(QStringLiteral("表格"));
    QAction* lockBg = table3->addAction(QStringLiteral("锁定表格"));
    lockBg->setObjectName(QStringLiteral("lock_bg"));
    table3->addSeparator();
    QAction* editBg = table3->addAction(QStringLiteral("编辑表格"));
    editBg->setObjectName(QStringLiteral("EDIT_BG"));
    table3->addSeparator();
    QAction* fresh = table3->addAction(QStringLiteral("刷新表格"));
    fresh->setObjectName(QStringLiteral("fresh"));
    bg_->setLockPair(lockBg, editBg, LockKind::Full);
    connect(fresh, &QAction::triggered, this, &CardWindow::showAllCards);

    // Header sorts: the type and remark columns have none, and a click on
    // them leaves the grid as it is.
    QHash<int, QString> sorts;
    const QStringList columns = db().columns(kTable);
    for (int i = 0; i <= 6 && i < columns.size(); ++i)
        sorts.insert(i, columns.at(i));
    bg_->setSortColumns(sorts);
    disconnect(bg_->horizontalHeader(), &QHeaderView::sectionClicked, bg_, &RecordView::sortByHeader);
    connect(bg_->horizontalHeader(), &QHeaderView::sectionClicked, this, &CardWindow::headerClicked);

    const int numberColumn = static_cast<int>(columns.indexOf(kNumber));
    if (numberColumn >= 0)
        bg_->setItemDelegateForColumn(numberColumn, new CardNumberDelegate(ctx_, bg_));

    connect(bg_, &RecordView::rowClicked, this, &CardWindow::showClickedCard);
    connect(cmd_save_, &QPushButton::clicked, this, &CardWindow::saveCard);
    connect(cmd_modify_, &QPushButton::clicked, this, &CardWindow::modifyCard);
    connect(cmd_deleted_, &QPushButton::clicked, this, &CardWindow::deleteCard);
    connect(cmd_query_, &QPushButton::clicked, this, &CardWindow::queryCards);
    connect(cmd_exit_, &QPushButton::clicked, this, &QWidget::close);

    // Both lists are rebuilt whenever their box receives the focus.
    com_name_->installEventFilter(this);
    com_style_->installEventFilter(this);

    // Enter moves along the fields; the card type is reached by mouse or Tab.
    chain_ = new EnterChain(ctx_.messages(), this);
    chain_->add(txt_date_, txt_number_);
    chain_->add(txt_number_, com_name_);
    chain_->add(com_name_, txt_name_);
    chain_->add(txt_name_, txt_service_);
    chain_->add(txt_service_, txt_jine_);
    chain_->add(txt_jine_, txt_times_);
    chain_->add(txt_times_, txt_remark_);
    chain_->add(txt_remark_, cmd_save_);

    bg_->addStateItem(cmd_deleted_);
    bg_->addStateItem(cmd_modify_);
    bg_->addStateItem(cmd_query_);
    // The timer keeps the states in step; a re-read brings them in step at once.
    connect(bg_, &RecordView::reran, bg_, &RecordView::updateItemStates);
    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("Timer1"));
    connect(timer_, &QTimer::timeout, bg_, &RecordView::updateItemStates);
    timer_->start(200);

    resize(820, 560);
    centreOnScreen(this);

    bg_->refresh();
    txt_date_->setText(ctx_.today());
    bg_->lock();
    bg_->updateItemStates();
}

void CardWindow::clear_card_fields()
{
    txt_date_->setText(ctx_.today());
    txt_number_->clear();
    com_name_->setEditText(QString());
    txt_name_->clear();
    txt_service_->clear();
    txt_jine_->clear();
    txt_times_->clear();
    txt_remark_->clear();
}

void CardWindow::show_card(const QStringList& card)
{
    txt_date_->setText(card.value(0));
    txt_number_->setText(card.value(1));
    com_name_->setEditText(card.value(2));
    txt_name_->setText(card.value(3));
    txt_service_->setText(card.value(4));
    txt_jine_->setText(card.value(5));
    txt_times_->setText(card.value(6).trimmed());
    com_style_->setEditText(card.value(7));
    txt_remark_->setText(card.value(8));
}

void CardWindow::fill_worker_list()
{
    const QString typed = com_name_->currentText();
    com_name_->clear();
    QStringList names;
    const QStringList workerColumns = db().columns(QStringLiteral("worker"));
    if (!workerColumns.isEmpty()) {
        db().select(
            QStringLiteral("SELECT %1 FROM worker ORDER BY rowid").arg(quoteIdent(workerColumns.first())), {},
            [&names](const QSqlQuery& q) {
                names << q.value(0).toString();
                return true;
            });
    }
    if (names.isEmpty()) {
        com_name_->setEditText(QString());
        return;
    }
    com_name_->addItems(names);
    com_name_->setEditText(typed);
}

void CardWindow::fillCardTypes()
{
    const QString typed = com_style_->currentText();
    com_style_->clear();
    com_style_->addItems(cardTypes());
    com_style_->setEditText(typed);
}

bool CardWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (watched == com_name_)
            fill_worker_list();
        else if (watched == com_style_)
            fillCardTypes();
    }
    return QWidget::eventFilter(watched, event);
}

QStringList CardWindow::fieldValues() const
{
    return {txt_date_->text(),  txt_number_->text(),       com_name_->currentText(),
            txt_name_->text(),  txt_service_->text(),      txt_jine_->text(),
            txt_times_->text(), com_style_->currentText(), txt_remark_->text()};
}

void CardWindow::saveCard()
{
    if (txt_number_->text().isEmpty() || txt_name_->text().isEmpty()) {
        ctx_.messages().critical(QStringLiteral("请输入完整的资料！"), QStringLiteral("错误"));
        txt_date_->setFocus();
        return;
    }
    // The whole table, not only the rows the grid shows: a second card with
    // this number would be charged in place of the first.
    QString error;
    const auto existing = members::firstRowid(db(), kTable, {{kNumber, Op::Eq, txt_number_->text()}}, &error);
    if (!error.isEmpty()) {
        ctx_.messages().databaseError(error);
        return;
    }
    if (!existing) {
        const DbResult r = db().exec(members::insertSql(db(), kTable), members::textBinds(fieldValues()));
        if (!r) {
            ctx_.messages().databaseError(r.error); // the typed card stays in the fields
            return;
        }
        // Every view of the table re-reads, this grid included.
        emit ctx_.notifier().tableChanged(kTable);
        clear_card_fields();
        txt_date_->setFocus();
        return;
    }
    if (ctx_.messages().question(QStringLiteral("会员资料已存在，你想修改它吗？"), QStringLiteral("修改"))) {
        if (const auto card = members::storedRow(db(), kTable, *existing))
            show_card(*card);
    } else {
        clear_card_fields();
    }
    txt_date_->setFocus();
}

void CardWindow::modifyCard()
{
    const QString number = txt_number_->text();
    QString error;
    const auto existing = members::firstRowid(db(), kTable, {{kNumber, Op::Eq, number}}, &error);
    if (!error.isEmpty()) {
        ctx_.messages().databaseError(error);
        return;
    }
    if (!existing) {
        ctx_.messages().critical(QStringLiteral("未找到相应的记录修改！"), QStringLiteral("错误"));
        bg_->rerun();
    } else {
        // One statement: the typed values replace the stored ones (a top-up
        // types the new total), and nothing is left half-written.
        QVariantList binds = members::textBinds(fieldValues());
        binds << textValue(number);
        const DbResult r = db().exec(members::updateAllSql(db(), kTable) +
                                         QStringLiteral(" WHERE %1 = ?").arg(quoteIdent(kNumber)),
                                     binds);
        if (!r) {
            ctx_.messages().databaseError(r.error);
            return;
        }
        ctx_.messages().information(QStringLiteral("修改成功！"), QStringLiteral("信息"));
        emit ctx_.notifier().tableChanged(kTable);
    }
    clear_card_fields();
    txt_date_->setFocus();
}

void CardWindow::deleteCard()
{
    bg_->deleteSelected(RecordView::defaultDeleteQuestion(), QStringLiteral("删除"));
    txt_date_->setFocus();
}

void CardWindow::queryCards()
{
    clear_card_fields();
    SearchItem item{QStringLiteral("请输入会员卡号"), QStringLiteral("查询"), kNumber,
                    QStringLiteral("未找到相应的记录！"), QStringLiteral("错误")};
    const QString answer = ctx_.messages().input(item.prompt, item.title, QString());
    if (answer.isEmpty())
        return;
    bg_->searchFor(item, answer);
    txt_date_->setFocus();
}

void CardWindow::showAllCards()
{
    clear_card_fields();
    bg_->refresh();
}

void CardWindow::showClickedCard(const Record& record)
{
    // Read afresh: business entry may have charged the card since the grid
    // read its page.
    if (const auto card = members::storedRow(db(), kTable, record.rowid))
        show_card(*card);
}

void CardWindow::headerClicked(int index)
{
    if (index < 0 || index > 6)
        return;
    bg_->sortByHeader(index);
}

} // namespace shop
