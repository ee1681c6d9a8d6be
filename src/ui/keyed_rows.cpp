#include "keyed_rows.h"

#include "field_set.h"
#include "record_view.h"

#include "data/table_rows.h"

namespace shop {

namespace {

QList<Condition> keyConditions(const FieldSet& fields, const QStringList& key)
{
    QList<Condition> out;
    for (const QString& c : key)
        out << Condition{c, Op::Eq, fields.value(c)};
    return out;
}

} // namespace

KeyedRows::KeyedRows(RecordView& grid, FieldSet& fields)
    : grid_(grid), fields_(fields), show_([this](qint64, const QStringList& row) { fields_.show(row); }),
      clear_([this] { fields_.clear(); })
{
    QObject::connect(&grid_, &RecordView::currentRowLost, &grid_, [this](qint64 rowid) {
        if (shown_ == rowid)
            clear();
    });
}

void KeyedRows::clear()
{
    shown_.reset();
    clear_();
}

bool KeyedRows::showStored(qint64 rowid)
{
    const auto stored = rows::storedRow(grid_.records()->database(), grid_.table(), rowid);
    if (stored.failed()) {
        grid_.context().messages().databaseError(stored.error());
        return false;
    }
    if (!stored)
        return false;
    show_(rowid, *stored);
    shown_ = rowid;
    if (!grid_.currentRecord() || grid_.currentRecord()->rowid != rowid)
        grid_.bringToRow(rowid);
    return true;
}

KeyedRows::Saved KeyedRows::save(const KeyedSave& how)
{
    AppContext& ctx = grid_.context();
    for (const QString& c : how.required) {
        if (fields_.value(c).isEmpty()) {
            ctx.messages().critical(how.incomplete, QStringLiteral("错误"));
            return Saved::Incomplete;
        }
    }
    if (how.showAllFirst)
        grid_.refresh();
    Database& db = grid_.records()->database();
    const QList<Condition> key = keyConditions(fields_, how.key);
    rows::RowWrite write;
    if (how.beforeInsert) {
        // Asked outside the write's transaction, which no question may hold.
        const auto found = rows::firstRowid(db, grid_.table(), key);
        if (found.failed()) {
            ctx.messages().databaseError(found.error());
            return Saved::Failed;
        }
        if (!found) {
            const auto asked = how.beforeInsert(fields_.values());
            if (!asked)
                return Saved::Stopped;
            write = *asked;
        }
    }
    const auto existing = rows::insertUnlessFound(db, grid_.table(), fields_.values(), key, write);
    if (existing.failed()) {
        ctx.messages().databaseError(existing.error()); // the typed row stays in the fields
        return Saved::Failed;
    }
    if (!existing) {
        emit ctx.notifier().tableChanged(grid_.table());
        clear();
        return Saved::Inserted;
    }
    if (!ctx.messages().question(how.question, how.caption)) {
        clear();
        return Saved::Cleared;
    }
    if (!showStored(*existing))
        return Saved::Failed;
    return Saved::Shown;
}

KeyedRows::Modified KeyedRows::modify(const KeyedModify& how)
{
    AppContext& ctx = grid_.context();
    Database& db = grid_.records()->database();
    // A cell edited in the grid before is written first: flushed after this
    // write, it would overwrite the values the user confirms now. A refused
    // cell edit was said already and stops here.
    if (!grid_.commitEdits())
        return Modified::Failed;
    const QList<Condition> key = keyConditions(fields_, how.key);
    DbValue<qint64> target = DbValue<qint64>::none();
    if (shown_)
        target = rows::rowidIfMatches(db, grid_.table(), *shown_, key);
    if (!target.failed() && !target)
        target = how.withinGrid ? rows::firstRowidIn(db, grid_.source(), key)
                                : rows::firstRowid(db, grid_.table(), key);
    if (target.failed()) {
        ctx.messages().databaseError(target.error());
        return Modified::Failed;
    }
    if (!target) {
        ctx.messages().critical(how.notFound, how.notFoundCaption);
        if (!how.withinGrid) {
            grid_.rerun();
            clear();
        }
        return Modified::NotFound;
    }
    KeyedModify::Write write;
    if (how.beforeUpdate) {
        const auto asked = how.beforeUpdate(*target, fields_.values());
        if (!asked)
            return Modified::Stopped;
        write = *asked;
    }
    // One statement over one row: the typed values replace the stored ones.
    const DbResult r = write ? write(db, *target, fields_.values())
                             : rows::updateRowid(db, grid_.table(), *target, fields_.values());
    if (!r) {
        ctx.messages().databaseError(r.error);
        return Modified::Failed;
    }
    ctx.messages().information(how.done, how.doneCaption);
    emit ctx.notifier().tableChanged(grid_.table());
    clear();
    return Modified::Modified;
}

} // namespace shop
