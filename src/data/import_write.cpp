#include "import_write.h"

#include "card_ledger.h"
#include "schema.h"
#include "stock_ledger.h"

#include <algorithm>

namespace shop::imports {

namespace {

// Rows between two reports of progress (and chances to cancel).
constexpr qsizetype kRowsPerSlice = 2000;
// From this many added rows the table's indexes are dropped and built again
// at the end (in the same transaction): once over every row is cheaper
// than a step per row.
constexpr qsizetype kLargeImport = 10000;
// The reason the stock ledger gives lines an import wrote.
const QString kImportReason = QStringLiteral("从文件导入");

// The writes of an import, gathered and sent a slice at a time, in the
// order of the file's rows: added rows as rows (Database::insertRows),
// cards and updates as statements.
class Writer {
public:
    Writer(Database& db, const ImportPreview& preview)
        : db_(db), kind_(preview.kind()), table_(tableOf(kind_)), cards_(cards::isCardTable(table_)),
          goods_(stock::isGoodsTable(table_)), addsLeft_(preview.counts().added)
    {
        const QStringList& columns = columnsOf(kind_);
        for (const QString& c : columns)
            fed_ << (preview.columns().source(c) >= 0);
        rows_ = {table_, columns, {}};
        written_ << table_;
        if (cards_)
            written_ << schema::kawu::kTable;
        if (goods_)
            written_ << schema::liushui::kTable;
    }

    const QStringList& tables() const { return written_; }

    DbResult add(const QStringList& values)
    {
        if (cards_) {
            cards::Note note;
            note.handler = cards::valueOf(values, schema::numbercard::kHandler);
            for (const Database::Write& w : cards::openWrites(db_, values, cards::Change::Import, note))
                pending_ << w.statement;
            return {};
        }
        // Rows go after the statements gathered before them.
        if (DbResult r = sendStatements(); !r)
            return r;
        if (goods_) {
            // Each line with its first stock ledger row (导入), which names
            // the line by its rowid: given here, so that both go as rows.
            if (keys_.isEmpty()) {
                if (DbResult r = sendRows(); !r)
                    return r;
                auto keys = db_.newKeys(table_, std::clamp<qsizetype>(addsLeft_, 1, kRowsPerSlice));
                if (!keys)
                    return keys.failed() ? keys.status : DbResult::failure(table_);
                keys_ = *keys;
            }
            lines_ << stock::KeyedLine{keys_.takeFirst(), values};
            --addsLeft_;
            return {};
        }
        QVariantList row;
        row.reserve(values.size());
        for (const QString& v : values)
            row << textValue(v);
        rows_.values << row;
        return {};
    }

    DbResult update(qint64 rowid, const QStringList& values)
    {
        if (cards_) {
            // Through the card's own path, which reads it under lock and
            // writes the ledger row when its number or figures change.
            if (DbResult r = flush(); !r)
                return r;
            cards::Note note;
            note.handler = cards::valueOf(values, schema::numbercard::kHandler);
            const auto changed =
                cards::change(db_, rowid, cards::Change::Import, note, [&](const QStringList& stored) {
                    return std::optional<QStringList>(updated(stored, values));
                });
            if (!changed.found())
                return changed.failed() ? changed.status : gone();
            return changed->gone() ? gone() : DbResult{};
        }
        if (goods_) {
            // Through the line's own path: a stock the file changes is
            // written with its ledger row.
            if (DbResult r = flush(); !r)
                return r;
            stock::Note note;
            note.reason = kImportReason;
            const auto changed =
                stock::change(db_, rowid, stock::Change::Import, note, [&](const QStringList& stored) {
                    return std::optional<QStringList>(updated(stored, values));
                });
            if (!changed.found())
                return changed.failed() ? changed.status : gone();
            return changed->gone() ? gone() : DbResult{};
        }
        if (DbResult r = sendRows(); !r)
            return r;
        QStringList sets;
        QVariantList binds;
        for (qsizetype c = 0; c < values.size(); ++c)
            if (updates(values, c)) {
                sets << quoteIdent(columnsOf(kind_).at(c)) + QStringLiteral(" = ?");
                binds << textValue(values.at(c));
            }
        binds << rowid;
        pending_ << Database::Statement{QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                                            .arg(quoteIdent(table_), sets.join(QStringLiteral(", "))),
                                        binds};
        return {};
    }

    // Sends what is gathered.
    DbResult flush()
    {
        if (DbResult r = sendStatements(); !r)
            return r;
        return sendRows();
    }

private:
    DbResult sendStatements()
    {
        if (pending_.isEmpty())
            return {};
        const DbResult r = db_.execEach(pending_);
        pending_.clear();
        return r;
    }

    DbResult sendRows()
    {
        QList<Database::Rows> rows{rows_};
        rows_.values.clear();
        if (!lines_.isEmpty()) {
            rows = stock::importRows(db_, lines_, kImportReason);
            lines_.clear();
            if (rows.isEmpty())
                return DbResult::failure(QStringLiteral("%1: values that do not fill a line").arg(table_));
        }
        for (const Database::Rows& r : rows)
            if (DbResult sent = db_.insertRows(r); !sent)
                return sent;
        return {};
    }

    // An update writes the cells the file has: a column it does not feed,
    // or a blank cell, keeps what is stored.
    bool updates(const QStringList& values, qsizetype c) const
    {
        return fed_.value(c) && !values.at(c).trimmed().isEmpty();
    }

    QStringList updated(const QStringList& stored, const QStringList& values) const
    {
        QStringList next = stored;
        for (qsizetype c = 0; c < next.size(); ++c)
            if (updates(values, c))
                next[c] = values.at(c);
        return next;
    }

    static DbResult gone() { return DbResult::failure(QStringLiteral("要更新的记录已被删除。")); }

    Database& db_;
    const Kind kind_;
    const QString table_;
    const bool cards_;
    const bool goods_;
    QList<bool> fed_;
    QStringList written_;
    QList<Database::Statement> pending_;
    Database::Rows rows_;
    QList<stock::KeyedLine> lines_;
    // Rowids given for lines yet to come, and the lines still to add.
    QList<qint64> keys_;
    qsizetype addsLeft_ = 0;
};

} // namespace

Written writeRows(Database& db, const ImportPreview& preview, const WriteProgress& progress)
{
    Written out;
    const auto ended = [&out](Written::Outcome outcome, const QString& error = {}) {
        out.outcome = outcome;
        out.error = error;
        out.added = 0;
        out.updated = 0;
        return out;
    };
    if (!preview.atEnd())
        return ended(Written::Outcome::Failed, QStringLiteral("文件还没有读完。"));
    const Kind kind = preview.kind();
    Database::Transaction tx(db);
    if (!tx.active())
        return ended(Written::Outcome::Failed, tx.error());
    if (DbResult r = db.holdKeysOf(tableOf(kind)); !r)
        return ended(Written::Outcome::Failed, r.error);
    // The preview's verdicts were given against the tables as they were
    // then; another window or till may have written since.
    RowCheck check(kind);
    check.setUpdates(preview.updates());
    if (DbResult r = check.loadStored(db); !r)
        return ended(Written::Outcome::Failed, r.error);

    const schema::IndexRebuild indexes = preview.counts().added >= kLargeImport
                                             ? schema::indexRebuildOf(db, tableOf(kind))
                                             : schema::IndexRebuild{};
    for (const QString& sql : indexes.drop)
        if (DbResult r = db.exec(sql); !r)
            return ended(Written::Outcome::Failed, r.error);

    Writer writer(db, preview);
    const qsizetype total = preview.size();
    for (qsizetype i = 0; i < total; ++i) {
        const Verdict& was = preview.verdict(i);
        const QStringList values = preview.values(i);
        const Verdict now = check.check(preview.row(i), values, was.refusal == Refusal::ExtraCells ? 1 : 0);
        if (was.outcome != Outcome::Refused) {
            if (now != was)
                return ended(Written::Outcome::Changed, verdictText(kind, preview.row(i), now, values));
            if (was.outcome == Outcome::Add) {
                if (DbResult r = writer.add(values); !r)
                    return ended(Written::Outcome::Failed, r.error);
                ++out.added;
            } else {
                if (DbResult r = writer.update(check.storedRowid(values), values); !r)
                    return ended(Written::Outcome::Failed, r.error);
                ++out.updated;
            }
        }
        if ((i + 1) % kRowsPerSlice == 0) {
            if (DbResult r = writer.flush(); !r)
                return ended(Written::Outcome::Failed, r.error);
            if (progress && !progress(i + 1, total))
                return ended(Written::Outcome::Cancelled);
        }
    }
    if (DbResult r = writer.flush(); !r)
        return ended(Written::Outcome::Failed, r.error);
    for (const QString& sql : indexes.create)
        if (DbResult r = db.exec(sql); !r)
            return ended(Written::Outcome::Failed, r.error);
    // The last chance to cancel is before the commit.
    if (progress && !progress(total, total))
        return ended(Written::Outcome::Cancelled);
    if (DbResult r = tx.commit(); !r)
        return ended(Written::Outcome::Failed, r.error);
    out.tables = writer.tables();
    return out;
}

} // namespace shop::imports
