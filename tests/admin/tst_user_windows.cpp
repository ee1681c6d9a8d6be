#include "admin/user_windows.h"
#include "data/password.h"
#include "support/ui.h"

#include <QRadioButton>
#include <QStyledItemDelegate>

using namespace shop;
using namespace shop::test;

namespace {

const QString kNameApostrophe = "用户名不能包含单引号（'），登录时无法输入，请重新输入！";
const QString kPasswordApostrophe = "密码不能包含单引号（'），登录时无法输入，请重新输入！";
const QString kEmptyPassword = "用户密码不能为空，请重新输入！";

QString note(const QString& text)
{
    return "系统信息|" + QString::number(int(QMessageBox::Information)) + "|" + text;
}

// name|kind of every account in stored order.
QStringList accounts(TestEnv& env)
{
    QStringList out;
    const auto rows = env.accounts().selectAll("SELECT username, usertype FROM username ORDER BY rowid");
    for (const QVariantList& r : *rows)
        out << r.value(0).toString() + "|" + r.value(1).toString();
    return out;
}

QString storedHash(TestEnv& env, const QString& name)
{
    return env.accounts()
        .selectOne("SELECT password FROM username WHERE username = ?", {name})
        ->value(0)
        .toString();
}

} // namespace

class TstUserWindows : public QObject {
    Q_OBJECT
private slots:
    void addAccount_data();
    void addAccount();
    void reservedNameRefused_data();
    void reservedNameRefused();
    void addButtonFollowsName();
    void deleteListHidesSupervisorsAndPasswords();
    void deleteAccount_data();
    void deleteAccount();
    void deleteButtonFollowsRows();
    void changePassword_data();
    void changePassword();
};

void TstUserWindows::addAccount_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("kindButton"); // clicked before adding; "" leaves the default
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("focus"); // after a refusal; "" when added

    const QString added = note(" 用户名已成功增加! ");
    const QString exists = stop("用户名已存在，请重新输入！");
    // Enter in the name box checks the name, the button checks again.
    const struct {
        const char* tag;
        const char* name;
        const char* password;
        const char* kind;
        QStringList messages;
        const char* focus;
    } rows[] = {
        {"普通用户: kind M", "WANG", "pw-1", "modi", {added}, ""},
        {"受限制用户: kind R", "wang", "pw-1", "read", {added}, ""},
        {"opens with 普通用户", "WANG", "pw-1", "", {added}, ""},
        {"name differs only in letter case", "Li", "pw-1", "read", {exists, exists}, "user_txt"},
        {"supervisor name in lower case", "administrator", "pw-1", "", {exists, exists}, "user_txt"},
        {"empty password, checked first",
         "zed",
         "",
         "",
         {exists, stop(kEmptyPassword, "系统警告")},
         "pass_txt"},
        {"apostrophe in name",
         "O'Neil",
         "pw-1",
         "",
         {stop(kNameApostrophe), stop(kNameApostrophe)},
         "user_txt"},
        {"apostrophe in password", "WANG", "it's", "", {stop(kPasswordApostrophe)}, "pass_txt"},
    };
    for (const auto& r : rows)
        QTest::newRow(r.tag) << r.name << r.password << r.kind << r.messages << r.focus;
}

void TstUserWindows::addAccount()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, kindButton);
    QFETCH(QStringList, messages);
    QFETCH(QString, focus);

    TestEnv env;
    env.addAccount("LI", "li-pass", "M");
    env.addAccount("Administrator", "a-pass", "M");
    const QStringList before = accounts(env);
    AddUserWindow w(env.ctx());
    QVERIFY(showActive(&w));
    QCOMPARE(focusName(), QString("user_txt"));
    typeMore(child<QLineEdit>(&w, "user_txt"), name);
    QTest::keyClick(child<QLineEdit>(&w, "user_txt"), Qt::Key_Return);
    // Two messages: the name was refused on Enter already.
    QCOMPARE(focusName(), QString(messages.size() == 2 ? "user_txt" : "pass_txt"));
    type(child<QLineEdit>(&w, "pass_txt"), password);
    if (!kindButton.isEmpty())
        QTest::mouseClick(child<QRadioButton>(&w, kindButton.toLatin1()), Qt::LeftButton);
    press(&w, "cmok");

    QCOMPARE(shownAll(env), messages);
    QCOMPARE(w.isVisible(), !focus.isEmpty());
    if (!focus.isEmpty()) {
        QCOMPARE(accounts(env), before);
        QCOMPARE(focusName(), focus);
        QCOMPARE(textOf(&w, "user_txt"), name);
        return;
    }
    QCOMPARE(accounts(env), before + QStringList{name + (kindButton == "read" ? "|R" : "|M")});
    // Stored as the login's hash, never as typed.
    const QString hash = storedHash(env, name);
    QVERIFY(hash.startsWith("$argon2id$"));
    QVERIFY(!hash.contains(password));
    QVERIFY(verifyPassword(password, hash));
    QVERIFY(!verifyPassword(password.toUpper(), hash));
}

// A supervisor's name no account holds yet is refused in any letter case,
// on Enter and on 增加用户; a name that only begins with one is not.
void TstUserWindows::reservedNameRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("refused");
    QTest::newRow("lower case") << "administrator" << true;
    QTest::newRow("capitals") << "ADMINISTRATOR" << true;
    QTest::newRow("mixed") << "AdMiNiStRaToR" << true;
    QTest::newRow("longer: added") << "administrator2" << false;
}

void TstUserWindows::reservedNameRefused()
{
    QFETCH(QString, name);
    QFETCH(bool, refused);

    TestEnv env;
    AddUserWindow w(env.ctx());
    QVERIFY(showActive(&w));
    typeMore(child<QLineEdit>(&w, "user_txt"), name);
    QTest::keyClick(child<QLineEdit>(&w, "user_txt"), Qt::Key_Return);
    typeMore(child<QLineEdit>(&w, "pass_txt"), "pw-1");
    press(&w, "cmok");

    const QString reserved = stop("此用户名是系统管理员的保留名称（不分大小写），不能使用，请重新输入！");
    QCOMPARE(shownAll(env),
             refused ? QStringList({reserved, reserved}) : QStringList{note(" 用户名已成功增加! ")});
    QCOMPARE(accounts(env), refused ? QStringList{"ZED|M"} : QStringList({"ZED|M", name + "|M"}));
    QCOMPARE(w.isVisible(), refused);
    if (refused)
        QCOMPARE(focusName(), QString("user_txt"));
}

void TstUserWindows::addButtonFollowsName()
{
    TestEnv env;
    AddUserWindow w(env.ctx());
    QVERIFY(showActive(&w));
    auto* ok = child<QPushButton>(&w, "cmok");
    QVERIFY(!ok->isEnabled());
    typeMore(child<QLineEdit>(&w, "user_txt"), "A");
    QVERIFY(ok->isEnabled());
    QTest::keyClick(child<QLineEdit>(&w, "user_txt"), Qt::Key_Backspace);
    QVERIFY(!ok->isEnabled());
    // A disabled button cannot add an account without a name.
    type(child<QLineEdit>(&w, "pass_txt"), "pw");
    press(&w, "cmok");
    QCOMPARE(env.messages().count(), 0);
    QCOMPARE(accounts(env), QStringList{"ZED|M"});
}

void TstUserWindows::deleteListHidesSupervisorsAndPasswords()
{
    TestEnv env;
    for (const char* name : {"administrator", "LI", "zed", "AdMiNiStRaToR", "wang", "ZED2", " zed"})
        env.addAccount(name, QString(name) + "-secret", "M");
    DeleteUserWindow w(env.ctx());
    QVERIFY(showActive(&w));
    QCOMPARE(gridColumn(w.grid(), 0), (QStringList{"LI", "wang", "ZED2", " zed"}));

    // The password column shows one mask on every row; no cell holds a
    // password or its hash.
    RecordModel* m = w.grid()->records();
    QCOMPARE(m->columnCount(), 2);
    for (int r = 0; r < m->rowCount(); ++r) {
        const QModelIndex cell = m->index(r, 1);
        auto* d = qobject_cast<QStyledItemDelegate*>(w.grid()->itemDelegateForIndex(cell));
        QVERIFY(d);
        QCOMPARE(d->displayText(cell.data(), QLocale()), DeleteUserWindow::kPasswordMask);
        for (int c = 0; c < 2; ++c) {
            const QString shown = m->index(r, c).data().toString();
            QVERIFY2(!shown.contains("secret") && !shown.contains("$argon2"), qPrintable(shown));
        }
    }
}

void TstUserWindows::deleteAccount_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("left");

    const QString question = ask("你真的要删除此记录吗？", "");
    const QStringList all = {"ZED|M", "LI|M", "WANG|R"};
    QTest::newRow("Yes deletes the selected account only")
        << "ZED" << 1 << int(QMessageBox::Yes) << QStringList{question} << QStringList{"ZED|M", "LI|M"};
    QTest::newRow("No keeps it") << "ZED" << 1 << int(QMessageBox::No) << QStringList{question} << all;
    QTest::newRow("the logged-in user's own account, any case")
        << "li" << 0 << 0 << QStringList{stop("不能删除当前登录用户的帐户！")} << all;
    QTest::newRow("another user's account")
        << "li" << 1 << int(QMessageBox::Yes) << QStringList{question} << QStringList{"ZED|M", "LI|M"};
}

void TstUserWindows::deleteAccount()
{
    QFETCH(QString, user);
    QFETCH(int, row);
    QFETCH(int, answer);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, left);

    TestEnv env;
    env.addAccount("LI", "li-pass", "M");
    env.addAccount("WANG", "wang-pass", "R");
    env.ctx().setLogin(user, "M");
    DeleteUserWindow w(env.ctx());
    QVERIFY(showActive(&w));
    clickRow(w.grid(), row);
    if (answer)
        env.messages().answer(QMessageBox::StandardButton(answer));
    press(&w, "cmdele");
    QCOMPARE(shownAll(env), messages);
    QCOMPARE(env.messages().unusedAnswers(), 0);
    QCOMPARE(accounts(env), left);
    QCOMPARE(gridColumn(w.grid(), 0).size(), left.size() - 1);
}

void TstUserWindows::deleteButtonFollowsRows()
{
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    DeleteUserWindow list(env.ctx());
    QVERIFY(showActive(&list));
    auto* remove = child<QPushButton>(&list, "cmdele");
    QTRY_VERIFY(!remove->isEnabled());

    // An account added meanwhile appears in the open list.
    {
        AddUserWindow add(env.ctx());
        QVERIFY(showActive(&add));
        type(child<QLineEdit>(&add, "user_txt"), "LI");
        type(child<QLineEdit>(&add, "pass_txt"), "pw");
        press(&add, "cmok");
    }
    QCOMPARE(gridColumn(list.grid(), 0), QStringList{"LI"});
    QTRY_VERIFY(remove->isEnabled());
}

void TstUserWindows::changePassword_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("oldPassword");
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("focus"); // "" when the window closed
    QTest::addColumn<QString>("liPassword");

    const QString wrong = stop("密码错误，请重新输入！");
    // A wrong old password is refused on Enter in its box and again by the button.
    const struct {
        const char* tag;
        const char* user;
        const char* oldPassword;
        const char* newPassword;
        QStringList messages;
        const char* focus;
        const char* liPassword;
    } rows[] = {
        {"cur_user's own, logged in in lower case",
         "li",
         "li-pass",
         "new-pass",
         {note("你的密码已成功更改，并立即生效!")},
         "",
         "new-pass"},
        {"another account's old password",
         "LI",
         "zed-pass",
         "new-pass",
         {wrong, wrong},
         "txt_old",
         "li-pass"},
        {"wrong letter case", "LI", "LI-PASS", "new-pass", {wrong, wrong}, "txt_old", "li-pass"},
        {"empty new password", "LI", "li-pass", "", {stop(kEmptyPassword, "系统警告")}, "txt_new", "li-pass"},
        {"apostrophe in new password",
         "LI",
         "li-pass",
         "it's",
         {stop(kPasswordApostrophe)},
         "txt_new",
         "li-pass"},
    };
    for (const auto& r : rows)
        QTest::newRow(r.tag) << r.user << r.oldPassword << r.newPassword << r.messages << r.focus
                             << r.liPassword;
}

void TstUserWindows::changePassword()
{
    QFETCH(QString, user);
    QFETCH(QString, oldPassword);
    QFETCH(QString, newPassword);
    QFETCH(QStringList, messages);
    QFETCH(QString, focus);
    QFETCH(QString, liPassword);

    TestEnv env;
    env.addAccount("LI", "li-pass", "M");
    env.ctx().setLogin(user, "M");
    ChangePasswordWindow w(env.ctx());
    QVERIFY(showActive(&w));
    QCOMPARE(focusName(), QString("txt_old"));
    auto* ok = child<QPushButton>(&w, "cmok");
    QVERIFY(!ok->isEnabled());

    // By the keyboard: old password, Enter, new password, Enter, Enter on
    // the button; when the old one is refused, a click on the button.
    typeMore(child<QLineEdit>(&w, "txt_old"), oldPassword);
    QVERIFY(ok->isEnabled());
    QTest::keyClick(child<QLineEdit>(&w, "txt_old"), Qt::Key_Return);
    if (focusName() == "txt_new") {
        typeMore(child<QLineEdit>(&w, "txt_new"), newPassword);
        QTest::keyClick(child<QLineEdit>(&w, "txt_new"), Qt::Key_Return);
        QCOMPARE(focusName(), QString("cmok"));
        QTest::keyClick(ok, Qt::Key_Return);
    } else {
        QCOMPARE(focusName(), QString("txt_old"));
        type(child<QLineEdit>(&w, "txt_new"), newPassword);
        press(&w, "cmok");
    }

    QCOMPARE(shownAll(env), messages);
    QCOMPARE(w.isVisible(), !focus.isEmpty());
    if (!focus.isEmpty())
        QCOMPARE(focusName(), focus);
    QVERIFY(verifyPassword(liPassword, storedHash(env, "LI")));
    QVERIFY(liPassword == "li-pass" || !verifyPassword("li-pass", storedHash(env, "LI")));
    // Only cur_user's row is ever rewritten.
    QVERIFY(verifyPassword(TestEnv::kZedPassword, storedHash(env, "ZED")));
}

QTEST_MAIN(TstUserWindows)
#include "tst_user_windows.moc"
