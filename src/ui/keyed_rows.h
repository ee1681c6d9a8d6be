#pragma once

#include "data/table_rows.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace shop {

class FieldSet;
class RecordView;

// Saving typed fields as a row told apart by its key columns.
struct KeyedSave {
    QStringList required; // columns that must not be empty ...
    QString incomplete;   // ... or this is said (caption 错误)
    QStringList key;
    QString question; // the key is stored already: modify that row?
    QString caption;
    // Once complete, the grid shows every row before the key is looked up
    // (and so after the save, whatever the answer).
    bool showAllFirst = false;
    // Asked once the key is found new, before anything is written: how to
    // write the row (an empty function: the plain insert), or no value to
    // stop with nothing written and the fields kept.
    std::function<std::optional<rows::RowWrite>(const QStringList& values)> beforeInsert = {};
};

// Writing the typed fields over one stored row found by its key.
struct KeyedModify {
    QStringList key;
    QString done = QStringLiteral("修改成功！");
    QString doneCaption = QStringLiteral("信息");
    QString notFound = QStringLiteral("未找到相应的记录修改！");
    QString notFoundCaption = QStringLiteral("错误");
    // Look for the key only among the rows the grid shows (its source as
    // it stands), and keep the fields when it is not there.
    bool withinGrid = false;
    // Asked once the row is found, before anything is written: how to write
    // it over row `rowid` (an empty function: the plain update), or no value
    // to stop with nothing written and the fields kept.
    using Write = std::function<DbResult(Database& db, qint64 rowid, const QStringList& values)>;
    std::function<std::optional<Write>(qint64 rowid, const QStringList& values)> beforeUpdate = {};
};

// The save and modify flows of an entry window over its grid's table. The
// key is looked up in the whole table, never only in the rows the grid
// shows, so a filtered grid never lets a key in twice. Writes tell every
// view of the table through the notifier; database errors are reported.
// The row the fields show is the grid's current row, so that delete and
// modify act on what the user sees; when another window deletes it, the
// fields are cleared.
class KeyedRows {
public:
    using ShowFn = std::function<void(qint64 rowid, const QStringList& storedRow)>;

    KeyedRows(RecordView& grid, FieldSet& fields);

    // How a stored row is shown (default: into the fields) and the fields
    // emptied (default: FieldSet::clear).
    void setShow(ShowFn show) { show_ = std::move(show); }
    void setClear(std::function<void()> clear) { clear_ = std::move(clear); }

    // Shows the stored row in the fields and makes it the grid's current
    // row (showing every row when the grid's source lacks it).
    bool showStored(qint64 rowid);
    // The stored row the fields show, until they are cleared.
    std::optional<qint64> shown() const { return shown_; }
    // Empties the fields (the window's clear).
    void clear();

    // Incomplete: said so. A new key: inserted, fields cleared. A stored
    // key: asked; Yes shows the stored row, No clears.
    enum class Saved { Incomplete, Inserted, Shown, Cleared, Stopped, Failed };
    Saved save(const KeyedSave& how);

    // Writes the typed values to the row shown while it still matches the
    // typed key, otherwise to the first row of the table (or of the grid)
    // with that key. Without such a row says so; the whole-table flow then
    // re-reads the grid and clears the fields. After a write the fields are
    // cleared.
    enum class Modified { Modified, NotFound, Stopped, Failed };
    Modified modify(const KeyedModify& how);

private:
    RecordView& grid_;
    FieldSet& fields_;
    ShowFn show_;
    std::function<void()> clear_;
    std::optional<qint64> shown_;
};

} // namespace shop
