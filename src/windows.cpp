// Every window and tab of the program, by name: one line each.
#include "app/window_registry.h"
#include "sales/business_window.h"

namespace shop {

void registerWindows(WindowRegistry& registry)
{
    Q_UNUSED(registry);
    registry.add("frmyewu", [](AppContext& ctx) { return new BusinessWindow(ctx); });
}

} // namespace shop
