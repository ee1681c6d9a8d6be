#pragma once

#include "ui/ledger_window.h"

namespace shop {

// The stock ledger (库存流水): the rows of one product code, or of every
// line over a period, newest first, with the stock added and taken in the
// rows shown.
class StockLedgerWindow : public LedgerWindow {
    Q_OBJECT
public:
    explicit StockLedgerWindow(AppContext& ctx, QWidget* parent = nullptr);

    // Shows the rows of one product code.
    Q_INVOKABLE void showCode(const QString& code) { showKey(code); }

private:
    DbValue<QString> totalsText(const RecordSource& shown) override;
    bool follows(const QString& table) const override;
};

} // namespace shop
