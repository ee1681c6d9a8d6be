#include "purchase_history_window.h"

#include "goods_columns.h"

namespace shop {

PurchaseHistoryWindow::PurchaseHistoryWindow(AppContext& ctx, QWidget* parent)
    : BrowserWindow(ctx,
                    {QStringLiteral("frm_history"), QStringLiteral("进货记录查询"), schema::jinhuo::kHistory,
                     QStringLiteral("S_QUERY"), QStringLiteral("数据查询")},
                    parent)
{
    grid()->setSortColumns(goodsSortColumns());
    namespace goods = schema::jinhuo;
    struct Def {
        const char* name;
        QString text;
        QString what; // the prompt is "请输入要查询的" + what + "：", the title what + "查询"
        QString column;
    };
    const Def defs[] = {
        {"s_name", "按商品名称查询", "商品名称", goods::kName},
        {"s_code", "按产品编号查询", "产品编号", goods::kCode},
        {"s_price", "按进货价格查询", "进货价格", goods::kPurchasePrice},
        {"s_salse", "按零售价格查询", "零售价格", goods::kRetailPrice},
        {"s_quantily", "按进货数量查询", "进货数量", goods::kStock},
        {"s_suplier", "按供应商名查询", "供应商", goods::kSupplier},
        {"s_date", "按进货日期查询", "进货日期", goods::kDate},
    };
    for (const Def& d : defs)
        addSearch(d.name, d.text, QStringLiteral("请输入要查询的") + d.what + QStringLiteral("："),
                  d.what + QStringLiteral("查询"), d.column);
    addShowAll("d_refresh", QStringLiteral("刷新所有记录"));
    // The history's stock column holds the quantity bought.
    connect(grid(), &RecordView::statesUpdated, this, [this] {
        RecordModel* m = grid()->records();
        if (m->headerData(6, Qt::Horizontal).toString() != QStringLiteral("进货数量"))
            m->setCaption(6, QStringLiteral("进货数量"));
    });
    grid()->refresh();
}

} // namespace shop
