#pragma once

#include "ui/browser_window.h"

class QLabel;
class QLineEdit;

namespace shop {

// The stock ledger (库存流水): the rows of one product code, or of every
// line over a period, newest first, with the stock added and taken in the
// rows shown. The ledger is only ever added to: its grid stays locked.
class StockLedgerWindow : public BrowserWindow {
    Q_OBJECT
public:
    explicit StockLedgerWindow(AppContext& ctx, QWidget* parent = nullptr);

    // Shows the rows of one product code.
    Q_INVOKABLE void showCode(const QString& code);

private:
    void search();
    void show(const RecordSource& source);
    void showTotals();

    QLineEdit* code_; // txt_code
    QLineEdit* from_; // txt_from
    QLineEdit* to_;   // txt_to
    QLabel* totals_;  // lab_total
    QStringList shown_;
};

} // namespace shop
