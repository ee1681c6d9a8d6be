#include "ledger_tab.h"

#include "data/clock.h"
#include "data/table_rows.h"
#include "ui/field_set.h"
#include "ui/record_view.h"

#include <QAction>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

namespace shop {

namespace {
const QString kDate = QStringLiteral("日期");
const char* const kDateBox = "txt_shou_date";
} // namespace

LedgerTab::LedgerTab(AppContext& ctx, QWidget* parent) : TabPage(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("shouzhi_page"));

    const QStringList columns = ctx_.business().columns(kTable);
    fields_ =
        new FieldSet(ctx_, this, columns,
                     {
                         {kDateBox, "日    期", columns.value(0), {}, FieldKind::Date, 0, 0},
                         {"txt_shou_shixiang", "事    项 ", columns.value(1), {}, FieldKind::Line, 0, 1},
                         {"txt_shou_zhicu", "支出费用", columns.value(2), {}, FieldKind::Line, 1, 0},
                         {"txt_shou_qita", "收    入", columns.value(3), {}, FieldKind::Line, 1, 1},
                         {"txt_shou_remark", "说    明", columns.value(4), {}, FieldKind::Line, 2, 0, 2},
                     });
    // The period of the total, below the entry.
    from_ = dateEdit("txt_from");
    to_ = dateEdit("txt_to");
    addField(fields_->layout(), 3, 0, QStringLiteral("从"), from_);
    addField(fields_->layout(), 3, 1, QStringLiteral("到"), to_);

    buttons_ =
        entryButtons("cmd_shou_save", "cmd_shou_del", "cmd_shou_modi", "cmd_shou_count", "cmd_shou_exit");
    buttons_.save->setText(QStringLiteral("保存"));
    buttons_.remove->setText(QStringLiteral("删除"));
    buttons_.modify->setText(QStringLiteral("清除"));
    buttons_.query->setText(QStringLiteral("统计"));
    buttons_.exit->setText(QStringLiteral("退出"));
    grid_ = new RecordView(ctx_, ctx_.business(), kTable);
    grid_->setObjectName(QStringLiteral("shou_bg"));
    grid_->records()->setObjectName(QStringLiteral("Data3"));
    entryLayout(this, fields_->layout(), buttons_, grid_);
    fields_->chainTo(buttons_.save);

    connect(buttons_.save, &QPushButton::clicked, this, &LedgerTab::saveEntry);
    connect(buttons_.modify, &QPushButton::clicked, this, &LedgerTab::clearForEntry);
    connect(buttons_.remove, &QPushButton::clicked, this, &LedgerTab::deleteEntry);
    connect(buttons_.query, &QPushButton::clicked, this, &LedgerTab::periodTotal);
    connect(buttons_.exit, &QPushButton::clicked, this, [this] {
        clear_fields();
        emit closeRequested();
    });
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
    if (!menu)
        return;
    grid_->setPopupMenu(menu);
    auto item = [menu](const char* name) { return menu->findChild<QAction*>(QLatin1String(name)); };
    QAction* lock = item("bg_lock");
    QAction* unlock = item("bg_unlock");
    if (lock && unlock) {
        // The pair without locking: the grid keeps its opening flags.
        grid_->setLockPair(lock, unlock, LockKind::Full);
        lock->setEnabled(false);
        unlock->setEnabled(true);
    }
    if (QAction* refresh = item("bg_fresh"))
        connect(refresh, &QAction::triggered, grid_, &RecordView::refresh);
}

void LedgerTab::showTab()
{
    fields_->setText(kDateBox, ctx_.today());
    from_->setText(thirtyDaysAgoText(ctx_.clock()));
    to_->setText(ctx_.today());
    fields_->widget(kDateBox)->setFocus();
    // The edit item keeps its state; the lock item is disabled on each showing.
    if (QMenu* menu = contextMenu())
        if (auto* lock = menu->findChild<QAction*>(QStringLiteral("bg_lock")))
            lock->setEnabled(false);
}

void LedgerTab::updateStates()
{
    grid_->updateItemStates();
}

void LedgerTab::clear_fields()
{
    fields_->clear();
    fields_->setText(kDateBox, ctx_.today());
}

void LedgerTab::saveEntry()
{
    // Nothing is required: an empty entry is stored as five empty texts.
    const DbResult r = rows::insert(ctx_.business(), kTable, fields_->values());
    if (!r) {
        ctx_.messages().databaseError(r.error); // the entry stays for another try
        return;
    }
    emit ctx_.notifier().tableChanged(kTable);
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
    const QString from = from_->text();
    const QString to = to_->text();
    // Dates are texts: the period compares them character by character.
    const RecordSource period =
        RecordSource::all(kTable).filter(kDate, Op::Ge, from).filter(kDate, Op::Le, to);
    if (!grid_->setSource(period))
        return;
    if (grid_->isEmpty()) {
        ctx_.messages().critical(QStringLiteral("没有找到相应的记录！"), QStringLiteral("错误"));
        grid_->refresh();
        return;
    }
    const QStringList columns = ctx_.business().columns(kTable);
    const auto totals = rows::sumRoundedEach(ctx_.business(), period, {columns.value(2), columns.value(3)});
    if (totals.failed()) {
        ctx_.messages().databaseError(totals.error());
        return;
    }
    const rows::RoundedTotal expense = totals->at(0);
    const rows::RoundedTotal income = totals->at(1);
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
