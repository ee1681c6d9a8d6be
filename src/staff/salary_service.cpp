#include "salary_service.h"

#include "data/numeric.h"
#include "data/table_rows.h"

#include <cmath>

namespace shop {

namespace {
namespace sales = schema::salse;
namespace worker = schema::worker;
const QString kYuan = QStringLiteral("元");
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
        .selectOne(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ? ORDER BY rowid LIMIT 1")
                       .arg(quoteIdent(worker::kPay), quoteIdent(worker::kTable), quoteIdent(worker::kName)),
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
