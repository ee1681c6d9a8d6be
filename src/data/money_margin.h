#pragma once

#include "money.h"

#include <QList>
#include <QMap>
#include <QString>

// The gross margin (毛利) of the goods sold, defined once beside the other
// figures of money: a goods sale's money received less the cost the stock
// ledger recorded with the sale (its quantity times the unit cost of the
// line it was taken from, at that moment). Summed row by row in the order
// the sales were written, rounded half to even after each addition.
namespace shop::money {

struct Margin {
    // Goods sales with a cost: their money received and their cost.
    RoundedTotal received;
    RoundedTotal cost;
    RoundedTotal margin() const { return less(received, cost); }
    // Goods sales whose cost is 0 or was never recorded (stored before the
    // ledger, or taken from a line without a purchase price): their money
    // is not margin, and is shown apart.
    RoundedTotal withoutCost;
    // Sales of services alone: money received, no cost.
    RoundedTotal services;
};

// One goods line's (by product code) margin in a period.
struct GoodsMargin {
    QString code;
    QString name; // as the first sale of the period wrote it
    double quantity = 0;
    Margin figures;
};

struct Margins {
    Margin total;
    QList<GoodsMargin> goods;     // by product code, in first-sold order
    QMap<QString, Margin> months; // by yyyy-MM
};

// The margin of the sales stored from `from` to `to` (dates): voided sales
// are no longer stored and do not count.
DbValue<Margins> marginsBetween(Database& db, const QString& from, const QString& to);
// Its months alone (by yyyy-MM), of the goods sales alone: the services'
// money is not read (Margin::services stays 0), nor the goods lines. The
// same figures, read with the stock ledger's rows of the period in one pass
// rather than a look-up for each sale.
DbValue<QMap<QString, Margin>> marginsPerMonth(Database& db, const QString& from, const QString& to);

} // namespace shop::money
