#include "stock_ledger_window.h"

#include "data/numeric.h"
#include "data/schema.h"
#include "data/stock_ledger.h"

namespace shop {

namespace {
namespace l = schema::liushui;
} // namespace

StockLedgerWindow::StockLedgerWindow(AppContext& ctx, QWidget* parent)
    : LedgerWindow(ctx,
                   {{QStringLiteral("frm_liushui"), QStringLiteral("库存流水"), l::kTable,
                     QStringLiteral("liushui_menu"), QStringLiteral("库存流水")},
                    "txt_code",
                    QStringLiteral("产品编号"),
                    l::kCode,
                    l::kTime,
                    l::kLineRow},
                   parent)
{
    search();
}

DbValue<QString> StockLedgerWindow::totalsText(const RecordSource& shown)
{
    return stock::movementsIn(ctx_.business(), shown).map([](const auto& t) {
        return QStringLiteral("入库合计：%1　出库合计：%2").arg(numberText(t.in), numberText(t.out));
    });
}

bool StockLedgerWindow::follows(const QString& table) const
{
    // Every write of a line's stock writes its ledger row.
    return stock::isGoodsTable(table);
}

} // namespace shop
