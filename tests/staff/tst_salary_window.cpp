#include "staff/salary_window.h"
#include "support/ui.h"
#include "support/unprivileged.h"
#include "ui/worker_box.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <optional>

using namespace shop;
using namespace shop::test;

namespace {

using Rows = QList<QStringList>;

// Typed fields in the order of the Enter chain.
const char* const kChain[] = {"txt_ti_je",  "txt_quanqin", "txt_gl",    "txt_jiangjin",
                              "txt_chidao", "txt_zaotui",  "txt_fakuan"};
// The employee, the base pay, the chain and the two pay figures.
const char* const kForm[] = {"com_name",   "lab_salary",   "txt_ti_je",  "txt_quanqin",
                             "txt_gl",     "txt_jiangjin", "txt_chidao", "txt_zaotui",
                             "txt_fakuan", "lab_yfgz",     "lab_gz"};

QStringList worker(const QString& name, const QString& pay)
{
    return {name, "女", "", "", "", "", "", pay, "", "", name + "-id", ""};
}

// A transaction of `employee`: date, amount received, service item, commission.
QStringList sale(const QString& date, const QString& employee, const QString& commission,
                 const QString& item = "洗剪吹", const QString& amount = "100")
{
    return {date, "服务", "", "", "", "1", "", "", amount, item, employee, "", commission};
}

QStringList statement(const QString& name, const QString& gross = " 2200元", const QString& net = " 2140元")
{
    return {name, "1500元", "350元", "100", "50", "200", "20", "10", "30", gross, net};
}

QString pdfText(const QString& file)
{
    QProcess p;
    p.start(QStandardPaths::findExecutable("pdftotext"), {"-enc", "UTF-8", file, "-"});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TstSalaryWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<SalaryWindow> w_;

    void open(const Rows& workers, const Rows& sales, const Rows& statements = {})
    {
        for (const QStringList& r : workers)
            env_->insert("worker", r);
        for (const QStringList& r : sales)
            env_->insert("salse", r);
        for (const QStringList& r : statements)
            env_->insert("salary", r);
        w_ = std::make_unique<SalaryWindow>(env_->ctx());
        QVERIFY(showActive(w_.get()));
    }
    WorkerBox* nameBox() const { return child<WorkerBox>(w_.get(), "com_name"); }
    void choose(const QString& name) { QVERIFY(chooseFromList(nameBox(), name)); }
    // Types the fields along the Enter chain, Enter after each (the last
    // Enter computes the pay).
    void typeAlongChain(const QStringList& values)
    {
        child<QWidget>(w_.get(), kChain[0])->setFocus();
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(focusName(), QString(kChain[i]));
            type(child<QWidget>(w_.get(), kChain[i]), values.value(i));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        }
    }
    QStringList commissions() const { return gridColumn(w_->salesGrid(), 12); }
    // 打印 with the first saved statement selected and no printer: Yes to the PDF.
    void printSelectedWithoutPrinter()
    {
        clickRow(w_->grid(), 0);
        env_->messages().answer(QMessageBox::Ok);
        env_->messages().answer(QMessageBox::Yes);
        press(w_.get(), "cmd_prn");
    }
    QStringList fieldTexts() const { return readFields(w_.get(), kForm); }

private slots:
    void init() { env_ = std::make_unique<TestEnv>(); }
    void cleanup()
    {
        w_.reset();
        env_.reset();
    }

    void opening()
    {
        open({worker("张三", "1500")}, {sale("2026-01-01", "张三", "5")}, {statement("张三")});
        QCOMPARE(textOf(w_.get(), "txt_from"), QString("2026-11-07"));
        QCOMPARE(textOf(w_.get(), "txt_to"), QString("2026-12-07"));
        QVERIFY(!child<QPushButton>(w_.get(), "cmd_save")->isEnabled());
        QCOMPARE(gridColumn(w_->grid(), 0), QStringList{"张三"});
        QCOMPARE(commissions(), QStringList{"5"});
        QCOMPARE(env_->messages().count(), 0);
    }

    // Choosing from the list calls the employee up; without any business
    // the name is blanked again.
    void chooseEmployee_data()
    {
        QTest::addColumn<QString>("pay");
        QTest::addColumn<Rows>("sales");
        QTest::addColumn<QString>("nameAfter");
        QTest::addColumn<QString>("basePay");
        QTest::addColumn<QStringList>("shown");

        const Rows two = {sale("2020-05-01", "张三", "7"), sale("2026-12-01", "李四", "9"),
                          sale("2026-12-02", "张三", "8")};
        QTest::newRow("every transaction of the employee, any date") << "1500" << two << "张三"
                                                                     << "1500元" << QStringList{"7", "8"};
        QTest::newRow("pay with a fraction and blanks") << " 1500.50 " << two << "张三"
                                                        << "1500.5元" << QStringList{"7", "8"};
        QTest::newRow("pay that is no number") << "abc" << two << "张三"
                                               << "0元" << QStringList{"7", "8"};
        QTest::newRow("no business: the name is blanked again")
            << "1500" << Rows{sale("2026-12-01", "李四", "9")} << ""
            << "" << QStringList{};
    }
    void chooseEmployee()
    {
        QFETCH(QString, pay);
        QFETCH(Rows, sales);
        QFETCH(QString, nameAfter);
        QFETCH(QString, basePay);
        QFETCH(QStringList, shown);

        open({worker("李四", "900"), worker("张三", pay)}, sales);
        choose("张三");
        QCOMPARE(textOf(w_.get(), "com_name"), nameAfter);
        QCOMPARE(textOf(w_.get(), "lab_salary"), basePay);
        QCOMPARE(child<QGroupBox>(w_.get(), "Frame2")->title(), QString("张三业务发生记录"));
        QCOMPARE(commissions(), shown);
        QCOMPARE(focusName(), QString("txt_ti_je"));
        QCOMPARE(child<QPushButton>(w_.get(), "cmd_save")->isEnabled(), !nameAfter.isEmpty());
        QCOMPARE(env_->messages().count(), 0);
    }

    void typedNameIsNotChosen()
    {
        open({worker("张三", "1500")}, {sale("2026-12-01", "张三", "7"), sale("2026-12-01", "李四", "9")});
        nameBox()->setFocus();
        type(nameBox(), "张三");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(textOf(w_.get(), "lab_salary"), QString());
        QCOMPARE(commissions(), QStringList({"7", "9"}));
        QCOMPARE(focusName(), QString("com_name"));
        // A typed name is enough to save.
        QVERIFY(child<QPushButton>(w_.get(), "cmd_save")->isEnabled());
    }

    // "确定(&C)": the employee's transactions in the period and their
    // commission, rounded after each row.
    void periodCommission_data()
    {
        QTest::addColumn<Rows>("sales");
        QTest::addColumn<QString>("total");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("messages");

        QTest::newRow("2.5 and 2.5 give 4")
            << Rows{sale("2026-11-20", "张三", "2.5"), sale("2026-11-21", "张三", "2.5")} << "4元"
            << QStringList{"2.5", "2.5"} << QStringList{};
        QTest::newRow("both ends included; other days and employees left out")
            << Rows{sale("2026-11-06", "张三", "100"), sale("2026-11-07", "张三", "5"),
                    sale("2026-12-07", "李四", "1000"), sale("2026-12-07", "张三", "7"),
                    sale("2026-12-08", "张三", "100")}
            << "12元" << QStringList{"5", "7"} << QStringList{};
        QTest::newRow("1,000 counts as 1, abc as 0")
            << Rows{sale("2026-12-01", "张三", "1,000"), sale("2026-12-01", "张三", "abc"),
                    sale("2026-12-01", "张三", "3")}
            << "4元" << QStringList{"1,000", "abc", "3"} << QStringList{};
        QTest::newRow("no business in the period")
            << Rows{sale("2026-01-01", "张三", "5")} << "0元" << QStringList{} << QStringList{};
        QTest::newRow("beyond a whole number: said, the box kept")
            << Rows{sale("2026-12-01", "张三", "9e18"), sale("2026-12-02", "张三", "9e18")} << "typed"
            << QStringList{"9e18", "9e18"} << QStringList{stop("提成总额超出整数范围，无法计算！")};
    }
    void periodCommission()
    {
        QFETCH(Rows, sales);
        QFETCH(QString, total);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, messages);

        open({worker("张三", "1500")}, sales);
        choose("张三");
        type(child<QWidget>(w_.get(), "txt_ti_je"), "typed");
        press(w_.get(), "cmd_ok");
        QCOMPARE(textOf(w_.get(), "txt_ti_je"), total);
        QCOMPARE(commissions(), shown);
        QCOMPARE(shownAll(*env_), messages);
    }

    // Both period dates follow the sales records browser's rule and words:
    // a wrong one is said, nothing is counted, and the box has the focus.
    void periodDateChecked_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("button");
        QTest::newRow("from without its zero, 确定") << "txt_from"
                                                     << "2026-12-1"
                                                     << "cmd_ok";
        QTest::newRow("to with slashes, 确定") << "txt_to"
                                               << "2026/12/07"
                                               << "cmd_ok";
        QTest::newRow("from, no such day, 选择/统计") << "txt_from"
                                                      << "2026-02-30"
                                                      << "cmd_select";
        QTest::newRow("to empty, 选择/统计") << "txt_to"
                                             << ""
                                             << "cmd_select";
    }
    void periodDateChecked()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, button);

        open({worker("张三", "1500")}, {sale("2026-12-01", "张三", "7"), sale("2026-12-02", "张三", "9")});
        choose("张三");
        type(child<QWidget>(w_.get(), "txt_ti_je"), "typed");
        type(child<QWidget>(w_.get(), qPrintable(box)), typed);
        press(w_.get(), button.toLatin1().constData());
        QCOMPARE(shownAll(*env_), QStringList{stop("请按“年-月-日”的形式输入日期，例如：2026-12-07")});
        QCOMPARE(textOf(w_.get(), "txt_ti_je"), QString("typed"));
        QCOMPARE(commissions(), QStringList({"7", "9"}));
        QCOMPARE(focusName(), box);
    }

    // "选择/统计": one service item's totals in the period, the commission box
    // left alone.
    void itemTotals_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("message");

        QTest::newRow("totals rounded after each row")
            << "烫发" << QStringList{"2.5", "3.5", "0.5"}
            << info("本服务项目累计业务发生额为：302元,项目提成合计为：6元");
        QTest::newRow("none") << "足疗" << QStringList{} << stop("没有找到相应的记录！！");
        QTest::newRow("beyond a whole number")
            << "染发" << QStringList{"1"} << stop("业务发生额或提成合计超出整数范围，无法统计！");
    }
    void itemTotals()
    {
        QFETCH(QString, item);
        QFETCH(QStringList, shown);
        QFETCH(QString, message);

        // 烫发 of 张三 in the period: amounts 100.5 -> 100, 200.5 -> 200, 301.5 -> 302;
        // commissions 2.5 -> 2, 5.5 -> 6, 6.5 -> 6.
        open({worker("张三", "1500")},
             {sale("2026-12-01", "张三", "2.5", "烫发", "100.5"),
              sale("2026-12-02", "张三", "3.5", "烫发", "100.5"),
              sale("2026-12-03", "李四", "9", "烫发", "100"), sale("2026-10-01", "张三", "9", "烫发", "100"),
              sale("2026-12-04", "张三", "0.5", "烫发", "101.5"),
              sale("2026-12-05", "张三", "1", "染发", "1e300")});
        choose("张三");
        press(w_.get(), "cmd_ok");
        const QString total = textOf(w_.get(), "txt_ti_je");
        env_->messages().clear();
        type(child<QWidget>(w_.get(), "txt_item"), item);
        press(w_.get(), "cmd_select");
        QCOMPARE(shownAll(*env_), QStringList{message});
        QCOMPARE(commissions(), shown);
        QCOMPARE(textOf(w_.get(), "txt_ti_je"), total);
    }

    void noEmployeeChosen_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("message");
        QTest::newRow("确定") << "cmd_ok" << stop("你未选择员工姓名！");
        QTest::newRow("选择/统计") << "cmd_select" << stop("你还未选择员工的姓名！");
    }
    void noEmployeeChosen()
    {
        QFETCH(QString, button);
        QFETCH(QString, message);
        open({worker("张三", "1500")}, {sale("2026-12-01", "张三", "7"), sale("2026-12-01", "李四", "9")});
        choose("张三");
        QCOMPARE(commissions(), QStringList{"7"});
        type(nameBox(), "");
        press(w_.get(), button.toLatin1().constData());
        QCOMPARE(shownAll(*env_), QStringList{message});
        QCOMPARE(commissions(), QStringList({"7", "9"}));
        QCOMPARE(focusName(), QString("com_name"));
    }

    // Enter in the fine box computes the pay in double arithmetic.
    void computePay_data()
    {
        QTest::addColumn<QString>("pay");
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QString>("gross");
        QTest::addColumn<QString>("net");
        QTest::addColumn<QStringList>("messages");

        QTest::newRow("worked example")
            << "1500" << QStringList{"350元", "100", "50", "200", "20", "10", "30"} << " 2200元"
            << " 2140元" << QStringList{};
        QTest::newRow("deductions beyond the gross pay")
            << "100" << QStringList{"0元", "", "", "", "100", "50", "10"} << " 100元"
            << "-60元" << QStringList{};
        QTest::newRow("1,000 counts as 1, abc as 0")
            << "1500" << QStringList{"", "1,000", "abc", " 400", "", "", ""} << " 1901元"
            << " 1901元" << QStringList{};
        QTest::newRow("fractions") << "0" << QStringList{"0.1", "0.2", "", "", "", "", "0.05"} << " 0.3元"
                                   << " 0.25元" << QStringList{};
        QTest::newRow("beyond the range of a number")
            << "0" << QStringList{"", "1e308", "1e308", "", "", "", ""} << ""
            << "" << QStringList{stop("工资金额超出范围，无法计算！")};
    }
    void computePay()
    {
        QFETCH(QString, pay);
        QFETCH(QStringList, typed);
        QFETCH(QString, gross);
        QFETCH(QString, net);
        QFETCH(QStringList, messages);

        open({worker("张三", pay)}, {sale("2026-12-01", "张三", "7")});
        choose("张三");
        typeAlongChain(typed);
        QCOMPARE(focusName(), QString("cmd_save"));
        QCOMPARE(textOf(w_.get(), "lab_yfgz"), gross);
        QCOMPARE(textOf(w_.get(), "lab_gz"), net);
        QCOMPARE(shownAll(*env_), messages);

        // Computed only there: a later change leaves the captions as they are.
        type(child<QWidget>(w_.get(), "txt_jiangjin"), "999");
        QTest::keyClick(child<QWidget>(w_.get(), "txt_jiangjin"), Qt::Key_Return);
        QCOMPARE(textOf(w_.get(), "lab_yfgz"), gross);
        QCOMPARE(focusName(), QString("txt_chidao"));
    }

    // Every save adds a row of exactly what the window shows, then blanks it.
    void save_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("compute");
        QTest::addColumn<int>("saves");
        QTest::addColumn<Rows>("stored");

        QTest::newRow("worked example") << "张三" << true << 1 << Rows{statement("张三")};
        QTest::newRow("the same statement twice: two rows")
            << "张三" << true << 2 << Rows{statement("张三"), statement("张三")};
        QTest::newRow("an apostrophe is stored as typed")
            << "O'Neil" << true << 1 << Rows{statement("O'Neil")};
        QTest::newRow("pay not computed: written empty")
            << "张三" << false << 1 << Rows{statement("张三", "", "")};
    }
    void save()
    {
        QFETCH(QString, name);
        QFETCH(bool, compute);
        QFETCH(int, saves);
        QFETCH(Rows, stored);

        open({worker(name, "1500")}, {sale("2026-12-01", name, "7")});
        for (int i = 0; i < saves; ++i) {
            choose(name);
            QStringList typed = {"350元", "100", "50", "200", "20", "10", "30"};
            if (compute) {
                typeAlongChain(typed);
            } else {
                fillFields(w_.get(), kChain, typed);
            }
            press(w_.get(), "cmd_save");
            QCOMPARE(fieldTexts(), QStringList(11, QString()));
            QCOMPARE(focusName(), QString("txt_ti_je"));
            QVERIFY(!child<QPushButton>(w_.get(), "cmd_save")->isEnabled());
        }
        QCOMPARE(env_->rows("salary"), stored);
        QCOMPARE(gridColumn(w_->grid(), 10), storedColumn(*env_, "salary", 10));
        QCOMPARE(env_->messages().count(), 0);
    }

    void failedSaveKeepsTheFields()
    {
        open({worker("张三", "1500")}, {sale("2026-12-01", "张三", "7")});
        QVERIFY(
            env_->db()
                .exec(
                    "CREATE TRIGGER fail BEFORE INSERT ON salary BEGIN SELECT RAISE(ABORT, 'disk full'); END")
                .ok);
        choose("张三");
        typeAlongChain({"350元", "100", "50", "200", "20", "10", "30"});
        const QStringList before = fieldTexts();
        press(w_.get(), "cmd_save");
        QCOMPARE(shownAll(*env_), QStringList{stop("数据库操作失败：disk full", "错误信息")});
        QCOMPARE(fieldTexts(), before);
        QCOMPARE(env_->rows("salary"), Rows{});
    }

    // Delete removes the selected statement only, after the question.
    void deleteStatement_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("nets");

        const QString question = ask("真的想删除所选项的记录吗？", "删除");
        QTest::newRow("button, Yes, the second of two equal rows")
            << "cmd_del" << 1 << int(QMessageBox::Yes) << QStringList{question}
            << QStringList{" 1元", " 3元"};
        QTest::newRow("menu, Yes") << "S_DEL" << 2 << int(QMessageBox::Yes) << QStringList{question}
                                   << QStringList{" 1元", " 1元"};
        QTest::newRow("No") << "cmd_del" << 0 << int(QMessageBox::No) << QStringList{question}
                            << QStringList{" 1元", " 1元", " 3元"};
        QTest::newRow("no row selected: nothing asked")
            << "cmd_del" << -1 << 0 << QStringList{} << QStringList{" 1元", " 1元", " 3元"};
    }
    void deleteStatement()
    {
        QFETCH(QString, how);
        QFETCH(int, row);
        QFETCH(int, answer);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, nets);

        open({}, {}, {statement("甲", "", " 1元"), statement("甲", "", " 1元"), statement("乙", "", " 3元")});
        if (row >= 0)
            clickRow(w_->grid(), row);
        if (answer)
            env_->messages().answer(QMessageBox::StandardButton(answer));
        if (how == "S_DEL")
            action(w_.get(), "S_DEL")->trigger();
        else
            press(w_.get(), "cmd_del");
        QCOMPARE(shownAll(*env_), messages);
        QCOMPARE(storedColumn(*env_, "salary", 10), nets);
        QCOMPARE(gridColumn(w_->grid(), 10), nets);
    }

    void findByName_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("names");

        const QString prompt = input("请输入要查询的员工的姓名:");
        QTest::newRow("contains") << "张" << QStringList{prompt} << QStringList{"张三", "小张"};
        QTest::newRow("none: said, every statement")
            << "王" << QStringList{prompt, stop("找不到相应的记录!", "")}
            << QStringList{"张三", "李四", "小张"};
        QTest::newRow("cancelled: the last search stays") << "" << QStringList{prompt} << QStringList{"李四"};
    }
    void findByName()
    {
        QFETCH(QString, answer);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, names);

        open({}, {}, {statement("张三"), statement("李四"), statement("小张")});
        if (answer.isEmpty()) {
            env_->messages().answerInput("李");
            action(w_.get(), "S_NAME")->trigger();
            env_->messages().clear();
        }
        env_->messages().answerInput(answer);
        action(w_.get(), "S_NAME")->trigger();
        QCOMPARE(shownAll(*env_), messages);
        QCOMPARE(gridColumn(w_->grid(), 0), names);
        action(w_.get(), "fresh")->trigger();
        QCOMPARE(gridColumn(w_->grid(), 0), QStringList({"张三", "李四", "小张"}));
    }

    void refreshAll()
    {
        open({worker("张三", "1500")}, {sale("2026-01-01", "张三", "7"), sale("2026-12-01", "李四", "9")});
        choose("张三");
        press(w_.get(), "cmd_ok");
        QCOMPARE(commissions(), QStringList{});
        action(w_.get(), "refresh_all")->trigger();
        QCOMPARE(commissions(), QStringList{"7"});
        type(nameBox(), "");
        action(w_.get(), "refresh_all")->trigger();
        QCOMPARE(commissions(), QStringList({"7", "9"}));
    }

    // Without a printer: the message, then the offer of a PDF file, which
    // holds every value of the statement; a file of that name (its
    // replacing confirmed in the dialog) is replaced whole.
    void noPrinterSavesPdf_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::newRow("a new file") << false;
        QTest::newRow("onto a file that exists") << true;
    }
    void noPrinterSavesPdf()
    {
        QFETCH(bool, existing);
        env_->ctx().settings().setValue("settings/CompanyName", "美发店");
        open({worker("王<五>&", "1500")}, {sale("2026-12-01", "王<五>&", "7")});
        choose("王<五>&");
        press(w_.get(), "cmd_ok");
        typeAlongChain({"350元", "101", "52", "203", "24", "17", "36"});
        QTemporaryDir out;
        const QString file = out.filePath("slip.pdf");
        QFile old(file);
        if (existing)
            QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(100000, 'x')) == 100000);
        old.close();
        env_->messages().answer(QMessageBox::Ok);
        env_->messages().answer(QMessageBox::Yes);
        env_->messages().answerFile(file);
        press(w_.get(), "cmd_prn");
        QVERIFY(old.open(QIODevice::ReadOnly));
        QVERIFY(old.read(5) == "%PDF-" && old.size() != 100000);

        QCOMPARE(
            shownAll(*env_),
            QStringList({stop("你的电脑未安装打印机驱动程序！，请在‘控制面板’中添加打印机！！", "打印错误"),
                         ask("是否将工资单另存为PDF文件？", "打印"), "另存为PDF|save|王_五_&2026-12-07.pdf",
                         info("工资单已保存为PDF文件：\n" + QDir::toNativeSeparators(file))}));
        QCOMPARE(env_->messages().shown().at(2).text, QString("PDF 文件 (*.pdf)"));
        QVERIFY(QFileInfo(file).size() > 0);
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        const QString text = pdfText(file);
        const QStringList words = text.split(QRegularExpression("\\s+"));
        for (const QString v :
             {"美发店", "员工工资单", "应发项目", "扣款项目", "奖金", "王<五>&", "1500元", "350元", "101",
              "52", "203", "24", "17", "36", "2206元", "2129元", "打印日期：2026-12-07"})
            QVERIFY2(words.contains(v), qPrintable(v + " not in:\n" + text));
        QVERIFY2(text.contains("2026-11-07 至 2026-12-07"), qPrintable(text));
        // No radical stands for an ideograph that was printed (工 目 至 日 金).
        for (QChar c : text)
            QVERIFY2(c.unicode() < 0x2E80 || c.unicode() > 0x2FDF, qPrintable(text));
        // The fields stay as they were.
        QCOMPARE(textOf(w_.get(), "com_name"), QString("王<五>&"));
    }

    // The save dialog proposes the employee's name, each character no file
    // system takes made _, in the documents folder the desktop names
    // (~/Documents, or ~/文档 on a Chinese desktop) when it exists, else home.
    void pdfProposedPath_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("docs"); // the desktop's documents folder, made; "" none
        QTest::addColumn<QString>("proposed");
        QTest::newRow("Documents") << "张三"
                                   << "Documents"
                                   << "Documents/张三2026-12-07.pdf";
        QTest::newRow("no Documents yet: home") << "张三"
                                                << ""
                                                << "张三2026-12-07.pdf";
        QTest::newRow("a Chinese desktop's 文档") << "张三"
                                                  << "文档"
                                                  << "文档/张三2026-12-07.pdf";
        for (const QString c : {"\\", "/", ":", "*", "?", "\"", "<", ">", "|", "\t", "\x01"})
            QTest::newRow(qPrintable("U+" + QString::number(c.at(0).unicode(), 16))) << "王" + c + "五"
                                                                                     << ""
                                                                                     << "王_五2026-12-07.pdf";
    }
    void pdfProposedPath()
    {
        QFETCH(QString, name);
        QFETCH(QString, docs);
        QFETCH(QString, proposed);

        QTemporaryDir home;
        QVERIFY(QDir(home.path()).mkpath(".config") && (docs.isEmpty() || QDir(home.path()).mkdir(docs)));
        QFile dirs(home.filePath(".config/user-dirs.dirs"));
        QVERIFY(dirs.open(QIODevice::WriteOnly));
        if (docs == "文档")
            dirs.write("XDG_DOCUMENTS_DIR=\"$HOME/文档\"\n");
        dirs.close();
        const QByteArray oldHome = qgetenv("HOME");
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));
        const auto restore = qScopeGuard([&] {
            qputenv("HOME", oldHome);
            qputenv("XDG_CONFIG_HOME", oldConfig);
        });

        open({}, {}, {statement(name)});
        printSelectedWithoutPrinter();
        QCOMPARE(env_->messages().count(), 3);
        QCOMPARE(env_->messages().last().defaultText, QDir::toNativeSeparators(home.filePath(proposed)));
    }

    // A PDF that cannot be written says why; nothing is left behind, and a
    // file of that name stays as it was.
    void pdfSaveFails_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("why");
        QTest::newRow("no such folder") << "missing/slip.pdf"
                                        << "文件夹“{out}/missing”不存在。";
        QTest::newRow("a folder of that name") << "slip.pdf"
                                               << "已有同名的文件夹。";
        QTest::newRow("no right to write there, onto a file") << "old.pdf"
                                                              << "没有在文件夹“{out}”中写入文件的权限。";
    }
    void pdfSaveFails()
    {
        QFETCH(QString, file);
        QFETCH(QString, why);

        open({}, {}, {statement("张三")});
        QTemporaryDir out;
        if (why.startsWith("已有"))
            QVERIFY(QDir(out.path()).mkdir(file));
        QFile old(out.filePath("old.pdf"));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        const QStringList before =
            QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        env_->messages().answerFile(out.filePath(file));
        {
            std::optional<Unprivileged> nobody;
            if (why.startsWith("没有")) {
                QVERIFY(QFile::setPermissions(out.path(), QFile::ReadOwner | QFile::ExeOwner));
                nobody.emplace(out.path());
                QVERIFY(nobody->ok());
            }
            printSelectedWithoutPrinter();
        }
        QVERIFY(QFile::setPermissions(out.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        QStringList said = shownAll(*env_);
        // The file system's own words follow 详细信息.
        for (QString& text : said)
            text.replace(QRegularExpression("\n（详细信息：.*）$"), "\n（详细信息：*）");
        QCOMPARE(said.mid(3),
                 QStringList{stop("无法保存PDF文件：\n" + QDir::toNativeSeparators(out.filePath(file)) +
                                  "\n" + QString(why).replace("{out}", QDir::toNativeSeparators(out.path())) +
                                  "请另选保存位置，或改正后再试。\n（详细信息：*）")});
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
    }

    // A slip printed from the fields shows the period of the last 确定 and
    // the statement whose pay was computed after it; anything else is refused.
    void slipFromFields_data()
    {
        QTest::addColumn<bool>("count");          // 确定 from 2026-12-01
        QTest::addColumn<bool>("compute");        // Enter along the chain after it
        QTest::addColumn<QString>("after");       // then: "bonus" typed, or "count" again
        QTest::addColumn<QString>("commission");  // typed over the counted one before computing
        QTest::addColumn<QStringList>("printed"); // texts the slip holds; empty: refused
        QTest::addColumn<bool>("marked");         // the commission marked as typed by hand

        QTest::newRow("counted and computed; the date box changed since")
            << true << true << ""
            << "" << QStringList{"张三", "2026-12-01 至 2026-12-07", "7元", "1857元", "1797元"} << false;
        QTest::newRow("never counted") << false << true << ""
                                       << "" << QStringList{} << false;
        QTest::newRow("pay not computed") << true << false << ""
                                          << "" << QStringList{} << false;
        QTest::newRow("a bonus typed after computing") << true << true << "bonus"
                                                       << "" << QStringList{} << false;
        QTest::newRow("counted again after computing") << true << true << "count"
                                                       << "" << QStringList{} << false;
        QTest::newRow("a commission typed over the counted one")
            << true << true << ""
            << "50元" << QStringList{"2026-12-01 至 2026-12-07", "50元", "1900元"} << true;
        QTest::newRow("the counted commission typed again")
            << true << true << ""
            << "7" << QStringList{"2026-12-01 至 2026-12-07", "1857元"} << false;
    }
    void slipFromFields()
    {
        QFETCH(bool, count);
        QFETCH(bool, compute);
        QFETCH(QString, after);
        QFETCH(QString, commission);
        QFETCH(QStringList, printed);
        QFETCH(bool, marked);

        env_->printing().setPrinter(true);
        open({worker("张三", "1500")}, {sale("2026-11-20", "张三", "5"), sale("2026-12-02", "张三", "7")});
        choose("张三");
        auto* from = child<QLineEdit>(w_.get(), "txt_from");
        QTest::mouseClick(from, Qt::LeftButton);
        typeMore(from, "2026-12-01");
        if (count)
            press(w_.get(), "cmd_ok");
        if (!commission.isEmpty()) {
            QTest::mouseClick(child<QWidget>(w_.get(), "txt_ti_je"), Qt::LeftButton);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
            typeMore(QApplication::focusWidget(), commission);
        }
        QTest::mouseClick(child<QWidget>(w_.get(), "txt_quanqin"), Qt::LeftButton);
        for (const QString v : {"100", "50", "200", "20", "10", "30"}) {
            typeMore(QApplication::focusWidget(), v);
            if (compute || v != "30")
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        }
        if (after == "bonus")
            typeMore(child<QWidget>(w_.get(), "txt_jiangjin"), "0");
        else if (after == "count")
            press(w_.get(), "cmd_ok");
        QTest::mouseClick(from, Qt::LeftButton);
        typeMore(from, "2026-11-01");
        press(w_.get(), "cmd_prn");

        if (printed.isEmpty()) {
            QCOMPARE(shownAll(*env_),
                     QStringList{stop("工资单还没有计算：请先按“确定”统计提成，再在“罚款”中按回车"
                                      "计算工资，然后打印！",
                                      "打印")});
            QCOMPARE(env_->printing().printed().size(), 0);
            return;
        }
        QCOMPARE(shownAll(*env_), QStringList{});
        QCOMPARE(env_->printing().printed().size(), 1);
        for (const QString& p : printed)
            QVERIFY2(env_->printing().printed().first().text.contains(p), qPrintable(p));
        QCOMPARE(env_->printing().printed().first().text.contains("提成总额（手工填写）"), marked);
    }

    void printing_data()
    {
        QTest::addColumn<bool>("printer");
        QTest::addColumn<QString>("dialog"); // what becomes of the print: "print", "cancel", "fail"
        QTest::addColumn<bool>("fields");    // a statement in the fields
        QTest::addColumn<int>("row");        // the statement selected in bg, -1 none
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("printed"); // texts the printed slip holds

        const QString noPrinter =
            stop("你的电脑未安装打印机驱动程序！，请在‘控制面板’中添加打印机！！", "打印错误");
        const QString nothing =
            stop("没有可打印的工资单：请先填写工资单，或在表格中选择一条工资记录！", "打印");
        const QString offer = ask("是否将工资单另存为PDF文件？", "打印");
        QTest::newRow("no printer, no PDF wanted")
            << false << "print" << true << -1 << QStringList{noPrinter, offer} << QStringList{};
        QTest::newRow("no printer, nothing to print: the message ends it")
            << false << "print" << false << -1 << QStringList{noPrinter} << QStringList{};
        QTest::newRow("printer, the fields")
            << true << "print" << true << 1 << QStringList{}
            << QStringList{"张三", "2026-11-07 至 2026-12-07", "350元", "2140元", "打印日期：2026-12-07"};
        QTest::newRow("printer, the selected statement") << true << "print" << false << 1 << QStringList{}
                                                         << QStringList{"李四", "未记录", "1500元", "2140元"};
        QTest::newRow("printer, nothing to print")
            << true << "print" << false << -1 << QStringList{nothing} << QStringList{};
        QTest::newRow("printer, dialog cancelled: nothing said")
            << true << "cancel" << true << -1 << QStringList{} << QStringList{};
        QTest::newRow("printer, the print fails: said")
            << true << "fail" << true << -1
            << QStringList{stop("打印失败，工资单没有打印出来！请检查打印机后重试。", "打印错误")}
            << QStringList{};
    }
    void printing()
    {
        QFETCH(bool, printer);
        QFETCH(QString, dialog);
        QFETCH(bool, fields);
        QFETCH(int, row);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, printed);

        env_->printing().setPrinter(printer);
        if (dialog == "cancel")
            env_->printing().cancelNext();
        else if (dialog == "fail")
            env_->printing().failNext();
        open({worker("张三", "1500")}, {sale("2026-12-01", "张三", "7")},
             {statement("甲"), statement("李四")});
        if (fields) {
            choose("张三");
            press(w_.get(), "cmd_ok");
            typeAlongChain({"350元", "100", "50", "200", "20", "10", "30"});
        }
        if (row >= 0)
            clickRow(w_->grid(), row);
        press(w_.get(), "cmd_prn");
        QCOMPARE(shownAll(*env_), messages);
        QCOMPARE(env_->printing().printed().size(), printed.isEmpty() ? 0 : 1);
        for (const QString& p : printed)
            QVERIFY2(env_->printing().printed().first().text.contains(p), qPrintable(p));
    }

    // 打印预览 shows the selected statement's slip as 打印 prints it, with no
    // printer installed; nothing goes to paper.
    void preview()
    {
        open({worker("张三", "1500")}, {sale("2026-12-01", "张三", "7")},
             {statement("甲"), statement("李四")});
        clickRow(w_->grid(), 1);
        press(w_.get(), "cmd_preview");
        QCOMPARE(shownAll(*env_), QStringList{});
        QCOMPARE(env_->printing().printed().size(), 1);
        QCOMPARE(env_->printing().printed().first().kind, Printed::Preview);
        for (const QString p : {"李四", "未记录", "1500元"})
            QVERIFY2(env_->printing().printed().first().text.contains(p), qPrintable(p));
    }
};

QTEST_MAIN(TstSalaryWindow)
#include "tst_salary_window.moc"
