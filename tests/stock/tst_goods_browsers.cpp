#include "stock/purchase_history_window.h"
#include "stock/stock_query_window.h"

#include "support/test_env.h"
#include "support/ui.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTest>

using namespace shop;
using shop::test::TestEnv;

namespace {

QStringList line(const QString& name, const QString& code, const QString& price, const QString& stock,
                 const QString& date = "2026-12-01")
{
    return {name, code, "500ml", "24", price, "6", stock, "供应商甲", date, "备注"};
}

} // namespace

class TstGoodsBrowsers : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<BrowserWindow> window;

    // Stores the rows in the window's table and opens it.
    void open(const QString& name, const QList<QStringList>& rows = {})
    {
        const QString table = name == "frm_kucun" ? "jinhuo" : "jinhuo_history";
        for (const QStringList& r : rows)
            env->insert(table, r);
        if (name == "frm_kucun")
            window = std::make_unique<StockQueryWindow>(env->ctx());
        else
            window = std::make_unique<PurchaseHistoryWindow>(env->ctx());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    QStringList column(int c) const { return test::gridColumn(window->grid(), c); }
    void headerClick(int index) { window->grid()->horizontalHeader()->sectionClicked(index); }

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup()
    {
        window.reset();
        env.reset();
    }

    // Names, captions and the popup menu in order, dividers between items.
    void menus_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("menuCaption");
        QTest::addColumn<QStringList>("items");

        QTest::newRow("stock") << "frm_kucun"
                               << "库存查询"
                               << "查询" << QStringList{"s_quantily=库存量为零商品", "s_name=按商品名称查询",
                                                        "s_date=按进货日期查询",     "s_code=按产品编号查询",
                                                        "s_fresh= 刷新所有记录",     "export=导出…"};
        QTest::newRow("history")
            << "frm_history"
            << "进货记录查询"
            << "数据查询"
            << QStringList{"s_name=按商品名称查询",  "s_code=按产品编号查询",     "s_price=按进货价格查询",
                           "s_salse=按零售价格查询", "s_quantily=按进货数量查询", "s_suplier=按供应商名查询",
                           "s_date=按进货日期查询",  "d_refresh=刷新所有记录",    "export=导出…"};
    }
    void menus()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, menuCaption);
        QFETCH(QStringList, items);

        open(name);
        QCOMPARE(window->objectName(), name);
        QCOMPARE(window->windowTitle(), caption);
        QMenu* menu = window->findChild<QMenu*>("S_QUERY");
        QVERIFY(menu);
        QCOMPARE(menu->title(), menuCaption);
        QStringList shown;
        const auto actions = menu->actions();
        for (int i = 0; i < actions.size(); ++i) {
            QCOMPARE(actions.at(i)->isSeparator(), i % 2 == 1);
            if (!actions.at(i)->isSeparator())
                shown << actions.at(i)->objectName() + "=" + actions.at(i)->text();
        }
        QCOMPARE(shown, items);
        // The grid shows the ten columns and is read-only.
        QCOMPARE(window->grid()->records()->columnCount(), 10);
        QVERIFY(!window->grid()->allowUpdate());
        QVERIFY(!window->grid()->allowDelete());
    }

    // With an empty table the query items are off and show-all stays on;
    // the timer follows rows stored later.
    void itemStates_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("refresh");
        QTest::newRow("stock") << "frm_kucun"
                               << "s_fresh";
        QTest::newRow("history") << "frm_history"
                                 << "d_refresh";
    }
    void itemStates()
    {
        QFETCH(QString, name);
        QFETCH(QString, refresh);

        open(name);
        QMenu* menu = window->menu();
        // Export stays on too: an empty grid exports its headings.
        for (QAction* a : menu->actions())
            if (!a->isSeparator())
                QCOMPARE(a->isEnabled(), a->objectName() == refresh || a == window->grid()->exportAction());
        env->insert(name == "frm_kucun" ? "jinhuo" : "jinhuo_history", line("可乐", "K1", "4", "1"));
        window->item(refresh)->trigger();
        QTRY_VERIFY(window->item("s_name")->isEnabled()); // by the 100 ms timer
        for (QAction* a : menu->actions())
            QVERIFY(a->isEnabled());
    }

    // Searches find the answer anywhere in the column's stored text; no
    // match says so (critical, empty caption) and shows every row; an empty
    // answer changes nothing.
    void searches_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("codes");

        const QStringList all{"A1", "B2", "C3", "D4"};
        QTest::newRow("stock: name part") << "frm_kucun"
                                          << "s_name"
                                          << "请输入要查询的商品名称："
                                          << "商品名称查询"
                                          << "可" << QStringList{"A1", "C3"};
        QTest::newRow("stock: date") << "frm_kucun"
                                     << "s_date"
                                     << "请输入要查询的进货日期："
                                     << "进货日期查询"
                                     << "-11-" << QStringList{"D4"};
        QTest::newRow("stock: code, letter case") << "frm_kucun"
                                                  << "s_code"
                                                  << "请输入要查询的产品编号："
                                                  << "产品编号查询"
                                                  << "b" << QStringList{"B2"};
        QTest::newRow("stock: no match") << "frm_kucun"
                                         << "s_name"
                                         << "请输入要查询的商品名称："
                                         << "商品名称查询"
                                         << "茶" << all;
        QTest::newRow("stock: apostrophe") << "frm_kucun"
                                           << "s_name"
                                           << "请输入要查询的商品名称："
                                           << "商品名称查询"
                                           << "'s" << QStringList{"D4"};
        QTest::newRow("history: price 5 finds 15, 50, 2.5") << "frm_history"
                                                            << "s_price"
                                                            << "请输入要查询的进货价格："
                                                            << "进货价格查询"
                                                            << "5" << QStringList{"A1", "B2", "C3"};
        QTest::newRow("history: quantity") << "frm_history"
                                           << "s_quantily"
                                           << "请输入要查询的进货数量："
                                           << "进货数量查询"
                                           << "0" << QStringList{"B2", "D4"};
        QTest::newRow("history: retail") << "frm_history"
                                         << "s_salse"
                                         << "请输入要查询的零售价格："
                                         << "零售价格查询"
                                         << "6" << all;
        QTest::newRow("history: supplier") << "frm_history"
                                           << "s_suplier"
                                           << "请输入要查询的供应商："
                                           << "供应商查询"
                                           << "甲" << all;
        QTest::newRow("history: code") << "frm_history"
                                       << "s_code"
                                       << "请输入要查询的产品编号："
                                       << "产品编号查询"
                                       << "C" << QStringList{"C3"};
        QTest::newRow("history: name") << "frm_history"
                                       << "s_name"
                                       << "请输入要查询的商品名称："
                                       << "商品名称查询"
                                       << "雪" << QStringList{"B2"};
        QTest::newRow("history: date") << "frm_history"
                                       << "s_date"
                                       << "请输入要查询的进货日期："
                                       << "进货日期查询"
                                       << "12-01" << QStringList{"A1", "B2", "C3"};
        QTest::newRow("history: empty answer") << "frm_history"
                                               << "s_code"
                                               << "请输入要查询的产品编号："
                                               << "产品编号查询"
                                               << "" << QStringList{"C3"};
    }
    void searches()
    {
        QFETCH(QString, window);
        QFETCH(QString, item);
        QFETCH(QString, prompt);
        QFETCH(QString, title);
        QFETCH(QString, answer);
        QFETCH(QStringList, codes);

        open(window, {line("可乐", "A1", "15", "1"), line("雪碧", "B2", "50", "10"),
                      line("可可", "C3", "2.5", "3"), line("Tom's", "D4", "4", "0", "2026-11-30")});
        const bool empty = answer.isEmpty();
        if (empty) {
            // A filter in force stays when the answer is empty.
            env->messages().answerInput("C");
            this->window->item(item)->trigger();
            env->messages().clear();
        }
        env->messages().answerInput(answer);
        this->window->item(item)->trigger();

        QCOMPARE(env->messages().shown().first().kind, test::Shown::Input);
        QCOMPARE(env->messages().shown().first().text, prompt);
        QCOMPARE(env->messages().shown().first().caption, title);
        const bool found = QString(QTest::currentDataTag()) != "stock: no match";
        if (found) {
            QCOMPARE(env->messages().count(), 1);
        } else {
            QCOMPARE(env->messages().texts(), QStringList{"未找到相应的记录！"});
            QCOMPARE(env->messages().last().caption, QString());
            QCOMPARE(env->messages().last().icon, QMessageBox::Critical);
        }
        QCOMPARE(column(1), codes);
    }

    // The zero-stock list matches the stored text 0 exactly.
    void zeroStock_data()
    {
        QTest::addColumn<QStringList>("stocks");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<bool>("notFound");

        QTest::newRow("exact 0 only")
            << QStringList{"0", " 0", "0.0", "00", "10", "0"} << QStringList{"L0", "L5"} << false;
        QTest::newRow("none: message and all rows")
            << QStringList{" 0", "5"} << QStringList{"L0", "L1"} << true;
    }
    void zeroStock()
    {
        QFETCH(QStringList, stocks);
        QFETCH(QStringList, listed);
        QFETCH(bool, notFound);

        QList<QStringList> rows;
        for (int i = 0; i < stocks.size(); ++i)
            rows << line("货" + QString::number(i), "L" + QString::number(i), "1", stocks.at(i));
        open("frm_kucun", rows);
        window->item("s_quantily")->trigger();
        QCOMPARE(env->messages().texts(), notFound ? QStringList{"未找到相应的记录！"} : QStringList{});
        QCOMPARE(env->messages().count(), notFound ? 1 : 0); // no input box
        QCOMPARE(column(1), listed);
    }

    // Header sorts by text; an index without a sort re-runs the current
    // query, keeping its filter; the history keeps "进货数量" over column 6.
    void sorts_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("codes");

        for (const QString w : {"frm_kucun", "frm_history"}) {
            const QByteArray n = w.toLatin1();
            QTest::addRow("%s name", n.data()) << w << 0 << QStringList{"C3", "B2", "A1", "D1"};
            QTest::addRow("%s code", n.data()) << w << 1 << QStringList{"A1", "B2", "C3", "D1"};
            QTest::addRow("%s price as text", n.data()) << w << 4 << QStringList{"D1", "B2", "C3", "A1"};
            QTest::addRow("%s stock", n.data()) << w << 6 << QStringList{"A1", "D1", "C3", "B2"};
            QTest::addRow("%s supplier", n.data()) << w << 7 << QStringList{"A1", "B2", "C3", "D1"};
            QTest::addRow("%s date", n.data()) << w << 8 << QStringList{"D1", "A1", "B2", "C3"};
            // No sort: the filter and order in force are run again.
            QTest::addRow("%s spec: re-run only", n.data()) << w << 2 << QStringList{"C3", "A1", "D1"};
            QTest::addRow("%s box: re-run only", n.data()) << w << 3 << QStringList{"C3", "A1", "D1"};
            QTest::addRow("%s remark: re-run only", n.data()) << w << 9 << QStringList{"C3", "A1", "D1"};
        }
    }
    void sorts()
    {
        QFETCH(QString, window);
        QFETCH(int, index);
        QFETCH(QStringList, codes);

        open(window, {line("c", "A1", "9", "1", "2026-12-02"), line("b", "B2", "10", "8", "2026-12-03"),
                      line("a", "C3", "15", "3", "2026-12-04")});
        BrowserWindow* w = this->window.get();
        QVERIFY(w->grid()->setSource(
            RecordSource::all(w->grid()->table()).filter("产品编号", Op::Ne, "B2").orderBy("商品名称")));
        env->insert(w->grid()->table(), line("d", "D1", "1", "10", "2026-11-30"));
        headerClick(index);
        QCOMPARE(column(1), codes);
        if (window == "frm_history") {
            w->grid()->updateItemStates(); // one tick of Timer1
            QCOMPARE(w->grid()->model()->headerData(6, Qt::Horizontal).toString(), QString("进货数量"));
            env->messages().answerInput("b");
            w->item("s_name")->trigger();
            QCOMPARE(column(1), QStringList{"B2"});
            QCOMPARE(w->grid()->model()->headerData(6, Qt::Horizontal).toString(), QString("进货数量"));
        }
    }
};

QTEST_MAIN(TstGoodsBrowsers)
#include "tst_goods_browsers.moc"
