#include "stock_ledger_window.h"

#include "data/numeric.h"
#include "data/schema.h"
#include "data/stock_ledger.h"
#include "ui/enter_chain.h"
#include "ui/widgets.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace shop {

namespace {
namespace l = schema::liushui;
} // namespace

StockLedgerWindow::StockLedgerWindow(AppContext& ctx, QWidget* parent)
    : BrowserWindow(ctx,
                    {QStringLiteral("frm_liushui"), QStringLiteral("库存流水"), l::kTable,
                     QStringLiteral("liushui_menu"), QStringLiteral("库存流水")},
                    parent)
{
    code_ = lineEdit("txt_code");
    from_ = dateEdit("txt_from");
    to_ = dateEdit("txt_to");
    from_->setText(thirtyDaysAgoText(ctx_.clock()));
    to_->setText(ctx_.today());
    QPushButton* searchButton = button("cmd_search", QStringLiteral("查询(&S)"));
    QPushButton* exitButton = button("cmd_exit", QStringLiteral("退出(&E)"));
    auto* fields = new QGridLayout;
    addField(fields, 0, 0, QStringLiteral("产品编号"), code_);
    addField(fields, 0, 1, QStringLiteral("从"), from_);
    addField(fields, 0, 2, QStringLiteral("到"), to_);
    fields->addLayout(buttonRow({searchButton, exitButton}, SpareWidth::None), 0, 6);
    addControlRow(fields);

    grid()->setWarnWhenLocked(true);
    // The line's row in jinhuo is the ledger's own business.
    shown_ = schema::columnsOf(l::kTable);
    shown_.removeAll(l::kLineRow);
    totals_ = valueLabel("lab_total");
    layout()->addWidget(totals_);

    auto* chain = new EnterChain(ctx_.messages(), this);
    chain->setHandler(code_, [this] { search(); });
    chain->add(from_, to_);
    chain->setHandler(to_, [this] { search(); });
    connect(searchButton, &QPushButton::clicked, this, &StockLedgerWindow::search);
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(grid(), &RecordView::reran, this, &StockLedgerWindow::showTotals);
    // Every write of a line's stock writes its ledger row.
    connect(&ctx_.notifier(), &TableNotifier::tableChanged, this, [this](const QString& table) {
        if (stock::isGoodsTable(table))
            grid()->rerun();
    });

    search();
}

void StockLedgerWindow::showCode(const QString& code)
{
    code_->setText(code);
    search();
}

void StockLedgerWindow::search()
{
    RecordSource source{l::kTable, shown_, {}, {}};
    const QString code = code_->text().trimmed();
    if (!code.isEmpty()) {
        source.filter(l::kCode, Op::Eq, code);
    } else {
        if (!checkDateBox(from_, ctx_.messages(), ctx_.today()) ||
            !checkDateBox(to_, ctx_.messages(), ctx_.today()))
            return;
        source.filter(l::kTime, Op::Ge, from_->text().trimmed() + QStringLiteral(" 00:00:00"))
            .filter(l::kTime, Op::Le, to_->text().trimmed() + QStringLiteral(" 23:59:59"));
    }
    show(source.orderBy(l::kTime, true));
}

void StockLedgerWindow::show(const RecordSource& source)
{
    QHash<int, RecordSource> sorts;
    for (int i = 0; i < shown_.size(); ++i) {
        RecordSource sorted = source;
        sorted.order = {SortKey{shown_.at(i), false}};
        sorts.insert(i, sorted);
    }
    grid()->setSortMap(sorts, UnmappedHeader::Ignore);
    grid()->setSource(source);
    grid()->resizeColumnToContents(0);
}

void StockLedgerWindow::showTotals()
{
    const auto t = stock::movementsIn(ctx_.business(), grid()->source());
    if (!t) {
        totals_->clear();
        ctx_.messages().databaseError(t.error());
        return;
    }
    totals_->setText(QStringLiteral("入库合计：%1　出库合计：%2").arg(numberText(t->in), numberText(t->out)));
}

} // namespace shop
