// The owner's overview as a person sees it: its figures beside the sales
// records browser's and the salary window's totals on the same rows, who
// sees money, its place in the main window, a day's bar, the threshold.
#include "reports/overview_widget.h"
#include "sales/sale_service.h"
#include "sales/sales_records_window.h"
#include "shell/settings_window.h"
#include "shell/window_table.h"
#include "staff/salary_service.h"
#include "stock/purchase_tab.h"
#include "support/sale_entry.h"
#include "support/tab_host.h"
#include "support/test_env.h"
#include "support/ui.h"

#include <QBarCategoryAxis>
#include <QCategoryAxis>
#include <QGraphicsTextItem>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QLineSeries>
#include <QSignalSpy>
#include <QHeaderView>
#include <QTableWidget>
#include <QTest>
#include <QValueAxis>

using namespace shop;
using namespace shop::test;

namespace {

// date, money received, employee, commission: stored as a sale stores it,
// in the period's table and in the history.
void sell(TestEnv& env, const QStringList& s)
{
    for (const char* table : {"salse", "salse_history"})
        env.insert(table, {s.value(0), "其它服务", "非会员", "", "", "", "", "", s.value(1), "洗车",
                           s.value(2, "张三"), "", s.value(3, "0")});
}

// An overview shown with its first figures read, in a program whose
// windows (and their rights) are known.
std::unique_ptr<OverviewWidget> shownOverview(TestEnv& env, const QSize& size = QSize(1200, 700))
{
    registerWindows(env.ctx().windows());
    auto o = std::make_unique<OverviewWidget>(env.ctx());
    QSignalSpy read(o.get(), &OverviewWidget::figuresShown);
    o->resize(size);
    o->show();
    if (!read.wait(5000))
        return nullptr;
    return o;
}

QChart* chart(const QWidget* w, const char* name)
{
    return child<QChartView>(w, name)->chart();
}

QStringList categories(QChart* c)
{
    for (QAbstractAxis* a : c->axes()) {
        if (auto* x = qobject_cast<QBarCategoryAxis*>(a))
            return x->categories();
        if (auto* x = qobject_cast<QCategoryAxis*>(a))
            return x->categoriesLabels();
    }
    return {};
}

// The place of a bar or point: a day's (MM-dd) among the 30 days to
// 2026-12-07, or where its label stands (-1: none labelled so).
qsizetype indexOf(QChart* c, const QString& label)
{
    const QDate day = QDate::fromString("2026-" + label, "yyyy-MM-dd");
    if (day.isValid())
        return 29 - day.daysTo(QDate(2026, 12, 7));
    return categories(c).indexOf(label);
}

// The labels a person sees on a chart: their text, where they stand and
// how they are turned, from left to right.
struct Label {
    QString text;
    QRectF at;
    qreal turned;
};
QList<Label> labelsOf(const QWidget* w, const char* chart, const QString& pattern)
{
    QList<Label> out;
    const QRegularExpression which(pattern);
    for (QGraphicsItem* i : child<QChartView>(w, chart)->scene()->items()) {
        auto* t = dynamic_cast<QGraphicsTextItem*>(i);
        if (t && t->isVisible() && which.match(t->toPlainText()).hasMatch())
            out << Label{t->toPlainText(), t->sceneBoundingRect(), t->rotation()};
    }
    std::sort(out.begin(), out.end(),
              [](const Label& a, const Label& b) { return a.at.left() < b.at.left(); });
    return out;
}

// The first of `labels` (in their order along the axis) that leaves its
// chart or runs into the one before it; empty when none does.
QString crowded(const QWidget* w, const char* chart, const QList<Label>& labels)
{
    const QRectF within = child<QChartView>(w, chart)->sceneRect();
    for (qsizetype i = 0; i < labels.size(); ++i)
        if (!within.contains(labels.at(i).at) || (i > 0 && labels.at(i - 1).at.intersects(labels.at(i).at)))
            return labels.at(i).text;
    return {};
}

// The height a chart gives a category: a bar, or a point of the line.
double valueAt(const QWidget* w, const QString& figure)
{
    const bool month = figure.endsWith(u'月');
    QChart* c = chart(w, month                       ? "chart_months"
                         : figure.startsWith("提成") ? "chart_commission"
                                                     : "chart_days");
    const qsizetype i = indexOf(c, figure.startsWith("提成") ? figure.mid(2) : figure);
    if (i < 0)
        return -1;
    if (month)
        return qobject_cast<QLineSeries*>(c->series().first())->at(i).y();
    return qobject_cast<QBarSeries*>(c->series().first())->barSets().first()->at(i);
}

QString labelText(const QWidget* w, const char* name)
{
    return child<QLabel>(w, name)->text();
}

} // namespace

class TstOverview : public QObject {
    Q_OBJECT
private slots:
    void figuresAgreeWithTheSalesBrowser_data();
    void figuresAgreeWithTheSalesBrowser();
    void commissionAgreesWithTheSalaryWindow();
    void thisMonthLeavesTheMonthBefore();
    void monthsMarginFromTheCostOfEachSale();
    void moneyOnlyForSupervisors_data();
    void moneyOnlyForSupervisors();
    void hiddenWhileATabIsOpenAndLiveAfterASale();
    void dayBarOpensTheSalesOfThatDay();
    void chartSavedAsPng();
    void lowStockThreshold_data();
    void lowStockThreshold();
    void labelsThatFit_data();
    void labelsThatFit();
};

void TstOverview::figuresAgreeWithTheSalesBrowser_data()
{
    QTest::addColumn<QList<QStringList>>("sales");
    QTest::addColumn<QString>("from"); // the browser's range
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("figure"); // a day's bar (MM-dd) or a month's point (M月)
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("said");  // what the browser says of the range
    QTest::addColumn<QString>("today"); // the overview's line for today

    const QList<QStringList> twoDays = {{"2026-12-05", "10"}, {"2026-12-07", "20"}};
    QTest::newRow("a day without sales")
        << twoDays << "2026-12-06"
        << "2026-12-06"
        << "12-06" << 0.0 << stop("未找到相应的记录！", "") << "今日（2026-12-07）：1笔，实收20元";
    // Rounded half to even after each row: 0, 2, 2, 4 (not 5 from the sum).
    QTest::newRow("a day rounded row by row")
        << QList<QStringList>{{"2026-12-07", "0.5"},
                              {"2026-12-07", "1.5"},
                              {"2026-12-07", "0.5"},
                              {"2026-12-07", "2.5"}}
        << "2026-12-07"
        << "2026-12-07"
        << "12-07" << 4.0 << info("从2026-12-07日到2026-12-07日实收金额合计为：4元")
        << "今日（2026-12-07）：4笔，实收4元";
    const QList<QStringList> boundary = {
        {"2026-10-31", "1000"}, {"2026-11-30", "100.4"}, {"2026-12-01", "7"}, {"2026-11-30", "0.4"}};
    QTest::newRow("a month boundary: the month before")
        << boundary << "2026-11-01"
        << "2026-11-30"
        << "11月" << 100.0 << info("从2026-11-01日到2026-11-30日实收金额合计为：100元")
        << "今日（2026-12-07）：0笔，实收0元";
    QTest::newRow("a month boundary: this month")
        << boundary << "2026-12-01"
        << "2026-12-07"
        << "12月" << 7.0 << info("从2026-12-01日到2026-12-07日实收金额合计为：7元")
        << "今日（2026-12-07）：0笔，实收0元";
    QTest::newRow("a month boundary: its last day")
        << boundary << "2026-11-30"
        << "2026-11-30"
        << "11-30" << 100.0 << info("从2026-11-30日到2026-11-30日实收金额合计为：100元")
        << "今日（2026-12-07）：0笔，实收0元";
    // Said, not wrapped into a negative figure.
    QTest::newRow("beyond a whole number's range")
        << QList<QStringList>{{"2026-12-07", "9000000000000000000"}, {"2026-12-07", "9000000000000000000"}}
        << "2026-12-07"
        << "2026-12-07"
        << "12-07" << 0.0 << stop("实收金额合计超出范围，无法统计！", "错误")
        << "今日（2026-12-07）：2笔，实收超出范围";
}

void TstOverview::figuresAgreeWithTheSalesBrowser()
{
    QFETCH(QList<QStringList>, sales);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, figure);
    QFETCH(double, value);
    QFETCH(QString, said);
    QFETCH(QString, today);
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    for (const QStringList& s : sales)
        sell(env, s);

    const auto overview = shownOverview(env);
    QVERIFY(overview);
    QCOMPARE(valueAt(overview.get(), figure), value);
    QCOMPARE(labelText(overview.get(), "lab_today"), today);

    SalesRecordsWindow browser(env.ctx());
    QVERIFY(showActive(&browser));
    type(child<QWidget>(&browser, "txt_from"), from);
    type(child<QWidget>(&browser, "txt_to"), to);
    press(&browser, "cmd_search");
    QCOMPARE(shownAll(env), QStringList{said});
}

void TstOverview::commissionAgreesWithTheSalaryWindow()
{
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    const QList<QStringList> sales = {{"2026-11-30", "10", "张三", "50"},
                                      {"2026-12-01", "10", "张三", "2.5"},
                                      {"2026-12-02", "10", "李四", "3"},
                                      {"2026-12-07", "10", "张三", "0.5"},
                                      {"2026-12-07", "10", "李四", "1.5"}};
    for (const QStringList& s : sales)
        sell(env, s);
    const auto overview = shownOverview(env);
    QVERIFY(overview);
    for (const QString name : {"张三", "李四"}) {
        const auto total =
            money::commissionIn(env.db(), SalaryService::periodBusiness(name, "2026-12-01", "2026-12-07"));
        QVERIFY(total);
        QCOMPARE(valueAt(overview.get(), "提成" + name), double(total->total));
    }
    QCOMPARE(valueAt(overview.get(), "提成张三"), 2.0); // 2.5 -> 2, then 2.5 -> 2
}

// "This month" is the calendar month: the last day of the month before is
// within thirty days but not in it.
void TstOverview::thisMonthLeavesTheMonthBefore()
{
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    for (const QString day : {"2026-11-30", "2026-12-01"}) {
        sell(env, {day, day.endsWith("30") ? "100" : "7"});
        // A top-up's row in the card ledger, as written at 23:59:59 / 00:00:00.
        env.insert("kawu", {day + (day.endsWith("30") ? " 23:59:59" : " 00:00:00"), "M1", "充值", "", "", "1",
                            "2", day.endsWith("30") ? "300" : "5", "ZED", "张三", "", "", "1"});
    }
    const auto overview = shownOverview(env);
    QVERIFY(overview);
    QCOMPARE(labelText(overview.get(), "lab_top_ups"),
             QStringLiteral("本月开卡收款：0元\n本月充值收款：5元\n本月未收款增加：金额0元，次数0次"));
    QChart* items = chart(overview.get(), "chart_items");
    QCOMPARE(categories(items), QStringList{"洗车"});
    QCOMPARE(qobject_cast<QAbstractBarSeries*>(items->series().first())->barSets().first()->at(0), 7.0);
}

// Money to supervisors; the goods running short to the accounts that may
// open the stock query (a supervisor of kind M), fitted to their content.
void TstOverview::moneyOnlyForSupervisors_data()
{
    QTest::addColumn<QStringList>("users"); // logged in in turn
    QTest::addColumn<bool>("money");
    QTest::addColumn<bool>("stock");
    QTest::addColumn<QString>("today");
    QTest::newRow("supervisor") << QStringList{"ZED"} << true << true << "今日（2026-12-07）：2笔，实收30元";
    QTest::newRow("administrator") << QStringList{"administrator"} << true << true
                                   << "今日（2026-12-07）：2笔，实收30元";
    QTest::newRow("ordinary account") << QStringList{"王五"} << false << false << "今日（2026-12-07）：2笔";
    QTest::newRow("supervisor, then an ordinary account")
        << QStringList{"ZED", "王五"} << false << false << "今日（2026-12-07）：2笔";
    QTest::newRow("ordinary account, then a supervisor")
        << QStringList{"王五", "ZED"} << true << true << "今日（2026-12-07）：2笔，实收30元";
    QTest::newRow("supervisor, ordinary account, administrator")
        << QStringList{"ZED", "王五", "administrator"} << true << true << "今日（2026-12-07）：2笔，实收30元";
}

void TstOverview::moneyOnlyForSupervisors()
{
    QFETCH(QStringList, users);
    QFETCH(bool, money);
    QFETCH(bool, stock);
    QFETCH(QString, today);
    TestEnv env;
    sell(env, {"2026-12-07", "10"});
    sell(env, {"2026-12-07", "20"});
    env.insert("jinhuo", {"可乐", "P1", "330ml", "24", "2", "3", "4", "供应商", "2026-01-01", ""});
    env.ctx().setLogin(users.takeFirst(), "M");
    auto overview = shownOverview(env);
    QVERIFY(overview);
    for (const QString& user : users) {
        QSignalSpy read(overview.get(), &OverviewWidget::figuresShown);
        env.ctx().setLogin(user, "M");
        QVERIFY(read.wait(5000));
    }
    QCOMPARE(labelText(overview.get(), "lab_today"), today);
    for (const char* name : {"chart_days", "chart_months", "chart_items", "chart_commission", "chart_margin"})
        QCOMPARE(child<QWidget>(overview.get(), name)->isVisible(), money);
    for (const char* name : {"lab_last_week", "lab_cards_owed", "lab_top_ups", "lab_margin"})
        QCOMPARE(child<QWidget>(overview.get(), name)->isVisible(), money);
    auto* low = child<QTableWidget>(overview.get(), "low_stock");
    QCOMPARE(low->isVisible(), stock);
    if (!stock)
        return;
    QCOMPARE(low->rowCount(), 1);
    // Each column as wide as its content, whoever logged in before.
    const QAbstractItemView* cells = low;
    for (int c = 0; c < 3; ++c)
        QCOMPARE(low->columnWidth(c),
                 qMax(cells->sizeHintForColumn(c), low->horizontalHeader()->sectionSizeHint(c)));
}

// This month's 毛利: the goods sold less the cost written with each sale; a
// line without a purchase price is named apart; the month before is not in it.
void TstOverview::monthsMarginFromTheCostOfEachSale()
{
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    env.insert("jinhuo", {"可乐", "P1", "330ml", "24", "2.5", "12", "100", "供应商", "2026-01-01", ""});
    env.insert("jinhuo", {"雪碧", "P2", "330ml", "24", "0", "12", "100", "供应商", "2026-01-01", ""});
    const auto sellGoods = [&](const char* code, const char* quantity, const char* money, const char* date) {
        SaleEntry e = saleEntry({.money = money, .productCode = code});
        e.service = false;
        e.quantity = quantity;
        SaleService s(env.db());
        return s.save(e, s.check(e), date).kind == SaleOutcome::Saved;
    };
    QVERIFY(sellGoods("P1", "2", "30", "2026-11-30"));
    QVERIFY(sellGoods("P1", "3", "40", "2026-12-01")); // cost 7.5, to 8
    QVERIFY(sellGoods("P2", "1", "9", "2026-12-07"));
    sell(env, {"2026-12-07", "50"}); // a service: no cost, no 毛利
    const auto overview = shownOverview(env);
    QVERIFY(overview);
    QCOMPARE(labelText(overview.get(), "lab_margin"),
             QStringLiteral("本月商品毛利：32元（实收40元，成本8元）\n无进货价的商品销售额：9元"));

    // Per month: the 毛利 and, beside it, what sold without a cost, read
    // after the figures; no bars until then.
    QChart* c = chart(overview.get(), "chart_margin");
    QVERIFY(c->series().isEmpty());
    QSignalSpy margins(overview.get(), &OverviewWidget::marginsShown);
    QVERIFY(margins.wait(5000));
    const auto bars = [&] {
        QList<QList<double>> out;
        for (QBarSet* set : qobject_cast<QBarSeries*>(c->series().first())->barSets()) {
            QList<double> months;
            for (const char* month : {"10月", "11月", "12月"})
                months << set->at(categories(c).indexOf(month));
            out << months;
        }
        return out;
    };
    QCOMPARE(bars(), (QList<QList<double>>{{0, 25, 32}, {0, 0, 9}}));
    // Live after a sale: a goods line without a cost, then one sold below it.
    QVERIFY(sellGoods("P2", "1", "6", "2026-12-07"));
    env.ctx().notifier().changed({"salse"});
    QVERIFY(margins.wait(5000));
    QCOMPARE(bars(), (QList<QList<double>>{{0, 25, 32}, {0, 0, 15}}));
    // A month before this one, once a minute has passed since its last read.
    QVERIFY(sellGoods("P1", "20", "10", "2026-11-30")); // cost 50
    env.clock().set(env.clock().now().addSecs(60));
    env.ctx().notifier().changed({"salse"});
    QVERIFY(margins.wait(5000));
    QCOMPARE(bars(), (QList<QList<double>>{{0, -15, 32}, {0, 0, 15}}));
    // Below 0, on the chart.
    for (QAbstractAxis* a : c->axes(Qt::Vertical))
        QVERIFY(qobject_cast<QValueAxis*>(a)->min() <= -15);
}

void TstOverview::hiddenWhileATabIsOpenAndLiveAfterASale()
{
    TestEnv env;
    sell(env, {"2026-12-07", "10"});
    TabHost<PurchaseTab> host(env);
    QVERIFY(showActive(&host.window()));
    auto* overview = host.window().findChild<OverviewWidget*>("overview");
    QVERIFY(overview);
    QTRY_COMPARE(labelText(overview, "lab_today"), "今日（2026-12-07）：1笔，实收10元");

    QVERIFY(host.chooseFromMenuBar("DATAMAN", "jinhuo"));
    QVERIFY(host.tab() && host.tab()->isVisible());
    QVERIFY(!overview->isVisible());

    // Stored while the tab covers the overview: read once it shows again.
    sell(env, {"2026-12-07", "5"});
    env.ctx().notifier().changed({"salse"});
    QSignalSpy read(overview, &OverviewWidget::figuresShown);
    press(host.tab(), "cmd_exit");
    QVERIFY(overview->isVisible());
    QVERIFY(read.wait(5000));
    QCOMPARE(labelText(overview, "lab_today"), "今日（2026-12-07）：2笔，实收15元");

    // And while it shows, after the save.
    sell(env, {"2026-12-07", "1"});
    env.ctx().notifier().changed({"salse"});
    QVERIFY(read.wait(5000));
    QCOMPARE(labelText(overview, "lab_today"), "今日（2026-12-07）：3笔，实收16元");
    // The bar and the month's point moved with it.
    QCOMPARE(valueAt(overview, "12-07"), 16.0);
    QCOMPARE(valueAt(overview, "12月"), 16.0);
}

void TstOverview::dayBarOpensTheSalesOfThatDay()
{
    TestEnv env;
    registerWindows(env.ctx().windows());
    env.ctx().setLogin("ZED", "M");
    sell(env, {"2026-12-05", "10"});
    sell(env, {"2026-12-05", "30"});
    sell(env, {"2026-12-07", "20"});
    QWidget holder;
    auto* overview = qobject_cast<OverviewWidget*>(env.ctx().windows().createIdlePage(env.ctx(), &holder));
    QVERIFY(overview);
    QSignalSpy read(overview, &OverviewWidget::figuresShown);
    holder.resize(1200, 700);
    overview->resize(1200, 700);
    QVERIFY(showActive(&holder));
    QVERIFY(read.wait(5000));

    auto* view = child<QChartView>(overview, "chart_days");
    QChart* c = view->chart();
    QAbstractSeries* bars = c->series().first();
    const qsizetype day = indexOf(c, "12-05");
    const QPointF middle = c->mapToPosition(QPointF(day, 20), bars);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(c->mapToScene(middle)));

    auto* browser = qobject_cast<SalesRecordsWindow*>(env.ctx().windows().find(window_name::salesHistory));
    QVERIFY(browser);
    QCOMPARE(readFields(browser, std::initializer_list<const char*>{"txt_from", "txt_to"}),
             (QStringList{"2026-12-05", "2026-12-05"}));
    QCOMPARE(gridColumn(browser->grid(), 8), (QStringList{"10", "30"}));
}

void TstOverview::chartSavedAsPng()
{
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    sell(env, {"2026-12-07", "20"});
    const auto overview = shownOverview(env);
    QVERIFY(overview);
    QVERIFY(showActive(overview.get()));
    const QString file = env.dir() + "/days.png";
    env.messages().answerFile(file);
    auto* view = child<QChartView>(overview.get(), "chart_days");
    // The chart's own menu, from the right button.
    bool chosen = false;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        chosen = menu && clickMenuItem(menu, "save_png");
    });
    // A right click as the window system delivers it (QTest's clicks make no context menu event).
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(20, 20),
                                 view->viewport()->mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(view->viewport(), &rightClick);
    QTRY_VERIFY(chosen);
    QCOMPARE(shownAll(env), QStringList{"保存图表|save|近30天每日实收金额（点击查看当日业务）.png"});
    QImage saved;
    QVERIFY(saved.load(file, "PNG"));
    QCOMPARE(saved.size(), view->size() * view->devicePixelRatio());
}

void TstOverview::lowStockThreshold_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("said");
    QTest::addColumn<QStringList>("listed"); // product codes
    const QStringList byDefault = {"P5", "P0"};
    const QString refused = stop("库存不足提示数量必须是不小于0的数字！", "错误信息");
    QTest::newRow("not a number") << "五" << QStringList{refused} << byDefault;
    QTest::newRow("below zero") << "-1" << QStringList{refused} << byDefault;
    QTest::newRow("ten") << "10" << QStringList{} << QStringList{"P5", "P5.5", "P10", "P0"};
    QTest::newRow("zero") << "0" << QStringList{} << QStringList{"P0"};
}

void TstOverview::lowStockThreshold()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, said);
    QFETCH(QStringList, listed);
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    for (const QString stock : {"5", "5.5", "10", "11", "0"})
        env.insert("jinhuo", {"商品" + stock, "P" + stock, "", "", "", "", stock, "", "2026-01-01", ""});
    const auto overview = shownOverview(env);
    QVERIFY(overview);
    auto codes = [&] {
        QStringList out;
        auto* list = child<QTableWidget>(overview.get(), "low_stock");
        for (int r = 0; r < list->rowCount(); ++r)
            out << list->item(r, 0)->text();
        return out;
    };
    QCOMPARE(codes(), (QStringList{"P5", "P0"}));

    SettingsWindow settings(env.ctx());
    QVERIFY(showActive(&settings));
    press(&settings, "cmedit");
    QSignalSpy read(overview.get(), &OverviewWidget::figuresShown);
    type(child<QWidget>(&settings, "txt_low_stock"), typed);
    press(&settings, "cmsave");
    QCOMPARE(shownAll(env), said);
    if (said.isEmpty())
        QVERIFY(read.wait(5000));
    QCOMPARE(codes(), listed);
}

// Under the days' bars, every date that has room, always today's, each
// whole and apart from the next; the employees' names read across when
// they have room under their bars.
void TstOverview::labelsThatFit_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("employees");
    QTest::addColumn<bool>("everyDay");
    QTest::addColumn<int>("turned"); // the names
    QTest::newRow("wide, two employees") << QSize(1600, 700) << 2 << true << 0;
    QTest::newRow("narrow, eight employees") << QSize(900, 600) << 8 << false << -90;
}

void TstOverview::labelsThatFit()
{
    QFETCH(QSize, size);
    QFETCH(int, employees);
    QFETCH(bool, everyDay);
    QFETCH(int, turned);
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    for (int i = 1; i <= employees; ++i)
        sell(env, {"2026-12-0" + QString::number(i % 7 + 1), "10", QString("员工%1号技师").arg(i), "5"});
    const auto overview = shownOverview(env, size);
    QVERIFY(overview);

    // The axes are laid out once the chart has its size.
    QTRY_VERIFY(!labelsOf(overview.get(), "chart_days", "^\\d\\d-\\d\\d$").isEmpty());
    const QList<Label> dates = labelsOf(overview.get(), "chart_days", "^\\d\\d-\\d\\d$");
    QCOMPARE(dates.last().text, QString("12-07"));
    if (everyDay)
        QCOMPARE(dates.size(), 30);
    else
        QVERIFY2(dates.size() >= 5, qPrintable(QString::number(dates.size())));
    QCOMPARE(crowded(overview.get(), "chart_days", dates), QString());
    // Every month named, under its own point, in order.
    QChart* months = chart(overview.get(), "chart_months");
    const QList<Label> named = labelsOf(overview.get(), "chart_months", "^\\d+月$");
    QCOMPARE(named.size(), 12);
    QCOMPARE(crowded(overview.get(), "chart_months", named), QString());
    const qreal room = months->plotArea().width() / 12;
    for (qsizetype i = 0; i < named.size(); ++i) {
        QCOMPARE(named.at(i).text, QString("%1月").arg(i + 1));
        const QPointF point =
            months->mapToPosition(QPointF(static_cast<double>(i), 0), months->series().first());
        QVERIFY2(qAbs(named.at(i).at.center().x() - point.x()) < room / 4, qPrintable(named.at(i).text));
    }
    // The money along each chart: every tick labelled, a round step apart,
    // none running into the next.
    for (const char* name :
         {"chart_days", "chart_months", "chart_items", "chart_commission", "chart_margin"}) {
        QTRY_VERIFY2(labelsOf(overview.get(), name, "^-?\\d+$").size() >= 2, name);
        QList<Label> money = labelsOf(overview.get(), name, "^-?\\d+$");
        std::sort(money.begin(), money.end(),
                  [](const Label& a, const Label& b) { return a.text.toInt() < b.text.toInt(); });
        const int step = money.at(1).text.toInt() - money.at(0).text.toInt();
        for (qsizetype i = 1; i < money.size(); ++i)
            QVERIFY2(
                money.at(i).text.toInt() - money.at(i - 1).text.toInt() == step,
                qPrintable(QString("%1: %2 after %3").arg(name, money.at(i).text, money.at(i - 1).text)));
        QCOMPARE(crowded(overview.get(), name, money), QString());
    }
    const QList<Label> names = labelsOf(overview.get(), "chart_commission", "^员工\\d+号技师$");
    QCOMPARE(names.size(), employees);
    for (const Label& name : names)
        QCOMPARE(qRound(name.turned), turned);
}

QTEST_MAIN(TstOverview)
#include "tst_integration_overview.moc"
