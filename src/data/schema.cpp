#include "schema.h"

#include "card_ledger.h"
#include "collation.h"
#include "database.h"
#include "password.h"
#include "private_files.h"
#include "stock_ledger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace shop::schema {

namespace {
const QStringList kGoods = {jinhuo::kName,          jinhuo::kCode,        jinhuo::kSize,  jinhuo::kPerBox,
                            jinhuo::kPurchasePrice, jinhuo::kRetailPrice, jinhuo::kStock, jinhuo::kSupplier,
                            jinhuo::kDate,          jinhuo::kRemark};
const QStringList kSales = {
    salse::kDate,     salse::kType,        salse::kCard,         salse::kProductCode, salse::kProductName,
    salse::kQuantity, salse::kRetailPrice, salse::kPurchaseDate, salse::kReceived,    salse::kServiceItem,
    salse::kEmployee, salse::kRemark,      salse::kCommission};

struct IndexDef {
    const char* table;
    const char* column;
    // A second column: rows of one value of the first, in the order of this one.
    const char* then = nullptr;
    // Serves the header sort of a text column: in its pinyin order. The
    // column's plain index stays beside it for equalities (the pinyin order
    // cannot serve a comparison without regard to case), and for one value's
    // rows in stored order.
    bool pinyin = false;
    // On a server: columns the index also carries, so that a total over its
    // range reads the index alone. The server's planner otherwise prefers
    // the date index for one employee's month (the dates follow the stored
    // order) and compares every other employee's name on the way.
    const char* serverInclude = nullptr;
};
// Columns the windows filter or sort on often. One employee's business over
// a date range reads its rows from the employee-and-date index.
const IndexDef kIndexes[] = {
    {"salse", "业务日期"},
    // The takings of a day or a month.
    {"salse_history", "业务日期"},
    {"salse", "卡号"},
    {"salse", "员工姓名"},
    {"salse", "员工姓名", nullptr, true},
    {"salse", "产品编号"},
    {"jinhuo", "产品编号"},
    {"jinhuo", "商品名称"},
    {"jinhuo", "商品名称", nullptr, true},
    {"numbercard", "卡号"},
    {"guke", "编号"},
    {"guke", "姓名"},
    {"guke", "姓名", nullptr, true},
    {"worker", "身份证号码"},
    {"salary", "姓名"},
    {"salary", "姓名", nullptr, true},
    {"shouzhi", "日期"},
    {"salse", "员工姓名", "业务日期", false, "rowid, \"提成金额\", \"实收金额\""},
    // The card ledger: a day's rows, one card's rows newest first, a sale's rows.
    {"kawu", "时间"},
    {"kawu", "卡号", "时间"},
    {"kawu", "业务编号"},
    {"chexiao", "撤销时间"},
    {"chexiao", "业务编号"},
    // Bookings: a day's in time order, one member's, one employee's day.
    {"yuyue", "预约日期", "开始时间"},
    {"yuyue", "卡号", "预约日期"},
    {"yuyue", "员工姓名", "预约日期"},
    // How long a service was last booked for.
    {"yuyue", "服务项目"},
    // A member's visits: the days of the card's sales.
    {"salse_history", "卡号", "业务日期"},
    // The stock ledger: a period's rows, one code's rows newest first, a
    // sale's rows, one line's last row.
    {"kucun_liushui", "时间"},
    {"kucun_liushui", "产品编号", "时间"},
    {"kucun_liushui", "业务编号"},
    {"kucun_liushui", "商品记录号"},
    {"pandian", "商品记录号"},
};

// The name of the index as an earlier version made it, in the column's own order.
QString plainIndexName(const IndexDef& ix)
{
    QString name = QStringLiteral("ix_%1_%2").arg(QLatin1String(ix.table), QString::fromUtf8(ix.column));
    if (ix.then)
        name += QLatin1Char('_') + QString::fromUtf8(ix.then);
    return name;
}

QString indexName(const IndexDef& ix)
{
    return ix.pinyin ? plainIndexName(ix) + QStringLiteral("_pinyin") : plainIndexName(ix);
}

QString pinyinTerm(const QString& column)
{
    return quoteIdent(column) + QStringLiteral(" COLLATE ") + QLatin1String(collation::kPinyin);
}

bool failWith(QString* error, const QString& e)
{
    if (error)
        *error = e;
    return false;
}

QString createIndexSql(const Database& db, const IndexDef& ix)
{
    QString columns =
        ix.pinyin ? pinyinTerm(QString::fromUtf8(ix.column)) : quoteIdent(QString::fromUtf8(ix.column));
    if (ix.then)
        columns += QStringLiteral(", ") + quoteIdent(QString::fromUtf8(ix.then));
    QString sql = QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                      .arg(quoteIdent(indexName(ix)), quoteIdent(QLatin1String(ix.table)), columns);
    if (db.onServer() && ix.serverInclude)
        sql += QStringLiteral(" INCLUDE (%1)").arg(QString::fromUtf8(ix.serverInclude));
    return sql;
}

// The statements that create the indexes the file lacks (none when every
// index is there).
DbValue<QStringList> indexWork(Database& db)
{
    const auto existing = db.selectAll(
        db.onServer() ? QStringLiteral("SELECT indexname FROM pg_indexes WHERE schemaname = current_schema()")
                      : QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index'"));
    if (existing.failed())
        return DbValue<QStringList>::failure(existing.error());
    QSet<QString> have;
    for (const QVariantList& row : *existing)
        have << row.value(0).toString();
    QStringList work;
    for (const IndexDef& ix : kIndexes)
        if (!have.contains(indexName(ix)))
            work << createIndexSql(db, ix);
    return DbValue<QStringList>::of(work);
}

bool runAll(Database& db, const QStringList& statements, QString* error)
{
    for (const QString& sql : statements)
        if (DbResult r = db.exec(sql); !r)
            return failWith(error, r.error);
    return true;
}

// What a server database needs before the tables: texts compared without
// regard to case (citext, in the byte order of "C" as NOCASE sorts), the
// collations the statements name, and SQLite's instr().
const QStringList kServerSetup = {
    QStringLiteral("CREATE EXTENSION IF NOT EXISTS citext"),
    QStringLiteral("CREATE COLLATION IF NOT EXISTS nocase (provider = libc, locale = 'C')"),
    // Pinyin order at secondary strength, Latin letters before Chinese: the
    // order the files' collator gives.
    QStringLiteral(
        "CREATE COLLATION IF NOT EXISTS pinyin (provider = icu, locale = 'zh-u-ks-level2-kr-latn-hani')"),
    QStringLiteral("CREATE OR REPLACE FUNCTION instr(text, text) RETURNS integer LANGUAGE sql IMMUTABLE "
                   "AS 'SELECT strpos($1, $2)'"),
};

QString tableSql(const Database& db, const TableDef& t)
{
    QStringList cols;
    const QString type = db.onServer() ? QStringLiteral(" citext COLLATE \"C\" NOT NULL DEFAULT ''")
                                       : QStringLiteral(" TEXT COLLATE NOCASE NOT NULL DEFAULT ''");
    for (const QString& c : t.columns)
        cols << quoteIdent(c) + type;
    // SQLite's rowid has no twin on a server: a hidden identity column,
    // last, so that the table's own columns keep their places.
    if (db.onServer())
        cols << QStringLiteral("rowid bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)").arg(quoteIdent(t.name), cols.join(", "));
}

bool createTable(Database& db, const TableDef& t, QString* error)
{
    DbResult r = db.exec(tableSql(db, t));
    if (!r && error)
        *error = r.error;
    return r.ok;
}
} // namespace

const QList<TableDef>& businessTables()
{
    static const QList<TableDef> tables = {
        {jinhuo::kTable, kGoods},
        {jinhuo::kHistory, kGoods},
        {salse::kTable, kSales},
        {salse::kHistory, kSales},
        {numbercard::kTable,
         {numbercard::kOpened, numbercard::kNumber, numbercard::kHandler, numbercard::kHolder,
          numbercard::kServiceItem, numbercard::kBalance, numbercard::kUses, numbercard::kType,
          numbercard::kRemark}},
        {guke::kTable,
         {guke::kNumber, guke::kName, guke::kSex, guke::kBorn, guke::kPhone, guke::kCreated, guke::kAddress,
          guke::kAnalysis}},
        {worker::kTable,
         {worker::kName, worker::kSex, worker::kBorn, worker::kEducation, worker::kHukou, worker::kMarriage,
          worker::kPosition, worker::kPay, worker::kPhone, worker::kHired, worker::kId, worker::kAddress}},
        {salary::kTable,
         {salary::kName, salary::kBasePay, salary::kCommission, salary::kFullAttendance, salary::kSeniority,
          salary::kBonus, salary::kLateness, salary::kEarlyLeave, salary::kFine, salary::kGross,
          salary::kNet}},
        {shouzhi::kTable,
         {shouzhi::kDate, shouzhi::kMatter, shouzhi::kExpense, shouzhi::kIncome, shouzhi::kRemark}},
        {kawu::kTable,
         {kawu::kTime, kawu::kCard, kawu::kKind, kawu::kBalanceBefore, kawu::kBalanceAfter, kawu::kUsesBefore,
          kawu::kUsesAfter, kawu::kReceived, kawu::kLogin, kawu::kHandler, kawu::kSale, kawu::kRemark,
          kawu::kCardRow},
         true},
        {chexiao::kTable,
         {chexiao::kTime, chexiao::kSale, chexiao::kDate, chexiao::kCard, chexiao::kReceived,
          chexiao::kEmployee, chexiao::kLogin},
         true},
        {yuyue::kTable,
         {yuyue::kDate, yuyue::kStart, yuyue::kEnd, yuyue::kCard, yuyue::kCardRow, yuyue::kName,
          yuyue::kPhone, yuyue::kServiceItem, yuyue::kEmployee, yuyue::kState, yuyue::kReason, yuyue::kSale,
          yuyue::kRemark, yuyue::kCreated, yuyue::kLogin},
         true},
        {liushui::kTable,
         {liushui::kTime, liushui::kCode, liushui::kName, liushui::kDate, liushui::kKind, liushui::kBefore,
          liushui::kAfter, liushui::kQuantity, liushui::kUnitCost, liushui::kCost, liushui::kLogin,
          liushui::kSale, liushui::kReason, liushui::kLineRow},
         true},
        {pandian::kTable,
         {pandian::kLineRow, pandian::kCode, pandian::kName, pandian::kDate, pandian::kSupplier,
          pandian::kUnitCost, pandian::kSheetStock, pandian::kCounted, pandian::kStockAtCount,
          pandian::kLedgerAtCount, pandian::kCountedAt, pandian::kStarted, pandian::kLogin},
         true},
    };
    return tables;
}

const TableDef& accountsTable()
{
    static const TableDef t{username::kTable, {username::kName, username::kPassword, username::kKind}};
    return t;
}

QString missingTable(Database& db, const QList<TableDef>& tables)
{
    for (const TableDef& t : tables)
        if (!t.addedLater && db.columns(t.name).isEmpty())
            return t.name;
    return {};
}

QStringList columnsOf(const QString& table)
{
    if (table.compare(accountsTable().name, Qt::CaseInsensitive) == 0)
        return accountsTable().columns;
    for (const TableDef& t : businessTables())
        if (t.name.compare(table, Qt::CaseInsensitive) == 0)
            return t.columns;
    return {};
}

IndexRebuild indexRebuildOf(const Database& db, const QString& table)
{
    IndexRebuild out;
    for (const IndexDef& ix : kIndexes)
        if (table.compare(QLatin1String(ix.table), Qt::CaseInsensitive) == 0) {
            out.drop << QStringLiteral("DROP INDEX IF EXISTS %1").arg(quoteIdent(indexName(ix)));
            out.create << createIndexSql(db, ix);
        }
    return out;
}

bool createBusinessTables(Database& db, QString* error)
{
    Database::Transaction tx(db);
    if (!tx.active()) {
        if (error)
            *error = tx.error();
        return false;
    }
    if (db.onServer() && !runAll(db, kServerSetup, error))
        return false;
    for (const TableDef& t : businessTables())
        if (!createTable(db, t, error))
            return false;
    const auto work = indexWork(db);
    if (work.failed())
        return failWith(error, work.error());
    if (!runAll(db, *work, error))
        return false;
    // A new file's indexes are in the collator's order of now: its first
    // opening has nothing to rebuild (and writes nothing).
    if (!db.onServer() &&
        !db.exec(
            QStringLiteral("PRAGMA user_version = %1").arg(static_cast<qint32>(collation::pinyinVersion()))))
        return failWith(error, QStringLiteral("PRAGMA user_version"));
    if (DbResult r = cards::markBeginning(db); !r)
        return failWith(error, r.error);
    DbResult r = tx.commit();
    if (!r && error)
        *error = r.error;
    return r.ok;
}

// Rebuilds the pinyin indexes when the file's were made under another
// version of the collator's order (the file keeps the version it was indexed
// under as its user version), so that no index is read out of order.
bool reindexWork(Database& db, QStringList* work, QString* error)
{
    // A server keeps its collations' versions itself.
    if (db.onServer())
        return true;
    const auto stored = db.selectOne(QStringLiteral("PRAGMA user_version"));
    if (stored.failed())
        return failWith(error, stored.error());
    const quint32 now = collation::pinyinVersion();
    if (stored.found() && static_cast<quint32>(stored->value(0).toLongLong()) == now)
        return true;
    *work << QStringLiteral("REINDEX %1").arg(QLatin1String(collation::kPinyin))
          << QStringLiteral("PRAGMA user_version = %1").arg(static_cast<qint32>(now));
    return true;
}

bool upgradeBusinessTables(Database& db, QString* error)
{
    // Tables added since come first: their indexes are among the work.
    QStringList tables;
    for (const TableDef& t : businessTables())
        if (t.addedLater && db.columns(t.name).isEmpty())
            tables << tableSql(db, t);
    auto work = indexWork(db);
    if (work.failed())
        return failWith(error, work.error());
    *work.value = tables + *work.value;
    if (!reindexWork(db, &*work.value, error))
        return false;
    const auto marked = cards::beginningMarked(db);
    if (marked.failed())
        return failWith(error, marked.error());
    // A ledger made empty (here or by a copy from a file without it) starts
    // with the stock of every line.
    const auto opening = stock::openingRowsDue(db);
    if (opening.failed())
        return failWith(error, opening.error());

    if (work->isEmpty() && *marked && !*opening)
        return true; // no write, no lock taken
    // All or nothing.
    Database::Transaction tx(db);
    if (!tx.active())
        return failWith(error, tx.error());
    if (!runAll(db, *work, error))
        return false;
    if (DbResult r = cards::markBeginning(db); !r)
        return failWith(error, r.error);
    if (DbResult r = stock::writeOpeningRows(db); !r)
        return failWith(error, r.error);
    DbResult r = tx.commit();
    return r.ok || failWith(error, r.error);
}

bool createAccountsTable(Database& db, QString* error)
{
    if (db.onServer() && !runAll(db, kServerSetup, error))
        return false;
    if (!createTable(db, accountsTable(), error))
        return false;
    return upgradeAccountsTable(db, error);
}

bool upgradeAccountsTable(Database& db, QString* error)
{
    // Logins look names up in the column's own order; the list of users
    // sorts them in pinyin order.
    const QString user = QStringLiteral("username");
    QStringList work = {
        QStringLiteral("CREATE INDEX IF NOT EXISTS ix_username ON username (%1)").arg(quoteIdent(user)),
        QStringLiteral("CREATE INDEX IF NOT EXISTS ix_username_pinyin ON username (%1)")
            .arg(pinyinTerm(user))};
    return reindexWork(db, &work, error) && runAll(db, work, error);
}

bool sortsInPinyin(const QString& column)
{
    // Figures, dates and codes: digits, Latin letters and a few signs, kept
    // in the order they always had.
    static const QSet<QString> kept = {
        "每箱件数", "进货价格", "零售价格",   "库存数量", "出货数量", "实收金额",   "提成金额",
        "金额",     "次数",     "薪金",       "底薪",     "提成总额", "全勤奖",     "工龄奖",
        "奖金",     "迟到",     "早退",       "罚款",     "应发工资", "实发工资",   "支出费用",
        "收入",     "业务日期", "进货日期",   "开卡日期", "出生年月", "创建日期",   "入职日期",
        "日期",     "卡号",     "产品编号",   "编号",     "联系电话", "身份证号码", "时间",
        "原金额",   "新金额",   "原次数",     "新次数",   "收款金额", "业务编号",   "卡记录号",
        "撤销时间", "预约日期", "开始时间",   "结束时间", "登记时间", "原库存",     "新库存",
        "变动数量", "成本金额", "商品记录号", "账面数量", "实盘数量", "清点时库存", "清点时流水号",
        "清点时间"};
    return !kept.contains(column);
}

namespace {
bool createFiles(const QString& businessPath, const QString& accountsPath, const QString& zedPassword,
                 QString* error)
{
    auto fail = [error](const QString& e) {
        if (error)
            *error = e;
        return false;
    };
    if (zedPassword.isEmpty())
        return fail(QStringLiteral("密码不能为空"));
    for (const QString& p : {businessPath, accountsPath})
        if (QFileInfo::exists(p))
            return fail(QStringLiteral("文件已存在：%1").arg(QDir::toNativeSeparators(p)));
    for (const QString& p : {businessPath, accountsPath})
        if (!private_files::makeFolder(QFileInfo(p).absolutePath()))
            return fail(QStringLiteral("无法创建文件夹：%1")
                            .arg(QDir::toNativeSeparators(QFileInfo(p).absolutePath())));

    const QString hash = hashPassword(zedPassword);
    if (hash.isEmpty())
        return fail(QStringLiteral("无法生成密码摘要"));

    // Build each file under a temporary name and move it into place only
    // when complete, so a failure leaves no half-made database behind.
    auto build = [&](const QString& finalPath, auto&& fill) -> bool {
        const QString tmp = finalPath + QStringLiteral(".creating");
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(tmp + QLatin1String(suffix));
        // The owner's only from the start; the engine gives its write-ahead
        // files the rights of the file.
        if (QFile f(tmp);
            !f.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner))
            return fail(QStringLiteral("无法写入文件：%1").arg(QDir::toNativeSeparators(tmp)));
        QString err;
        {
            auto db = Database::open(tmp, &err, Database::OpenMode::Create);
            if (!db) {
                QFile::remove(tmp);
                return fail(err);
            }
            if (!fill(*db, &err)) {
                db.reset();
                QFile::remove(tmp);
                return fail(err);
            }
            // Fold the WAL back so the file stands alone.
            db->exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        }
        for (const char* suffix : {"-wal", "-shm"})
            QFile::remove(tmp + QLatin1String(suffix));
        if (!QFile::rename(tmp, finalPath)) {
            QFile::remove(tmp);
            return fail(QStringLiteral("无法写入文件：%1").arg(QDir::toNativeSeparators(finalPath)));
        }
        return true;
    };

    if (!build(businessPath, [](Database& db, QString* e) { return createBusinessTables(db, e); }))
        return false;
    const bool ok = build(accountsPath, [&hash](Database& db, QString* e) {
        if (!createAccountsTable(db, e))
            return false;
        DbResult r = db.exec(QStringLiteral("INSERT INTO username VALUES (?, ?, ?)"),
                             {QStringLiteral("ZED"), hash, QStringLiteral("M")});
        if (!r)
            *e = r.error;
        return r.ok;
    });
    if (!ok)
        QFile::remove(businessPath);
    return ok;
}
} // namespace

bool createDatabaseFiles(const QString& businessPath, const QString& accountsPath, const QString& zedPassword,
                         QString* error)
{
    // Folders made here go again when creation fails: an empty `database`
    // folder left behind would keep the program from offering to create
    // the files at its next start.
    QStringList missing;
    for (const QString& p : {businessPath, accountsPath})
        for (QString dir = QFileInfo(p).absolutePath(); !QFileInfo::exists(dir) && !missing.contains(dir);
             dir = QFileInfo(dir).path())
            missing << dir;
    if (createFiles(businessPath, accountsPath, zedPassword, error))
        return true;
    std::sort(missing.begin(), missing.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& dir : std::as_const(missing))
        QDir().rmdir(dir); // only when empty
    return false;
}

DbValue<QStringList> presentTables(Database& db)
{
    QStringList present;
    const QString sql =
        db.onServer()
            ? QStringLiteral("SELECT table_name FROM information_schema.tables WHERE table_schema = "
                             "current_schema()")
            : QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'");
    const auto rows = db.selectAll(sql);
    if (rows.failed())
        return DbValue<QStringList>::failure(rows.error());
    QStringList ours;
    for (const TableDef& t : businessTables())
        ours << t.name;
    ours << accountsTable().name;
    for (const QVariantList& r : *rows)
        if (ours.contains(r.value(0).toString(), Qt::CaseInsensitive))
            present << r.value(0).toString();
    return DbValue<QStringList>::of(present);
}

bool createServerTables(Database& db, QString* error)
{
    if (!runAll(db, kServerSetup, error))
        return false;
    for (const TableDef& t : businessTables())
        if (!createTable(db, t, error))
            return false;
    if (!createTable(db, accountsTable(), error))
        return false;
    const auto work = indexWork(db);
    if (work.failed())
        return failWith(error, work.error());
    return runAll(db, *work, error) && upgradeAccountsTable(db, error);
}

bool createServerSchema(Database& db, const QString& zedPassword, QString* error)
{
    if (zedPassword.isEmpty())
        return failWith(error, QStringLiteral("密码不能为空"));
    const auto present = presentTables(db);
    if (present.failed())
        return failWith(error, present.error());
    if (!present->isEmpty())
        return failWith(error,
                        QStringLiteral("数据库中已有数据表：%1").arg(present->join(QStringLiteral("、"))));
    const QString hash = hashPassword(zedPassword);
    if (hash.isEmpty())
        return failWith(error, QStringLiteral("无法生成密码摘要"));
    // The server's DDL is transactional: all of it, or nothing.
    Database::Transaction tx(db);
    if (!tx.active())
        return failWith(error, tx.error());
    if (!createServerTables(db, error))
        return false;
    // A new shop's ledger begins before its first sale.
    if (DbResult r = cards::markBeginning(db); !r)
        return failWith(error, r.error);
    if (DbResult r = db.exec(QStringLiteral("INSERT INTO username VALUES (?, ?, ?)"),
                             {QStringLiteral("ZED"), hash, QStringLiteral("M")});
        !r)
        return failWith(error, r.error);
    DbResult r = tx.commit();
    return r.ok || failWith(error, r.error);
}

} // namespace shop::schema
