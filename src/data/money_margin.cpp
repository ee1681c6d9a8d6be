#include "money_margin.h"

#include "numeric.h"
#include "schema.h"
#include "stock_ledger.h"

#include <QHash>
#include <QVarLengthArray>

#include <algorithm>
#include <optional>

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

QVariant saleKind()
{
    return stock::changeText(stock::Change::Sale);
}

// The month (yyyy-MM) of a stored date.
QByteArrayView monthOf(QByteArrayView date)
{
    return date.first(qMin<qsizetype>(7, date.size()));
}

// The sales of the period, each with its cost: into the total, its month
// and its goods line.
DbResult scan(Database& db, const QString& from, const QString& to, Margins& out)
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
            "ON c.%10 = %12 AND c.%11 = ? WHERE s.%1 >= ? AND s.%1 <= ? ORDER BY s.rowid")
            .arg(quoteIdent(s::kDate), quoteIdent(s::kType), quoteIdent(s::kProductCode),
                 quoteIdent(s::kProductName), quoteIdent(s::kQuantity), quoteIdent(s::kReceived),
                 quoteIdent(l::kCost), quoteIdent(s::kTable), quoteIdent(l::kTable))
            .arg(quoteIdent(l::kSale), quoteIdent(l::kKind), key);
    static const QByteArray goodsSale = QStringLiteral("商品销售").toUtf8();
    QHash<QString, qsizetype> at;
    const QVariantList binds{saleKind(), textValue(from), textValue(to)};
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
        if (!month || monthOf(row.utf8(0)) != lastMonth) {
            lastMonth = monthOf(row.utf8(0)).toByteArray();
            month = &out.months[QString::fromUtf8(lastMonth)];
        }
        add(*month, goodsSold, costed, received, cost);
        if (goodsSold) {
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

// A cost as a 销售 row recorded it: none when it was left empty.
struct Cost {
    double value = 0;
    bool stored = false;
    bool costed() const { return stored && value > 0; }
};
// The 销售 rows of sales by key; a sale has one (more only where rows were
// put in by hand: each counts, as the join above counts them).
using Costs = QHash<qint64, QVarLengthArray<Cost, 1>>;

// A key as the ledger's text names it, when that text is one that a sale's
// rowid gives (a text such as "07" names no sale).
std::optional<qint64> keyOf(QByteArrayView text)
{
    const bool negative = text.startsWith('-');
    const QByteArrayView digits = negative ? text.sliced(1) : text;
    if (digits.isEmpty() || digits.size() > 18 || (digits.size() > 1 && digits.front() == '0'))
        return std::nullopt;
    qint64 k = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        k = k * 10 + (c - '0');
    }
    return negative ? -k : k;
}

// Adds each 销售 row the query gives (rowid, 业务编号, 成本金额) to `costs`.
DbResult readCosts(Database& db, const QString& sql, const QVariantList& binds, Costs& costs)
{
    return db.selectKeyedTexts(sql, binds, [&](qint64, const Database::TextRow& row) {
        if (const auto k = keyOf(row.utf8(0)))
            costs[*k].append(Cost{rows::amountOf(row.utf8(1)), !row.utf8(1).isEmpty()});
        return true;
    });
}

// The 销售 rows of the sales `keys`, a few hundred keys a query.
DbResult probeCosts(Database& db, const QList<qint64>& keys, Costs& costs)
{
    constexpr qsizetype batch = 500;
    for (qsizetype i = 0; i < keys.size(); i += batch) {
        const qsizetype n = qMin(batch, keys.size() - i);
        QVariantList binds{saleKind()};
        for (qsizetype j = i; j < i + n; ++j)
            binds << QVariant(QString::number(keys.at(j)));
        const QString sql =
            QStringLiteral("SELECT rowid, %1, %2 FROM %3 WHERE %4 = ? AND %1 IN (%5) ORDER BY rowid")
                .arg(quoteIdent(l::kSale), quoteIdent(l::kCost), quoteIdent(l::kTable), quoteIdent(l::kKind),
                     QStringList(n, QStringLiteral("?")).join(u','));
        if (DbResult r = readCosts(db, sql, binds, costs); !r)
            return r;
    }
    return {};
}

} // namespace

DbValue<Margins> marginsBetween(Database& db, const QString& from, const QString& to)
{
    Margins out;
    if (const DbResult r = scan(db, from, to, out); !r)
        return {r, std::nullopt};
    return DbValue<Margins>::of(out);
}

DbValue<QMap<QString, Margin>> marginsPerMonth(Database& db, const QString& from, const QString& to)
{
    // The 销售 rows written in the period, read once through the ledger's
    // index of time (rows written in turn, so mostly in stored order), where
    // probing the ledger once for each sale cost the overview twelve times
    // as much. A sale is written with its 销售 row: a backdated one finds
    // its row here too, one dated ahead of when it was entered is probed
    // for on its own below.
    Costs costs;
    if (DbResult r =
            readCosts(db,
                      QStringLiteral("SELECT rowid, %1, %2 FROM %3 WHERE %4 >= ? AND %4 <= ? AND %5 = ?")
                          .arg(quoteIdent(l::kSale), quoteIdent(l::kCost), quoteIdent(l::kTable),
                               quoteIdent(l::kTime), quoteIdent(l::kKind)),
                      {textValue(from + QStringLiteral(" 00:00:00")),
                       textValue(to + QStringLiteral(" 23:59:59")), saleKind()},
                      costs);
        !r)
        return {r, std::nullopt};

    // The goods sales of the period (in the order of their dates); voided
    // ones are no longer stored.
    struct Sold {
        qint64 key;
        qsizetype month;
        double received;
    };
    QList<Sold> sold;
    QList<QByteArray> months;
    QList<qint64> unread;
    const DbResult r = db.selectKeyedTexts(
        QStringLiteral("SELECT rowid, %1, %2 FROM %3 WHERE %1 >= ? AND %1 <= ? AND %4 LIKE ?")
            .arg(quoteIdent(s::kDate), quoteIdent(s::kReceived), quoteIdent(s::kTable), quoteIdent(s::kType)),
        {textValue(from), textValue(to), QVariant(QStringLiteral("商品销售%"))},
        [&](qint64 key, const Database::TextRow& row) {
            if (months.isEmpty() || monthOf(row.utf8(0)) != QByteArrayView(months.last()))
                months.append(monthOf(row.utf8(0)).toByteArray());
            sold.append(Sold{key, months.size() - 1, rows::amountOf(row.utf8(1))});
            if (!costs.contains(key))
                unread.append(key);
            return true;
        });
    if (!r)
        return {r, std::nullopt};
    if (DbResult p = probeCosts(db, unread, costs); !p)
        return {p, std::nullopt};
    // Summed in the order written: sorted here, where the engine would sort
    // them by writing each to a sorter of its own.
    std::ranges::sort(sold, {}, &Sold::key);

    QMap<QString, Margin> out;
    Margin* month = nullptr;
    qsizetype monthAt = -1;
    for (const Sold& sale : sold) {
        if (sale.month != monthAt) {
            monthAt = sale.month;
            month = &out[QString::fromUtf8(months.at(monthAt))];
        }
        const auto found = costs.constFind(sale.key);
        if (found == costs.cend()) {
            add(*month, true, false, sale.received, 0);
            continue;
        }
        for (const Cost& c : *found)
            add(*month, true, c.costed(), sale.received, c.value);
    }
    return DbValue<QMap<QString, Margin>>::of(out);
}

} // namespace shop::money
