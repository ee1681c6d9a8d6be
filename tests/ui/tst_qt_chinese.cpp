// Qt's standard boxes speak Chinese like the rest of the program: the real
// message service's question and input boxes, as a person sees them.
#include "ui/message_service.h"
#include "ui/qt_chinese.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

using namespace shop;

class TstQtChinese : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void boxesShowChineseButtons_data();
    void boxesShowChineseButtons();
};

void TstQtChinese::initTestCase()
{
    if (installQtChinese().isEmpty())
        QFAIL("Qt's Chinese translations are not installed (qt6-translations-l10n)");
}

void TstQtChinese::boxesShowChineseButtons_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("buttons"); // shown texts, mnemonics stripped
    QTest::addColumn<QString>("press");       // the button the person presses
    QTest::addColumn<QString>("result");

    QTest::newRow("question, yes") << "question" << QStringList{"是(Y)", "否(N)"} << "是(Y)"
                                   << "yes";
    QTest::newRow("question, no") << "question" << QStringList{"是(Y)", "否(N)"} << "否(N)"
                                  << "no";
    QTest::newRow("input, ok") << "input" << QStringList{"确定", "取消"} << "确定"
                               << "张三";
    QTest::newRow("input, cancel") << "input" << QStringList{"确定", "取消"} << "取消"
                                   << "";
    QTest::newRow("password, ok") << "secret" << QStringList{"确定", "取消"} << "确定"
                                  << "张三";
}

void TstQtChinese::boxesShowChineseButtons()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, buttons);
    QFETCH(QString, press);
    QFETCH(QString, result);

    QStringList shown;
    bool pressed = false;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box)
            return;
        if (auto* edit = box->findChild<QLineEdit*>())
            edit->insert("张三"); // as an input method commits it
        const auto all = box->findChild<QDialogButtonBox*>()->buttons();
        for (QAbstractButton* b : all)
            shown << QString(b->text()).remove('&');
        for (QAbstractButton* b : all)
            if (QString(b->text()).remove('&') == press) {
                pressed = true;
                b->click();
                return;
            }
        box->close();
    });

    QtMessageService messages;
    QString got;
    if (kind == "question")
        got = messages.question("删除这条记录吗？", "确认") ? "yes" : "no";
    else if (kind == "input")
        got = static_cast<MessageService&>(messages).input("请输入姓名：", "输入");
    else
        got = messages.secret("请输入密码：", "密码");

    shown.sort();
    buttons.sort();
    QCOMPARE(shown, buttons);
    QVERIFY(pressed);
    QCOMPARE(got, result);
}

QTEST_MAIN(TstQtChinese)
#include "tst_qt_chinese.moc"
