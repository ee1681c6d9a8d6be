#include "record_model.h"

#include "card_ledger.h"
#include "stock_ledger.h"
#include "table_rows.h"

#include <QScopeGuard>

#include <cstring>
#include <QSqlQuery>

namespace shop {

namespace {
// Layout of a packed row: quint32 count, count + 1 offsets, then the bytes.
quint32 readU32(const char* p)
{
    quint32 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <typename Get> QByteArray packTexts(int n, Get&& utf8)
{
    qsizetype total = 0;
    for (int i = 0; i < n; ++i)
        total += utf8(i).size();
    const qsizetype header = sizeof(quint32) * (n + 2);
    QByteArray out(header + total, Qt::Uninitialized);
    char* h = out.data();
    const quint32 count = static_cast<quint32>(n);
    std::memcpy(h, &count, sizeof count);
    quint32 offset = 0;
    char* data = h + header;
    for (int i = 0; i < n; ++i) {
        std::memcpy(h + sizeof(quint32) * (i + 1), &offset, sizeof offset);
        const QByteArrayView v = utf8(i);
        if (!v.isEmpty())
            std::memcpy(data + offset, v.data(), v.size());
        offset += static_cast<quint32>(v.size());
    }
    std::memcpy(h + sizeof(quint32) * (n + 1), &offset, sizeof offset);
    return out;
}
} // namespace

RecordModel::Row RecordModel::Row::fromEngine(qint64 rowid, const Database::TextRow& row)
{
    return Row{rowid, packTexts(row.count(), [&row](int i) { return row.utf8(i); })};
}

RecordModel::Row RecordModel::Row::fromTexts(qint64 rowid, const QVector<QString>& texts)
{
    QVector<QByteArray> utf8;
    utf8.reserve(texts.size());
    for (const QString& t : texts)
        utf8.append(t.toUtf8());
    return Row{rowid, packTexts(static_cast<int>(utf8.size()),
                                [&utf8](int i) { return QByteArrayView(utf8.at(i)); })};
}

int RecordModel::Row::count() const
{
    return packed.isEmpty() ? 0 : static_cast<int>(readU32(packed.constData()));
}

QString RecordModel::Row::text(int i) const
{
    const int n = count();
    if (i < 0 || i >= n)
        return {};
    const char* h = packed.constData();
    const quint32 from = readU32(h + sizeof(quint32) * (i + 1));
    const quint32 to = readU32(h + sizeof(quint32) * (i + 2));
    const char* data = h + sizeof(quint32) * (n + 2);
    return QString::fromUtf8(data + from, static_cast<qsizetype>(to - from));
}

QVector<QString> RecordModel::Row::texts() const
{
    QVector<QString> out;
    const int n = count();
    out.reserve(n);
    for (int i = 0; i < n; ++i)
        out.append(text(i));
    return out;
}

RecordModel::RecordModel(Database& db, QObject* parent) : QAbstractTableModel(parent), db_(db) {}

int RecordModel::columnIndex(const QString& name) const
{
    for (int i = 0; i < columns_.size(); ++i)
        if (columns_.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void RecordModel::setCaption(int column, const QString& caption)
{
    captions_.insert(column, caption);
    emit headerDataChanged(Qt::Horizontal, column, column);
}

DbResult RecordModel::setSource(const RecordSource& source)
{
    source_ = source;
    return rerun();
}

DbResult RecordModel::setSource(const RecordSource& source, QVector<qint64> rowidsInOrder)
{
    source_ = source;
    beginResetModel();
    DbResult r = run(&rowidsInOrder);
    endResetModel();
    return r;
}

DbResult RecordModel::rerun()
{
    beginResetModel();
    DbResult r = run();
    endResetModel();
    return r;
}

DbResult RecordModel::run(QVector<qint64>* rowidsInOrder)
{
    pages_.clear();
    lru_.clear();
    pageEnds_.clear();
    snapshot_ = {};
    snapshotFrom_ = -1;
    orderChecked_ = false;
    loadedRows_ = 0;
    atEnd_ = true;
    chunkPages_ = 1;
    // No page is kept now, so their size may change.
    pageSize_ = qMax(askedPageSize_, rowsOnScreen_);
    editRow_ = -1;
    pending_.clear();
    lastError_.clear();
    readFailureSaid_ = false;

    const QStringList all = db_.columns(source_.table);
    if (all.isEmpty()) {
        columns_.clear();
        lastError_ = QStringLiteral("no such table: %1").arg(source_.table);
        return DbResult::failure(lastError_);
    }
    columns_ = source_.columns.isEmpty() ? all : source_.columns;
    orderColumns_.clear();
    for (const SortKey& k : source_.order)
        orderColumns_ << k.column;

    Page first;
    QString err;
    if (rowidsInOrder) {
        // The list stands in for the source's query from the first row on.
        snapshot_ = std::move(*rowidsInOrder);
        snapshotFrom_ = 0;
        orderChecked_ = true;
        if (!snapshot_.isEmpty() && !readSnapshotPage(0, &first, &err)) {
            lastError_ = err;
            return DbResult::failure(err);
        }
        loadedRows_ = static_cast<int>(qMin<qsizetype>(pageSize_, snapshot_.size()));
        atEnd_ = snapshot_.size() <= pageSize_;
    } else {
        if (!readPage({}, &first, &err)) {
            lastError_ = err;
            return DbResult::failure(err);
        }
        loadedRows_ = static_cast<int>(first.size());
        atEnd_ = first.size() < pageSize_;
    }
    if (!first.isEmpty()) {
        pageEnds_.append(keyOf(first.last()));
        remember(0, std::move(first));
    }
    return {};
}

QVariantList RecordModel::keyOf(const Row& r) const
{
    QVariantList key;
    const int base = static_cast<int>(columns_.size());
    for (int i = 0; i < orderColumns_.size(); ++i)
        key << r.text(base + i);
    key << r.rowid;
    return key;
}

void RecordModel::remember(int index, Page p) const
{
    pages_.insert(index, std::move(p));
    lru_.removeAll(index);
    lru_.append(index);
    while (lru_.size() > maxCachedPages_) {
        const int victim = lru_.takeFirst();
        pages_.remove(victim);
    }
}

const RecordModel::Page* RecordModel::page(int index) const
{
    auto it = pages_.constFind(index);
    if (it != pages_.constEnd()) {
        if (lru_.last() != index) {
            lru_.removeAll(index);
            lru_.append(index);
        }
        return &*it;
    }
    if (index < 0 || static_cast<qint64>(index) * pageSize_ >= loadedRows_)
        return nullptr;
    Page p;
    if (index < pageEnds_.size()) {
        const QVariantList after = index == 0 ? QVariantList{} : pageEnds_.at(index - 1);
        QString err;
        if (!readPage(after, &p, &err)) {
            failRead(err);
            return nullptr;
        }
    } else if (QString err; !readSnapshotPage(index, &p, &err)) {
        failRead(err);
        return nullptr;
    }
    remember(index, std::move(p));
    return &pages_[index];
}

void RecordModel::failRead(const QString& error) const
{
    if (readFailureSaid_ || error.isEmpty())
        return;
    readFailureSaid_ = true;
    // Reads happen while the view paints or scrolls: say it afterwards.
    auto* self = const_cast<RecordModel*>(this);
    QMetaObject::invokeMethod(
        self, [self, error] { emit self->readFailed(error); }, Qt::QueuedConnection);
}

qint64 RecordModel::count() const
{
    QVariantList binds;
    const QString sql =
        QStringLiteral("SELECT count(*) FROM %1%2").arg(quoteIdent(source_.table), source_.whereSql(&binds));
    auto row = db_.selectOne(sql, binds);
    return row.found() ? row->value(0).toLongLong() : 0;
}

std::optional<Record> RecordModel::record(int row) const
{
    if (row < 0 || row >= loadedRows_)
        return std::nullopt;
    const Page* p = page(row / pageSize_);
    const int i = row % pageSize_;
    if (!p || i >= p->size())
        return std::nullopt;
    const Row& r = p->at(i);
    Record out;
    out.rowid = r.rowid;
    out.columns = columns_;
    for (int c = 0; c < columns_.size(); ++c) {
        if (row == editRow_ && pending_.contains(c))
            out.values << pending_.value(c);
        else
            out.values << r.text(c);
    }
    return out;
}

qint64 RecordModel::rowidAt(int row) const
{
    if (row < 0 || row >= loadedRows_)
        return 0;
    const Page* p = page(row / pageSize_);
    const int i = row % pageSize_;
    return p && i < p->size() ? p->at(i).rowid : 0;
}

int RecordModel::rowOfRowid(qint64 rowid)
{
    for (int row = 0;; ++row) {
        if (row >= loadedRows_) {
            if (!canFetchMore())
                return -1;
            fetchMore();
            if (row >= loadedRows_)
                return -1;
        }
        if (snapshotFrom_ >= 0 && row >= snapshotFrom_)
            return snapshotRowOf(rowid);
        if (rowidAt(row) == rowid)
            return row;
    }
}

DbValue<Record> RecordModel::findFirst(const QList<Condition>& criteria) const
{
    QVariantList binds;
    const QString sql =
        QStringLiteral("SELECT %1 FROM %2%3%4 LIMIT 1")
            .arg(selectList(), quoteIdent(source_.table), source_.whereSql(&binds, criteria), orderSql());
    auto row = db_.selectOne(sql, binds);
    if (!row.found())
        return DbValue<Record>{row.status, std::nullopt};
    Record out;
    out.rowid = row->value(0).toLongLong();
    out.columns = columns_;
    for (int c = 0; c < columns_.size(); ++c)
        out.values << row->value(c + 1).toString();
    return DbValue<Record>::of(out);
}

DbResult RecordModel::deleteRowid(qint64 rowid)
{
    DbResult r = rows::deleteRowid(db_, source_.table, rowid);
    if (!r)
        return r;
    DbResult again = rerun();
    return again.ok ? r : again;
}

bool RecordModel::pendingMovesRow() const
{
    if (!hasPendingEdits())
        return false;
    for (auto it = pending_.constBegin(); it != pending_.constEnd(); ++it)
        for (const QString& c : orderColumns_)
            if (c.compare(columns_.value(it.key()), Qt::CaseInsensitive) == 0)
                return true;
    return false;
}

void RecordModel::setEditable(bool editable)
{
    editable_ = editable;
}

DbValue<qint64> RecordModel::otherRowHolding(qint64 rowid, const QString& value) const
{
    if (uniqueColumn_.isEmpty())
        return DbValue<qint64>::none();
    const auto other =
        db_.selectOne(QStringLiteral("SELECT rowid FROM %1 WHERE %2 = ? AND rowid <> ? LIMIT 1")
                          .arg(quoteIdent(source_.table), quoteIdent(uniqueColumn_)),
                      {textValue(value), rowid});
    if (!other.found())
        return {other.status, std::nullopt};
    return DbValue<qint64>::of(other->value(0).toLongLong());
}

DbResult RecordModel::flushEdits()
{
    if (!hasPendingEdits()) {
        editRow_ = -1;
        return {};
    }
    const qint64 rowid = rowidAt(editRow_);
    const auto fail = [this](const DbResult& r) {
        emit writeFailed(r.error);
        return r;
    };
    std::optional<Database::Transaction> tx;
    const int unique = uniqueColumn_.isEmpty() ? -1 : static_cast<int>(columns_.indexOf(uniqueColumn_));
    if (unique >= 0 && pending_.contains(unique)) {
        // Another till may be giving another row the same value at this
        // moment: the check and the write are one step.
        tx.emplace(db_);
        if (!tx->active())
            return fail(DbResult::failure(tx->error()));
        if (DbResult r = db_.holdKeysOf(source_.table); !r)
            return fail(r);
        const auto other = otherRowHolding(rowid, pending_.value(unique));
        if (other.failed())
            return fail(other.status);
        if (other) {
            pending_.remove(unique);
            emit dataChanged(index(editRow_, unique), index(editRow_, unique));
            emit uniqueValueTaken();
            if (pending_.isEmpty()) {
                editRow_ = -1;
                return {};
            }
        }
    }
    QStringList sets;
    QVariantList binds;
    QList<int> cols = pending_.keys();
    std::sort(cols.begin(), cols.end());
    for (int c : cols) {
        sets << quoteIdent(columns_.at(c)) + " = ?";
        binds << textValue(pending_.value(c));
    }
    binds << rowid;
    DbResult r;
    if (cards::isCardTable(source_.table) || stock::isGoodsTable(source_.table)) {
        // A card's amount or uses, or a line's stock, edited in place is
        // kept in its ledger.
        const QStringList stored = db_.columns(source_.table);
        const auto edited = [&](const QStringList& values) {
            QStringList next = values;
            for (int c : cols) {
                const qsizetype at = stored.indexOf(columns_.at(c), Qt::CaseInsensitive);
                if (at >= 0 && at < next.size())
                    next[at] = pending_.value(c);
            }
            return std::optional<QStringList>(next);
        };
        const auto gone = [](const auto& changed) { return changed->gone(); };
        const auto written = [&](const auto& changed) {
            if (changed)
                r.rowsAffected = gone(changed) ? 0 : 1;
            else
                r = changed.status;
        };
        if (cards::isCardTable(source_.table))
            written(cards::change(db_, rowid, cards::Change::GridEdit, {}, edited));
        else
            written(stock::change(db_, rowid, stock::Change::GridEdit, {}, edited));
    } else {
        r = db_.exec(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                         .arg(quoteIdent(source_.table), sets.join(", ")),
                     binds);
    }
    if (r && r.rowsAffected == 0) {
        // Another till deleted the row meanwhile: nothing was written, and
        // the edit has no row left to go to.
        const int gone = editRow_;
        pending_.clear();
        editRow_ = -1;
        emit dataChanged(index(gone, 0), index(gone, columnCount() - 1));
        emit editedRowGone();
        return DbResult::failure(QStringLiteral("the edited row no longer exists"));
    }
    if (r && tx)
        r = tx->commit();
    if (!r)
        return fail(r);
    // Keep the cached row in step with what was written.
    const int pi = editRow_ / pageSize_;
    auto it = pages_.find(pi);
    if (it != pages_.end() && editRow_ % pageSize_ < it->size()) {
        Row& row = (*it)[editRow_ % pageSize_];
        QVector<QString> texts = row.texts();
        for (int c : cols)
            texts[c] = pending_.value(c);
        row = Row::fromTexts(row.rowid, texts);
    }
    const int done = editRow_;
    pending_.clear();
    editRow_ = -1;
    emit dataChanged(index(done, 0), index(done, columnCount() - 1));
    return r;
}

void RecordModel::discardEdits()
{
    const int row = editRow_;
    pending_.clear();
    editRow_ = -1;
    if (row >= 0)
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

int RecordModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : loadedRows_;
}

int RecordModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant RecordModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= loadedRows_ || index.column() >= columns_.size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != RowidRole)
        return {};
    const Page* p = page(index.row() / pageSize_);
    const int i = index.row() % pageSize_;
    if (!p || i >= p->size())
        return {};
    const Row& r = p->at(i);
    if (role == RowidRole)
        return r.rowid;
    if (index.row() == editRow_ && pending_.contains(index.column()))
        return pending_.value(index.column());
    return r.text(index.column());
}

QVariant RecordModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (o == Qt::Vertical)
        return section + 1;
    if (captions_.contains(section))
        return captions_.value(section);
    return columns_.value(section);
}

Qt::ItemFlags RecordModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (editable_ && index.isValid())
        f |= Qt::ItemIsEditable;
    return f;
}

bool RecordModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!editable_ || role != Qt::EditRole || !index.isValid() || index.row() >= loadedRows_)
        return false;
    // Leaving a row writes it; an edit in another row first writes the old one.
    if (editRow_ >= 0 && editRow_ != index.row() && !flushEdits())
        return false;
    const QString text = value.toString();
    if (data(index, Qt::EditRole).toString() == text && !pending_.contains(index.column()))
        return true;
    editRow_ = index.row();
    pending_.insert(index.column(), text);
    emit dataChanged(index, index);
    return true;
}

bool RecordModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && !atEnd_;
}

void RecordModel::fetchMore(const QModelIndex& parent)
{
    // Views may ask again from inside the insert signals; one fetch at a time.
    if (parent.isValid() || atEnd_ || pageEnds_.isEmpty() || fetching_)
        return;
    fetching_ = true;
    const auto done = qScopeGuard([this] { fetching_ = false; });

    // One further page is read by key like any other; the sort of the whole
    // result pays off only once the view asks for more than that.
    if (!orderChecked_ && chunkPages_ > 1) {
        orderChecked_ = true;
        QString err;
        if (sortsWholeResult() && !takeSnapshot(&err)) {
            lastError_ = err;
            atEnd_ = true;
            failRead(err);
            return;
        }
    }
    if (snapshotFrom_ >= 0) {
        fetchFromSnapshot();
        return;
    }

    // Each fetch reads twice as many pages as the last (up to a bound), so
    // reaching the end of a long view takes few queries and few repaints.
    // Every page's last key is kept; only the newest pages stay cached.
    const int pages = chunkPages_;
    chunkPages_ = qMin(chunkPages_ * 2, kMaxChunkPages);
    const int firstPage = static_cast<int>(pageEnds_.size());
    QVector<Page> kept;
    QVector<QVariantList> ends;
    Page current;
    int read = 0;
    const int keepFrom = qMax(0, pages - maxCachedPages_);
    const int base = static_cast<int>(columns_.size());
    QVariantList lastKey;
    QString err;
    const bool ok = readRows(
        pageEnds_.last(), pages * pageSize_,
        [&](qint64 rowid, const Database::TextRow& row) {
            const int inPage = read % pageSize_;
            const bool keep = read / pageSize_ >= keepFrom;
            ++read;
            if (keep) {
                current.append(Row::fromEngine(rowid, row));
                if (current.size() == pageSize_) {
                    ends.append(keyOf(current.last()));
                    kept.append(std::move(current));
                    current = Page();
                }
            } else {
                // A page that will not stay cached: only its last key is needed.
                lastKey.clear();
                for (int i = 0; i < orderColumns_.size(); ++i)
                    lastKey << row.text(base + i);
                lastKey << rowid;
                if (inPage == pageSize_ - 1)
                    ends.append(lastKey);
            }
        },
        &err);
    if (!ok) {
        lastError_ = err;
        atEnd_ = true;
        failRead(err);
        return;
    }
    if (!current.isEmpty()) {
        ends.append(keyOf(current.last()));
        kept.append(std::move(current));
    } else if (read % pageSize_ != 0) {
        ends.append(lastKey); // a short last page that is not cached
    }
    atEnd_ = read < pages * pageSize_;
    if (read == 0)
        return;
    const int first = loadedRows_;
    beginInsertRows({}, first, first + read - 1);
    pageEnds_ += ends;
    const int firstKept = firstPage + static_cast<int>(ends.size() - kept.size());
    for (int i = 0; i < kept.size(); ++i)
        remember(firstKept + i, std::move(kept[i]));
    loadedRows_ += read;
    endInsertRows();
}

} // namespace shop
