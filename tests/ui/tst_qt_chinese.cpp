// Qt's standard boxes speak Chinese like the rest of the program: the real
// message service's question and input boxes, as a person sees them.
#include "ui/message_service.h"
#include "ui/qt_chinese.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QScopeGuard>
#include <QTreeView>
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
    void saveDialog_data();
    void saveDialog();
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

// The real save dialog, as a person with a Chinese desktop sees it: it
// opens in the folder proposed, or in home when that is gone (never where
// the program was started), every word of it is Chinese, and saving onto a
// file that exists asks first: 是 replaces it, 否 goes back to the dialog.
void TstQtChinese::saveDialog_data()
{
    QTest::addColumn<QString>("proposed"); // under home
    QTest::addColumn<QString>("opensIn");  // under home
    QTest::addColumn<QString>("typed");    // the file name typed before 保存; "" 取消 at once
    QTest::addColumn<QString>("answer");   // the button pressed in the question; "" none shown
    QTest::addColumn<QString>("result");   // under home; "" when cancelled
    const QString slip = "文档/张三2026-12-07.pdf";
    QTest::newRow("the folder proposed") << slip << "文档"
                                         << ""
                                         << ""
                                         << "";
    QTest::newRow("the folder proposed is gone: home") << "不存在/张三.pdf"
                                                       << ""
                                                       << ""
                                                       << ""
                                                       << "";
    QTest::newRow("onto a file, 是: replaced") << slip << "文档"
                                               << "old"
                                               << "是(Y)"
                                               << "文档/old.pdf";
    QTest::newRow("onto a file, 否: back in the dialog, then 取消") << slip << "文档"
                                                                    << "old"
                                                                    << "否(N)"
                                                                    << "";
    QTest::newRow("a new name: not asked") << slip << "文档"
                                           << "new"
                                           << ""
                                           << "文档/new.pdf";
}

void TstQtChinese::saveDialog()
{
    QFETCH(QString, proposed);
    QFETCH(QString, opensIn);
    QFETCH(QString, typed);
    QFETCH(QString, answer);
    QFETCH(QString, result);

    QTemporaryDir home;
    QVERIFY(QDir(home.path()).mkpath("文档/照片"));
    QFile old(home.filePath("文档/old.pdf"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.close();
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    const auto restore = qScopeGuard([&] { qputenv("HOME", oldHome); });

    QString folder;
    QStringList words;
    QString asked;
    bool backInDialog = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!d)
            return;
        auto* buttons = d->findChild<QDialogButtonBox*>();
        const auto cancel = qScopeGuard([&] {
            if (d->isVisible())
                QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        });
        folder = d->directory().absolutePath();
        // What the person reads: captions, buttons and their tips, the
        // columns, and each entry's type.
        for (QWidget* w : d->findChildren<QWidget*>()) {
            if (auto* l = qobject_cast<QLabel*>(w); l && l->isVisibleTo(d))
                words << l->text();
            if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->isVisibleTo(d))
                words << b->text() << b->toolTip();
        }
        auto* view = d->findChild<QTreeView*>("treeView");
        QAbstractItemModel* m = view->model();
        QTRY_VERIFY(m->rowCount(view->rootIndex()) > 0);
        for (int c = 0; c < m->columnCount(view->rootIndex()); ++c) {
            words << m->headerData(c, Qt::Horizontal).toString();
            for (int r = 0; r < m->rowCount(view->rootIndex()) && c > 0; ++r) // names are the files' own
                words << m->index(r, c, view->rootIndex()).data().toString();
        }
        if (typed.isEmpty())
            return;
        auto* name = d->findChild<QLineEdit*>("fileNameEdit");
        QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(name, typed);
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            QStringList shown;
            for (QAbstractButton* b : box->buttons())
                shown << b->text().remove('&');
            shown.sort();
            asked =
                QStringList{box->windowTitle(), QString::number(box->icon()), box->text(), shown.join(' ')}
                    .join('|');
            for (QAbstractButton* b : box->buttons())
                if (b->text().remove('&') == answer)
                    QTest::mouseClick(b, Qt::LeftButton);
        });
        QTest::mouseClick(buttons->button(QDialogButtonBox::Save), Qt::LeftButton);
        backInDialog = d->isVisible();
    });
    QtMessageService messages;
    const QString chosen = messages.saveFileName("另存为PDF", home.filePath(proposed), "PDF 文件 (*.pdf)");

    QCOMPARE(chosen, result.isEmpty() ? QString() : home.filePath(result));
    QCOMPARE(folder, QDir(home.filePath(opensIn)).absolutePath());
    QCOMPARE(asked, answer.isEmpty() ? QString()
                                     : "另存为PDF|" + QString::number(QMessageBox::Warning) +
                                           "|old.pdf 已存在。\n您想要替换它吗？|否(N) 是(Y)");
    QCOMPARE(backInDialog, answer == "否(N)");
    QVERIFY(words.size() > 10);
    // A mnemonic's letter, as in 保存(&S), is no word, nor is a format's
    // name, as in PDF 文档.
    static const QRegularExpression names("\\(&[A-Z]\\)|PDF");
    for (QString w : words)
        QVERIFY2(!w.remove(names).contains(QRegularExpression("[A-Za-z]")), qPrintable(w));
}

// As on a Chinese desktop: the dialog's dates and sizes follow the locale.
int main(int argc, char* argv[])
{
    qputenv("LC_ALL", "zh_CN.UTF-8");
    QApplication app(argc, argv);
    TstQtChinese test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_qt_chinese.moc"
