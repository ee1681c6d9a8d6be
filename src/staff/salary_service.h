#pragma once

#include "data/database.h"
#include "data/record_source.h"
#include "data/schema.h"
#include "data/table_rows.h"

#include <QString>
#include <QStringList>

namespace shop {

// One salary statement: the eleven values of a `salary` row, as the window
// shows them and writes them.
struct SalaryStatement {
    QString name;
    QString basePay;
    QString commission;
    QString fullAttendance;
    QString seniority;
    QString bonus;
    QString lateness;
    QString earlyLeave;
    QString fine;
    QString gross;
    QString net;

    // In the table's column order.
    QStringList values() const;
    static SalaryStatement fromValues(const QStringList& values);
    bool operator==(const SalaryStatement&) const = default;
};

// Gross and net pay of a statement, in double arithmetic, with their texts
// (blank before a non-negative figure, then 元).
struct Pay {
    double gross = 0;
    double net = 0;
    QString grossText;
    QString netText;
    // False when a figure left the range of a double: the texts are empty.
    bool inRange = true;
};

// What the salary window reads and writes, without widgets.
class SalaryService {
public:
    static inline const QString kSalary = schema::salary::kTable;
    static inline const QString kSales = schema::salse::kTable;

    explicit SalaryService(Database& db) : db_(db) {}

    // The base pay of the first employee of that name, as shown: the stored
    // pay as a number, then 元 (1500 shows 1500元). No value when no
    // employee has the name.
    DbValue<QString> basePay(const QString& name);

    // Every transaction of an employee.
    static RecordSource employeeBusiness(const QString& name);
    // An employee's transactions in a period, both ends included (dates
    // compare as their texts).
    static RecordSource periodBusiness(const QString& name, const QString& from, const QString& to);
    // As periodBusiness, of one service item.
    static RecordSource itemBusiness(const QString& name, const QString& from, const QString& to,
                                     const QString& item);

    // 应发工资 = 底薪 + 提成总额 + 全勤奖 + 工龄奖 + 奖金 (added in this order);
    // 实发工资 = 应发工资 - (早退 + 迟到 + 罚款). Every text read by its numeric value.
    static Pay computePay(const SalaryStatement& s);

    // Adds the statement as a new row (every save adds one).
    DbResult save(const SalaryStatement& s);
    // A saved statement, read afresh; no value when it is gone.
    DbValue<SalaryStatement> stored(qint64 rowid);

private:
    Database& db_;
};

} // namespace shop
