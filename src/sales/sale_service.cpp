#include "sale_service.h"

#include "data/table_rows.h"

#include "data/numeric.h"
#include "data/schema.h"

#include <QSqlQuery>

#include <cmath>

namespace shop {

namespace {

const QString kGoodsColumns = QStringLiteral("rowid, 商品名称, 产品编号, 零售价格, 库存数量, 进货日期");
const QString kCardColumns = QStringLiteral("rowid, 卡号, 顾客姓名, 金额, 次数, 卡类型");

GoodsLine goodsFrom(const QVariantList& v)
{
    return GoodsLine{v.value(0).toLongLong(), v.value(1).toString(), v.value(2).toString(),
                     v.value(3).toString(),   v.value(4).toString(), v.value(5).toString()};
}

CardRow cardFrom(const QVariantList& v)
{
    return CardRow{v.value(0).toLongLong(), v.value(1).toString(), v.value(2).toString(),
                   v.value(3).toString(),   v.value(4).toString(), v.value(5).toString()};
}

bool isUseCard(const QString& type)
{
    return type == QStringLiteral("月卡") || type == QStringLiteral("季卡") ||
           type == QStringLiteral("年卡") || type == QStringLiteral("其它");
}

bool isValueCard(const QString& type)
{
    return type == QStringLiteral("钻石卡");
}

// The goods check on one line: refusal, or the stock left after the sale.
SaleRefusal goodsRefusal(const SaleEntry& e, const GoodsLine& g, QString* newStock)
{
    const double stock = numericValue(g.stock);
    if (stock <= 0)
        return SaleRefusal::StockEmpty;
    const double quantity = numericValue(e.quantity);
    if (quantity > stock)
        return SaleRefusal::QuantityOverStock;
    // Two numbers within range may differ by more than any number; the
    // stock is not written as 0 then.
    const double left = stock - quantity;
    if (!std::isfinite(left))
        return SaleRefusal::QuantityOutOfRange;
    *newStock = numberText(left);
    return SaleRefusal::None;
}

// The card check on one card: refusal, or the column charged and its new text.
SaleRefusal cardRefusal(const SaleEntry& e, const CardRow& c, QString* column, QString* newValue)
{
    if (isUseCard(c.type)) {
        const double uses = numericValue(c.uses);
        if (uses <= 0)
            return SaleRefusal::NoUsesLeft;
        *column = schema::numbercard::kUses;
        *newValue = numberText(uses - 1);
    } else if (isValueCard(c.type)) {
        const double left = numericValue(c.balance) - numericValue(e.money);
        if (left <= 0)
            return SaleRefusal::BalanceTooLow;
        // A balance beyond any number is not written as 0.
        if (!std::isfinite(left))
            return SaleRefusal::MoneyOutOfRange;
        *column = schema::numbercard::kBalance;
        *newValue = numberText(left);
    }
    return SaleRefusal::None;
}

SaleOutcome refused(SaleRefusal r)
{
    SaleOutcome o;
    o.kind = SaleOutcome::Refused;
    o.refusal = r;
    return o;
}

SaleOutcome failed(const QString& step, const QString& error)
{
    SaleOutcome o;
    o.kind = SaleOutcome::Failed;
    o.step = step;
    o.error = error;
    return o;
}

QString buildInsertSql(const QString& table)
{
    QStringList cols;
    QStringList marks;
    for (const QString& c : schema::columnsOf(table)) {
        cols << quoteIdent(c);
        marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(quoteIdent(table), cols.join(", "), marks.join(", "));
}

// Every sale writes the same two texts: built once, they were a fifth of a
// sale's own work when built each time.
const QString& insertSalse()
{
    static const QString sql = buildInsertSql(schema::salse::kTable);
    return sql;
}

const QString& insertHistory()
{
    static const QString sql = buildInsertSql(schema::salse::kHistory);
    return sql;
}

} // namespace

QString SaleService::businessType(const SaleEntry& e)
{
    const QString goods = QStringLiteral("商品销售");
    const QString service = QStringLiteral("其它服务");
    if (e.goods && e.service)
        return goods + u'+' + service;
    if (e.goods)
        return goods;
    if (e.service)
        return service;
    return {};
}

QString SaleService::cardText(const SaleEntry& e)
{
    return e.card.isEmpty() ? nonMember() : e.card;
}

QStringList SaleService::values(const SaleEntry& e, const QString& date)
{
    return {date,
            businessType(e),
            cardText(e),
            e.productCode,
            e.productName,
            e.quantity,
            e.retailPrice,
            e.purchaseDate,
            e.money,
            e.serviceItem,
            e.employee,
            e.remark,
            QString::number(e.commission)};
}

namespace {

Database::Statement goodsByCode(const QString& code)
{
    static const QString sql =
        QStringLiteral("SELECT %1 FROM jinhuo WHERE 产品编号 = ? ORDER BY rowid LIMIT 1").arg(kGoodsColumns);
    return {sql, {textValue(code)}};
}

Database::Statement cardByNumber(const QString& number)
{
    static const QString sql =
        QStringLiteral("SELECT %1 FROM numbercard WHERE 卡号 = ? ORDER BY rowid LIMIT 1").arg(kCardColumns);
    return {sql, {textValue(number)}};
}

// The code and number are compared again: a line or card changed since the
// check is no longer the one that was found.
Database::Statement goodsByRowid(qint64 rowid, const QString& code)
{
    static const QString sql =
        QStringLiteral("SELECT %1 FROM jinhuo WHERE rowid = ? AND 产品编号 = ?").arg(kGoodsColumns);
    return {sql, {rowid, textValue(code)}};
}

Database::Statement cardByRowid(qint64 rowid, const QString& number)
{
    static const QString sql =
        QStringLiteral("SELECT %1 FROM numbercard WHERE rowid = ? AND 卡号 = ?").arg(kCardColumns);
    return {sql, {rowid, textValue(number)}};
}

} // namespace

DbValue<GoodsLine> SaleService::findGoods(const QString& code)
{
    const Database::Statement q = goodsByCode(code);
    return db_.selectOne(q.sql, q.binds).map(goodsFrom);
}

DbValue<CardRow> SaleService::findCard(const QString& number)
{
    const Database::Statement q = cardByNumber(number);
    return db_.selectOne(q.sql, q.binds).map(cardFrom);
}

SaleOutcome SaleService::decide(const SaleEntry& e, const std::optional<GoodsLine>& goods,
                                const std::optional<CardRow>& card, Decision* decision)
{
    SaleOutcome out;
    if (e.goods) {
        if (!goods)
            return refused(SaleRefusal::ProductNotFound);
        if (auto r = goodsRefusal(e, *goods, &decision->newStock); r != SaleRefusal::None)
            return refused(r);
        out.goodsRowid = goods->rowid;
    }
    if (cardText(e) != nonMember()) {
        if (!card)
            return refused(SaleRefusal::CardNotFound);
        if (auto r = cardRefusal(e, *card, &decision->cardColumn, &decision->cardValue);
            r != SaleRefusal::None)
            return refused(r);
        out.cardRowid = card->rowid;
    }
    return out;
}

SaleOutcome SaleService::readAndDecide(const SaleEntry& e, const QList<Database::Statement>& reads,
                                       Database::RowLock lock, Decision* decision)
{
    // The goods line and the card in one go (one round trip on a server).
    qsizetype failedAt = 0;
    const auto rows = db_.selectOneEach(reads, lock, &failedAt);
    if (rows.failed())
        return failed(e.goods && failedAt == 0 ? QStringLiteral("读取商品资料")
                                               : QStringLiteral("读取会员卡资料"),
                      rows.error());
    std::optional<GoodsLine> goods;
    std::optional<CardRow> card;
    qsizetype at = 0;
    if (e.goods && rows->at(at++))
        goods = goodsFrom(*rows->at(0));
    if (cardText(e) != nonMember() && rows->at(at))
        card = cardFrom(*rows->at(at));
    return decide(e, goods, card, decision);
}

DbValue<DailyTotal> SaleService::dailyTotal(const QString& date)
{
    return rows::sumRounded(
        db_, RecordSource::all(schema::salse::kTable).filter(schema::salse::kDate, Op::Eq, date),
        schema::salse::kReceived);
}

SaleOutcome SaleService::checkGoods(const SaleEntry& e)
{
    // The goods part of the decision alone: the card is not looked at.
    SaleEntry goods = e;
    goods.goods = true;
    goods.card.clear();
    Decision decision;
    return readAndDecide(goods, {goodsByCode(e.productCode)}, Database::RowLock::None, &decision);
}

SaleOutcome SaleService::check(const SaleEntry& e)
{
    if (!e.goods && !e.service)
        return refused(SaleRefusal::NoBusinessType);
    if (e.commissionRefused)
        return refused(SaleRefusal::CommissionOutOfRange);
    QList<Database::Statement> reads;
    if (e.goods)
        reads << goodsByCode(e.productCode);
    if (cardText(e) != nonMember())
        reads << cardByNumber(cardText(e));
    Decision decision;
    return readAndDecide(e, reads, Database::RowLock::None, &decision);
}

SaleOutcome SaleService::save(const SaleEntry& e, const SaleOutcome& checked, const QString& date)
{
    if (checked.kind != SaleOutcome::Ready)
        return checked;
    return Database::retryConflicts([&] { return saveOnce(e, checked, date); },
                                    [this](const SaleOutcome& o) {
                                        return o.kind == SaleOutcome::Failed && db_.lastFailureWasConflict();
                                    });
}

SaleOutcome SaleService::saveOnce(const SaleEntry& e, const SaleOutcome& checked, const QString& date)
{
    Database::Transaction tx(db_);
    if (!tx.active())
        return failed(QStringLiteral("开始保存"), tx.error());

    // Everything written below is computed from rows read inside this
    // transaction, so nothing read before the confirmation is written back.
    // The rows stay held until the sale ends, so no other till sells the
    // same stock or charges the same card in between.
    QList<Database::Statement> reads;
    if (e.goods)
        reads << goodsByRowid(checked.goodsRowid, e.productCode);
    if (cardText(e) != nonMember())
        reads << cardByRowid(checked.cardRowid, cardText(e));
    Decision d;
    if (SaleOutcome out = readAndDecide(e, reads, Database::RowLock::ForUpdate, &d); !out.ok())
        return out;

    // The writes and the commit go together (on a server in one round
    // trip); the first that fails names what could not be saved.
    QList<Database::Statement> writes;
    QStringList what;
    if (e.goods) {
        writes.append({QStringLiteral("UPDATE jinhuo SET 库存数量 = ? WHERE rowid = ?"),
                       {d.newStock, checked.goodsRowid}});
        what << QStringLiteral("更新库存数量");
    }
    if (!d.cardColumn.isEmpty()) {
        writes.append(
            {QStringLiteral("UPDATE numbercard SET %1 = ? WHERE rowid = ?").arg(quoteIdent(d.cardColumn)),
             {d.cardValue, checked.cardRowid}});
        what << QStringLiteral("扣除会员卡");
    }
    QVariantList binds;
    for (const QString& v : values(e, date))
        binds << textValue(v);
    writes.append({insertSalse(), binds});
    what << QStringLiteral("写入业务记录");
    writes.append({insertHistory(), binds});
    what << QStringLiteral("写入业务历史记录");
    what << QStringLiteral("提交保存");
    qsizetype failedAt = 0;
    if (DbResult r = tx.commitAfter(writes, &failedAt); !r)
        return failed(what.value(failedAt), r.error);

    SaleOutcome out = checked;
    out.kind = SaleOutcome::Saved;
    if (e.goods)
        out.written << schema::jinhuo::kTable;
    if (checked.cardRowid != 0)
        out.written << schema::numbercard::kTable;
    out.written << schema::salse::kTable << schema::salse::kHistory;
    return out;
}

} // namespace shop
