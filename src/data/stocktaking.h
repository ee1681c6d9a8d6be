#pragma once

#include "database.h"
#include "record_source.h"

#include <QStringList>

#include <optional>

// A stocktaking: the lines chosen are copied into the count table as they
// stand (the count sheet), each counted quantity is recorded with the stock
// and the line's last ledger row at that moment, and the apply changes each
// counted line by the counted quantity against the stock when it was
// counted, so that sales made meanwhile are kept. The count table holds one
// count at a time and keeps it across restarts until applied or cancelled.
namespace shop::counts {

// Which lines a count takes: all, those of one supplier, those whose name
// contains a text.
struct Choice {
    enum Kind { All, Supplier, Name };
    Kind kind = All;
    QString text;
};

// The count's rows as the sheet shows them: code, name, date, supplier,
// unit cost, the stock on the sheet and the counted quantity.
RecordSource sheet();
// The columns of sheet(), by position.
enum SheetColumn { Code = 0, Name, Date, Supplier, UnitCost, SheetStock, Counted };

// Every row of sheet(), in sheet order, to print or save.
DbValue<QList<QStringList>> sheetRows(Database& db);

// Whether a count is under way (its rows are in the count table).
DbValue<bool> underWay(Database& db);

// Starts a count of the lines chosen; refused (Busy) while one is under way,
// or (Empty) when no line is chosen.
struct Started {
    enum Kind { Done, Busy, Empty };
    Kind kind = Done;
    qint64 lines = 0;
};
DbValue<Started> start(Database& db, const Choice& choice);

// Whether `text` is a counted quantity: a whole number of at least 0, in
// plain digits (blanks around it allowed).
bool isCountedQuantity(const QString& text);

// A counted line and what its apply would do, at the moment asked.
struct Difference {
    qint64 row = 0; // in the count table
    QString code;
    QString name;
    double counted = 0;
    double atCount = 0;       // the stock when it was counted
    double difference = 0;    // counted less atCount
    qint64 valueCents = 0;    // difference times the unit cost, in fen
    bool costMissing = false; // the unit cost is 0 or not a number
    double valueAtCost() const { return valueCents / 100.0; }
};

// The figures of a whole count. Kept whole in fen, they come out the same
// summed in any order, so a window keeps them running as lines are counted
// (put the line's new count, take its last) instead of reading the count
// again.
struct Totals {
    qint64 lines = 0;      // on the sheet
    qint64 counted = 0;    // counted so far
    qint64 differing = 0;  // counted lines whose count differs
    qint64 valueCents = 0; // of all differences at cost
    double valueAtCost() const { return valueCents / 100.0; }
    void put(const std::optional<Difference>& line) { add(line, 1); }
    void take(const std::optional<Difference>& line) { add(line, -1); }

private:
    void add(const std::optional<Difference>& line, int sign);
};

// Records the counted quantity of count row `row` (a rowid of the count
// table): refused when the line has gone or was renumbered since the sheet
// was made (the count row stays uncounted). `before` and `after` are the
// line's figures (no value: not counted), for the running totals.
struct Recorded {
    enum Kind { Done, Gone, Renumbered, NotCounting };
    Kind kind = Done;
    std::optional<Difference> before;
    std::optional<Difference> after;
};
DbValue<Recorded> record(Database& db, qint64 row, const QString& counted);

// The figures of count row `row`: no value when it is not counted (or gone).
DbValue<std::optional<Difference>> lineOf(Database& db, qint64 row);

struct Summary : Totals {
    QList<Difference> differences; // counted lines whose count differs, in sheet order
};
DbValue<Summary> summary(Database& db);

// Applies the count in one transaction: every counted line whose count
// differs gets its 盘点 row, with `reason`; the count table is emptied.
// Refused, with nothing written, when a counted line was deleted or
// renumbered, counted by another apply, or sold beyond its count since it
// was counted (the line named in `code`).
struct Applied {
    enum Kind { Done, NothingCounted, NotCounting, LineGone, Renumbered, CountedElsewhere, SoldBeyondCount };
    Kind kind = Done;
    qint64 changed = 0;
    QString code; // the refused line
    QString name;
};
DbValue<Applied> apply(Database& db, const QString& reason);

// Cancels the count: the count table is emptied, no stock changes.
DbResult cancel(Database& db);

} // namespace shop::counts
