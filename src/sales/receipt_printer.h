#pragma once

#include "receipt.h"

#include <optional>

namespace shop {

class AppContext;

// Prints receipts through the printing service as 系统设置 says and says
// what went wrong; the sale itself is stored before and never touched.
class ReceiptPrinter {
public:
    explicit ReceiptPrinter(AppContext& ctx) : ctx_(ctx) {}

    // After sale `key` was stored: its receipt as it is stored, when
    // receipts are on. Without a printer this is said once after each
    // start, with the offer to save this receipt as a PDF file, to turn
    // receipts off, or to skip this one.
    void afterSale(const QString& key);
    // 补打小票: the receipt of salse row `rowid` again, marked 重印.
    void reprint(qint64 rowid);
    // 小票预览: the sale's receipt as it printed, unmarked (nothing is
    // printed by looking), with or without a printer.
    void preview(qint64 rowid);

private:
    // The parts every receipt takes from the context.
    Receipt completed(Receipt r) const;
    // The receipt of salse row `rowid`, printed as `print` says (every
    // receipt is built so); none when it cannot be read (said).
    std::optional<Receipt> stored(qint64 rowid, Receipt::Print print);
    // Prints on the chosen printer; false when it failed (said).
    bool print(const Receipt& r, const QString& afterFailure);
    void savePdf(const Receipt& r);

    AppContext& ctx_;
};

} // namespace shop
