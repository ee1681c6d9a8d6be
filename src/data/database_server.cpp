#include "database.h"

#include "collation.h"
#include "database_detail.h"

#include <QRandomGenerator>
#include <QSqlDriver>
#include <QSqlError>
#include <QThread>

#include <libpq-fe.h>
#include <poll.h>

// The server half of Database: statements sent through the server's client
// library (prepared once, several in one round trip), its results read
// back, and the few forms of the file dialect a server spells otherwise.
namespace shop {

namespace {
PGconn* serverHandle(const QSqlDatabase& db)
{
    const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
    // The driver names the handle by the struct behind libpq's typedef.
    return h.isValid() && qstrcmp(h.typeName(), "pg_conn*") == 0 ? *static_cast<PGconn* const*>(h.constData())
                                                                 : nullptr;
}

// "?" placeholders as the server's numbered "$n", outside quoted texts and
// names.
QByteArray numberedPlaceholders(const QString& sql)
{
    QString out;
    out.reserve(sql.size() + 16);
    int n = 0;
    QChar quote;
    for (QChar c : sql) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u'?') {
            out += u'$' + QString::number(++n);
            continue;
        }
        out += c;
    }
    return out.toUtf8();
}

// Bound values as the server's text parameters (a null variant is NULL).
struct TextParams {
    explicit TextParams(const QVariantList& binds)
    {
        bytes.reserve(binds.size());
        for (const QVariant& v : binds) {
            switch (v.typeId()) {
            case QMetaType::Double:
                bytes << QByteArray::number(v.toDouble(), 'g', 17);
                break;
            case QMetaType::Bool:
                bytes << QByteArray(v.toBool() ? "true" : "false");
                break;
            default:
                bytes << v.toString().toUtf8();
            }
        }
        for (qsizetype i = 0; i < bytes.size(); ++i)
            values.push_back(binds.at(i).isValid() ? bytes.at(i).constData() : nullptr);
    }
    int count() const { return static_cast<int>(values.size()); }
    QList<QByteArray> bytes;
    std::vector<const char*> values;
};

const QString kNulRefused = QStringLiteral("文本中含有空字符（\\0），数据库服务器不能保存");

DbResult refuseNul(const TextParams& params)
{
    // The server's texts cannot hold a NUL character, and the client library
    // would cut the value there without a word.
    for (const QByteArray& b : params.bytes)
        if (b.contains('\0'))
            return DbResult::failure(kNulRefused);
    return {};
}

QString serverError(const PGconn* conn, const PGresult* res)
{
    const char* primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    const QString text = QString::fromUtf8(primary ? primary : PQerrorMessage(conn));
    return text.trimmed();
}

// A value of the server's text result typed as the Qt driver types it
// (a null keeps its type).
QVariant serverValue(const PGresult* res, int row, int column)
{
    QMetaType::Type type = QMetaType::QString;
    switch (PQftype(res, column)) {
    case 16: // bool
        type = QMetaType::Bool;
        break;
    case 20: // int8
        type = QMetaType::LongLong;
        break;
    case 21: // int2
    case 23: // int4
    case 26: // oid
        type = QMetaType::Int;
        break;
    case 700:  // float4
    case 701:  // float8
    case 1700: // numeric
        type = QMetaType::Double;
        break;
    default:
        break;
    }
    if (PQgetisnull(res, row, column))
        return QVariant(QMetaType(type));
    const QByteArrayView v(PQgetvalue(res, row, column), PQgetlength(res, row, column));
    switch (type) {
    case QMetaType::Bool:
        return v == "t";
    case QMetaType::LongLong:
        return v.toLongLong();
    case QMetaType::Int:
        return v.toInt();
    case QMetaType::Double:
        return v.toDouble();
    default:
        return QString::fromUtf8(v);
    }
}
// Whether an idle connection was ended by the other side: it has nothing to
// read unless the server said it ends the session (a stop, a restart, an
// ended backend) or the connection has closed.
bool droppedWhileIdle(PGconn* conn)
{
    for (int round = 0; round < 4; ++round) {
        if (PQstatus(conn) != CONNECTION_OK)
            return true;
        pollfd p{PQsocket(conn), POLLIN, 0};
        if (p.fd < 0)
            return true;
        if (::poll(&p, 1, 0) <= 0)
            return false;
        if (p.revents & (POLLERR | POLLNVAL))
            return true;
        // The client library reads what came, and notices the end.
        if (PQconsumeInput(conn) != 1)
            return true;
    }
    return PQstatus(conn) != CONNECTION_OK;
}

} // namespace

QString Database::connectionLostText(const QString& detail)
{
    return QStringLiteral("与数据库服务器的连接已断开，本次操作没有完成，也没有保存任何改动。\n"
                          "请检查网络和数据库服务器是否正常；服务器恢复后再操作一次即可，无需重新启动程序。\n"
                          "（详细信息：%1）")
        .arg(detail);
}

bool Database::connectionLost(const QString& error)
{
    return error.startsWith(QStringLiteral("与数据库服务器的连接已断开，"));
}

PGconn* Database::serverConnection(DbResult* status)
{
    PGconn* conn = serverHandle(handle());
    const bool idle = !inTransaction_ || beginPending_;
    if (reconnecting_ || !idle || (conn && !droppedWhileIdle(conn))) {
        if (!conn)
            *status = DbResult::failure(connectionLostText(QStringLiteral("database not open")));
        return conn;
    }
    // Nothing of a transaction has reached the server: a new connection
    // can stand in for the dropped one.
    reconnecting_ = true;
    QSqlDatabase db = handle();
    db.close();
    serverStatements_.clear();
    const DbResult opened = db.open() ? configure() : DbResult::failure(errorText(db.lastError()));
    reconnecting_ = false;
    if (!opened) {
        db.close();
        *status = DbResult::failure(connectionLostText(opened.error));
        return nullptr;
    }
    if (onReconnect_)
        onReconnect_();
    return serverHandle(handle());
}

DbResult Database::lostIfBroken(DbResult r) const
{
    PGconn* conn = serverHandle(handle());
    if (!r.ok && !connectionLost(r.error) && (!conn || PQstatus(conn) != CONNECTION_OK))
        r.error = connectionLostText(r.error);
    return r;
}

// SQLSTATEs of a transaction the server gave up for another's sake:
// serialization failure and deadlock.
bool isConflictState(const QString& state)
{
    return state == QLatin1String("40001") || state == QLatin1String("40P01");
}

// A key drawn from a table's counter that another till's uncommitted row
// took at the same moment (two tills stepping over rows written beyond the
// counter): the second meets the first's primary key. Tried again, it
// draws the next key, as any conflict.
static bool isKeyTakenMeanwhile(const PGresult* res)
{
    const char* state = PQresultErrorField(res, PG_DIAG_SQLSTATE);
    const char* constraint = PQresultErrorField(res, PG_DIAG_CONSTRAINT_NAME);
    return state && constraint && QLatin1String(state) == QLatin1String("23505") &&
           QLatin1String(constraint).endsWith(QLatin1String("_pkey"));
}

// One row of the server's result, every column typed as above.
QVariantList serverRow(const PGresult* res, int row)
{
    QVariantList values;
    const int width = PQnfields(res);
    values.reserve(width);
    for (int c = 0; c < width; ++c)
        values << serverValue(res, row, c);
    return values;
}

std::unique_ptr<Database> Database::openServer(const DbServer& server, QString* error)
{
    QString dummy;
    QString& err = error ? *error : dummy;
    const QString name = newConnectionName();
    std::unique_ptr<Database> d(new Database(server.display(), name));
    d->engine_ = Engine::Postgres;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        if (!db.isValid()) {
            err = QStringLiteral("没有找到 PostgreSQL 的 Qt 数据库驱动（QPSQL）");
            return nullptr;
        }
        db.setHostName(server.host);
        db.setPort(server.port);
        db.setDatabaseName(server.name);
        db.setUserName(server.user);
        db.setPassword(server.password);
        // Said explicitly, so that no environment (PGSSLMODE) turns TLS off.
        db.setConnectOptions(
            QStringLiteral(
                "connect_timeout=5;application_name=shop;sslmode=%1;keepalives=1;keepalives_idle=5;"
                "keepalives_interval=2;keepalives_count=3;tcp_user_timeout=10000")
                .arg(server.sslmode));
        if (!db.open()) {
            err = errorText(db.lastError());
            return nullptr;
        }
    }
    if (DbResult r = d->configure(); !r) {
        err = r.error;
        return nullptr;
    }
    return d;
}

bool Database::needsPassword(const QString& error)
{
    return error.contains(QLatin1String("no password supplied")) ||
           error.contains(QLatin1String("password authentication failed"));
}

bool Database::tlsRefused(const QString& error)
{
    // libpq says it in the language of the computer's locale.
    return error.contains(QLatin1String("server does not support SSL, but SSL was required")) ||
           error.contains(QStringLiteral("服务器不支持 SSL，但连接需要使用 SSL")) ||
           error.contains(QStringLiteral("伺服器不支援 SSL，但 SSL 是必要的"));
}

void Database::pauseBeforeRetry(int attempt)
{
    // Spread the retries of tills that met on one row.
    QThread::usleep(static_cast<unsigned long>(500 * attempt) + QRandomGenerator::global()->bounded(1000u));
}

QStringList Database::serverSessionSettings()
{
    // A row another till holds is waited for five seconds, as a file's lock
    // is; the notices of "already there" are not news. The planner's prices:
    // a shop's database lives in the server's memory, so a row fetched
    // through an index costs about what the next row of the table does (the
    // default prices a disk seek), and comparing two case-blind texts
    // lowercases both, several times the price of a plain comparison. With
    // the defaults one employee's month is read through the date index,
    // comparing the name of every other employee's row of the month on the
    // way (ten times slower).
    // No statement of the program runs longer than a few seconds; one that
    // would (a server overloaded, a plan gone wrong) is ended rather than
    // leave the till waiting.
    return {
        QStringLiteral("SET lock_timeout = '5s'"),     QStringLiteral("SET statement_timeout = '15s'"),
        QStringLiteral("SET synchronous_commit = on"), QStringLiteral("SET client_min_messages = warning"),
        QStringLiteral("SET random_page_cost = 1.1"),  QStringLiteral("SET cpu_operator_cost = 0.01")};
}

bool Database::keepsPlan(const QVariantList& binds, const QByteArray& prefix, ServerPlan plan)
{
    return !binds.isEmpty() && prefix.isEmpty() && plan == ServerPlan::Kept;
}

QByteArray Database::preparedOnServer(PGconn* conn, const QString& sql, DbResult* status)
{
    // Statements with values (the few texts of the sale and the lookups by
    // key, run again and again) are parsed once per connection; the server
    // keeps their plan once it sees that the values do not change it.
    QByteArray name = serverStatements_.value(sql);
    if (!name.isEmpty())
        return name;
    name = "s" + QByteArray::number(++serverStatementCount_);
    const ServerResult prepared(
        PQprepare(conn, name.constData(), numberedPlaceholders(dialect(sql)).constData(), 0, nullptr),
        &PQclear);
    if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK) {
        *status = DbResult::failure(serverError(conn, prepared.get()));
        return {};
    }
    constexpr qsizetype kKept = 64;
    if (serverStatements_.size() >= kKept) {
        for (const QByteArray& old : std::as_const(serverStatements_))
            PQclear(PQexec(conn, ("DEALLOCATE " + old).constData()));
        serverStatements_.clear();
    }
    serverStatements_.insert(sql, name);
    return name;
}

DbResult Database::execEachOnServer(const QList<Statement>& statements, qsizetype* failedAt,
                                    QVariant* returned)
{
    DbResult status;
    const auto results = pipelineOnServer(statements, ServerPlan::Kept, &status, failedAt);
    if (status && returned)
        for (const ServerResult& res : results)
            if (res && PQntuples(res.get()) > 0 && PQnfields(res.get()) > 0) {
                *returned = serverRow(res.get(), 0).value(0);
                break;
            }
    return status;
}

std::vector<Database::ServerResult> Database::pipelineOnServer(const QList<Statement>& statements,
                                                               ServerPlan plan, DbResult* status,
                                                               qsizetype* failedAt, const QByteArray& prefix)
{
    lastConflict_ = false;
    std::vector<ServerResult> results;
    const auto note = [&](qsizetype i, DbResult r) {
        if (failedAt)
            *failedAt = i;
        *status = r;
    };
    const auto failAt = [&](qsizetype i, DbResult r) {
        note(i, r);
        return std::move(results);
    };
    DbResult reached;
    PGconn* conn = serverConnection(&reached);
    if (!conn)
        return failAt(0, reached);
    std::vector<TextParams> params;
    QList<QByteArray> names;
    params.reserve(statements.size());
    for (qsizetype i = 0; i < statements.size(); ++i) {
        const Statement& st = statements.at(i);
        params.emplace_back(st.binds);
        if (DbResult r = refuseNul(params.back()); !r)
            return failAt(i, r);
        DbResult prepared;
        names << (keepsPlan(st.binds, prefix, plan) ? preparedOnServer(conn, st.sql, &prepared)
                                                    : QByteArray());
        if (!prepared)
            return failAt(i, prepared);
    }
    // A transaction begun since the last statement begins with these.
    const bool begin = beginPending_;
    beginPending_ = false;
    // All of them in one go, then their results in the same order: a
    // statement after one that failed is skipped by the server.
    if (PQenterPipelineMode(conn) != 1)
        return failAt(0, DbResult::failure(serverError(conn, nullptr)));
    bool sent = !begin || PQsendQueryParams(conn, "BEGIN", 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    for (qsizetype i = 0; sent && i < statements.size(); ++i) {
        const TextParams& p = params.at(static_cast<size_t>(i));
        sent = names.at(i).isEmpty()
                   ? PQsendQueryParams(
                         conn, (prefix + numberedPlaceholders(dialect(statements.at(i).sql))).constData(),
                         p.count(), nullptr, p.values.data(), nullptr, nullptr, 0) == 1
                   : PQsendQueryPrepared(conn, names.at(i).constData(), p.count(), p.values.data(), nullptr,
                                         nullptr, 0) == 1;
    }
    sent = sent && PQpipelineSync(conn) == 1;
    *status = {};
    if (!sent)
        note(0, DbResult::failure(serverError(conn, nullptr)));
    bool failed = !sent;
    results.reserve(static_cast<size_t>(statements.size()));
    // The BEGIN's result comes first, at -1.
    for (qsizetype at = begin ? -1 : 0; sent;) {
        PGresult* raw = PQgetResult(conn);
        if (!raw) {
            // The end of one statement's results.
            if (PQstatus(conn) == CONNECTION_BAD || ++at > statements.size())
                break;
            continue;
        }
        ServerResult res(raw, &PQclear);
        const ExecStatusType st = PQresultStatus(raw);
        if (st == PGRES_PIPELINE_SYNC)
            break;
        if (st == PGRES_PIPELINE_ABORTED || failed)
            continue;
        const DbResult r = serverOutcome(conn, raw);
        if (r) {
            status->rowsAffected = r.rowsAffected;
        } else {
            failed = true;
            note(qMax<qsizetype>(0, at), r);
        }
        if (at >= 0 && static_cast<size_t>(at) == results.size())
            results.push_back(std::move(res));
    }
    if (PQexitPipelineMode(conn) != 1 && !failed)
        note(0, DbResult::failure(serverError(conn, nullptr)));
    *status = lostIfBroken(*status);
    while (results.size() < static_cast<size_t>(statements.size()))
        results.emplace_back(nullptr, &PQclear);
    return results;
}

Database::ServerResult Database::runOnServer(const QString& sql, const QVariantList& binds, DbResult* status,
                                             const QByteArray& prefix, ServerPlan plan)
{
    if (beginPending_) {
        // The transaction's BEGIN travels with its first statement.
        auto results = pipelineOnServer({{sql, binds}}, plan, status, nullptr, prefix);
        return std::move(results.front());
    }
    lastConflict_ = false;
    PGconn* conn = serverConnection(status);
    if (!conn)
        return ServerResult(nullptr, &PQclear);
    const TextParams params(binds);
    if (DbResult r = refuseNul(params); !r) {
        *status = r;
        return ServerResult(nullptr, &PQclear);
    }
    ServerResult res(nullptr, &PQclear);
    if (!keepsPlan(binds, prefix, plan)) {
        res.reset(PQexecParams(conn, (prefix + numberedPlaceholders(dialect(sql))).constData(),
                               params.count(), nullptr, params.values.data(), nullptr, nullptr, 0));
    } else {
        const QByteArray name = preparedOnServer(conn, sql, status);
        if (name.isEmpty()) {
            *status = lostIfBroken(*status);
            return res;
        }
        res.reset(PQexecPrepared(conn, name.constData(), params.count(), params.values.data(), nullptr,
                                 nullptr, 0));
    }
    *status = lostIfBroken(serverOutcome(conn, res.get()));
    return res;
}

DbResult Database::serverOutcome(PGconn* conn, PGresult* res)
{
    const ExecStatusType st = PQresultStatus(res);
    if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) {
        DbResult ok;
        ok.rowsAffected = QByteArray(PQcmdTuples(res)).toLongLong();
        return ok;
    }
    DbResult r = DbResult::failure(serverError(conn, res));
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    r.conflict = lastConflict_ =
        state && (isConflictState(QString::fromLatin1(state)) || isKeyTakenMeanwhile(res));
    return r;
}

DbValue<QList<QVariantList>> Database::serverRows(const QString& sql, const QVariantList& binds, int maxRows)
{
    DbResult status;
    const ServerResult res = runOnServer(sql, binds, &status);
    if (!status)
        return DbValue<QList<QVariantList>>{status, std::nullopt};
    QList<QVariantList> rows;
    const int n = maxRows < 0 ? PQntuples(res.get()) : qMin(maxRows, PQntuples(res.get()));
    rows.reserve(n);
    for (int i = 0; i < n; ++i)
        rows << serverRow(res.get(), i);
    return DbValue<QList<QVariantList>>::of(rows);
}

QString Database::dialect(const QString& sql) const
{
    if (!onServer())
        return sql;
    QString out = sql;
    // The planner needs no hint to read by the key.
    out.replace(QLatin1String(" NOT INDEXED"), QLatin1String(""));
    // The server sorts by the collation itself, with sort keys of its own.
    const QString key = QLatin1String(collation::kPinyinKey) + u'(';
    for (qsizetype at = out.indexOf(key); at >= 0; at = out.indexOf(key, at)) {
        const qsizetype close = out.indexOf(u')', at);
        if (close < 0)
            break;
        const QString term = out.mid(at + key.size(), close - at - key.size()) + QStringLiteral(" COLLATE ") +
                             QLatin1String(collation::kPinyin);
        out.replace(at, close - at + 1, term);
        at += term.size();
    }
    return out;
}

DbResult Database::selectKeyedTextsOnServer(const QString& sql, const QVariantList& binds,
                                            const std::function<bool(qint64, const TextRow&)>& row)
{
    // The whole result at once, as the server's own client reads it; the
    // texts are read straight from it. Grids and totals are planned for
    // each run's values: one employee's month and six years of business
    // want different plans.
    DbResult status;
    const ServerResult res = runOnServer(sql, binds, &status, {}, ServerPlan::EachRun);
    if (!status)
        return status;
    const int n = PQntuples(res.get());
    for (int i = 0; i < n; ++i) {
        const TextRow reader(res.get(), i);
        if (!row(QByteArrayView(PQgetvalue(res.get(), i, 0)).toLongLong(), reader))
            break;
    }
    return {};
}

namespace {

// Appends a value in COPY's text form: a backslash, a tab, a line feed and
// a carriage return escaped (nothing else is special), `\N` for no value.
// False for a NUL character, which the server's texts cannot hold.
bool appendCopyValue(QByteArray& out, const QVariant& v)
{
    if (!v.isValid()) {
        out += "\\N";
        return true;
    }
    QByteArray text;
    switch (v.typeId()) {
    case QMetaType::Double:
        text = QByteArray::number(v.toDouble(), 'g', 17);
        break;
    case QMetaType::Bool:
        text = v.toBool() ? "true" : "false";
        break;
    default:
        text = v.toString().toUtf8();
    }
    for (const char c : std::as_const(text)) {
        switch (c) {
        case '\0':
            return false;
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return true;
}

} // namespace

DbResult Database::insertRowsOnServer(const Rows& rows)
{
    lastConflict_ = false;
    // COPY cannot travel with a waiting BEGIN.
    if (DbResult r = beginNow(); !r)
        return r;
    DbResult status;
    PGconn* conn = serverConnection(&status);
    if (!conn)
        return status;
    const QByteArray sql = QStringLiteral("COPY %1 (%2) FROM STDIN")
                               .arg(quoteIdent(rows.table), quoteIdents(rows.columns))
                               .toUtf8();
    ServerResult started(PQexec(conn, sql.constData()), &PQclear);
    if (PQresultStatus(started.get()) != PGRES_COPY_IN)
        return lostIfBroken(serverOutcome(conn, started.get()));
    // Sent in pieces of about this size (the client library copies each).
    constexpr qsizetype kPiece = 256 * 1024;
    QByteArray piece;
    piece.reserve(kPiece + 4096);
    bool nul = false;
    bool sent = true;
    for (qsizetype i = 0; sent && !nul && i < rows.values.size(); ++i) {
        const QVariantList& row = rows.values.at(i);
        for (qsizetype c = 0; !nul && c < row.size(); ++c) {
            if (c > 0)
                piece += '\t';
            nul = !appendCopyValue(piece, row.at(c));
        }
        piece += '\n';
        if (!nul && (piece.size() >= kPiece || i + 1 == rows.values.size())) {
            sent = PQputCopyData(conn, piece.constData(), static_cast<int>(piece.size())) == 1;
            piece.clear();
        }
    }
    // Anything gone wrong on this side ends the COPY as failed: none of its
    // rows is stored, and the connection leaves the COPY either way.
    const bool ended = PQputCopyEnd(conn, sent && !nul ? nullptr : "not sent") == 1;
    DbResult r;
    bool first = true;
    while (PGresult* raw = PQgetResult(conn)) {
        ServerResult res(raw, &PQclear);
        if (PQresultStatus(raw) == PGRES_COPY_IN)
            break; // the end could not be sent: the connection is lost
        if (first)
            r = serverOutcome(conn, raw);
        first = false;
    }
    if (nul)
        r = DbResult::failure(kNulRefused);
    else if (r && (!sent || !ended))
        r = DbResult::failure(serverError(conn, nullptr));
    return lostIfBroken(r);
}

DbResult Database::beginNow()
{
    if (!beginPending_)
        return {};
    // A connection dropped while idle is made again before the BEGIN.
    if (DbResult reached; !serverConnection(&reached))
        return reached;
    beginPending_ = false;
    DbResult r;
    runOnServer(QStringLiteral("BEGIN"), {}, &r);
    return r;
}

bool Database::sortsWholeResultOnServer(const QString& sql, const QVariantList& binds)
{
    DbResult status;
    const ServerResult res = runOnServer(sql, binds, &status, "EXPLAIN ");
    if (!status)
        return false;
    for (int i = 0; i < PQntuples(res.get()); ++i) {
        // "Sort" (a top-N heap sort under a LIMIT too) reads every row;
        // an "Incremental Sort" follows an index's runs.
        const QByteArray line = QByteArray(PQgetvalue(res.get(), i, 0)).trimmed();
        if (line.startsWith("Sort ") || line.startsWith("-> Sort ") || line.startsWith("->  Sort "))
            return true;
    }
    return false;
}

} // namespace shop
