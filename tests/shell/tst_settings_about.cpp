// Settings window, about window and the settings round trip.
#include "shell/journal.h"
#include "shell/main_window.h"
#include "support/ui.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

using namespace shop;
using namespace shop::test;

class TstSettingsAbout : public QObject {
    Q_OBJECT
private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void settingsAtLoad();
    void saveRoundTrip_data();
    void saveRoundTrip();
    void receiptSettings_data();
    void receiptSettings();
    void quitAfterEditStoresNothing();
    void saveThatCannotBeWrittenIsSaid();
    void aboutShowsVersion();
    void aboutCloses_data();
    void aboutCloses();

private:
    QWidget* openSetup()
    {
        registerWindows(env->ctx().windows());
        return env->ctx().windows().open(env->ctx(), "frmsetup");
    }
    std::unique_ptr<TestEnv> env;
};

void TstSettingsAbout::settingsAtLoad()
{
    QWidget* w = openSetup();
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QString("系统设置"));
    QCOMPARE(child<QLineEdit>(w, "txt_dpath")->text(),
             QDir::toNativeSeparators(env->ctx().paths().businessDb()));
    QCOMPARE(child<QLineEdit>(w, "txt_spath")->text(),
             QDir::toNativeSeparators(QCoreApplication::applicationFilePath()));
    QCOMPARE(child<QLineEdit>(w, "txt_wno")->text(), QString("BMP"));
    QCOMPARE(child<QLineEdit>(w, "txt_company")->text(), QString("zedware"));
    for (const char* name : {"txt_dpath", "txt_spath", "txt_wno", "txt_company"})
        QVERIFY2(!child<QLineEdit>(w, name)->isEnabled(), name);
    QVERIFY(!child<QPushButton>(w, "cmsave")->isEnabled());

    // Editing opens the company name only.
    press(w, "cmedit");
    QVERIFY(child<QLineEdit>(w, "txt_company")->isEnabled());
    QVERIFY(child<QPushButton>(w, "cmsave")->isEnabled());
    for (const char* name : {"txt_dpath", "txt_spath", "txt_wno"})
        QVERIFY2(!child<QLineEdit>(w, name)->isEnabled(), name);
    // Opened again: the same window, brought forward.
    QCOMPARE(env->ctx().windows().open(env->ctx(), "frmsetup"), w);
}

void TstSettingsAbout::saveRoundTrip_data()
{
    QTest::addColumn<QString>("storedType");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("storedTypeAfter");

    QTest::newRow("new name") << QString() << "ACME"
                              << "ACME管理系统 Ver:1.0"
                              << "使用单位：ACME"
                              << "BMP";
    QTest::newRow("name kept untrimmed, type trimmed") << "  JPG "
                                                       << " 小店 "
                                                       << " 小店 管理系统 Ver:1.0"
                                                       << "使用单位： 小店 "
                                                       << "JPG";
    QTest::newRow("empty name stays empty") << "GIF"
                                            << ""
                                            << "管理系统 Ver:1.0"
                                            << "使用单位："
                                            << "GIF";
}

void TstSettingsAbout::saveRoundTrip()
{
    QFETCH(QString, storedType);
    QFETCH(QString, typed);
    QFETCH(QString, caption);
    QFETCH(QString, panel);
    QFETCH(QString, storedTypeAfter);

    if (!storedType.isNull())
        env->ctx().settings().setValue("settings/filetype", storedType);
    env->ctx().setLogin("ZED", "M");
    LoginJournal journal(env->ctx());
    MainWindow main(env->ctx(), journal);
    main.show();
    QCOMPARE(main.windowTitle(), QString("zedware管理系统 Ver:1.0.21"));
    QTRY_COMPARE(main.panel(2)->text(), QString("使用单位：ZEDWARE CO.,LTD"));

    QWidget* w = openSetup();
    press(w, "cmedit");
    type(child<QLineEdit>(w, "txt_company"), typed);
    press(w, "cmsave");

    // At once, without the revision; the status bar within a tick.
    QCOMPARE(main.windowTitle(), caption);
    QTRY_VERIFY(!env->ctx().windows().find("frmsetup"));
    QTRY_COMPARE(main.panel(2)->text(), panel);

    // Read back through a fresh store on the same file.
    const QString file = env->ctx().settings().fileName();
    QSettings fresh(file, QSettings::IniFormat);
    QCOMPARE(fresh.value("settings/CompanyName").toString(), typed);
    QCOMPARE(fresh.value("settings/filetype").toString(), storedTypeAfter);

    // The next opening shows what was stored, in the viewing state.
    w = openSetup();
    QCOMPARE(child<QLineEdit>(w, "txt_company")->text(), typed);
    QVERIFY(!child<QPushButton>(w, "cmsave")->isEnabled());
    QCOMPARE(env->messages().count(), 0);
}

// The receipt's settings as a person sets them: the check box clicked, the
// paper and printer chosen from their lists (the installed printers, and one
// chosen before and gone since), the footer typed; read back by the sales
// through the context and shown again at the next opening.
void TstSettingsAbout::receiptSettings_data()
{
    QTest::addColumn<QStringList>("stored"); // on, paper, printer before; empty: nothing stored
    QTest::addColumn<QStringList>("chosen"); // paper, printer, footer; empty: left alone
    QTest::addColumn<QStringList>("after");  // on, paper, printer, footer

    QTest::newRow("turned on") << QStringList{} << QStringList{"80 mm", "前台小票机", "欢迎再来"}
                               << QStringList{"true", "80", "前台小票机", "欢迎再来"};
    QTest::newRow("turned off") << QStringList{"true", "58", "办公室打印机"}
                                << QStringList{"A5", "默认打印机", ""} << QStringList{"false", "A5", "", ""};
    QTest::newRow("a printer gone since is kept") << QStringList{"false", "80", "旧打印机"} << QStringList{}
                                                  << QStringList{"true", "80", "旧打印机", "谢谢惠顾"};
}

void TstSettingsAbout::receiptSettings()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, after);

    env->printing().setPrinter(true);
    QSettings& s = env->ctx().settings();
    if (!stored.isEmpty()) {
        s.setValue("settings/ReceiptOn", stored.at(0) == "true");
        s.setValue("settings/ReceiptPaper", stored.at(1));
        s.setValue("settings/ReceiptPrinter", stored.at(2));
    }
    QWidget* w = openSetup();
    QVERIFY(showActive(w));
    press(w, "cmedit");
    QTest::mouseClick(child<QCheckBox>(w, "chk_receipt"), Qt::LeftButton, {}, QPoint(5, 5));
    if (!chosen.isEmpty()) {
        QVERIFY(chooseFromList(child<QComboBox>(w, "cbo_paper"), chosen.at(0)));
        QVERIFY(chooseFromList(child<QComboBox>(w, "cbo_printer"), chosen.at(1)));
        type(child<QLineEdit>(w, "txt_footer"), chosen.at(2));
    }
    press(w, "cmsave");
    QTRY_VERIFY(!env->ctx().windows().find("frmsetup"));
    QCOMPARE(env->messages().count(), 0);
    const ShopSettings::Receipt r = env->ctx().shopSettings().receipt();
    QCOMPARE(QStringList({r.on ? "true" : "false", r.paper, r.printer, r.footer}), after);

    w = openSetup();
    QCOMPARE(child<QCheckBox>(w, "chk_receipt")->isChecked(), after.at(0) == "true");
    QCOMPARE(child<QComboBox>(w, "cbo_paper")->currentData().toString(), after.at(1));
    QCOMPARE(child<QComboBox>(w, "cbo_printer")->currentData().toString(), after.at(2));
    QCOMPARE(child<QLineEdit>(w, "txt_footer")->text(), after.at(3));
}

void TstSettingsAbout::quitAfterEditStoresNothing()
{
    QWidget* w = openSetup();
    press(w, "cmedit");
    typeMore(child<QLineEdit>(w, "txt_company"), "XYZ");
    press(w, "cmquit");
    QTRY_VERIFY(!env->ctx().windows().find("frmsetup"));
    QVERIFY(!env->ctx().settings().contains("settings/CompanyName"));
    QVERIFY(!env->ctx().settings().contains("settings/filetype"));
}

void TstSettingsAbout::saveThatCannotBeWrittenIsSaid()
{
    env->ctx().settings().setValue("settings/CompanyName", "OLD");
    env->ctx().settings().sync();
    env->ctx().setLogin("ZED", "M");
    LoginJournal journal(env->ctx());
    MainWindow main(env->ctx(), journal);
    main.show();
    QWidget* w = openSetup();
    press(w, "cmedit");
    type(child<QLineEdit>(w, "txt_company"), "ACME");
    // The store's file cannot be replaced: a folder stands in its place.
    const QString file = env->ctx().settings().fileName();
    QVERIFY(QFile::remove(file));
    QVERIFY(QDir().mkdir(file));
    press(w, "cmsave");

    QCOMPARE(env->messages().count(), 1);
    QCOMPARE(env->messages().last().icon, QMessageBox::Critical);
    QVERIFY2(env->messages().last().text.startsWith("设置没有保存"), qPrintable(env->messages().last().text));
    // Nothing looks saved: the window stays to be quit, caption and status
    // bar keep the name that is still stored.
    QVERIFY(env->ctx().windows().find("frmsetup"));
    QCOMPARE(main.windowTitle(), QString("OLD管理系统 Ver:1.0.21"));
    QCOMPARE(env->ctx().settings().value("settings/CompanyName").toString(), QString("OLD"));
    QVERIFY(!env->ctx().settings().contains("settings/filetype"));
    QVERIFY(nextTick(&main)); // the status bar is brought up to date on the tick
    QCOMPARE(main.panel(2)->text(), QString("使用单位：OLD"));

    // Once the file can be written again, the same save goes through.
    QVERIFY(QDir().rmdir(file));
    press(w, "cmsave");
    QTRY_VERIFY(!env->ctx().windows().find("frmsetup"));
    QCOMPARE(env->messages().count(), 1);
    QCOMPARE(main.windowTitle(), QString("ACME管理系统 Ver:1.0"));
    QCOMPARE(QSettings(file, QSettings::IniFormat).value("settings/CompanyName").toString(), QString("ACME"));
}

void TstSettingsAbout::aboutShowsVersion()
{
    registerWindows(env->ctx().windows());
    QWidget* w = env->ctx().windows().open(env->ctx(), "frmabout");
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    QCOMPARE(child<QLabel>(w, "Label3")->text(), QString(" 版本 1.0.21"));
    QVERIFY(w->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(!child<QLabel>(w, "Image1")->pixmap().isNull());
}

void TstSettingsAbout::aboutCloses_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Esc") << "esc";
    QTest::newRow("click on the picture") << "click";
    QTest::newRow("another window activated") << "other";
}

void TstSettingsAbout::aboutCloses()
{
    QFETCH(QString, how);
    registerWindows(env->ctx().windows());
    QWidget* w = env->ctx().windows().open(env->ctx(), "frmabout");
    QVERIFY(QTest::qWaitForWindowActive(w));
    QWidget other;
    if (how == "esc") {
        QTest::keyClick(w, Qt::Key_Escape);
    } else if (how == "click") {
        QTest::mouseClick(child<QLabel>(w, "Image1"), Qt::LeftButton);
    } else {
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
    }
    QTRY_VERIFY(!env->ctx().windows().find("frmabout"));
}

QTEST_MAIN(TstSettingsAbout)
#include "tst_settings_about.moc"
