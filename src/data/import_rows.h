#pragma once

#include "database.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// The rows a shop brings from a spreadsheet, checked by the program's own
// rules before anything is written: which column of the table each column
// of the file feeds, and a verdict per row.
namespace shop::imports {

// What is imported, each into its table.
enum class Kind { Goods, Cards, Customers, Employees };
const QList<Kind>& allKinds();
// 商品资料, 会员卡, 顾客资料, 员工资料.
QString kindText(Kind k);
QString tableOf(Kind k);
// The table's columns in stored order; a row's values come in this order.
const QStringList& columnsOf(Kind k);
// The columns a file of this kind must have.
QStringList requiredColumns(Kind k);
// The columns that tell one record from another (as the window's save
// compares them): a stored record with the same is updated or refused.
const QStringList& keyColumns(Kind k);

// The heading of the column a report of refused rows adds after the file's
// own (see ImportPreview): a file read back from such a report skips it.
QString resultHeading();

// Which column of the table each column of the file feeds. Headings are
// matched to the names the grids show (the program's own export writes
// them), blanks and the case of Latin letters aside; the person maps or
// skips the others.
class ColumnMap {
public:
    ColumnMap() = default;
    ColumnMap(Kind kind, const QStringList& headings);

    Kind kind() const { return kind_; }
    const QStringList& headings() const { return headings_; }
    // The table column file column `fileColumn` feeds; empty when none.
    QString target(int fileColumn) const { return targets_.value(fileColumn); }
    // The file column feeding `column`, or -1.
    int source(const QString& column) const;
    // File columns whose heading names no column of the table, or one an
    // earlier heading named, and that the person has not mapped or skipped.
    QList<int> unmatched() const;
    // The person's choice: `fileColumn` feeds `column`, or nothing when
    // `column` is empty. A file column that fed `column` before is skipped.
    // False for a column the table does not have.
    bool assign(int fileColumn, const QString& column);

    // The required columns no file column feeds, in table order.
    QStringList missingRequired() const;
    // Said before anything else; empty when none is missing.
    QString missingText() const;

private:
    Kind kind_ = Kind::Goods;
    QStringList headings_;
    QStringList targets_;
    QList<bool> decided_;
};

// What becomes of a row.
enum class Outcome : quint8 { Add, Update, Refused };
enum class Refusal : quint8 {
    None,
    ExtraCells,      // cells beyond the heading's columns
    Empty,           // a field the row cannot be without
    NotNumber,       // an amount or quantity that is not a plain number
    OutOfRange,      // negative, or more digits than a figure keeps
    BadDate,         // not yyyy-MM-dd
    UnknownCardType, // no card type of the program
    Exists,          // the record is stored already (and no update was asked)
    Repeated,        // an earlier row of the file has the same key
    NameTaken,       // another employee has the name
};

struct Verdict {
    Outcome outcome = Outcome::Add;
    Refusal refusal = Refusal::None;
    // The column at fault, by its place in columnsOf(); -1 for none.
    qint16 column = -1;
    // Repeated, NameTaken: the earlier row of the file (0: a stored record).
    qint32 earlier = 0;
    bool operator==(const Verdict&) const = default;
};

// The verdict in words, naming the row and the column: "第 5 行「金额」不是数字：abc。"
// `values` are the row's, in table order.
QString verdictText(Kind kind, qint64 row, const Verdict& v, const QStringList& values);

// A number as an imported figure must be: a plain decimal (blanks around
// it allowed, as a typed amount), not negative, and a value the program's
// number text writes back as it is (15 significant digits). None,
// NotNumber or OutOfRange.
Refusal figureRefusal(const QString& text);

// The rows' verdicts, one after another in file order: a row's key is
// compared with the stored records and with the rows before it.
class RowCheck {
public:
    explicit RowCheck(Kind kind) : kind_(kind) {}

    // Reads the keys the table holds now.
    DbResult loadStored(Database& db);
    // A stored record's row becomes an update instead of a refusal.
    void setUpdates(bool on) { updates_ = on; }
    bool updates() const { return updates_; }
    // Forgets the rows checked so far (to check them again).
    void restart();

    // `values` in table order; `extraCells`: how many cells beyond the
    // heading's columns hold something.
    Verdict check(qint64 row, const QStringList& values, int extraCells = 0);
    // The first stored record (lowest rowid) with the key of `values`, as
    // read by loadStored(); 0 when none has it.
    qint64 storedRowid(const QStringList& values) const;

private:
    Verdict fieldFault(const QStringList& values) const;
    QString keyOf(const QStringList& values) const;
    bool isDate(const QString& text) const;

    Kind kind_;
    bool updates_ = false;
    // Each stored key with its first record's rowid.
    QHash<QString, qint64> stored_;
    // Employees: name to identity-card number, both folded.
    QHash<QString, QString> storedNames_;
    QHash<QString, qint32> seen_;
    struct Named {
        QString id;
        qint32 row;
    };
    QHash<QString, Named> seenNames_;
    mutable QHash<QString, bool> dates_;
};

} // namespace shop::imports
