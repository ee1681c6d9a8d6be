#include "card_history_window.h"

#include "data/money.h"
#include "data/schema.h"
#include "ui/widgets.h"

#include <QLabel>
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
    : LedgerWindow(ctx,
                   {{QStringLiteral("frm_kawu"), QStringLiteral("卡务记录"), k::kTable,
                     QStringLiteral("kawu_menu"), QStringLiteral("卡务记录")},
                    "txt_card",
                    QStringLiteral("卡号"),
                    k::kCard,
                    k::kTime,
                    k::kCardRow},
                   parent)
{
    bookings_ = namedGrid(ctx_, ctx_.business(), schema::yuyue::kTable, "yuyue_bg", nullptr, this);
    bookings_->setWarnWhenLocked(true);
    layout()->addWidget(new QLabel(QStringLiteral("预约记录")));
    layout()->addWidget(bookings_);
    search();
}

DbValue<QString> CardHistoryWindow::totalsText(const RecordSource& shown)
{
    return money::ledgerTotals(ctx_.business(), shown).map([](const auto& t) {
        return QStringLiteral("收款金额合计：%1元　扣卡金额合计：%2元　扣卡次数合计：%3次")
            .arg(figure(t.received), figure(t.netCharged()), figure(t.netUses()));
    });
}

void CardHistoryWindow::searched(const QString& card, const QString& from, const QString& to)
{
    namespace y = schema::yuyue;
    RecordSource booked = RecordSource::all(y::kTable);
    if (!card.isEmpty())
        booked.filter(y::kCard, Op::Eq, card);
    else
        booked.filter(y::kDate, Op::Ge, from).filter(y::kDate, Op::Le, to);
    bookings_->setSource(booked.orderBy(y::kDate, true).orderBy(y::kStart, true));
}

bool CardHistoryWindow::follows(const QString& table) const
{
    // Every write of a card writes its ledger row.
    return table == schema::numbercard::kTable;
}

} // namespace shop
