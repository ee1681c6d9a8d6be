#include "ledger_tab.h"

#include "data/clock.h"
#include "data/money.h"
#include "data/table_rows.h"
#include "ui/field_set.h"
#include "ui/record_view.h"
#include "ui/widgets.h"

#include <QAction>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace shop {

namespace {
namespace ledger = schema::shouzhi;
const char* const kDateBox = "txt_shou_date";
} // namespace

LedgerTab::LedgerTab(AppContext& ctx, QWidget* parent) : TabPage(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("shouzhi_page"));

    // clang-format off
    const QList<FieldDef> defs = {
        {.name = kDateBox, .label = "日    期", .column = ledger::kDate, .kind = FieldKind::Date},
        {.name = "txt_shou_shixiang", .label = "事    项 ", .column = ledger::kMatter, .col = 1},
        {.name = "txt_shou_zhicu", .label = "支出费用", .column = ledger::kExpense, .row = 1},
        {.name = "txt_shou_qita", .label = "收    入", .column = ledger::kIncome, .row = 1, .col = 1},
        {.name = "txt_shou_remark", .label = "说    明", .column = ledger::kRemark, .row = 2, .span = 2},
    };
    // clang-format on
    fields_ = new FieldSet(ctx_, this, ctx_.business().columns(kTable), defs);
    // The period of the total, below the entry.
    from_ = dateEdit("txt_from");
    to_ = dateEdit("txt_to");
    addField(fields_->layout(), 3, 0, QStringLiteral("从"), from_);
    addField(fields_->layout(), 3, 1, QStringLiteral("到"), to_);

    buttons_ = entryButtons("cmd_shou_save", "cmd_shou_del", "cmd_shou_modi", "cmd_shou_count",
                            "cmd_shou_exit", {"保存", "删除", "清除", "统计", "退出"});
    grid_ = namedGrid(ctx_, ctx_.business(), kTable, "shou_bg", "Data3");
    setStateGrid(grid_);
    entryLayout(this, fields_->layout(), buttons_, grid_);
    fields_->chainTo(buttons_.save);

    connect(buttons_.save, &QPushButton::clicked, this, &LedgerTab::saveEntry);
    connect(buttons_.modify, &QPushButton::clicked, this, &LedgerTab::clearForEntry);
    connect(buttons_.remove, &QPushButton::clicked, this, &LedgerTab::deleteEntry);
    connect(buttons_.query, &QPushButton::clicked, this, &LedgerTab::periodTotal);
    closesWith(buttons_.exit, [this] { clear_fields(); });
    for (QPushButton* b : {buttons_.remove, buttons_.modify, buttons_.query})
        grid_->addStateItem(b);

    // At first: no in-place edits, but the grid's own delete allowed.
    grid_->setSortMap({}, UnmappedHeader::Ignore);
    grid_->setAllowUpdate(false);
    grid_->setAllowDelete(true);
    grid_->refresh();
    clear_fields();
    updateStates();
}

void LedgerTab::setContextMenu(QMenu* menu)
{
    TabPage::setContextMenu(menu);
    // The pair without locking: the grid keeps its opening flags.
    grid_->adoptMenu(menu, {"bg_lock", "bg_unlock", "bg_fresh"}, LockKind::Full, AdoptedLock::KeepFlags);
}

void LedgerTab::showTab()
{
    fields_->setText(kDateBox, ctx_.today());
    from_->setText(thirtyDaysAgoText(ctx_.clock()));
    to_->setText(ctx_.today());
    fields_->widget(kDateBox)->setFocus();
    // The edit item keeps its state; the lock item is disabled on each showing.
    if (QAction* lock = grid_->lockItem())
        lock->setEnabled(false);
}

void LedgerTab::clear_fields()
{
    fields_->clear();
    fields_->setText(kDateBox, ctx_.today());
}

void LedgerTab::saveEntry()
{
    // Nothing is required: an empty entry is stored as five empty texts.
    // A failure is said and the entry stays for another try.
    if (!ctx_.wrote(rows::insert(ctx_.business(), kTable, fields_->values()), {kTable}))
        return;
    clear_fields();
    fields_->widget(kDateBox)->setFocus();
}

void LedgerTab::clearForEntry()
{
    clear_fields();
    fields_->setText(kDateBox, QString());
}

void LedgerTab::deleteEntry()
{
    switch (grid_->deleteSelected(QStringLiteral("真的想删除所选的记录吗？"), QStringLiteral("确认"))) {
    case DeleteResult::NoRow:
        buttons_.remove->setEnabled(false);
        break;
    case DeleteResult::No:
        clear_fields();
        fields_->widget(kDateBox)->setFocus();
        break;
    case DeleteResult::Deleted:
    case DeleteResult::Failed:
        break;
    }
    grid_->rerun();
}

void LedgerTab::periodTotal()
{
    // Dates are texts compared character by character: only the stored form
    // compares as a date (2026-12-9 would take in the 10th to the 31st).
    if (!checkDateBox(from_, ctx_.messages(), ctx_.today()) ||
        !checkDateBox(to_, ctx_.messages(), ctx_.today()))
        return;
    const QString from = from_->text();
    const QString to = to_->text();
    const RecordSource period =
        RecordSource::all(kTable).filter(ledger::kDate, Op::Ge, from).filter(ledger::kDate, Op::Le, to);
    if (grid_->showOrFallBack(period, QStringLiteral("没有找到相应的记录！"), QStringLiteral("错误")) !=
        SearchResult::Found)
        return;
    const auto totals = money::cashIn(ctx_.business(), period);
    if (totals.failed()) {
        ctx_.messages().databaseError(totals.error());
        return;
    }
    const money::RoundedTotal expense = totals->expense;
    const money::RoundedTotal income = totals->income;
    if (expense.overflow || income.overflow) {
        ctx_.messages().critical(QStringLiteral("该期间的支出或收入合计超出范围，无法统计！"),
                                 QStringLiteral("错误"));
        return;
    }
    ctx_.messages().information(QStringLiteral("从") + from + QStringLiteral("到") + to +
                                    QStringLiteral("期间，支出") + QString::number(expense.total) +
                                    QStringLiteral("元，收入") + QString::number(income.total) +
                                    QStringLiteral("元"),
                                QStringLiteral("统计"));
}

} // namespace shop
