#include "money.h"

#include "card_ledger.h"
#include "schema.h"

#include <QHash>

namespace shop::money {

namespace {

namespace k = schema::kawu;

// A day's rows of a table whose `column` holds a date and time.
RecordSource dayOf(const QString& table, const QString& column, const QString& date)
{
    return RecordSource::all(table)
        .filter(column, Op::Ge, date + QStringLiteral(" 00:00:00"))
        .filter(column, Op::Le, date + QStringLiteral(" 23:59:59"));
}

template <typename T> DbValue<T> failedWith(const DbResult& r)
{
    return DbValue<T>{r, std::nullopt};
}

} // namespace

DbValue<RoundedTotal> receivedOn(Database& db, const QString& date)
{
    return rows::sumRounded(
        db, RecordSource::all(QStringLiteral("salse")).filter(QStringLiteral("业务日期"), Op::Eq, date),
        QStringLiteral("实收金额"));
}

RecordSource ledgerDay(const QString& date)
{
    return dayOf(k::kTable, k::kTime, date);
}

DbValue<LedgerTotals> ledgerTotals(Database& db, const RecordSource& source)
{
    QVariantList binds;
    const QString sql =
        QStringLiteral("SELECT rowid, %1 FROM %2%3%4")
            .arg(QStringList{quoteIdent(k::kKind), quoteIdent(k::kReceived), quoteIdent(k::kBalanceBefore),
                             quoteIdent(k::kBalanceAfter), quoteIdent(k::kUsesBefore),
                             quoteIdent(k::kUsesAfter)}
                     .join(QStringLiteral(", ")),
                 quoteIdent(source.table), source.whereSql(&binds), rows::gridOrderSql(source));
    const QByteArray charge = cards::changeText(cards::Change::Charge).toUtf8();
    const QByteArray back = cards::changeText(cards::Change::Void).toUtf8();
    LedgerTotals out;
    const DbResult r = db.selectKeyedTexts(sql, binds, [&](qint64, const Database::TextRow& row) {
        const QByteArrayView kind = row.utf8(0);
        if (!row.utf8(1).isEmpty())
            rows::addRounded(out.received, rows::amountOf(row.utf8(1)));
        if (kind == charge || kind == back) {
            rows::addRounded(out.charged, rows::amountOf(row.utf8(2)) - rows::amountOf(row.utf8(3)));
            rows::addRounded(out.uses, rows::amountOf(row.utf8(4)) - rows::amountOf(row.utf8(5)));
        }
        return true;
    });
    if (!r)
        return failedWith<LedgerTotals>(r);
    return DbValue<LedgerTotals>::of(out);
}

DbValue<DayClosing> dayClosing(Database& db, const QString& date)
{
    DayClosing out;
    out.date = date;
    const auto received = receivedOn(db, date);
    if (!received)
        return failedWith<DayClosing>(received.status);
    out.received = *received;

    // The day's sales once more, in the order they were written, for the
    // figures by kind of customer, by goods line and by employee.
    const QByteArray nonMember = QStringLiteral("非会员").toUtf8();
    const QByteArray goodsSale = QStringLiteral("商品销售").toUtf8();
    QHash<QString, qsizetype> goodsAt;
    QHash<QString, qsizetype> employeeAt;
    const DbResult r = db.selectKeyedTexts(
        QStringLiteral(
            "SELECT rowid, 卡号, 业务类型, 产品编号, 商品名称, 出货数量, 实收金额, 员工姓名, 提成金额 FROM "
            "salse WHERE 业务日期 = ? ORDER BY rowid"),
        {date}, [&](qint64, const Database::TextRow& row) {
            const double money = rows::amountOf(row.utf8(5));
            rows::addRounded(row.utf8(0) == nonMember ? out.cash : out.card, money);
            if (row.utf8(1).startsWith(goodsSale)) {
                const QString code = row.text(2);
                auto at = goodsAt.constFind(code);
                if (at == goodsAt.constEnd()) {
                    at = goodsAt.insert(code, out.goods.size());
                    out.goods.append(GoodsFigures{code, row.text(3), 0, {}});
                }
                GoodsFigures& g = out.goods[*at];
                g.quantity += rows::amountOf(row.utf8(4));
                rows::addRounded(g.received, money);
            }
            const QString name = row.text(6);
            auto at = employeeAt.constFind(name);
            if (at == employeeAt.constEnd()) {
                at = employeeAt.insert(name, out.employees.size());
                out.employees.append(EmployeeFigures{name, {}, {}});
            }
            EmployeeFigures& e = out.employees[*at];
            rows::addRounded(e.received, money);
            rows::addRounded(e.commission, rows::amountOf(row.utf8(7)));
            return true;
        });
    if (!r)
        return failedWith<DayClosing>(r);

    const auto cards = ledgerTotals(db, ledgerDay(date));
    if (!cards)
        return failedWith<DayClosing>(cards.status);
    out.cards = *cards;

    const auto cash = rows::sumRoundedEach(
        db, RecordSource::all(QStringLiteral("shouzhi")).filter(QStringLiteral("日期"), Op::Eq, date),
        {QStringLiteral("支出费用"), QStringLiteral("收入")});
    if (!cash)
        return failedWith<DayClosing>(cash.status);
    out.expense = cash->at(0);
    out.income = cash->at(1);

    const auto voids = rows::sumRounded(db, dayOf(schema::chexiao::kTable, schema::chexiao::kTime, date),
                                        schema::chexiao::kReceived);
    if (!voids)
        return failedWith<DayClosing>(voids.status);
    out.voids = *voids;
    return DbValue<DayClosing>::of(out);
}

} // namespace shop::money
