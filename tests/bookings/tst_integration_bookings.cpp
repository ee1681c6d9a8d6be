// 预约管理 as a person uses it: the day view, moving by day, a booking typed
// into its dialog (and refused as typed), its life up to the sale that
// completes it, the day sheet, the hours set in 系统设置 and the bookings in
// the card history.
#include "bookings/booking_window.h"
#include "bookings/day_model.h"
#include "data/bookings.h"
#include "data/schema.h"
#include "support/pdf_tools.h"
#include "support/ui.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>

using namespace shop;
using namespace shop::test;

namespace {

namespace y = schema::yuyue;

void addWorker(TestEnv& env, const QString& name)
{
    env.insert(schema::worker::kTable, {name, "男", "1990-01", "高中", "本地", "未婚", "技师", "3000",
                                        "13800000000", "2026-01-01", "", ""});
}

qint64 book(TestEnv& env, const QString& date, const QString& employee, const QString& start,
            const QString& minutes, const QString& service = QStringLiteral("剪发"),
            const QString& card = QStringLiteral("C01"))
{
    bookings::Request r;
    r.date = date;
    r.start = start;
    r.minutes = minutes;
    r.card = card;
    r.name = card.isEmpty() ? QStringLiteral("赵六") : QString();
    r.phone = card.isEmpty() ? QStringLiteral("13900000000") : QString();
    r.serviceItem = service;
    r.employee = employee;
    const bookings::Outcome o = bookings::book(env.db(), r, bookings::Hours{});
    if (!o.ok())
        qWarning("booking refused: %d %s", int(o.refusal), qPrintable(o.error));
    return o.rowid;
}

QString stateOf(TestEnv& env, qint64 rowid)
{
    return bookings::find(env.db(), rowid)->state;
}

} // namespace

class TstIntegrationBookings : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    BookingWindow* window = nullptr;

    // 王五, 张三, 李四 in stored order; card C01 of 王五 (a card of uses).
    void seed()
    {
        for (const char* n : {"王五", "张三", "李四"})
            addWorker(*env, QString::fromUtf8(n));
        env->insert(schema::numbercard::kTable,
                    {"2026-01-01", "C01", "王五", "王五", "剪发", "0", "10", "月卡", ""});
    }

    BookingWindow* open()
    {
        registerWindows(env->ctx().windows());
        window = qobject_cast<BookingWindow*>(env->ctx().windows().open(env->ctx(), "frm_yuyue"));
        if (window)
            showActive(window);
        return window;
    }

    QTableView* view() { return child<QTableView>(window, "day_bg"); }
    DayModel* model() { return window->day(); }

    int columnOf(const QString& header)
    {
        for (int c = 0; c < model()->columnCount(); ++c)
            if (model()->headerData(c, Qt::Horizontal).toString() == header)
                return c;
        return -1;
    }
    int rowOf(const QString& slot)
    {
        for (int r = 0; r < model()->rowCount(); ++r)
            if (model()->headerData(r, Qt::Vertical).toString() == slot)
                return r;
        return -1;
    }
    QString cell(const QString& slot, const QString& header)
    {
        return model()->index(rowOf(slot), columnOf(header)).data().toString();
    }
    // A click on a cell, as a person picks it.
    void clickCell(const QString& slot, const QString& header)
    {
        const QModelIndex i = model()->index(rowOf(slot), columnOf(header));
        view()->scrollTo(i);
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, view()->visualRect(i).center());
    }
    QWidget* dialog() { return window->findChild<QWidget*>("frm_yuyue_edit"); }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        seed();
    }
    void cleanup()
    {
        env->ctx().windows().closeAll();
        window = nullptr;
        env.reset();
    }

    void dayViewHasAColumnPerEmployeeAndARowPerSlot();
    void movesByDay_data();
    void movesByDay();
    void bookingTypedByKeyboard();
    void dialogRefusesBadInput_data();
    void dialogRefusesBadInput();
    void saleCompletesTheBookingOnlyWhenStored_data();
    void saleCompletesTheBookingOnlyWhenStored();
    void cardRenumberedSinceStopsTheSale();
    void cancelAndNoShows();
    void daySheetAsPdf();
    void hoursSetInSettings_data();
    void hoursSetInSettings();
    void cardHistoryShowsTheBookings();
    void overviewShowsTheDaysBookings();
};

void TstIntegrationBookings::dayViewHasAColumnPerEmployeeAndARowPerSlot()
{
    book(*env, "2026-12-07", "张三", "10:00", "60");
    book(*env, "2026-12-07", "", "14:00", "30", "洗头", "");
    addWorker(*env, "钱七");
    book(*env, "2026-12-07", "钱七", "09:00", "30");
    QVERIFY(env->db().exec("DELETE FROM worker WHERE 姓名 = '钱七'"));
    QVERIFY(open());
    QStringList headers;
    for (int c = 0; c < model()->columnCount(); ++c)
        headers << model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, QStringList({"王五", "张三", "李四", "钱七（已删除）", "未指定员工"}));
    QCOMPARE(model()->rowCount(), 24);
    QCOMPARE(model()->headerData(0, Qt::Vertical).toString(), QString("09:00"));
    QCOMPARE(model()->headerData(23, Qt::Vertical).toString(), QString("20:30"));
    QCOMPARE(cell("10:00", "张三"), QString("10:00 王五 剪发【已预约】"));
    QCOMPARE(cell("10:30", "张三"), QString("〃"));
    QCOMPARE(cell("11:00", "张三"), QString());
    QCOMPARE(cell("10:00", "王五"), QString());
    QCOMPARE(cell("14:00", "未指定员工"), QString("14:00 赵六 洗头【已预约】"));
    QCOMPARE(cell("09:00", "钱七（已删除）"), QString("09:00 王五 剪发【已预约】"));
    QCOMPARE(
        child<QLabel>(window, "lab_summary")->text(),
        QString(
            "本日预约 3 个：已预约 3，已到店 0，已完成 0，取消 0，未到 0　（1 个预约已过结束时间仍未到店）"));
    QCOMPARE(gridColumn(child<RecordView>(window, "bg"), 1), QStringList({"09:00", "10:00", "14:00"}));
}

void TstIntegrationBookings::movesByDay_data()
{
    QTest::addColumn<QStringList>("steps"); // a button, a key, or "type:<date>"
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("said");
    QTest::newRow("next") << QStringList{"cmd_next"} << "2026-12-08"
                          << "";
    QTest::newRow("previous") << QStringList{"cmd_prev"} << "2026-12-06"
                              << "";
    QTest::newRow("back to today") << QStringList{"cmd_next", "cmd_next", "cmd_today"} << "2026-12-07"
                                   << "";
    QTest::newRow("ctrl+pgdown") << QStringList{"ctrl+pgdown"} << "2026-12-08"
                                 << "";
    QTest::newRow("ctrl+pgup over a month") << QStringList{"type:2026-12-01", "ctrl+pgup"} << "2026-11-30"
                                            << "";
    QTest::newRow("typed") << QStringList{"type:2027-01-15"} << "2027-01-15"
                           << "";
    QTest::newRow("typed unpadded") << QStringList{"type:2026-12-8"} << "2026-12-07"
                                    << stop("请按“年-月-日”的形式输入日期，例如：2026-12-07");
    QTest::newRow("typed no such day") << QStringList{"cmd_next", "type:2026-02-30"} << "2026-12-08"
                                       << stop("请按“年-月-日”的形式输入日期，例如：2026-12-07");
}

void TstIntegrationBookings::movesByDay()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    QFETCH(QString, said);
    book(*env, "2026-12-08", "李四", "11:00", "30");
    QVERIFY(open());
    for (const QString& s : steps) {
        if (s.startsWith("type:")) {
            QLineEdit* date = child<QLineEdit>(window, "txt_date");
            date->setFocus();
            type(date, s.mid(5));
            QTest::keyClick(date, Qt::Key_Return);
        } else if (s == "ctrl+pgdown" || s == "ctrl+pgup") {
            view()->setFocus();
            QTest::keyClick(view(), s == "ctrl+pgup" ? Qt::Key_PageUp : Qt::Key_PageDown,
                            Qt::ControlModifier);
        } else {
            press(window, qPrintable(s));
        }
    }
    QCOMPARE(window->shownDate(), shown);
    QCOMPARE(child<QLineEdit>(window, "txt_date")->text().isEmpty(), false);
    QCOMPARE(shownAll(*env), said.isEmpty() ? QStringList() : QStringList{said});
    QCOMPARE(cell("11:00", "李四").isEmpty(), shown != "2026-12-08");
}

void TstIntegrationBookings::bookingTypedByKeyboard()
{
    // 烫发 was last booked for 90 minutes; 王五 came on the 1st.
    book(*env, "2026-11-20", "王五", "10:00", "90", "烫发");
    env->insert(schema::salse::kHistory,
                {"2026-12-01", "其它服务", "C01", "", "", "", "", "", "30", "剪发", "张三", "", "0"});
    QVERIFY(open());
    clickCell("10:00", "李四");
    QTest::keyClick(view(), Qt::Key_Down);
    QTest::keyClick(view(), Qt::Key_Return);
    QWidget* d = dialog();
    QVERIFY(d);
    QTRY_VERIFY(d->isActiveWindow());
    QCOMPARE(readFields(d, std::array{"txt_date", "txt_start", "txt_minutes", "com_name"}),
             QStringList({"2026-12-07", "10:30", "30", "李四"}));
    QLineEdit* card = child<QLineEdit>(d, "txt_card");
    card->setFocus();
    typeMore(card, "C01");
    QTest::keyClick(card, Qt::Key_Return);
    QCOMPARE(textOf(d, "txt_name"), QString("王五"));
    QCOMPARE(child<QLabel>(d, "lab_visits")->text(), QString("上次到店：2026-12-01　近90天到店：1次"));
    QCOMPARE(focusName(), QString("txt_service"));
    typeKeys("烫发");
    pressKey(Qt::Key_Return);
    QCOMPARE(textOf(d, "txt_minutes"), QString("90"));
    press(d, "cmd_save");
    QCOMPARE(shownAll(*env), QStringList());
    QTRY_VERIFY(!dialog());
    const auto day = bookings::ofDay(env->db(), "2026-12-07");
    QCOMPARE(day->size(), 1);
    QCOMPARE(QStringList({day->at(0).start, day->at(0).end, day->at(0).employee, day->at(0).card,
                          day->at(0).name, day->at(0).login}),
             QStringList({"10:30", "12:00", "李四", "C01", "王五", env->ctx().curUser()}));
    QCOMPARE(cell("10:30", "李四"), QString("10:30 王五 烫发【已预约】"));
    QCOMPARE(cell("11:30", "李四"), QString("〃"));
    // The new booking is the current cell: Enter changes it.
    QTest::keyClick(view(), Qt::Key_Return);
    QVERIFY(dialog());
    QCOMPARE(dialog()->windowTitle(), QString("修改预约"));
    QCOMPARE(readFields(dialog(), std::array{"txt_card", "txt_service", "txt_start", "txt_minutes"}),
             QStringList({"C01", "烫发", "10:30", "90"}));
}

void TstIntegrationBookings::dialogRefusesBadInput_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("focus");
    QTest::newRow("date unpadded") << "txt_date"
                                   << "2026-12-8"
                                   << "请按“年-月-日”的形式输入日期，例如：2026-12-07"
                                   << "txt_date";
    QTest::newRow("start unpadded") << "txt_start"
                                    << "9:30"
                                    << "请按“时:分”的形式输入开始时间，例如：09:30"
                                    << "txt_start";
    QTest::newRow("before opening") << "txt_start"
                                    << "08:30"
                                    << "预约时间必须在营业时间 09:00-21:00 之内！"
                                    << "txt_start";
    QTest::newRow("past closing") << "txt_start"
                                  << "20:45"
                                  << "预约时间必须在营业时间 09:00-21:00 之内！"
                                  << "txt_start";
    QTest::newRow("end at the start") << "txt_minutes"
                                      << "0"
                                      << "结束时间必须晚于开始时间，时长至少1分钟！"
                                      << "txt_minutes";
    QTest::newRow("end before the start") << "txt_minutes"
                                          << "-30"
                                          << "结束时间必须晚于开始时间，时长至少1分钟！"
                                          << "txt_minutes";
    QTest::newRow("length in words") << "txt_minutes"
                                     << "半小时"
                                     << "时长请输入分钟数，例如：30"
                                     << "txt_minutes";
    QTest::newRow("no such card") << "txt_card"
                                  << "C99"
                                  << "未找到此卡号，请检查是否输入有误！"
                                  << "txt_card";
    QTest::newRow("no card, no name") << "txt_card"
                                      << ""
                                      << "请输入会员卡号，或非会员的姓名和联系电话！"
                                      << "txt_card";
    QTest::newRow("no service") << "txt_service"
                                << ""
                                << "请输入服务项目！"
                                << "txt_service";
    QTest::newRow("employee not stored") << "com_name"
                                         << "钱七"
                                         << "此员工已不存在，请重新选择员工！"
                                         << "com_name";
    QTest::newRow("in the way")
        << "txt_start"
        << "10:15"
        << "员工张三在这段时间已有预约：2026-12-07 10:00-11:00 王五（剪发），不能重复预约！"
        << "txt_start";
}

void TstIntegrationBookings::dialogRefusesBadInput()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, said);
    QFETCH(QString, focus);
    book(*env, "2026-12-07", "张三", "10:00", "60");
    QVERIFY(open());
    clickCell("11:00", "张三");
    press(window, "cmd_add");
    QWidget* d = dialog();
    QVERIFY(d);
    QTRY_VERIFY(d->isActiveWindow());
    fillFields(d, std::array{"txt_card", "txt_service"}, {"C01", "剪发"});
    type(child<QWidget>(d, qPrintable(field)), typed);
    const auto before = env->rows(y::kTable);
    press(d, "cmd_save");
    QCOMPARE(shownAll(*env), QStringList{stop(said)});
    QCOMPARE(env->rows(y::kTable), before);
    QVERIFY(dialog() && dialog()->isVisible());
    QCOMPARE(focusName(), focus);
    // Mended, it is stored.
    env->messages().clear();
    type(child<QWidget>(d, qPrintable(field)), field == "txt_date"      ? "2026-12-07"
                                               : field == "txt_start"   ? "11:00"
                                               : field == "txt_minutes" ? "30"
                                               : field == "txt_card"    ? "C01"
                                               : field == "txt_service" ? "剪发"
                                                                        : "张三");
    press(d, "cmd_save");
    QCOMPARE(shownAll(*env), QStringList());
    QTRY_VERIFY(!dialog());
    QCOMPARE(env->rows(y::kTable).size(), 2);
}

void TstIntegrationBookings::saleCompletesTheBookingOnlyWhenStored_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QString>("state");
    QTest::newRow("saved") << "yes"
                           << "已完成";
    QTest::newRow("answered no") << "no"
                                 << "已到店";
    QTest::newRow("window closed") << "close"
                                   << "已到店";
    QTest::newRow("another card typed") << "other card"
                                        << "已到店";
}

void TstIntegrationBookings::saleCompletesTheBookingOnlyWhenStored()
{
    QFETCH(QString, ending);
    QFETCH(QString, state);
    env->insert(schema::numbercard::kTable,
                {"2026-01-01", "C02", "王五", "孙八", "剪发", "0", "10", "月卡", ""});
    const qint64 rowid = book(*env, "2026-12-07", "张三", "10:00", "60");
    QVERIFY(open());
    clickCell("10:30", "张三");
    press(window, "cmd_sale");
    QCOMPARE(stateOf(*env, rowid), QString("已到店"));
    QWidget* sale = env->ctx().windows().find("frmyewu");
    QVERIFY(sale);
    QVERIFY(showActive(sale));
    QCOMPARE(readFields(sale, std::array{"txt_card_number", "txt_service", "com_name"}),
             QStringList({"C01", "剪发", "张三"}));
    QVERIFY(child<QCheckBox>(sale, "qita")->isChecked());
    QCOMPARE(cell("10:00", "张三"), QString("10:00 王五 剪发【已到店】"));
    if (ending == "other card")
        type(child<QLineEdit>(sale, "txt_card_number"), "C02");
    type(child<QLineEdit>(sale, "txt_money"), "30");
    if (ending == "close") {
        sale->close();
    } else {
        env->messages().answer(ending == "no" ? QMessageBox::No : QMessageBox::Yes);
        press(sale, "cmd_save");
    }
    QCOMPARE(stateOf(*env, rowid), state);
    const auto sales = env->rows(schema::salse::kHistory);
    QCOMPARE(sales.size(), ending == "yes" || ending == "other card" ? 1 : 0);
    if (ending == "yes") {
        const auto key = env->db().selectOne("SELECT rowid FROM salse_history");
        QCOMPARE(bookings::find(env->db(), rowid)->sale, key->value(0).toString());
        QCOMPARE(cell("10:00", "张三"), QString("10:00 王五 剪发【已完成】"));
        // A booking done cannot be cancelled.
        clickCell("10:00", "张三");
        env->messages().clear();
        env->messages().answerInput("改期");
        press(window, "cmd_cancel");
        QCOMPARE(shownAll(*env).last(), stop("此预约的状态是“已完成”，不能取消！"));
    }
}

void TstIntegrationBookings::cardRenumberedSinceStopsTheSale()
{
    const qint64 rowid = book(*env, "2026-12-07", "张三", "10:00", "60");
    QVERIFY(env->db().exec("UPDATE numbercard SET 卡号 = 'C09'"));
    QVERIFY(open());
    clickCell("10:00", "张三");
    press(window, "cmd_sale");
    QCOMPARE(shownAll(*env), QStringList{stop("预约的会员卡（卡号C01）已被删除或改号，请重新输入卡号！")});
    QCOMPARE(stateOf(*env, rowid), QString("已预约"));
    QVERIFY(!env->ctx().windows().find("frmyewu"));
}

void TstIntegrationBookings::cancelAndNoShows()
{
    env->clock().set(QDateTime(QDate(2026, 12, 7), QTime(12, 0)));
    const qint64 early = book(*env, "2026-12-07", "张三", "10:00", "60");
    const qint64 late = book(*env, "2026-12-07", "李四", "11:00", "60");
    const qint64 later = book(*env, "2026-12-07", "王五", "15:00", "30");
    QVERIFY(open());
    QVERIFY(child<QPushButton>(window, "cmd_overdue")->isEnabled());
    // The one still on its way is not offered.
    env->messages().answer(QMessageBox::Yes);
    press(window, "cmd_overdue");
    QCOMPARE(shownAll(*env), QStringList{ask("以下预约已过结束时间仍未到店，全部标记为未到吗？\n"
                                             "2026-12-07 10:00-11:00 王五（剪发）\n"
                                             "2026-12-07 11:00-12:00 王五（剪发）",
                                             "未到")});
    QCOMPARE(QStringList({stateOf(*env, early), stateOf(*env, late), stateOf(*env, later)}),
             QStringList({"未到", "未到", "已预约"}));
    QVERIFY(!child<QPushButton>(window, "cmd_overdue")->isEnabled());
    // A cancellation asks why; no answer, nothing changes.
    clickCell("15:00", "王五");
    env->messages().clear();
    press(window, "cmd_cancel");
    QCOMPARE(stateOf(*env, later), QString("已预约"));
    env->messages().answerInput("顾客生病");
    press(window, "cmd_cancel");
    QCOMPARE(
        shownAll(*env),
        QStringList({input("取消预约：2026-12-07 15:00-15:30 王五（剪发）\n请输入取消原因：", "取消预约"),
                     input("取消预约：2026-12-07 15:00-15:30 王五（剪发）\n请输入取消原因：", "取消预约")}));
    const auto b = bookings::find(env->db(), later);
    QCOMPARE(QStringList({b->state, b->reason}), QStringList({"取消", "顾客生病"}));
    // Its time is free again, and a cancelled booking is not changed.
    env->messages().clear();
    press(window, "cmd_edit");
    QCOMPARE(shownAll(*env), QStringList{stop("此预约的状态是“取消”，不能修改！")});
}

void TstIntegrationBookings::daySheetAsPdf()
{
    book(*env, "2026-12-07", "张三", "10:00", "60");
    book(*env, "2026-12-07", "张三", "13:00", "30", "洗头", "");
    book(*env, "2026-12-07", "李四", "10:00", "60", "烫发");
    QVERIFY(open());
    clickCell("12:00", "张三");
    const QString file = env->dir() + "/日程";
    env->messages().answerFile(file);
    press(window, "cmd_pdf");
    QCOMPARE(shownAll(*env).last(), info("预约日程表已保存为PDF文件：\n" + file + ".pdf"));
    const QString text = pdfText(file + ".pdf");
    QVERIFY2(text.contains("员工：张三") && text.contains("2026-12-07"), qPrintable(text));
    QVERIFY2(text.contains(QRegularExpression("10:00-11:00 +王五 +C01 +剪发 +已预约")), qPrintable(text));
    QVERIFY2(text.contains("13:00-13:30"), qPrintable(text));
    QVERIFY2(!text.contains("烫发"), qPrintable(text));
    QVERIFY2(text.contains("共 2 个预约"), qPrintable(text));
    // The day's bookings as CSV, through the grid's export.
    env->messages().clear();
    env->messages().answerFile(env->dir() + "/预约.csv");
    press(window, "cmd_csv");
    QCOMPARE(shownAll(*env).last(), info("已导出 3 行记录到文件：\n" + env->dir() + "/预约.csv", "导出"));
    QFile csv(env->dir() + "/预约.csv");
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(csv.readAll())
                 .count(QRegularExpression("^2026-12-07,", QRegularExpression::MultilineOption)),
             3);
    // Without a printer 打印日程 says so and offers the file.
    env->messages().clear();
    press(window, "cmd_print");
    QCOMPARE(shownAll(*env).first(),
             stop("你的电脑未安装打印机驱动程序！，请在‘控制面板’中添加打印机！！", "打印错误"));
}

void TstIntegrationBookings::hoursSetInSettings_data()
{
    QTest::addColumn<QString>("open");
    QTest::addColumn<QString>("close");
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QStringList>("rows"); // count, first, last
    QTest::newRow("quarter hours") << "08:00"
                                   << "12:00"
                                   << "15分钟"
                                   << "" << QStringList{"16", "08:00", "11:45"};
    QTest::newRow("half hours") << "10:00"
                                << "22:00"
                                << "30分钟"
                                << "" << QStringList{"24", "10:00", "21:30"};
    QTest::newRow("unpadded") << "8:00"
                              << "12:00"
                              << "15分钟"
                              << "营业时间请按“时:分”的形式输入，例如：09:00"
                              << QStringList{"24", "09:00", "20:30"};
    QTest::newRow("closing first") << "12:00"
                                   << "08:00"
                                   << "30分钟"
                                   << "打烊时间必须晚于开门时间！" << QStringList{"24", "09:00", "20:30"};
}

void TstIntegrationBookings::hoursSetInSettings()
{
    QFETCH(QString, open);
    QFETCH(QString, close);
    QFETCH(QString, slot);
    QFETCH(QString, said);
    QFETCH(QStringList, rows);
    registerWindows(env->ctx().windows());
    QWidget* setup = env->ctx().windows().open(env->ctx(), "frmsetup");
    QVERIFY(showActive(setup));
    press(setup, "cmedit");
    fillFields(setup, std::array{"txt_open", "txt_close"}, {open, close});
    QVERIFY(chooseFromList(child<QComboBox>(setup, "cbo_slot"), slot));
    press(setup, "cmsave");
    QCOMPARE(shownAll(*env), said.isEmpty() ? QStringList() : QStringList{stop(said, "错误信息")});
    if (!said.isEmpty())
        setup->close();
    QVERIFY(this->open());
    QCOMPARE(
        QStringList({QString::number(model()->rowCount()), model()->headerData(0, Qt::Vertical).toString(),
                     model()->headerData(model()->rowCount() - 1, Qt::Vertical).toString()}),
        rows);
}

void TstIntegrationBookings::cardHistoryShowsTheBookings()
{
    book(*env, "2026-12-01", "张三", "10:00", "60");
    book(*env, "2026-12-09", "李四", "15:00", "30", "烫发");
    book(*env, "2026-12-09", "张三", "15:00", "30", "洗头", "");
    registerWindows(env->ctx().windows());
    QWidget* history = env->ctx().windows().open(env->ctx(), "frm_kawu");
    QVERIFY(showActive(history));
    QLineEdit* card = child<QLineEdit>(history, "txt_card");
    card->setFocus();
    typeMore(card, "C01");
    QTest::keyClick(card, Qt::Key_Return);
    RecordView* booked = child<RecordView>(history, "yuyue_bg");
    QCOMPARE(gridColumn(booked, 0), QStringList({"2026-12-09", "2026-12-01"}));
    QCOMPARE(gridColumn(booked, 7), QStringList({"烫发", "剪发"}));
}

void TstIntegrationBookings::overviewShowsTheDaysBookings()
{
    book(*env, "2026-12-07", "张三", "09:00", "60");                       // over at 10:00
    book(*env, "2026-12-07", "", "11:00", "30", "洗头", "");               // to come
    book(*env, "2026-12-07", "李四", "10:30", "30", "烫发");               // to come
    book(*env, "2026-12-07", "王五", "12:00", "30");                       // to come, beyond the three
    const qint64 off = book(*env, "2026-12-07", "王五", "15:00", "30");    // cancelled
    const qint64 missed = book(*env, "2026-12-02", "张三", "10:00", "30"); // this month
    const qint64 earlier = book(*env, "2026-11-30", "张三", "10:00", "30");
    QVERIFY(bookings::setState(env->db(), off, bookings::State::Cancelled, "改期").ok());
    QVERIFY(bookings::setState(env->db(), missed, bookings::State::NoShow).ok());
    QVERIFY(bookings::setState(env->db(), earlier, bookings::State::NoShow).ok());
    QWidget host;
    registerWindows(env->ctx().windows());
    QWidget* overview = env->ctx().windows().createIdlePage(env->ctx(), &host);
    QLabel* shown = child<QLabel>(overview, "lab_bookings");
    host.show();
    QTRY_VERIFY(!shown->text().isEmpty());
    QCOMPARE(
        shown->text(),
        QString("今日预约：4个　本月未到：1个\n"
                "接下来：10:30 李四 王五（烫发）；11:00 未指定员工 赵六（洗头）；12:00 王五 王五（剪发）"));

    // A booking changed elsewhere reads the figures again.
    book(*env, "2026-12-07", "张三", "13:00", "30", "洗头");
    env->ctx().notifier().changed({y::kTable});
    QTRY_COMPARE(shown->text(),
                 QString("今日预约：5个　本月未到：1个\n"
                         "接下来：10:30 李四 王五（烫发）；11:00 未指定员工 赵六（洗头）；12:00 "
                         "王五 王五（剪发）"));
}

QTEST_MAIN(TstIntegrationBookings)
#include "tst_integration_bookings.moc"
