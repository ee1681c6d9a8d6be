#pragma once

#include "database.h"
#include "record_source.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace shop {

// A cell a spreadsheet would run as a formula: it begins with =, + or @, with
// a tab or carriage return (which some spreadsheets drop before reading on),
// or with - followed by something that is not a plain number. A lone minus
// sign computes nothing.
// `v` is the cell as UTF-8.
bool runsAsFormula(QByteArrayView v);

// One column of an export: its heading and the source column it reads, or a
// text written in place of every value (a column the grid shows masked).
struct CsvColumn {
    QString heading;
    QString column;
    std::optional<QString> fixedText = std::nullopt;
};

enum class CsvOutcome { Written, Cancelled, ReadFailed, WriteFailed };

struct CsvResult {
    CsvOutcome outcome = CsvOutcome::Written;
    qint64 rows = 0;
    // The engine's or the file system's words (ReadFailed, WriteFailed).
    QString error;
};

// Called after each chunk of rows with the rows written so far and the share
// of the work done (0 to 1); returns false to cancel.
using CsvProgress = std::function<bool(qint64 rows, double done)>;

// Writes every row of `source`, in its order, to `fileName` as CSV: UTF-8
// with a byte-order mark, a heading line, CRLF line ends, RFC 4180 quoting,
// and a single quote before a cell that a spreadsheet would run as a formula.
// Rows are read in chunks of `chunkRows`, each query run to its end, so no
// statement stays open while `progress` lets events run. The file is
// replaced only when every row was written: a cancel or a failure leaves
// whatever was there before (nothing, for a new name).
CsvResult exportCsv(Database& db, const RecordSource& source, const QList<CsvColumn>& columns,
                    const QString& fileName, const CsvProgress& progress = {}, int chunkRows = 4096);

// Writes `rows` (the headings first) to `fileName` as exportCsv writes its
// files; the file is replaced only when all of it was written.
CsvResult writeCsv(const QList<QStringList>& rows, const QString& fileName);

} // namespace shop
