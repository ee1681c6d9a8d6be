#include "stock_query_window.h"

#include "goods_columns.h"

#include <QAction>

namespace shop {

StockQueryWindow::StockQueryWindow(AppContext& ctx, QWidget* parent)
    : BrowserWindow(ctx,
                    {QStringLiteral("frm_kucun"), QStringLiteral("库存查询"), schema::jinhuo::kTable,
                     QStringLiteral("S_QUERY"), QStringLiteral("查询")},
                    parent)
{
    grid()->setSortColumns(goodsSortColumns());
    // Lines whose stored stock text is exactly 0.
    QAction* zero = addItem("s_quantily", QStringLiteral("库存量为零商品"));
    connect(zero, &QAction::triggered, this, [this] {
        showOrFallBack(RecordSource::all(grid()->table()).filter(schema::jinhuo::kStock, Op::Eq, "0"));
    });
    addSearch("s_name", QStringLiteral("按商品名称查询"), QStringLiteral("请输入要查询的商品名称："),
              QStringLiteral("商品名称查询"), schema::jinhuo::kName);
    addSearch("s_date", QStringLiteral("按进货日期查询"), QStringLiteral("请输入要查询的进货日期："),
              QStringLiteral("进货日期查询"), schema::jinhuo::kDate);
    addSearch("s_code", QStringLiteral("按产品编号查询"), QStringLiteral("请输入要查询的产品编号："),
              QStringLiteral("产品编号查询"), schema::jinhuo::kCode);
    addShowAll("s_fresh", QStringLiteral(" 刷新所有记录"));
    grid()->refresh();
}

} // namespace shop
