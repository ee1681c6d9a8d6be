#include "card_ledger.h"

#include "sale_rows.h"
#include "schema.h"
#include "ledgered_change.h"
#include "transaction_scope.h"

namespace shop::cards {

namespace {

namespace k = schema::kawu;
namespace n = schema::numbercard;

const QString& kCards = n::kTable;

const QStringList& ledgerColumns()
{
    static const QStringList columns = schema::columnsOf(k::kTable);
    return columns;
}

const QStringList& cardColumns()
{
    static const QStringList columns = schema::columnsOf(kCards);
    return columns;
}

qsizetype cardAt(const QString& column)
{
    return cardColumns().indexOf(column);
}

} // namespace

QString valueOf(const QStringList& card, const QString& column)
{
    return card.value(cardAt(column));
}

void setValue(QStringList& card, const QString& column, const QString& value)
{
    const qsizetype at = cardAt(column);
    if (at >= 0 && at < card.size())
        card[at] = value;
}

Figures Figures::of(const QStringList& card)
{
    return {valueOf(card, n::kBalance), valueOf(card, n::kUses)};
}

QString changeText(Change c)
{
    switch (c) {
    case Change::Open:
        return QStringLiteral("开卡");
    case Change::TopUp:
        return QStringLiteral("充值");
    case Change::Charge:
        return QStringLiteral("消费");
    case Change::Modify:
        return QStringLiteral("修改");
    case Change::GridEdit:
        return QStringLiteral("表格修改");
    case Change::Delete:
        return QStringLiteral("删除卡");
    case Change::Void:
        return QStringLiteral("撤销消费");
    case Change::Begin:
        return QStringLiteral("启用");
    case Change::Import:
        return QStringLiteral("导入");
    }
    return {};
}

bool isCardTable(const QString& table)
{
    return table.compare(kCards, Qt::CaseInsensitive) == 0;
}

bool isUseCard(const QString& type)
{
    return type == QStringLiteral("月卡") || type == QStringLiteral("季卡") ||
           type == QStringLiteral("年卡") || type == QStringLiteral("其它");
}

bool isValueCard(const QString& type)
{
    return type == QStringLiteral("钻石卡");
}

Database::Statement ledgerRow(const Database& db, Change kind, const QString& number, const Key& cardRow,
                              const Figures& before, const Figures& after, const Note& note)
{
    // Values in the ledger's column order; a key given in this transaction
    // is named by its expression instead of a bound value.
    static const qsizetype saleAt = ledgerColumns().indexOf(k::kSale);
    static const qsizetype cardAt = ledgerColumns().indexOf(k::kCardRow);
    QVariantList binds;
    binds.reserve(ledgerColumns().size());
    QVarLengthArray<ColumnExpression, 2> expressions;
    const auto bind = [&binds](const QString& v) { binds << textValue(v); };
    const auto key = [&](const Key& k, qsizetype at) {
        if (k.sql.isEmpty())
            bind(k.text);
        else
            expressions.append({at, k.sql});
    };
    bind(db.writeTime());
    bind(number);
    bind(changeText(kind));
    bind(before.balance);
    bind(after.balance);
    bind(before.uses);
    bind(after.uses);
    bind(note.received);
    bind(db.writerLogin());
    bind(note.handler);
    key(note.sale, saleAt);
    bind(note.remark);
    key(cardRow, cardAt);
    return rowInsert(k::kTable, ledgerColumns(), std::move(binds), expressions);
}

QList<Database::Write> setFigures(const Database& db, qint64 rowid, const QString& number, Change kind,
                                  const Figures& before, const Figures& after, const Note& note)
{
    static const QString sql = QStringLiteral("UPDATE %1 SET %2 = ?, %3 = ? WHERE rowid = ?")
                                   .arg(kCards, quoteIdent(n::kBalance), quoteIdent(n::kUses));
    return {{kCards, {sql, {textValue(after.balance), textValue(after.uses), rowid}}},
            {k::kTable, ledgerRow(db, kind, number, {QString::number(rowid), {}}, before, after, note)}};
}

DbValue<QStringList> readForChange(Database& db, qint64 rowid)
{
    const auto row = db.selectOneForUpdate(
        QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(quoteIdents(cardColumns()), kCards), {rowid});
    if (!row.found())
        return {row.status, std::nullopt};
    QStringList values;
    for (const QVariant& v : *row)
        values << v.toString();
    return DbValue<QStringList>::of(values);
}

DbValue<Charge> chargeOf(Database& db, const QString& key)
{
    // The newest 消费 row naming the sale.
    const auto row =
        db.selectOne(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ? AND %4 = ? ORDER BY rowid DESC LIMIT 1")
                         .arg(quoteIdents({k::kCardRow, k::kBalanceBefore, k::kUsesBefore, k::kBalanceAfter,
                                           k::kUsesAfter}),
                              k::kTable, quoteIdent(k::kSale), quoteIdent(k::kKind)),
                     {textValue(key), changeText(Change::Charge)});
    if (!row.found())
        return {row.status, std::nullopt};
    return DbValue<Charge>::of({row->value(0).toLongLong(),
                                {row->value(1).toString(), row->value(2).toString()},
                                {row->value(3).toString(), row->value(4).toString()}});
}

namespace {

DbValue<QVariantList> beginning(Database& db)
{
    return db.selectOne(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ? ORDER BY rowid LIMIT 1")
                            .arg(quoteIdent(k::kSale), k::kTable, quoteIdent(k::kKind)),
                        {changeText(Change::Begin)});
}

} // namespace

DbResult markBeginning(Database& db)
{
    // The keys' lock first: a second till upgrading at the same moment finds
    // the mark made. A sale drawing its key meanwhile draws one beyond the
    // mark, or is stored with its charge row under one before it.
    const auto keys = db.selectOneEach(sales::nextKey(db), Database::RowLock::None);
    if (keys.failed())
        return keys.status;
    const auto marked = beginning(db);
    if (marked.failed() || marked.found())
        return marked.status;
    qint64 last = keys->last() ? keys->last()->value(0).toLongLong() - 1 : 0;
    // Kept by an earlier version: every sale from its first charge on was.
    const auto charged = db.selectOne(
        QStringLiteral("SELECT min(CAST(CAST(%1 AS TEXT) AS BIGINT)) FROM %2 WHERE %3 = ? AND %1 <> ''")
            .arg(quoteIdent(k::kSale), k::kTable, quoteIdent(k::kKind)),
        {changeText(Change::Charge)});
    if (charged.failed())
        return charged.status;
    if (charged.found() && !charged->value(0).isNull())
        last = qMin(last, charged->value(0).toLongLong() - 1);
    Note note;
    note.sale.text = QString::number(qMax<qint64>(last, 0));
    note.remark = QStringLiteral("此前保存的业务没有卡务记录");
    const Database::Statement row = ledgerRow(db, Change::Begin, {}, {}, {}, {}, note);
    return db.exec(row.sql, row.binds);
}

DbValue<bool> beginningMarked(Database& db)
{
    if (db.columns(k::kTable).isEmpty())
        return DbValue<bool>::of(false);
    const auto marked = beginning(db);
    if (marked.failed())
        return {marked.status, std::nullopt};
    return DbValue<bool>::of(marked.found());
}

DbValue<bool> keptByLedger(Database& db, const QString& key)
{
    bool isNumber = false;
    const qint64 sale = key.toLongLong(&isNumber);
    if (!isNumber)
        return DbValue<bool>::of(false);
    const auto began = beginning(db);
    if (began.failed())
        return {began.status, std::nullopt};
    return DbValue<bool>::of(began.found() && sale > began->value(0).toLongLong());
}

DbValue<Changed> change(Database& db, qint64 rowid, Change kind, const Note& note, const Compute& compute)
{
    return ledgeredChange<Changed>(
        db, kCards, cardColumns(), rowid, readForChange, compute,
        [&](const QStringList& stored, const QStringList& next) -> QList<Database::Statement> {
            // A change of the holder's name or the remark is no change of money.
            const QString was = valueOf(stored, n::kNumber);
            const QString now = valueOf(next, n::kNumber);
            if (Figures::of(stored) == Figures::of(next) && was == now)
                return {};
            Note n = note;
            if (was != now && n.remark.isEmpty())
                n.remark = QStringLiteral("卡号由 %1 改为 %2").arg(was, now);
            return {ledgerRow(db, kind, now, {QString::number(rowid), {}}, Figures::of(stored),
                              Figures::of(next), n)};
        });
}

DbResult modify(Database& db, qint64 rowid, Change kind, const QStringList& values, const Note& note)
{
    const auto changed = change(db, rowid, kind, note, [&values](const QStringList&) { return values; });
    if (!changed)
        return changed.status;
    DbResult r;
    r.rowsAffected = changed->gone() ? 0 : 1;
    return r;
}

QList<Database::Write> openWrites(const Database& db, const QStringList& values, Change kind,
                                  const Note& note)
{
    if (values.size() != cardColumns().size())
        return {};
    QVariantList binds;
    for (const QString& v : values)
        binds << textValue(v);
    const QString marks = QStringList(values.size(), QStringLiteral("?")).join(QStringLiteral(", "));
    return {
        {kCards,
         {QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(kCards, quoteIdents(cardColumns()), marks),
          binds}},
        {k::kTable, ledgerRow(db, kind, valueOf(values, n::kNumber), {{}, db.lastKeySql(kCards)}, {},
                              Figures::of(values), note)}};
}

DbResult open(Database& db, const QStringList& values, const Note& note)
{
    const QList<Database::Write> writes = openWrites(db, values, Change::Open, note);
    if (writes.isEmpty())
        return DbResult::failure(QStringLiteral("numbercard: %1 values for %2 columns")
                                     .arg(values.size())
                                     .arg(cardColumns().size()));
    TransactionScope tx(db);
    if (!tx.active())
        return DbResult::failure(tx.error());
    QList<Database::Statement> statements;
    for (const Database::Write& w : writes)
        statements << w.statement;
    if (DbResult r = db.execEach(statements); !r)
        return r;
    return tx.commit();
}

DbResult remove(Database& db, qint64 rowid, const QString& remark)
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
    note.remark = remark;
    DbResult r = db.execEach({ledgerRow(db, Change::Delete, valueOf(*stored, n::kNumber),
                                        {QString::number(rowid), {}}, Figures::of(*stored), {}, note),
                              {QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(kCards), {rowid}}});
    if (!r)
        return r;
    // The row was read under lock: the delete took it.
    r = tx.commit();
    if (r)
        r.rowsAffected = 1;
    return r;
}

QList<Database::Statement> removeAllStatements(const Database& db, const QString& remark)
{
    // One row per card, copied from the cards themselves; each ledger column
    // by name, blank where a deletion says nothing.
    const QString mark = QStringLiteral("CAST(? AS TEXT)");
    const QHash<QString, std::pair<QString, QVariant>> from{
        {k::kTime, {mark, db.writeTime()}},
        {k::kCard, {quoteIdent(n::kNumber), {}}},
        {k::kKind, {mark, changeText(Change::Delete)}},
        {k::kBalanceBefore, {quoteIdent(n::kBalance), {}}},
        {k::kUsesBefore, {quoteIdent(n::kUses), {}}},
        {k::kLogin, {mark, textValue(db.writerLogin())}},
        {k::kRemark, {mark, textValue(remark)}},
        {k::kCardRow, {QStringLiteral("CAST(rowid AS TEXT)"), {}}},
    };
    QStringList select;
    QVariantList binds;
    for (const QString& c : ledgerColumns()) {
        const auto it = from.constFind(c);
        select << (it == from.cend() ? QStringLiteral("''") : it->first);
        if (it != from.cend() && it->first == mark)
            binds << it->second;
    }
    return {{QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4 ORDER BY rowid")
                 .arg(k::kTable, quoteIdents(ledgerColumns()), select.join(QStringLiteral(", ")), kCards),
             binds},
            {QStringLiteral("DELETE FROM %1").arg(kCards), {}}};
}

} // namespace shop::cards
