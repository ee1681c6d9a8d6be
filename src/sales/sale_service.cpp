#include "sale_service.h"

#include "data/bookings.h"
#include "data/card_ledger.h"
#include "data/money.h"
#include "data/numeric.h"
#include "data/sale_rows.h"
#include "data/schema.h"
#include "data/stock_ledger.h"
#include "data/table_rows.h"

#include <cmath>

namespace shop {

namespace {

namespace g = schema::jinhuo;
namespace n = schema::numbercard;

// The columns a sale reads of a goods line and of a card, after the rowid.
const QStringList kGoodsRead = {g::kName, g::kCode, g::kRetailPrice, g::kStock, g::kDate, g::kPurchasePrice};
const QStringList kCardRead = {n::kNumber, n::kHolder, n::kBalance, n::kUses, n::kType};

QString selectList(const QStringList& columns)
{
    return QStringLiteral("rowid, ") + quoteIdents(columns);
}

// A row read with `columns` after its rowid, by column name.
class ReadRow {
public:
    ReadRow(const QVariantList& v, const QStringList& columns) : v_(v), columns_(columns) {}
    qint64 rowid() const { return v_.value(0).toLongLong(); }
    QString operator[](const QString& column) const
    {
        return v_.value(1 + columns_.indexOf(column)).toString();
    }

private:
    const QVariantList& v_;
    const QStringList& columns_;
};

GoodsLine goodsFrom(const QVariantList& v)
{
    const ReadRow r(v, kGoodsRead);
    return GoodsLine{r.rowid(),    r[g::kName], r[g::kCode],         r[g::kRetailPrice],
                     r[g::kStock], r[g::kDate], r[g::kPurchasePrice]};
}

CardRow cardFrom(const QVariantList& v)
{
    const ReadRow r(v, kCardRead);
    return CardRow{r.rowid(), r[n::kNumber], r[n::kHolder], r[n::kBalance], r[n::kUses], r[n::kType]};
}

// What a save or a void writes, step by step: a failure names its step, and
// the tables written are those its statements change.
class Steps {
public:
    explicit Steps(QString commit) : commit_(std::move(commit)) {}
    void add(const QString& what, const Database::Write& w)
    {
        what_ << what;
        tables_ << w.table;
        statements_ << w.statement;
    }
    const QList<Database::Statement>& statements() const { return statements_; }
    // The step at `failedAt`; past the last, the commit.
    QString what(qsizetype failedAt) const { return failedAt < what_.size() ? what_.at(failedAt) : commit_; }
    QStringList tables() const
    {
        QStringList out;
        for (const QString& t : tables_)
            if (!t.isEmpty() && !out.contains(t))
                out << t;
        return out;
    }

private:
    QString commit_;
    QStringList what_;
    QStringList tables_;
    QList<Database::Statement> statements_;
};

// The stock's write is named `what`; its ledger row's 写入库存流水.
void addStockSteps(Steps& steps, const QList<Database::Write>& writes, const QString& what)
{
    for (const Database::Write& w : writes)
        steps.add(w.table == g::kTable ? what : QStringLiteral("写入库存流水"), w);
}

} // namespace

QStringList GoodsLine::ledgerValues() const
{
    QStringList v = stock::blankLine();
    stock::setValue(v, g::kName, name);
    stock::setValue(v, g::kCode, code);
    stock::setValue(v, g::kPurchasePrice, purchasePrice);
    stock::setValue(v, g::kStock, stock);
    stock::setValue(v, g::kDate, purchaseDate);
    return v;
}

namespace {

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
    if (cards::isUseCard(c.type)) {
        const double uses = numericValue(c.uses);
        if (uses <= 0)
            return SaleRefusal::NoUsesLeft;
        *column = schema::numbercard::kUses;
        *newValue = numberText(uses - 1);
    } else if (cards::isValueCard(c.type)) {
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

// A sale or a void that stopped: refused by a rule, or failed at a step
// with the engine's words.
template <typename Outcome> Outcome refused(decltype(Outcome::refusal) r)
{
    Outcome o;
    o.kind = Outcome::Refused;
    o.refusal = r;
    return o;
}

template <typename Outcome> Outcome failed(const QString& step, const QString& error)
{
    Outcome o;
    o.kind = Outcome::Failed;
    o.step = step;
    o.error = error;
    return o;
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
    sales::SaleRow row;
    row.date = date;
    row.type = businessType(e);
    row.card = cardText(e);
    row.productCode = e.productCode;
    row.productName = e.productName;
    row.quantity = e.quantity;
    row.retailPrice = e.retailPrice;
    row.purchaseDate = e.purchaseDate;
    row.received = e.money;
    row.serviceItem = e.serviceItem;
    row.employee = e.employee;
    row.remark = e.remark;
    row.commission = QString::number(e.commission);
    return row.values();
}

namespace {

Database::Statement goodsByCode(const QString& code)
{
    static const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ? ORDER BY rowid LIMIT 1")
                                   .arg(selectList(kGoodsRead), g::kTable, quoteIdent(g::kCode));
    return {sql, {textValue(code)}};
}

Database::Statement cardByNumber(const QString& number)
{
    static const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ? ORDER BY rowid LIMIT 1")
                                   .arg(selectList(kCardRead), n::kTable, quoteIdent(n::kNumber));
    return {sql, {textValue(number)}};
}

// The code and number are compared again: a line or card changed since the
// check is no longer the one that was found.
Database::Statement goodsByRowid(qint64 rowid, const QString& code)
{
    static const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ? AND %3 = ?")
                                   .arg(selectList(kGoodsRead), g::kTable, quoteIdent(g::kCode));
    return {sql, {rowid, textValue(code)}};
}

Database::Statement cardByRowid(qint64 rowid, const QString& number)
{
    static const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ? AND %3 = ?")
                                   .arg(selectList(kCardRead), n::kTable, quoteIdent(n::kNumber));
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
            return refused<SaleOutcome>(SaleRefusal::ProductNotFound);
        if (auto r = goodsRefusal(e, *goods, &decision->newStock); r != SaleRefusal::None)
            return refused<SaleOutcome>(r);
        out.goodsRowid = goods->rowid;
        decision->goods = *goods;
    }
    if (cardText(e) != nonMember()) {
        if (!card)
            return refused<SaleOutcome>(SaleRefusal::CardNotFound);
        if (auto r = cardRefusal(e, *card, &decision->cardColumn, &decision->cardValue);
            r != SaleRefusal::None)
            return refused<SaleOutcome>(r);
        out.cardRowid = card->rowid;
        decision->card = *card;
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
        return failed<SaleOutcome>(e.goods && failedAt == 0 ? QStringLiteral("读取商品资料")
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
    return money::receivedOn(db_, date);
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
        return refused<SaleOutcome>(SaleRefusal::NoBusinessType);
    if (e.commissionRefused)
        return refused<SaleOutcome>(SaleRefusal::CommissionOutOfRange);
    QList<Database::Statement> reads;
    if (e.goods)
        reads << goodsByCode(e.productCode);
    if (cardText(e) != nonMember())
        reads << cardByNumber(cardText(e));
    Decision decision;
    // The same stamp before and after the reads: both saw what was stored
    // then, and nothing was committed between them.
    const quint64 stamp = db_.storedStamp();
    SaleOutcome out = readAndDecide(e, reads, Database::RowLock::None, &decision);
    if (out.kind == SaleOutcome::Ready && stamp != 0 && db_.storedStamp() == stamp)
        out.read = {stamp, e.goods, e.productCode, cardText(e), decision.goods, decision.card};
    return out;
}

SaleOutcome SaleService::decideAtSave(const SaleEntry& e, const SaleOutcome& checked, Decision* decision)
{
    // The file's write lock is held: when nothing was committed since the
    // check, by this program or another, its rows are what is stored now.
    // The entry must be the one checked, and the rows those pinned.
    const CheckedRows& r = checked.read;
    const bool card = cardText(e) != nonMember();
    if (r.stamp != 0 && r.goods == e.goods && r.code == e.productCode && r.card == cardText(e) &&
        (!e.goods || r.goodsLine.rowid == checked.goodsRowid) &&
        (!card || r.cardRow.rowid == checked.cardRowid) && r.stamp == db_.storedStamp())
        return decide(e, e.goods ? std::optional(r.goodsLine) : std::nullopt,
                      card ? std::optional(r.cardRow) : std::nullopt, decision);
    QList<Database::Statement> reads;
    if (e.goods)
        reads << goodsByRowid(checked.goodsRowid, e.productCode);
    if (card)
        reads << cardByRowid(checked.cardRowid, cardText(e));
    return readAndDecide(e, reads, Database::RowLock::ForUpdate, decision);
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
        return failed<SaleOutcome>(QStringLiteral("开始保存"), tx.error());

    // Everything written below is computed from rows as stored inside this
    // transaction, so nothing changed since the check is written back.
    // The rows stay held until the sale ends, so no other till sells the
    // same stock or charges the same card in between.
    Decision d;
    if (SaleOutcome out = decideAtSave(e, checked, &d); !out.ok())
        return out;

    // The writes and the commit go together (on a server in one round
    // trip, the sale's key given back by the insert that takes it, so the
    // keys' lock is held for no round trip of its own); the first that
    // fails names what could not be saved.
    Steps steps(QStringLiteral("提交保存"));
    // The history row and the salse row under the sale's new key (on a
    // server between the keys' lock and its counters).
    for (const Database::Write& w : sales::appendWrites(db_, values(e, date)))
        steps.add(w.table == schema::salse::kHistory ? QStringLiteral("写入业务历史记录")
                  : w.table == schema::salse::kTable ? QStringLiteral("写入业务记录")
                                                     : QStringLiteral("生成业务编号"),
                  w);
    if (e.goods) {
        // The stock taken and its row in the stock ledger, naming the sale.
        stock::Note note;
        note.saleSql = sales::keySql(db_);
        addStockSteps(steps,
                      stock::setStock(db_, checked.goodsRowid, d.goods.ledgerValues(), d.newStock,
                                      stock::Change::Sale, note),
                      QStringLiteral("更新库存数量"));
    }
    if (!d.cardColumn.isEmpty()) {
        // The card's charge and its row in the card ledger, naming the sale.
        const cards::Figures before{d.card.balance, d.card.uses};
        cards::Figures after = before;
        (d.cardColumn == schema::numbercard::kUses ? after.uses : after.balance) = d.cardValue;
        cards::Note note;
        note.handler = e.employee;
        note.sale.sql = sales::keySql(db_);
        for (const Database::Write& w : cards::setFigures(db_, checked.cardRowid, d.card.number,
                                                          cards::Change::Charge, before, after, note))
            steps.add(w.table == schema::kawu::kTable ? QStringLiteral("写入卡务记录")
                                                      : QStringLiteral("扣除会员卡"),
                      w);
    }
    if (e.booking != 0)
        steps.add(QStringLiteral("更新预约"), bookings::completeWrite(e.booking, sales::keySql(db_)));
    qsizetype failedAt = 0;
    QVariant key;
    if (DbResult r = tx.commitAfter(steps.statements(), &failedAt, &key); !r)
        return failed<SaleOutcome>(steps.what(failedAt), r.error);

    SaleOutcome out = checked;
    out.kind = SaleOutcome::Saved;
    out.read = {};
    out.key = key.toString();
    out.written = steps.tables();
    return out;
}

} // namespace shop

namespace shop {

namespace {

QStringList texts(const QVariantList& row)
{
    QStringList out;
    for (const QVariant& v : row)
        out << v.toString();
    return out;
}

// A stored figure with `back` added, as the sale writes figures; no value
// beyond any number.
std::optional<QString> plus(const QString& stored, double back)
{
    const double sum = numericValue(stored) + back;
    if (!std::isfinite(sum))
        return std::nullopt;
    return numberText(sum);
}

} // namespace

VoidOutcome SaleService::voidSale(qint64 rowid, const QStringList& values)
{
    return Database::retryConflicts([&] { return voidOnce(rowid, values); },
                                    [this](const VoidOutcome& o) {
                                        return o.kind == VoidOutcome::Failed && db_.lastFailureWasConflict();
                                    });
}

VoidOutcome SaleService::cardBack(const QStringList& values, const QString& key,
                                  QList<Database::Write>* writes)
{
    const sales::SaleRow sale = sales::SaleRow::fromValues(values);
    const QString& number = sale.card;
    // The charge as the ledger kept it: the card row and what it took.
    std::optional<cards::Charge> charge;
    if (!key.isEmpty()) {
        const auto row = cards::chargeOf(db_, key);
        if (row.failed())
            return failed<VoidOutcome>(QStringLiteral("读取卡务记录"), row.error());
        charge = row.value;
    }
    if (!charge) {
        // Stored while the ledger was kept and not in it: never charged, so
        // nothing goes back, whatever the card is now (or if it is gone).
        const auto kept = cards::keptByLedger(db_, key);
        if (kept.failed())
            return failed<VoidOutcome>(QStringLiteral("读取卡务记录"), kept.error());
        if (*kept)
            return {};
    }
    qint64 cardRow = 0;
    if (charge) {
        cardRow = charge->cardRow;
    } else {
        // Saved before the ledger: the card the sale would charge.
        const Database::Statement byNumber = cardByNumber(number);
        const auto first = db_.selectOne(byNumber.sql, byNumber.binds);
        if (first.failed())
            return failed<VoidOutcome>(QStringLiteral("读取会员卡资料"), first.error());
        if (!first.found())
            return refused<VoidOutcome>(VoidRefusal::CardGone);
        cardRow = first->value(0).toLongLong();
    }
    const auto card = cards::readForChange(db_, cardRow);
    if (card.failed())
        return failed<VoidOutcome>(QStringLiteral("读取会员卡资料"), card.error());
    // A card deleted since (its row perhaps taken by another card) is gone.
    if (!card.found() || cards::valueOf(*card, n::kNumber).compare(number, Qt::CaseInsensitive) != 0)
        return refused<VoidOutcome>(VoidRefusal::CardGone);

    const cards::Figures before = cards::Figures::of(*card);
    double balanceBack = 0;
    double usesBack = 0;
    if (charge) {
        balanceBack = numericValue(charge->before.balance) - numericValue(charge->after.balance);
        usesBack = numericValue(charge->before.uses) - numericValue(charge->after.uses);
    } else if (cards::isUseCard(cards::valueOf(*card, n::kType))) {
        usesBack = 1;
    } else if (cards::isValueCard(cards::valueOf(*card, n::kType))) {
        balanceBack = numericValue(sale.received);
    }
    cards::Figures after = before;
    for (auto [back, figure] : {std::pair{balanceBack, &after.balance}, std::pair{usesBack, &after.uses}}) {
        if (back == 0)
            continue;
        const auto sum = plus(*figure, back);
        if (!sum)
            return refused<VoidOutcome>(VoidRefusal::OutOfRange);
        *figure = *sum;
    }
    if (after != before) {
        cards::Note note;
        note.handler = sale.employee;
        note.sale.text = key;
        *writes += cards::setFigures(db_, cardRow, cards::valueOf(*card, n::kNumber), cards::Change::Void,
                                     before, after, note);
    }
    return {};
}

VoidOutcome SaleService::voidOnce(qint64 rowid, const QStringList& values)
{
    Database::Transaction tx(db_);
    if (!tx.active())
        return failed<VoidOutcome>(QStringLiteral("开始撤销"), tx.error());

    QStringList columns;
    for (const QString& c : schema::columnsOf(schema::salse::kTable))
        columns << quoteIdent(c);
    const auto row =
        db_.selectOneForUpdate(QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?")
                                   .arg(columns.join(QStringLiteral(", ")), schema::salse::kTable),
                               {rowid});
    if (row.failed())
        return failed<VoidOutcome>(QStringLiteral("读取业务记录"), row.error());
    const auto key = sales::keyOf(db_, rowid, values);
    if (key.failed())
        return failed<VoidOutcome>(QStringLiteral("读取业务历史记录"), key.error());
    const auto voided = sales::isVoided(db_, *key);
    if (voided.failed())
        return failed<VoidOutcome>(QStringLiteral("读取撤销记录"), voided.error());
    if (!key->isEmpty() && *voided)
        return refused<VoidOutcome>(VoidRefusal::AlreadyVoided);
    if (!row.found() || texts(*row) != values)
        return refused<VoidOutcome>(VoidRefusal::Gone);

    const sales::SaleRow sale = sales::SaleRow::fromValues(values);
    Steps steps(QStringLiteral("提交撤销"));
    if (sale.type.startsWith(QStringLiteral("商品销售"))) {
        // The line the sale took from: the first of its code, found as the
        // sale found it. The purchase date stored with the sale is only what
        // the entry showed (nothing when the code was not looked up).
        const Database::Statement first = goodsByCode(sale.productCode);
        const auto line = db_.selectOneForUpdate(first.sql, first.binds).map(goodsFrom);
        if (line.failed())
            return failed<VoidOutcome>(QStringLiteral("读取商品资料"), line.error());
        if (!line.found())
            return refused<VoidOutcome>(VoidRefusal::GoodsGone);
        const auto stock = plus(line->stock, numericValue(sale.quantity));
        if (!stock)
            return refused<VoidOutcome>(VoidRefusal::OutOfRange);
        stock::Note note;
        note.sale = *key;
        addStockSteps(
            steps, stock::setStock(db_, line->rowid, line->ledgerValues(), *stock, stock::Change::Void, note),
            QStringLiteral("退回库存数量"));
    }
    if (sale.card != nonMember()) {
        QList<Database::Write> back;
        if (VoidOutcome out = cardBack(values, *key, &back); out.kind != VoidOutcome::Voided)
            return out;
        for (const Database::Write& w : back)
            steps.add(w.table == schema::kawu::kTable ? QStringLiteral("写入卡务记录")
                                                      : QStringLiteral("退回会员卡"),
                      w);
    }
    steps.add(QStringLiteral("写入撤销记录"), sales::voidRecord(db_, *key, values));
    steps.add(QStringLiteral("删除业务记录"),
              {schema::salse::kTable,
               {QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(schema::salse::kTable), {rowid}}});
    qsizetype failedAt = 0;
    if (DbResult r = tx.commitAfter(steps.statements(), &failedAt); !r)
        return failed<VoidOutcome>(steps.what(failedAt), r.error);
    VoidOutcome out;
    out.key = *key;
    out.written = steps.tables();
    return out;
}

} // namespace shop
