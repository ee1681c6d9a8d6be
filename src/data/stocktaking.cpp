#include "stocktaking.h"

#include "numeric.h"
#include "schema.h"
#include "stock_ledger.h"

#include <QRegularExpression>

#include <cmath>

namespace shop::counts {

namespace {

namespace p = schema::pandian;
namespace g = schema::jinhuo;
namespace l = schema::liushui;

QString columnList(const QStringList& columns)
{
    QStringList quoted;
    for (const QString& c : columns)
        quoted << quoteIdent(c);
    return quoted.join(QStringLiteral(", "));
}

// The count rows in sheet order, with what an apply needs of each.
enum Read { RowId = 0, LineRow, RCode, RName, RUnitCost, RCounted, RAtCount, RLedgerAt };
QString countRows(bool countedOnly)
{
    return QStringLiteral("SELECT rowid, %1 FROM %2%3 ORDER BY rowid")
        .arg(columnList({p::kLineRow, p::kCode, p::kName, p::kUnitCost, p::kCounted, p::kStockAtCount,
                         p::kLedgerAtCount}),
             quoteIdent(p::kTable),
             countedOnly ? QStringLiteral(" WHERE %1 <> ''").arg(quoteIdent(p::kCounted)) : QString());
}

struct CountRow {
    qint64 row = 0;
    qint64 lineRow = 0;
    QString code, name, unitCost, counted, atCount;
    qint64 ledgerAt = 0;
};

DbValue<QList<CountRow>> readCountRows(Database& db, bool countedOnly)
{
    QList<CountRow> out;
    const DbResult r =
        db.selectKeyedTexts(countRows(countedOnly), {}, [&out](qint64 rowid, const Database::TextRow& t) {
            out.append({rowid, t.text(0).toLongLong(), t.text(1), t.text(2), t.text(3), t.text(4), t.text(5),
                        t.text(6).toLongLong()});
            return true;
        });
    if (!r)
        return {r, std::nullopt};
    return DbValue<QList<CountRow>>::of(out);
}

// A unit cost that values a difference: a positive number.
bool hasCost(const QString& unitCost)
{
    const double v = numericValue(unitCost);
    return v > 0 && std::isfinite(v);
}

} // namespace

RecordSource sheet()
{
    return RecordSource{
        p::kTable,
        {p::kCode, p::kName, p::kDate, p::kSupplier, p::kUnitCost, p::kSheetStock, p::kCounted},
        {},
        {}};
}

DbValue<bool> underWay(Database& db)
{
    const auto any = db.selectOne(QStringLiteral("SELECT 1 FROM %1 LIMIT 1").arg(quoteIdent(p::kTable)));
    if (any.failed())
        return {any.status, std::nullopt};
    return DbValue<bool>::of(any.found());
}

DbValue<Started> start(Database& db, const Choice& choice)
{
    Database::Transaction tx(db);
    if (!tx.active())
        return DbValue<Started>::failure(tx.error());
    // Two supervisors starting at once: one count.
    if (DbResult r = db.holdKeysOf(p::kTable); !r)
        return {r, std::nullopt};
    const auto busy = underWay(db);
    if (!busy)
        return {busy.status, std::nullopt};
    if (*busy)
        return DbValue<Started>::of({Started::Busy, 0});
    QVariantList binds{textValue(db.writeTime()), textValue(db.writerLogin())};
    QString where;
    if (choice.kind == Choice::Supplier) {
        where = QStringLiteral(" WHERE %1 = ?").arg(quoteIdent(g::kSupplier));
        binds << textValue(choice.text.trimmed());
    } else if (choice.kind == Choice::Name) {
        where = QStringLiteral(" WHERE %1 LIKE ? ESCAPE '\\'").arg(quoteIdent(g::kName));
        binds << containsPattern(choice.text.trimmed());
    }
    // The sheet: each line as it stands, uncounted.
    const QString sql =
        QStringLiteral(
            "INSERT INTO %1 (%2) SELECT CAST(rowid AS TEXT), %3, %4, '', '', '', '', CAST(? AS TEXT), "
            "CAST(? AS TEXT) FROM %5%6 ORDER BY rowid")
            .arg(quoteIdent(p::kTable),
                 columnList({p::kLineRow, p::kCode, p::kName, p::kDate, p::kSupplier, p::kUnitCost,
                             p::kSheetStock, p::kCounted, p::kStockAtCount, p::kLedgerAtCount, p::kCountedAt,
                             p::kStarted, p::kLogin}),
                 columnList({g::kCode, g::kName, g::kDate, g::kSupplier, g::kPurchasePrice}),
                 quoteIdent(g::kStock), quoteIdent(g::kTable), where);
    DbResult r = db.exec(sql, binds);
    if (!r)
        return {r, std::nullopt};
    if (r.rowsAffected == 0)
        return DbValue<Started>::of({Started::Empty, 0});
    const qint64 lines = r.rowsAffected;
    if (r = tx.commit(); !r)
        return {r, std::nullopt};
    return DbValue<Started>::of({Started::Done, lines});
}

bool isCountedQuantity(const QString& text)
{
    static const QRegularExpression whole(QStringLiteral("^\\s*[0-9]{1,15}\\s*$"));
    return whole.match(text).hasMatch();
}

DbValue<Recorded> record(Database& db, qint64 row, const QString& counted)
{
    Database::Transaction tx(db);
    if (!tx.active())
        return DbValue<Recorded>::failure(tx.error());
    const auto sheetRow =
        db.selectOneForUpdate(QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?")
                                  .arg(columnList({p::kLineRow, p::kCode, p::kName}), quoteIdent(p::kTable)),
                              {row});
    if (sheetRow.failed())
        return {sheetRow.status, std::nullopt};
    if (!sheetRow.found())
        return DbValue<Recorded>::of(Recorded::NotCounting);
    // The line as it stands now, held until the count is written.
    const auto line = stock::readForChange(db, sheetRow->value(0).toLongLong());
    if (line.failed())
        return {line.status, std::nullopt};
    if (!line.found())
        return DbValue<Recorded>::of(Recorded::Gone);
    if (stock::valueOf(*line, g::kCode) != sheetRow->value(1).toString() ||
        stock::valueOf(*line, g::kName) != sheetRow->value(2).toString())
        return DbValue<Recorded>::of(Recorded::Renumbered);
    const auto last = stock::lastRowOf(db, sheetRow->value(0).toLongLong());
    if (last.failed())
        return {last.status, std::nullopt};
    DbResult r =
        db.exec(QStringLiteral("UPDATE %1 SET %2 = ?, %3 = ?, %4 = ?, %5 = ? WHERE rowid = ?")
                    .arg(quoteIdent(p::kTable), quoteIdent(p::kCounted), quoteIdent(p::kStockAtCount),
                         quoteIdent(p::kLedgerAtCount), quoteIdent(p::kCountedAt)),
                {textValue(counted.trimmed()), textValue(stock::valueOf(*line, g::kStock)),
                 QString::number(last.found() ? last->rowid : 0), textValue(db.writeTime()), row});
    if (r)
        r = tx.commit();
    if (!r)
        return {r, std::nullopt};
    return DbValue<Recorded>::of(Recorded::Done);
}

DbValue<Summary> summary(Database& db)
{
    const auto rows = readCountRows(db, false);
    if (!rows)
        return {rows.status, std::nullopt};
    Summary out;
    for (const CountRow& c : *rows) {
        ++out.lines;
        if (c.counted.isEmpty())
            continue;
        ++out.counted;
        Difference d;
        d.row = c.row;
        d.code = c.code;
        d.name = c.name;
        d.counted = numericValue(c.counted);
        d.atCount = numericValue(c.atCount);
        d.difference = d.counted - d.atCount;
        if (d.difference == 0)
            continue;
        d.costMissing = !hasCost(c.unitCost);
        d.valueAtCost = d.costMissing ? 0 : d.difference * numericValue(c.unitCost);
        out.valueAtCost += d.valueAtCost;
        out.differences.append(d);
    }
    return DbValue<Summary>::of(out);
}

DbValue<Applied> apply(Database& db, const QString& reason)
{
    Database::Transaction tx(db);
    if (!tx.active())
        return DbValue<Applied>::failure(tx.error());
    // One apply at a time: a second waits, then finds the count gone.
    if (DbResult r = db.holdKeysOf(p::kTable); !r)
        return {r, std::nullopt};
    const auto busy = underWay(db);
    if (!busy)
        return {busy.status, std::nullopt};
    if (!*busy)
        return DbValue<Applied>::of({Applied::NotCounting, 0, {}, {}});
    const auto rows = readCountRows(db, true);
    if (!rows)
        return {rows.status, std::nullopt};
    if (rows->isEmpty())
        return DbValue<Applied>::of({Applied::NothingCounted, 0, {}, {}});
    // A 盘点 row written after the count was taken: another count changed the line.
    const QString countedSince =
        QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? AND %3 = ? AND rowid > ? LIMIT 1")
            .arg(quoteIdent(l::kTable), quoteIdent(l::kLineRow), quoteIdent(l::kKind));
    stock::Note note;
    note.reason = reason;
    QList<Database::Statement> writes;
    Applied out;
    const auto refuse = [&](Applied::Kind kind, const CountRow& c) {
        return DbValue<Applied>::of({kind, 0, c.code, c.name});
    };
    for (const CountRow& c : *rows) {
        const auto line = stock::readForChange(db, c.lineRow);
        if (line.failed())
            return {line.status, std::nullopt};
        if (!line.found())
            return refuse(Applied::LineGone, c);
        if (stock::valueOf(*line, g::kCode) != c.code || stock::valueOf(*line, g::kName) != c.name)
            return refuse(Applied::Renumbered, c);
        const auto other = db.selectOne(
            countedSince, {QString::number(c.lineRow), stock::changeText(stock::Change::Count), c.ledgerAt});
        if (other.failed())
            return {other.status, std::nullopt};
        if (other.found())
            return refuse(Applied::CountedElsewhere, c);
        // The count against the stock when it was counted: what sold since
        // stays sold.
        const double now = numericValue(stock::valueOf(*line, g::kStock));
        const double next = now + (numericValue(c.counted) - numericValue(c.atCount));
        if (next < 0)
            return refuse(Applied::SoldBeyondCount, c);
        if (next == now)
            continue;
        writes += Database::statementsOf(
            stock::setStock(db, c.lineRow, *line, numberText(next), stock::Change::Count, note));
        ++out.changed;
    }
    writes << Database::Statement{QStringLiteral("DELETE FROM %1").arg(quoteIdent(p::kTable)), {}};
    if (DbResult r = tx.commitAfter(writes); !r)
        return {r, std::nullopt};
    return DbValue<Applied>::of(out);
}

DbResult cancel(Database& db)
{
    return db.exec(QStringLiteral("DELETE FROM %1").arg(quoteIdent(p::kTable)));
}

} // namespace shop::counts
