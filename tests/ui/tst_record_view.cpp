#include "ui/enter_chain.h"
#include "ui/record_view.h"
#include "support/test_env.h"
#include "support/ui.h"

#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTest>
#include <QVBoxLayout>

#include <algorithm>

using namespace shop;
using shop::test::TestEnv;
using namespace shop::test;

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
    QStringList column(int c) const { return gridColumn(view, c); }
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
    // The grid keeps each text's layout between paints; what it draws is
    // what the style draws, pixel for pixel, in every state of a cell.
    void cellsLookAsTheStyleDrawsThem_data()
    {
        QTest::addColumn<int>("selectedRow");
        QTest::addColumn<int>("nameWidth");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("active");
        QTest::addColumn<QString>("sheet");
        const QString none;
        QTest::newRow("plain") << -1 << 100 << true << false << none;
        QTest::newRow("a row selected") << 1 << 100 << true << false << none;
        QTest::newRow("texts cut short") << 1 << 40 << true << false << none;
        QTest::newRow("disabled") << 0 << 100 << false << false << none;
        QTest::newRow("in the active window, a row selected") << 2 << 100 << true << true << none;
        QTest::newRow("a style sheet")
            << 1 << 100 << true << false
            << "QTableView { color: #a03030; selection-background-color: #308030; }";
    }
    void cellsLookAsTheStyleDrawsThem()
    {
        QFETCH(int, selectedRow);
        QFETCH(int, nameWidth);
        QFETCH(bool, enabled);
        QFETCH(bool, active);
        QFETCH(QString, sheet);
        TestEnv env;
        env.insert("guke", {"3", "张三", "男", "", "", "", "", ""});
        env.insert("guke", {"1", "一个很长很长的名字要省略", "女", "两行\n地址", "", "", "", ""});
        env.insert("guke", {"12345678901234567890", "Wang Wu", "", "", "", "", "", ""});
        QImage shown[2];
        for (int i = 0; i < 2; ++i) {
            RecordView view(env.ctx(), env.db(), "guke");
            if (i == 1)
                view.setItemDelegate(new QStyledItemDelegate(&view));
            view.setStyleSheet(sheet);
            view.resize(500, 200);
            view.setColumnWidth(0, nameWidth);
            view.setColumnWidth(1, nameWidth);
            view.refresh();
            if (selectedRow >= 0)
                view.selectRow(selectedRow);
            view.setEnabled(enabled);
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            if (active) {
                view.activateWindow();
                view.setFocus();
                QVERIFY(QTest::qWaitForWindowActive(&view));
            }
            shown[i] = view.viewport()->grab().toImage();
        }
        QVERIFY(!shown[0].isNull());
        QCOMPARE(shown[0], shown[1]);
    }

    // The grid's lines stand where the view's own stood: under each row and
    // right of each column, over a selected row too, and not below the rows.
    void gridLinesUnderRowsAndRightOfColumns_data()
    {
        QTest::addColumn<int>("selectedRow");
        QTest::newRow("none selected") << -1;
        QTest::newRow("a row selected") << 1;
    }
    void gridLinesUnderRowsAndRightOfColumns()
    {
        QFETCH(int, selectedRow);
        TestEnv env;
        seed(env);
        RecordView view(env.ctx(), env.db(), "guke");
        view.resize(500, 200);
        view.refresh();
        if (selectedRow >= 0)
            view.selectRow(selectedRow);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QImage shown = view.viewport()->grab().toImage();
        QStyleOptionViewItem option;
        option.initFrom(&view);
        const QRgb line =
            static_cast<QRgb>(view.style()->styleHint(QStyle::SH_Table_GridLineColor, &option, &view));
        const int x = view.columnViewportPosition(2) + 3; // an empty cell
        for (int row = 0; row < 3; ++row) {
            const int bottom = view.rowViewportPosition(row) + view.rowHeight(row) - 1;
            QCOMPARE(shown.pixel(x, bottom), line);
            QVERIFY(shown.pixel(x, bottom - 2) != line);
        }
        const int right = view.columnViewportPosition(0) + view.columnWidth(0) - 1;
        const int belowRows = view.rowViewportPosition(2) + view.rowHeight(2) + 4;
        QCOMPARE(shown.pixel(right, view.rowViewportPosition(1) + 2), line);
        QVERIFY(shown.pixel(right, belowRows) != line);
        QVERIFY(shown.pixel(right - 2, view.rowViewportPosition(1) + 2) != line);
    }

    // The first screen is read at once, whatever the page size: a page that
    // ended on the screen was followed at once by the next one and a second
    // paint of the whole grid.
    void firstScreenReadAtOnce()
    {
        TestEnv env;
        for (int i = 0; i < 100; ++i)
            env.insert("guke", {QString::number(i), "张三", "", "", "", "", "", ""});
        RecordView view(env.ctx(), env.db(), "guke");
        view.records()->setPageSize(16);
        view.resize(500, 40 * view.verticalHeader()->defaultSectionSize());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.refresh();
        const int onScreen = view.viewport()->height() / view.verticalHeader()->defaultSectionSize() + 1;
        QVERIFY2(view.records()->rowCount() > onScreen,
                 qPrintable(QString::number(view.records()->rowCount())));
        QSignalSpy fetched(view.records(), &QAbstractItemModel::rowsInserted);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(fetched.count(), 0);
        // Scrolling on still reads the pages that come into view.
        const int first = view.records()->rowCount();
        view.scrollToBottom();
        QTRY_VERIFY(view.records()->rowCount() > first);
    }

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

    // The window's own question and caption; what the answer, the
    // selection and the database come to.
    void deleteSelectedResults_data()
    {
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("row"); // current row, -1 for none
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("refused"); // a trigger aborts every delete
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("left"); // 编号 of the stored rows
        QTest::addColumn<QStringList>("shown");

        const QString q1 = "你真的想删除所选的记录吗？", c1 = "修改";
        const QString q2 = "真的想删除所选的记录?", c2 = "顾客";
        const int yes = QMessageBox::Yes, no = QMessageBox::No;
        QTest::newRow("no keeps the row") << q1 << c1 << 1 << no << false << int(DeleteResult::No)
                                          << QStringList{"3", "1", "2"} << QStringList{ask(q1, c1)};
        QTest::newRow("yes deletes it") << q2 << c2 << 1 << yes << false << int(DeleteResult::Deleted)
                                        << QStringList{"3", "2"} << QStringList{ask(q2, c2)};
        // Without a current row nothing is asked.
        QTest::newRow("yes without a row") << q1 << c1 << -1 << yes << false << int(DeleteResult::NoRow)
                                           << QStringList{"3", "1", "2"} << QStringList{};
        QTest::newRow("no without a row") << q2 << c2 << -1 << no << false << int(DeleteResult::NoRow)
                                          << QStringList{"3", "1", "2"} << QStringList{};
        QTest::newRow("refused by the database")
            << q2 << c2 << 2 << yes << true << int(DeleteResult::Failed) << QStringList{"3", "1", "2"}
            << QStringList{ask(q2, c2), stop("数据库操作失败：x", "错误信息")};
    }
    void deleteSelectedResults()
    {
        QFETCH(QString, question);
        QFETCH(QString, caption);
        QFETCH(int, row);
        QFETCH(int, answer);
        QFETCH(bool, refused);
        QFETCH(int, result);
        QFETCH(QStringList, left);
        QFETCH(QStringList, shown);

        TestEnv env;
        seed(env);
        if (refused)
            QVERIFY(env.db().exec(
                "CREATE TRIGGER keep BEFORE DELETE ON guke BEGIN SELECT RAISE(ABORT, 'x'); END"));
        Window win(env);
        win.view->setCurrentIndex(row < 0 ? QModelIndex() : win.view->records()->index(row, 0));
        if (row >= 0)
            env.messages().answer(QMessageBox::StandardButton(answer));
        QCOMPARE(int(win.view->deleteSelected(question, caption)), result);
        QCOMPARE(shownAll(env), shown);
        QCOMPARE(storedColumn(env, "guke", 0), left);
        QCOMPARE(win.column(0), left);
    }

    // Cancelled leaves the view; Found shows the hits in the item's columns;
    // NotFound says so and shows the item's own fallback; Failed reports.
    void searchResults_data()
    {
        QTest::addColumn<bool>("dropped"); // the table went away under the view
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("shown"); // column 0 afterwards
        QTest::addColumn<int>("columns");       // -1: not looked at
        QTest::addColumn<QStringList>("messages");

        const QString prompt = input("请输入要查询的内容：", "内容查询");
        QTest::newRow("cancelled") << false << "" << int(SearchResult::Cancelled)
                                   << QStringList{"3", "1", "2"} << 8 << QStringList{prompt};
        QTest::newRow("found") << false << "李" << int(SearchResult::Found) << QStringList{"1"} << 2
                               << QStringList{prompt};
        QTest::newRow("not found: the fallback")
            << false << "钱" << int(SearchResult::NotFound) << QStringList{"2", "3"} << 2
            << QStringList{prompt, stop("没有这样的顾客！", "查询")};
        QTest::newRow("database error")
            << true << "x" << int(SearchResult::Failed) << QStringList{} << -1
            << QStringList{prompt, stop("数据库操作失败：no such table: guke", "错误信息")};
    }
    void searchResults()
    {
        QFETCH(bool, dropped);
        QFETCH(QString, answer);
        QFETCH(int, result);
        QFETCH(QStringList, shown);
        QFETCH(int, columns);
        QFETCH(QStringList, messages);

        TestEnv env;
        seed(env);
        Window win(env);
        const QStringList twoColumns{"编号", "姓名"};
        if (dropped)
            QVERIFY(env.db().exec("DROP TABLE guke"));
        const SearchItem item{
            "请输入要查询的内容：",
            "内容查询",
            "姓名",
            "没有这样的顾客！",
            "查询",
            twoColumns,
            RecordSource{"guke", twoColumns, {}, {}}.filter("性别", Op::Eq, "男").orderBy("编号")};
        env.messages().answerInput(answer);
        QCOMPARE(int(win.view->search(item)), result);
        QCOMPARE(win.column(0), shown);
        if (columns >= 0)
            QCOMPARE(win.view->records()->columnCount(), columns);
        QCOMPARE(shownAll(env), messages);
    }

    // A click on a header without a sort, after another connection stored a
    // row: Rerun shows it in the order in force, Ignore leaves the view.
    void unmappedHeader_data()
    {
        QTest::addColumn<int>("unmapped");
        QTest::addColumn<QStringList>("numbers");
        QTest::newRow("rerun") << int(UnmappedHeader::Rerun) << QStringList{"1", "2", "3", "4"};
        QTest::newRow("ignore") << int(UnmappedHeader::Ignore) << QStringList{"1", "2", "3"};
    }
    void unmappedHeader()
    {
        QFETCH(int, unmapped);
        QFETCH(QStringList, numbers);

        TestEnv env;
        seed(env);
        Window win(env);
        win.view->setSortColumns({{0, "编号"}, {1, "姓名"}}, {}, UnmappedHeader(unmapped));
        QVERIFY(showActive(&win.w));
        clickHeader(win.view, 0);
        QCOMPARE(win.column(0), (QStringList{"1", "2", "3"}));

        QString error;
        const auto other = Database::open(env.db().path(), &error);
        QVERIFY2(other, qPrintable(error));
        QVERIFY(other->exec("INSERT INTO guke (编号, 姓名) VALUES (?, ?)", {"4", "赵六"}));
        clickHeader(win.view, 2);
        QCOMPARE(win.column(0), numbers);
        QCOMPARE(env.messages().count(), 0);
    }

    // The lock menu, acted on with the Delete key: only the full lock,
    // unlocked, lets the key delete; the refresh item shows every row.
    void lockMenu_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("afterUnlockedDelete");
        QTest::newRow("plain") << int(LockKind::Plain) << QStringList{"3", "1", "2"};
        QTest::newRow("full") << int(LockKind::Full) << QStringList{"1", "2"};
    }
    void lockMenu()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, afterUnlockedDelete);

        TestEnv env;
        seed(env);
        QWidget w;
        w.setWindowTitle("顾客资料");
        auto* view = new RecordView(env.ctx(), env.db(), "guke", &w);
        auto* l = new QVBoxLayout(&w);
        l->addWidget(view);
        const auto menu =
            view->addLockMenu({"lock", "锁定"}, {"edit", "编辑"}, {"refresh", "刷新"}, LockKind(kind));
        view->setSource(RecordSource::all("guke").filter("性别", Op::Eq, "女"));
        menu.refresh->trigger();
        QCOMPARE(gridColumn(view, 0), (QStringList{"3", "1", "2"}));
        menu.lock->trigger();
        QVERIFY(showActive(&w));

        auto pressDelete = [&] {
            view->setFocus();
            view->setCurrentIndex(view->records()->index(0, 0));
            QTest::keyClick(view, Qt::Key_Delete);
        };
        env.messages().answer(QMessageBox::Yes);
        pressDelete();
        QCOMPARE(env.messages().count(), 0);
        QCOMPARE(storedColumn(env, "guke", 0), (QStringList{"3", "1", "2"}));

        menu.edit->trigger();
        pressDelete();
        QCOMPARE(storedColumn(env, "guke", 0), afterUnlockedDelete);
        QCOMPARE(shownAll(env), LockKind(kind) == LockKind::Full
                                    ? QStringList{ask("真的想删除所选的记录吗？", "顾客资料")}
                                    : QStringList{});

        menu.lock->trigger();
        env.messages().clear();
        env.messages().answer(QMessageBox::Yes);
        pressDelete();
        QCOMPARE(env.messages().count(), 0);
        QCOMPARE(storedColumn(env, "guke", 0), afterUnlockedDelete);
    }

    // Each way the source runs again brings the states in step at once and
    // says so once, without waiting for the timer.
    void statesUpdatedAfterRerun_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("table changed") << "notify" << true;
        QTest::newRow("header sort") << "header" << true;
        QTest::newRow("refresh") << "refresh" << true;
        QTest::newRow("search without hits") << "search" << true;
        QTest::newRow("filter without rows") << "empty" << false;
    }
    void statesUpdatedAfterRerun()
    {
        QFETCH(QString, how);
        QFETCH(bool, enabled);

        TestEnv env;
        Window win(env);
        QTimer* timer = win.view->startItemStateTimer(60000, "Timer1");
        QCOMPARE(win.view->findChild<QTimer*>("Timer1"), timer);
        QVERIFY(!win.query->isEnabled());
        seed(env);
        QSignalSpy updated(win.view, &RecordView::statesUpdated);
        if (how == "notify") {
            emit env.ctx().notifier().tableChanged("guke");
        } else if (how == "header") {
            win.view->sortByHeader(1);
        } else if (how == "refresh") {
            win.view->refresh();
        } else if (how == "search") {
            env.messages().answerInput("钱");
            win.view->search(kByName);
        } else {
            win.view->setSource(RecordSource::all("guke").filter("姓名", Op::Eq, "钱"));
        }
        QCOMPARE(win.query->isEnabled(), enabled);
        QCOMPARE(win.del->isEnabled(), enabled);
        // A search without hits runs twice: the search and its fallback.
        QCOMPARE(updated.size(), how == "search" ? 2 : 1);
    }

    // A write re-runs every open view of its table exactly once, through the
    // notifier alone; the view of an in-place edit already shows it, and a
    // view that has not run yet stays quiet.
    void writeRerunsEachViewOnce_data()
    {
        QTest::addColumn<QString>("write");
        QTest::addColumn<int>("writerReruns");
        QTest::newRow("delete") << "delete" << 1;
        QTest::newRow("in-place edit") << "edit" << 0;
    }
    void writeRerunsEachViewOnce()
    {
        QFETCH(QString, write);
        QFETCH(int, writerReruns);

        TestEnv env;
        seed(env);
        Window a(env);
        Window b(env);
        RecordView notRun(env.ctx(), env.db(), "guke");
        RecordView otherTable(env.ctx(), env.db(), "worker");
        otherTable.refresh();
        QSignalSpy reranA(a.view, &RecordView::reran);
        QSignalSpy reranB(b.view, &RecordView::reran);
        QSignalSpy reranNotRun(&notRun, &RecordView::reran);
        QSignalSpy reranOther(&otherTable, &RecordView::reran);

        if (write == "delete") {
            a.view->setCurrentIndex(a.view->records()->index(0, 0));
            env.messages().answer(QMessageBox::Yes);
            QCOMPARE(a.view->deleteSelected(RecordView::defaultDeleteQuestion(), "顾客"),
                     DeleteResult::Deleted);
            QCOMPARE(b.column(0), (QStringList{"1", "2"}));
        } else {
            a.editItem->trigger();
            a.view->setCurrentIndex(a.view->records()->index(0, 1));
            QVERIFY(a.view->records()->setData(a.view->records()->index(0, 1), "张三丰"));
            a.view->setCurrentIndex(a.view->records()->index(1, 1));
            QCOMPARE(a.column(1), (QStringList{"张三丰", "李四", "王五"}));
            QCOMPARE(b.column(1), (QStringList{"张三丰", "李四", "王五"}));
            QCOMPARE(a.view->currentIndex().row(), 1);
        }
        QCOMPARE(reranA.size(), writerReruns);
        QCOMPARE(reranB.size(), 1);
        QCOMPARE(reranNotRun.size(), 0);
        QCOMPARE(reranOther.size(), 0);
        QCOMPARE(env.messages().count(), write == "delete" ? 1 : 0);
    }

    // An edit in place of the column the grid is sorted by, in a grid read
    // by pages: leaving the row shows every row once, in order, and the row
    // moved to stays current.
    void inPlaceEditOfSortColumn_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("editedAt"); // where the edited row is shown afterwards
        QTest::newRow("code moves to the end") << 0 << "999" << 39;
        QTest::newRow("code moves to the start") << 0 << "000" << 0;
        QTest::newRow("other column stays in place") << 1 << "Xu" << 2;
    }
    void inPlaceEditOfSortColumn()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(int, editedAt);
        TestEnv env;
        for (int i = 0; i < 40; ++i)
            env.insert("guke",
                       {QString::number(100 + (i * 7) % 40), QString("名%1").arg(i), "", "", "", "", "", ""});
        Window win(env);
        RecordView* v = win.view;
        v->records()->setPageSize(16);
        v->sortByHeader(0);
        QVERIFY(showActive(&win.w));
        win.editItem->trigger();
        const qint64 edited = v->records()->rowidAt(2);
        const qint64 next = v->records()->rowidAt(3);
        typeInCell(v, 2, column, typed);
        QTest::keyClick(v, Qt::Key_Down);
        QStringList codes = storedColumn(env, "guke", 0);
        std::sort(codes.begin(), codes.end());
        QTRY_COMPARE(win.column(0), codes);
        QCOMPARE(env.messages().count(), 0);
        QCOMPARE(v->records()->rowidAt(editedAt), edited);
        QCOMPARE(v->currentRecord()->rowid, next);
    }

    // An edit in place of a row that another till deletes before the row
    // is left: nothing comes back to life, and the person is told the edit
    // was not saved.
    void inPlaceEditOfRowDeletedMeanwhile_data()
    {
        QTest::addColumn<bool>("deletedMeanwhile");
        QTest::newRow("deleted by another till") << true;
        QTest::newRow("still there") << false;
    }
    void inPlaceEditOfRowDeletedMeanwhile()
    {
        QFETCH(bool, deletedMeanwhile);
        TestEnv env;
        seed(env);
        Window win(env);
        RecordView* v = win.view;
        QVERIFY(showActive(&win.w));
        win.editItem->trigger();
        const qint64 edited = v->records()->rowidAt(0);
        typeInCell(v, 0, 1, "Zhang");
        if (deletedMeanwhile)
            QVERIFY(env.db().exec("DELETE FROM guke WHERE rowid = ?", {edited}));
        QTest::keyClick(v, Qt::Key_Down);

        const QStringList names = storedColumn(env, "guke", 1);
        if (deletedMeanwhile) {
            QCOMPARE(names, QStringList({"李四", "王五"}));
            QCOMPARE(env.messages().count(), 1);
            QCOMPARE(env.messages().last().text, QString("此记录已被删除，所做的修改没有保存！"));
            QCOMPARE(env.messages().last().icon, QMessageBox::Critical);
            QTRY_COMPARE(win.column(1), names);
        } else {
            QCOMPARE(names, QStringList({"Zhang", "李四", "王五"}));
            QCOMPARE(env.messages().count(), 0);
            QCOMPARE(win.column(1), names);
        }
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
        type(a, "茶");
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

    // A locked box takes no typing and says so; no other key keeps the
    // focus in it, and Enter passes over locked boxes (a keyboard trap once).
    void lockedBoxes_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("said");
        QTest::newRow("Enter passes two") << "a" << int(Qt::Key_Return) << 0 << "d" << 0;
        QTest::newRow("a character: said") << "b" << int(Qt::Key_X) << 0 << "b" << 1;
        QTest::newRow("Shift+Tab: silent") << "b" << int(Qt::Key_Tab) << int(Qt::ShiftModifier) << "a" << 0;
        QTest::newRow("Esc goes back") << "b" << int(Qt::Key_Escape) << 0 << "a" << 0;
    }
    void lockedBoxes()
    {
        QFETCH(QString, from);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, focus);
        QFETCH(int, said);
        TestEnv env;
        QWidget w;
        auto* l = new QVBoxLayout(&w);
        EnterChain chain(env.messages());
        QHash<QString, QLineEdit*> box;
        for (const char* name : {"a", "b", "c", "d"}) {
            l->addWidget(box[name] = new QLineEdit(&w));
            box[name]->setObjectName(name);
        }
        chain.add(box["a"], box["b"]);
        chain.add(box["b"], box["c"]);
        chain.add(box["c"], box["d"]);
        QVERIFY(showActive(&w));
        chain.setLocked(box["b"], true);
        chain.setLocked(box["c"], true);
        chain.setLockedMessage(box["b"], "输入框被锁定！");
        box[from]->setFocus();
        QTest::keyClick(box[from], Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(focusName(), focus);
        QCOMPARE(shownAll(env), QStringList(said, stop("输入框被锁定！")));
        QCOMPARE(box["b"]->text(), QString());
    }
};

QTEST_MAIN(TstRecordView)
#include "tst_record_view.moc"
