#pragma once

#include "ui/browser_window.h"

class QLabel;
class QLineEdit;

namespace shop {

// What a ledger window looks up besides its browser's setup.
struct LedgerSetup {
    BrowserSetup browser;
    const char* keyName;  // the key's box, e.g. txt_card
    QString keyCaption;   // its label
    QString keyColumn;    // the column the key is compared with
    QString timeColumn;   // the row's time, for the period and the order
    QString ownRowColumn; // the key of the row the ledger row belongs to, never shown
};

// A ledger that is only ever added to: the rows of one key (a card, a
// product code), or of every key over a period, newest first, with the
// totals of the rows shown. Its grid stays locked; a header sort keeps the
// key or the period shown. A window adds what it shows beside the rows and
// runs its first search.
class LedgerWindow : public BrowserWindow {
    Q_OBJECT
protected:
    LedgerWindow(AppContext& ctx, const LedgerSetup& setup, QWidget* parent);

    // Shows the rows of one key.
    void showKey(const QString& key);
    void search();

    // The totals of the rows `shown` as the window says them.
    virtual DbValue<QString> totalsText(const RecordSource& shown) = 0;
    // After a search; `key` is empty when the period from–to was asked for.
    virtual void searched(const QString& key, const QString& from, const QString& to);
    // Whether a change of `table` changes the ledger.
    virtual bool follows(const QString& table) const = 0;

private:
    void show(const RecordSource& source);
    void showTotals();

    LedgerSetup setup_;
    QLineEdit* key_;  // setup_.keyName
    QLineEdit* from_; // txt_from
    QLineEdit* to_;   // txt_to
    QLabel* totals_;  // lab_total
    QStringList shown_;
};

} // namespace shop
