#include "stock_ledger.h"

#include "numeric.h"
#include "schema.h"
#include "ledgered_change.h"
#include "transaction_scope.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace shop::stock {

namespace {

namespace l = schema::liushui;
namespace g = schema::jinhuo;

const QStringList& ledgerColumns()
{
    static const QStringList columns = schema::columnsOf(l::kTable);
    return columns;
}

const QStringList& lineColumns()
{
    static const QStringList columns = schema::columnsOf(g::kTable);
    return columns;
}

QString stockOf(const QStringList& line)
{
    return valueOf(line, g::kStock);
}

// Every line's values, in stored order, with its rowid.
DbValue<QList<std::pair<qint64, QStringList>>> allLines(Database& db)
{
    QList<std::pair<qint64, QStringList>> out;
    const DbResult r = db.selectKeyedTexts(QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY rowid")
                                               .arg(quoteIdents(lineColumns()), quoteIdent(g::kTable)),
                                           {}, [&out](qint64 rowid, const Database::TextRow& row) {
                                               out.append({rowid, row.texts()});
                                               return true;
                                           });
    if (!r)
        return {r, std::nullopt};
    return DbValue<QList<std::pair<qint64, QStringList>>>::of(out);
}

} // namespace

QString changeText(Change c)
{
    switch (c) {
    case Change::Purchase:
        return QStringLiteral("进货");
    case Change::Restock:
        return QStringLiteral("补货");
    case Change::Sale:
        return QStringLiteral("销售");
    case Change::Void:
        return QStringLiteral("撤销");
    case Change::Modify:
        return QStringLiteral("修改");
    case Change::GridEdit:
        return QStringLiteral("表格修改");
    case Change::Count:
        return QStringLiteral("盘点");
    case Change::Delete:
        return QStringLiteral("删除");
    case Change::Empty:
        return QStringLiteral("清空");
    case Change::Opening:
        return QStringLiteral("期初");
    case Change::Import:
        return QStringLiteral("导入");
    }
    return {};
}

QString valueOf(const QStringList& line, const QString& column)
{
    return line.value(lineColumns().indexOf(column));
}

void setValue(QStringList& line, const QString& column, const QString& value)
{
    const qsizetype at = lineColumns().indexOf(column);
    if (at >= 0 && at < line.size())
        line[at] = value;
}

QStringList blankLine()
{
    return QStringList(lineColumns().size());
}

bool isGoodsTable(const QString& table)
{
    return table.compare(g::kTable, Qt::CaseInsensitive) == 0;
}

Database::Statement ledgerRow(const Database& db, Change kind, const LineKey& key, const QStringList& line,
                              const QString& before, const QString& after, const Note& note)
{
    static const qsizetype saleAt = ledgerColumns().indexOf(l::kSale);
    static const qsizetype lineAt = ledgerColumns().indexOf(l::kLineRow);
    QVariantList binds;
    binds.reserve(ledgerColumns().size());
    const auto bind = [&binds](const QString& v) { binds << textValue(v); };
    const double was = numericValue(before);
    const double now = numericValue(after);
    const QString unitCost = valueOf(line, g::kPurchasePrice);
    QString cost;
    if (kind == Change::Sale || kind == Change::Void)
        cost = numberText(std::abs(now - was) * numericValue(unitCost));
    bind(db.writeTime());
    bind(valueOf(line, g::kCode));
    bind(valueOf(line, g::kName));
    bind(valueOf(line, g::kDate));
    bind(changeText(kind));
    bind(before);
    bind(after);
    bind(numberText(now - was));
    bind(unitCost);
    bind(cost);
    bind(db.writerLogin());
    QVarLengthArray<ColumnExpression, 2> expressions;
    if (note.saleSql.isEmpty())
        bind(note.sale);
    else
        expressions.append({saleAt, note.saleSql});
    bind(note.reason);
    if (key.sql.isEmpty())
        bind(QString::number(key.rowid));
    else
        expressions.append({lineAt, key.sql});
    return rowInsert(l::kTable, ledgerColumns(), std::move(binds), expressions);
}

QList<Database::Write> setStock(const Database& db, qint64 rowid, const QStringList& stored,
                                const QString& after, Change kind, const Note& note)
{
    static const QString update = QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
                                      .arg(quoteIdent(g::kTable), quoteIdent(g::kStock));
    return {{g::kTable, {update, {textValue(after), rowid}}},
            {l::kTable, ledgerRow(db, kind, {rowid, {}}, stored, stockOf(stored), after, note)}};
}

DbValue<QStringList> readForChange(Database& db, qint64 rowid)
{
    static const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?")
                                   .arg(quoteIdents(lineColumns()), quoteIdent(g::kTable));
    const auto row = db.selectOneForUpdate(sql, {rowid});
    if (!row.found())
        return {row.status, std::nullopt};
    QStringList values;
    for (const QVariant& v : *row)
        values << v.toString();
    return DbValue<QStringList>::of(values);
}

DbValue<Changed> change(Database& db, qint64 rowid, Change kind, const Note& note, const Compute& compute)
{
    return ledgeredChange<Changed>(
        db, g::kTable, lineColumns(), rowid, readForChange, compute,
        [&](const QStringList& stored, const QStringList& next) -> QList<Database::Statement> {
            // A change of the size, supplier or retail price leaves the ledger alone.
            const bool kept =
                std::ranges::any_of(std::array{g::kName, g::kCode, g::kPurchasePrice, g::kStock, g::kDate},
                                    [&](const QString& c) { return valueOf(stored, c) != valueOf(next, c); });
            if (!kept)
                return {};
            return {ledgerRow(db, kind, {rowid, {}}, next, stockOf(stored), stockOf(next), note)};
        });
}

namespace {

// A new line and its first ledger row: it starts from nothing.
QList<Database::Write> addWrites(const Database& db, const QStringList& values, Change kind, const Note& note)
{
    QVariantList binds;
    for (const QString& v : values)
        binds << textValue(v);
    const QString marks = QStringList(values.size(), QStringLiteral("?")).join(QStringLiteral(", "));
    return {{g::kTable,
             {QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(quoteIdent(g::kTable), quoteIdents(lineColumns()), marks),
              binds}},
            {l::kTable, ledgerRow(db, kind, {0, db.lastKeySql(g::kTable)}, values, QStringLiteral("0"),
                                  stockOf(values), note)}};
}

} // namespace

DbResult add(Database& db, const QStringList& values, Change kind, const Note& note)
{
    if (values.size() != lineColumns().size())
        return DbResult::failure(QStringLiteral("%1: %2 values for %3 columns")
                                     .arg(g::kTable)
                                     .arg(values.size())
                                     .arg(lineColumns().size()));
    TransactionScope tx(db);
    if (!tx.active())
        return DbResult::failure(tx.error());
    if (DbResult r = db.execEach(Database::statementsOf(addWrites(db, values, kind, note))); !r)
        return r;
    return tx.commit();
}

QList<Database::Rows> importRows(const Database& db, const QList<KeyedLine>& lines, const QString& reason)
{
    Database::Rows added{g::kTable, QStringList{QStringLiteral("rowid")} + lineColumns(), {}};
    Database::Rows ledger{l::kTable, ledgerColumns(), {}};
    added.values.reserve(lines.size());
    ledger.values.reserve(lines.size());
    Note note;
    note.reason = reason;
    for (const auto& [rowid, values] : lines) {
        if (values.size() != lineColumns().size())
            return {};
        QVariantList line{rowid};
        for (const QString& v : values)
            line << textValue(v);
        added.values << line;
        // The line's key is bound here, as the text the ledger keeps.
        ledger.values << ledgerRow(db, Change::Import, {rowid, {}}, values, QStringLiteral("0"),
                                   stockOf(values), note)
                             .binds;
    }
    return {added, ledger};
}

DbResult remove(Database& db, qint64 rowid, const QString& reason)
{
    TransactionScope tx(db);
    if (!tx.active())
        return DbResult::failure(tx.error());
    const auto stored = readForChange(db, rowid);
    if (stored.failed())
        return stored.status;
    if (!stored.found())
        return {}; // gone already: nothing deleted
    Note note;
    note.reason = reason;
    DbResult r = db.execEach(
        {ledgerRow(db, Change::Delete, {rowid, {}}, *stored, stockOf(*stored), QStringLiteral("0"), note),
         {QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoteIdent(g::kTable)), {rowid}}});
    if (!r)
        return r;
    r = tx.commit();
    if (r)
        r.rowsAffected = 1;
    return r;
}

DbResult removeAll(Database& db, const QString& reason)
{
    TransactionScope tx(db);
    if (!tx.active())
        return DbResult::failure(tx.error());
    // Read inside the transaction: every line that goes has its row.
    const auto lines = allLines(db);
    if (!lines)
        return lines.status;
    Note note;
    note.reason = reason;
    QList<Database::Statement> writes;
    writes.reserve(lines->size() + 1);
    for (const auto& [rowid, values] : *lines)
        writes << ledgerRow(db, Change::Empty, {rowid, {}}, values, stockOf(values), QStringLiteral("0"),
                            note);
    writes << Database::Statement{QStringLiteral("DELETE FROM %1").arg(quoteIdent(g::kTable)), {}};
    if (DbResult r = db.execEach(writes); !r)
        return r;
    return tx.commit();
}

DbValue<bool> openingRowsDue(Database& db)
{
    if (db.columns(l::kTable).isEmpty())
        return DbValue<bool>::of(false);
    const auto any = db.selectOne(QStringLiteral("SELECT 1 FROM %1 LIMIT 1").arg(quoteIdent(l::kTable)));
    if (any.failed() || any.found())
        return {any.status, any.found() ? std::optional<bool>(false) : std::nullopt};
    const auto lines = db.selectOne(QStringLiteral("SELECT 1 FROM %1 LIMIT 1").arg(quoteIdent(g::kTable)));
    if (lines.failed())
        return {lines.status, std::nullopt};
    return DbValue<bool>::of(lines.found());
}

DbResult writeOpeningRows(Database& db)
{
    if (DbResult r = db.holdKeysOf(l::kTable); !r)
        return r;
    const auto due = openingRowsDue(db);
    if (!due)
        return due.status;
    if (!*due)
        return {};
    const auto lines = allLines(db);
    if (!lines)
        return lines.status;
    Note note;
    note.reason = QStringLiteral("此前的库存没有流水记录");
    QList<Database::Statement> writes;
    writes.reserve(lines->size());
    for (const auto& [rowid, values] : *lines)
        writes << ledgerRow(db, Change::Opening, {rowid, {}}, values, QStringLiteral("0"), stockOf(values),
                            note);
    return db.execEach(writes);
}

DbValue<LastRow> lastRowOf(Database& db, qint64 lineRow)
{
    const auto row =
        db.selectOne(QStringLiteral("SELECT rowid, %1 FROM %2 WHERE %3 = ? ORDER BY rowid DESC "
                                    "LIMIT 1")
                         .arg(quoteIdent(l::kAfter), quoteIdent(l::kTable), quoteIdent(l::kLineRow)),
                     {QString::number(lineRow)});
    if (!row.found())
        return {row.status, std::nullopt};
    return DbValue<LastRow>::of({row->value(0).toLongLong(), row->value(1).toString()});
}

DbValue<Movements> movementsIn(Database& db, const RecordSource& source)
{
    QVariantList binds;
    const QString sql =
        QStringLiteral("SELECT rowid, %1 FROM %2%3")
            .arg(quoteIdents({l::kKind, l::kQuantity}), quoteIdent(source.table), source.whereSql(&binds));
    const QByteArray opening = changeText(Change::Opening).toUtf8();
    Movements out;
    const DbResult r = db.selectKeyedTexts(sql, binds, [&](qint64, const Database::TextRow& row) {
        ++out.rows;
        if (row.utf8(0) == QByteArrayView(opening))
            return true;
        const double q = readNumberUtf8(row.utf8(1)).value;
        (q < 0 ? out.out : out.in) += std::abs(q);
        return true;
    });
    if (!r)
        return {r, std::nullopt};
    return DbValue<Movements>::of(out);
}

} // namespace shop::stock
