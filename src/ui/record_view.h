#pragma once

#include "app_context.h"
#include "data/record_model.h"
#include "widgets.h"

#include <QHash>
#include <QPointer>
#include <QTableView>
#include <QTimer>

class QAction;
class QMenu;

namespace shop {

// A query item: an input box whose answer filters one column (contains
// match unless told), with the not-found message and the fallback source.
struct SearchItem {
    QString prompt;
    QString title;
    QString column;
    QString notFoundText;
    QString notFoundCaption;
    // Columns shown by the filtered source (empty: all).
    QStringList columns = {};
    // Source after a search without result (default: every row of the table).
    std::optional<RecordSource> fallback = std::nullopt;
    Op match = Op::Contains;
};

// What a delete after the question came to; the window decides what No does.
enum class DeleteResult { NoRow, No, Deleted, Failed };
// What a search came to: the input box cancelled (or left empty), rows
// found, none found (the message was shown and the fallback runs), or a
// database error (reported).
enum class SearchResult { Cancelled, Found, NotFound, Failed };
// What a click on a header without a sort does.
enum class UnmappedHeader { Rerun, Ignore };
// The lock pair: the plain one switches in-place edits, the full one deletes
// from the grid too.
enum class LockKind { Plain, Full };
// The names of the lock, edit and refresh items of a menu kept elsewhere.
struct LockMenuNames {
    const char* lock;
    const char* edit;
    const char* refresh;
};
// What adopting a lock pair does to the grid: lock it, or keep the flags it
// has (only the items' states are set).
enum class AdoptedLock { LockGrid, KeepFlags };

// The record view every window uses: a lazily read grid bound to a record
// source, with header sorts, searches with a fallback, the popup menu, the
// lock menus, delete of the selected row after a question, in-place edits
// written when the row is left, and the item states that follow whether the
// source has rows. A write re-runs it only through the table-changed
// notifier, so each open view of the table re-reads once.
class RecordView : public QTableView {
    Q_OBJECT
public:
    RecordView(AppContext& ctx, Database& db, const QString& table, QWidget* parent = nullptr);
    ~RecordView() override;

    AppContext& context() const { return ctx_; }
    RecordModel* records() const { return model_; }
    QString table() const { return table_; }
    const RecordSource& source() const { return model_->source(); }

    // Runs a source; a database error is reported and false returned.
    bool setSource(const RecordSource& source);
    // The same with the rowids of its rows in order already read (see
    // RecordModel::setSource): no query of its own runs.
    bool setSource(const RecordSource& source, QVector<qint64> rowidsInOrder);
    bool rerun();
    // Every row of the table (the refresh items and the opening query).
    bool refresh();
    // Every row, showing only `columns`.
    bool showAll(const QStringList& columns) { return setSource(RecordSource{table_, columns, {}, {}}); }

    bool isEmpty() const { return model_->isEmpty(); }

    // Shows the rows of `source` from the rowids that `read` (totals over the
    // same rows, in one pass) hands back. When the read fails the grid reads
    // the rows itself and the failure is said once they show. The totals,
    // when the grid shows the rows and they were read.
    template <typename Read>
    auto showWithTotals(const RecordSource& source, Read read) -> decltype(read(nullptr).value)
    {
        QVector<qint64> rowids;
        auto totals = read(&rowids);
        if (totals.failed()) {
            if (setSource(source))
                ctx_.messages().databaseError(totals.error());
            return std::nullopt;
        }
        if (!setSource(source, std::move(rowids)))
            return std::nullopt;
        return std::move(totals.value);
    }

    // Header sorts: header index -> source. A header without an entry
    // re-runs the current source, or does nothing.
    void setSortMap(const QHash<int, RecordSource>& map, UnmappedHeader unmapped = UnmappedHeader::Rerun);
    // Shorthand: header index -> column of "every row ordered by column".
    void setSortColumns(const QHash<int, QString>& columns, const QStringList& shown = {},
                        UnmappedHeader unmapped = UnmappedHeader::Rerun);
    const QHash<int, RecordSource>& sortMap() const { return sortMap_; }
    UnmappedHeader unmappedHeader() const { return unmapped_; }
    void sortByHeader(int index);

    // Asks with an input box and filters; an empty answer changes nothing.
    SearchResult search(const SearchItem& item);
    // Filters without asking (shared by searches whose answer comes elsewhere).
    SearchResult searchFor(const SearchItem& item, const QString& answer);
    // Runs a source; without rows says `notFound` and shows the fallback
    // (every row of the table unless given).
    SearchResult showOrFallBack(const RecordSource& source, const QString& notFound, const QString& caption,
                                const std::optional<RecordSource>& fallback = std::nullopt);

    // The popup menu opened by the right mouse button over the grid. It
    // ends with the export item, after a line; a grid whose window gives it
    // no items gets a popup of that item alone.
    QMenu* popupMenu() const;
    // Opens `menu` (one kept elsewhere, such as the main window's) instead.
    void setPopupMenu(QMenu* menu);

    // "导出…" (Ctrl+E on the grid): every row of the current source (its
    // search filter and header sort included), the columns the grid shows
    // under their headings, to a CSV file chosen in a save dialog, with a
    // progress dialog that cancels. The texts are the stored ones, as the
    // grid shows them; a masked column writes its mask.
    QAction* exportAction() const { return exportAction_; }
    void exportRows();
    // Shows `mask` in every cell of the column instead of its value.
    void maskColumn(int column, const QString& mask);
    // An in-place edit of `column` that gives a row the value another row
    // holds is refused with `message` (caption 错误) and nothing is written,
    // so the column stays a key.
    void refuseDuplicateEdits(const QString& column, const QString& message);

    // Adds lock / edit / refresh items, separated, to `menu` (the popup
    // unless given) and makes the first two the lock pair. The refresh item
    // shows every row unless the caller connects it itself
    // (`refreshShowsAll` false).
    struct LockMenu {
        QAction* lock = nullptr;
        QAction* edit = nullptr;
        QAction* refresh = nullptr;
    };
    LockMenu addLockMenu(const MenuItem& lock, const MenuItem& edit, const MenuItem& refresh, LockKind kind,
                         QMenu* menu = nullptr, bool refreshShowsAll = true);
    // Opens `menu` (one kept elsewhere, such as the main window's) over the
    // grid, and makes its items named in `names` the lock pair (the lock item
    // disabled, the edit item enabled) and the refresh item (every row, and
    // whatever the caller connects after). Items the menu lacks are null.
    LockMenu adoptMenu(QMenu* menu, const LockMenuNames& names, LockKind kind, AdoptedLock lock);
    // Lock pair: exactly one of the two items is enabled.
    void setLockPair(QAction* lockItem, QAction* editItem, LockKind kind);
    QAction* lockItem() const { return lockItem_; }
    void lock();
    void unlock();
    bool allowUpdate() const { return allowUpdate_; }
    bool allowDelete() const { return allowDelete_; }
    void setAllowUpdate(bool on);
    void setAllowDelete(bool on) { allowDelete_ = on; }
    // Warn with the locked-grid message when a cell is acted on while locked.
    void setWarnWhenLocked(bool on) { warnWhenLocked_ = on; }

    // The current row (the grid's selection), if any.
    std::optional<Record> currentRecord() const;
    // Makes the row with this rowid current, reading pages as needed.
    bool selectRowid(qint64 rowid);
    // As selectRowid, and when the source does not hold the row, shows
    // every row first; the row is scrolled into view. False when the row
    // is not stored (or the database failed, reported).
    bool bringToRow(qint64 rowid);

    static QString defaultDeleteQuestion() { return QStringLiteral("真的想删除所选的记录吗？"); }
    // Asks `question` and deletes exactly the selected row; a failure is
    // reported.
    DeleteResult deleteSelected(const QString& question, const QString& caption);

    // Commands enabled exactly when the source has rows.
    void addStateItem(QWidget* w) { stateWidgets_ << w; }
    void addStateItem(QAction* a) { stateActions_ << a; }
    void updateItemStates();
    // A timer of this name that brings the states in step every `intervalMs`
    // and after each re-run; statesUpdated() follows each time.
    QTimer* startItemStateTimer(int intervalMs, const char* timerName);

    // Writes a pending in-place edit now, an open cell editor's text
    // included (reports a failure), and tells the other views of the table.
    bool commitEdits();

signals:
    // A row was clicked (load fields).
    void rowClicked(const shop::Record& record);
    // The source was run again (after any query or write).
    void reran();
    // The item states were brought in step (windows add their own).
    void statesUpdated();
    // The row that was current is gone after a re-run (fields that showed
    // it are to be cleared).
    void currentRowLost(qint64 rowid);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void tableChanged(const QString& table);
    bool checked(const DbResult& r);
    // The lock pair's items and the grid's edit (and, for the full pair,
    // delete) flags for a locked or an editable grid.
    void setLocked(bool locked);
    // Hands an open cell editor's text to the model.
    void commitOpenEditor();
    void commitOrDrop();
    // Re-reads the grid once the current event is over (once however often
    // it is asked for meanwhile).
    void queueRerun();
    // Puts the export item at the end of the popup; into an empty popup
    // only when `alone`.
    void placeExportItem(bool alone);
    // The export file's name as proposed, without its folder and suffix.
    QString exportName() const;

    AppContext& ctx_;
    QString table_;
    RecordModel* model_;
    QPointer<QMenu> popup_;
    QHash<int, RecordSource> sortMap_;
    UnmappedHeader unmapped_ = UnmappedHeader::Rerun;
    QPointer<QAction> lockItem_;
    QPointer<QAction> editItem_;
    LockKind lockKind_ = LockKind::Plain;
    bool allowUpdate_ = false;
    bool allowDelete_ = false;
    bool warnWhenLocked_ = false;
    QList<QPointer<QWidget>> stateWidgets_;
    QList<QPointer<QAction>> stateActions_;
    QTimer* stateTimer_ = nullptr;
    QPointer<QWidget> editor_;
    QPointer<QWidget> watchedWindow_;
    bool ownWrite_ = false;
    bool rerunQueued_ = false;
    QAction* exportAction_ = nullptr;
    QAction* exportLine_ = nullptr;
    bool placingExport_ = false;
    QHash<int, QString> masks_;
};

// A grid by control name, its model named `dataName` when given.
RecordView* namedGrid(AppContext& ctx, Database& db, const QString& table, const char* name,
                      const char* dataName = nullptr, QWidget* parent = nullptr);

} // namespace shop
