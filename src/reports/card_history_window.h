#pragma once

#include "ui/ledger_window.h"

namespace shop {

// The card history (卡务记录): the card ledger's rows for one card, or for
// every card over a period, newest first, with the totals of the rows shown,
// and below them the bookings of the card (or of the period).
class CardHistoryWindow : public LedgerWindow {
    Q_OBJECT
public:
    explicit CardHistoryWindow(AppContext& ctx, QWidget* parent = nullptr);

    // Shows the rows of one card (the card window asks for its card so).
    Q_INVOKABLE void showCard(const QString& number) { showKey(number); }

private:
    DbValue<QString> totalsText(const RecordSource& shown) override;
    void searched(const QString& card, const QString& from, const QString& to) override;
    bool follows(const QString& table) const override;

    // The bookings of the card (or of the period), beside its changes.
    RecordView* bookings_; // yuyue_bg
};

} // namespace shop
