#include "database.h"

#include "collation.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlDriver>
#include <QSqlRecord>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shop {

namespace {
QAtomicInt connectionCounter;

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

sqlite3* rawHandle(const QSqlDatabase& db)
{
    const QVariant h = db.driver()->handle();
    return h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0
               ? *static_cast<sqlite3* const*>(h.constData())
               : nullptr;
}

QString errorText(const QSqlError& e)
{
    QString t = e.databaseText();
    if (t.isEmpty())
        t = e.text();
    return t.trimmed();
}

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
} // namespace

QString quoteIdent(const QString& name)
{
    QString n = name;
    n.replace('"', "\"\"");
    return '"' + n + '"';
}

QVariant textValue(const QString& s)
{
    return s.isNull() ? QString("") : s;
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
    const QString name = QStringLiteral("shop-%1").arg(connectionCounter.fetchAndAddRelaxed(1));
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
    QSqlDatabase db = handle();
    if (db.isOpen())
        db.close();
    identityKnown_ = false;
}

bool Database::reopen(QString* error)
{
    close();
    if (mayWrite(path_))
        matchSidecarModes(path_);
    QSqlDatabase db = handle();
    if (!db.open()) {
        if (error)
            *error = errorText(db.lastError());
        return false;
    }
    sqlite3* raw = rawHandle(db);
    if (raw)
        sqlite3_busy_handler(raw, &Database::onBusy, this);
    if (QString e; !collation::registerPinyin(raw, &e)) {
        if (error)
            *error = e;
        close();
        return false;
    }
    columnCache_.clear();
    if (DbResult r = configure(); !r) {
        if (error)
            *error = r.error;
        close();
        return false;
    }
    identityKnown_ = identityOf(path_, &device_, &inode_);
    return true;
}

DbResult Database::configure()
{
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

bool Database::connectionReadOnly() const
{
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
    if (inTransaction_ || reopening_ || !connectionReadOnly() || !writableNow())
        return true;
    reopening_ = true;
    const bool reopened = reopen(error);
    reopening_ = false;
    return reopened;
}

bool Database::readOnly()
{
    return !reopenIfWritable(nullptr) || connectionReadOnly() || !writableNow();
}

bool Database::fileStillThere() const
{
    quint64 device = 0, inode = 0;
    return identityOf(path_, &device, &inode) && device == device_ && inode == inode_;
}

void Database::setBusyHooks(std::function<void()> waiting, std::function<void()> done)
{
    busyWaiting() = std::move(waiting);
    busyDone() = std::move(done);
}

class Database::BusyScope {
public:
    explicit BusyScope(Database& db) : db_(db) {}
    ~BusyScope()
    {
        if (db_.waiting_) {
            db_.waiting_ = false;
            if (busyDone())
                busyDone()();
        }
    }

private:
    Database& db_;
};

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

DbResult Database::exec(const QString& sql, const QVariantList& binds)
{
    // Statements run here may write: never into a file that is gone.
    if (identityKnown_ && !fileStillThere())
        return DbResult::failure(filesGoneText());
    // A connection opened while the file could not be written stays
    // read-only: once the file can be written again, open it afresh so the
    // shop goes on without a restart.
    if (QString err; !reopenIfWritable(&err))
        return DbResult::failure(err);
    BusyScope busy(*this);
    QSqlDatabase db = handle();
    QSqlQuery q(db);
    QString err;
    if (!prepareAndBind(q, sql, binds, &err))
        return DbResult::failure(err);
    if (!q.exec())
        return DbResult::failure(errorText(q.lastError()));
    DbResult r;
    r.rowsAffected = q.numRowsAffected();
    r.lastRowid = q.lastInsertId().toLongLong();
    q.finish();
    return r;
}

DbResult Database::select(const QString& sql, const QVariantList& binds,
                          const std::function<bool(const QSqlQuery&)>& row)
{
    BusyScope busy(*this);
    QSqlDatabase db = handle();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QString err;
    if (!prepareAndBind(q, sql, binds, &err))
        return DbResult::failure(err);
    if (!q.exec())
        return DbResult::failure(errorText(q.lastError()));
    while (q.next()) {
        if (!row(q))
            break;
    }
    if (q.lastError().isValid())
        return DbResult::failure(errorText(q.lastError()));
    q.finish();
    return {};
}

DbResult Database::selectKeyedTexts(const QString& sql, const QVariantList& binds,
                                    const std::function<bool(qint64, const TextRow&)>& row)
{
    BusyScope busy(*this);
    sqlite3* db = rawHandle(handle());
    if (!db)
        return DbResult::failure(QStringLiteral("database not open"));
    sqlite3_stmt* stmt = takeStatement(sql);
    if (!stmt) {
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v3(db, text.constData(), static_cast<int>(text.size()), SQLITE_PREPARE_PERSISTENT,
                               &stmt, nullptr) != SQLITE_OK)
            return DbResult::failure(QString::fromUtf8(sqlite3_errmsg(db)));
    }
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

    for (int i = 0; i < binds.size(); ++i) {
        const QVariant& v = binds.at(i);
        int rc = SQLITE_OK;
        switch (v.typeId()) {
        case QMetaType::LongLong:
        case QMetaType::Int:
        case QMetaType::ULongLong:
        case QMetaType::UInt:
            rc = sqlite3_bind_int64(stmt, i + 1, v.toLongLong());
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(stmt, i + 1, v.toDouble());
            break;
        default: {
            const QByteArray b = v.toString().toUtf8();
            rc = sqlite3_bind_text(stmt, i + 1, b.constData(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
        }
        }
        if (rc != SQLITE_OK) {
            release.keep = false;
            return DbResult::failure(QString::fromUtf8(sqlite3_errmsg(db)));
        }
    }
    const TextRow reader(stmt);
    for (;;) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW) {
            release.keep = false;
            return DbResult::failure(QString::fromUtf8(sqlite3_errmsg(db)));
        }
        if (!row(sqlite3_column_int64(stmt, 0), reader))
            break;
    }
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
    // Grids and totals run the same few texts again and again; the oldest
    // goes once the few are exceeded.
    constexpr qsizetype kKept = 32;
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
}

int Database::TextRow::count() const
{
    return sqlite3_column_count(static_cast<sqlite3_stmt*>(stmt_)) - 1;
}

QString Database::TextRow::text(int i) const
{
    auto* stmt = static_cast<sqlite3_stmt*>(stmt_);
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i + 1));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(stmt, i + 1)) : QString("");
}

QByteArrayView Database::TextRow::utf8(int i) const
{
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
    QList<QVariantList> rows;
    DbResult r = select(sql, binds, [&rows](const QSqlQuery& q) {
        QVariantList v;
        const int n = q.record().count();
        v.reserve(n);
        for (int i = 0; i < n; ++i)
            v << q.value(i);
        rows << v;
        return true;
    });
    if (!r)
        return DbValue<QList<QVariantList>>{r, std::nullopt};
    return DbValue<QList<QVariantList>>::of(rows);
}

DbValue<QVariantList> Database::selectOne(const QString& sql, const QVariantList& binds)
{
    std::optional<QVariantList> out;
    DbResult r = select(sql, binds, [&out](const QSqlQuery& q) {
        QVariantList v;
        const int n = q.record().count();
        for (int i = 0; i < n; ++i)
            v << q.value(i);
        out = v;
        return false;
    });
    if (!r)
        return DbValue<QVariantList>{r, std::nullopt};
    return DbValue<QVariantList>{r, out};
}

QStringList Database::columns(const QString& table)
{
    auto it = columnCache_.constFind(table.toLower());
    if (it != columnCache_.constEnd())
        return *it;
    QStringList cols;
    select(QStringLiteral("SELECT name FROM pragma_table_info(?) ORDER BY cid"), {table},
           [&cols](const QSqlQuery& q) {
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
    // transaction cannot be changed by another writer before we write.
    DbResult r = db_.exec(QStringLiteral("BEGIN IMMEDIATE"));
    if (!r) {
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
    if (!active_)
        return DbResult::failure(error_.isEmpty() ? QStringLiteral("no transaction") : error_);
    DbResult r = db_.exec(QStringLiteral("COMMIT"));
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
    db_.exec(QStringLiteral("ROLLBACK"));
    active_ = false;
    db_.inTransaction_ = false;
}

} // namespace shop
