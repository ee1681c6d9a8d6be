#include "money_margin.h"

#include "numeric.h"
#include "schema.h"
#include "stock_ledger.h"

#include <QHash>

namespace shop::money {

namespace {

namespace s = schema::salse;
namespace l = schema::liushui;

void add(Margin& m, bool goods, bool costed, double received, double cost)
{
    if (!goods) {
        rows::addRounded(m.services, received);
    } else if (!costed) {
        rows::addRounded(m.withoutCost, received);
    } else {
        rows::addRounded(m.received, received);
        rows::addRounded(m.cost, cost);
    }
}

// The sales of the period, each with its cost: into the total, its month
// and, when `goods` is given, its goods line. Without `services` only the
// goods sales are read (the services' figures stay 0): the ledger is
// probed for the cost of none of the others.
DbResult scan(Database& db, const QString& from, const QString& to, Margins& out, bool goods, bool services)
{
    // Each sale with the cost of its 销售 row, when it has one. The sale's
    // key is compared as the ledger stores it: on a server a plain text
    // would compare as text, past the index of the ledger's citext column,
    // and read every ledger row for a month's margin.
    const QString key = db.onServer() ? QStringLiteral("CAST(CAST(s.rowid AS TEXT) AS citext)")
                                      : QStringLiteral("CAST(s.rowid AS TEXT)");
    const QString sql =
        QStringLiteral(
            "SELECT s.rowid, s.%1, s.%2, s.%3, s.%4, s.%5, s.%6, c.%7 FROM %8 AS s LEFT JOIN %9 AS c "
            "ON c.%10 = %12 AND c.%11 = ? WHERE s.%1 >= ? AND s.%1 <= ?%13 "
            "ORDER BY s.rowid")
            .arg(quoteIdent(s::kDate), quoteIdent(s::kType), quoteIdent(s::kProductCode),
                 quoteIdent(s::kProductName), quoteIdent(s::kQuantity), quoteIdent(s::kReceived),
                 quoteIdent(l::kCost), quoteIdent(s::kTable), quoteIdent(l::kTable))
            .arg(quoteIdent(l::kSale), quoteIdent(l::kKind), key,
                 services ? QString() : QStringLiteral(" AND s.%1 LIKE ?").arg(quoteIdent(s::kType)));
    static const QByteArray goodsSale = QStringLiteral("商品销售").toUtf8();
    QHash<QString, qsizetype> at;
    QVariantList binds{stock::changeText(stock::Change::Sale), textValue(from), textValue(to)};
    if (!services)
        binds << QVariant(QStringLiteral("商品销售%"));
    // Sales come in the order written, mostly month after month: the month
    // of the row before is kept at hand.
    QByteArray lastMonth;
    Margin* month = nullptr;
    return db.selectKeyedTexts(sql, binds, [&](qint64, const Database::TextRow& row) {
        const bool goodsSold = row.utf8(1).startsWith(goodsSale);
        const double received = rows::amountOf(row.utf8(5));
        const double cost = rows::amountOf(row.utf8(6));
        const bool costed = goodsSold && !row.utf8(6).isEmpty() && cost > 0;
        add(out.total, goodsSold, costed, received, cost);
        if (!month || row.utf8(0).first(qMin<qsizetype>(7, row.utf8(0).size())) != lastMonth) {
            lastMonth = row.utf8(0).first(qMin<qsizetype>(7, row.utf8(0).size())).toByteArray();
            month = &out.months[QString::fromUtf8(lastMonth)];
        }
        add(*month, goodsSold, costed, received, cost);
        if (goodsSold && goods) {
            const QString code = row.text(2);
            auto it = at.constFind(code);
            if (it == at.constEnd()) {
                it = at.insert(code, out.goods.size());
                out.goods.append({code, row.text(3), 0, {}});
            }
            GoodsMargin& g = out.goods[*it];
            g.quantity += numericValue(row.text(4));
            add(g.figures, true, costed, received, cost);
        }
        return true;
    });
}

} // namespace

DbValue<Margins> marginsBetween(Database& db, const QString& from, const QString& to)
{
    Margins out;
    if (const DbResult r = scan(db, from, to, out, true, true); !r)
        return {r, std::nullopt};
    return DbValue<Margins>::of(out);
}

DbValue<QMap<QString, Margin>> marginsPerMonth(Database& db, const QString& from, const QString& to)
{
    Margins out;
    if (const DbResult r = scan(db, from, to, out, false, false); !r)
        return {r, std::nullopt};
    return DbValue<QMap<QString, Margin>>::of(out.months);
}

} // namespace shop::money
