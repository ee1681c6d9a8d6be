// A sale written by hand, for the benchmarks that weigh one ledger row
// against the sale: the service's check, the goods line and the card as the
// sale has them, the sale's rows, then the stock taken and the card charged,
// each with its ledger row (as the sale builds it) or with a bare UPDATE.
#pragma once

#include "data/card_ledger.h"
#include "data/numeric.h"
#include "data/sale_rows.h"
#include "data/schema.h"
#include "data/stock_ledger.h"
#include "sales/sale_service.h"

namespace shop::bench {

struct LedgerRows {
    bool stock = true;
    bool card = true;
};

// One sale of `e` (goods, from a stored-value card) written by hand on
// `date`; fails the benchmark when it cannot be saved.
inline void saleByHand(Database& db, SaleService& service, const SaleEntry& e, const QString& date,
                       LedgerRows rows)
{
    namespace g = schema::jinhuo;
    namespace n = schema::numbercard;
    static const QString goodsRead =
        QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid = ? AND %3 = ?")
            .arg(quoteIdents({g::kName, g::kCode, g::kStock, g::kDate, g::kPurchasePrice}),
                 quoteIdent(g::kTable), quoteIdent(g::kCode));
    static const QString cardRead =
        QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid = ? AND %3 = ?")
            .arg(quoteIdents({n::kBalance, n::kUses}), quoteIdent(n::kTable), quoteIdent(n::kNumber));
    static const QString stockWrite = QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
                                          .arg(quoteIdent(g::kTable), quoteIdent(g::kStock));
    static const QString cardWrite = QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
                                         .arg(quoteIdent(n::kTable), quoteIdent(n::kBalance));

    const SaleOutcome checked = service.check(e);
    Database::Transaction tx(db);
    // The rows as the sale has them: the check's, while nothing was stored
    // since; else read again under lock.
    GoodsLine goods = checked.read.goodsLine;
    CardRow card = checked.read.cardRow;
    if (checked.read.stamp == 0 || checked.read.stamp != db.storedStamp()) {
        const auto read = db.selectOneEach(
            {{goodsRead, {checked.goodsRowid, e.productCode}}, {cardRead, {checked.cardRowid, e.card}}},
            Database::RowLock::ForUpdate);
        if (!read)
            qFatal("the goods line or the card could not be read");
        const QVariantList& line = *read->at(0);
        goods.name = line.value(1).toString();
        goods.code = line.value(2).toString();
        goods.stock = line.value(3).toString();
        goods.purchaseDate = line.value(4).toString();
        goods.purchasePrice = line.value(5).toString();
        card.balance = read->at(1)->value(1).toString();
        card.uses = read->at(1)->value(2).toString();
    }
    QList<Database::Statement> writes = sales::appendStatements(db, SaleService::values(e, date));

    const QString stockAfter = QString::number(numericValue(goods.stock) - numericValue(e.quantity));
    if (rows.stock) {
        stock::Note taken;
        taken.saleSql = sales::keySql(db);
        writes += Database::statementsOf(stock::setStock(db, checked.goodsRowid, goods.ledgerValues(),
                                                         stockAfter, stock::Change::Sale, taken));
    } else {
        writes.append({stockWrite, {stockAfter, checked.goodsRowid}});
    }

    const cards::Figures before{card.balance, card.uses};
    const cards::Figures after{QString::number(numericValue(before.balance) - numericValue(e.money)),
                               before.uses};
    if (rows.card) {
        cards::Note note;
        note.handler = e.employee;
        note.sale.sql = sales::keySql(db);
        writes += Database::statementsOf(
            cards::setFigures(db, checked.cardRowid, e.card, cards::Change::Charge, before, after, note));
    } else {
        writes.append({cardWrite, {after.balance, checked.cardRowid}});
    }
    if (!tx.commitAfter(writes))
        qFatal("the sale by hand could not be saved");
}

} // namespace shop::bench
