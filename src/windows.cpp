// Every window and tab of the program, by name: one line each.
#include "ui/window_registry.h"
#include "stock/purchase_history_window.h"
#include "stock/stock_query_window.h"
#include "stock/purchase_tab.h"
#include "shell/about_window.h"
#include "shell/settings_window.h"
#include "sales/business_window.h"
#include "members/card_window.h"
#include "members/customer_window.h"

namespace shop {

void registerWindows(WindowRegistry& registry)
{
    Q_UNUSED(registry);
    registry.addTab("frame_jin", [](AppContext& c, QWidget* parent) { return new PurchaseTab(c, parent); });
    registry.add("frm_kucun", [](AppContext& ctx) { return new StockQueryWindow(ctx); });
    registry.add("frm_history", [](AppContext& ctx) { return new PurchaseHistoryWindow(ctx); });
    registry.add("frmsetup", [](AppContext& ctx) { return new SettingsWindow(ctx); });
    registry.add("frmabout", [](AppContext& ctx) { return new AboutWindow(ctx); });
    registry.add("frmyewu", [](AppContext& ctx) { return new BusinessWindow(ctx); });
    registry.add("frm_card", [](AppContext& ctx) { return new CardWindow(ctx); });
    registry.add("frmguke", [](AppContext& ctx) { return new CustomerWindow(ctx); });
}

} // namespace shop
