#include "overview_widget.h"

#include "ui/app_context.h"
#include "ui/document_path.h"
#include "ui/window_names.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QImageWriter>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QSet>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>
#include <QtMath>

#include <algorithm>

#include <memory>
#include <numeric>

namespace shop {

namespace {

const QString kMarginTitle = QStringLiteral("近12个月商品毛利");
constexpr int kMarginsEverySeconds = 60;

// Whether two months of 毛利 give the same bars.
bool sameBars(const money::Margin& a, const money::Margin& b)
{
    const auto same = [](const money::RoundedTotal& x, const money::RoundedTotal& y) {
        return x.total == y.total && x.overflow == y.overflow;
    };
    return same(a.margin(), b.margin()) && same(a.withoutCost, b.withoutCost);
}

QString amountText(const money::RoundedTotal& t)
{
    return t.overflow ? QStringLiteral("超出范围") : QString::number(t.total) + QStringLiteral("元");
}

QString salesText(const money::RoundedTotal& t, bool withMoney)
{
    QString s = QString::number(t.rows) + QStringLiteral("笔");
    if (withMoney)
        s += QStringLiteral("，实收") + amountText(t);
    return s;
}

// A bar's height: a total beyond range has none (its label says so).
double barValue(const money::RoundedTotal& t)
{
    return t.overflow ? 0.0 : static_cast<double>(t.total);
}

// Category texts must differ from each other on one axis: a text met
// before is told apart by its alternative (a goods' code), else by a number.
QStringList distinct(const QStringList& texts, const QStringList& alternatives = {})
{
    QStringList out;
    QSet<QString> seen;
    const QMultiHash<QString, int> counts = [&] {
        QMultiHash<QString, int> c;
        for (int i = 0; i < texts.size(); ++i)
            c.insert(texts.at(i), i);
        return c;
    }();
    for (int i = 0; i < texts.size(); ++i) {
        QString t = texts.at(i).trimmed().isEmpty() ? QStringLiteral("（未填）") : texts.at(i);
        if (counts.count(texts.at(i)) > 1 && !alternatives.value(i).isEmpty())
            t += QStringLiteral("（%1）").arg(alternatives.at(i));
        QString unique = t;
        for (int n = 2; seen.contains(unique); ++n)
            unique = QStringLiteral("%1（%2）").arg(t).arg(n);
        seen.insert(unique);
        out << unique;
    }
    return out;
}

// The range of the money's axis: from 0 (or a little below a value under
// it) to a little above the highest value.
void setMoneyRange(QValueAxis* axis, double highest, double lowest)
{
    axis->setRange(lowest < 0 ? lowest * 1.1 : 0, highest > 0 ? highest * 1.1 : 10);
}

QValueAxis* moneyAxis(double highest, double lowest)
{
    auto* axis = new QValueAxis;
    setMoneyRange(axis, highest, lowest);
    axis->setLabelFormat(QStringLiteral("%.0f"));
    axis->setTitleText(QStringLiteral("元"));
    axis->applyNiceNumbers();
    return axis;
}

// The money's axis of a chart (the days' axis of categories is a value axis
// too).
QValueAxis* moneyAxisOf(QChart* chart)
{
    for (QAbstractAxis* a : chart->axes())
        if (auto* money = qobject_cast<QValueAxis*>(a); money && !qobject_cast<QCategoryAxis*>(a))
            return money;
    return nullptr;
}

// The money's ticks a round step apart (1, 2 or 5 times a power of ten, at
// least 1 yuan as the labels are whole), as many as have room for their
// labels: in a low chart the engine drops the labels that run together, and
// the ones left stand unevenly.
void spaceMoneyTicks(QChart* chart)
{
    QValueAxis* money = moneyAxisOf(chart);
    const bool vertical = money && money->orientation() == Qt::Vertical;
    const qreal length = vertical ? chart->plotArea().height() : chart->plotArea().width();
    const double span = money ? money->max() - money->min() : 0;
    if (!money || length <= 0 || span <= 0)
        return;
    const QFontMetricsF metrics(money->labelsFont());
    const qreal widest = qMax(metrics.horizontalAdvance(QString::number(money->min(), 'f', 0)),
                              metrics.horizontalAdvance(QString::number(money->max(), 'f', 0)));
    const qreal need = vertical ? metrics.height() * 1.5 : widest + metrics.height() * 2;
    const double least = span / qMax(1.0, std::floor(length / need));
    const double power = std::pow(10.0, std::floor(std::log10(least)));
    double step = 10 * power;
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= least * (1 - 1e-9)) {
            step = m * power;
            break;
        }
    step = qMax(1.0, step);
    if (money->tickType() != QValueAxis::TicksDynamic || money->tickInterval() != step) {
        money->setTickType(QValueAxis::TicksDynamic);
        money->setTickAnchor(0);
        money->setTickInterval(step);
    }
}

// Category labels whole: the engine elides them to nothing in a slot it
// thinks too narrow.
QBarCategoryAxis* categoryAxis(const QStringList& categories)
{
    auto* axis = new QBarCategoryAxis;
    axis->append(categories);
    axis->setTruncateLabels(false);
    return axis;
}

QFont smaller(QFont f)
{
    f.setPointSizeF(f.pointSizeF() * 0.8);
    return f;
}

// An axis of places 0, 1, ... named on the places themselves, where the
// days' bars and the months' points stand (labels whole, as categoryAxis keeps them).
QCategoryAxis* placesAxis()
{
    auto* axis = new QCategoryAxis;
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setLabelsFont(smaller(axis->labelsFont()));
    axis->setTruncateLabels(false);
    return axis;
}

// Names the places `named` of `categories` on `axis`, which reaches `pad`
// of a place beyond the first and the last one's room.
void namePlaces(QCategoryAxis* axis, const QStringList& categories, const QList<qsizetype>& named, qreal pad)
{
    for (const QString& l : axis->categoriesLabels())
        axis->remove(l);
    axis->setStartValue(-0.5 - pad);
    axis->setRange(-0.5 - pad, static_cast<double>(categories.size()) - 0.5 + pad);
    for (const qsizetype i : named)
        axis->append(categories.at(i), static_cast<double>(i));
}

// Puts `series` (bars or a line) on `chart` over `categories`, with money
// along the other axis up to `highest`.
void place(QChart* chart, QAbstractSeries* series, QAbstractAxis* categories, double highest,
           bool horizontal = false, double lowest = 0)
{
    chart->addSeries(series);
    chart->addAxis(categories, horizontal ? Qt::AlignLeft : Qt::AlignBottom);
    series->attachAxis(categories);
    QValueAxis* money = moneyAxis(highest, lowest);
    chart->addAxis(money, horizontal ? Qt::AlignBottom : Qt::AlignLeft);
    series->attachAxis(money);
    spaceMoneyTicks(chart);
}

QList<double> barValues(const QList<money::RoundedTotal>& totals, double* highest)
{
    QList<double> out;
    *highest = 0;
    for (const money::RoundedTotal& t : totals) {
        out << barValue(t);
        *highest = qMax(*highest, out.last());
    }
    return out;
}

// One set of bars of the totals; `highest` gets the highest bar.
QBarSet* bars(const QString& name, const QList<money::RoundedTotal>& totals, double* highest)
{
    auto* set = new QBarSet(name);
    *highest = 0;
    for (const money::RoundedTotal& t : totals) {
        set->append(barValue(t));
        *highest = qMax(*highest, barValue(t));
    }
    return set;
}

void replaceContent(QChart* chart)
{
    chart->removeAllSeries();
    for (QAbstractAxis* a : chart->axes()) {
        chart->removeAxis(a);
        delete a;
    }
}

} // namespace

OverviewWidget::OverviewWidget(AppContext& ctx, QWidget* parent)
    : QWidget(parent), ctx_(ctx),
      read_([this] { return reading(); }, [this](const DbValue<overview::Figures>& f) { showFigures(f); },
            this),
      marginRead_([this] { return readingMargins(); },
                  [this](const DbValue<QList<overview::MonthMargin>>& m) { showMargins(m); }, this)
{
    setObjectName(QStringLiteral("overview"));
    auto* title = new QLabel(QStringLiteral("经营概况"), this);
    title->setObjectName(QStringLiteral("lab_overview"));
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    title->setFont(big);

    auto* summary = new QGroupBox(QStringLiteral("概要"), this);
    auto* summaryLayout = new QVBoxLayout(summary);
    auto label = [&](const char* name) {
        auto* l = new QLabel(summary);
        l->setObjectName(QLatin1String(name));
        l->setWordWrap(true);
        summaryLayout->addWidget(l);
        return l;
    };
    today_ = label("lab_today");
    lastWeek_ = label("lab_last_week");
    cards_ = label("lab_cards_owed");
    topUps_ = label("lab_top_ups");
    bookings_ = label("lab_bookings");
    margin_ = label("lab_margin");
    summaryLayout->addStretch(1);

    auto* stock = new QGroupBox(this);
    auto* stockLayout = new QVBoxLayout(stock);
    lowTitle_ = new QLabel(stock);
    lowTitle_->setObjectName(QStringLiteral("lab_low_stock"));
    low_ = new QTableWidget(0, 3, stock);
    low_->setObjectName(QStringLiteral("low_stock"));
    low_->setHorizontalHeaderLabels(
        {QStringLiteral("产品编号"), QStringLiteral("商品名称"), QStringLiteral("库存数量")});
    low_->verticalHeader()->hide();
    low_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Each column as wide as its content, in whichever layout the account
    // sees (a stretched column kept its width from a wider one).
    stockLayout->addWidget(lowTitle_);
    stockLayout->addWidget(low_, 1);

    auto* left = new QVBoxLayout;
    left->addWidget(summary);
    left->addWidget(stock, 1);
    // Where the stock list is not shown, the summary keeps its own height.
    summary->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    left->addStretch(0);

    layout_ = new QGridLayout(this);
    layout_->addWidget(title, 0, 0, 1, 3);
    layout_->addLayout(left, 1, 0, 3, 1);
    days_ = chartView("chart_days", QStringLiteral("近30天每日实收金额（点击查看当日业务）"));
    months_ = chartView("chart_months", QStringLiteral("近12个月实收金额"));
    items_ = chartView("chart_items", QStringLiteral("本月商品和服务实收金额前10名"));
    employees_ = chartView("chart_commission", QStringLiteral("本月员工提成金额"));
    margins_ = chartView("chart_margin", kMarginTitle + QStringLiteral("（读取中）"));
    // Its two sets named: the 毛利, and the goods sold without a cost.
    margins_->chart()->legend()->show();
    layout_->addWidget(days_, 1, 1);
    layout_->addWidget(months_, 1, 2);
    layout_->addWidget(items_, 2, 1);
    layout_->addWidget(employees_, 2, 2);
    layout_->addWidget(margins_, 3, 1, 1, 2);
    layout_->setRowStretch(1, 1);
    layout_->setRowStretch(2, 1);
    layout_->setRowStretch(3, 1);
    connect(days_->chart(), &QChart::plotAreaChanged, this, &OverviewWidget::labelDays);
    for (QChartView* named : {months_, employees_})
        connect(named->chart(), &QChart::plotAreaChanged, this, [this, named] { turnToFit(named); });
    for (QChartView* view : {days_, months_, items_, employees_, margins_})
        connect(view->chart(), &QChart::plotAreaChanged, this, [view] { spaceMoneyTicks(view->chart()); });
    summary_ = summary;
    stock_ = stock;
    showParts(ctx_.isSupervisor(), mayOpenStock());
    applyTheme();

    connect(&ctx_.notifier(), &TableNotifier::tableChanged, this, [this](const QString& table) {
        if (overview::sources().contains(table))
            read_.request();
    });
    connect(&ctx_.shellNotifier(), &ShellNotifier::settingsChanged, this, [this] { read_.request(); });
    connect(&ctx_.shellNotifier(), &ShellNotifier::loginChanged, this, [this] {
        // Another account may not see the last one's money or goods, not even
        // until the next read.
        showParts(moneyShown_ && ctx_.isSupervisor(), stockShown_ && mayOpenStock());
        // The months of 毛利 are read afresh with the next figures.
        monthMargins_.clear();
        read_.request();
    });
    marginsLater_.setSingleShot(true);
    connect(&marginsLater_, &QTimer::timeout, this, [this] {
        marginsReadAt_ = ctx_.clock().now();
        marginRead_.request();
    });
    // The first figures once the overview shows.
    read_.request();
}

bool OverviewWidget::mayOpenStock() const
{
    return ctx_.windows().mayOpen(ctx_, window_name::stock);
}

void OverviewWidget::showParts(bool money, bool stock)
{
    moneyShown_ = money;
    stockShown_ = stock;
    for (QWidget* w : std::initializer_list<QWidget*>{lastWeek_, cards_, topUps_, margin_, days_, months_,
                                                      items_, employees_, margins_})
        w->setVisible(money);
    stock_->setVisible(stock);
    // Without money the stock list takes the room of the charts.
    layout_->setColumnStretch(0, money ? 0 : 1);
    layout_->setColumnStretch(1, money ? 1 : 0);
    layout_->setColumnStretch(2, money ? 1 : 0);
    for (QWidget* w : {summary_, stock_})
        w->setMaximumWidth(money ? 300 : QWIDGETSIZE_MAX);
}

QChartView* OverviewWidget::chartView(const char* name, const QString& title)
{
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->legend()->hide();
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto* view = new QChartView(chart, this);
    view->setObjectName(QLatin1String(name));
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(280, 200);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& at) {
        QMenu menu(view);
        QAction* save = menu.addAction(QStringLiteral("保存为PNG图片..."));
        save->setObjectName(QStringLiteral("save_png"));
        if (menu.exec(view->mapToGlobal(at)) == save)
            saveChart(view);
    });
    charts_ << view;
    return view;
}

void OverviewWidget::saveChart(QChartView* view)
{
    const QString file = chooseDocumentFile(ctx_, QStringLiteral("保存图表"), view->chart()->title(),
                                            QStringLiteral(".png"), QStringLiteral("PNG 图片 (*.png)"));
    if (file.isEmpty())
        return;
    const QImage image = view->grab().toImage();
    QImageWriter writer(file, "png");
    if (!writer.write(image))
        ctx_.messages().critical(fileWriteFailure(file, image.sizeInBytes(), writer.errorString()),
                                 QStringLiteral("错误信息"));
}

void OverviewWidget::changeEvent(QEvent* e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::PaletteChange)
        applyTheme();
}

std::function<DbValue<overview::Figures>()> OverviewWidget::reading()
{
    const QDate today = ctx_.clock().today();
    const bool money = ctx_.isSupervisor();
    // The goods running short to those who may see the stock.
    const std::optional<double> threshold =
        mayOpenStock() ? std::optional(ctx_.shopSettings().lowStock()) : std::nullopt;
    const QString now = bookings::timeText(ctx_.clock().now().time());
    return onOwnConnection<overview::Figures>(ctx_, [today, money, threshold, now](Database& db) {
        return overview::read(db, today, money, threshold, now);
    });
}

void OverviewWidget::showFigures(const DbValue<overview::Figures>& read)
{
    // Read for the account before a switch of user: its figures are not
    // shown, the read that follows is.
    if (read && ((read->money && !ctx_.isSupervisor()) || (read->stock && !mayOpenStock())))
        return;
    if (!read) {
        // Said where the figures would be: a box nobody asked for would
        // interrupt the person's work.
        today_->setText(QStringLiteral("经营概况暂时不能读取：") + read.error());
        return;
    }
    const overview::Figures& f = *read;
    figures_ = f;
    showParts(f.money, f.stock);
    today_->setText(QStringLiteral("今日（%1）：").arg(f.today) + salesText(f.todaySales, f.money));
    QStringList next;
    for (const bookings::Booking& b : f.bookings.next)
        next << QStringLiteral("%1 %2 %3（%4）")
                    .arg(b.start, b.employee.isEmpty() ? QStringLiteral("未指定员工") : b.employee,
                         b.name.isEmpty() ? b.card : b.name, b.serviceItem);
    bookings_->setText(
        QStringLiteral("今日预约：%1个　本月未到：%2个").arg(f.bookings.today).arg(f.bookings.monthNoShows) +
        (next.isEmpty() ? QString() : QStringLiteral("\n接下来：") + next.join(QStringLiteral("；"))));
    if (f.money) {
        lastWeek_->setText(QStringLiteral("上周同日：") + salesText(f.lastWeekSales, true));
        cards_->setText(QStringLiteral("储值卡余额合计：") + amountText(f.cards.balance) +
                        QStringLiteral("\n计次卡剩余次数：") +
                        (f.cards.uses.overflow ? QStringLiteral("超出范围")
                                               : QString::number(f.cards.uses.total) + QStringLiteral("次")));
        const money::LedgerTotals& m = f.cardMoney;
        topUps_->setText(QStringLiteral("本月开卡收款：") + amountText(m.opened) +
                         QStringLiteral("\n本月充值收款：") + amountText(m.toppedUp()) +
                         QStringLiteral("\n本月未收款增加：金额") + amountText(m.freeBalance) +
                         QStringLiteral("，次数") +
                         (m.freeUses.overflow ? QStringLiteral("超出范围")
                                              : QString::number(m.freeUses.total) + QStringLiteral("次")));
        const money::Margin& g = f.monthMargin;
        // Goods sold without a cost are named apart, never taken as 毛利.
        margin_->setText(QStringLiteral("本月商品毛利：") + amountText(g.margin()) +
                         QStringLiteral("（实收") + amountText(g.received) + QStringLiteral("，成本") +
                         amountText(g.cost) + QStringLiteral("）\n无进货价的商品销售额：") +
                         amountText(g.withoutCost));
        rebuilt_ = false;
        showDays(f);
        showMonths(f);
        showItems(f);
        showEmployees(f);
        if (rebuilt_)
            applyTheme();
        showMarginsDue(f);
    }
    if (f.stock)
        showLowStock(f);
    emit figuresShown();
}

void OverviewWidget::showDays(const overview::Figures& f)
{
    QList<money::RoundedTotal> totals;
    QStringList days;
    for (const overview::DayFigure& d : f.days) {
        totals << d.received;
        days << d.date.mid(5);
    }
    double highest = 0;
    const QList<double> values = barValues(totals, &highest);
    if (updateInPlace(days_, days, values, highest))
        return;
    plotted(days_, days, values);
    QChart* chart = days_->chart();
    QBarSet* set = bars(QStringLiteral("实收金额"), totals, &highest);
    connect(set, &QBarSet::clicked, this, [this](int index) {
        if (figures_ && index >= 0 && index < figures_->days.size())
            emit dayChosen(figures_->days.at(index).date);
    });
    auto* series = new QBarSeries;
    series->append(set);
    // Dates stand on end under the bars, as many as have room (labelDays).
    QCategoryAxis* x = placesAxis();
    x->setLabelsAngle(-90);
    x->setGridLineVisible(false);
    place(chart, series, x, highest);
    labelledDays_.clear();
    labelDays();
}

void OverviewWidget::labelDays()
{
    const auto shown = plotted_.constFind(days_);
    QCategoryAxis* x = nullptr;
    for (QAbstractAxis* a : days_->chart()->axes(Qt::Horizontal))
        x = x ? x : qobject_cast<QCategoryAxis*>(a);
    const qreal width = days_->chart()->plotArea().width();
    if (!x || shown == plotted_.constEnd() || shown->categories.isEmpty() || width <= 0)
        return;
    const QStringList& days = shown->categories;
    const qreal n = days.size();
    // A date on end takes its line's height, and a little room apart.
    const qreal need = QFontMetricsF(x->labelsFont()).height() + 4;
    // The first and the last date stay within the chart: where half a bar
    // is narrower than half a date, the axis reaches a little beyond the bars.
    const qreal pad = width > need ? qMax(0.0, (need * n - width) / (width - need) / 2) : 0.0;
    const int step = qMax(1, qCeil(need * (n + 2 * pad) / width));
    // Counted back from today, which always has its date.
    QList<qsizetype> named;
    QStringList labels;
    for (qsizetype i = (days.size() - 1) % step; i < days.size(); i += step) {
        named << i;
        labels << days.at(i);
    }
    const QString key = labels.join(u' ') + QString::number(pad);
    if (key == labelledDays_)
        return;
    labelledDays_ = key;
    namePlaces(x, days, named, pad);
}

void OverviewWidget::turnToFit(QChartView* view)
{
    QStringList labels;
    QAbstractAxis* x = nullptr;
    for (QAbstractAxis* a : view->chart()->axes(Qt::Horizontal)) {
        if (auto* bars = qobject_cast<QBarCategoryAxis*>(a))
            labels = bars->categories();
        else if (auto* values = qobject_cast<QCategoryAxis*>(a))
            labels = values->categoriesLabels();
        else
            continue;
        x = a;
        break;
    }
    if (!x || labels.isEmpty())
        return;
    const QFontMetricsF metrics(x->labelsFont());
    qreal widest = 0;
    for (const QString& label : labels)
        widest = qMax(widest, metrics.horizontalAdvance(label));
    // Read across when every label has room under its bar or point; one
    // above the other otherwise (twenty names side by side run together).
    const int angle = widest + 8 <= view->chart()->plotArea().width() / labels.size() ? 0 : -90;
    if (x->labelsAngle() != angle)
        x->setLabelsAngle(angle);
}

void OverviewWidget::showMonths(const overview::Figures& f)
{
    QList<money::RoundedTotal> totals;
    QStringList months;
    for (const overview::DayFigure& m : f.months) {
        totals << m.received;
        months << QString::number(m.date.mid(5).toInt()) + QStringLiteral("月");
    }
    double highest = 0;
    const QList<double> values = barValues(totals, &highest);
    if (updateInPlace(months_, months, values, highest))
        return;
    plotted(months_, months, values);
    QChart* chart = months_->chart();
    auto* line = new QLineSeries;
    line->setPointsVisible(true);
    for (qsizetype i = 0; i < values.size(); ++i)
        line->append(static_cast<double>(i), values.at(i));
    // Each point in the middle of its month's room with the month under it:
    // on a bar category axis a line's points stand on the rooms' edges and
    // the first and the last month go unnamed.
    QCategoryAxis* x = placesAxis();
    QList<qsizetype> every(months.size());
    std::iota(every.begin(), every.end(), 0);
    namePlaces(x, months, every, 0);
    place(chart, line, x, highest);
    turnToFit(months_);
}

std::function<DbValue<QList<overview::MonthMargin>>()> OverviewWidget::readingMargins()
{
    const QDate today = ctx_.clock().today();
    return onOwnConnection<QList<overview::MonthMargin>>(
        ctx_, [today](Database& db) { return overview::monthMargins(db, today); });
}

void OverviewWidget::showMarginsDue(const overview::Figures& f)
{
    // This month's 毛利 at once, from the figures. The months before change
    // only by a backdated sale, a void or an edit, and reading twelve months
    // of sales after every sale would take from the till: they are read
    // again at most once a minute, and once more a minute after the last
    // change.
    const QString month = f.today.left(7);
    const bool charted = !monthMargins_.isEmpty() && monthMargins_.last().month == month;
    if (charted && !sameBars(monthMargins_.last().margin, f.monthMargin)) {
        monthMargins_.last().margin = f.monthMargin;
        plotMargins();
    }
    const QDateTime now = ctx_.clock().now();
    if (!charted || !marginsReadAt_.isValid() || marginsReadAt_.secsTo(now) >= kMarginsEverySeconds) {
        marginsLater_.stop();
        marginsReadAt_ = now;
        marginRead_.request();
    } else if (!marginsLater_.isActive()) {
        marginsLater_.start(kMarginsEverySeconds * 1000);
    }
}

void OverviewWidget::showMargins(const DbValue<QList<overview::MonthMargin>>& read)
{
    // Read for a supervisor before a switch of user: not for this account.
    if (!ctx_.isSupervisor())
        return;
    if (!read) {
        margins_->chart()->setTitle(kMarginTitle + QStringLiteral("（暂时不能读取：%1）").arg(read.error()));
        return;
    }
    monthMargins_ = *read;
    plotMargins();
}

void OverviewWidget::plotMargins()
{
    QChart* chart = margins_->chart();
    chart->setTitle(kMarginTitle);
    QList<money::RoundedTotal> margins;
    QList<money::RoundedTotal> withoutCost;
    QStringList months;
    for (const overview::MonthMargin& m : std::as_const(monthMargins_)) {
        margins << m.margin.margin();
        withoutCost << m.margin.withoutCost;
        months << QString::number(m.month.mid(5).toInt()) + QStringLiteral("月");
    }
    double highest = 0;
    double highestWithout = 0;
    const QList<double> values = barValues(margins, &highest) + barValues(withoutCost, &highestWithout);
    highest = qMax(highest, highestWithout);
    // Goods sold below their cost: a 毛利 under 0.
    const double lowest = std::ranges::min(values.isEmpty() ? QList<double>{0} : values);
    if (!updateInPlace(margins_, months, values, highest, lowest)) {
        plotted(margins_, months, values);
        auto* series = new QBarSeries;
        double ignored = 0;
        series->append(bars(QStringLiteral("毛利"), margins, &ignored));
        // Named apart, never counted as 毛利.
        series->append(bars(QStringLiteral("无进货价的商品销售额"), withoutCost, &ignored));
        QBarCategoryAxis* x = categoryAxis(months);
        x->setLabelsFont(smaller(x->labelsFont()));
        place(chart, series, x, highest, false, lowest);
        applyTheme();
    }
    emit marginsShown();
}

void OverviewWidget::showItems(const overview::Figures& f)
{
    QList<money::RoundedTotal> totals;
    QStringList names;
    QStringList codes;
    // The best at the top: a horizontal axis counts from the bottom.
    for (qsizetype i = f.topItems.size() - 1; i >= 0; --i) {
        const money::ItemFigures& item = f.topItems.at(i);
        totals << item.received;
        names << item.name + (item.received.overflow ? QStringLiteral("（超出范围）") : QString());
        codes << item.code;
    }
    double highest = 0;
    const QList<double> values = barValues(totals, &highest);
    const QStringList categories = distinct(names, codes);
    if (updateInPlace(items_, categories, values, highest))
        return;
    plotted(items_, categories, values);
    auto* series = new QHorizontalBarSeries;
    series->append(bars(QStringLiteral("实收金额"), totals, &highest));
    place(items_->chart(), series, categoryAxis(categories), highest, true);
}

void OverviewWidget::showEmployees(const overview::Figures& f)
{
    QList<money::RoundedTotal> totals;
    QStringList names;
    for (const money::EmployeeFigures& e : f.employees) {
        totals << e.commission;
        names << e.name + (e.commission.overflow ? QStringLiteral("（超出范围）") : QString());
    }
    double highest = 0;
    const QList<double> values = barValues(totals, &highest);
    const QStringList categories = distinct(names);
    if (updateInPlace(employees_, categories, values, highest))
        return;
    plotted(employees_, categories, values);
    auto* series = new QBarSeries;
    series->append(bars(QStringLiteral("提成金额"), totals, &highest));
    place(employees_->chart(), series, categoryAxis(categories), highest);
    turnToFit(employees_);
}

bool OverviewWidget::updateInPlace(QChartView* view, const QStringList& categories,
                                   const QList<double>& values, double highest, double lowest)
{
    const auto was = plotted_.constFind(view);
    if (was == plotted_.constEnd() || was->categories != categories || view->chart()->series().isEmpty())
        return false;
    if (was->values == values)
        return true;
    QAbstractSeries* series = view->chart()->series().first();
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (was->values.at(i) == values.at(i))
            continue;
        if (auto* line = qobject_cast<QLineSeries*>(series))
            line->replace(static_cast<int>(i), QPointF(static_cast<double>(i), values.at(i)));
        else if (auto* bars = qobject_cast<QAbstractBarSeries*>(series))
            bars->barSets()
                .at(i / categories.size())
                ->replace(static_cast<int>(i % categories.size()), values.at(i));
    }
    // The money's axis (the days' axis of values is one too).
    if (QValueAxis* money = moneyAxisOf(view->chart())) {
        setMoneyRange(money, highest, lowest);
        money->applyNiceNumbers();
        spaceMoneyTicks(view->chart());
    }
    plotted_[view].values = values;
    return true;
}

void OverviewWidget::plotted(QChartView* view, const QStringList& categories, const QList<double>& values)
{
    replaceContent(view->chart());
    plotted_.insert(view, Plotted{categories, values});
    rebuilt_ = true;
}

void OverviewWidget::showLowStock(const overview::Figures& f)
{
    lowTitle_->setText(QStringLiteral("库存不足的商品（库存数量不大于%1）：%2种")
                           .arg(QString::number(f.threshold))
                           .arg(f.lowStock.size()));
    if (shownLow_ && *shownLow_ == f.lowStock)
        return;
    shownLow_ = f.lowStock;
    low_->setRowCount(static_cast<int>(f.lowStock.size()));
    for (int r = 0; r < low_->rowCount(); ++r) {
        const overview::StockLine& line = f.lowStock.at(r);
        const QString cells[] = {line.code, line.name, line.stock};
        for (int c = 0; c < 3; ++c)
            low_->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    // Once, not after every cell.
    low_->resizeColumnsToContents();
}

void OverviewWidget::applyTheme()
{
    const QPalette p = palette();
    const bool dark = p.color(QPalette::Window).lightness() < 128;
    for (QChartView* view : charts_) {
        QChart* chart = view->chart();
        if (chart->theme() != (dark ? QChart::ChartThemeDark : QChart::ChartThemeLight))
            chart->setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
        chart->setBackgroundBrush(p.brush(QPalette::Base));
        chart->setTitleBrush(p.brush(QPalette::WindowText));
        for (QAbstractAxis* a : chart->axes()) {
            a->setLabelsBrush(p.brush(QPalette::WindowText));
            a->setTitleBrush(p.brush(QPalette::WindowText));
        }
    }
}

} // namespace shop
