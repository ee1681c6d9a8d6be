#include "stocktaking.h"

#include "numeric.h"
#include "schema.h"
#include "stock_ledger.h"

#include <QHash>
#include <QRegularExpression>

#include <cmath>

namespace shop::counts {

namespace {

namespace p = schema::pandian;
namespace g = schema::jinhuo;
namespace l = schema::liushui;

// The count rows in sheet order, with what an apply needs of each.
enum Read { RowId = 0, LineRow, RCode, RName, RUnitCost, RCounted, RAtCount, RLedgerAt };
QString countRows()
{
    return QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY rowid")
        .arg(quoteIdents({p::kLineRow, p::kCode, p::kName, p::kUnitCost, p::kCounted, p::kStockAtCount,
                          p::kLedgerAtCount}),
             quoteIdent(p::kTable));
}

struct CountRow {
    qint64 row = 0;
    qint64 lineRow = 0;
    QString code, name, unitCost, counted, atCount;
    qint64 ledgerAt = 0;
};

CountRow countRowOf(qint64 rowid, const Database::TextRow& t)
{
    return {rowid,     t.text(0).toLongLong(), t.text(1), t.text(2), t.text(3), t.text(4),
            t.text(5), t.text(6).toLongLong()};
}

DbValue<QList<CountRow>> readCountRows(Database& db)
{
    QList<CountRow> out;
    const DbResult r = db.selectKeyedTexts(countRows(), {}, [&out](qint64 rowid, const Database::TextRow& t) {
        out.append(countRowOf(rowid, t));
        return true;
    });
    if (!r)
        return {r, std::nullopt};
    return DbValue<QList<CountRow>>::of(out);
}

// The counted rows as countRows() reads them, then '1' where a 盘点 row
// (its kind bound) was written for the line after it was counted.
constexpr int kCountedSince = 7;
QString countedRows()
{
    static const QString sql =
        QStringLiteral("SELECT p.rowid, %1, CASE WHEN EXISTS (SELECT 1 FROM %2 AS l WHERE l.%3 = p.%4 AND "
                       "l.%5 = ? AND l.rowid > CAST(p.%6 AS BIGINT)) THEN '1' ELSE '0' END FROM %7 AS p "
                       "WHERE p.%8 <> '' ORDER BY p.rowid")
            .arg(quoteIdents({p::kLineRow, p::kCode, p::kName, p::kUnitCost, p::kCounted, p::kStockAtCount,
                              p::kLedgerAtCount},
                             QStringLiteral("p.")),
                 quoteIdent(l::kTable), quoteIdent(l::kLineRow), quoteIdent(p::kLineRow),
                 quoteIdent(l::kKind), quoteIdent(p::kLedgerAtCount), quoteIdent(p::kTable),
                 quoteIdent(p::kCounted));
    return sql;
}

// The goods lines of the counted rows (their stored values in column order),
// locked on a server until the transaction ends.
QString countedLines(const Database& db)
{
    const QString sql = QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid IN (SELECT CAST(%3 AS BIGINT) "
                                       "FROM %4 WHERE %5 <> '')")
                            .arg(quoteIdents(schema::columnsOf(g::kTable)), quoteIdent(g::kTable),
                                 quoteIdent(p::kLineRow), quoteIdent(p::kTable), quoteIdent(p::kCounted));
    return db.onServer() ? sql + QStringLiteral(" FOR UPDATE") : sql;
}

// A unit cost that values a difference: a positive number.
bool hasCost(const QString& unitCost)
{
    const double v = numericValue(unitCost);
    return v > 0 && std::isfinite(v);
}

// What a count row says: no value while it is not counted.
std::optional<Difference> differenceOf(const CountRow& c)
{
    if (c.counted.isEmpty())
        return std::nullopt;
    Difference d;
    d.row = c.row;
    d.code = c.code;
    d.name = c.name;
    d.counted = numericValue(c.counted);
    d.atCount = numericValue(c.atCount);
    d.difference = d.counted - d.atCount;
    d.costMissing = !hasCost(c.unitCost);
    if (!d.costMissing && d.difference != 0) {
        const double fen = std::round(d.difference * numericValue(c.unitCost) * 100);
        // A value beyond any sum of fen is not counted as one.
        d.costMissing = !std::isfinite(fen) || std::abs(fen) > 1e15;
        d.valueCents = d.costMissing ? 0 : static_cast<qint64>(fen);
    }
    return d;
}

// Count row `row`; `forChange`: held until the caller's transaction ends.
DbValue<std::optional<CountRow>> readCountRow(Database& db, qint64 row, bool forChange)
{
    static const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?")
                                   .arg(quoteIdents({p::kLineRow, p::kCode, p::kName, p::kUnitCost,
                                                     p::kCounted, p::kStockAtCount, p::kLedgerAtCount}),
                                        quoteIdent(p::kTable));
    const auto r = forChange ? db.selectOneForUpdate(sql, {row}) : db.selectOne(sql, {row});
    if (r.failed())
        return {r.status, std::nullopt};
    if (!r.found())
        return DbValue<std::optional<CountRow>>::of(std::nullopt);
    const auto t = [&](int i) { return r->value(i).toString(); };
    return DbValue<std::optional<CountRow>>::of(
        CountRow{row, t(0).toLongLong(), t(1), t(2), t(3), t(4), t(5), t(6).toLongLong()});
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

DbValue<QList<QStringList>> sheetRows(Database& db)
{
    const RecordSource s = sheet();
    QList<QStringList> out;
    const DbResult r = db.selectKeyedTexts(QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY rowid")
                                               .arg(quoteIdents(s.columns), quoteIdent(s.table)),
                                           {}, [&out](qint64, const Database::TextRow& t) {
                                               out.append(t.texts());
                                               return true;
                                           });
    if (!r)
        return {r, std::nullopt};
    return DbValue<QList<QStringList>>::of(out);
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
                 quoteIdents({p::kLineRow, p::kCode, p::kName, p::kDate, p::kSupplier, p::kUnitCost,
                              p::kSheetStock, p::kCounted, p::kStockAtCount, p::kLedgerAtCount, p::kCountedAt,
                              p::kStarted, p::kLogin}),
                 quoteIdents({g::kCode, g::kName, g::kDate, g::kSupplier, g::kPurchasePrice}),
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

void Totals::add(const std::optional<Difference>& line, int sign)
{
    if (!line)
        return;
    counted += sign;
    if (line->difference == 0)
        return;
    differing += sign;
    valueCents += sign * line->valueCents;
}

DbValue<std::optional<Difference>> lineOf(Database& db, qint64 row)
{
    const auto c = readCountRow(db, row, false);
    if (!c)
        return {c.status, std::nullopt};
    return DbValue<std::optional<Difference>>::of(*c ? differenceOf(**c) : std::nullopt);
}

DbValue<Recorded> record(Database& db, qint64 row, const QString& counted)
{
    Database::Transaction tx(db);
    if (!tx.active())
        return DbValue<Recorded>::failure(tx.error());
    const auto sheetRow = readCountRow(db, row, true);
    if (!sheetRow)
        return {sheetRow.status, std::nullopt};
    if (!*sheetRow)
        return DbValue<Recorded>::of({Recorded::NotCounting, {}, {}});
    CountRow c = **sheetRow;
    Recorded out{Recorded::Done, differenceOf(c), {}};
    // The line as it stands now, held until the count is written.
    const auto line = stock::readForChange(db, c.lineRow);
    if (line.failed())
        return {line.status, std::nullopt};
    if (!line.found())
        return DbValue<Recorded>::of({Recorded::Gone, out.before, out.before});
    if (stock::valueOf(*line, g::kCode) != c.code || stock::valueOf(*line, g::kName) != c.name)
        return DbValue<Recorded>::of({Recorded::Renumbered, out.before, out.before});
    const auto last = stock::lastRowOf(db, c.lineRow);
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
    c.counted = counted.trimmed();
    c.atCount = stock::valueOf(*line, g::kStock);
    out.after = differenceOf(c);
    return DbValue<Recorded>::of(out);
}

DbValue<Summary> summary(Database& db)
{
    const auto rows = readCountRows(db);
    if (!rows)
        return {rows.status, std::nullopt};
    Summary out;
    for (const CountRow& c : *rows) {
        ++out.lines;
        const std::optional<Difference> d = differenceOf(c);
        out.put(d);
        if (d && d->difference != 0)
            out.differences.append(*d);
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
    // Every counted line, locked on a server, in one read.
    QHash<qint64, QStringList> lines;
    DbResult read =
        db.selectKeyedTexts(countedLines(db), {}, [&lines](qint64 rowid, const Database::TextRow& t) {
            const QVector<QString> values = t.texts();
            lines.insert(rowid, QStringList(values.cbegin(), values.cend()));
            return true;
        });
    if (!read)
        return {read, std::nullopt};
    // The counted rows, each with whether a 盘点 row was written for its line
    // after it was counted (another count changed the line).
    QList<std::pair<CountRow, bool>> rows;
    read = db.selectKeyedTexts(countedRows(), {stock::changeText(stock::Change::Count)},
                               [&rows](qint64 rowid, const Database::TextRow& t) {
                                   rows.append({countRowOf(rowid, t), t.text(kCountedSince) == u'1'});
                                   return true;
                               });
    if (!read)
        return {read, std::nullopt};
    if (rows.isEmpty())
        return DbValue<Applied>::of({Applied::NothingCounted, 0, {}, {}});
    stock::Note note;
    note.reason = reason;
    QList<Database::Statement> writes;
    Applied out;
    const auto refuse = [&](Applied::Kind kind, const CountRow& c) {
        return DbValue<Applied>::of({kind, 0, c.code, c.name});
    };
    for (const auto& [c, countedElsewhere] : rows) {
        const auto line = lines.constFind(c.lineRow);
        if (line == lines.constEnd())
            return refuse(Applied::LineGone, c);
        if (stock::valueOf(*line, g::kCode) != c.code || stock::valueOf(*line, g::kName) != c.name)
            return refuse(Applied::Renumbered, c);
        if (countedElsewhere)
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
