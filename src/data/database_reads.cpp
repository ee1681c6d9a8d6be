#include "database.h"

#include "database_detail.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVarLengthArray>

#include <libpq-fe.h>
#include <sqlite3.h>

// The reads of Database: queries through the driver, statements stepped on
// the file's own handle (kept prepared), and the rows they give.
namespace shop {

namespace {

bool prepareAndBind(QSqlQuery& q, const QString& sql, const QVariantList& binds, QString* error)
{
    if (!q.prepare(sql)) {
        *error = errorText(q.lastError());
        return false;
    }
    for (int i = 0; i < binds.size(); ++i) {
        const QVariant& v = binds.at(i);
        // A null QString would bind NULL; the tables hold text only.
        if (v.typeId() == QMetaType::QString && v.toString().isNull())
            q.bindValue(i, QString(""));
        else
            q.bindValue(i, v);
    }
    return true;
}
// Binds values as the Qt driver does (a null text has been made '' by the
// callers; the tables hold text only). The engine reads texts and blobs in
// place from `kept`, which must outlive the statement's run and reset:
// copying each value once more was a measurable part of a sale.
int bindValues(sqlite3_stmt* stmt, const QVariantList& binds, QVarLengthArray<QByteArray, 16>* kept)
{
    kept->reserve(binds.size());
    for (int i = 0; i < binds.size(); ++i) {
        const QVariant& v = binds.at(i);
        int rc = SQLITE_OK;
        switch (v.typeId()) {
        case QMetaType::LongLong:
        case QMetaType::Int:
        case QMetaType::ULongLong:
        case QMetaType::UInt:
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(stmt, i + 1, v.toLongLong());
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(stmt, i + 1, v.toDouble());
            break;
        case QMetaType::QString: {
            // A null QString would bind NULL; the tables hold text only.
            const QByteArray& b = kept->emplace_back(v.toString().toUtf8());
            rc = sqlite3_bind_text(stmt, i + 1, b.constData(), static_cast<int>(b.size()), SQLITE_STATIC);
            break;
        }
        case QMetaType::QByteArray: {
            const QByteArray& b = kept->emplace_back(v.toByteArray());
            rc = b.isNull() ? sqlite3_bind_null(stmt, i + 1)
                            : sqlite3_bind_blob(stmt, i + 1, b.constData(), static_cast<int>(b.size()),
                                                SQLITE_STATIC);
            break;
        }
        default:
            if (v.isNull()) {
                rc = sqlite3_bind_null(stmt, i + 1);
            } else {
                const QByteArray& b = kept->emplace_back(v.toString().toUtf8());
                rc = sqlite3_bind_text(stmt, i + 1, b.constData(), static_cast<int>(b.size()), SQLITE_STATIC);
            }
        }
        if (rc != SQLITE_OK)
            return rc;
    }
    return SQLITE_OK;
}

} // namespace

// The current row's values typed as the Qt driver types them.
QVariantList rowValues(sqlite3_stmt* stmt)
{
    const int n = sqlite3_column_count(stmt);
    QVariantList v;
    v.reserve(n);
    for (int i = 0; i < n; ++i) {
        switch (sqlite3_column_type(stmt, i)) {
        case SQLITE_INTEGER:
            v << QVariant(static_cast<qint64>(sqlite3_column_int64(stmt, i)));
            break;
        case SQLITE_FLOAT:
            v << QVariant(sqlite3_column_double(stmt, i));
            break;
        case SQLITE_NULL:
            v << QVariant(QMetaType::fromType<QString>());
            break;
        case SQLITE_BLOB:
            v << QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, i)),
                                     sqlite3_column_bytes(stmt, i)));
            break;
        default:
            v << QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                            sqlite3_column_bytes(stmt, i)));
        }
    }
    return v;
}

DbResult Database::select(const QString& sql, const QVariantList& binds,
                          const std::function<bool(const QSqlQuery&)>& row)
{
    BusyScope busy(*this);
    if (DbResult r = beginNow(); !r)
        return r;
    if (DbResult reached; onServer() && !serverConnection(&reached))
        return reached;
    lastConflict_ = false;
    QSqlDatabase db = handle();
    QSqlQuery q(db);
    // A server's forward-only query streams on the connection, which a read
    // made by the row handler would then find busy; the whole result is
    // fetched at once instead.
    q.setForwardOnly(!onServer());
    QString err;
    // The server prepares only plain queries (no SHOW, no EXPLAIN); one
    // without values needs no preparing.
    if (onServer() && binds.isEmpty()) {
        if (!q.exec(dialect(sql)))
            return failed(q.lastError());
    } else {
        if (!prepareAndBind(q, dialect(sql), binds, &err))
            return DbResult::failure(err);
        if (!q.exec())
            return failed(q.lastError());
    }
    while (q.next()) {
        if (!row(q))
            break;
    }
    if (q.lastError().isValid())
        return failed(q.lastError());
    q.finish();
    return {};
}

DbResult Database::selectKeyedTexts(const QString& sql, const QVariantList& binds,
                                    const std::function<bool(qint64, const TextRow&)>& row)
{
    if (onServer())
        return selectKeyedTextsOnServer(sql, binds, row);
    TextRow reader(nullptr);
    return stepOnFile(sql, binds, [&](sqlite3_stmt* stmt) {
        reader.stmt_ = stmt;
        return row(sqlite3_column_int64(stmt, 0), reader);
    });
}

DbResult Database::stepOnFile(const QString& sql, const QVariantList& binds,
                              const std::function<bool(sqlite3_stmt*)>& row)
{
    BusyScope busy(*this);
    if (!fileDb_)
        fileDb_ = rawHandle(handle());
    sqlite3* db = fileDb_;
    if (!db)
        return DbResult::failure(QStringLiteral("database not open"));
    sqlite3_stmt* stmt = takeStatement(sql);
    if (!stmt) {
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v3(db, text.constData(), static_cast<int>(text.size()), SQLITE_PREPARE_PERSISTENT,
                               &stmt, nullptr) != SQLITE_OK)
            return DbResult::failure(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    // The bound texts, read in place until the statement is reset and its
    // values cleared below (so declared before that).
    QVarLengthArray<QByteArray, 16> bound;
    // The statement is reset on every path, so none stays open (a reset
    // statement holds no read transaction); it is kept for the next run of
    // the same text unless it failed.
    struct Release {
        Database& owner;
        QString sql;
        sqlite3_stmt* s;
        bool keep = true;
        ~Release()
        {
            const bool clean = sqlite3_reset(s) == SQLITE_OK;
            sqlite3_clear_bindings(s);
            if (keep && clean)
                owner.keepStatement(sql, s);
            else
                sqlite3_finalize(s);
        }
    } release{*this, sql, stmt};

    if (bindValues(stmt, binds, &bound) != SQLITE_OK) {
        release.keep = false;
        return DbResult::failure(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    bool more = true;
    for (;;) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW) {
            release.keep = false;
            return DbResult::failure(QString::fromUtf8(sqlite3_errmsg(db)));
        }
        if (more && !(more = row(stmt)) && sqlite3_stmt_readonly(stmt))
            break;
    }
    DbResult r;
    r.rowsAffected = sqlite3_changes64(db);
    r.lastRowid = sqlite3_last_insert_rowid(db);
    return r;
}

DbResult Database::insertRowsOnFile(const Rows& rows)
{
    // One row a run of one prepared statement: as fast as many rows to a
    // statement here, without its limit on bound values.
    const QString sql =
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(quoteIdent(rows.table), quoteIdents(rows.columns),
                 QStringList(rows.columns.size(), QStringLiteral("?")).join(QStringLiteral(", ")));
    const auto none = [](sqlite3_stmt*) { return true; };
    for (const QVariantList& row : rows.values)
        if (DbResult r = stepOnFile(sql, row, none); !r)
            return r;
    return {};
}

sqlite3_stmt* Database::takeStatement(const QString& sql)
{
    for (qsizetype i = statements_.size() - 1; i >= 0; --i)
        if (statements_.at(i).sql == sql) {
            // Taken out while it runs: a nested read of the same text
            // prepares its own.
            auto* stmt = static_cast<sqlite3_stmt*>(statements_.at(i).stmt);
            statements_.removeAt(i);
            return stmt;
        }
    return nullptr;
}

void Database::keepStatement(const QString& sql, sqlite3_stmt* stmt)
{
    // Grids, totals and sales run the same few texts again and again; the oldest
    // goes once the few are exceeded.
    constexpr qsizetype kKept = 64;
    if (statements_.size() >= kKept) {
        sqlite3_finalize(static_cast<sqlite3_stmt*>(statements_.first().stmt));
        statements_.removeFirst();
    }
    statements_.append({sql, stmt});
}

void Database::dropStatements()
{
    for (const KeptStatement& k : std::as_const(statements_))
        sqlite3_finalize(static_cast<sqlite3_stmt*>(k.stmt));
    statements_.clear();
    fileDb_ = nullptr;
}

int Database::TextRow::count() const
{
    if (row_ >= 0)
        return PQnfields(static_cast<const PGresult*>(stmt_)) - 1;
    return sqlite3_column_count(static_cast<sqlite3_stmt*>(stmt_)) - 1;
}

QString Database::TextRow::text(int i) const
{
    if (row_ >= 0) {
        const QByteArrayView v = utf8(i);
        return QString::fromUtf8(v.data(), v.size());
    }
    auto* stmt = static_cast<sqlite3_stmt*>(stmt_);
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i + 1));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(stmt, i + 1)) : QString("");
}

QByteArrayView Database::TextRow::utf8(int i) const
{
    if (row_ >= 0) {
        const auto* res = static_cast<const PGresult*>(stmt_);
        return QByteArrayView(PQgetvalue(res, row_, i + 1), PQgetlength(res, row_, i + 1));
    }
    auto* stmt = static_cast<sqlite3_stmt*>(stmt_);
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i + 1));
    return p ? QByteArrayView(p, sqlite3_column_bytes(stmt, i + 1)) : QByteArrayView();
}

QVector<QString> Database::TextRow::texts() const
{
    const int n = count();
    QVector<QString> out;
    out.reserve(n);
    for (int i = 0; i < n; ++i)
        out.append(text(i));
    return out;
}

DbValue<QList<QVariantList>> Database::selectAll(const QString& sql, const QVariantList& binds)
{
    if (onServer())
        return serverRows(sql, binds, -1);
    QList<QVariantList> rows;
    DbResult r = stepOnFile(sql, binds, [&rows](sqlite3_stmt* stmt) {
        rows << rowValues(stmt);
        return true;
    });
    if (!r)
        return DbValue<QList<QVariantList>>{r, std::nullopt};
    return DbValue<QList<QVariantList>>::of(rows);
}

DbValue<QVariantList> Database::selectOne(const QString& sql, const QVariantList& binds)
{
    if (onServer()) {
        const auto rows = serverRows(sql, binds, 1);
        if (rows.failed())
            return DbValue<QVariantList>{rows.status, std::nullopt};
        return rows->isEmpty() ? DbValue<QVariantList>::none() : DbValue<QVariantList>::of(rows->first());
    }
    std::optional<QVariantList> out;
    DbResult r = stepOnFile(sql, binds, [&out](sqlite3_stmt* stmt) {
        out = rowValues(stmt);
        return false;
    });
    if (!r)
        return DbValue<QVariantList>{r, std::nullopt};
    return DbValue<QVariantList>{r, out};
}

DbValue<QVariantList> Database::selectOneForUpdate(const QString& sql, const QVariantList& binds)
{
    return selectOne(onServer() ? sql + QStringLiteral(" FOR UPDATE") : sql, binds);
}

DbValue<QList<std::optional<QVariantList>>> Database::selectOneEach(const QList<Statement>& queries,
                                                                    RowLock lock, qsizetype* failedAt)
{
    using Rows = QList<std::optional<QVariantList>>;
    Rows out;
    out.reserve(queries.size());
    if (onServer()) {
        QList<Statement> sent = queries;
        if (lock == RowLock::ForUpdate)
            for (Statement& q : sent)
                q.sql += QStringLiteral(" FOR UPDATE");
        DbResult status;
        const auto results = pipelineOnServer(sent, ServerPlan::Kept, &status, failedAt);
        if (!status)
            return DbValue<Rows>{status, std::nullopt};
        for (const ServerResult& res : results)
            out << (PQntuples(res.get()) > 0 ? std::optional<QVariantList>(serverRow(res.get(), 0))
                                             : std::nullopt);
        return DbValue<Rows>::of(out);
    }
    for (qsizetype i = 0; i < queries.size(); ++i) {
        const auto row = selectOne(queries.at(i).sql, queries.at(i).binds);
        if (row.failed()) {
            if (failedAt)
                *failedAt = i;
            return DbValue<Rows>{row.status, std::nullopt};
        }
        out << (row.found() ? std::optional<QVariantList>(*row) : std::nullopt);
    }
    return DbValue<Rows>::of(out);
}

DbResult Database::holdKeysOf(const QString& table)
{
    if (!inTransaction_)
        return DbResult::failure(QStringLiteral("no transaction"));
    if (!onServer())
        return {};
    return exec(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?))"),
                {QStringLiteral("keys of ") + table.toLower()});
}

bool Database::sortsWholeResult(const QString& sql, const QVariantList& binds, PartialSorts partial)
{
    if (onServer())
        return sortsWholeResultOnServer(sql, binds);
    const auto plan = selectAll(QStringLiteral("EXPLAIN QUERY PLAN ") + sql, binds);
    if (!plan)
        return false;
    // "FOR RIGHT PART OF ORDER BY" and the like sort only within an index's
    // runs, which a LIMIT still cuts short; only the plain form sorts
    // everything, unless the caller counts those too.
    for (const QVariantList& step : *plan) {
        const QString detail = step.value(3).toString();
        if (partial == PartialSorts::Count ? detail.startsWith(QLatin1String("USE TEMP B-TREE FOR"))
                                           : detail == QLatin1String("USE TEMP B-TREE FOR ORDER BY"))
            return true;
    }
    return false;
}

} // namespace shop
