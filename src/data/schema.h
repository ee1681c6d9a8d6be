#pragma once

#include <QString>
#include <QStringList>

#include "database.h"

namespace shop {

struct TableDef {
    QString name;
    QStringList columns;
    // A table a later version added: a database from before lacks it until
    // the upgrade makes it, and is no less the program's for that.
    bool addedLater = false;
};

namespace schema {

// The tables and their columns by name, each written once here; the lists
// of columns in stored order are built from them.
// Goods lines (jinhuo_history keeps every line added, with the same columns).
namespace jinhuo {
inline const QString kTable = QStringLiteral("jinhuo");
inline const QString kHistory = QStringLiteral("jinhuo_history");
inline const QString kName = QStringLiteral("商品名称");
inline const QString kCode = QStringLiteral("产品编号");
inline const QString kSize = QStringLiteral("规格容量");
inline const QString kPerBox = QStringLiteral("每箱件数");
inline const QString kPurchasePrice = QStringLiteral("进货价格");
inline const QString kRetailPrice = QStringLiteral("零售价格");
inline const QString kStock = QStringLiteral("库存数量");
inline const QString kSupplier = QStringLiteral("供应商");
inline const QString kDate = QStringLiteral("进货日期");
inline const QString kRemark = QStringLiteral("说明");
} // namespace jinhuo
// Business transactions (salse_history keeps them all, with the same columns).
namespace salse {
inline const QString kTable = QStringLiteral("salse");
inline const QString kHistory = QStringLiteral("salse_history");
inline const QString kDate = QStringLiteral("业务日期");
inline const QString kType = QStringLiteral("业务类型");
inline const QString kCard = QStringLiteral("卡号");
inline const QString kProductCode = QStringLiteral("产品编号");
inline const QString kProductName = QStringLiteral("商品名称");
inline const QString kQuantity = QStringLiteral("出货数量");
inline const QString kRetailPrice = QStringLiteral("零售价格");
inline const QString kPurchaseDate = QStringLiteral("进货日期");
inline const QString kReceived = QStringLiteral("实收金额");
inline const QString kServiceItem = QStringLiteral("服务项目");
inline const QString kEmployee = QStringLiteral("员工姓名");
inline const QString kRemark = QStringLiteral("备注或说明");
inline const QString kCommission = QStringLiteral("提成金额");
} // namespace salse
// Member cards.
namespace numbercard {
inline const QString kTable = QStringLiteral("numbercard");
inline const QString kOpened = QStringLiteral("开卡日期");
inline const QString kNumber = QStringLiteral("卡号");
inline const QString kHandler = QStringLiteral("经手人");
inline const QString kHolder = QStringLiteral("顾客姓名");
inline const QString kServiceItem = QStringLiteral("服务项目");
inline const QString kBalance = QStringLiteral("金额");
inline const QString kUses = QStringLiteral("次数");
inline const QString kType = QStringLiteral("卡类型");
inline const QString kRemark = QStringLiteral("备注");
} // namespace numbercard
// Customers.
namespace guke {
inline const QString kTable = QStringLiteral("guke");
inline const QString kNumber = QStringLiteral("编号");
inline const QString kName = QStringLiteral("姓名");
inline const QString kSex = QStringLiteral("性别");
inline const QString kBorn = QStringLiteral("出生年月");
inline const QString kPhone = QStringLiteral("联系电话");
inline const QString kCreated = QStringLiteral("创建日期");
inline const QString kAddress = QStringLiteral("通信地址");
inline const QString kAnalysis = QStringLiteral("个人分析");
} // namespace guke
// Employees.
namespace worker {
inline const QString kTable = QStringLiteral("worker");
inline const QString kName = QStringLiteral("姓名");
inline const QString kSex = QStringLiteral("性别");
inline const QString kBorn = QStringLiteral("出生年月");
inline const QString kEducation = QStringLiteral("学历");
inline const QString kHukou = QStringLiteral("户籍");
inline const QString kMarriage = QStringLiteral("婚姻状况");
inline const QString kPosition = QStringLiteral("职位");
inline const QString kPay = QStringLiteral("薪金");
inline const QString kPhone = QStringLiteral("联系电话");
inline const QString kHired = QStringLiteral("入职日期");
inline const QString kId = QStringLiteral("身份证号码");
inline const QString kAddress = QStringLiteral("家庭住址");
} // namespace worker
// Salary statements.
namespace salary {
inline const QString kTable = QStringLiteral("salary");
inline const QString kName = QStringLiteral("姓名");
inline const QString kBasePay = QStringLiteral("底薪");
inline const QString kCommission = QStringLiteral("提成总额");
inline const QString kFullAttendance = QStringLiteral("全勤奖");
inline const QString kSeniority = QStringLiteral("工龄奖");
inline const QString kBonus = QStringLiteral("奖金");
inline const QString kLateness = QStringLiteral("迟到");
inline const QString kEarlyLeave = QStringLiteral("早退");
inline const QString kFine = QStringLiteral("罚款");
inline const QString kGross = QStringLiteral("应发工资");
inline const QString kNet = QStringLiteral("实发工资");
} // namespace salary
// The cash ledger.
namespace shouzhi {
inline const QString kTable = QStringLiteral("shouzhi");
inline const QString kDate = QStringLiteral("日期");
inline const QString kMatter = QStringLiteral("事项");
inline const QString kExpense = QStringLiteral("支出费用");
inline const QString kIncome = QStringLiteral("收入");
inline const QString kRemark = QStringLiteral("说明");
} // namespace shouzhi
// Accounts (in the accounts database).
namespace username {
inline const QString kTable = QStringLiteral("username");
inline const QString kName = QStringLiteral("username");
inline const QString kPassword = QStringLiteral("password");
inline const QString kKind = QStringLiteral("usertype");
// The supervisors' names, in capitals: a login by one of them, in any
// letter case, has every right, so they are reserved to the supervisor.
inline const QStringList kSupervisors = {QStringLiteral("ZED"), QStringLiteral("ADMINISTRATOR")};
inline bool isSupervisorName(const QString& name)
{
    return kSupervisors.contains(name.toUpper());
}
} // namespace username
// The card ledger: one row for every change of a card's amount or uses,
// only ever appended (see cards::).
namespace kawu {
inline const QString kTable = QStringLiteral("kawu");
inline const QString kTime = QStringLiteral("时间");
inline const QString kCard = QStringLiteral("卡号");
inline const QString kKind = QStringLiteral("类别");
inline const QString kBalanceBefore = QStringLiteral("原金额");
inline const QString kBalanceAfter = QStringLiteral("新金额");
inline const QString kUsesBefore = QStringLiteral("原次数");
inline const QString kUsesAfter = QStringLiteral("新次数");
inline const QString kReceived = QStringLiteral("收款金额");
inline const QString kLogin = QStringLiteral("操作员");
inline const QString kHandler = QStringLiteral("经手人");
inline const QString kSale = QStringLiteral("业务编号");
inline const QString kRemark = QStringLiteral("备注");
// The rowid of the card's numbercard row: card numbers need not be unique.
inline const QString kCardRow = QStringLiteral("卡记录号");
} // namespace kawu
// Voided sales: the sale's key, who voided it and when, and what it was.
namespace chexiao {
inline const QString kTable = QStringLiteral("chexiao");
inline const QString kTime = QStringLiteral("撤销时间");
inline const QString kSale = QStringLiteral("业务编号");
inline const QString kDate = QStringLiteral("业务日期");
inline const QString kCard = QStringLiteral("卡号");
inline const QString kReceived = QStringLiteral("实收金额");
inline const QString kEmployee = QStringLiteral("员工姓名");
inline const QString kLogin = QStringLiteral("操作员");
} // namespace chexiao
// Appointments: a customer (a card, or a name and telephone), a service,
// an employee or none, a day and a time, and where the booking stands.
namespace yuyue {
inline const QString kTable = QStringLiteral("yuyue");
inline const QString kDate = QStringLiteral("预约日期");
inline const QString kStart = QStringLiteral("开始时间");
inline const QString kEnd = QStringLiteral("结束时间");
inline const QString kCard = QStringLiteral("卡号");
// The rowid of the card's numbercard row when booked: a card deleted or
// renumbered since is told from one that merely shares the number.
inline const QString kCardRow = QStringLiteral("卡记录号");
inline const QString kName = QStringLiteral("顾客姓名");
inline const QString kPhone = QStringLiteral("联系电话");
inline const QString kServiceItem = QStringLiteral("服务项目");
inline const QString kEmployee = QStringLiteral("员工姓名");
inline const QString kState = QStringLiteral("状态");
inline const QString kReason = QStringLiteral("取消原因");
inline const QString kSale = QStringLiteral("业务编号");
inline const QString kRemark = QStringLiteral("备注");
inline const QString kCreated = QStringLiteral("登记时间");
inline const QString kLogin = QStringLiteral("操作员");
} // namespace yuyue

// The stock ledger: one row for every change of a goods line's stock (and
// of its name, code, date or cost), only ever appended (see stock::).
namespace liushui {
inline const QString kTable = QStringLiteral("kucun_liushui");
inline const QString kTime = QStringLiteral("时间");
inline const QString kCode = QStringLiteral("产品编号");
inline const QString kName = QStringLiteral("商品名称");
inline const QString kDate = QStringLiteral("进货日期");
inline const QString kKind = QStringLiteral("类别");
inline const QString kBefore = QStringLiteral("原库存");
inline const QString kAfter = QStringLiteral("新库存");
inline const QString kQuantity = QStringLiteral("变动数量");
inline const QString kUnitCost = QStringLiteral("进货价格");
// A sale's cost (quantity times the unit cost at the sale), kept so that a
// later change of the price does not rewrite past margins.
inline const QString kCost = QStringLiteral("成本金额");
inline const QString kLogin = QStringLiteral("操作员");
inline const QString kSale = QStringLiteral("业务编号");
inline const QString kReason = QStringLiteral("原因");
// The rowid of the goods line in jinhuo: codes need not be unique.
inline const QString kLineRow = QStringLiteral("商品记录号");
} // namespace liushui
// A stocktaking under way: one row per goods line to count, kept until the
// count is applied or cancelled, so that it survives a restart.
namespace pandian {
inline const QString kTable = QStringLiteral("pandian");
inline const QString kLineRow = QStringLiteral("商品记录号");
inline const QString kCode = QStringLiteral("产品编号");
inline const QString kName = QStringLiteral("商品名称");
inline const QString kDate = QStringLiteral("进货日期");
inline const QString kSupplier = QStringLiteral("供应商");
inline const QString kUnitCost = QStringLiteral("进货价格");
inline const QString kSheetStock = QStringLiteral("账面数量");
inline const QString kCounted = QStringLiteral("实盘数量");
// The stock, and the line's last stock ledger row, when the quantity was
// typed: the adjustment is taken against these, not the stock at the apply.
inline const QString kStockAtCount = QStringLiteral("清点时库存");
inline const QString kLedgerAtCount = QStringLiteral("清点时流水号");
inline const QString kCountedAt = QStringLiteral("清点时间");
inline const QString kStarted = QStringLiteral("开始时间");
inline const QString kLogin = QStringLiteral("操作员");
} // namespace pandian

// The business tables in the business database, columns in stored order.
const QList<TableDef>& businessTables();
// The accounts table in the accounts database.
const TableDef& accountsTable();
// Columns of one table by name (empty when unknown).
QStringList columnsOf(const QString& table);
// The first of `tables` that the database lacks; empty when it has them all.
QString missingTable(Database& db, const QList<TableDef>& tables);

// The indexes the schema gives `table`: the statements that drop them and
// those that make them again, for a large write that builds them once at
// its end, inside its own transaction (both engines undo them on rollback).
struct IndexRebuild {
    QStringList drop;
    QStringList create;
};
IndexRebuild indexRebuildOf(const Database& db, const QString& table);

// Creates the tables and indexes of each database (idempotent).
bool createBusinessTables(Database& db, QString* error);
bool createAccountsTable(Database& db, QString* error);
// Brings a business file made by an earlier version up to date: adds the
// indexes it lacks, and rebuilds those that serve text sorts in pinyin
// order (one transaction).
bool upgradeBusinessTables(Database& db, QString* error);
// The same for an accounts file.
bool upgradeAccountsTable(Database& db, QString* error);

// Whether a header sort orders the column's text in pinyin order (the
// PINYIN collation). Columns of figures, dates and codes keep the order of
// their stored text; a column name means the same in every table.
bool sortsInPinyin(const QString& column);

// Creates both files with their tables; the accounts file gets the
// supervisor account "ZED" of kind "M" with the given password. Refuses to
// touch files that already exist.
bool createDatabaseFiles(const QString& businessPath, const QString& accountsPath, const QString& zedPassword,
                         QString* error);

// The program's tables that a database holds (by name).
DbValue<QStringList> presentTables(Database& db);

// Creates every table and index (business and accounts) on a server
// database, inside the caller's transaction; no account.
bool createServerTables(Database& db, QString* error);

// Creates every table (business and accounts) on an empty server database,
// with the supervisor account "ZED" of kind "M", in one transaction. Refuses
// a database that holds any of the program's tables already.
bool createServerSchema(Database& db, const QString& zedPassword, QString* error);

} // namespace schema
} // namespace shop
