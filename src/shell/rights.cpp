#include "rights.h"

#include "ui/app_context.h"

namespace shop::rights {

bool kindM(const AppContext& ctx)
{
    return ctx.curKind().toUpper() == QLatin1String("M");
}

bool supervisor(const AppContext& ctx)
{
    return ctx.isSupervisor();
}

void check_kind(AppContext& ctx)
{
    if (!kindM(ctx))
        ctx.messages().message(QStringLiteral("你未授权使用本功能，请与系统管理员联系！"),
                               QMessageBox::Critical, QMessageBox::Ok, QStringLiteral("错误"));
}

void refuseSupervisorOnly(AppContext& ctx)
{
    ctx.messages().message(QStringLiteral("此功能只授权系统管理员操作！"), QMessageBox::Critical,
                           QMessageBox::Ok, QStringLiteral("错误"));
}

bool guardKindM(AppContext& ctx)
{
    check_kind(ctx);
    return kindM(ctx);
}

bool guardSupervisor(AppContext& ctx)
{
    check_kind(ctx);
    if (!kindM(ctx))
        return false;
    if (supervisor(ctx))
        return true;
    refuseSupervisorOnly(ctx);
    return false;
}

QString userLabelText(const AppContext& ctx)
{
    if (supervisor(ctx))
        return QStringLiteral("当前用户: 系统管理员");
    if (kindM(ctx))
        return QStringLiteral("当前用户: ") + ctx.curUser();
    return QStringLiteral("受限制用户: ") + ctx.curUser();
}

void apply_menu_rights(const AppContext& ctx, const std::function<void(const char*, bool)>& set)
{
    auto all = [&set](std::initializer_list<const char*> items, bool on) {
        for (const char* i : items)
            set(i, on);
    };
    if (!kindM(ctx)) {
        all({"deldata", "bakdata", "adduser", "Deleuser", "sysetup", "in_history", "balance", "salary",
             "jinhuo", "salse", "in_out", "worker", "huiyuan"},
            false);
        return;
    }
    set("salse", true);
    if (!supervisor(ctx))
        all({"deldata", "adduser", "Deleuser", "jinhuo", "salse", "in_out", "worker", "huiyuan", "in_history",
             "balance", "salary"},
            false);
    else
        all({"jinhuo", "salse", "deldata", "bakdata", "adduser", "Deleuser", "chpass", "sysetup", "in_out",
             "worker", "huiyuan", "in_history", "balance", "salary"},
            true);
    all({"salse", "bakdata"}, true);
}

} // namespace shop::rights
