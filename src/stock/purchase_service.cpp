#include "purchase_service.h"

#include "data/numeric.h"
#include "data/stock_ledger.h"
#include "data/table_rows.h"

#include <cmath>

namespace shop {

namespace {

namespace goods = schema::jinhuo;

enum Column { Name = 0, Code = 1, Price = 4 };

QList<Condition> nameAndCode(const QStringList& values)
{
    return {{goods::kName, Op::Eq, values.value(Name)}, {goods::kCode, Op::Eq, values.value(Code)}};
}

} // namespace

double PurchaseService::wholeFigure(const QString& stockText)
{
    const double v = numericValue(stockText);
    const auto whole = roundWhole(v);
    return whole ? static_cast<double>(*whole) : v;
}

DbValue<GoodsMatch> PurchaseService::matchForAdd(const RecordSource& source, const QStringList& values)
{
    QList<Condition> where = nameAndCode(values);
    where << Condition{goods::kPurchasePrice, Op::Eq, values.value(Price)};
    const auto rowid = rows::firstRowidIn(db_, source, where);
    if (!rowid)
        return {rowid.status, std::nullopt};
    return rows::storedRow(db_, kTable, *rowid).map([&rowid](const QStringList& stored) {
        return GoodsMatch{*rowid, stored};
    });
}

DbResult PurchaseService::addGoods(const QStringList& values)
{
    Database::Transaction tx(db_);
    if (!tx.active())
        return DbResult::failure(tx.error());
    DbResult r = rows::insert(db_, kHistory, values);
    if (r)
        r = rows::insert(db_, kTable, values);
    if (r)
        r = tx.commit();
    return r;
}

StockOutcome PurchaseService::addStock(qint64 rowid, const QString& quantity)
{
    if (readNumber(quantity).overflow)
        return {StockOutcome::Overflow, {}, {}};
    return Database::retryConflicts([&] { return addStockOnce(rowid, quantity); },
                                    [this](const StockOutcome& o) {
                                        return o.kind == StockOutcome::Failed && db_.lastFailureWasConflict();
                                    });
}

StockOutcome PurchaseService::addStockOnce(qint64 rowid, const QString& quantity)
{
    Database::Transaction tx(db_);
    if (!tx.active())
        return {StockOutcome::Failed, {}, tx.error()};
    // Held until the commit: a sale on another till waits, and its stock
    // change is not lost.
    const auto line = stock::readForChange(db_, rowid);
    if (line.failed())
        return {StockOutcome::Failed, {}, line.error()};
    if (!line)
        return {StockOutcome::LineDeleted, {}, {}};
    const double sum = numericValue(quantity) + wholeFigure(stock::valueOf(*line, goods::kStock));
    // Two numbers within range may add up beyond it; the stock is not
    // written as 0 then.
    if (!std::isfinite(sum))
        return {StockOutcome::Overflow, {}, {}};
    const QString added = signedNumberText(sum);
    const DbResult r = tx.commitAfter(Database::statementsOf(
        stock::setStock(db_, rowid, *line, added.trimmed(), stock::Change::Restock, {})));
    if (!r)
        return {StockOutcome::Failed, {}, r.error};
    return {StockOutcome::Added, added, {}};
}

DbValue<qint64> PurchaseService::modify(std::optional<qint64> loaded, const RecordSource& source,
                                        const QStringList& values)
{
    DbValue<qint64> target = DbValue<qint64>::none();
    if (loaded)
        target = rows::rowidIfMatches(db_, kTable, *loaded, nameAndCode(values));
    if (!target.failed() && !target)
        target = rows::firstRowidIn(db_, source, nameAndCode(values));
    if (!target)
        return target;
    const DbResult r = rows::updateRowid(db_, kTable, *target, values);
    if (!r)
        return {r, std::nullopt};
    return target;
}

} // namespace shop
