#include "sale_service.h"

#include "data/table_rows.h"

#include "data/numeric.h"
#include "data/schema.h"

#include <QSqlQuery>

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
    *newStock = numberText(stock - quantity);
    return SaleRefusal::None;
}

// The card check on one card: refusal, or the column charged and its new text.
SaleRefusal cardRefusal(const SaleEntry& e, const CardRow& c, QString* column, QString* newValue)
{
    if (isUseCard(c.type)) {
        const double uses = numericValue(c.uses);
        if (uses <= 0)
            return SaleRefusal::NoUsesLeft;
        *column = QStringLiteral("次数");
        *newValue = numberText(uses - 1);
    } else if (isValueCard(c.type)) {
        const double left = numericValue(c.balance) - numericValue(e.money);
        if (left <= 0)
            return SaleRefusal::BalanceTooLow;
        *column = QStringLiteral("金额");
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

QString insertSql(const QString& table)
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

DbValue<GoodsLine> SaleService::findGoods(const QString& code)
{
    auto row = db_.selectOne(
        QStringLiteral("SELECT %1 FROM jinhuo WHERE 产品编号 = ? ORDER BY rowid LIMIT 1").arg(kGoodsColumns),
        {textValue(code)});
    if (!row.found())
        return {row.status, std::nullopt};
    return DbValue<GoodsLine>::of(goodsFrom(*row));
}

DbValue<CardRow> SaleService::findCard(const QString& number)
{
    auto row = db_.selectOne(
        QStringLiteral("SELECT %1 FROM numbercard WHERE 卡号 = ? ORDER BY rowid LIMIT 1").arg(kCardColumns),
        {textValue(number)});
    if (!row.found())
        return {row.status, std::nullopt};
    return DbValue<CardRow>::of(cardFrom(*row));
}

DbValue<GoodsLine> SaleService::goodsByRowid(qint64 rowid, const QString& code)
{
    // The code is compared again: a line that was changed to another
    // product since the check is no longer the one that was found. The line
    // is held until the sale ends, so no other till sells its stock twice.
    auto row = db_.selectOneForUpdate(
        QStringLiteral("SELECT %1 FROM jinhuo WHERE rowid = ? AND 产品编号 = ?").arg(kGoodsColumns),
        {rowid, textValue(code)});
    if (!row.found())
        return {row.status, std::nullopt};
    return DbValue<GoodsLine>::of(goodsFrom(*row));
}

DbValue<CardRow> SaleService::cardByRowid(qint64 rowid, const QString& number)
{
    auto row = db_.selectOneForUpdate(
        QStringLiteral("SELECT %1 FROM numbercard WHERE rowid = ? AND 卡号 = ?").arg(kCardColumns),
        {rowid, textValue(number)});
    if (!row.found())
        return {row.status, std::nullopt};
    return DbValue<CardRow>::of(cardFrom(*row));
}

DbValue<DailyTotal> SaleService::dailyTotal(const QString& date)
{
    return rows::sumRounded(
        db_, RecordSource::all(QStringLiteral("salse")).filter(QStringLiteral("业务日期"), Op::Eq, date),
        QStringLiteral("实收金额"));
}

SaleOutcome SaleService::checkGoods(const SaleEntry& e)
{
    const auto g = findGoods(e.productCode);
    if (g.failed())
        return failed(QStringLiteral("读取商品资料"), g.error());
    if (!g.found())
        return refused(SaleRefusal::ProductNotFound);
    QString newStock;
    if (auto r = goodsRefusal(e, *g, &newStock); r != SaleRefusal::None)
        return refused(r);
    SaleOutcome out;
    out.goodsRowid = g->rowid;
    return out;
}

SaleOutcome SaleService::check(const SaleEntry& e)
{
    if (!e.goods && !e.service)
        return refused(SaleRefusal::NoBusinessType);

    SaleOutcome out;
    if (e.goods) {
        out = checkGoods(e);
        if (!out.ok())
            return out;
    }

    const QString card = cardText(e);
    if (card != nonMember()) {
        const auto c = findCard(card);
        if (c.failed())
            return failed(QStringLiteral("读取会员卡资料"), c.error());
        if (!c.found())
            return refused(SaleRefusal::CardNotFound);
        QString column, value;
        if (auto r = cardRefusal(e, *c, &column, &value); r != SaleRefusal::None)
            return refused(r);
        out.cardRowid = c->rowid;
    }
    return out;
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
    QString newStock;
    if (e.goods) {
        const auto g = goodsByRowid(checked.goodsRowid, e.productCode);
        if (g.failed())
            return failed(QStringLiteral("读取商品资料"), g.error());
        if (!g.found())
            return refused(SaleRefusal::ProductNotFound);
        if (auto r = goodsRefusal(e, *g, &newStock); r != SaleRefusal::None)
            return refused(r);
    }

    QString cardColumn, cardValue;
    const QString card = cardText(e);
    if (card != nonMember()) {
        const auto c = cardByRowid(checked.cardRowid, card);
        if (c.failed())
            return failed(QStringLiteral("读取会员卡资料"), c.error());
        if (!c.found())
            return refused(SaleRefusal::CardNotFound);
        if (auto r = cardRefusal(e, *c, &cardColumn, &cardValue); r != SaleRefusal::None)
            return refused(r);
    }

    // The writes go together (on a server in one round trip); the first
    // that fails names what could not be saved.
    QList<Database::Statement> writes;
    QStringList what;
    if (e.goods) {
        writes.append({QStringLiteral("UPDATE jinhuo SET 库存数量 = ? WHERE rowid = ?"),
                       {newStock, checked.goodsRowid}});
        what << QStringLiteral("更新库存数量");
    }
    if (!cardColumn.isEmpty()) {
        writes.append(
            {QStringLiteral("UPDATE numbercard SET %1 = ? WHERE rowid = ?").arg(quoteIdent(cardColumn)),
             {cardValue, checked.cardRowid}});
        what << QStringLiteral("扣除会员卡");
    }
    QVariantList binds;
    for (const QString& v : values(e, date))
        binds << textValue(v);
    writes.append({insertSql(QStringLiteral("salse")), binds});
    what << QStringLiteral("写入业务记录");
    writes.append({insertSql(QStringLiteral("salse_history")), binds});
    what << QStringLiteral("写入业务历史记录");
    qsizetype failedAt = 0;
    if (DbResult r = db_.execEach(writes, &failedAt); !r)
        return failed(what.value(failedAt), r.error);

    if (DbResult r = tx.commit(); !r)
        return failed(QStringLiteral("提交保存"), r.error);

    SaleOutcome out = checked;
    out.kind = SaleOutcome::Saved;
    return out;
}

} // namespace shop
