#include "card_history_window.h"

#include "data/money.h"
#include "data/schema.h"
#include "ui/enter_chain.h"
#include "ui/widgets.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace shop {

namespace {
namespace k = schema::kawu;

QString figure(const money::RoundedTotal& t)
{
    return t.overflow ? QStringLiteral("超出范围") : QString::number(t.total);
}
} // namespace

CardHistoryWindow::CardHistoryWindow(AppContext& ctx, QWidget* parent)
    : BrowserWindow(ctx,
                    {QStringLiteral("frm_kawu"), QStringLiteral("卡务记录"), k::kTable,
                     QStringLiteral("kawu_menu"), QStringLiteral("卡务记录")},
                    parent)
{
    card_ = lineEdit("txt_card");
    from_ = dateEdit("txt_from");
    to_ = dateEdit("txt_to");
    from_->setText(thirtyDaysAgoText(ctx_.clock()));
    to_->setText(ctx_.today());
    QPushButton* searchButton = button("cmd_search", QStringLiteral("查询(&S)"));
    QPushButton* exitButton = button("cmd_exit", QStringLiteral("退出(&E)"));
    auto* fields = new QGridLayout;
    addField(fields, 0, 0, QStringLiteral("卡号"), card_);
    addField(fields, 0, 1, QStringLiteral("从"), from_);
    addField(fields, 0, 2, QStringLiteral("到"), to_);
    fields->addLayout(buttonRow({searchButton, exitButton}, SpareWidth::None), 0, 6);
    addControlRow(fields);

    // The grid is for reading only; a try to edit a cell says why not.
    grid()->setWarnWhenLocked(true);
    // The card's row in numbercard is the ledger's own business.
    shown_ = schema::columnsOf(k::kTable);
    shown_.removeAll(k::kCardRow);
    totals_ = valueLabel("lab_total");
    layout()->addWidget(totals_);
    bookings_ = namedGrid(ctx_, ctx_.business(), schema::yuyue::kTable, "yuyue_bg", nullptr, this);
    bookings_->setWarnWhenLocked(true);
    layout()->addWidget(new QLabel(QStringLiteral("预约记录")));
    layout()->addWidget(bookings_);

    // A card number looks the card up; without one the period is shown.
    auto* chain = new EnterChain(ctx_.messages(), this);
    chain->setHandler(card_, [this] { search(); });
    chain->add(from_, to_);
    chain->setHandler(to_, [this] { search(); });
    connect(searchButton, &QPushButton::clicked, this, &CardHistoryWindow::search);
    connect(exitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(grid(), &RecordView::reran, this, &CardHistoryWindow::showTotals);
    // Every write of a card writes its ledger row: a change of the cards is
    // one of the ledger too.
    connect(&ctx_.notifier(), &TableNotifier::tableChanged, this, [this](const QString& table) {
        if (table == schema::numbercard::kTable)
            grid()->rerun();
    });

    search();
}

void CardHistoryWindow::showCard(const QString& number)
{
    card_->setText(number);
    search();
}

void CardHistoryWindow::search()
{
    namespace y = schema::yuyue;
    RecordSource source{k::kTable, shown_, {}, {}};
    RecordSource booked = RecordSource::all(y::kTable);
    const QString number = card_->text().trimmed();
    if (!number.isEmpty()) {
        source.filter(k::kCard, Op::Eq, number);
        booked.filter(y::kCard, Op::Eq, number);
    } else {
        // A period in another form would compare as text and miss rows unsaid.
        if (!checkDateBox(from_, ctx_.messages(), ctx_.today()) ||
            !checkDateBox(to_, ctx_.messages(), ctx_.today()))
            return;
        source.filter(k::kTime, Op::Ge, from_->text().trimmed() + QStringLiteral(" 00:00:00"))
            .filter(k::kTime, Op::Le, to_->text().trimmed() + QStringLiteral(" 23:59:59"));
        booked.filter(y::kDate, Op::Ge, from_->text().trimmed())
            .filter(y::kDate, Op::Le, to_->text().trimmed());
    }
    show(source.orderBy(k::kTime, true));
    bookings_->setSource(booked.orderBy(y::kDate, true).orderBy(y::kStart, true));
}

void CardHistoryWindow::show(const RecordSource& source)
{
    // A header sort keeps the card or the period shown.
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

void CardHistoryWindow::showTotals()
{
    const auto t = money::ledgerTotals(ctx_.business(), grid()->source());
    if (!t) {
        totals_->clear();
        ctx_.messages().databaseError(t.error());
        return;
    }
    totals_->setText(QStringLiteral("收款金额合计：%1元　扣卡金额合计：%2元　扣卡次数合计：%3次")
                         .arg(figure(t->received), figure(t->netCharged()), figure(t->netUses())));
}

} // namespace shop
