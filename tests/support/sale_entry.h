#pragma once

// Header only: the support library does not link the sales layer.
#include "sales/sale_service.h"

namespace shop::test {

// A sale as a person fills in the business window: a service by 张三 and,
// with a product code, 2 of 可乐 at 12元 too. Each test names only what it
// is about: saleEntry({.card = "A1", .money = "30"}).
struct SaleLine {
    QString card = {}; // empty: a customer without a card
    QString money = {};
    QString productCode = {};                            // empty: the service alone
    QString purchaseDate = QStringLiteral("2026-11-01"); // as the entry showed it
    QString employee = QStringLiteral("张三");
    qint64 commission = 0;
};

inline SaleEntry saleEntry(const SaleLine& line)
{
    SaleEntry e;
    e.goods = !line.productCode.isEmpty();
    e.service = true;
    e.card = line.card;
    e.productCode = line.productCode;
    e.productName = QStringLiteral("可乐");
    e.quantity = QStringLiteral("2");
    e.retailPrice = QStringLiteral("12元");
    e.purchaseDate = line.purchaseDate;
    e.money = line.money;
    e.employee = line.employee;
    e.commission = line.commission;
    return e;
}

} // namespace shop::test
