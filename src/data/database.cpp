#include "database.h"

#include "collation.h"
#include "database_detail.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlDriver>
#include <QSqlRecord>
#include <QVarLengthArray>

#include <algorithm>
#include <limits>

#include <fcntl.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shop {

namespace {
QAtomicInt connectionCounter;
QAtomicInteger<quint32> openings;

std::function<void()>& busyWaiting()
{
    static std::function<void()> f;
    return f;
}
std::function<void()>& busyDone()
{
    static std::function<void()> f;
    return f;
}

bool identityOf(const QString& path, quint64* device, quint64* inode)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    *device = static_cast<quint64>(st.st_dev);
    *inode = static_cast<quint64>(st.st_ino);
    return true;
}

// A connection opened while the file was read-only leaves the write-ahead
// index (and log) behind read-only too, and every later connection would
// then stay read-only although the file itself can be written again. They
// are ours (one copy of the program runs), so give them the file's mode.
void matchSidecarModes(const QString& path)
{
    struct stat db {};
    if (::stat(QFile::encodeName(path).constData(), &db) != 0)
        return;
    for (const char* suffix : {"-wal", "-shm"}) {
        const QByteArray side = QFile::encodeName(path + QLatin1String(suffix));
        struct stat st {};
        if (::stat(side.constData(), &st) == 0 && !Database::mayWrite(QFile::decodeName(side)))
            ::chmod(side.constData(), (st.st_mode | (db.st_mode & 0666)) & 07777);
    }
}

} // namespace

sqlite3* rawHandle(const QSqlDatabase& db)
{
    const QVariant h = db.driver()->handle();
    return h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0
               ? *static_cast<sqlite3* const*>(h.constData())
               : nullptr;
}

QString newConnectionName()
{
    return QStringLiteral("shop-%1").arg(connectionCounter.fetchAndAddRelaxed(1));
}

QString errorText(const QSqlError& e)
{
    QString t = e.databaseText();
    if (t.isEmpty())
        t = e.text();
    return t.trimmed();
}

QString quoteIdent(const QString& name)
{
    QString n = name;
    n.replace('"', "\"\"");
    return '"' + n + '"';
}

QString quoteIdents(const QStringList& names, const QString& prefix)
{
    QStringList quoted;
    quoted.reserve(names.size());
    for (const QString& n : names)
        quoted << prefix + quoteIdent(n);
    return quoted.join(QStringLiteral(", "));
}

Database::Statement rowUpdate(const QString& table, const QStringList& columns, qint64 rowid,
                              const QStringList& values)
{
    QStringList sets;
    for (const QString& c : columns)
        sets << quoteIdent(c) + QStringLiteral(" = ?");
    QVariantList binds;
    for (const QString& v : values)
        binds << textValue(v);
    binds << rowid;
    return {QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                .arg(quoteIdent(table), sets.join(QStringLiteral(", "))),
            binds};
}

Database::Statement rowInsert(const QString& table, const QStringList& columns, QVariantList binds,
                              const QVarLengthArray<ColumnExpression, 2>& expressions)
{
    struct Shape {
        QString table;
        QStringList columns;
        QVarLengthArray<ColumnExpression, 2> expressions;
        QString text;
    };
    thread_local std::vector<Shape> shapes;
    const auto same = [&](const Shape& shape) {
        return shape.table == table && shape.columns == columns &&
               std::equal(shape.expressions.begin(), shape.expressions.end(), expressions.begin(),
                          expressions.end(), [](const ColumnExpression& a, const ColumnExpression& b) {
                              return a.column == b.column && a.sql == b.sql;
                          });
    };
    auto shape = std::find_if(shapes.begin(), shapes.end(), same);
    if (shape == shapes.end()) {
        QStringList marks(columns.size(), QStringLiteral("?"));
        for (const ColumnExpression& e : expressions)
            marks[e.column] = QStringLiteral("CAST(%1 AS TEXT)").arg(e.sql);
        shape = shapes.insert(shapes.end(), {table, columns, expressions,
                                             QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                                 .arg(quoteIdent(table), quoteIdents(columns),
                                                      marks.join(QStringLiteral(", ")))});
    }
    return {shape->text, std::move(binds)};
}

QVariant textValue(const QString& s)
{
    return s.isNull() ? QString("") : s;
}

const QStringList& DbServer::sslModes()
{
    // Without TLS at all ("disable", "allow") is not offered: the shop's
    // data would cross the network readable.
    static const QStringList modes = {QStringLiteral("prefer"), QStringLiteral("require"),
                                      QStringLiteral("verify-ca"), QStringLiteral("verify-full")};
    return modes;
}

QString DbServer::display() const
{
    return QStringLiteral("%1@%2:%3/%4").arg(user, host).arg(port).arg(name);
}

Database::Database(QString path, QString connectionName)
    : path_(std::move(path)), connectionName_(std::move(connectionName))
{
}

Database::~Database()
{
    dropStatements();
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName_, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(connectionName_);
}

QSqlDatabase Database::handle() const
{
    return QSqlDatabase::database(connectionName_, false);
}

std::unique_ptr<Database> Database::open(const QString& path, QString* error, OpenMode mode)
{
    QString dummy;
    QString& err = error ? *error : dummy;
    QFileInfo fi(path);
    if (mode == OpenMode::MustExist) {
        if (!fi.exists()) {
            err = QStringLiteral("文件不存在");
            return nullptr;
        }
        if (!fi.isFile() || !fi.isReadable()) {
            err = QStringLiteral("文件无法读取");
            return nullptr;
        }
    }
    if (mayWrite(path))
        matchSidecarModes(path);
    const QString name = newConnectionName();
    std::unique_ptr<Database> d(new Database(path, name));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open()) {
            err = errorText(db.lastError());
            return nullptr;
        }
        // Waits for another program's lock through onBusy (five seconds,
        // with the busy hooks told), instead of a silent timeout.
        sqlite3* raw = rawHandle(db);
        if (raw)
            sqlite3_busy_handler(raw, &Database::onBusy, d.get());
        // Sorts, and the indexes that serve them, need the collation on
        // every connection (the integrity checks too).
        if (!collation::registerPinyin(raw, &err))
            return nullptr;
    }
    d->markOpened();
    // The file's identity, once it exists (a new file appears with the
    // first statement): from then on every write checks it is still there.
    d->identityKnown_ = identityOf(path, &d->device_, &d->inode_);
    DbResult r = d->configure();
    if (!r) {
        err = r.error;
        return nullptr;
    }
    if (!d->identityKnown_ && !(d->identityKnown_ = identityOf(path, &d->device_, &d->inode_))) {
        err = QStringLiteral("文件无法读取");
        return nullptr;
    }
    return d;
}

void Database::close()
{
    dropStatements();
    serverStatements_.clear();
    beginPending_ = false;
    QSqlDatabase db = handle();
    if (db.isOpen())
        db.close();
    identityKnown_ = false;
    opening_ = 0;
}

void Database::markOpened()
{
    do
        opening_ = openings.fetchAndAddRelaxed(1) + 1;
    while (opening_ == 0);
}

bool Database::reopen(QString* error)
{
    close();
    const bool file = !onServer();
    if (file && mayWrite(path_))
        matchSidecarModes(path_);
    QSqlDatabase db = handle();
    if (!db.open()) {
        if (error)
            *error = errorText(db.lastError());
        return false;
    }
    if (file) {
        markOpened();
        sqlite3* raw = rawHandle(db);
        if (raw)
            sqlite3_busy_handler(raw, &Database::onBusy, this);
        if (QString e; !collation::registerPinyin(raw, &e)) {
            if (error)
                *error = e;
            close();
            return false;
        }
    }
    columnCache_.clear();
    if (DbResult r = configure(); !r) {
        if (error)
            *error = r.error;
        close();
        return false;
    }
    if (file)
        identityKnown_ = identityOf(path_, &device_, &inode_);
    return true;
}

DbResult Database::configure()
{
    if (onServer()) {
        for (const QString& sql : serverSessionSettings())
            if (DbResult r = exec(sql); !r)
                return r;
        return {};
    }
    // Reading the schema first makes a non-database file fail here, before
    // any pragma could write to it.
    if (auto r = exec(QStringLiteral("SELECT count(*) FROM sqlite_master")); !r)
        return r;
    if (auto r = exec(QStringLiteral("PRAGMA journal_mode=WAL")); !r)
        return r;
    if (auto r = exec(QStringLiteral("PRAGMA synchronous=FULL")); !r)
        return r;
    return exec(QStringLiteral("PRAGMA foreign_keys=OFF"));
}

QString Database::filesGoneText()
{
    return QStringLiteral("数据库文件已被删除或替换，本次操作没有保存。请退出程序，检查 database "
                          "文件夹（或从备份恢复）后重新启动。");
}

void Database::stopWhen(const std::atomic_bool* stop)
{
    sqlite3* raw = onServer() ? nullptr : rawHandle(handle());
    if (!raw)
        return;
    // Asked every thousand steps of the engine: a few microseconds apart.
    auto asked = [](void* flag) { return static_cast<const std::atomic_bool*>(flag)->load() ? 1 : 0; };
    sqlite3_progress_handler(raw, stop ? 1000 : 0, stop ? +asked : nullptr,
                             const_cast<std::atomic_bool*>(stop));
}

bool Database::connectionReadOnly() const
{
    if (onServer())
        return false;
    sqlite3* raw = rawHandle(handle());
    return raw && sqlite3_db_readonly(raw, "main") == 1;
}

bool Database::writableNow() const
{
    // The folder matters only while the write-ahead files are missing, and
    // then the file cannot be opened at all.
    return mayWrite(path_);
}

bool Database::mayWrite(const QString& path)
{
    // The effective user's right: a program run by root is not held back by
    // the mode bits, and one run by another user is.
    return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) == 0;
}

bool Database::reopenIfWritable(QString* error)
{
    if (onServer() || inTransaction_ || reopening_ || !connectionReadOnly() || !writableNow())
        return true;
    reopening_ = true;
    const bool reopened = reopen(error);
    reopening_ = false;
    return reopened;
}

bool Database::readOnly()
{
    if (onServer())
        return false;
    return !reopenIfWritable(nullptr) || connectionReadOnly() || !writableNow();
}

bool Database::fileStillThere() const
{
    if (onServer())
        return true;
    quint64 device = 0, inode = 0;
    return identityOf(path_, &device, &inode) && device == device_ && inode == inode_;
}

quint64 Database::storedStamp()
{
    if (onServer() || opening_ == 0)
        return 0;
    if (!fileDb_)
        fileDb_ = rawHandle(handle());
    // The engine counts the commits into the file: this connection's own as
    // they end, another's when this connection next begins to read (or
    // takes the write lock).
    unsigned int version = 0;
    if (!fileDb_ || sqlite3_file_control(fileDb_, "main", SQLITE_FCNTL_DATA_VERSION, &version) != SQLITE_OK)
        return 0;
    return (quint64(opening_) << 32) | version;
}

void Database::setBusyHooks(std::function<void()> waiting, std::function<void()> done)
{
    busyWaiting() = std::move(waiting);
    busyDone() = std::move(done);
}

Database::BusyScope::~BusyScope()
{
    if (db_.waiting_) {
        db_.waiting_ = false;
        if (busyDone())
            busyDone()();
    }
}

int Database::onBusy(void* self, int count)
{
    auto* db = static_cast<Database*>(self);
    if (count == 0 && !db->waiting_) {
        db->waiting_ = true;
        if (busyWaiting())
            busyWaiting()();
    }
    constexpr int kStepMs = 10;
    constexpr int kTimeoutMs = 5000;
    if (count * kStepMs >= kTimeoutMs)
        return 0;
    sqlite3_sleep(kStepMs);
    return 1;
}

namespace {

// A statement that changes the file, or begins a transaction that may;
// settings, reads and the end of a transaction do not.
bool changesFile(const QString& sql)
{
    static const char* const verbs[] = {"BEGIN",  "INSERT", "UPDATE", "DELETE", "REPLACE",
                                        "CREATE", "DROP",   "ALTER",  "VACUUM", "REINDEX"};
    const QStringView text = QStringView(sql).trimmed();
    return std::any_of(std::begin(verbs), std::end(verbs), [&text](const char* verb) {
        const QLatin1StringView v(verb);
        return text.startsWith(v, Qt::CaseInsensitive) &&
               (text.size() == v.size() || !text.at(v.size()).isLetterOrNumber());
    });
}

} // namespace

DbResult Database::exec(const QString& sql, const QVariantList& binds)
{
    if (writeGate_ && !inTransaction_ && changesFile(sql))
        if (const QString refused = writeGate_(); !refused.isEmpty())
            return DbResult::failure(refused);
    // Statements run here may write: never into a file that is gone. Inside
    // a transaction nothing reaches the file before its COMMIT, which is
    // checked like its BEGIN.
    if (identityKnown_ && (!inTransaction_ || sql == QLatin1String("COMMIT")) && !fileStillThere())
        return DbResult::failure(filesGoneText());
    // A connection opened while the file could not be written stays
    // read-only: once the file can be written again, open it afresh so the
    // shop goes on without a restart.
    if (QString err; !reopenIfWritable(&err))
        return DbResult::failure(err);
    lastConflict_ = false;
    if (onServer()) {
        // Straight through the client library: one round trip.
        DbResult r;
        runOnServer(sql, binds, &r);
        return r;
    }
    // Prepared once per connection: a sale runs the same few texts again
    // and again.
    return stepOnFile(sql, binds, [](sqlite3_stmt*) { return true; });
}

QList<Database::Statement> Database::statementsOf(const QList<Write>& writes)
{
    QList<Statement> out;
    out.reserve(writes.size());
    for (const Write& w : writes)
        out << w.statement;
    return out;
}

DbResult Database::execEach(const QList<Statement>& statements, qsizetype* failedAt, QVariant* returned)
{
    if (onServer())
        return execEachOnServer(statements, failedAt, returned);
    // Outside a transaction they are one of their own, as on a server.
    std::optional<Transaction> own;
    if (!inTransaction_) {
        own.emplace(*this);
        if (!own->active())
            return DbResult::failure(own->error());
    }
    for (qsizetype i = 0; i < statements.size(); ++i) {
        const Statement& st = statements.at(i);
        DbResult r;
        if (returned && returned->isNull()) {
            // A write that gives a value back (inside the transaction, so
            // the checks exec makes at its ends are not needed here).
            r = stepOnFile(st.sql, st.binds, [returned](sqlite3_stmt* stmt) {
                if (returned->isNull())
                    *returned = rowValues(stmt).value(0);
                return true;
            });
        } else {
            r = exec(st.sql, st.binds);
        }
        if (!r) {
            if (failedAt)
                *failedAt = i;
            return r;
        }
    }
    return own ? own->commit() : DbResult{};
}

DbResult Database::insertRows(const Rows& rows)
{
    if (!inTransaction_)
        return DbResult::failure(QStringLiteral("no transaction"));
    if (rows.values.isEmpty())
        return {};
    for (const QVariantList& row : rows.values)
        if (row.size() != rows.columns.size())
            return DbResult::failure(QStringLiteral("%1: %2 values for %3 columns")
                                         .arg(rows.table)
                                         .arg(row.size())
                                         .arg(rows.columns.size()));
    return onServer() ? insertRowsOnServer(rows) : insertRowsOnFile(rows);
}

DbValue<QList<qint64>> Database::newKeys(const QString& table, qsizetype n)
{
    if (!inTransaction_)
        return DbValue<QList<qint64>>::failure(QStringLiteral("no transaction"));
    QList<qint64> keys;
    if (n <= 0)
        return DbValue<QList<qint64>>::of(keys);
    keys.reserve(n);
    if (onServer()) {
        const auto taken = selectAll(
            QStringLiteral("SELECT nextval(pg_get_serial_sequence(?, 'rowid')) FROM generate_series(1, ?)"),
            {table.toLower(), n});
        if (!taken)
            return {taken.status, std::nullopt};
        for (const QVariantList& row : *taken)
            keys << row.value(0).toLongLong();
        return DbValue<QList<qint64>>::of(keys);
    }
    const auto largest = selectOne(QStringLiteral("SELECT max(rowid) FROM %1").arg(quoteIdent(table)));
    if (!largest)
        return {largest.status, std::nullopt};
    const qint64 last = largest->value(0).toLongLong();
    // The engine would pick rowids at random past the largest there is.
    if (last > std::numeric_limits<qint64>::max() - n)
        return DbValue<QList<qint64>>::failure(QStringLiteral("%1: 行号已用尽").arg(table));
    for (qsizetype i = 1; i <= n; ++i)
        keys << last + i;
    return DbValue<QList<qint64>>::of(keys);
}

DbResult Database::failed(const QSqlError& e)
{
    DbResult r = DbResult::failure(errorText(e));
    r.conflict = lastConflict_ = onServer() && isConflictState(e.nativeErrorCode());
    return onServer() ? lostIfBroken(r) : r;
}

QString Database::writeTime() const
{
    return dateTimeText(writerClock_ ? writerClock_->now() : QDateTime::currentDateTime());
}

QString Database::lastKeySql(const QString& table) const
{
    if (onServer())
        return QStringLiteral("currval(pg_get_serial_sequence('%1', 'rowid'))").arg(table.toLower());
    return QStringLiteral("last_insert_rowid()");
}

QStringList Database::columns(const QString& table)
{
    auto it = columnCache_.constFind(table.toLower());
    if (it != columnCache_.constEnd())
        return *it;
    QStringList cols;
    // The server's hidden row key is not one of the table's columns.
    const QString sql =
        onServer() ? QStringLiteral("SELECT column_name FROM information_schema.columns WHERE table_schema = "
                                    "current_schema() AND table_name = lower(?) AND column_name <> 'rowid' "
                                    "ORDER BY ordinal_position")
                   : QStringLiteral("SELECT name FROM pragma_table_info(?) ORDER BY cid");
    select(sql, {table}, [&cols](const QSqlQuery& q) {
        cols << q.value(0).toString();
        return true;
    });
    if (!cols.isEmpty())
        columnCache_.insert(table.toLower(), cols);
    return cols;
}

Database::Transaction::Transaction(Database& db) : db_(db)
{
    if (db_.inTransaction_) {
        error_ = QStringLiteral("nested transaction");
        return;
    }
    // IMMEDIATE takes the write lock up front, so values read inside the
    // transaction cannot be changed by another writer before we write. A
    // server locks the rows read for update instead (selectOneForUpdate),
    // and its BEGIN waits to go with the first statement: one round trip
    // less for every transaction.
    if (db_.onServer()) {
        db_.beginPending_ = true;
    } else if (DbResult r = db_.exec(QStringLiteral("BEGIN IMMEDIATE")); !r) {
        error_ = r.error;
        return;
    }
    active_ = true;
    db_.inTransaction_ = true;
}

Database::Transaction::~Transaction()
{
    rollback();
}

DbResult Database::Transaction::commit()
{
    return commitAfter({});
}

DbResult Database::Transaction::commitAfter(const QList<Statement>& writes, qsizetype* failedAt,
                                            QVariant* returned)
{
    if (!active_)
        return DbResult::failure(error_.isEmpty() ? QStringLiteral("no transaction") : error_);
    DbResult r;
    if (db_.onServer()) {
        if (writes.isEmpty() && db_.beginPending_) {
            // Nothing ran: there is nothing to commit.
            db_.beginPending_ = false;
        } else {
            // The writes and the COMMIT in one round trip; the COMMIT is
            // skipped when a write fails.
            r = db_.execEachOnServer(writes + QList<Statement>{{QStringLiteral("COMMIT"), {}}}, failedAt,
                                     returned);
        }
    } else {
        r = db_.execEach(writes, failedAt, returned);
        if (r) {
            r = db_.exec(QStringLiteral("COMMIT"));
            if (!r && failedAt)
                *failedAt = writes.size();
        }
    }
    if (!r) {
        rollback();
        return r;
    }
    active_ = false;
    db_.inTransaction_ = false;
    return r;
}

void Database::Transaction::rollback()
{
    if (!active_)
        return;
    // What made the transaction fail is still the news after the rollback.
    const bool conflict = db_.lastConflict_;
    if (db_.beginPending_)
        db_.beginPending_ = false; // nothing ran: nothing to undo
    else
        db_.exec(QStringLiteral("ROLLBACK"));
    db_.lastConflict_ = conflict;
    active_ = false;
    db_.inTransaction_ = false;
}

} // namespace shop
