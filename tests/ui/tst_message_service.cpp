// The real message service's boxes show the words they are given: a typed
// period, a name or a goods line that looks like markup is shown as typed.
#include "ui/message_service.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace shop;

class TstMessageService : public QObject {
    Q_OBJECT
private slots:
    void textShownAsTyped_data();
    void textShownAsTyped();
};

void TstMessageService::textShownAsTyped_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << "从2026-12-01到2026-12-31期间，支出0元，收入3元";
    QTest::newRow("bold tags typed in a period") << "从<b>2026-12-01</b>到2026-12-31期间，支出0元，收入3元";
    QTest::newRow("a picture tag as a name") << "<img src=x>张三, 欢迎使用本系统!  ";
    QTest::newRow("an entity") << "从&lt;1&gt;到2期间";
}

void TstMessageService::textShownAsTyped()
{
    QFETCH(QString, text);

    QString seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
            // What the person can select is what the label shows.
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            for (int n = int(label->text().size()); n > 0 && !label->hasSelectedText(); --n)
                label->setSelection(0, n);
            seen = label->selectedText();
        }
        box->accept();
    });
    QtMessageService messages;
    messages.information(text, "统计");
    QCOMPARE(seen, text);
}

QTEST_MAIN(TstMessageService)
#include "tst_message_service.moc"
