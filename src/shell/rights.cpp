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
        ctx.messages().critical(QStringLiteral("你未授权使用本功能，请与系统管理员联系！"),
                                QStringLiteral("错误"));
}

void refuseSupervisorOnly(AppContext& ctx)
{
    ctx.messages().critical(QStringLiteral("此功能只授权系统管理员操作！"), QStringLiteral("错误"));
}

bool passes(AppContext& ctx, Guard guard)
{
    if (guard == Guard::None)
        return true;
    check_kind(ctx);
    if (!kindM(ctx))
        return false;
    if (guard == Guard::KindM || supervisor(ctx))
        return true;
    refuseSupervisorOnly(ctx);
    return false;
}

bool mayOpen(const AppContext& ctx, const QString& name)
{
    const WindowEntry* e = window_table::byName(name);
    if (!e)
        return false;
    return e->guard == Guard::None || (kindM(ctx) && (e->guard == Guard::KindM || supervisor(ctx)));
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
    auto apply = [&](const char* item, const MenuRights& r) {
        const Right state = !kindM(ctx) ? r.restricted : supervisor(ctx) ? r.supervisor : r.ordinary;
        if (state != Right::Keep)
            set(item, state == Right::On);
    };
    for (const MenuGroup& g : window_table::groups())
        apply(g.menu, g.rights);
    for (const WindowEntry& e : window_table::entries())
        apply(e.item, e.rights);
}

} // namespace shop::rights
