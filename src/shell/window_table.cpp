#include "window_table.h"

#include <cstring>

namespace shop::window_table {

namespace {
constexpr Right Keep = Right::Keep;
constexpr Right Off = Right::Off;
constexpr Right On = Right::On;
// Items the rights never touch, items for kind M, items for supervisors.
constexpr MenuRights kAny{Keep, Keep, Keep};
constexpr MenuRights kKindM{Off, On, On};
constexpr MenuRights kSupervisor{Off, Off, On};

namespace w = window_name;

// clang-format off
constexpr MenuGroup kGroups[] = {
    // menu         caption          parent     separator  tree key  tree text   rights
    {"DATAMAN",    "管理中心(&C)", nullptr,   nullptr,   "scan",   "管理中心", kAny},
    {"huiyuan",    "顾客管理",     "DATAMAN", "line004", "scale4", "顾客管理", kSupervisor},
    {"query_data", "数据查询(&Q)", nullptr,   nullptr,   "query",  "数据查询", kAny},
    {"system",     "系统维护(&M)", nullptr,   nullptr,   "sys",    "系统维护", kAny},
    {"HLP",        "帮助(&H)",     nullptr,   nullptr,   nullptr,  nullptr,    kAny},
};

constexpr WindowEntry kEntries[] = {
    // name               opens              menu          separator  item             caption          tree group    tree key        tree text   guard              rights
    {w::purchaseTab,     Opens::Tab,        "DATAMAN",    nullptr,   "jinhuo",        "进货管理",     "DATAMAN",    "contract",     "进货管理", Guard::Supervisor, kSupervisor},
    {w::business,        Opens::Window,     "DATAMAN",    nullptr,   "salse",         "业务管理",     "DATAMAN",    "scale1",       "业务管理", Guard::KindM,      kKindM},
    {w::ledgerTab,       Opens::Tab,        "DATAMAN",    nullptr,   "in_out",        "收支管理",     "DATAMAN",    "scale2",       "收支管理", Guard::Supervisor, kSupervisor},
    // Beyond the original items: the day's appointments, with the business items after them, for
    // every login that may enter business.
    {w::bookings,        Opens::Window,     "DATAMAN",    nullptr,   "yuyue",         "预约管理",     "DATAMAN",    "scale8",       "预约管理", Guard::KindM,      kKindM},
    {w::employeeTab,     Opens::Tab,        "DATAMAN",    "line002", "worker",        "员工管理",     "DATAMAN",    "scale3",       "员工管理", Guard::Supervisor, kSupervisor},
    {w::customers,       Opens::Window,     "huiyuan",    nullptr,   "guke",          "顾客信息",     "huiyuan",    "scale5",       "顾客信息", Guard::Supervisor, kAny},
    {w::cards,           Opens::Window,     "huiyuan",    nullptr,   "member_car",    "开卡服务",     "huiyuan",    "scale6",       "开卡服务", Guard::Supervisor, kAny},
    {nullptr,            Opens::SwitchUser, nullptr,      nullptr,   "swich_user",    "切换用户(&S)", nullptr,      "switch",       "切换用户", Guard::None,       kAny},
    {w::purchaseHistory, Opens::Window,     "query_data", nullptr,   "in_history",    "进货记录",     "query_data", "con_data",     "进货记录", Guard::Supervisor, kSupervisor},
    {w::salesHistory,    Opens::Window,     "query_data", nullptr,   "salse_history", "销售记录",     "query_data", "order_data",   "销售记录", Guard::KindM,      kAny},
    {w::stock,           Opens::Window,     "query_data", nullptr,   "balance",       "库存查询",     "query_data", "order_out",    "库存查询", Guard::Supervisor, kSupervisor},
    {w::salaries,        Opens::Window,     "query_data", "line007", "salary",        "员工工资",     "query_data", "order_salary", "员工工资", Guard::Supervisor, kSupervisor},
    {w::deleteData,      Opens::Window,     "system",     nullptr,   "deldata",       "删除数据(&D)", "system",     "Del",          "数据删除", Guard::Supervisor, kSupervisor},
    {nullptr,            Opens::Backup,     "system",     nullptr,   "bakdata",       "备份数据(&B)", "system",     "backup",       "数据备份", Guard::KindM,      kKindM},
    {w::addUser,         Opens::Window,     "system",     "li1",     "adduser",       "增加用户(&A)", "system",     "Adduser",      "增加用户", Guard::Supervisor, kSupervisor},
    {w::deleteUser,      Opens::Window,     "system",     nullptr,   "Deleuser",      "删除用户(&U)", "system",     "deleteduser",  "删除用户", Guard::Supervisor, kSupervisor},
    // Everyone may change a password; only a supervisor's login enables the item again.
    {w::changePassword,  Opens::Window,     "system",     "li0",     "chpass",        "更改密码(&C)", "system",     "change",       "更改密码", Guard::None,       {Keep, Keep, On}},
    // An ordinary login leaves the settings item as the previous login left it.
    {w::settings,        Opens::Window,     "system",     "li01",    "sysetup",       "系统设置(&S)", "system",     "setup",        "系统设置", Guard::KindM,      {Off, Keep, On}},
    {nullptr,            Opens::Leave,      "DATAMAN",    "line006", "exit_sys",      "退出系统",     nullptr,      "Exit",         "退出系统", Guard::None,       kAny},
    {w::about,           Opens::Window,     "HLP",        nullptr,   "ABOUT",         "关于系统",     nullptr,      nullptr,        nullptr,    Guard::None,       kAny},
    // Beyond the original menus and tree, after every original item of its menu and node of its
    // group: every change of a card, the day's money, a backup put back and where the data is
    // (files or a server), for supervisors only.
    {w::cardHistory,     Opens::Window,     "huiyuan",    nullptr,   "card_history",  "卡务记录",     "huiyuan",    "scale7",       "卡务记录", Guard::Supervisor, kAny},
    {w::dayClosing,      Opens::Window,     "query_data", "line008", "day_closing",   "日结",         "query_data", "order_day",    "日结",     Guard::Supervisor, kSupervisor},
    // Every change of a goods line's stock, after the day's money.
    {w::stockLedger,     Opens::Window,     "query_data", nullptr,   "stock_ledger",  "库存流水",     "query_data", "order_flow",   "库存流水", Guard::Supervisor, kSupervisor},
    {w::stocktaking,     Opens::Window,     "query_data", nullptr,   "stocktaking",   "盘点",         "query_data", "order_count",  "盘点",     Guard::Supervisor, kSupervisor},
    {w::margins,         Opens::Window,     "query_data", nullptr,   "margins",       "毛利",         "query_data", "order_margin", "毛利",     Guard::Supervisor, kSupervisor},
    {w::restore,         Opens::Window,     "system",     "li02",    "restoredata",   "数据恢复(&R)", nullptr,      nullptr,        nullptr,    Guard::Supervisor, kSupervisor},
    {w::database,        Opens::Window,     "system",     nullptr,   "dbsetup",       "数据库设置(&P)", nullptr,    nullptr,        nullptr,    Guard::Supervisor, kSupervisor},
    // A shop's goods, cards, customers and employees brought from a spreadsheet's file.
    {w::importData,      Opens::Window,     "system",     "li03",    "importdata",    "导入(&I)",     "system",     "import",       "导入",     Guard::Supervisor, kSupervisor},
};
// clang-format on
} // namespace

std::span<const WindowEntry> entries()
{
    return kEntries;
}

std::span<const MenuGroup> groups()
{
    return kGroups;
}

const MenuGroup* group(const char* menu)
{
    for (const MenuGroup& g : kGroups)
        if (menu && std::strcmp(g.menu, menu) == 0)
            return &g;
    return nullptr;
}

const WindowEntry* byTreeText(const QString& text)
{
    for (const WindowEntry& e : kEntries)
        if (e.treeText && text == QString::fromUtf8(e.treeText))
            return &e;
    return nullptr;
}

const WindowEntry* byItem(const QString& item)
{
    for (const WindowEntry& e : kEntries)
        if (item == QLatin1String(e.item))
            return &e;
    return nullptr;
}

const WindowEntry* byName(const QString& name)
{
    for (const WindowEntry& e : kEntries)
        if (e.name && name == QLatin1String(e.name))
            return &e;
    return nullptr;
}

} // namespace shop::window_table
