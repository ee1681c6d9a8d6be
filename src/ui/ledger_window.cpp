#include "ledger_window.h"

#include "data/schema.h"
#include "ui/enter_chain.h"
#include "ui/widgets.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace shop {

LedgerWindow::LedgerWindow(AppContext& ctx, const LedgerSetup& setup, QWidget* parent)
    : BrowserWindow(ctx, setup.browser, parent), setup_(setup)
{
    key_ = lineEdit(setup.keyName);
    from_ = dateEdit("txt_from");
    to_ = dateEdit("txt_to");
    from_->setText(thirtyDaysAgoText(ctx_.clock()));
    to_->setText(ctx_.today());
    QPushButton* searchButton = button("cmd_search", QStringLiteral("查询(&S)"));
    QPushButton* exitButton = button("cmd_exit", QStringLiteral("退出(&E)"));
    auto* fields = new QGridLayout;
    addField(fields, 0, 0, setup.keyCaption, key_);
    addField(fields, 0, 1, QStringLiteral("从"), from_);
    addField(fields, 0, 2, QStringLiteral("到"), to_);
    fields->addLayout(buttonRow({searchButton, exitButton}, SpareWidth::None), 0, 6);
    addControlRow(fields);

    // The grid is for reading only; a try to edit a cell says why not.
    grid()->setWarnWhenLocked(true);
    shown_ = schema::columnsOf(setup.browser.table);
    shown_.removeAll(setup.ownRowColumn);
    totals_ = valueLabel("lab_total");
    layout()->addWidget(totals_);

    // A key looks its rows up; without one the period is shown.
    auto* chain = new EnterChain(ctx_.messages(), this);
    chain->setHandler(key_, [this] { search(); });
    chain->add(from_, to_);
    chain->setHandler(to_, [this] { search(); });
    connect(searchButton, &QPushButton::clicked, this, &LedgerWindow::search);
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(grid(), &RecordView::reran, this, &LedgerWindow::showTotals);
    // Every write the ledger follows writes its ledger row.
    connect(&ctx_.notifier(), &TableNotifier::tableChanged, this, [this](const QString& table) {
        if (follows(table))
            grid()->rerun();
    });
}

void LedgerWindow::showKey(const QString& key)
{
    key_->setText(key);
    search();
}

void LedgerWindow::search()
{
    RecordSource source{setup_.browser.table, shown_, {}, {}};
    const QString key = key_->text().trimmed();
    if (!key.isEmpty()) {
        source.filter(setup_.keyColumn, Op::Eq, key);
    } else {
        // A period in another form would compare as text and miss rows unsaid.
        if (!checkDateBox(from_, ctx_.messages(), ctx_.today()) ||
            !checkDateBox(to_, ctx_.messages(), ctx_.today()))
            return;
        source.filter(setup_.timeColumn, Op::Ge, from_->text().trimmed() + QStringLiteral(" 00:00:00"))
            .filter(setup_.timeColumn, Op::Le, to_->text().trimmed() + QStringLiteral(" 23:59:59"));
    }
    show(source.orderBy(setup_.timeColumn, true));
    searched(key, from_->text().trimmed(), to_->text().trimmed());
}

void LedgerWindow::searched(const QString&, const QString&, const QString&) {}

void LedgerWindow::show(const RecordSource& source)
{
    QHash<int, RecordSource> sorts;
    for (int i = 0; i < shown_.size(); ++i) {
        RecordSource sorted = source;
        sorted.order = {SortKey{shown_.at(i), false}};
        sorts.insert(i, sorted);
    }
    grid()->setSortMap(sorts, UnmappedHeader::Ignore);
    grid()->setSource(source);
    // The time is read whole.
    grid()->resizeColumnToContents(0);
}

void LedgerWindow::showTotals()
{
    const auto text = totalsText(grid()->source());
    if (!text) {
        totals_->clear();
        ctx_.messages().databaseError(text.error());
        return;
    }
    totals_->setText(*text);
}

} // namespace shop
