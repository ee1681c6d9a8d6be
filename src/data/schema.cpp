#include "schema.h"

#include "database.h"
#include "password.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace shop::schema {

namespace {
const QStringList kGoods = {"商品名称", "产品编号", "规格容量", "每箱件数", "进货价格",
                            "零售价格", "库存数量", "供应商",   "进货日期", "说明"};
const QStringList kSales = {"业务日期", "业务类型",   "卡号",     "产品编号", "商品名称",
                            "出货数量", "零售价格",   "进货日期", "实收金额", "服务项目",
                            "员工姓名", "备注或说明", "提成金额"};

struct IndexDef {
    const char* table;
    const char* column;
};
// Columns the windows filter or sort on often.
const IndexDef kIndexes[] = {
    {"salse", "业务日期"},  {"salse", "卡号"},        {"salse", "员工姓名"},  {"salse", "产品编号"},
    {"jinhuo", "产品编号"}, {"jinhuo", "商品名称"},   {"numbercard", "卡号"}, {"guke", "编号"},
    {"guke", "姓名"},       {"worker", "身份证号码"}, {"salary", "姓名"},     {"shouzhi", "日期"},
};
// Pairs of columns filtered together: one employee's business in a period
// (the salary statements).
struct PairIndexDef {
    const char* table;
    const char* first;
    const char* second;
};
const PairIndexDef kPairIndexes[] = {{"salse", "员工姓名", "业务日期"}};

bool createIndex(Database& db, const QString& table, const QStringList& columns, QString* error)
{
    QStringList quoted;
    for (const QString& c : columns)
        quoted << quoteIdent(c);
    const QString name = QStringLiteral("ix_%1_%2").arg(table, columns.join(u'_'));
    const DbResult r =
        db.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                    .arg(quoteIdent(name), quoteIdent(table), quoted.join(QStringLiteral(", "))));
    if (!r && error)
        *error = r.error;
    return r.ok;
}

bool createTable(Database& db, const TableDef& t, QString* error)
{
    QStringList cols;
    for (const QString& c : t.columns)
        cols << quoteIdent(c) + QStringLiteral(" TEXT COLLATE NOCASE NOT NULL DEFAULT ''");
    DbResult r = db.exec(
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)").arg(quoteIdent(t.name), cols.join(", ")));
    if (!r && error)
        *error = r.error;
    return r.ok;
}
} // namespace

const QList<TableDef>& businessTables()
{
    static const QList<TableDef> tables = {
        {"jinhuo", kGoods},
        {"jinhuo_history", kGoods},
        {"salse", kSales},
        {"salse_history", kSales},
        {"numbercard",
         {"开卡日期", "卡号", "经手人", "顾客姓名", "服务项目", "金额", "次数", "卡类型", "备注"}},
        {"guke", {"编号", "姓名", "性别", "出生年月", "联系电话", "创建日期", "通信地址", "个人分析"}},
        {"worker",
         {"姓名", "性别", "出生年月", "学历", "户籍", "婚姻状况", "职位", "薪金", "联系电话", "入职日期",
          "身份证号码", "家庭住址"}},
        {"salary",
         {"姓名", "底薪", "提成总额", "全勤奖", "工龄奖", "奖金", "迟到", "早退", "罚款", "应发工资",
          "实发工资"}},
        {"shouzhi", {"日期", "事项", "支出费用", "收入", "说明"}},
    };
    return tables;
}

const TableDef& accountsTable()
{
    static const TableDef t{"username", {"username", "password", "usertype"}};
    return t;
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

bool createBusinessTables(Database& db, QString* error)
{
    Database::Transaction tx(db);
    if (!tx.active()) {
        if (error)
            *error = tx.error();
        return false;
    }
    for (const TableDef& t : businessTables())
        if (!createTable(db, t, error))
            return false;
    if (!createBusinessIndexes(db, error))
        return false;
    DbResult r = tx.commit();
    if (!r && error)
        *error = r.error;
    return r.ok;
}

bool createBusinessIndexes(Database& db, QString* error)
{
    for (const IndexDef& ix : kIndexes)
        if (!createIndex(db, QLatin1String(ix.table), {QString::fromUtf8(ix.column)}, error))
            return false;
    for (const PairIndexDef& ix : kPairIndexes)
        if (!createIndex(db, QLatin1String(ix.table),
                         {QString::fromUtf8(ix.first), QString::fromUtf8(ix.second)}, error))
            return false;
    return true;
}

bool createAccountsTable(Database& db, QString* error)
{
    if (!createTable(db, accountsTable(), error))
        return false;
    DbResult r = db.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS ix_username ON username (username)"));
    if (!r && error)
        *error = r.error;
    return r.ok;
}

bool createDatabaseFiles(const QString& businessPath, const QString& accountsPath, const QString& zedPassword,
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
        if (!QDir().mkpath(QFileInfo(p).absolutePath()))
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
        QString err;
        {
            auto db = Database::open(tmp, &err, Database::OpenMode::Create);
            if (!db)
                return fail(err);
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

} // namespace shop::schema
