#pragma once

#include "data/schema.h"

#include <QHash>
#include <QString>

namespace shop {

// Header sorts shared by the windows over the goods tables (`jinhuo` and
// `jinhuo_history` have the same columns); indexes 2, 3 and 9 only re-run.
inline QHash<int, QString> goodsSortColumns()
{
    namespace goods = schema::jinhuo;
    return {{0, goods::kName},  {1, goods::kCode},     {4, goods::kPurchasePrice}, {5, goods::kRetailPrice},
            {6, goods::kStock}, {7, goods::kSupplier}, {8, goods::kDate}};
}

} // namespace shop
