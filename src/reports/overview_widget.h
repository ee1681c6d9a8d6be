#pragma once

#include "overview_figures.h"
#include "ui/background_read.h"

#include <QHash>
#include <QTimer>
#include <QWidget>

#include <optional>

class QChart;
class QChartView;
class QGridLayout;
class QLabel;
class QTableWidget;

namespace shop {

class AppContext;

// `overview`: the business at a glance, where the main window's work area
// is empty. A supervisor sees today beside the same day last week, the
// money received per day and per month, the goods' 毛利 per month, this
// month's best goods and services, commissions and what the cards owe; any
// other account today's count of sales. The goods running short are shown
// to the accounts that may open the stock query.
// The figures are read in the background, on a connection of their own,
// whenever a table they come from changes while the overview shows, so a
// save never waits for them. The months' 毛利 are read after them, so
// that the rest is on screen without waiting for the stock ledger.
class OverviewWidget : public QWidget {
    Q_OBJECT
public:
    explicit OverviewWidget(AppContext& ctx, QWidget* parent = nullptr);

signals:
    // A day's bar was clicked: the sales of that day are wanted.
    void dayChosen(const QString& date);
    // New figures are on screen.
    void figuresShown();
    // New months of 毛利 are on screen (after the figures).
    void marginsShown();

protected:
    void changeEvent(QEvent* e) override;

private:
    QChartView* chartView(const char* name, const QString& title);
    // Saves a chart as a PNG file the person names (its context menu).
    void saveChart(QChartView* view);
    void showFigures(const DbValue<overview::Figures>& read);
    void showDays(const overview::Figures& f);
    // Dates under the bars that have room for one, always today's; again
    // whenever the chart's size changes.
    void labelDays();
    // The employees' names and the months read across when there is room.
    void turnToFit(QChartView* view);
    void showMonths(const overview::Figures& f);
    // This month's 毛利 from the figures; the months' read when it is due.
    void showMarginsDue(const overview::Figures& f);
    void showMargins(const DbValue<QList<overview::MonthMargin>>& read);
    void plotMargins();
    void showItems(const overview::Figures& f);
    void showEmployees(const overview::Figures& f);
    void showLowStock(const overview::Figures& f);
    void applyTheme();
    // Puts new values in place when `view` already shows these categories
    // (a rebuilt chart costs the window thread far more); false when the
    // chart must be built afresh, which then records what it shows.
    // Bars of several sets give their values one set after the other.
    bool updateInPlace(QChartView* view, const QStringList& categories, const QList<double>& values,
                       double highest, double lowest = 0);
    void plotted(QChartView* view, const QStringList& categories, const QList<double>& values);
    // Shows or hides every figure of money and the goods running short (the
    // account's rights).
    void showParts(bool money, bool stock);
    // The goods' stock is shown to the accounts that may open 库存查询.
    bool mayOpenStock() const;
    // The read for the account logged in now.
    std::function<DbValue<overview::Figures>()> reading();
    std::function<DbValue<QList<overview::MonthMargin>>()> readingMargins();

    AppContext& ctx_;
    bool moneyShown_ = false;
    bool stockShown_ = false;
    std::optional<overview::Figures> figures_; // shown last
    struct Plotted {
        QStringList categories;
        QList<double> values;
    };
    QHash<QChartView*, Plotted> plotted_;
    std::optional<QList<overview::StockLine>> shownLow_;
    bool rebuilt_ = false; // a chart was built afresh: its axes need the theme
    QString labelledDays_; // the dates under the bars, and the axis's reach

    QGridLayout* layout_ = nullptr;
    QWidget* summary_ = nullptr;
    QWidget* stock_ = nullptr;
    QLabel* today_ = nullptr;
    QLabel* lastWeek_ = nullptr;
    QLabel* cards_ = nullptr;
    QLabel* topUps_ = nullptr;
    QLabel* bookings_ = nullptr; // lab_bookings
    QLabel* margin_ = nullptr;   // lab_margin
    QLabel* lowTitle_ = nullptr;
    QTableWidget* low_ = nullptr;
    QList<QChartView*> charts_;
    QChartView* days_ = nullptr;
    QChartView* months_ = nullptr;
    QChartView* items_ = nullptr;
    QChartView* employees_ = nullptr;
    QChartView* margins_ = nullptr;             // chart_margin
    QList<overview::MonthMargin> monthMargins_; // as charted
    QDateTime marginsReadAt_;                   // by the program's clock
    QTimer marginsLater_;                       // the read after the last change
    // Declared last: a read under way ends before the widget it reports to goes.
    BackgroundRead<DbValue<overview::Figures>> read_;
    BackgroundRead<DbValue<QList<overview::MonthMargin>>> marginRead_;
};

} // namespace shop
