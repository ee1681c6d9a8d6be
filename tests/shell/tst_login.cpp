// Login window: counters, lockout, icons, keys, the journal and passwords.
#include "shell/journal.h"
#include "shell/login_window.h"
#include "shell/shell.h"
#include "support/ui.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace shop;
using namespace shop::test;

namespace {

// Runs one step of a scripted login: "name=TEXT", "pass=TEXT", "enter-name",
// "enter-pass", "ok".
void step(LoginWindow& w, const QString& s)
{
    if (s.startsWith("name="))
        type(child<QLineEdit>(&w, "username"), s.mid(5));
    else if (s.startsWith("pass="))
        type(child<QLineEdit>(&w, "password"), s.mid(5));
    else if (s == "enter-name")
        QTest::keyClick(child<QLineEdit>(&w, "username"), Qt::Key_Return);
    else if (s == "enter-pass")
        QTest::keyClick(child<QLineEdit>(&w, "password"), Qt::Key_Return);
    else if (s == "ok")
        press(&w, "cmok");
    else
        QFAIL(qPrintable("unknown step " + s));
}
} // namespace

class TstLogin : public QObject {
    Q_OBJECT
private slots:
    void successfulLogin_data();
    void successfulLogin();
    void refusals_data();
    void refusals();
    void typingStates();
    void escapeEndsAtOnce();
    void countersAcrossSwitchOfUser_data();
    void countersAcrossSwitchOfUser();
    void cancelAtStartAndAtSwitch();
    void journalAfterSwitchAndLogout();
    void journalNotWritable();
    void programEndsWhenNoWindowLeft();
    void passwordsAreNotStoredInClear();
};

void TstLogin::successfulLogin_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("confirmWithEnter");
    QTest::addColumn<QString>("curUser");
    QTest::addColumn<QString>("curKind");
    QTest::addColumn<QByteArray>("journal");

    QTest::newRow("zed by Enter is upper-cased")
        << "zed" << true << "ZED"
        << "M" << QByteArray("Supervisor\r\nLogin  On :2026-12-07 10:00:00\r\n");
    QTest::newRow("zed by OK keeps its case")
        << "zed" << false << "zed"
        << "M" << QByteArray("Supervisor\r\nLogin  On :2026-12-07 10:00:00\r\n");
    QTest::newRow("ordinary user") << "li" << true << "LI"
                                   << "M" << QByteArray("UserName:LI\r\nLogin  On :2026-12-07 10:00:00\r\n");
    QTest::newRow("restricted user by OK")
        << "Wang" << false << "Wang"
        << "R" << QByteArray("UserName:Wang\r\nLogin  On :2026-12-07 10:00:00\r\n");
    QTest::newRow("Administrator in mixed case")
        << "Administrator" << false << "Administrator"
        << "M" << QByteArray("Supervisor\r\nLogin  On :2026-12-07 10:00:00\r\n");
}

void TstLogin::successfulLogin()
{
    QFETCH(QString, typed);
    QFETCH(bool, confirmWithEnter);
    QFETCH(QString, curUser);
    QFETCH(QString, curKind);
    QFETCH(QByteArray, journal);

    TestEnv env;
    env.addAccount("LI", "li-pass", "M");
    env.addAccount("WANG", "wang-pass", "R");
    env.addAccount("ADMINISTRATOR", "admin-pass", "M");
    const QString password = typed.toUpper() == "ZED"    ? QString(TestEnv::kZedPassword)
                             : typed.toUpper() == "LI"   ? QString("li-pass")
                             : typed.toUpper() == "WANG" ? QString("wang-pass")
                                                         : QString("admin-pass");
    LoginJournal j(env.ctx());
    LoginCounters counters;
    LoginWindow w(env.ctx(), j, counters);
    QSignalSpy loggedIn(&w, &LoginWindow::loggedIn);
    QVERIFY(showActive(&w));

    step(w, "name=" + typed);
    if (confirmWithEnter) {
        step(w, "enter-name");
        QCOMPARE(child<QLineEdit>(&w, "username")->text(), typed.toUpper());
        QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(&w, "password"));
    }
    step(w, "pass=" + password);
    step(w, "enter-pass");
    QCOMPARE(QApplication::focusWidget(), child<QPushButton>(&w, "cmok"));
    // Enter on the focused OK button logs in, as a click does.
    QTest::keyClick(child<QPushButton>(&w, "cmok"), Qt::Key_Return);

    QCOMPARE(loggedIn.count(), 1);
    QCOMPARE(env.ctx().curUser(), curUser);
    QCOMPARE(env.ctx().curKind(), curKind);
    QVERIFY(!w.isVisible());
    QCOMPARE(env.messages().count(), 1);
    const Shown welcome = env.messages().last();
    QCOMPARE(welcome.text, curUser + ", 欢迎使用本系统!  ");
    QCOMPARE(welcome.icon, QMessageBox::Information);
    QCOMPARE(welcome.caption, QString("系统信息"));
    QCOMPARE(env.journal(), journal);
    QVERIFY(!env.quitCalled());
}

void TstLogin::refusals_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("messages"); // text|caption of every box
    QTest::addColumn<int>("nameFail");
    QTest::addColumn<int>("passFail");
    QTest::addColumn<bool>("ended");
    QTest::addColumn<QString>("icon");

    const QString noNameEnter = "用户名不存在，请重输！|错误信息";
    const QString noNameOk = "用户名不存在，请重新输入！|错误信息 ";
    const QString wrongPass = "密码错误，请重新输入！|错误信息";
    const QString lockText = "对不起,你未授予本系统的使用权,请与系统管理员联系!";

    QTest::newRow("unknown name by Enter") << QStringList{"name=nobody", "enter-name"}
                                           << QStringList{noNameEnter} << 1 << 0 << false << "startup.ico";
    QTest::newRow("unknown name by OK")
        << QStringList{"name=nobody", "ok"} << QStringList{noNameOk} << 1 << 0 << false << "startup.ico";
    QTest::newRow("wrong password") << QStringList{"name=zed", "pass=wrong", "ok"} << QStringList{wrongPass}
                                    << 0 << 1 << false << "err.ico";
    QTest::newRow("password letter case counts") << QStringList{"name=zed", "pass=ZED-PASS", "ok"}
                                                 << QStringList{wrongPass} << 0 << 1 << false << "err.ico";
    QTest::newRow("password is not trimmed") << QStringList{"name=zed", "pass=zed-pass ", "ok"}
                                             << QStringList{wrongPass} << 0 << 1 << false << "err.ico";
    QTest::newRow("rejected on Enter and on OK counts twice")
        << QStringList{"name=nobody", "enter-name", "ok"} << QStringList{noNameEnter, noNameOk} << 2 << 0
        << false << "startup.ico";
    QTest::newRow("third unknown name by Enter locks out")
        << QStringList{"name=a", "enter-name", "name=b", "enter-name", "name=c", "enter-name"}
        << QStringList{noNameEnter, noNameEnter, noNameEnter, lockText + "|警告信息"} << 3 << 0 << true
        << "startup.ico";
    QTest::newRow("third unknown name by OK locks out")
        << QStringList{"name=a", "ok", "name=b", "enter-name", "ok"}
        << QStringList{noNameOk, noNameEnter, noNameOk, lockText + "|错误信息"} << 3 << 0 << true
        << "startup.ico";
    QTest::newRow("third wrong password locks out even with another name")
        << QStringList{"name=zed", "pass=x", "ok", "pass=y", "ok", "name=li", "pass=z", "ok"}
        << QStringList{wrongPass, wrongPass, wrongPass, lockText + "|错误信息"} << 0 << 3 << true
        << "err.ico";
    QTest::newRow("two of each kind do not lock out")
        << QStringList{"name=a", "ok",         "name=zed", "pass=x", "ok",
                       "name=b", "enter-name", "name=zed", "pass=y", "ok"}
        << QStringList{noNameOk, wrongPass, noNameEnter, wrongPass} << 2 << 2 << false << "err.ico";
    QTest::newRow("pasted apostrophe name is unknown")
        << QStringList{"paste=zed'", "ok"} << QStringList{noNameOk} << 1 << 0 << false << "startup.ico";
    QTest::newRow("empty name by Enter is unknown")
        << QStringList{"enter-name"} << QStringList{noNameEnter} << 1 << 0 << false << "key.ico";
}

void TstLogin::refusals()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, messages);
    QFETCH(int, nameFail);
    QFETCH(int, passFail);
    QFETCH(bool, ended);
    QFETCH(QString, icon);

    TestEnv env;
    env.addAccount("LI", "li-pass", "M");
    // An account whose name holds an apostrophe still never logs in.
    env.addAccount("zed'", TestEnv::kZedPassword, "M");
    LoginJournal j(env.ctx());
    LoginCounters counters;
    LoginWindow w(env.ctx(), j, counters);
    QSignalSpy loggedIn(&w, &LoginWindow::loggedIn);
    QVERIFY(showActive(&w));
    for (const QString& s : steps) {
        if (s.startsWith("paste=")) {
            child<QLineEdit>(&w, "username")->setText(s.mid(6));
            child<QLineEdit>(&w, "password")->setText(TestEnv::kZedPassword);
        } else {
            step(w, s);
        }
    }

    QStringList shown;
    for (const Shown& m : env.messages().shown()) {
        QCOMPARE(m.icon, QMessageBox::Critical);
        shown << m.text.section('\n', 0, 0) + "|" + m.caption;
    }
    QCOMPARE(shown, messages);
    QCOMPARE(counters.nameFail, nameFail);
    QCOMPARE(w.passFail(), passFail);
    QCOMPARE(env.quitCalled(), ended);
    QCOMPARE(w.isVisible(), !ended);
    QCOMPARE(loggedIn.count(), 0);
    QVERIFY(env.ctx().curUser().isEmpty());
    QCOMPARE(w.iconName(), icon);
    // Refusals and lockout leave nothing in the journal.
    QVERIFY(env.journal().isEmpty());
    if (!ended && !steps.last().startsWith("enter-name"))
        QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(&w, "username"));
}

void TstLogin::typingStates()
{
    TestEnv env;
    LoginJournal j(env.ctx());
    LoginCounters counters;
    LoginWindow w(env.ctx(), j, counters);
    QVERIFY(showActive(&w));
    QLineEdit* name = child<QLineEdit>(&w, "username");
    QLineEdit* pass = child<QLineEdit>(&w, "password");
    QPushButton* ok = child<QPushButton>(&w, "cmok");

    QCOMPARE(w.windowTitle(), QString("系统用户登录"));
    QCOMPARE(w.iconName(), QString("key.ico"));
    QCOMPARE(QApplication::focusWidget(), name);
    QVERIFY(!ok->isEnabled());
    QCOMPARE(pass->echoMode(), QLineEdit::Password);

    // OK cannot be clicked with an empty name; Enter in the password box
    // then goes back to the name box.
    press(&w, "cmok");
    QCOMPARE(env.messages().count(), 0);
    pass->setFocus();
    QTest::keyClick(pass, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), name);

    typeMore(name, "a'b");
    QCOMPARE(name->text(), QString("ab"));
    QVERIFY(ok->isEnabled());
    QCOMPARE(w.iconName(), QString("startup.ico"));
    name->clear();
    QVERIFY(!ok->isEnabled());
    QCOMPARE(w.iconName(), QString("key.ico"));

    typeMore(pass, "x'y");
    QCOMPARE(pass->text(), QString("xy"));
    QCOMPARE(w.iconName(), QString("startup.ico"));
    QVERIFY(!ok->isEnabled());
    pass->clear();
    QCOMPARE(w.iconName(), QString("key.ico"));
    QCOMPARE(env.messages().count(), 0);
}

void TstLogin::escapeEndsAtOnce()
{
    TestEnv env;
    LoginJournal j(env.ctx());
    LoginCounters counters;
    LoginWindow w(env.ctx(), j, counters);
    QVERIFY(showActive(&w));
    typeMore(child<QLineEdit>(&w, "username"), "zed");
    QTest::keyClick(child<QLineEdit>(&w, "password"), Qt::Key_Escape);
    QVERIFY(env.quitCalled());
    QCOMPARE(env.messages().count(), 0);
    QVERIFY(env.journal().isEmpty());
    QVERIFY(env.ctx().curUser().isEmpty());
}

void TstLogin::countersAcrossSwitchOfUser_data()
{
    QTest::addColumn<QStringList>("atStart");
    QTest::addColumn<QStringList>("atSwitch");
    QTest::addColumn<bool>("ended");

    // name_fail lasts for the whole run; pass_fail starts again each showing.
    QTest::newRow("one unknown name at start, two at switch")
        << QStringList{"name=nobody", "enter-name"} << QStringList{"name=a", "ok", "name=b", "ok"} << true;
    QTest::newRow("two wrong passwords at start, two at switch")
        << QStringList{"name=zed", "pass=x", "ok", "pass=y", "ok"}
        << QStringList{"name=zed", "pass=x", "ok", "pass=y", "ok"} << false;
}

void TstLogin::countersAcrossSwitchOfUser()
{
    QFETCH(QStringList, atStart);
    QFETCH(QStringList, atSwitch);
    QFETCH(bool, ended);

    TestEnv env;
    Shell shell(env.ctx());
    QVERIFY(shell.start());
    LoginWindow* login = shell.loginWindow();
    QVERIFY(login);
    QVERIFY(QTest::qWaitForWindowActive(login));
    for (const QString& s : atStart)
        step(*login, s);
    step(*login, "name=zed");
    step(*login, QString("pass=") + TestEnv::kZedPassword);
    step(*login, "ok");
    QVERIFY(shell.mainWindow());
    QVERIFY(shell.mainWindow()->isVisible());
    QCOMPARE(env.ctx().curUser(), QString("zed"));

    shell.mainWindow()->dispatchNode("切换用户");
    QTRY_VERIFY(shell.loginWindow());
    login = shell.loginWindow();
    QCOMPARE(login->passFail(), 0);
    for (const QString& s : atSwitch)
        step(*login, s);
    QCOMPARE(env.quitCalled(), ended);
    // A failed switch keeps the previous user.
    QCOMPARE(env.ctx().curUser(), QString("zed"));
}

void TstLogin::cancelAtStartAndAtSwitch()
{
    TestEnv env;
    {
        Shell shell(env.ctx());
        QVERIFY(shell.start());
        press(shell.loginWindow(), "cmcancel");
        QCOMPARE(env.quitCount(), 1);
        QVERIFY(env.journal().isEmpty());
    }
    TestEnv env2;
    env2.addAccount("WANG", "wang-pass", "R");
    Shell shell(env2.ctx());
    QVERIFY(shell.start());
    step(*shell.loginWindow(), "name=zed");
    step(*shell.loginWindow(), QString("pass=") + TestEnv::kZedPassword);
    step(*shell.loginWindow(), "ok");
    QVERIFY(shell.mainWindow());
    shell.mainWindow()->item("swich_user")->trigger();
    QTRY_VERIFY(shell.loginWindow());
    LoginWindow* again = shell.loginWindow();
    // Opening it again while it is open only brings it forward.
    shell.mainWindow()->dispatchNode("切换用户");
    QCOMPARE(shell.loginWindow(), again);
    step(*again, "name=wang");
    shell.loginWindow()->close();
    QVERIFY(!env2.quitCalled());
    QCOMPARE(env2.ctx().curUser(), QString("zed"));
    QVERIFY(shell.mainWindow()->isVisible());
}

void TstLogin::journalAfterSwitchAndLogout()
{
    TestEnv env;
    env.addAccount("LI", "li-pass", "M");
    Shell shell(env.ctx());
    QVERIFY(shell.start());
    step(*shell.loginWindow(), "name=li");
    step(*shell.loginWindow(), "pass=li-pass");
    step(*shell.loginWindow(), "ok");
    MainWindow* main = shell.mainWindow();
    QVERIFY(main);

    env.clock().set(QDateTime(QDate(2026, 12, 7), QTime(12, 30, 5)));
    main->dispatchNode("切换用户");
    QTRY_VERIFY(shell.loginWindow());
    step(*shell.loginWindow(), "name=zed");
    step(*shell.loginWindow(), "enter-name");
    step(*shell.loginWindow(), QString("pass=") + TestEnv::kZedPassword);
    step(*shell.loginWindow(), "ok");
    QCOMPARE(shell.mainWindow(), main);

    // Leaving: No changes nothing, Yes writes one logout entry.
    env.clock().set(QDateTime(QDate(2026, 12, 7), QTime(18, 1, 5)));
    env.messages().clear();
    main->dispatchNode("退出系统");
    QCOMPARE(env.messages().last().text, QString(" 你真的想退出本系统吗？ "));
    QCOMPARE(env.messages().last().caption, QString("退出"));
    QCOMPARE(env.messages().last().icon, QMessageBox::Question);
    QCOMPARE(env.messages().last().buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(!env.quitCalled());
    env.messages().answer(QMessageBox::Yes);
    main->item("exit_sys")->trigger();
    QVERIFY(env.quitCalled());
    QCOMPARE(env.journal(), QByteArray("UserName:li\r\nLogin  On :2026-12-07 10:00:00\r\n"
                                       "Supervisor\r\nLogin  On :2026-12-07 12:30:05\r\n"
                                       "Login Off :2026-12-07 18:01:05\r\n"
                                       "---------------------------------\r\n"));
}

void TstLogin::journalNotWritable()
{
    TestEnv env;
    // A folder where the journal should be: every append fails.
    QVERIFY(QDir(env.dir()).mkdir("login.log"));
    Shell shell(env.ctx());
    QVERIFY(shell.start());
    step(*shell.loginWindow(), "name=zed");
    step(*shell.loginWindow(), QString("pass=") + TestEnv::kZedPassword);
    step(*shell.loginWindow(), "ok");
    QVERIFY(shell.mainWindow());
    QCOMPARE(env.ctx().curUser(), QString("zed"));
    QCOMPARE(env.messages().count(), 2);
    QVERIFY(env.messages().last().text.startsWith("无法写入登录日志"));
    QCOMPARE(env.messages().last().icon, QMessageBox::Critical);

    // Told once: the logout goes on without another box.
    env.messages().clear();
    shell.mainWindow()->close();
    QCOMPARE(env.messages().count(), 0);
}

void TstLogin::programEndsWhenNoWindowLeft()
{
    TestEnv env;
    env.ctx().windows().add("frmchange", [](AppContext&) { return new QWidget; });
    Shell shell(env.ctx());
    QVERIFY(shell.start());
    step(*shell.loginWindow(), "name=zed");
    step(*shell.loginWindow(), QString("pass=") + TestEnv::kZedPassword);
    step(*shell.loginWindow(), "ok");
    QVERIFY(shell.mainWindow());
    shell.mainWindow()->dispatchNode("更改密码");
    QWidget* other = env.ctx().windows().find("frmchange");
    QVERIFY(other && other->isVisible());

    // The close box: no question; a window opened from it stays open.
    shell.mainWindow()->close();
    QCoreApplication::processEvents(); // the check queued by the close
    QVERIFY(!env.quitCalled());
    QCOMPARE(env.messages().count(), 1);
    other->close();
    QTRY_VERIFY(env.quitCalled());
    QCOMPARE(env.journal(), QByteArray("Supervisor\r\nLogin  On :2026-12-07 10:00:00\r\n"
                                       "Login Off :2026-12-07 10:00:00\r\n"
                                       "---------------------------------\r\n"));
}

void TstLogin::passwordsAreNotStoredInClear()
{
    TestEnv env;
    env.addAccount("LI", "li-pass", "M");
    const auto rows = env.rows("username");
    QCOMPARE(rows.size(), 2);
    for (const QStringList& r : rows) {
        QVERIFY(r.at(1) != TestEnv::kZedPassword && r.at(1) != "li-pass");
        QVERIFY2(r.at(1).startsWith("$argon2id$"), qPrintable(r.at(1)));
    }
    // Two accounts with one password still store different hashes (salted).
    env.addAccount("WANG", "li-pass", "M");
    QVERIFY(env.rows("username").at(2).at(1) != env.rows("username").at(1).at(1));
}

QTEST_MAIN(TstLogin)
#include "tst_login.moc"
