#pragma once

#include "app_context.h"
#include "data/record_model.h"

#include <QHash>
#include <QPointer>
#include <QTableView>
#include <QTimer>

class QAction;
class QMenu;

namespace shop {

// A query item: an input box whose answer filters one column (contains
// match), with the not-found message and the fallback source.
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
};

// The record view every window uses: a lazily read grid bound to a record
// source, with header sorts, searches, the popup menu, the lock pair, delete
// of the selected row, in-place edits written when the row is left, and the
// item states that follow whether the source has rows.
class RecordView : public QTableView {
    Q_OBJECT
public:
    RecordView(AppContext& ctx, Database& db, const QString& table, QWidget* parent = nullptr);

    AppContext& context() const { return ctx_; }
    RecordModel* records() const { return model_; }
    QString table() const { return table_; }
    const RecordSource& source() const { return model_->source(); }

    // Runs a source; a database error is reported (critical) and false returned.
    bool setSource(const RecordSource& source);
    bool rerun();
    // Every row of the table (the refresh items and the opening query).
    bool refresh();
    // Every row, showing only `columns`.
    bool showAll(const QStringList& columns) { return setSource(RecordSource{table_, columns, {}, {}}); }

    bool isEmpty() const { return model_->isEmpty(); }

    // Header sorts: header index -> source. An index without an entry only
    // re-runs the current source.
    void setSortMap(const QHash<int, RecordSource>& map) { sortMap_ = map; }
    // Shorthand: header index -> column of "every row ordered by column".
    void setSortColumns(const QHash<int, QString>& columns, const QStringList& shown = {});
    void sortByHeader(int index);

    // Asks with an input box and filters; an empty answer changes nothing.
    // Returns true when rows were found.
    bool search(const SearchItem& item);
    // Filters without asking (shared by searches whose answer comes elsewhere).
    bool searchFor(const SearchItem& item, const QString& answer);

    // The popup menu opened by the right mouse button over the grid.
    QMenu* popupMenu() const { return popup_; }

    // Lock pair: exactly one of the two items is enabled. The full variant
    // also switches AllowDelete.
    void setLockPair(QAction* lockItem, QAction* editItem, bool fullLock);
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

    // Asks "真的想删除所选的记录吗？" and deletes exactly the selected row.
    // Returns true when a row was deleted.
    bool deleteSelected(const QString& caption);

    // Commands enabled exactly when the source has rows.
    void addStateItem(QWidget* w) { stateWidgets_ << w; }
    void addStateItem(QAction* a) { stateActions_ << a; }
    void updateItemStates();
    // Runs updateItemStates on a timer of its own (windows whose timer does
    // other work call updateItemStates themselves).
    void startItemStateTimer(int intervalMs = 100);

    // Writes a pending in-place edit now; reports a failure.
    bool commitEdits();

    // Shows a database error with the critical icon.
    void reportError(const QString& error) const;

signals:
    // A row was clicked (load fields).
    void rowClicked(const shop::Record& record);
    // The source was run again (after any query or write).
    void rerun_done();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    bool checked(const DbResult& r);

    AppContext& ctx_;
    QString table_;
    RecordModel* model_;
    QMenu* popup_;
    QHash<int, RecordSource> sortMap_;
    QPointer<QAction> lockItem_;
    QPointer<QAction> editItem_;
    bool fullLock_ = false;
    bool allowUpdate_ = false;
    bool allowDelete_ = false;
    bool warnWhenLocked_ = false;
    QList<QPointer<QWidget>> stateWidgets_;
    QList<QPointer<QAction>> stateActions_;
    QTimer stateTimer_;
};

} // namespace shop
