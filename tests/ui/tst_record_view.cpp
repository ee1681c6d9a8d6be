#include "ui/enter_chain.h"
#include "ui/record_view.h"
#include "support/test_env.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace shop;
using shop::test::TestEnv;

namespace {
// A small window of the usual shape: a grid over `guke`, a query item, a
// refresh item, a lock pair and a delete button.
struct Window {
    QWidget w;
    RecordView* view;
    QAction* query;
    QAction* refresh;
    QAction* lockItem;
    QAction* editItem;
    QPushButton* del;

    explicit Window(TestEnv& env, bool fullLock = false)
    {
        view = new RecordView(env.ctx(), env.db(), "guke", &w);
        view->setObjectName("bg");
        del = new QPushButton("删除", &w);
        auto* l = new QVBoxLayout(&w);
        l->addWidget(view);
        l->addWidget(del);
        query = view->popupMenu()->addAction("查询");
        refresh = view->popupMenu()->addAction("刷新");
        lockItem = view->popupMenu()->addAction("锁定");
        editItem = view->popupMenu()->addAction("编辑");
        view->setLockPair(lockItem, editItem, fullLock ? LockKind::Full : LockKind::Plain);
        view->setSortColumns({{0, "编号"}, {1, "姓名"}});
        view->addStateItem(query);
        view->addStateItem(del);
        view->setWarnWhenLocked(true);
        view->refresh();
        view->lock();
        w.resize(600, 400);
    }
    QStringList column(int c) const
    {
        QStringList out;
        for (int r = 0; r < view->records()->rowCount(); ++r)
            out << view->records()->index(r, c).data().toString();
        return out;
    }
};

const SearchItem kByName{"请输入要查询的姓名：", "姓名查询", "姓名", "未找到相应的记录！", "查询"};
} // namespace

class TstRecordView : public QObject {
    Q_OBJECT

    void seed(TestEnv& env)
    {
        env.insert("guke", {"3", "张三", "男", "", "", "", "", ""});
        env.insert("guke", {"1", "李四", "女", "", "", "", "", ""});
        env.insert("guke", {"2", "王五", "男", "", "", "", "", ""});
    }

private slots:
    void sortByHeaderAndIndexWithoutEntry()
    {
        TestEnv env;
        seed(env);
        Window win(env);
        QCOMPARE(win.column(0), (QStringList{"3", "1", "2"}));
        win.view->sortByHeader(0);
        QCOMPARE(win.column(0), (QStringList{"1", "2", "3"}));
        // A search replaces the sort; an index without an entry re-runs the
        // current source with its filter.
        env.messages().answerInput("五");
        QCOMPARE(win.view->search(kByName), SearchResult::Found);
        QCOMPARE(win.column(1), QStringList{"王五"});
        env.insert("guke", {"9", "赵五", "", "", "", "", "", ""});
        win.view->sortByHeader(5);
        QCOMPARE(win.column(1), (QStringList{"王五", "赵五"}));
        // A header with a sort replaces the search.
        win.view->sortByHeader(1);
        QCOMPARE(win.column(0).size(), 4);
    }

    void searchAnswers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<int>("messages");
        QTest::newRow("empty answer changes nothing") << "" << QStringList{"1", "2"} << 0;
        QTest::newRow("found") << "张" << QStringList{"3"} << 0;
        QTest::newRow("not found falls back to all rows") << "钱" << QStringList{"3", "1", "2"} << 1;
        QTest::newRow("apostrophe is only text") << "' or '1'='1" << QStringList{"3", "1", "2"} << 1;
        QTest::newRow("percent matches itself") << "%" << QStringList{"3", "1", "2"} << 1;
    }
    void searchAnswers()
    {
        QFETCH(QString, answer);
        QFETCH(QStringList, shown);
        QFETCH(int, messages);
        TestEnv env;
        seed(env);
        Window win(env);
        // Start from a filtered, sorted view: an empty answer must keep it.
        win.view->setSource(RecordSource::all("guke").filter("编号", Op::Le, "2").orderBy("编号"));
        env.messages().answerInput(answer);
        win.view->search(kByName);
        QCOMPARE(win.column(0), shown);
        QCOMPARE(env.messages().count() - 1, messages); // the input box itself is the first
        QCOMPARE(env.messages().shown().first().text, kByName.prompt);
        QCOMPARE(env.messages().shown().first().caption, kByName.title);
        if (messages) {
            const auto m = env.messages().last();
            QCOMPARE(m.text, QString("未找到相应的记录！"));
            QCOMPARE(m.icon, QMessageBox::Critical);
            QCOMPARE(m.caption, QString("查询"));
            QCOMPARE(m.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        }
    }

    void lockPairVariants_data()
    {
        QTest::addColumn<bool>("full");
        QTest::newRow("plain") << false;
        QTest::newRow("full") << true;
    }
    void lockPairVariants()
    {
        QFETCH(bool, full);
        TestEnv env;
        seed(env);
        Window win(env, full);
        win.view->setAllowDelete(true);
        win.view->lock();
        QVERIFY(!win.lockItem->isEnabled());
        QVERIFY(win.editItem->isEnabled());
        QVERIFY(!win.view->allowUpdate());
        QCOMPARE(win.view->allowDelete(), !full);
        win.editItem->trigger();
        QVERIFY(win.lockItem->isEnabled());
        QVERIFY(!win.editItem->isEnabled());
        QVERIFY(win.view->allowUpdate());
        QVERIFY(win.view->allowDelete());
    }

    void inPlaceEditsRefusedWhileLockedAndWrittenWhenRowLeft()
    {
        TestEnv env;
        seed(env);
        Window win(env);
        win.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win.w));
        RecordView* v = win.view;
        v->setCurrentIndex(v->records()->index(0, 1));
        v->setFocus();
        // Locked: typing into a cell warns and changes nothing.
        QTest::keyClicks(v, "x");
        QCOMPARE(env.messages().last().text, QString("不能编辑内容，因为目前表格处于锁定状态！"));
        QCOMPARE(env.messages().last().caption, QString("错误"));
        QCOMPARE(env.messages().last().icon, QMessageBox::Critical);
        QCOMPARE(env.rows("guke").at(0).at(1), QString("张三"));

        win.editItem->trigger();
        QVERIFY(v->records()->setData(v->records()->index(0, 1), "张三丰"));
        // Not written while the row is still current.
        QCOMPARE(env.rows("guke").at(0).at(1), QString("张三"));
        v->setCurrentIndex(v->records()->index(1, 1));
        QCOMPARE(env.rows("guke").at(0).at(1), QString("张三丰"));
        QCOMPARE(env.rows("guke").at(1).at(1), QString("李四"));
    }

    void deleteSelectedAsksAndDeletesExactlyThatRow_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("rowsLeft");
        QTest::newRow("No keeps the row") << int(QMessageBox::No) << 3;
        QTest::newRow("Yes deletes it") << int(QMessageBox::Yes) << 2;
    }
    void deleteSelectedAsksAndDeletesExactlyThatRow()
    {
        QFETCH(int, answer);
        QFETCH(int, rowsLeft);
        TestEnv env;
        seed(env);
        env.insert("guke", {"1", "李四", "女", "", "", "", "", ""}); // identical twin of row 2
        Window win(env);
        win.view->setCurrentIndex(win.view->records()->index(3, 0));
        env.messages().answer(static_cast<QMessageBox::StandardButton>(answer));
        win.view->deleteSelected(RecordView::defaultDeleteQuestion(), "顾客");
        const auto q = env.messages().last();
        QCOMPARE(q.text, QString("真的想删除所选的记录吗？"));
        QCOMPARE(q.icon, QMessageBox::Question);
        QCOMPARE(q.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(q.caption, QString("顾客"));
        QCOMPARE(env.rows("guke").size(), rowsLeft + 1);
        QCOMPARE(win.view->records()->rowCount(), rowsLeft + 1);
        // The twin stored first is still there.
        QCOMPARE(env.rows("guke").at(1).at(1), QString("李四"));
    }

    void itemStatesFollowRows()
    {
        TestEnv env;
        Window win(env);
        win.view->updateItemStates();
        QVERIFY(!win.query->isEnabled());
        QVERIFY(!win.del->isEnabled());
        QVERIFY(win.refresh->isEnabled());
        seed(env);
        win.refresh->setEnabled(true);
        win.view->refresh();
        win.view->updateItemStates();
        QVERIFY(win.query->isEnabled());
        QVERIFY(win.del->isEnabled());
    }

    void rightButtonOpensPopupAndClickLoadsRow()
    {
        TestEnv env;
        seed(env);
        Window win(env);
        win.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&win.w));
        RecordView* v = win.view;
        const QRect cell = v->visualRect(v->records()->index(1, 1));
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, cell.center());
        QVERIFY(!v->popupMenu()->isVisible());
        QSignalSpy clicked(v, &RecordView::rowClicked);
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(clicked.first().first().value<Record>().value("姓名"), QString("李四"));
        QTest::mouseClick(v->viewport(), Qt::RightButton, {}, cell.center());
        QTRY_VERIFY(v->popupMenu()->isVisible());
        v->popupMenu()->hide();
    }

    void tableChangedNotifierReruns()
    {
        TestEnv env;
        Window win(env);
        QVERIFY(win.view->isEmpty());
        seed(env);
        emit env.ctx().notifier().tableChanged("GUKE");
        QCOMPARE(win.view->records()->rowCount(), 3);
    }

    void enterChain()
    {
        TestEnv env;
        QWidget w;
        auto* a = new QLineEdit(&w);
        auto* b = new QLineEdit(&w);
        auto* c = new QLineEdit(&w);
        auto* l = new QVBoxLayout(&w);
        l->addWidget(a);
        l->addWidget(b);
        l->addWidget(c);
        EnterChain chain(env.messages());
        chain.add(a, b, "商品名称不能为空！");
        chain.add(b, c);
        int lookups = 0;
        chain.setHandler(c, [&lookups] { ++lookups; });
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        a->setFocus();
        QTest::keyClick(a, Qt::Key_Return);
        QCOMPARE(env.messages().last().text, QString("商品名称不能为空！"));
        QCOMPARE(env.messages().last().caption, QString("错误"));
        QCOMPARE(env.messages().last().icon, QMessageBox::Critical);
        QVERIFY(a->hasFocus());
        shop::test::typeText(a, "茶");
        QTest::keyClick(a, Qt::Key_Return);
        QVERIFY(b->hasFocus());
        QTest::keyClick(b, Qt::Key_Return); // not mandatory: moves on empty
        QVERIFY(c->hasFocus());
        QTest::keyClick(c, Qt::Key_Enter);
        QCOMPARE(lookups, 1);
        QCOMPARE(env.messages().count(), 1);
        // Other keys are untouched.
        QTest::keyClicks(c, "ab");
        QCOMPARE(c->text(), QString("ab"));
    }
};

QTEST_MAIN(TstRecordView)
#include "tst_record_view.moc"
