#include "record_model.h"

#include "table_rows.h"

// The record model's statements: the select list, the keyset condition that
// reads on from a page's last key, and the snapshot of rowids in order that
// stands in for them when only a sort of the whole result serves the order.
namespace shop {

QString RecordModel::selectList() const
{
    QStringList cols{QStringLiteral("rowid")};
    for (const QString& c : columns_)
        cols << quoteIdent(c);
    for (const QString& c : orderColumns_)
        cols << quoteIdent(c);
    return cols.join(", ");
}

QString RecordModel::orderSql() const
{
    // The rowid breaks ties, so every row has a unique place to page from.
    return rows::gridOrderSql(source_);
}

QString RecordModel::keysetSql(const QVariantList& after, QVariantList* binds) const
{
    if (after.isEmpty())
        return {};
    const int n = static_cast<int>(source_.order.size());
    bool sameDir = true;
    for (const SortKey& k : source_.order)
        sameDir = sameDir && k.descending == source_.order.first().descending;
    if (n == 0) {
        *binds << after.last();
        return QStringLiteral("rowid > ?");
    }
    if (sameDir) {
        // A row value comparison lets SQLite walk an index from the key.
        // Each key compares in the collation it is sorted by.
        QStringList lhs, qs;
        for (const QString& c : orderColumns_) {
            lhs << quoteIdent(c);
            qs << orderMark(c);
        }
        lhs << QStringLiteral("rowid");
        qs << QStringLiteral("?");
        *binds << after;
        return QStringLiteral("(%1) %2 (%3)")
            .arg(lhs.join(", "), source_.order.first().descending ? "<" : ">", qs.join(", "));
    }
    // Mixed directions: (k1 after) OR (k1 = and k2 after) OR ... with rowid last.
    QStringList ors;
    for (int i = 0; i <= n; ++i) {
        QStringList ands;
        for (int j = 0; j < i; ++j) {
            ands << quoteIdent(orderColumns_.at(j)) + " = " + orderMark(orderColumns_.at(j));
            *binds << after.at(j);
        }
        if (i < n) {
            ands << quoteIdent(orderColumns_.at(i)) + (source_.order.at(i).descending ? " < " : " > ") +
                        orderMark(orderColumns_.at(i));
            *binds << after.at(i);
        } else {
            ands << QStringLiteral("rowid > ?");
            *binds << after.last();
        }
        ors << "(" + ands.join(" AND ") + ")";
    }
    return "(" + ors.join(" OR ") + ")";
}

QString RecordModel::rowsSql(const QString& select, const QVariantList& after, int limit, QVariantList* binds,
                             rows::TextSort text) const
{
    QString where = source_.whereSql(binds);
    const QString keyset = keysetSql(after, binds);
    if (!keyset.isEmpty()) {
        where += where.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ");
        where += keyset;
    }
    QString sql = QStringLiteral("SELECT %1 FROM %2%3%4")
                      .arg(select, quoteIdent(source_.table), where, rows::gridOrderSql(source_, text));
    if (limit > 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    return sql;
}

bool RecordModel::readRows(const QVariantList& after, int limit,
                           const std::function<void(qint64, const Database::TextRow&)>& sink,
                           QString* error) const
{
    QVariantList binds;
    const QString sql = rowsSql(selectList(), after, limit, &binds);
    DbResult r = db_.selectKeyedTexts(sql, binds, [&sink](qint64 rowid, const Database::TextRow& row) {
        sink(rowid, row);
        return true;
    });
    if (!r && error)
        *error = r.error;
    return r.ok;
}

bool RecordModel::sortsWholeResult() const
{
    if (source_.order.isEmpty() || pageEnds_.isEmpty())
        return false;
    QVariantList binds;
    const QString sql = rowsSql(selectList(), pageEnds_.last(), pageSize_, &binds);
    return db_.sortsWholeResult(sql, binds);
}

bool RecordModel::takeSnapshot(QString* error)
{
    QVariantList binds;
    // Taken only when no index serves the order: the whole rest is sorted
    // anyway, by sort keys, one per row.
    const QString sql =
        rowsSql(QStringLiteral("rowid"), pageEnds_.last(), 0, &binds, rows::TextSort::SortKeys);
    QVector<qint64> rowids;
    DbResult r = db_.selectKeyedTexts(sql, binds, [&rowids](qint64 rowid, const Database::TextRow&) {
        rowids.append(rowid);
        return true;
    });
    if (!r) {
        *error = r.error;
        return false;
    }
    rowids.squeeze();
    snapshot_ = std::move(rowids);
    snapshotFrom_ = loadedRows_;
    return true;
}

bool RecordModel::readSnapshotPage(int index, Page* out, QString* error) const
{
    const qsizetype from = static_cast<qsizetype>(index) * pageSize_ - snapshotFrom_;
    const qsizetype n = qMin<qsizetype>(pageSize_, snapshot_.size() - from);
    if (from < 0 || n <= 0)
        return false;
    QHash<qint64, int> slot;
    slot.reserve(n);
    for (qsizetype i = 0; i < n; ++i)
        slot.insert(snapshot_.at(from + i), static_cast<int>(i));
    QVector<Row> rows(n);
    // Bounded lists stay well below the engine's limit on bound values.
    constexpr qsizetype kBatch = 500;
    for (qsizetype b = 0; b < n; b += kBatch) {
        QVariantList binds;
        QString where = source_.whereSql(&binds);
        where += where.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ");
        QString marks;
        for (qsizetype i = b; i < qMin(n, b + kBatch); ++i) {
            marks += marks.isEmpty() ? QStringLiteral("?") : QStringLiteral(", ?");
            binds << snapshot_.at(from + i);
        }
        // NOT INDEXED keeps the planner on rowid lookups even when a condition
        // has an index of its own.
        const QString sql = QStringLiteral("SELECT %1 FROM %2 NOT INDEXED%3rowid IN (%4)")
                                .arg(selectList(), quoteIdent(source_.table), where, marks);
        DbResult r = db_.selectKeyedTexts(sql, binds, [&](qint64 rowid, const Database::TextRow& row) {
            rows[slot.value(rowid)] = Row::fromEngine(rowid, row);
            return true;
        });
        if (!r) {
            if (error)
                *error = r.error;
            return false;
        }
    }
    // The engine returns them by rowid; they go back into snapshot order, and
    // rows deleted since the snapshot drop out.
    out->reserve(n);
    for (Row& row : rows)
        if (!row.packed.isEmpty())
            out->append(std::move(row));
    return true;
}

bool RecordModel::readPage(const QVariantList& after, Page* out, QString* error) const
{
    out->reserve(pageSize_);
    return readRows(
        after, pageSize_,
        [out](qint64 rowid, const Database::TextRow& row) { out->append(Row::fromEngine(rowid, row)); },
        error);
}

int RecordModel::snapshotRowOf(qint64 rowid)
{
    const qsizetype at = snapshot_.indexOf(rowid);
    if (at < 0)
        return -1;
    const int wanted = snapshotFrom_ + static_cast<int>(at);
    while (wanted >= loadedRows_ && canFetchMore()) {
        const int had = loadedRows_;
        fetchMore();
        if (loadedRows_ == had)
            return -1;
    }
    // Rows deleted since the snapshot have dropped out of the page, so the
    // row is looked for in its page rather than taken from its place in the list.
    const int index = wanted / pageSize_;
    const Page* p = page(index);
    for (int i = 0; p && i < p->size(); ++i)
        if (p->at(i).rowid == rowid)
            return index * pageSize_ + i;
    return -1;
}

void RecordModel::fetchFromSnapshot()
{
    // Rows from the list are read when they are shown; a fetch only makes
    // them known, doubling as the keyset fetches do.
    const qint64 pages = chunkPages_;
    chunkPages_ = qMin(chunkPages_ * 2, kMaxChunkPages);
    const qint64 left = snapshotFrom_ + snapshot_.size() - loadedRows_;
    const int read = static_cast<int>(qMin(pages * pageSize_, left));
    atEnd_ = read == left;
    if (read <= 0)
        return;
    beginInsertRows({}, loadedRows_, loadedRows_ + read - 1);
    loadedRows_ += read;
    endInsertRows();
}

} // namespace shop
