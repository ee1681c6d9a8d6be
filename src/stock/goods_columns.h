#pragma once

#include <QHash>
#include <QString>

namespace shop {

// Header sorts shared by the windows over the goods tables (`jinhuo` and
// `jinhuo_history` have the same columns); indexes 2, 3 and 9 only re-run.
inline QHash<int, QString> goodsSortColumns()
{
    return {{0, QStringLiteral("商品名称")}, {1, QStringLiteral("产品编号")}, {4, QStringLiteral("进货价格")},
            {5, QStringLiteral("零售价格")}, {6, QStringLiteral("库存数量")}, {7, QStringLiteral("供应商")},
            {8, QStringLiteral("进货日期")}};
}

} // namespace shop
