// The business entry window driven as a person would: boxes, Enter, lookups,
// the commission question, saving with its refusals, and the grid actions.
#include "ui/record_view.h"
#include "sales/business_window.h"
#include "support/test_env.h"
#include "support/ui.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCollator>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace shop;
using shop::test::child;
using shop::test::fillFields;
using shop::test::focusName;
using shop::test::nextTick;
using shop::test::pressEnter;
using shop::test::readFields;
using shop::test::Shown;
using shop::test::TestEnv;
using shop::test::type;

namespace {

const QString kToday = QStringLiteral("2026-12-07");
const QString kAppTitle = QStringLiteral("<application title>");

const char* const kPanels[] = {"bar_panel1", "bar_panel2", "bar_panel3", "bar_panel4"};
// The entry, in the order of the form.
const char* const kEntry[] = {"txt_card_number", "txt_production_code", "lab_produ_name", "txt_quantily",
                              "lab_indate",      "lab_salse_price",     "txt_money",      "txt_service",
                              "com_name",        "txt_remark"};
// The boxes typed after the product lookup.
const char* const kAfterLookup[] = {"txt_quantily", "txt_money", "txt_service", "com_name", "txt_remark"};

QStringList panels(QWidget& w)
{
    return readFields(&w, kPanels);
}

QStringList entryTexts(QWidget& w)
{
    return readFields(&w, kEntry);
}

void seed(TestEnv& env)
{
    env.insert("jinhuo", {"可乐", "P1", "330ml", "24", "2", "12", "5", "供应商甲", "2026-11-01", ""});
    env.insert("jinhuo", {"雪碧", "P0", "330ml", "24", "2", "3", "0", "供应商甲", "2026-10-01", ""});
    env.insert("numbercard", {"2026-01-01", "M1", "李四", "王五", "洗车", "0", "1", "月卡", ""});
    env.insert("numbercard", {"2026-01-01", "D1", "李四", "赵六", "洗车", "100", "0", "钻石卡", ""});
    env.insert("numbercard", {"2026-01-01", "Z1", "李四", "孙七", "洗车", "0", "0", "月卡", ""});
    env.insert("numbercard", {"2026-01-01", "B30", "李四", "周八", "洗车", "30", "0", "季卡", ""});
    env.insert("numbercard", {"2026-01-01", "V1", "李四", "吴九", "洗车", "0", "0", "贵宾卡", ""});
}

QStringList saleRow(const QString& date, const QString& type, const QString& card, const QString& code,
                    const QString& quantity, const QString& money, const QString& service = {})
{
    return {date, type, card, code, "", quantity, "", "", money, service, "张三", "", "0"};
}

struct Tables {
    QList<QStringList> goods, cards, sales, history;
    explicit Tables(TestEnv& env)
        : goods(env.rows("jinhuo")), cards(env.rows("numbercard")), sales(env.rows("salse")),
          history(env.rows("salse_history"))
    {
    }
    bool operator==(const Tables&) const = default;
};

// Clicks a business type's box unless it already shows `on`.
void tick(BusinessWindow& w, const char* box, bool on)
{
    auto* b = child<QCheckBox>(&w, box);
    if (b->isChecked() != on)
        QTest::mouseClick(b, Qt::LeftButton);
}

// Fills the entry as a person would before pressing 保存: with both types
// ticked (a locked box takes no keys) types the fields, Enter after the
// product code looks it up, then the types are set (the text stays).
void typeEntry(BusinessWindow& w, TestEnv& env, bool goods, bool service, const QString& card,
               const QString& code, const QString& quantity, const QString& money,
               const QString& serviceItem = {}, const QString& remark = {})
{
    tick(w, "shangpin", true);
    tick(w, "qita", true);
    type(child<QWidget>(&w, "txt_card_number"), card);
    type(child<QWidget>(&w, "txt_production_code"), code);
    if (!code.isEmpty())
        pressEnter(&w, "txt_production_code");
    fillFields(&w, kAfterLookup, {quantity, money, serviceItem, QStringLiteral("张三"), remark});
    tick(w, "shangpin", goods);
    tick(w, "qita", service);
    env.messages().clear();
}

// Presses 保存 and answers Yes to the confirmation.
void saveConfirmed(BusinessWindow& w, TestEnv& env)
{
    env.messages().answer(QMessageBox::Yes);
    child<QPushButton>(&w, "cmd_save")->click();
}

} // namespace

class TstBusinessWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    // Entry and lookups
    void lockedBoxes_data();
    void lockedBoxes();
    void untickingKeepsTheText();
    void keysPassLockedBoxes_data();
    void keysPassLockedBoxes();
    void cardLookup_data();
    void cardLookup();
    void cardPanelsClearWhenTheNumberChanges();
    void productLookup();
    void quantityCheck_data();
    void quantityCheck();
    void commissionQuestion_data();
    void commissionQuestion();
    void workerListRefilledOnFocus();

    // Saving
    void saveRefusals_data();
    void saveRefusals();
    void resultBeyondRangeRefused_data();
    void resultBeyondRangeRefused();
    void cardCharges_data();
    void cardCharges();
    void stockAfterSale_data();
    void stockAfterSale();
    void goodsSaleRecordsAndClears();
    void soldOutProductIsRefusedNext();
    void bothBoxesChargeOnce();
    void commissionGoesWithOneSaveOnly();
    void refusedCommissionHoldsTheSave_data();
    void refusedCommissionHoldsTheSave();
    void failedWriteKeepsEverything();
    void hostileInputSavedByteForByte_data();
    void hostileInputSavedByteForByte();

    // Grid
    void gridColumnsByRights_data();
    void gridColumnsByRights();
    void headerSorts_data();
    void headerSorts();
    void dailyTotal_data();
    void dailyTotal();
    void totalTooltipFollowsToday();
    void deleteOnlyTheSelectedRow();
    void queryByCard_data();
    void queryByCard();
    void buttonStates_data();
    void buttonStates();

private:
    // Opens the window on a fresh environment.
    BusinessWindow& open(const QString& user = QStringLiteral("clerk"));

    std::unique_ptr<TestEnv> env_;
    std::unique_ptr<BusinessWindow> w_;
};

void TstBusinessWindow::init()
{
    QApplication::setApplicationDisplayName(kAppTitle);
    env_ = std::make_unique<TestEnv>();
    seed(*env_);
}

void TstBusinessWindow::cleanup()
{
    w_.reset();
    env_.reset();
}

BusinessWindow& TstBusinessWindow::open(const QString& user)
{
    env_->ctx().setLogin(user, QStringLiteral("M"));
    w_ = std::make_unique<BusinessWindow>(env_->ctx());
    w_->show();
    w_->activateWindow();
    if (!QTest::qWaitForWindowActive(w_.get()))
        qWarning("window not active");
    return *w_;
}

void TstBusinessWindow::lockedBoxes_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("goods");
    QTest::addColumn<bool>("service");
    QTest::addColumn<QString>("textAfter");
    QTest::addColumn<int>("warnings");

    QTest::newRow("code, nothing ticked") << "txt_production_code" << false << false << "" << 2;
    QTest::newRow("service, nothing ticked") << "txt_service" << false << false << "" << 2;
    QTest::newRow("quantity, nothing ticked: silent") << "txt_quantily" << false << false << "" << 0;
    QTest::newRow("service, only goods ticked") << "txt_service" << true << false << "" << 2;
    QTest::newRow("code, only service ticked") << "txt_production_code" << false << true << "" << 2;
    QTest::newRow("code, goods ticked") << "txt_production_code" << true << false << "a'" << 0;
    QTest::newRow("quantity, goods ticked") << "txt_quantily" << true << false << "a'" << 0;
    QTest::newRow("service, service ticked") << "txt_service" << false << true << "a'" << 0;
}

void TstBusinessWindow::lockedBoxes()
{
    QFETCH(QString, field);
    QFETCH(bool, goods);
    QFETCH(bool, service);
    QFETCH(QString, textAfter);
    QFETCH(int, warnings);

    BusinessWindow& w = open();
    if (goods)
        QTest::mouseClick(child<QCheckBox>(&w, "shangpin"), Qt::LeftButton);
    if (service)
        QTest::mouseClick(child<QCheckBox>(&w, "qita"), Qt::LeftButton);
    QLineEdit* e = child<QLineEdit>(&w, qPrintable(field));
    e->setFocus();
    QTest::keyClicks(e, "a'");
    QCOMPARE(e->text(), textAfter);
    QCOMPARE(env_->messages().count(), warnings);
    for (const Shown& s : env_->messages().shown()) {
        QCOMPARE(s.text, QStringLiteral("你未正确选择业务类型，当前输入框被锁定！"));
        QCOMPARE(s.caption, QStringLiteral("错误"));
        QCOMPARE(s.icon, QMessageBox::Critical);
    }
    QCOMPARE(focusName(), field);
}

void TstBusinessWindow::untickingKeepsTheText()
{
    BusinessWindow& w = open();
    QTest::mouseClick(child<QCheckBox>(&w, "shangpin"), Qt::LeftButton);
    QLineEdit* code = child<QLineEdit>(&w, "txt_production_code");
    code->setFocus();
    QTest::keyClicks(code, "P1");
    QTest::mouseClick(child<QCheckBox>(&w, "shangpin"), Qt::LeftButton);
    QVERIFY(code->isReadOnly());
    QVERIFY(child<QLineEdit>(&w, "txt_quantily")->isReadOnly());
    QCOMPARE(code->text(), QStringLiteral("P1"));
    QCOMPARE(env_->messages().count(), 0);

    // Tab leaves a locked box without a warning.
    QLineEdit* service = child<QLineEdit>(&w, "txt_service");
    service->setFocus();
    QTest::keyClick(service, Qt::Key_Tab);
    QVERIFY(focusName() != QStringLiteral("txt_service"));
    code->setFocus();
    QTest::keyClick(code, Qt::Key_Tab);
    QVERIFY(focusName() != QStringLiteral("txt_production_code"));
    QCOMPARE(env_->messages().count(), 0);
}

// The Enter chain and the lookups move past the boxes the business type
// locks, and keys leave a locked box silently (a keyboard trap once). Steps
// are "action" or "action>the box with the focus after it".
void TstBusinessWindow::keysPassLockedBoxes_data()
{
    QTest::addColumn<QString>("ticked");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("goods only: No to the commission passes the service box")
        << "shangpin"
        << "click:txt_production_code type:P1 Enter>txt_quantily type:2 Enter>txt_money type:10 "
           "Enter>com_name "
           "Shift+Tab>txt_service Enter>com_name Shift+Tab Esc>txt_money"
        << QStringList{test::ask("你想计算本笔业务的提成吗？", "提成计算")};
    QTest::newRow("service only: the card lookup passes the product boxes")
        << "qita"
        << "click:txt_card_number type:M1 Enter>txt_money Shift+Tab>txt_quantily Shift+Tab "
           "Esc>txt_card_number"
        << QStringList{};
}

void TstBusinessWindow::keysPassLockedBoxes()
{
    QFETCH(QString, ticked);
    QFETCH(QString, steps);
    QFETCH(QStringList, messages);
    BusinessWindow& w = open();
    QTest::mouseClick(child<QCheckBox>(&w, qPrintable(ticked)), Qt::LeftButton);
    for (const QString& step : steps.split(' ')) {
        const QString action = step.section('>', 0, 0);
        QWidget* f = QApplication::focusWidget();
        if (action.startsWith("click:"))
            QTest::mouseClick(child<QWidget>(&w, qPrintable(action.mid(6))), Qt::LeftButton);
        else if (action.startsWith("type:"))
            test::typeMore(f, action.mid(5));
        else
            QTest::keyClick(f,
                            action == "Enter" ? Qt::Key_Return
                            : action == "Esc" ? Qt::Key_Escape
                                              : Qt::Key_Tab,
                            action == "Shift+Tab" ? Qt::ShiftModifier : Qt::NoModifier);
        if (step.contains('>'))
            QVERIFY2(focusName() == step.section('>', 1), qPrintable(step + " gave " + focusName()));
    }
    QCOMPARE(test::shownAll(*env_), messages);
}

void TstBusinessWindow::cardLookup_data()
{
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("panels");
    QTest::addColumn<QString>("focus");

    const QStringList blank{"", "", "", ""};
    QTest::newRow("unknown card") << "NOPE"
                                  << "未找到此卡号，请检查是否输入有误！"
                                  << "错误" << blank << "txt_card_number";
    QTest::newRow("empty card box") << ""
                                    << "未找到此卡号，请检查是否输入有误！"
                                    << "错误" << blank << "txt_card_number";
    QTest::newRow("injection is just a number") << "' or '1'='1"
                                                << "未找到此卡号，请检查是否输入有误！"
                                                << "错误" << blank << "txt_card_number";
    QTest::newRow("no uses and no balance") << "Z1"
                                            << "本卡剩余使用次数和余额都为零"
                                            << "通知" << blank << "txt_production_code";
    QTest::newRow("no uses but a balance")
        << "B30"
        << ""
        << "" << QStringList{"卡号：B30 类型：季卡", "持卡人姓名：周八", "剩余次数：0", "剩余金额：30"}
        << "txt_production_code";
    QTest::newRow("uses left, lower case typed")
        << "m1"
        << ""
        << "" << QStringList{"卡号：M1 类型：月卡", "持卡人姓名：王五", "剩余次数：1", "剩余金额：0"}
        << "txt_production_code";
}

void TstBusinessWindow::cardLookup()
{
    QFETCH(QString, card);
    QFETCH(QString, message);
    QFETCH(QString, caption);
    QFETCH(QStringList, panels);
    QFETCH(QString, focus);

    BusinessWindow& w = open();
    // A goods sale: the lookup moves on to the product code (an open box).
    QTest::mouseClick(child<QCheckBox>(&w, "shangpin"), Qt::LeftButton);
    QLineEdit* e = child<QLineEdit>(&w, "txt_card_number");
    e->setFocus();
    QTest::keyClicks(e, card);
    pressEnter(&w, "txt_card_number");
    if (message.isEmpty()) {
        QCOMPARE(env_->messages().count(), 0);
    } else {
        QCOMPARE(env_->messages().count(), 1);
        QCOMPARE(env_->messages().last().text, message);
        QCOMPARE(env_->messages().last().caption, caption);
        QCOMPARE(env_->messages().last().icon, QMessageBox::Critical);
    }
    QCOMPARE(::panels(w), panels);
    QCOMPARE(focusName(), focus);
}

void TstBusinessWindow::cardPanelsClearWhenTheNumberChanges()
{
    BusinessWindow& w = open();
    QLineEdit* e = child<QLineEdit>(&w, "txt_card_number");
    e->setFocus();
    QTest::keyClicks(e, "D1");
    pressEnter(&w, "txt_card_number");
    QCOMPARE(::panels(w).at(3), QStringLiteral("剩余金额：100"));
    e->setFocus();
    QTest::keyClick(e, Qt::Key_Backspace);
    QCOMPARE(::panels(w), QStringList({"", "", "", ""}));
}

void TstBusinessWindow::productLookup()
{
    BusinessWindow& w = open();
    QTest::mouseClick(child<QCheckBox>(&w, "shangpin"), Qt::LeftButton);
    QLineEdit* code = child<QLineEdit>(&w, "txt_production_code");
    code->setFocus();
    QTest::keyClicks(code, "p1");
    pressEnter(&w, "txt_production_code");
    QCOMPARE(env_->messages().count(), 0);
    QCOMPARE(child<QLabel>(&w, "lab_produ_name")->text(), QStringLiteral("可乐"));
    QCOMPARE(child<QLabel>(&w, "lab_indate")->text(), QStringLiteral("2026-11-01"));
    QCOMPARE(child<QLabel>(&w, "lab_salse_price")->text(), QStringLiteral("12元"));
    QCOMPARE(focusName(), QStringLiteral("txt_quantily"));

    code->setFocus();
    QTest::keyClicks(code, "x");
    pressEnter(&w, "txt_production_code");
    QCOMPARE(env_->messages().texts(), QStringList{"此产品号码不存在，请确认后重输！"});
    QCOMPARE(env_->messages().last().caption, QStringLiteral("错误"));
    QCOMPARE(child<QLabel>(&w, "lab_produ_name")->text(), QString());
    QCOMPARE(child<QLabel>(&w, "lab_indate")->text(), QString());
    QCOMPARE(child<QLabel>(&w, "lab_salse_price")->text(), QString());
    QCOMPARE(focusName(), QStringLiteral("txt_production_code"));
}

void TstBusinessWindow::quantityCheck_data()
{
    QTest::addColumn<bool>("goods");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("cleared");
    QTest::addColumn<QString>("focus");

    QTest::newRow("service only, no code") << false << ""
                                           << ""
                                           << "输入的产品编号不存在，请重新输入！"
                                           << "" << false << "txt_money";
    QTest::newRow("unknown code") << true << "P9"
                                  << "1"
                                  << "输入的产品编号不存在，请重新输入！"
                                  << "" << false << "txt_money";
    QTest::newRow("sold out") << true << "P0"
                              << "1"
                              << "库存为零，取消操作！"
                              << "错误" << true << "txt_production_code";
    QTest::newRow("more than stock") << true << "P1"
                                     << "6"
                                     << "出货数量不能大于库存数量，请确认后重输"
                                     << "错误" << false << "txt_money";
    QTest::newRow("all of the stock") << true << "P1"
                                      << "5"
                                      << ""
                                      << "" << false << "txt_money";
    QTest::newRow("text quantity reads as 0") << true << "P1"
                                              << "两瓶"
                                              << ""
                                              << "" << false << "txt_money";
}

void TstBusinessWindow::quantityCheck()
{
    QFETCH(bool, goods);
    QFETCH(QString, code);
    QFETCH(QString, quantity);
    QFETCH(QString, message);
    QFETCH(QString, caption);
    QFETCH(bool, cleared);
    QFETCH(QString, focus);

    BusinessWindow& w = open();
    typeEntry(w, *env_, goods, !goods, "M1", code, quantity, "30", "洗车", "备注");
    const QStringList before = entryTexts(w);
    pressEnter(&w, "txt_quantily");
    QCOMPARE(env_->messages().texts(), message.isEmpty() ? QStringList() : QStringList{message});
    if (!message.isEmpty())
        QCOMPARE(env_->messages().last().caption, caption);
    QCOMPARE(entryTexts(w), cleared ? QStringList(10, QString()) : before);
    QCOMPARE(focusName(), focus);
}

void TstBusinessWindow::commissionQuestion_data()
{
    QTest::addColumn<QString>("money");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<qint64>("commission");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("boxes");

    const int yes = QMessageBox::Yes;
    const int no = QMessageBox::No;
    QTest::newRow("no") << "5" << no << "" << qint64(0) << "txt_service" << 1;
    QTest::newRow("5 at 50 is 2") << "5" << yes << "50" << qint64(2) << "txt_service" << 2;
    QTest::newRow("7 at 50 is 4") << "7" << yes << "50" << qint64(4) << "txt_service" << 2;
    QTest::newRow("200 at 25 is 50") << "200" << yes << "25" << qint64(50) << "txt_service" << 2;
    QTest::newRow("25 at 10 is 2") << "25" << yes << "10" << qint64(2) << "txt_service" << 2;
    QTest::newRow("rate 100 accepted") << "30" << yes << "100" << qint64(30) << "txt_service" << 2;
    QTest::newRow("rate 0 ignored") << "30" << yes << "0" << qint64(0) << "txt_money" << 2;
    QTest::newRow("rate -5 ignored") << "30" << yes << "-5" << qint64(0) << "txt_money" << 2;
    QTest::newRow("rate 100.5 ignored") << "30" << yes << "100.5" << qint64(0) << "txt_money" << 2;
    QTest::newRow("empty answer or cancel") << "30" << yes << "" << qint64(0) << "txt_money" << 2;
    QTest::newRow("empty amount asks nothing") << "" << yes << "50" << qint64(0) << "txt_money" << 0;
    // Beyond what a whole number holds: said, nothing kept, never wrapped.
    QTest::newRow("1e18 at 50 still fits")
        << "1e18" << yes << "50" << qint64(500000000000000000) << "txt_service" << 2;
    QTest::newRow("1e20 at 50 is out of range") << "1e20" << yes << "50" << qint64(0) << "txt_money" << 3;
}

void TstBusinessWindow::commissionQuestion()
{
    QFETCH(QString, money);
    QFETCH(int, answer);
    QFETCH(QString, rate);
    QFETCH(qint64, commission);
    QFETCH(QString, focus);
    QFETCH(int, boxes);

    BusinessWindow& w = open();
    // A service: the question moves on to the service item (an open box).
    QTest::mouseClick(child<QCheckBox>(&w, "qita"), Qt::LeftButton);
    QLineEdit* e = child<QLineEdit>(&w, "txt_money");
    e->setFocus();
    QTest::keyClicks(e, money);
    if (boxes > 0)
        env_->messages().answer(QMessageBox::StandardButton(answer));
    if (boxes > 1)
        env_->messages().answerInput(rate);
    pressEnter(&w, "txt_money");

    const QList<Shown>& shown = env_->messages().shown();
    QCOMPARE(shown.size(), boxes);
    if (boxes > 0) {
        QCOMPARE(shown.at(0).text, QStringLiteral("你想计算本笔业务的提成吗？"));
        QCOMPARE(shown.at(0).caption, QStringLiteral("提成计算"));
        QCOMPARE(shown.at(0).icon, QMessageBox::Question);
        QCOMPARE(shown.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
    }
    if (boxes > 1) {
        QCOMPARE(shown.at(1).kind, Shown::Input);
        QCOMPARE(shown.at(1).text, QStringLiteral("请你输入此服务项目的提成率(按百分率计算)："));
        QCOMPARE(shown.at(1).caption, QStringLiteral("设置提成率"));
    }
    if (boxes > 2)
        QCOMPARE(test::shown(shown.at(2)), test::stop("提成金额超出范围，请检查金额！"));
    QCOMPARE(w.pendingCommission(), commission);
    QCOMPARE(focusName(), focus);
    QCOMPARE(env_->messages().unusedAnswers(), 0);
}

void TstBusinessWindow::workerListRefilledOnFocus()
{
    BusinessWindow& w = open();
    QComboBox* c = child<QComboBox>(&w, "com_name");
    auto items = [c] {
        QStringList out;
        for (int i = 0; i < c->count(); ++i)
            out << c->itemText(i);
        return out;
    };
    // Empty table: empty list and empty text.
    type(c, QStringLiteral("临时工"));
    c->setFocus();
    QCOMPARE(focusName(), QStringLiteral("com_name"));
    QCOMPARE(items(), QStringList());
    QCOMPARE(c->currentText(), QString());

    const QStringList worker = {"", "男", "", "", "", "", "", "3000", "", "", "", ""};
    for (const QString& name : {QStringLiteral("王二"), QStringLiteral("阿三")}) {
        QStringList row = worker;
        row[0] = name;
        env_->insert("worker", row);
    }
    // Enter in the service box is one way into the list.
    QTest::mouseClick(child<QCheckBox>(&w, "qita"), Qt::LeftButton);
    pressEnter(&w, "txt_service");
    QCOMPARE(focusName(), QStringLiteral("com_name"));
    QCOMPARE(items(), QStringList({"王二", "阿三"})); // stored order, not sorted

    // A name chosen stays chosen while the list is refilled.
    QVERIFY(test::chooseFromList(c, QStringLiteral("阿三")));
    QStringList row = worker;
    row[0] = QStringLiteral("新人");
    env_->insert("worker", row);
    child<QLineEdit>(&w, "txt_remark")->setFocus();
    c->setFocus();
    QCOMPARE(items(), QStringList({"王二", "阿三", "新人"}));
    QCOMPARE(c->currentText(), QStringLiteral("阿三"));
}

void TstBusinessWindow::saveRefusals_data()
{
    QTest::addColumn<bool>("goods");
    QTest::addColumn<bool>("service");
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("money");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("cleared");
    QTest::addColumn<QString>("focus"); // empty: where it was (txt_remark)

    QTest::newRow("no business type") << false << false << "M1"
                                      << "P1"
                                      << "1"
                                      << "10"
                                      << "请选择相应的业务类型!"
                                      << "错误" << false << "txt_card_number";
    QTest::newRow("product not found") << true << false << "M1"
                                       << "P9"
                                       << "1"
                                       << "10"
                                       << "输入的产品编号不存在，请重新输入！"
                                       << "" << false << "";
    QTest::newRow("stock zero") << true << false << "M1"
                                << "P0"
                                << "1"
                                << "10"
                                << "库存为零，取消操作！"
                                << "错误" << true << "txt_production_code";
    QTest::newRow("quantity over stock") << true << false << "M1"
                                         << "P1"
                                         << "6"
                                         << "10"
                                         << "出货数量不能大于库存数量，请确认后重输"
                                         << "错误" << false << "";
    QTest::newRow("card not found") << false << true << "NOPE"
                                    << ""
                                    << ""
                                    << "10"
                                    << "此卡号不存在，请确认后重输！"
                                    << "错误" << false << "";
    QTest::newRow("no uses left") << false << true << "Z1"
                                  << ""
                                  << ""
                                  << "10"
                                  << "此卡剩余使用次数为零"
                                  << "" << true << "";
    QTest::newRow("use-based card with balance but no uses") << false << true << "B30"
                                                             << ""
                                                             << ""
                                                             << "10"
                                                             << "此卡剩余使用次数为零"
                                                             << "" << true << "";
    QTest::newRow("balance used up exactly") << false << true << "D1"
                                             << ""
                                             << ""
                                             << "100"
                                             << "此卡余额不足！" << kAppTitle << true << "";
    QTest::newRow("balance overdrawn") << true << false << "D1"
                                       << "P1"
                                       << "1"
                                       << "100.5"
                                       << "此卡余额不足！" << kAppTitle << true << "";
    QTest::newRow("answer no") << true << true << "D1"
                               << "P1"
                               << "1"
                               << "10"
                               << "请确认你输入的资料是否正确，然后再保存！ "
                               << "保存" << false << "txt_card_number";
}

void TstBusinessWindow::saveRefusals()
{
    QFETCH(bool, goods);
    QFETCH(bool, service);
    QFETCH(QString, card);
    QFETCH(QString, code);
    QFETCH(QString, quantity);
    QFETCH(QString, money);
    QFETCH(QString, message);
    QFETCH(QString, caption);
    QFETCH(bool, cleared);
    QFETCH(QString, focus);

    BusinessWindow& w = open();
    typeEntry(w, *env_, goods, service, card, code, quantity, money, "洗车", "老客户");
    const QStringList before = entryTexts(w);
    const Tables tables(*env_);
    child<QLineEdit>(&w, "txt_remark")->setFocus();

    child<QPushButton>(&w, "cmd_save")->click(); // the question is answered No by default

    QCOMPARE(env_->messages().count(), 1);
    const Shown s = env_->messages().last();
    QCOMPARE(s.text, message);
    QCOMPARE(s.caption, caption);
    QCOMPARE(s.icon, message.startsWith("请确认") ? QMessageBox::Question : QMessageBox::Critical);
    QCOMPARE(entryTexts(w), cleared ? QStringList(10, QString()) : before);
    QCOMPARE(focusName(), focus.isEmpty() ? QStringLiteral("txt_remark") : focus);
    QVERIFY(Tables(*env_) == tables);
    // The boxes and their locks are never touched by a refusal.
    QCOMPARE(child<QCheckBox>(&w, "shangpin")->isChecked(), goods);
    QCOMPARE(child<QLineEdit>(&w, "txt_production_code")->isReadOnly(), !goods);
    QCOMPARE(child<QLineEdit>(&w, "txt_service")->isReadOnly(), !service);
}

void TstBusinessWindow::resultBeyondRangeRefused_data()
{
    QTest::addColumn<bool>("goods");
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("money");
    QTest::addColumn<QString>("message");

    QTest::newRow("stock") << true << ""
                           << "-1e308"
                           << "10"
                           << "出货数量超出范围，请确认后重输";
    QTest::newRow("balance") << false << "DBIG"
                             << ""
                             << "-1e308"
                             << "实收金额超出范围，请确认后重输";
}

// Numbers each within range whose result is not (1e308 - -1e308) are
// refused: the stock or balance is never written as 0.
void TstBusinessWindow::resultBeyondRangeRefused()
{
    QFETCH(bool, goods);
    QFETCH(QString, card);
    QFETCH(QString, quantity);
    QFETCH(QString, money);
    QFETCH(QString, message);

    env_->insert("jinhuo", {"大桶水", "BIG", "19L", "1", "2", "12", "1e308", "供应商甲", "2026-11-01", ""});
    env_->insert("numbercard", {"2026-01-01", "DBIG", "李四", "钱十", "洗车", "1e308", "0", "钻石卡", ""});
    BusinessWindow& w = open();
    typeEntry(w, *env_, goods, !goods, card, goods ? "BIG" : "", quantity, money, "洗车");
    const QStringList before = entryTexts(w);
    const Tables tables(*env_);

    child<QPushButton>(&w, "cmd_save")->click();

    // Refused before the confirmation is asked.
    QCOMPARE(test::shownAll(*env_), QStringList{test::stop(message)});
    QCOMPARE(entryTexts(w), before);
    QVERIFY(Tables(*env_) == tables);
}

void TstBusinessWindow::cardCharges_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("balance");
    QTest::addColumn<QString>("uses");
    QTest::addColumn<bool>("goods");
    QTest::addColumn<QString>("money");
    QTest::addColumn<QString>("balanceAfter");
    QTest::addColumn<QString>("usesAfter");

    QTest::newRow("月卡, last use, service, amount 0") << "月卡"
                                                       << "0"
                                                       << "1" << false << "0"
                                                       << "0"
                                                       << "0";
    QTest::newRow("季卡, goods only: one use, amount not charged") << "季卡"
                                                                   << "50"
                                                                   << "3" << true << "40"
                                                                   << "50"
                                                                   << "2";
    QTest::newRow("年卡") << "年卡"
                          << "0"
                          << "12.5" << false << "10"
                          << "0"
                          << "11.5";
    QTest::newRow("其它") << "其它"
                          << "0"
                          << "2" << false << "10"
                          << "0"
                          << "1";
    QTest::newRow("钻石卡 100 pays 99") << "钻石卡"
                                        << "100"
                                        << "5" << false << "99"
                                        << "1"
                                        << "5";
    QTest::newRow("钻石卡 pays a fraction") << "钻石卡"
                                            << "100"
                                            << "0" << true << "99.5"
                                            << "0.5"
                                            << "0";
    QTest::newRow("钻石卡 empty amount") << "钻石卡"
                                         << "100.0"
                                         << "0" << false << ""
                                         << "100"
                                         << "0";
    QTest::newRow("type outside the five is never charged") << "贵宾卡"
                                                            << "0"
                                                            << "0" << true << "500"
                                                            << "0"
                                                            << "0";
}

void TstBusinessWindow::cardCharges()
{
    QFETCH(QString, type);
    QFETCH(QString, balance);
    QFETCH(QString, uses);
    QFETCH(bool, goods);
    QFETCH(QString, money);
    QFETCH(QString, balanceAfter);
    QFETCH(QString, usesAfter);

    env_->insert("numbercard", {"2026-01-01", "T1", "李四", "钱一", "洗车", balance, uses, type, "x"});
    BusinessWindow& w = open();
    typeEntry(w, *env_, goods, !goods, "T1", goods ? "P1" : "", goods ? "1" : "", money, "洗车");
    saveConfirmed(w, *env_);

    QCOMPARE(env_->messages().texts(), QStringList{"请确认你输入的资料是否正确，然后再保存！ "});
    const QStringList card = env_->rows("numbercard").last();
    QCOMPARE(card.at(5), balanceAfter);
    QCOMPARE(card.at(6), usesAfter);
    QCOMPARE(card.at(8), QStringLiteral("x"));
    QCOMPARE(env_->rows("salse").size(), 1);
    QCOMPARE(env_->rows("salse").first().at(2), QStringLiteral("T1"));
    QCOMPARE(env_->rows("salse").first().at(8), money);
    // The other cards are untouched.
    Tables other(*env_);
    QCOMPARE(other.cards.first(),
             QStringList({"2026-01-01", "M1", "李四", "王五", "洗车", "0", "1", "月卡", ""}));
}

void TstBusinessWindow::stockAfterSale_data()
{
    QTest::addColumn<QString>("stock");
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("stockAfter");

    QTest::newRow("2 of 5") << "5"
                            << "2"
                            << "3";
    QTest::newRow("all of it") << "5"
                               << "5"
                               << "0";
    QTest::newRow("empty quantity rewrites the stock plainly") << "5.0"
                                                               << ""
                                                               << "5";
    QTest::newRow("negative quantity raises the stock") << "5"
                                                        << "-2"
                                                        << "7";
    QTest::newRow("fractions") << "2.5"
                               << "0.75"
                               << "1.75";
    QTest::newRow("stock with a unit") << "10箱"
                                       << "4"
                                       << "6";
}

void TstBusinessWindow::stockAfterSale()
{
    QFETCH(QString, stock);
    QFETCH(QString, quantity);
    QFETCH(QString, stockAfter);

    env_->insert("jinhuo", {"洗衣液", "X1", "", "", "8", "20", stock, "", "2026-11-02", ""});
    BusinessWindow& w = open();
    typeEntry(w, *env_, true, false, "", "X1", quantity, "20");
    saveConfirmed(w, *env_);
    QCOMPARE(env_->rows("jinhuo").last().at(6), stockAfter);
    QCOMPARE(env_->rows("salse").first().at(5), quantity);
}

void TstBusinessWindow::goodsSaleRecordsAndClears()
{
    // Two lines of one product: only the first, the one the lookup shows, is sold from.
    env_->insert("jinhuo", {"可乐", "P1", "330ml", "24", "2.5", "15", "7", "供应商乙", "2026-11-20", ""});
    BusinessWindow& w = open();
    QTest::mouseClick(child<QCheckBox>(&w, "shangpin"), Qt::LeftButton);
    QLineEdit* code = child<QLineEdit>(&w, "txt_production_code");
    code->setFocus();
    QTest::keyClicks(code, "P1");
    pressEnter(&w, "txt_production_code");
    QTest::keyClicks(child<QLineEdit>(&w, "txt_quantily"), "2");
    pressEnter(&w, "txt_quantily");
    QCOMPARE(focusName(), QStringLiteral("txt_money"));
    QTest::keyClicks(child<QLineEdit>(&w, "txt_money"), "24");
    QCOMPARE(env_->messages().count(), 0);
    saveConfirmed(w, *env_);

    const QStringList row = {kToday,       "商品销售", "非会员", "P1", "可乐", "2", "12元",
                             "2026-11-01", "24",       "",       "",   "",     "0"};
    QCOMPARE(env_->rows("salse"), QList<QStringList>{row});
    QCOMPARE(env_->rows("salse_history"), QList<QStringList>{row});
    QCOMPARE(env_->rows("jinhuo").at(0).at(6), QStringLiteral("3"));
    QCOMPARE(env_->rows("jinhuo").at(2).at(6), QStringLiteral("7"));

    // The entry is empty, the boxes and locks stay, the panels are blank.
    QCOMPARE(entryTexts(w), QStringList(10, QString()));
    QVERIFY(child<QCheckBox>(&w, "shangpin")->isChecked());
    QVERIFY(!code->isReadOnly());
    QVERIFY(child<QLineEdit>(&w, "txt_service")->isReadOnly());
    QCOMPARE(::panels(w), QStringList({"", "", "", ""}));
    QCOMPARE(focusName(), QStringLiteral("txt_card_number"));
    // The grid shows the new row.
    QCOMPARE(w.grid()->model()->rowCount(), 1);
    QCOMPARE(w.grid()->model()->index(0, 3).data().toString(), QStringLiteral("P1"));
}

void TstBusinessWindow::soldOutProductIsRefusedNext()
{
    BusinessWindow& w = open();
    typeEntry(w, *env_, true, false, "", "P1", "5", "60");
    saveConfirmed(w, *env_);
    QCOMPARE(env_->rows("jinhuo").first().at(6), QStringLiteral("0"));

    typeEntry(w, *env_, true, false, "", "P1", "1", "12");
    child<QPushButton>(&w, "cmd_save")->click();
    QCOMPARE(env_->messages().texts(), QStringList{"库存为零，取消操作！"});
    QCOMPARE(entryTexts(w), QStringList(10, QString()));
    QCOMPARE(env_->rows("salse").size(), 1);
}

void TstBusinessWindow::bothBoxesChargeOnce()
{
    BusinessWindow& w = open();
    typeEntry(w, *env_, true, true, "D1", "P1", "2", "30", "洗车");
    saveConfirmed(w, *env_);
    const QStringList row = env_->rows("salse").value(0);
    QCOMPARE(row.value(1), QStringLiteral("商品销售+其它服务"));
    QCOMPARE(row.value(9), QStringLiteral("洗车"));
    QCOMPARE(env_->rows("jinhuo").first().at(6), QStringLiteral("3"));
    QCOMPARE(env_->rows("numbercard").at(1).at(5), QStringLiteral("70"));
    QCOMPARE(env_->rows("salse_history").size(), 1);
}

void TstBusinessWindow::commissionGoesWithOneSaveOnly()
{
    BusinessWindow& w = open();
    typeEntry(w, *env_, false, true, "", "", "", "", "洗车");
    QLineEdit* money = child<QLineEdit>(&w, "txt_money");
    money->setFocus();
    QTest::keyClicks(money, "16");
    env_->messages().answer(QMessageBox::Yes);
    env_->messages().answerInput("50");
    pressEnter(&w, "txt_money");
    QCOMPARE(w.pendingCommission(), qint64(8));
    // Changing the amount afterwards does not recompute it.
    type(money, "1000");
    saveConfirmed(w, *env_);
    QCOMPARE(w.pendingCommission(), qint64(0));

    typeEntry(w, *env_, false, true, "", "", "", "16", "洗车");
    saveConfirmed(w, *env_);
    const QList<QStringList> rows = env_->rows("salse");
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).at(12), QStringLiteral("8"));
    QCOMPARE(rows.at(1).at(12), QStringLiteral("0"));
    QCOMPARE(env_->rows("salse_history").at(0).at(12), QStringLiteral("8"));
}

// A commission asked for and refused as beyond range is never stored as
// 0: the save is refused until the amount or the answer changes.
void TstBusinessWindow::refusedCommissionHoldsTheSave_data()
{
    QTest::addColumn<QString>("then");       // what the person does after the refusal
    QTest::addColumn<QStringList>("said");   // after the refusal of the commission
    QTest::addColumn<QStringList>("stored"); // 实收金额 and 提成金额, empty: nothing stored

    using test::ask;
    using test::input;
    const QString refused = test::stop("提成金额超出范围，请检查金额！");
    const QString confirm = ask("请确认你输入的资料是否正确，然后再保存！ ", "保存");
    const QString question = ask("你想计算本笔业务的提成吗？", "提成计算");
    const QString rate = input("请你输入此服务项目的提成率(按百分率计算)：", "设置提成率");
    QTest::newRow("saved as it is: refused") << "save" << QStringList{refused} << QStringList{};
    QTest::newRow("amount retyped: saved without a commission")
        << "amount 10" << QStringList{confirm} << QStringList{"10", "0"};
    QTest::newRow("asked again, No: saved without a commission")
        << "No" << QStringList{question, confirm} << QStringList{"1e20", "0"};
    QTest::newRow("asked again, a rate that fits: saved with it")
        << "rate 0.01" << QStringList{question, rate, confirm} << QStringList{"1e20", "10000000000000000"};
    QTest::newRow("asked again, a rate ignored: still refused")
        << "rate 0" << QStringList{question, rate, refused} << QStringList{};
}

void TstBusinessWindow::refusedCommissionHoldsTheSave()
{
    QFETCH(QString, then);
    QFETCH(QStringList, said);
    QFETCH(QStringList, stored);

    BusinessWindow& w = open();
    QTest::mouseClick(child<QCheckBox>(&w, "qita"), Qt::LeftButton);
    QLineEdit* money = child<QLineEdit>(&w, "txt_money");
    QTest::mouseClick(money, Qt::LeftButton);
    QTest::keyClicks(money, "1e20");
    env_->messages().answer(QMessageBox::Yes);
    env_->messages().answerInput("50");
    QTest::keyClick(money, Qt::Key_Return);
    QCOMPARE(test::shownAll(*env_).last(), test::stop("提成金额超出范围，请检查金额！"));
    QCOMPARE(focusName(), QStringLiteral("txt_money"));
    env_->messages().clear();

    if (then.startsWith("amount")) {
        QTest::keyClick(money, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(money, then.section(' ', 1));
    } else if (then == "No") {
        env_->messages().answer(QMessageBox::No);
        QTest::keyClick(money, Qt::Key_Return);
    } else if (then.startsWith("rate")) {
        env_->messages().answer(QMessageBox::Yes);
        env_->messages().answerInput(then.section(' ', 1));
        QTest::keyClick(money, Qt::Key_Return);
    }
    const QStringList entry = entryTexts(w);
    env_->messages().answer(QMessageBox::Yes);
    QTest::mouseClick(child<QPushButton>(&w, "cmd_save"), Qt::LeftButton);

    QCOMPARE(test::shownAll(*env_), said);
    const QList<QStringList> rows = env_->rows("salse");
    if (stored.isEmpty()) {
        QCOMPARE(rows.size(), 0);
        QCOMPARE(entryTexts(w), entry);
        QCOMPARE(focusName(), QStringLiteral("txt_money"));
    } else {
        QCOMPARE(rows.size(), 1);
        QCOMPARE((QStringList{rows.at(0).at(8), rows.at(0).at(12)}), stored);
    }
}

void TstBusinessWindow::failedWriteKeepsEverything()
{
    BusinessWindow& w = open();
    QVERIFY(
        env_->db()
            .exec("CREATE TRIGGER fail BEFORE INSERT ON salse BEGIN SELECT RAISE(ABORT, 'disk full'); END")
            .ok);
    typeEntry(w, *env_, true, true, "M1", "P1", "2", "30", "洗车", "第一次");
    const QStringList entry = entryTexts(w);
    const Tables before(*env_);
    saveConfirmed(w, *env_);

    QCOMPARE(env_->messages().count(), 2);
    const Shown s = env_->messages().last();
    QCOMPARE(s.icon, QMessageBox::Critical);
    QVERIFY2(s.text.contains("写入业务记录") && s.text.contains("disk full"), qPrintable(s.text));
    QVERIFY(Tables(*env_) == before);
    QCOMPARE(entryTexts(w), entry);

    // The person retries once the fault is gone.
    QVERIFY(env_->db().exec("DROP TRIGGER fail").ok);
    env_->messages().clear();
    saveConfirmed(w, *env_);
    QCOMPARE(env_->messages().count(), 1);
    QCOMPARE(env_->rows("salse").size(), 1);
    QCOMPARE(env_->rows("salse").first().at(11), QStringLiteral("第一次"));
    QCOMPARE(env_->rows("jinhuo").first().at(6), QStringLiteral("3"));
    QCOMPARE(env_->rows("numbercard").first().at(6), QStringLiteral("0"));
}

void TstBusinessWindow::hostileInputSavedByteForByte_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("typed"); // typed key by key, or pasted

    QTest::newRow("apostrophe") << "O'Brien" << true;
    QTest::newRow("percent") << "50%" << true;
    QTest::newRow("underscore") << "_x_" << true;
    QTest::newRow("injection") << "' or '1'='1" << true;
    QTest::newRow("10000 characters") << QString(10000, QChar(u'长')) << false;
    QTest::newRow("emoji") << QString::fromUtf8("😀 洗车 🧽") << false;
}

void TstBusinessWindow::hostileInputSavedByteForByte()
{
    QFETCH(QString, text);
    QFETCH(bool, typed);

    // A card and a goods line whose keys are the hostile text itself, and
    // bystanders that a wildcard or injected condition would also hit.
    env_->insert("numbercard", {"2026-01-01", text, "李四", "钱一", "洗车", "0", "9", "其它", ""});
    env_->insert("jinhuo", {"怪名", text, "", "", "1", "9", "1000000", "", "2026-11-03", ""});
    BusinessWindow& w = open();
    QTest::mouseClick(child<QCheckBox>(&w, "shangpin"), Qt::LeftButton);
    QTest::mouseClick(child<QCheckBox>(&w, "qita"), Qt::LeftButton);
    for (const char* name : {"txt_card_number", "txt_production_code", "txt_quantily", "txt_money",
                             "txt_service", "txt_remark"}) {
        QLineEdit* e = child<QLineEdit>(&w, name);
        e->setFocus();
        if (typed)
            QTest::keyClicks(e, text);
        else
            e->setText(text);
        QCOMPARE(e->text(), text);
    }
    QComboBox* c = child<QComboBox>(&w, "com_name");
    c->setFocus();
    if (typed)
        QTest::keyClicks(c, text);
    else
        c->setEditText(text);
    pressEnter(&w, "txt_production_code");
    env_->messages().clear();
    saveConfirmed(w, *env_);

    QCOMPARE(env_->messages().count(), 1);
    const QStringList expected = {kToday, "商品销售+其它服务", text, text, "怪名", text,
                                  "9元",  "2026-11-03",        text, text, text,   text,
                                  "0"};
    QCOMPARE(env_->rows("salse"), QList<QStringList>{expected});
    QCOMPARE(env_->rows("salse_history"), QList<QStringList>{expected});
    QCOMPARE(env_->rows("numbercard").last().at(6), QStringLiteral("8"));
    QCOMPARE(env_->rows("numbercard").first().at(6), QStringLiteral("1")); // M1 untouched
    QCOMPARE(env_->rows("jinhuo").first().at(6), QStringLiteral("5"));     // P1 untouched
    // The grid shows the row, and a query by that card finds it.
    env_->messages().answerInput(text);
    child<QPushButton>(&w, "cmd_query")->click();
    QCOMPARE(w.grid()->model()->rowCount(), 1);
    QCOMPARE(w.grid()->model()->index(0, 11).data().toString(), text);
}

void TstBusinessWindow::gridColumnsByRights_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<int>("columns");
    QTest::newRow("ZED") << "ZED" << 13;
    QTest::newRow("administrator") << "administrator" << 13;
    QTest::newRow("ordinary user") << "clerk" << 12;
}

void TstBusinessWindow::gridColumnsByRights()
{
    QFETCH(QString, user);
    QFETCH(int, columns);
    env_->insert("salse", saleRow(kToday, "其它服务", "M1", "", "", "10"));
    BusinessWindow& w = open(user);
    QAbstractItemModel* m = w.grid()->model();
    QCOMPARE(m->columnCount(), columns);
    QCOMPARE(m->headerData(11, Qt::Horizontal).toString(), QStringLiteral("备注或说明"));
    QCOMPARE(m->headerData(12, Qt::Horizontal).toString(),
             columns == 13 ? QStringLiteral("提成金额") : QString());
    // The grid is for reading only.
    QVERIFY(!(m->flags(m->index(0, 0)) & Qt::ItemIsEditable));
}

void TstBusinessWindow::headerSorts_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<bool>("sorts");
    for (int s : {0, 1, 2, 3, 4, 5, 9, 10})
        QTest::newRow(qPrintable(QStringLiteral("column %1 sorts").arg(s))) << s << true;
    for (int s : {6, 7, 8, 11})
        QTest::newRow(qPrintable(QStringLiteral("column %1 keeps the order").arg(s))) << s << false;
}

void TstBusinessWindow::headerSorts()
{
    QFETCH(int, section);
    QFETCH(bool, sorts);

    // Rows in an order that no column's sort keeps.
    const QList<QStringList> rows = {
        {"2026-12-05", "商品销售", "B2", "P2", "乙", "10", "9元", "2026-01-02", "7", "洗车", "王二", "c",
         "1"},
        {"2026-12-07", "其它服务", "a1", "P1", "甲", "9", "12元", "2026-01-03", "30", "打蜡", "阿三", "a",
         "0"},
        {"2026-12-06", "商品销售+其它服务", "C3", "p3", "丙", "2", "3元", "2026-01-01", "100", "抛光", "张三",
         "b", "2"},
    };
    for (const QStringList& r : rows)
        env_->insert("salse", r);
    BusinessWindow& w = open();
    RecordView* bg = w.grid();
    auto columnValues = [bg](int c) {
        QStringList out;
        for (int r = 0; r < bg->model()->rowCount(); ++r)
            out << bg->model()->index(r, c).data().toString();
        return out;
    };
    auto click = [bg](int s) {
        QHeaderView* h = bg->horizontalHeader();
        bg->scrollTo(bg->model()->index(0, s));
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(s) + h->sectionSize(s) / 2, h->height() / 2));
    };

    if (sorts) {
        click(section);
        // Chinese in pinyin order (乙 yi after 甲 jia; 阿 a before 王 wang,
        // 张 zhang), Latin letters without regard to case.
        QCollator pinyin(QLocale(QLocale::Chinese, QLocale::China));
        pinyin.setCaseSensitivity(Qt::CaseInsensitive);
        QStringList expected = columnValues(section);
        std::sort(expected.begin(), expected.end(),
                  [&pinyin](const QString& a, const QString& b) { return pinyin.compare(a, b) < 0; });
        QCOMPARE(columnValues(section), expected);
        QCOMPARE(bg->model()->columnCount(), 13); // the sort shows every column
    } else {
        click(1);
        const QStringList sorted = columnValues(1);
        click(section);
        QCOMPARE(columnValues(1), sorted);
    }
}

void TstBusinessWindow::dailyTotal_data()
{
    QTest::addColumn<QStringList>("amounts");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("icon");

    const int info = QMessageBox::Information;
    QTest::newRow("12, 8.5 and empty") << QStringList{"12", "8.5", ""} << "2026-12-07日实收金额合计为：20元"
                                       << "信息" << info;
    QTest::newRow("only earlier days") << QStringList{} << "只能统计本日发生的业务金额！"
                                       << "" << int(QMessageBox::Critical);
}

void TstBusinessWindow::dailyTotal()
{
    QFETCH(QStringList, amounts);
    QFETCH(QString, message);
    QFETCH(QString, caption);
    QFETCH(int, icon);

    env_->insert("salse", saleRow("2026-12-06", "其它服务", "M1", "", "", "500"));
    for (const QString& a : amounts)
        env_->insert("salse", saleRow(kToday, "其它服务", "非会员", "", "", a));
    env_->insert("salse", saleRow("2026-12-08", "其它服务", "M1", "", "", "500"));
    BusinessWindow& w = open();
    QTRY_VERIFY(child<QPushButton>(&w, "cmd_count")->isEnabled());
    child<QPushButton>(&w, "cmd_count")->click();

    QCOMPARE(env_->messages().count(), 1);
    QCOMPARE(env_->messages().last().text, message);
    QCOMPARE(env_->messages().last().caption, caption);
    QCOMPARE(int(env_->messages().last().icon), icon);
    // Afterwards every row, every column, for every user.
    QCOMPARE(w.grid()->model()->rowCount(), amounts.size() + 2);
    QCOMPARE(w.grid()->model()->columnCount(), 13);
}

void TstBusinessWindow::totalTooltipFollowsToday()
{
    BusinessWindow& w = open();
    QPushButton* count = child<QPushButton>(&w, "cmd_count");
    QTest::mouseMove(count);
    QCOMPARE(count->toolTip(), QStringLiteral("统计2026-12-07实收金额!"));
    env_->clock().set(QDateTime(QDate(2027, 1, 2), QTime(9, 0)));
    QTest::mouseMove(w.grid());
    QTest::mouseMove(count);
    QCOMPARE(count->toolTip(), QStringLiteral("统计2027-01-02实收金额!"));
}

void TstBusinessWindow::deleteOnlyTheSelectedRow()
{
    BusinessWindow& w = open("ZED");
    typeEntry(w, *env_, true, false, "", "P1", "2", "24");
    saveConfirmed(w, *env_);
    const QStringList other = saleRow(kToday, "其它服务", "M1", "", "", "10");
    env_->insert("salse", other);
    env_->insert("salse", other); // an identical row: only one of the two goes
    RecordView* bg = w.grid();
    QVERIFY(bg->rerun());
    QTRY_VERIFY(child<QPushButton>(&w, "cmd_del")->isEnabled());

    // No: nothing changes.
    bg->setCurrentIndex(bg->model()->index(1, 0));
    env_->messages().clear();
    child<QPushButton>(&w, "cmd_del")->click();
    QCOMPARE(env_->messages().count(), 1);
    QCOMPARE(env_->messages().last().text, QStringLiteral("你真的想删除所选的记录吗？"));
    QCOMPARE(env_->messages().last().caption, QStringLiteral("修改"));
    QCOMPARE(env_->messages().last().icon, QMessageBox::Question);
    QCOMPARE(env_->rows("salse").size(), 3);

    // Yes on the sale: the row goes, stock and history stay; the grid
    // re-reads once.
    bg->setCurrentIndex(bg->model()->index(0, 0));
    env_->messages().answer(QMessageBox::Yes);
    QSignalSpy reran(bg, &RecordView::reran);
    child<QPushButton>(&w, "cmd_del")->click();
    QCOMPARE(reran.size(), 1);
    QCOMPARE(env_->rows("salse"), QList<QStringList>({other, other}));
    QCOMPARE(env_->rows("salse_history").size(), 1);
    QCOMPARE(env_->rows("jinhuo").first().at(6), QStringLiteral("3"));

    // One of two identical rows.
    bg->setCurrentIndex(bg->model()->index(1, 0));
    env_->messages().answer(QMessageBox::Yes);
    child<QPushButton>(&w, "cmd_del")->click();
    QCOMPARE(env_->rows("salse"), QList<QStringList>({other}));

    // Without a current row nothing is asked and nothing deleted.
    bg->setCurrentIndex(QModelIndex());
    env_->messages().clear();
    child<QPushButton>(&w, "cmd_del")->click();
    QCOMPARE(env_->messages().count(), 0);
    QCOMPARE(env_->rows("salse").size(), 1);
}

void TstBusinessWindow::queryByCard_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("message");

    QTest::newRow("one card") << "M1" << 2 << "";
    QTest::newRow("non-members") << "非会员" << 1 << "";
    QTest::newRow("exact number, not a part") << "M" << 4 << "未找到相应的记录！";
    QTest::newRow("wildcard is literal") << "%" << 4 << "未找到相应的记录！";
    QTest::newRow("empty answer") << "" << -1 << "";
}

void TstBusinessWindow::queryByCard()
{
    QFETCH(QString, answer);
    QFETCH(int, rows);
    QFETCH(QString, message);

    env_->insert("salse", saleRow(kToday, "其它服务", "M1", "", "", "10"));
    env_->insert("salse", saleRow(kToday, "其它服务", "非会员", "", "", "10"));
    env_->insert("salse", saleRow(kToday, "其它服务", "m1", "", "", "10"));
    env_->insert("salse", saleRow(kToday, "其它服务", "D1", "", "", "10"));
    BusinessWindow& w = open();
    QTest::mouseClick(w.grid()->horizontalHeader()->viewport(), Qt::LeftButton, {},
                      QPoint(w.grid()->horizontalHeader()->sectionViewportPosition(2) + 5, 5));
    const RecordSource sorted = w.grid()->source();
    QTRY_VERIFY(child<QPushButton>(&w, "cmd_query")->isEnabled());

    env_->messages().answerInput(answer);
    child<QPushButton>(&w, "cmd_query")->click();
    const Shown prompt = env_->messages().shown().value(0);
    QCOMPARE(prompt.kind, Shown::Input);
    QCOMPARE(prompt.text, QStringLiteral("请输入要查询的卡号"));
    QCOMPARE(prompt.caption, QStringLiteral("查询"));
    QCOMPARE(env_->messages().texts(), message.isEmpty() ? QStringList() : QStringList{message});
    if (!message.isEmpty())
        QCOMPARE(env_->messages().last().caption, QStringLiteral("错误"));
    if (rows < 0) {
        QCOMPARE(w.grid()->source(), sorted); // nothing happened
    } else {
        QCOMPARE(w.grid()->model()->rowCount(), rows);
        QCOMPARE(w.grid()->model()->columnCount(), 13);
    }
}

void TstBusinessWindow::buttonStates_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("rows");
    QTest::addColumn<bool>("del");
    QTest::addColumn<bool>("others");

    QTest::newRow("supervisor with rows") << "ZED" << true << true << true;
    QTest::newRow("supervisor without rows") << "ZED" << false << false << false;
    QTest::newRow("user with rows") << "clerk" << true << false << true;
    QTest::newRow("user without rows") << "clerk" << false << false << false;
}

void TstBusinessWindow::buttonStates()
{
    QFETCH(QString, user);
    QFETCH(bool, rows);
    QFETCH(bool, del);
    QFETCH(bool, others);

    if (rows)
        env_->insert("salse", saleRow(kToday, "其它服务", "M1", "", "", "10"));
    BusinessWindow& w = open(user);
    QVERIFY(nextTick(&w));
    QCOMPARE(child<QPushButton>(&w, "cmd_del")->isEnabled(), del);
    QCOMPARE(child<QPushButton>(&w, "cmd_query")->isEnabled(), others);
    QCOMPARE(child<QPushButton>(&w, "cmd_count")->isEnabled(), others);
    QVERIFY(child<QPushButton>(&w, "cmd_save")->isEnabled());
    QVERIFY(child<QPushButton>(&w, "cmd_exit")->isEnabled());

    // The states follow the grid by the state timer's next tick.
    if (rows) {
        QVERIFY(env_->db().exec("DELETE FROM salse").ok);
        QVERIFY(w.grid()->rerun());
    } else {
        typeEntry(w, *env_, false, true, "", "", "", "5", "洗车");
        saveConfirmed(w, *env_);
    }
    QVERIFY(nextTick(&w));
    QCOMPARE(child<QPushButton>(&w, "cmd_query")->isEnabled(), !rows);
    QCOMPARE(child<QPushButton>(&w, "cmd_count")->isEnabled(), !rows);
    QCOMPARE(child<QPushButton>(&w, "cmd_del")->isEnabled(), !rows && AppContext::isSupervisorName(user));

    child<QPushButton>(&w, "cmd_exit")->click();
    QVERIFY(!w.isVisible());
}

QTEST_MAIN(TstBusinessWindow)
#include "tst_business_window.moc"
