#include "salary_service.h"

#include "data/numeric.h"
#include "data/table_rows.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace shop {

namespace {
namespace sales = schema::salse;
const QString kYuan = QStringLiteral("元");

struct Totals {
    qint64 rows = 0;
    qint64 sums[2] = {0, 0};
    bool overflow = false;
};

// One or two columns of a source's rows summed in stored order (the grid's
// order), each rounded after every row.
DbValue<Totals> roundedTotals(Database& db, const RecordSource& source, const QStringList& columns,
                              QVector<qint64>* rowids)
{
    return rows::sumRoundedEach(db, source, columns.mid(0, 2), rowids).map([](const auto& each) {
        Totals t;
        for (qsizetype i = 0; i < each.size(); ++i) {
            t.rows = each.at(i).rows;
            t.sums[i] = each.at(i).total;
            t.overflow = t.overflow || each.at(i).overflow;
        }
        return t;
    });
}
} // namespace

QStringList SalaryStatement::values() const
{
    return {name,     basePay,    commission, fullAttendance, seniority, bonus,
            lateness, earlyLeave, fine,       gross,          net};
}

SalaryStatement SalaryStatement::fromValues(const QStringList& v)
{
    return {v.value(0), v.value(1), v.value(2), v.value(3), v.value(4), v.value(5),
            v.value(6), v.value(7), v.value(8), v.value(9), v.value(10)};
}

DbValue<QString> SalaryService::basePay(const QString& name)
{
    return db_
        .selectOne(QStringLiteral("SELECT 薪金 FROM worker WHERE 姓名 = ? ORDER BY rowid LIMIT 1"),
                   {textValue(name)})
        .map([](const QVariantList& row) {
            return numberText(numericValue(row.value(0).toString())).trimmed() + kYuan;
        });
}

RecordSource SalaryService::employeeBusiness(const QString& name)
{
    return RecordSource::all(kSales).filter(sales::kEmployee, Op::Eq, name);
}

RecordSource SalaryService::periodBusiness(const QString& name, const QString& from, const QString& to)
{
    return RecordSource::all(kSales)
        .filter(sales::kDate, Op::Ge, from)
        .filter(sales::kDate, Op::Le, to)
        .filter(sales::kEmployee, Op::Eq, name);
}

RecordSource SalaryService::itemBusiness(const QString& name, const QString& from, const QString& to,
                                         const QString& item)
{
    return periodBusiness(name, from, to).filter(sales::kServiceItem, Op::Eq, item);
}

DbValue<rows::RoundedTotal> SalaryService::commissionTotal(const RecordSource& source,
                                                           QVector<qint64>* rowids)
{
    return roundedTotals(db_, source, {sales::kCommission}, rowids).map([](const Totals& t) {
        return rows::RoundedTotal{t.rows, t.sums[0], t.overflow};
    });
}

DbValue<ItemTotals> SalaryService::itemTotals(const RecordSource& source, QVector<qint64>* rowids)
{
    return roundedTotals(db_, source, {sales::kReceived, sales::kCommission}, rowids)
        .map([](const Totals& t) {
            return ItemTotals{t.rows, t.sums[0], t.sums[1], t.overflow};
        });
}

Pay SalaryService::computePay(const SalaryStatement& s)
{
    Pay p;
    p.gross = numericValue(s.basePay) + numericValue(s.commission) + numericValue(s.fullAttendance) +
              numericValue(s.seniority) + numericValue(s.bonus);
    p.net = p.gross - (numericValue(s.earlyLeave) + numericValue(s.lateness) + numericValue(s.fine));
    // Figures near the top of double's range can add up to infinity, which
    // has no number text.
    p.inRange = std::isfinite(p.gross) && std::isfinite(p.net);
    if (p.inRange) {
        p.grossText = signedNumberText(p.gross) + kYuan;
        p.netText = signedNumberText(p.net) + kYuan;
    }
    return p;
}

DbResult SalaryService::save(const SalaryStatement& s)
{
    return rows::insert(db_, kSalary, s.values());
}

DbValue<SalaryStatement> SalaryService::stored(qint64 rowid)
{
    return rows::storedRow(db_, kSalary, rowid).map(SalaryStatement::fromValues);
}

} // namespace shop
