#pragma once

#include "database.h"
#include "record_source.h"
#include "table_rows.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QVector>

#include <functional>

#include <optional>

namespace shop {

// One stored row: its hidden SQLite rowid and its visible values.
struct Record {
    qint64 rowid = 0;
    QStringList values;
    QStringList columns;

    QString value(int position) const { return values.value(position); }
    QString value(const QString& column) const
    {
        for (int i = 0; i < columns.size(); ++i)
            if (columns.at(i).compare(column, Qt::CaseInsensitive) == 0)
                return values.at(i);
        return {};
    }
};

// A record source bound to a grid, read lazily by keyset pages. Only the
// first page is read when the source runs; later pages are fetched as the
// view asks for them, and at most `maxCachedPages` pages stay in memory (an
// evicted page is read again from the key where it starts). Every query runs
// to its end before returning, so no statement is left open.
//
// When the engine can only serve the order by sorting the whole result (no
// usable index), every keyset page would cost a full sort. Then, once the
// view asks for more than one further page, the rowids of the remaining rows
// are read in order once, and later pages are read by rowid from that list. Rows deleted since
// drop out of their page; rerun() takes a fresh list.
class RecordModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int RowidRole = Qt::UserRole + 1;

    explicit RecordModel(Database& db, QObject* parent = nullptr);

    Database& database() const { return db_; }
    const RecordSource& source() const { return source_; }

    // Sets the source and runs it; on failure the model is left empty and
    // the error is returned.
    DbResult setSource(const RecordSource& source);
    // The same, with the rowids of all its rows in its order already read
    // (by a total over the same rows, say): the first page is read by rowid
    // from them and later pages follow the list, so the source's own query
    // never runs.
    DbResult setSource(const RecordSource& source, QVector<qint64> rowidsInOrder);
    // Runs the current source again.
    DbResult rerun();
    QString lastError() const { return lastError_; }

    // Visible column names of the current source.
    QStringList columnNames() const { return columns_; }
    int columnIndex(const QString& name) const;
    void setCaption(int column, const QString& caption);

    // Cheap: tells empty from non-empty without counting.
    bool isEmpty() const { return loadedRows_ == 0; }
    // Counts the rows of the current source (a full pass; use sparingly).
    qint64 count() const;

    // Row access by position in the current order (fetches if needed).
    std::optional<Record> record(int row) const;
    qint64 rowidAt(int row) const;
    // Position of a rowid among the rows, reading further pages if needed;
    // -1 when it is not among them.
    int rowOfRowid(qint64 rowid);

    // First row of the current source, in its current order, that also
    // matches `criteria`.
    DbValue<Record> findFirst(const QList<Condition>& criteria) const;

    // Deletes exactly one stored row and re-runs.
    DbResult deleteRowid(qint64 rowid);

    // In-place editing: when `editable`, setData keeps the edit for the row
    // and flushEdits() writes it with one UPDATE of that row.
    void setEditable(bool editable);
    bool isEditable() const { return editable_; }
    bool hasPendingEdits() const { return editRow_ >= 0 && !pending_.isEmpty(); }
    int pendingRow() const { return editRow_; }
    // True when a pending edit changes a column the source is ordered by:
    // once written, the row no longer stands where the pages put it.
    bool pendingMovesRow() const;
    DbResult flushEdits();
    void discardEdits();
    // A column whose values no two rows share (compared as the engine
    // compares): an edit giving it a value another row holds is dropped at
    // flushEdits(), checked and written as one step, and uniqueValueTaken()
    // says so; the row's other edits are written.
    void setUniqueColumn(const QString& column) { uniqueColumn_ = column; }
    // Another row than `rowid` whose unique column holds `value`, if any.
    DbValue<qint64> otherRowHolding(qint64 rowid, const QString& value) const;

    void setPageSize(int rows) { pageSize_ = askedPageSize_ = qMax(16, rows); }
    // The rows a view shows at once: from the next run on, a page holds at
    // least these, so that the first screen is read (and painted) once
    // instead of being fetched again at once for its last rows.
    void setRowsOnScreen(int rows) { rowsOnScreen_ = qMax(0, rows); }
    void setMaxCachedPages(int pages) { maxCachedPages_ = qMax(2, pages); }
    int cachedPageCount() const { return static_cast<int>(pages_.size()); }

    // QAbstractItemModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation o, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool canFetchMore(const QModelIndex& parent = {}) const override;
    void fetchMore(const QModelIndex& parent = {}) override;

signals:
    // An in-place edit could not be written.
    void writeFailed(const QString& error);
    // An edit of the unique column was dropped: another row holds the value.
    void uniqueValueTaken();
    // An in-place edit was dropped: another till deleted its row meanwhile.
    void editedRowGone();
    // Rows after the first page could not be read (a damaged file, an I/O
    // error): the view stops there, and this says why, once per run.
    void readFailed(const QString& error);

private:
    // One cached row: visible columns, then the order columns, kept as the
    // engine's UTF-8 bytes in one block (offsets first) and decoded only
    // when a cell is shown, so reading a page costs little more than copying.
    struct Row {
        qint64 rowid = 0;
        QByteArray packed;

        static Row fromEngine(qint64 rowid, const Database::TextRow& row);
        static Row fromTexts(qint64 rowid, const QVector<QString>& texts);
        int count() const;
        QString text(int i) const;
        QVector<QString> texts() const;
    };
    using Page = QVector<Row>;

    DbResult run(QVector<qint64>* rowidsInOrder = nullptr);
    // Reads the page that follows `after` (the key of the previous page's
    // last row; empty for the first page).
    bool readPage(const QVariantList& after, Page* out, QString* error) const;
    // Reads up to `limit` rows after the key, in order, into `sink`.
    bool readRows(const QVariantList& after, int limit,
                  const std::function<void(qint64, const Database::TextRow&)>& sink, QString* error) const;
    // The statement of readRows, selecting `select`; `limit` 0 reads to the end.
    QString rowsSql(const QString& select, const QVariantList& after, int limit, QVariantList* binds,
                    rows::TextSort text = rows::TextSort::Collation) const;
    // True when reading on from the last page needs a sort of the whole result.
    bool sortsWholeResult() const;
    bool takeSnapshot(QString* error);
    bool readSnapshotPage(int index, Page* out, QString* error) const;
    void fetchFromSnapshot();
    int snapshotRowOf(qint64 rowid);
    QVariantList keyOf(const Row& r) const;
    const Page* page(int index) const;
    void remember(int index, Page p) const;
    QString selectList() const;
    QString keysetSql(const QVariantList& after, QVariantList* binds) const;
    QString orderSql() const;

    Database& db_;
    RecordSource source_;
    QString uniqueColumn_;
    QStringList columns_;
    QStringList orderColumns_;
    QHash<int, QString> captions_;
    QString lastError_;
    // A read failure is said once per run, after the current event.
    void failRead(const QString& error) const;
    mutable bool readFailureSaid_ = false;

    int pageSize_ = 256;
    int askedPageSize_ = 256;
    int rowsOnScreen_ = 0;
    int maxCachedPages_ = 64;
    int loadedRows_ = 0;
    bool atEnd_ = true;
    bool fetching_ = false;
    static constexpr int kMaxChunkPages = 256;
    int chunkPages_ = 1;
    // Key of the last row of every page read so far.
    QVector<QVariantList> pageEnds_;
    mutable QHash<int, Page> pages_;
    // Rowids of the rows from `snapshotFrom_` on, in order, once taken.
    QVector<qint64> snapshot_;
    int snapshotFrom_ = -1;
    bool orderChecked_ = false;
    mutable QList<int> lru_;

    bool editable_ = false;
    int editRow_ = -1;
    QHash<int, QString> pending_;
};

} // namespace shop
