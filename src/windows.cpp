// Every window and tab of the program, by its name in the window table: one
// line each.
#include "ui/window_registry.h"
#include "admin/data_deletion_window.h"
#include "admin/import_window.h"
#include "admin/user_windows.h"
#include "bookings/booking_window.h"
#include "stock/purchase_history_window.h"
#include "stock/stock_ledger_window.h"
#include "stock/stock_query_window.h"
#include "stock/stocktaking_window.h"
#include "stock/purchase_tab.h"
#include "shell/about_window.h"
#include "shell/database_window.h"
#include "shell/restore_window.h"
#include "shell/rights.h"
#include "shell/settings_window.h"
#include "shell/window_table.h"
#include "sales/business_window.h"
#include "sales/sales_records_window.h"
#include "members/card_window.h"
#include "members/customer_window.h"
#include "reports/card_history_window.h"
#include "reports/day_closing_window.h"
#include "reports/margin_window.h"
#include "reports/overview_widget.h"
#include "staff/employee_tab.h"
#include "staff/ledger_tab.h"
#include "staff/salary_window.h"

namespace shop {

void registerWindows(WindowRegistry& registry)
{
    namespace w = window_name;
    registry.setAccess(&rights::mayOpen);
    registry.addTab(w::purchaseTab,
                    [](AppContext& c, QWidget* parent) { return new PurchaseTab(c, parent); });
    registry.addTab(w::employeeTab,
                    [](AppContext& c, QWidget* parent) { return new EmployeeTab(c, parent); });
    registry.addTab(w::ledgerTab, [](AppContext& c, QWidget* parent) { return new LedgerTab(c, parent); });
    registry.add(w::stock, [](AppContext& ctx) { return new StockQueryWindow(ctx); });
    registry.add(w::purchaseHistory, [](AppContext& ctx) { return new PurchaseHistoryWindow(ctx); });
    registry.add(w::settings, [](AppContext& ctx) { return new SettingsWindow(ctx); });
    registry.add(w::about, [](AppContext& ctx) { return new AboutWindow(ctx); });
    registry.add(w::restore, [](AppContext& ctx) { return new RestoreWindow(ctx); });
    registry.add(w::database, [](AppContext& ctx) { return new DatabaseWindow(ctx); });
    registry.add(w::business, [](AppContext& ctx) { return new BusinessWindow(ctx); });
    registry.add(w::salesHistory, [](AppContext& ctx) { return new SalesRecordsWindow(ctx); });
    registry.add(w::cards, [](AppContext& ctx) { return new CardWindow(ctx); });
    registry.add(w::customers, [](AppContext& ctx) { return new CustomerWindow(ctx); });
    registry.add(w::salaries, [](AppContext& ctx) { return new SalaryWindow(ctx); });
    registry.add(w::addUser, [](AppContext& ctx) { return new AddUserWindow(ctx); });
    registry.add(w::deleteUser, [](AppContext& ctx) { return new DeleteUserWindow(ctx); });
    registry.add(w::changePassword, [](AppContext& ctx) { return new ChangePasswordWindow(ctx); });
    registry.add(w::deleteData, [](AppContext& ctx) { return new DataDeletionWindow(ctx); });
    registry.add(w::importData, [](AppContext& ctx) { return new ImportWindow(ctx); });
    registry.add(w::cardHistory, [](AppContext& ctx) { return new CardHistoryWindow(ctx); });
    registry.add(w::dayClosing, [](AppContext& ctx) { return new DayClosingWindow(ctx); });
    registry.add(w::bookings, [](AppContext& ctx) { return new BookingWindow(ctx); });
    registry.add(w::stockLedger, [](AppContext& ctx) { return new StockLedgerWindow(ctx); });
    registry.add(w::stocktaking, [](AppContext& ctx) { return new StocktakingWindow(ctx); });
    registry.add(w::margins, [](AppContext& ctx) { return new MarginWindow(ctx); });
    registry.setIdlePage([](AppContext& c, QWidget* parent) {
        auto* overview = new OverviewWidget(c, parent);
        // A day's bar opens the sales records browser on that day.
        QObject::connect(overview, &OverviewWidget::dayChosen, overview, [&c](const QString& date) {
            if (auto* sales = qobject_cast<SalesRecordsWindow*>(c.windows().open(c, w::salesHistory)))
                sales->showDay(date);
        });
        return overview;
    });
}

} // namespace shop
