// The current row of a grid is the row the fields show and the row delete
// acts on: the right button does not move it, a re-run keeps it, an edit
// in progress is written before the window goes, and with no current row
// delete asks nothing.
#include "support/ui.h"
#include "ui/record_view.h"

#include <QMenu>
#include <QSignalSpy>
#include <QVBoxLayout>

using namespace shop;
using namespace shop::test;

namespace {
struct Grid {
    QWidget w;
    RecordView* view;
    QAction* lockItem;
    QAction* editItem;

    explicit Grid(TestEnv& env)
    {
        view = new RecordView(env.ctx(), env.db(), "guke", &w);
        auto* l = new QVBoxLayout(&w);
        l->addWidget(view);
        lockItem = view->popupMenu()->addAction("锁定");
        editItem = view->popupMenu()->addAction("编辑");
        view->setLockPair(lockItem, editItem, LockKind::Full);
        view->refresh();
        view->lock();
        w.resize(600, 300);
    }
    QPoint cell(int row, int column) const
    {
        return view->visualRect(view->records()->index(row, column)).center();
    }
    int currentRow() const { return view->currentIndex().row(); }
    // Clicks a cell, opens its editor with F2 and types, leaving the editor
    // open.
    void typeInCell(int row, int column, const QString& text)
    {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell(row, column));
        QTest::keyClick(view, Qt::Key_F2);
        QWidget* editor = QApplication::focusWidget();
        QVERIFY(editor && view->viewport()->isAncestorOf(editor));
        if (auto* e = qobject_cast<QLineEdit*>(editor))
            e->selectAll();
        typeMore(editor, text);
    }
};
} // namespace

class TstCurrentRow : public QObject {
    Q_OBJECT
    std::unique_ptr<TestEnv> env;

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        for (const char* n : {"张三", "李四", "王五"})
            env->insert("guke", {"1", QString::fromUtf8(n), "", "", "", "", "", ""});
    }

    void rightButtonOnlyOpensThePopup()
    {
        Grid g(*env);
        QVERIFY(showActive(&g.w));
        QTest::mouseClick(g.view->viewport(), Qt::LeftButton, {}, g.cell(0, 1));
        QCOMPARE(g.currentRow(), 0);
        QSignalSpy clicked(g.view, &RecordView::rowClicked);
        QTest::mousePress(g.view->viewport(), Qt::RightButton, {}, g.cell(1, 1));
        QTRY_VERIFY(g.view->popupMenu()->isVisible());
        g.view->popupMenu()->hide();
        QTest::mouseRelease(g.view->viewport(), Qt::RightButton, {}, g.cell(1, 1));
        QCOMPARE(g.currentRow(), 0);
        QCOMPARE(clicked.size(), 0);
    }

    void editInProgressWrittenWhenWindowCloses_data()
    {
        QTest::addColumn<bool>("pressEnter");
        QTest::addColumn<bool>("failing");
        QTest::newRow("editor still open") << false << false;
        QTest::newRow("edit taken, row not left") << true << false;
        QTest::newRow("failed write is said") << false << true;
    }
    void editInProgressWrittenWhenWindowCloses()
    {
        QFETCH(bool, pressEnter);
        QFETCH(bool, failing);
        if (failing)
            env->db().exec(
                "CREATE TRIGGER no_edit BEFORE UPDATE ON guke BEGIN SELECT RAISE(ABORT, 'disk full'); END");
        Grid g(*env);
        QVERIFY(showActive(&g.w));
        g.editItem->trigger();
        g.typeInCell(1, 1, "李四郎");
        if (pressEnter)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(env->rows("guke").at(1).at(1), QString("李四"));
        g.w.close();
        if (failing) {
            QCOMPARE(env->rows("guke").at(1).at(1), QString("李四"));
            QCOMPARE(env->messages().count(), 1);
            QCOMPARE(env->messages().last().caption, QString("错误信息"));
            QCOMPARE(env->messages().last().icon, QMessageBox::Critical);
            QVERIFY(env->messages().last().text.startsWith("数据库操作失败："));
            QVERIFY(env->messages().last().text.contains("disk full"));
        } else {
            QCOMPARE(env->rows("guke").at(1).at(1), QString("李四郎"));
            QCOMPARE(env->messages().count(), 0);
        }
    }

    void writeElsewhereKeepsCurrentRowAndOpenEdit()
    {
        Grid a(*env);
        Grid b(*env);
        QVERIFY(showActive(&a.w));
        QTest::mouseClick(a.view->viewport(), Qt::LeftButton, {}, a.cell(1, 1));
        a.editItem->trigger();
        a.typeInCell(1, 2, "女");
        // Another window writes the table: every view re-runs.
        env->insert("guke", {"0", "赵六", "", "", "", "", "", ""});
        emit env->ctx().notifier().tableChanged("guke");
        QCOMPARE(b.view->records()->rowCount(), 4);
        QCOMPARE(a.currentRow(), 1);
        QCOMPARE(env->rows("guke").at(1).at(2), QString("女"));
        // Delete acts on the row the user was on.
        a.view->lock();
        env->messages().answer(QMessageBox::Yes);
        QCOMPARE(a.view->deleteSelected(RecordView::defaultDeleteQuestion(), "删除"), DeleteResult::Deleted);
        QCOMPARE(storedColumn(*env, "guke", 1), (QStringList{"张三", "王五", "赵六"}));
    }

    void currentRowDeletedElsewhere()
    {
        Grid a(*env);
        QVERIFY(showActive(&a.w));
        QTest::mouseClick(a.view->viewport(), Qt::LeftButton, {}, a.cell(2, 1));
        QSignalSpy lost(a.view, &RecordView::currentRowLost);
        env->db().exec("DELETE FROM guke WHERE 姓名 = '王五'");
        emit env->ctx().notifier().tableChanged("guke");
        QCOMPARE(lost.size(), 1);
        QVERIFY(!a.view->currentRecord());
        // Nothing current: delete neither asks nor deletes.
        QCOMPARE(a.view->deleteSelected(RecordView::defaultDeleteQuestion(), "删除"), DeleteResult::NoRow);
        QCOMPARE(env->messages().count(), 0);
        QCOMPARE(env->rows("guke").size(), 2);
    }
};

QTEST_MAIN(TstCurrentRow)
#include "tst_current_row.moc"
