#include "migrate.h"

#include "data/schema.h"

#include <QDir>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>

namespace shop::migrate {

namespace {

// The server takes at most this many bound values in one statement.
constexpr int kMaxBinds = 65535;
constexpr int kRowsPerStatement = 500;

QString where(const Database& db)
{
    return QDir::toNativeSeparators(db.path());
}

// A file's text exactly as stored. The server's client takes values as
// C strings in UTF-8, so a text with a NUL character would be cut short and
// one that is not UTF-8 would come out changed: both are refused instead
// (the reason returned; empty when the text is sound).
QString storedText(QByteArrayView bytes, QString* out)
{
    if (!bytes.isEmpty() && std::memchr(bytes.data(), 0, static_cast<size_t>(bytes.size())))
        return QStringLiteral("含有空字符");
    // A leading byte order mark is part of the text.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    *out = utf8.decode(bytes);
    return utf8.hasError() ? QStringLiteral("不是有效的 UTF-8 编码") : QString();
}

// One table of a file and how it is copied.
struct Table {
    Database* source = nullptr;
    QString name;
    // The file's columns in stored order, spelt as the server's tables spell them.
    QStringList columns;
    qint64 rows = 0;
};

// Holds one read transaction on a file, so that every table is read from
// one state of it even if a till still writes to it.
class Snapshot {
public:
    explicit Snapshot(Database& db) : db_(db) { ok_ = db_.exec(QStringLiteral("BEGIN")).ok; }
    bool ok() const { return ok_; }
    ~Snapshot()
    {
        if (ok_)
            db_.exec(QStringLiteral("ROLLBACK"));
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

private:
    Database& db_;
    bool ok_ = false;
};

// The file's columns of `def`, by the program's names; an error when the
// table is missing or its columns are not the program's.
bool describe(Database& db, const TableDef& def, Table* out, QString* error)
{
    const QStringList have = db.columns(def.name);
    if (have.isEmpty()) {
        *error = QStringLiteral("%1：缺少数据表 %2").arg(where(db), def.name);
        return false;
    }
    QStringList columns;
    for (const QString& c : have) {
        const auto at = std::find_if(def.columns.cbegin(), def.columns.cend(), [&c](const QString& d) {
            return d.compare(c, Qt::CaseInsensitive) == 0;
        });
        if (at == def.columns.cend()) {
            *error = QStringLiteral("%1：数据表 %2 有本程序没有的列 %3").arg(where(db), def.name, c);
            return false;
        }
        columns << *at;
    }
    for (const QString& d : def.columns)
        if (!columns.contains(d)) {
            *error = QStringLiteral("%1：数据表 %2 缺少列 %3").arg(where(db), def.name, d);
            return false;
        }
    const auto count = db.selectOne(QStringLiteral("SELECT count(*) FROM %1").arg(quoteIdent(def.name)));
    if (!count) {
        *error = QStringLiteral("%1：无法读取数据表 %2：%3").arg(where(db), def.name, count.error());
        return false;
    }
    out->source = &db;
    out->name = def.name;
    out->columns = columns;
    out->rows = count->value(0).toLongLong();
    return true;
}

// Copies one table's rows in statements of `perStatement` rows; the number
// of rows the server stored in `copied`.
bool copyTable(const Table& t, Database& server, int perStatement, const Options& options, qint64* copied,
               QString* error)
{
    const int width = static_cast<int>(t.columns.size()) + 1;
    QStringList names;
    for (const QString& c : t.columns)
        names << quoteIdent(c);
    const QString head = QStringLiteral("INSERT INTO %1 (%2, rowid) VALUES ")
                             .arg(quoteIdent(t.name), names.join(QStringLiteral(", ")));
    const QString tuple = QLatin1Char('(') + QStringLiteral("?, ").repeated(width - 1) + QStringLiteral("?)");
    auto statement = [&](int rows) { return head + QStringList(rows, tuple).join(QStringLiteral(", ")); };
    const QString full = statement(perStatement);

    QVariantList binds;
    binds.reserve(perStatement * width);
    int pending = 0;
    qint64 firstKey = 0;
    qint64 lastKey = 0;
    *copied = 0;
    auto flush = [&]() {
        if (pending == 0)
            return true;
        const DbResult r = server.exec(pending == perStatement ? full : statement(pending), binds);
        if (!r) {
            *error = QStringLiteral("数据表 %1（rowid %2 至 %3 的行）：%4")
                         .arg(t.name)
                         .arg(firstKey)
                         .arg(lastKey)
                         .arg(r.error);
            return false;
        }
        *copied += r.rowsAffected;
        binds.clear();
        pending = 0;
        if (options.progress)
            options.progress(t.name, *copied, t.rows);
        return true;
    };

    QStringList selected{QStringLiteral("rowid")};
    for (const QString& c : t.columns)
        selected << quoteIdent(c);
    bool failed = false;
    const DbResult read = t.source->selectKeyedTexts(
        QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
            .arg(selected.join(QStringLiteral(", ")), quoteIdent(t.name)),
        {}, [&](qint64 key, const Database::TextRow& row) {
            if (pending == 0)
                firstKey = key;
            lastKey = key;
            for (int i = 0; i < width - 1; ++i) {
                QString text;
                if (const QString bad = storedText(row.utf8(i), &text); !bad.isEmpty()) {
                    *error = QStringLiteral(
                                 "%1：数据表 %2 中 rowid 为 %3 的行，列 %4 的文字%5，服务器无法原样保存")
                                 .arg(where(*t.source), t.name)
                                 .arg(key)
                                 .arg(t.columns.at(i), bad);
                    failed = true;
                    return false;
                }
                binds << text;
            }
            binds << key;
            if (++pending == perStatement && !flush()) {
                failed = true;
                return false;
            }
            return true;
        });
    if (!read) {
        *error = QStringLiteral("%1：无法读取数据表 %2：%3").arg(where(*t.source), t.name, read.error);
        return false;
    }
    return !failed && flush();
}

// The indexes of a table but its key, set aside: a bulk copy builds each
// once after the rows are in (by sorting them), far faster than row by row.
// The statements that make them again, as the server states them.
bool setIndexesAside(Database& server, const QString& table, QStringList* remake, QString* error)
{
    const auto indexes = server.selectAll(
        QStringLiteral("SELECT indexname, indexdef FROM pg_indexes WHERE schemaname = current_schema() AND "
                       "tablename = ? AND indexname NOT IN (SELECT conname FROM pg_constraint)"),
        {table});
    if (indexes.failed()) {
        *error = indexes.error();
        return false;
    }
    for (const QVariantList& ix : *indexes) {
        if (DbResult r = server.exec(QStringLiteral("DROP INDEX %1").arg(quoteIdent(ix.value(0).toString())));
            !r) {
            *error = r.error;
            return false;
        }
        *remake << ix.value(1).toString();
    }
    return true;
}

} // namespace

int rowsPerStatement(int columns)
{
    return qMax(1, qMin(kRowsPerStatement, kMaxBinds / (columns + 1)));
}

std::optional<Sources> openSources(const QString& businessPath, const QString& accountsPath, QString* error)
{
    Sources s;
    for (const QString& path : {businessPath, accountsPath}) {
        QString err;
        auto db = Database::open(path, &err, Database::OpenMode::MustExist);
        if (!db) {
            *error = QStringLiteral("%1：%2").arg(QDir::toNativeSeparators(path), err);
            return std::nullopt;
        }
        const auto check = db->selectAll(QStringLiteral("PRAGMA quick_check"));
        if (check.failed()) {
            *error = QStringLiteral("%1：%2").arg(QDir::toNativeSeparators(path), check.error());
            return std::nullopt;
        }
        QStringList lines;
        for (const QVariantList& row : *check)
            lines << row.value(0).toString();
        if (lines != QStringList{QStringLiteral("ok")}) {
            *error = QStringLiteral("%1：文件已损坏（SQLite 快速检查：%2）")
                         .arg(QDir::toNativeSeparators(path), lines.mid(0, 3).join(QStringLiteral("；")));
            return std::nullopt;
        }
        (s.business ? s.accounts : s.business) = std::move(db);
    }
    return s;
}

Outcome copyShop(Database& business, Database& accounts, Database& server, const Options& options)
{
    Outcome out;
    auto fail = [&out](const QString& e) {
        out.ok = false;
        out.error = e;
        out.counts.clear();
        return out;
    };
    if (!server.onServer() || business.onServer() || accounts.onServer())
        return fail(QStringLiteral("只能从数据库文件迁移到数据库服务器"));

    const Snapshot businessSnapshot(business);
    const Snapshot accountsSnapshot(accounts);
    for (const Snapshot* s : {&businessSnapshot, &accountsSnapshot})
        if (!s->ok())
            return fail(QStringLiteral("无法开始读取数据库文件"));
    QList<Table> tables;
    QString error;
    for (const TableDef& def : schema::businessTables()) {
        // A file from an earlier version lacks the tables added since: the
        // server gets them empty.
        if (def.addedLater && business.columns(def.name).isEmpty())
            continue;
        Table t;
        if (!describe(business, def, &t, &error))
            return fail(error);
        tables << t;
    }
    Table users;
    if (!describe(accounts, schema::accountsTable(), &users, &error))
        return fail(error);
    tables << users;

    // Everything below is one transaction: rolled back on any return before
    // the commit.
    Database::Transaction tx(server);
    if (!tx.active())
        return fail(QStringLiteral("%1：%2").arg(server.path(), tx.error()));
    const auto present = schema::presentTables(server);
    if (present.failed())
        return fail(QStringLiteral("%1：%2").arg(server.path(), present.error()));
    if (!present->isEmpty())
        return fail(QStringLiteral("%1：数据库中已有数据表：%2。只能迁移到没有本程序数据表的空数据库。")
                        .arg(server.path(), present->join(QStringLiteral("、"))));
    if (!schema::createServerTables(server, &error))
        return fail(QStringLiteral("%1：无法创建数据表：%2").arg(server.path(), error));

    QList<qint64> copiedRows;
    for (const Table& t : std::as_const(tables)) {
        const int per =
            options.rowsPerStatement > 0
                ? qMin(options.rowsPerStatement, kMaxBinds / static_cast<int>(t.columns.size() + 1))
                : rowsPerStatement(static_cast<int>(t.columns.size()));
        QStringList indexes;
        if (!setIndexesAside(server, t.name, &indexes, &error))
            return fail(QStringLiteral("数据表 %1：%2").arg(t.name, error));
        qint64 copied = 0;
        if (!copyTable(t, server, per, options, &copied, &error))
            return fail(error);
        for (const QString& sql : std::as_const(indexes))
            if (DbResult r = server.exec(sql); !r)
                return fail(QStringLiteral("数据表 %1：无法建立索引：%2").arg(t.name, r.error));
        // New rows on the server get keys after the copied ones (the first
        // key 1 for an empty table).
        const DbResult seq = server.exec(
            QStringLiteral(
                "SELECT setval(pg_get_serial_sequence(?, 'rowid'), coalesce(max(rowid), 0) + 1, false) "
                "FROM %1")
                .arg(quoteIdent(t.name)),
            {t.name});
        if (!seq)
            return fail(QStringLiteral("数据表 %1：%2").arg(t.name, seq.error));
        copiedRows << copied;
    }
    // Every table's rows, counted again on both sides before the commit.
    for (qsizetype i = 0; i < tables.size(); ++i) {
        const Table& t = tables.at(i);
        const QString count = QStringLiteral("SELECT count(*) FROM %1").arg(quoteIdent(t.name));
        const auto inFile = t.source->selectOne(count);
        if (!inFile)
            return fail(
                QStringLiteral("%1：无法读取数据表 %2：%3").arg(where(*t.source), t.name, inFile.error()));
        const auto stored = server.selectOne(count);
        if (!stored)
            return fail(QStringLiteral("数据表 %1：%2").arg(t.name, stored.error()));
        const qint64 fileRows = inFile->value(0).toLongLong();
        const qint64 serverRows = stored->value(0).toLongLong();
        if (serverRows != fileRows || copiedRows.at(i) != fileRows)
            return fail(QStringLiteral("数据表 %1 的行数不一致：文件中 %2 行，复制了 %3 行，服务器上 %4 行")
                            .arg(t.name)
                            .arg(fileRows)
                            .arg(copiedRows.at(i))
                            .arg(serverRows));
        out.counts << TableCount{t.name, serverRows};
    }
    if (const DbResult r = tx.commit(); !r)
        return fail(QStringLiteral("%1：提交失败：%2").arg(server.path(), r.error));
    out.ok = true;
    return out;
}

Outcome copyFiles(const QString& businessPath, const QString& accountsPath, Database& server,
                  const Options& options)
{
    QString error;
    const auto sources = openSources(businessPath, accountsPath, &error);
    if (!sources)
        return Outcome{false, error, {}};
    return copyShop(*sources->business, *sources->accounts, server, options);
}

} // namespace shop::migrate
