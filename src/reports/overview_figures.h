#pragma once

#include "data/bookings.h"
#include "data/database.h"
#include "data/money.h"
#include "data/money_margin.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// The figures of the owner's overview, read in one go from the business
// database, without widgets: every money figure comes from money::.
namespace shop::overview {

struct DayFigure {
    QString date;
    money::RoundedTotal received;
};

struct MonthMargin {
    QString month; // yyyy-MM
    money::Margin margin;
};

struct StockLine {
    QString code;
    QString name;
    QString stock; // as stored
    bool operator==(const StockLine&) const = default;
};

struct Figures {
    QString today;
    double threshold = 0; // of the low stock
    bool money = false;   // false: the count of today's sales (and the low stock) only
    bool stock = false;   // false: no goods listed
    // A day's sales (rows) and its takings less its voids (money::takingsPer).
    money::RoundedTotal todaySales;
    money::RoundedTotal lastWeekSales;       // the same day a week before
    QList<DayFigure> days;                   // the last 30 days, oldest first, days without sales too
    QList<DayFigure> months;                 // the last 12 months (yyyy-MM), oldest first
    QList<money::ItemFigures> topItems;      // this month's, at most 10
    QList<money::EmployeeFigures> employees; // this month's
    money::CardsOwed cards;
    money::LedgerTotals cardMoney; // the card ledger's rows this month
    money::Margin monthMargin;     // the goods sold this month
    QList<StockLine> lowStock;
    bookings::Glance bookings;
};

// The dates the overview covers, from `today`.
QString firstDayShown(const QDate& today);   // 29 days before today
QString firstMonthShown(const QDate& today); // the first day of the month 11 months before
QString monthStart(const QDate& today);

// Goods whose stock is at or below `threshold`, in stored order.
DbValue<QList<StockLine>> lowStock(Database& db, double threshold);

// The tables read() reads: a write to any other leaves every figure as it was.
const QStringList& sources();

// Everything the overview shows; without `money` no figure of money is
// read, without a threshold no goods. The bookings still to come are
// those after `now` (a time text).
DbValue<Figures> read(Database& db, const QDate& today, bool money, std::optional<double> lowStockAt,
                      const QString& now = QStringLiteral("00:00"));

// The goods' margin of each month the overview shows (those of
// Figures::months), oldest first: read apart from the figures, after them,
// since it reads the stock ledger beside the months' sales.
DbValue<QList<MonthMargin>> monthMargins(Database& db, const QDate& today);

} // namespace shop::overview
