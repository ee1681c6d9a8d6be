// The employee list: a name chosen from the open drop-down or typed stays,
// and each visit reads the employees stored now.
#include "support/ui.h"
#include "ui/worker_box.h"

#include <QVBoxLayout>

using namespace shop;
using namespace shop::test;

namespace {
QStringList worker(const QString& name)
{
    QStringList row(12);
    row[0] = name;
    return row;
}

QStringList items(const QComboBox& box)
{
    QStringList out;
    for (int i = 0; i < box.count(); ++i)
        out << box.itemText(i);
    return out;
}
} // namespace

class TstWorkerBox : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<QWidget> window;
    WorkerBox* box = nullptr;
    QLineEdit* other = nullptr;

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        for (const char* n : {"张三", "李四", "王五"})
            env->insert("worker", worker(QString::fromUtf8(n)));
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        other = new QLineEdit;
        box = new WorkerBox(env->db());
        layout->addWidget(other);
        layout->addWidget(box);
        QVERIFY(showActive(window.get()));
        other->setFocus();
    }
    void cleanup() { window.reset(); }

    void chosenNameStays_data()
    {
        QTest::addColumn<bool>("byKeys");
        QTest::newRow("mouse") << false;
        QTest::newRow("arrow keys and Enter") << true;
    }
    void chosenNameStays()
    {
        QFETCH(bool, byKeys);
        if (byKeys) {
            box->setFocus();
            QTest::keyClick(box, Qt::Key_Down, Qt::AltModifier);
            QVERIFY(QTest::qWaitFor([this] { return box->view()->isVisible(); }, 1000));
            QTest::keyClick(box->view(), Qt::Key_Down);
            QTest::keyClick(box->view(), Qt::Key_Return);
            QVERIFY(QTest::qWaitFor([this] { return !box->view()->isVisible(); }, 1000));
        } else {
            QVERIFY(chooseFromList(box, "李四"));
        }
        QCOMPARE(box->currentText(), QString("李四"));
        // A later visit keeps the choice.
        other->setFocus();
        box->setFocus();
        QCOMPARE(box->currentText(), QString("李四"));
    }

    void visitReadsTableAndKeepsTypedText()
    {
        box->setFocus();
        QCOMPARE(items(*box), QStringList({"张三", "李四", "王五"}));
        type(box, "赵");
        other->setFocus();
        env->insert("worker", worker("赵六"));
        box->setFocus();
        QCOMPARE(items(*box), QStringList({"张三", "李四", "王五", "赵六"}));
        QCOMPARE(box->currentText(), QString("赵"));
        // No employee left: the list and the text are emptied.
        other->setFocus();
        env->db().exec("DELETE FROM worker");
        box->setFocus();
        QCOMPARE(box->count(), 0);
        QCOMPARE(box->currentText(), QString());
    }
};

QTEST_MAIN(TstWorkerBox)
#include "tst_worker_box.moc"
