#pragma once

#include "ui/browser_window.h"

class QLabel;
class QLineEdit;

namespace shop {

// The card history (卡务记录): the card ledger's rows for one card, or for
// every card over a period, newest first, with the totals of the rows shown,
// and below them the bookings of the card (or of the period).
// The ledger is only ever added to: its grid stays locked.
class CardHistoryWindow : public BrowserWindow {
    Q_OBJECT
public:
    explicit CardHistoryWindow(AppContext& ctx, QWidget* parent = nullptr);

    // Shows the rows of one card (the card window asks for its card so).
    Q_INVOKABLE void showCard(const QString& number);

private:
    void search();
    // Runs `source`, sorts by a header within it, and totals what it shows.
    void show(const RecordSource& source);
    void showTotals();

    QLineEdit* card_; // txt_card
    QLineEdit* from_; // txt_from
    QLineEdit* to_;   // txt_to
    QLabel* totals_;  // lab_total
    // The bookings of the card (or of the period), beside its changes.
    RecordView* bookings_; // yuyue_bg
    QStringList shown_;
};

} // namespace shop
