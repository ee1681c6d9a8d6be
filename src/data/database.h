#pragma once

#include "clock.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVarLengthArray>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

class QSqlQuery;
struct sqlite3;
struct sqlite3_stmt;
struct pg_conn;
struct pg_result;

namespace shop {

// Outcome of one statement: ok, or the driver's error text.
struct DbResult {
    bool ok = true;
    QString error;
    qint64 rowsAffected = 0;
    qint64 lastRowid = 0;
    // The server gave up the transaction because another one changed the
    // same rows at the same moment (a deadlock or serialization failure):
    // nothing of it was stored, and running it again may well succeed.
    bool conflict = false;

    explicit operator bool() const { return ok; }
    static DbResult failure(const QString& e) { return DbResult{false, e, 0, 0, false}; }
};

// A PostgreSQL server database that every till of the shop shares.
struct DbServer {
    QString host; // a name, an address, or the folder of a Unix socket
    int port = 5432;
    QString name;
    QString user;
    QString password; // asked at start, never stored
    // TLS, as libpq's sslmode: "prefer" encrypts whenever the server offers
    // it; "require" refuses a server without it, "verify-ca" and
    // "verify-full" also check its certificate (and its name).
    QString sslmode = QStringLiteral("prefer");
    static const QStringList& sslModes();
    // How the server is named in messages: user@host:port/name.
    QString display() const;
};

// Outcome of a read: a value, no row, or the driver's error. Callers tell
// "not found" (ok, no value) from "failed" (not ok) without a second channel.
template <typename T> struct DbValue {
    DbResult status;
    std::optional<T> value;

    static DbValue failure(const QString& e) { return DbValue{DbResult::failure(e), std::nullopt}; }
    static DbValue none() { return DbValue{}; }
    static DbValue of(T v) { return DbValue{DbResult{}, std::move(v)}; }

    bool failed() const { return !status.ok; }
    bool found() const { return status.ok && value.has_value(); }
    explicit operator bool() const { return found(); }
    QString error() const { return status.error; }
    const T& operator*() const { return *value; }
    const T* operator->() const { return &*value; }

    // The value passed through `f`; no row and a failure stay as they are.
    template <typename F> auto map(F f) const -> DbValue<std::invoke_result_t<F, const T&>>
    {
        if (!found())
            return {status, std::nullopt};
        return {status, f(*value)};
    }
};

// One SQLite file, or one PostgreSQL server database, on its own
// connection. Every statement binds its values; queries run to completion
// before returning, so no statement stays open between events.
//
// Statements are written once, in the SQLite dialect the program always
// spoke; on a server the few forms that differ are translated here (the
// server database has the hidden column rowid, the collations NOCASE and
// PINYIN and the function instr of its own), so nothing above this layer
// knows which engine it runs on.
class Database {
public:
    enum class OpenMode { MustExist, Create };
    enum class Engine { SQLite, Postgres };

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens the file; with MustExist a missing or non-database file is an
    // error and is never created or overwritten.
    static std::unique_ptr<Database> open(const QString& path, QString* error,
                                          OpenMode mode = OpenMode::MustExist);

    // Connects to a server database; a password the server needs and was
    // not given fails with needsPassword() true for the error.
    static std::unique_ptr<Database> openServer(const DbServer& server, QString* error);
    static bool needsPassword(const QString& error);
    // The connection failed because the server offers no TLS and the
    // settings require it.
    static bool tlsRefused(const QString& error);

    Engine engine() const { return engine_; }
    bool onServer() const { return engine_ == Engine::Postgres; }
    // The file's path; on a server, how the server is named in messages.
    QString path() const { return path_; }
    QSqlDatabase handle() const;

    // Closes the connection (the file can then be moved or replaced) and
    // opens the file at path() again; this object and every view reading
    // through it stay valid. False (reason in `error`) when it cannot be
    // opened: the connection then stays closed.
    void close();
    bool reopen(QString* error);

    // The text of the failure every write gets once the file this
    // connection opened has been deleted or replaced (a write would go to
    // a file nobody will see again).
    static QString filesGoneText();
    // The text of the failure of a statement that lost its server (the
    // server stopped, the network went): what happened in Chinese, the
    // engine's words (`detail`) after it. The next statement outside a
    // transaction connects again by itself.
    static QString connectionLostText(const QString& detail);
    static bool connectionLost(const QString& error);
    // Called after this connection to a server was made again (what was
    // read before the loss may be read again).
    void setReconnectHook(std::function<void()> hook) { onReconnect_ = std::move(hook); }

    // Asked before a statement that would change the file (outside a
    // transaction) and before the BEGIN of a transaction: a text refuses it,
    // and the statement fails with that text. The gate may wait (for a
    // check of the file that is still running). Files only.
    void setWriteGate(std::function<QString()> gate) { writeGate_ = std::move(gate); }

    // Whether the file at path() is still the one that was opened.
    bool fileStillThere() const;
    // What is stored, as this connection saw it last (at its last read or
    // write): the same stamp again means that nothing was committed in
    // between, by this connection or any other, so rows read then are still
    // stored exactly as read. Stamps of two openings never meet; 0 (never
    // the same) on a server, whose rows are locked as they are read instead.
    quint64 storedStamp();

    // Whether writes would fail now. A connection opened while the file
    // could not be written stays read-only; it is opened afresh here, and
    // by the next statement run, once the file can be written.
    bool readOnly();
    // Whether this program may write the file or folder at `path` now.
    static bool mayWrite(const QString& path);

    // Called when a statement starts waiting for another program's lock and
    // when it stops waiting (the user interface shows a busy cursor). The
    // wait ends after five seconds with "database is locked".
    static void setBusyHooks(std::function<void()> waiting, std::function<void()> done);

    // A statement running on this connection (a backup's copy) ends with an
    // error soon after `*stop` becomes true; nullptr takes the check away.
    // Files only: a server's statements are not stopped.
    void stopWhen(const std::atomic_bool* stop);

    // Runs one statement with bound values.
    DbResult exec(const QString& sql, const QVariantList& binds = {});

    // Runs the statements in order and stops at the first that fails
    // (`failedAt` gets its index); outside a transaction, all or none of
    // them are stored. A server gets them all at once: one round trip
    // instead of one each. `returned`, when given, gets the first value
    // that one of them gave back (an INSERT ... RETURNING).
    struct Statement {
        QString sql;
        QVariantList binds;
    };
    // A statement with the table it changes (empty for one that changes
    // none), so that a caller's list of tables written comes from its writes.
    struct Write {
        QString table;
        Statement statement;
    };
    static QList<Statement> statementsOf(const QList<Write>& writes);
    DbResult execEach(const QList<Statement>& statements, qsizetype* failedAt = nullptr,
                      QVariant* returned = nullptr);

    // Rows for one table, each row's values in the order of `columns`.
    struct Rows {
        QString table;
        QStringList columns;
        QList<QVariantList> values;
    };
    // Inserts the rows inside the caller's transaction: on a file through
    // one prepared statement, on a server as one COPY stream (a statement
    // each costs the server more than the rows). The first failure ends it
    // and the caller rolls back.
    DbResult insertRows(const Rows& rows);
    // Rowids for `n` new rows of `table`, for rows inserted with their
    // rowid given, inside a transaction that holds the table's keys: on a
    // file the ones after the largest stored (ask again only after the rows
    // given went in), on a server taken from the table's own sequence.
    DbValue<QList<qint64>> newKeys(const QString& table, qsizetype n);

    // Runs a query forward-only, handing each row to `row` until it returns
    // false or the rows end.
    DbResult select(const QString& sql, const QVariantList& binds,
                    const std::function<bool(const QSqlQuery&)>& row);

    // Fast forward-only read for grids: column 0 as a 64-bit integer key,
    // the other columns decoded as texts only when the reader asks, straight
    // from the engine without a variant per value. `row` returns false to stop.
    class TextRow {
    public:
        int count() const; // texts after the key
        QString text(int i) const;
        QVector<QString> texts() const;
        // The engine's UTF-8 bytes of a text, valid until the next row.
        QByteArrayView utf8(int i) const;

    private:
        friend class Database;
        explicit TextRow(void* stmt) : stmt_(stmt) {}
        TextRow(void* result, int row) : stmt_(result), row_(row) {}
        void* stmt_;
        int row_ = -1; // on a server: the row of the result in stmt_
    };
    DbResult selectKeyedTexts(const QString& sql, const QVariantList& binds,
                              const std::function<bool(qint64 key, const TextRow& row)>& row);

    // All rows of a query (for small results only).
    DbValue<QList<QVariantList>> selectAll(const QString& sql, const QVariantList& binds = {});

    // First row of a query; no value when there is none.
    DbValue<QVariantList> selectOne(const QString& sql, const QVariantList& binds = {});
    // The same, inside a transaction, for a row about to be written from
    // what is read: no other connection can change it until the end of the
    // transaction (on a server the row is locked; a file's transaction holds
    // the write lock already).
    DbValue<QVariantList> selectOneForUpdate(const QString& sql, const QVariantList& binds = {});
    // The first row of each query (none when it has none), on a server in
    // one round trip; the first query that fails ends it and is named in
    // `failedAt`. ForUpdate reads as selectOneForUpdate does.
    enum class RowLock { None, ForUpdate };
    DbValue<QList<std::optional<QVariantList>>> selectOneEach(const QList<Statement>& queries,
                                                              RowLock lock = RowLock::None,
                                                              qsizetype* failedAt = nullptr);
    // Inside a transaction: no other connection checks the keys of `table`
    // for a new row until this transaction ends, so a check for a key and
    // the insert after it are one step (a file's transaction holds the
    // write lock already; a server takes a lock named after the table).
    DbResult holdKeysOf(const QString& table);

    // Runs `work` (one whole transaction) again when the server gave it up
    // for a conflict with another till, a few times, with a short pause.
    // The last outcome is returned; `conflicted` tells whether it failed so.
    template <typename Work, typename Conflicted> static auto retryConflicts(Work work, Conflicted conflicted)
    {
        constexpr int kTries = 8;
        auto out = work();
        for (int i = 1; i < kTries && conflicted(out); ++i) {
            pauseBeforeRetry(i);
            out = work();
        }
        return out;
    }
    // Whether the last failed statement on this connection was a conflict.
    bool lastFailureWasConflict() const { return lastConflict_; }

    // Whether the engine's plan for a query sorts its whole result (no
    // index gives the order). False when the plan cannot be read. A file's
    // sort within an index's runs counts only when the caller says so.
    enum class PartialSorts { Ignore, Count };
    bool sortsWholeResult(const QString& sql, const QVariantList& binds,
                          PartialSorts partial = PartialSorts::Ignore);

    // Who writes through this connection, by the clock of the program: the
    // card ledger names the login and the time of every change it keeps.
    void setWriter(const QString& login, const Clock* clock)
    {
        writerLogin_ = login;
        writerClock_ = clock;
    }
    QString writerLogin() const { return writerLogin_; }
    // Now, as a date-time text.
    QString writeTime() const;

    // An expression for the rowid that the last insert into `table` on this
    // connection gave its row, for a later statement of the same transaction.
    QString lastKeySql(const QString& table) const;

    // Column names of a table in stored order (cached).
    QStringList columns(const QString& table);

    bool inTransaction() const { return inTransaction_; }

    // All-or-nothing scope: rolls back unless commit() succeeded.
    class Transaction {
    public:
        explicit Transaction(Database& db);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        bool active() const { return active_; }
        QString error() const { return error_; }
        DbResult commit();
        // Runs `writes` (as execEach) and commits, on a server in one round
        // trip; `failedAt` names the write that failed, or writes.size()
        // when the commit did, and `returned` gets the first value a write
        // gave back. Anything failed is rolled back.
        DbResult commitAfter(const QList<Statement>& writes, qsizetype* failedAt = nullptr,
                             QVariant* returned = nullptr);
        void rollback();

    private:
        Database& db_;
        bool active_ = false;
        QString error_;
    };

    // What every server connection sets first (tools that compare their
    // own sessions with the program's run the same).
    static QStringList serverSessionSettings();

private:
    Database(QString path, QString connectionName);
    static void pauseBeforeRetry(int attempt);
    DbResult configure();
    // The statement as this engine takes it.
    QString dialect(const QString& sql) const;
    DbResult failed(const class QSqlError& e);
    // One statement on the server through the client library (one round
    // trip); `status` says how it went. A statement with values is prepared
    // once (its plan kept when the values do not change it), or planned
    // afresh for each run's values.
    using ServerResult = std::unique_ptr<::pg_result, void (*)(::pg_result*)>;
    enum class ServerPlan { Kept, EachRun };
    ServerResult runOnServer(const QString& sql, const QVariantList& binds, DbResult* status,
                             const QByteArray& prefix = {}, ServerPlan plan = ServerPlan::Kept);
    // Statements with values are prepared once per connection and keep
    // their plan, unless planned for each run or run under a prefix (EXPLAIN).
    static bool keepsPlan(const QVariantList& binds, const QByteArray& prefix, ServerPlan plan);
    QByteArray preparedOnServer(::pg_conn* conn, const QString& sql, DbResult* status);
    DbResult insertRowsOnFile(const Rows& rows);
    DbResult insertRowsOnServer(const Rows& rows);
    DbResult execEachOnServer(const QList<Statement>& statements, qsizetype* failedAt,
                              QVariant* returned = nullptr);
    // The statements in one round trip (libpq's pipeline mode), after the
    // BEGIN of a transaction that waits for its first statement: each one's
    // result, none for those the server skipped after the first failure.
    std::vector<ServerResult> pipelineOnServer(const QList<Statement>& statements, ServerPlan plan,
                                               DbResult* status, qsizetype* failedAt,
                                               const QByteArray& prefix = {});
    // Sends a waiting BEGIN by itself (before a statement that goes another way).
    DbResult beginNow();
    // The server connection to run a statement on. One the server dropped
    // while it stood idle (between transactions, or before a transaction's
    // first statement) is made again first; null, with the failure in
    // `status`, when that cannot be done.
    ::pg_conn* serverConnection(DbResult* status);
    // A failure that left the connection broken is said as a lost connection.
    DbResult lostIfBroken(DbResult r) const;
    // A server's result as this layer reports it (a failure notes whether
    // the server gave the transaction up for another's sake).
    DbResult serverOutcome(::pg_conn* conn, ::pg_result* res);
    DbValue<QList<QVariantList>> serverRows(const QString& sql, const QVariantList& binds, int maxRows);
    bool sortsWholeResultOnServer(const QString& sql, const QVariantList& binds);
    DbResult selectKeyedTextsOnServer(const QString& sql, const QVariantList& binds,
                                      const std::function<bool(qint64 key, const TextRow& row)>& row);
    bool connectionReadOnly() const;
    bool writableNow() const;
    bool reopenIfWritable(QString* error);
    // Prepared statements of selectKeyedTexts, reset, for the next run of
    // the same text; finalized before the connection closes.
    struct KeptStatement {
        QString sql;
        void* stmt;
    };
    QVector<KeptStatement> statements_;
    // The engine's handle behind the kept statements, looked up once: the
    // lookup by connection name took a lock and a copy for every statement.
    sqlite3* fileDb_ = nullptr;
    // One statement on the file through the engine's own API, its prepared
    // form kept for the next run of the same text; `row` sees each row
    // until it returns false (a write still runs to its end).
    DbResult stepOnFile(const QString& sql, const QVariantList& binds,
                        const std::function<bool(sqlite3_stmt*)>& row);
    sqlite3_stmt* takeStatement(const QString& sql);
    void keepStatement(const QString& sql, sqlite3_stmt* stmt);
    void dropStatements();

    // Every entry point waits through this scope, which ends a busy wait.
    class BusyScope;
    static int onBusy(void* self, int count);

    QString path_;
    QString connectionName_;
    Engine engine_ = Engine::SQLite;
    // The server's prepared statements of this connection, by text.
    QHash<QString, QByteArray> serverStatements_;
    int serverStatementCount_ = 0;
    bool lastConflict_ = false;
    bool inTransaction_ = false;
    // A server transaction whose BEGIN has not been sent yet.
    bool beginPending_ = false;
    bool waiting_ = false;
    bool reopening_ = false;
    bool reconnecting_ = false;
    std::function<void()> onReconnect_;
    std::function<QString()> writeGate_;
    // The opened file's device and inode.
    bool identityKnown_ = false;
    // This opening of the file, unique in the program; 0 while closed.
    quint32 opening_ = 0;
    void markOpened();
    quint64 device_ = 0;
    quint64 inode_ = 0;
    QHash<QString, QStringList> columnCache_;
    QString writerLogin_;
    const Clock* writerClock_ = nullptr;
};

// Quotes an identifier for SQL text (identifiers come from code, never users).
QString quoteIdent(const QString& name);
// The identifiers quoted and separated by commas, each after `prefix` (a
// table's alias, e.g. "s.").
QString quoteIdents(const QStringList& names, const QString& prefix = {});

// The statement that rewrites row `rowid` of `table`: `values` as texts, one
// for each of `columns`, in order.
Database::Statement rowUpdate(const QString& table, const QStringList& columns, qint64 rowid,
                              const QStringList& values);

// A column of a row appended by rowInsert that takes the value of an
// expression (a key taken earlier in the same transaction), as text.
struct ColumnExpression {
    qsizetype column; // its index among the row's columns
    QString sql;
};
// The statement that appends one row of `columns` to `table`: `binds` in
// column order, except for the columns `expressions` gives. Its text is
// built once per shape and thread (tills sell on threads of their own):
// every sale appends rows of the same few shapes.
Database::Statement rowInsert(const QString& table, const QStringList& columns, QVariantList binds,
                              const QVarLengthArray<ColumnExpression, 2>& expressions = {});

// Binds a text value so that a null QString is stored as '' (columns are NOT NULL).
QVariant textValue(const QString& s);

} // namespace shop
