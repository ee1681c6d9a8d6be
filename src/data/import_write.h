#pragma once

#include "import_preview.h"

#include <functional>

namespace shop::imports {

// What an import did.
struct Written {
    enum class Outcome {
        Written,   // every row that was not refused, committed
        Cancelled, // stopped by the person before the commit: nothing written
        Changed,   // the tables changed since the preview: nothing written
        Failed,    // a statement or the commit failed: nothing written
    };
    Outcome outcome = Outcome::Written;
    qsizetype added = 0;
    qsizetype updated = 0;
    // Failed: the engine's words; Changed: the verdict the row has now.
    QString error;
    // The tables written (Written only).
    QStringList tables;
};

// Called between slices of rows with the rows done and the rows to write;
// returns false to cancel.
using WriteProgress = std::function<bool(qsizetype done, qsizetype total)>;

// Writes the rows of a preview read to its end, in one transaction with the
// table's keys held: added rows inserted, updated rows given the cells the
// file has for them (the first stored record with the key; a column the
// file does not feed or a blank cell keeps what is stored), refused rows
// left out. Every row is checked
// again against the tables as they are inside the transaction; a verdict
// that differs from the preview's writes nothing. Cards are written
// through the card ledger's path, each with its 导入 row. A failure or a
// cancel anywhere before the commit leaves the tables as they were.
Written writeRows(Database& db, const ImportPreview& preview, const WriteProgress& progress = {});

} // namespace shop::imports
