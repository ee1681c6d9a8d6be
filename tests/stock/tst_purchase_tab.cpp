#include "stock/purchase_tab.h"

#include "support/tab_host.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace shop;
using namespace shop::test;

namespace {

const char* const kFields[] = {"txt_name",        "txt_code",     "txt_mode",      "txt_box",  "txt_inprice",
                               "txt_salse_price", "txt_quantily", "txt_superlier", "txt_date", "txt_remark"};

// A goods line with the given key values and fixed other columns.
QStringList line(const QString& name, const QString& code, const QString& price, const QString& stock)
{
    return {name, code, "500ml", "24", price, "6", stock, "供应商甲", "2026-12-01", "备注"};
}

} // namespace

class TstPurchaseTab : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<TabHost<PurchaseTab>> host;
    PurchaseTab* tab = nullptr;

    // Stores the lines, then opens the tab from its menu item in the main window.
    void open(const QList<QStringList>& jinhuo = {}, const QList<QStringList>& history = {})
    {
        for (const QStringList& r : jinhuo)
            env->insert("jinhuo", r);
        for (const QStringList& r : history)
            env->insert("jinhuo_history", r);
        host = std::make_unique<TabHost<PurchaseTab>>(*env);
        QVERIFY(host->open("DATAMAN", "jinhuo"));
        tab = host->tab();
    }

    QLineEdit* f(const QString& name) const { return child<QLineEdit>(tab, qPrintable(name)); }
    QPushButton* b(const QString& name) const { return child<QPushButton>(tab, qPrintable(name)); }
    RecordView* grid() const { return tab->grid(); }

    void fill(const QStringList& values) { fillFields(tab, kFields, values); }
    QStringList fieldTexts() const { return readFields(tab, kFields); }
    void click(const QString& button) { press(tab, qPrintable(button)); }
    // Fields empty except today's date, focus on the name.
    void verifyCleared()
    {
        QStringList expected(std::size(kFields));
        expected[8] = "2026-12-07";
        QCOMPARE(fieldTexts(), expected);
        QCOMPARE(QApplication::focusWidget(), f("txt_name"));
    }
    // Enters add-stock mode on the line matching these values.
    void enterAddStock(const QStringList& values)
    {
        fill(values);
        env->messages().answer(QMessageBox::Yes);
        click("cmd_add");
        QCOMPARE(b("cmd_add")->text(), PurchaseTab::kAddStockCaption);
    }

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup()
    {
        host.reset();
        tab = nullptr;
        env.reset();
    }

    void layoutAndNames()
    {
        open();
        for (const char* n : kFields)
            QVERIFY2(f(n), qPrintable(n));
        const QStringList captions = {"增加(&A)", "删除(&D)",      "修改(&M)",
                                      "查询(&Q)", "清除/刷新(&C)", "退出(&E)"};
        const QStringList buttons = {"cmd_add",   "cmd_del",   "cmd_modify",
                                     "cmd_query", "cmd_clear", "cmd_exit"};
        for (int i = 0; i < buttons.size(); ++i)
            QCOMPARE(b(buttons.at(i))->text(), captions.at(i));
        QCOMPARE(f("txt_date")->text(), QString("2026-12-07"));
        QCOMPARE(QApplication::focusWidget(), f("txt_name"));
        // Four rows of fields: name/code/spec, box/prices, quantity/supplier, date/remark.
        auto rowOf = [this](const QString& n) { return f(n)->geometry().center().y(); };
        QCOMPARE(rowOf("txt_code"), rowOf("txt_name"));
        QCOMPARE(rowOf("txt_mode"), rowOf("txt_name"));
        QVERIFY(rowOf("txt_box") > rowOf("txt_name"));
        QCOMPARE(rowOf("txt_salse_price"), rowOf("txt_box"));
        QVERIFY(rowOf("txt_quantily") > rowOf("txt_box"));
        QCOMPARE(rowOf("txt_superlier"), rowOf("txt_quantily"));
        QVERIFY(rowOf("txt_date") > rowOf("txt_quantily"));
        QCOMPARE(rowOf("txt_remark"), rowOf("txt_date"));
        QVERIFY(f("txt_superlier")->width() > f("txt_code")->width());
    }

    // Add goods: a new line, the same product at another price, an existing
    // line answered No or Yes, and missing name or code.
    void addGoods_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("goodsRows");
        QTest::addColumn<int>("historyRows");
        QTest::addColumn<QString>("caption");

        const QStringList none;
        QTest::newRow("new line") << line("雪碧", "X2", "3", "10") << int(QMessageBox::No) << none << 2 << 2
                                  << "增加(&A)";
        QTest::newRow("same product, other price")
            << line("可乐", "K1", "4.5", "10") << int(QMessageBox::No) << none << 2 << 2 << "增加(&A)";
        QTest::newRow("apostrophes kept")
            << line("O'Brien's", "K'1", "4", "1") << int(QMessageBox::No) << none << 2 << 2 << "增加(&A)";
        QTest::newRow("existing, No")
            << line("可乐", "K1", "4", "99") << int(QMessageBox::No)
            << QStringList{"商品名已存在，你想添加库存吗？"} << 1 << 1 << "增加(&A)";
        QTest::newRow("existing, other letter case, Yes")
            << line("COLA", "k1", "4", "99") << int(QMessageBox::Yes)
            << QStringList{"商品名已存在，你想添加库存吗？", "目前该产品的库存量为：12"} << 1 << 1
            << "添加库存量";
        QTest::newRow("no name") << line("", "K9", "4", "1") << int(QMessageBox::No)
                                 << QStringList{"请输入完整的资料！"} << 1 << 1 << "增加(&A)";
        QTest::newRow("no code") << line("可乐", "", "4", "1") << int(QMessageBox::No)
                                 << QStringList{"请输入完整的资料！"} << 1 << 1 << "增加(&A)";
    }
    void addGoods()
    {
        QFETCH(QStringList, typed);
        QFETCH(int, answer);
        QFETCH(QStringList, messages);
        QFETCH(int, goodsRows);
        QFETCH(int, historyRows);
        QFETCH(QString, caption);

        QStringList existing = line("可乐", "K1", "4", "12");
        if (QString(QTest::currentDataTag()).contains("letter case"))
            existing[0] = "cola";
        open({existing}, {existing});
        fill(typed);
        if (answer == QMessageBox::Yes)
            env->messages().answer(QMessageBox::Yes);
        // The button is enabled by typing a name only.
        QCOMPARE(b("cmd_add")->isEnabled(), !typed.at(0).isEmpty());
        if (typed.at(0).isEmpty()) {
            tab->addGoods();
        } else {
            // Enter at the end of the chain reaches the button, Enter presses it.
            QTest::keyClick(f("txt_remark"), Qt::Key_Return);
            QCOMPARE(QApplication::focusWidget(), b("cmd_add"));
            QTest::keyClick(b("cmd_add"), Qt::Key_Return);
        }

        QCOMPARE(env->messages().texts(), messages);
        QCOMPARE(env->rows("jinhuo").size(), goodsRows);
        QCOMPARE(env->rows("jinhuo_history").size(), historyRows);
        QCOMPARE(b("cmd_add")->text(), caption);
        if (goodsRows == 2) {
            // Both rows carry the ten texts exactly as typed.
            QCOMPARE(env->rows("jinhuo").last(), typed);
            QCOMPARE(env->rows("jinhuo_history").last(), typed);
            QCOMPARE(gridColumn(grid(), 0).size(), 2);
            verifyCleared();
        }
        for (const auto& s : env->messages().shown()) {
            if (s.text.startsWith("商品名已存在")) {
                QCOMPARE(s.icon, QMessageBox::Question);
                QCOMPARE(s.buttons, QMessageBox::Yes | QMessageBox::No);
                QCOMPARE(s.caption, QString("信息"));
            } else if (s.text.startsWith("目前")) {
                QCOMPARE(s.icon, QMessageBox::Information);
                QCOMPARE(s.caption, QString("信息提示"));
            } else {
                QCOMPARE(s.icon, QMessageBox::Critical);
                QCOMPARE(s.caption, QString("错误"));
            }
        }
        if (caption == "添加库存量") {
            // The matched line is loaded, its quantity left empty for the added amount.
            QStringList expected = existing;
            expected[6].clear();
            QCOMPARE(fieldTexts(), expected);
            QCOMPARE(QApplication::focusWidget(), f("txt_quantily"));
        } else if (answer == QMessageBox::No && messages.size() == 1 &&
                   messages.first().startsWith("商品名")) {
            verifyCleared();
        } else if (messages == QStringList{"请输入完整的资料！"}) {
            QCOMPARE(QApplication::focusWidget(), f("txt_name"));
            QCOMPARE(fieldTexts(), typed);
        }
        QCOMPARE(env->rows("jinhuo").first(), existing);
        QCOMPARE(env->messages().unusedAnswers(), 0);
    }

    // The remembered figure rounds halves to even; the typed quantity is
    // added as a number; the stored text has no blank, the message keeps it.
    void addStockArithmetic_data()
    {
        QTest::addColumn<QString>("stock");
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<QString>("stored");

        QTest::newRow("12 + 3.5") << "12"
                                  << "3.5"
                                  << "12"
                                  << "15.5";
        QTest::newRow("12.5 is 12") << "12.5"
                                    << "1"
                                    << "12"
                                    << "13";
        QTest::newRow("13.5 is 14") << "13.5"
                                    << "1"
                                    << "14"
                                    << "15";
        QTest::newRow("no number is 0") << "abc"
                                        << "2"
                                        << "0"
                                        << "2";
        QTest::newRow("quantity without number adds 0") << "12"
                                                        << "箱"
                                                        << "12"
                                                        << "12";
        QTest::newRow("leading number read") << "7箱"
                                             << "3 1"
                                             << "7"
                                             << "38";
        QTest::newRow("negative result") << "3"
                                         << "-5"
                                         << "3"
                                         << "-2";
    }
    void addStockArithmetic()
    {
        QFETCH(QString, stock);
        QFETCH(QString, quantity);
        QFETCH(QString, remembered);
        QFETCH(QString, stored);

        const QStringList existing = line("可乐", "K1", "4", stock);
        open({existing}, {existing});
        enterAddStock(line("可乐", "K1", "4", ""));
        QCOMPARE(env->messages().last().text, "目前该产品的库存量为：" + remembered);

        typeInto(tab, "txt_quantily", quantity);
        env->messages().clear();
        click("cmd_add");

        const QString shown = stored.startsWith('-') ? stored : " " + stored;
        QCOMPARE(env->messages().texts(), QStringList{"添加成功，目前该产品的库存量为：" + shown});
        QCOMPARE(env->messages().last().caption, QString("信息提示"));
        QCOMPARE(env->messages().last().icon, QMessageBox::Information);
        QCOMPARE(env->rows("jinhuo").first().at(6), stored);
        QCOMPARE(gridColumn(grid(), 6), QStringList{stored});
        // No history row for added stock.
        QCOMPARE(env->rows("jinhuo_history"), QList<QStringList>{existing});
        QCOMPARE(b("cmd_add")->text(), PurchaseTab::kAddCaption);
        verifyCleared();
    }

    // An empty quantity does nothing and keeps the mode, as does a quantity
    // beyond any number; the commit goes to the matched line.
    void addStockModeStays()
    {
        const QList<QStringList> lines = {line("可乐", "K1", "4", "10"), line("可乐", "K1", "5", "20"),
                                          line("雪碧", "X2", "3", "1")};
        open(lines, lines);
        enterAddStock(line("可乐", "K1", "5", ""));
        env->messages().clear();

        click("cmd_add");
        QCOMPARE(env->messages().count(), 0);
        QCOMPARE(b("cmd_add")->text(), PurchaseTab::kAddStockCaption);
        QCOMPARE(env->rows("jinhuo"), lines);

        typeInto(tab, "txt_quantily", "1e999");
        click("cmd_add");
        QCOMPARE(env->messages().texts(), QStringList{"订货数量超出范围！"});
        QCOMPARE(b("cmd_add")->text(), PurchaseTab::kAddStockCaption);
        QCOMPARE(env->rows("jinhuo"), lines);

        typeInto(tab, "txt_quantily", "3");
        click("cmd_add");
        QList<QStringList> expected = lines;
        expected[1][6] = "23";
        QCOMPARE(env->rows("jinhuo"), expected);
        QCOMPARE(env->rows("jinhuo_history"), lines);
        QCOMPARE(b("cmd_add")->text(), PurchaseTab::kAddCaption);
    }

    // A sum beyond any number is refused like a quantity beyond any number:
    // the stock stays and so does the mode.
    void addStockSumBeyondRange_data()
    {
        QTest::addColumn<QString>("stock");
        QTest::addColumn<QString>("quantity");
        QTest::newRow("above") << "1e308"
                               << "1e308";
        QTest::newRow("below") << "-1.5e308"
                               << "-1e308";
    }
    void addStockSumBeyondRange()
    {
        QFETCH(QString, stock);
        QFETCH(QString, quantity);
        const QList<QStringList> lines = {line("可乐", "K1", "4", stock)};
        open(lines, lines);
        enterAddStock(line("可乐", "K1", "4", ""));
        typeInto(tab, "txt_quantily", quantity);
        env->messages().clear();
        click("cmd_add");
        QCOMPARE(env->messages().texts(), QStringList{"订货数量超出范围！"});
        QCOMPARE(env->messages().last().icon, QMessageBox::Critical);
        QCOMPARE(env->rows("jinhuo"), lines);
        QCOMPARE(b("cmd_add")->text(), PurchaseTab::kAddStockCaption);
    }

    // Stock can only go to the line the fields show: loading another line,
    // changing the name or code, or clearing the fields leaves the mode, and
    // 增加 then treats the fields as new goods.
    void addStockModeLeft_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("another row clicked") << "click";
        QTest::newRow("name changed") << "txt_name";
        QTest::newRow("code changed") << "txt_code";
        QTest::newRow("fields cleared") << "clear";
    }
    void addStockModeLeft()
    {
        QFETCH(QString, how);
        const QList<QStringList> lines = {line("可乐", "K1", "4", "10"), line("雪碧", "X2", "3", "1")};
        open(lines, lines);
        enterAddStock(line("可乐", "K1", "4", ""));
        env->messages().clear();

        if (how == "click") {
            clickRow(grid(), 1);
            QCOMPARE(f("txt_name")->text(), QString("雪碧"));
        } else if (how == "clear") {
            click("cmd_clear");
        } else {
            typeInto(tab, qPrintable(how), "Z9");
        }
        QCOMPARE(b("cmd_add")->text(), PurchaseTab::kAddCaption);
        typeInto(tab, "txt_quantily", "5");
        env->messages().answer(QMessageBox::No);
        click("cmd_add");

        // 可乐 keeps its stock whatever 增加 did with the fields.
        QCOMPARE(env->rows("jinhuo").first(), lines.first());
        if (how == "click")
            QCOMPARE(env->messages().texts(), QStringList{"商品名已存在，你想添加库存吗？"});
        else
            QVERIFY(!env->messages().texts().join("").contains("库存量"));
    }

    // A line found through "商品名已存在" is the grid's current row, so 删除
    // deletes it; a loaded line deleted by another window leaves the fields.
    void shownLineIsCurrent()
    {
        const QList<QStringList> lines = {line("可乐", "K1", "4", "10"), line("雪碧", "X2", "3", "1")};
        open(lines, lines);
        clickRow(grid(), 1);
        enterAddStock(line("可乐", "K1", "4", ""));
        QVERIFY(grid()->currentRecord());
        QCOMPARE(grid()->currentRecord()->values.value(0), QString("可乐"));
        env->messages().clear();
        env->messages().answer(QMessageBox::Yes);
        click("cmd_del");
        QCOMPARE(env->messages().texts(), QStringList{"真的想删除所选的记录吗？"});
        QCOMPARE(env->rows("jinhuo"), QList<QStringList>{lines.at(1)});
        QCOMPARE(b("cmd_add")->text(), PurchaseTab::kAddCaption);

        clickRow(grid(), 0);
        QCOMPARE(f("txt_name")->text(), QString("雪碧"));
        QVERIFY(env->db().exec("DELETE FROM jinhuo").ok);
        emit env->ctx().notifier().tableChanged("jinhuo");
        verifyCleared();
    }

    // The line changes between entering the mode and the commit.
    void addStockLineChanged_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("names");

        QTest::newRow("sold meanwhile")
            << "UPDATE jinhuo SET 库存数量 = '9'" << QStringList{"添加成功，目前该产品的库存量为： 12"}
            << "增加(&A)" << QStringList{"可乐"};
        QTest::newRow("deleted meanwhile")
            << "DELETE FROM jinhuo" << QStringList{"该商品已被删除，无法添加库存！"} << "增加(&A)"
            << QStringList{};
    }
    void addStockLineChanged()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, messages);
        QFETCH(QString, caption);
        QFETCH(QStringList, names);

        open({line("可乐", "K1", "4", "12")});
        enterAddStock(line("可乐", "K1", "4", ""));
        env->messages().clear();
        QVERIFY(env->db().exec(change).ok);
        typeInto(tab, "txt_quantily", "3");
        click("cmd_add");
        QCOMPARE(env->messages().texts(), messages);
        QCOMPARE(b("cmd_add")->text(), caption);
        QCOMPARE(gridColumn(grid(), 0), names);
        verifyCleared();
    }

    // Modify writes one line: the one loaded from the grid, or else the
    // first line of the name and code in the fields.
    void modify_data()
    {
        QTest::addColumn<int>("loadRow");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("changedRow");

        QTest::newRow("second line loaded") << 1 << "可乐" << 1;
        QTest::newRow("first line loaded") << 0 << "可乐" << 0;
        QTest::newRow("typed, not loaded") << -1 << "可乐" << 0;
        QTest::newRow("name changed: no line") << 1 << "百事" << -1;
    }
    void modify()
    {
        QFETCH(int, loadRow);
        QFETCH(QString, name);
        QFETCH(int, changedRow);

        const QList<QStringList> lines = {line("可乐", "K1", "4", "10"), line("可乐", "K1", "5", " 20"),
                                          line("雪碧", "X2", "3", "1")};
        open(lines, lines);
        QStringList typed = line(name, "K1", "4.8", "30");
        if (loadRow >= 0) {
            clickRow(grid(), loadRow);
            QStringList loaded = lines.at(loadRow);
            loaded[6] = loaded[6].trimmed();
            QCOMPARE(fieldTexts(), loaded);
            QCOMPARE(QApplication::focusWidget(), f("txt_name"));
            typed = loaded;
            typed[0] = name;
            typed[4] = "4.8";
            typed[6] = "30";
            typeInto(tab, "txt_name", name);
            typeInto(tab, "txt_inprice", "4.8");
            typeInto(tab, "txt_quantily", "30");
        } else {
            fill(typed);
        }
        QVERIFY(b("cmd_modify")->isEnabled());
        click("cmd_modify");

        QList<QStringList> expected = lines;
        if (changedRow >= 0) {
            expected[changedRow] = typed;
            QCOMPARE(env->messages().texts(), QStringList{"修改成功！"});
            QCOMPARE(env->messages().last().caption, QString("信息"));
            QCOMPARE(env->messages().last().icon, QMessageBox::Information);
            verifyCleared();
        } else {
            QCOMPARE(env->messages().count(), 0);
            QCOMPARE(fieldTexts(), typed);
        }
        QCOMPARE(env->rows("jinhuo"), expected);
        QCOMPARE(env->rows("jinhuo_history"), lines);
    }

    void deleteLine_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("left");

        QTest::newRow("Yes") << int(QMessageBox::Yes) << QStringList{"可乐", "新品"};
        QTest::newRow("No") << int(QMessageBox::No) << QStringList{"可乐", "雪碧", "新品"};
    }
    void deleteLine()
    {
        QFETCH(int, answer);
        QFETCH(QStringList, left);

        const QList<QStringList> lines = {line("可乐", "K1", "4", "10"), line("雪碧", "X2", "3", "1")};
        open(lines, lines);
        // The loaded row need not be the selected one.
        clickRow(grid(), 1);
        typeInto(tab, "txt_name", "可乐");
        // A row stored elsewhere shows after the grid is refreshed.
        env->insert("jinhuo", line("新品", "N1", "1", "1"));
        env->messages().answer(QMessageBox::StandardButton(answer));
        click("cmd_del");

        QCOMPARE(env->messages().texts(), QStringList{"真的想删除所选的记录吗？"});
        QCOMPARE(env->messages().last().caption, QString("信息"));
        QCOMPARE(env->messages().last().icon, QMessageBox::Question);
        QCOMPARE(gridColumn(grid(), 0), left);
        QStringList stored;
        for (const auto& r : env->rows("jinhuo"))
            stored << r.at(0);
        QCOMPARE(stored, left);
        QCOMPARE(env->rows("jinhuo_history"), lines);
        verifyCleared();
    }

    // Left button: find by name; other buttons: re-run the current query;
    // the keyboard does nothing.
    void query_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("messages");

        QTest::newRow("part of a name")
            << int(Qt::LeftButton) << "可" << QStringList{"可乐", "可可"} << QStringList{};
        QTest::newRow("wildcards match themselves")
            << int(Qt::LeftButton) << "%" << QStringList{"可乐", "雪碧", "可可"}
            << QStringList{"没有找到相应的记录！"};
        QTest::newRow("right button re-runs")
            << int(Qt::RightButton) << "" << QStringList{"可乐", "雪碧", "可可"} << QStringList{};
    }
    void query()
    {
        QFETCH(int, button);
        QFETCH(QString, answer);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, messages);

        open({line("可乐", "K1", "4", "1"), line("雪碧", "X2", "3", "1"), line("可可", "C3", "3", "1")});
        clickRow(grid(), 0);
        if (button == Qt::LeftButton)
            env->messages().answerInput(answer);
        QTest::mousePress(b("cmd_query"), Qt::MouseButton(button));
        QTest::mouseRelease(b("cmd_query"), Qt::MouseButton(button));

        QCOMPARE(env->messages().texts(), messages);
        for (const auto& s : env->messages().shown()) {
            if (s.kind == test::Shown::Input) {
                QCOMPARE(s.text, QString("请输入要查询的商品名称"));
                QCOMPARE(s.caption, QString("商品名称查询"));
            } else {
                QCOMPARE(s.caption, QString("错误"));
                QCOMPARE(s.icon, QMessageBox::Critical);
            }
        }
        QCOMPARE(gridColumn(grid(), 0), shown);
        verifyCleared();
    }

    void queryEdgeCases()
    {
        open({line("可乐", "K1", "4", "1"), line("雪碧", "X2", "3", "1")});
        // A filter stays in force; the other button re-runs it and shows new matches.
        env->messages().answerInput("雪");
        QTest::mousePress(b("cmd_query"), Qt::LeftButton);
        QCOMPARE(gridColumn(grid(), 0), QStringList{"雪碧"});
        env->insert("jinhuo", line("雪梨", "X3", "3", "1"));
        QTest::mousePress(b("cmd_query"), Qt::RightButton);
        QCOMPARE(gridColumn(grid(), 0), (QStringList{"雪碧", "雪梨"}));

        // An empty answer changes nothing, the fields included.
        clickRow(grid(), 0);
        const QStringList loaded = fieldTexts();
        env->messages().clear();
        QTest::mousePress(b("cmd_query"), Qt::LeftButton);
        QCOMPARE(env->messages().count(), 1);
        QCOMPARE(fieldTexts(), loaded);
        QCOMPARE(gridColumn(grid(), 0), (QStringList{"雪碧", "雪梨"}));

        // The re-run of a query whose rows are gone falls back to every row.
        env->db().exec("DELETE FROM jinhuo WHERE 商品名称 LIKE '雪%'");
        env->messages().clear();
        QTest::mousePress(b("cmd_query"), Qt::MiddleButton);
        QCOMPARE(env->messages().texts(), QStringList{"没有找到相应的记录！"});
        QCOMPARE(gridColumn(grid(), 0), QStringList{"可乐"});

        // Keyboard activation has no action.
        env->messages().clear();
        b("cmd_query")->setFocus();
        QTest::keyClick(b("cmd_query"), Qt::Key_Space);
        b("cmd_query")->click();
        QCOMPARE(env->messages().count(), 0);
    }

    // Every header sorts by its column as text ("10" before "9").
    void headerSorts_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < 10; ++i)
            QTest::newRow(kFields[i]) << i;
    }
    void headerSorts()
    {
        QFETCH(int, index);
        QList<QStringList> lines;
        const QStringList values = {"9", "10", "b", "A", "2"};
        for (int r = 0; r < values.size(); ++r) {
            QStringList l;
            for (int c = 0; c < 10; ++c)
                l << values.at((r + c) % values.size());
            lines << l;
        }
        open(lines);
        grid()->horizontalHeader()->setSortIndicatorShown(false);
        QTest::mouseClick(grid()->horizontalHeader()->viewport(), Qt::LeftButton, {},
                          QPoint(grid()->horizontalHeader()->sectionViewportPosition(index) + 5, 5));
        QStringList expected;
        for (const QStringList& l : lines)
            expected << l.at(index);
        std::sort(expected.begin(), expected.end(),
                  [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
        QCOMPARE(gridColumn(grid(), index), expected);
        QCOMPARE(expected.mid(0, 3), (QStringList{"10", "2", "9"}));
    }

    // Enter: five mandatory fields keep the focus with their message.
    void enterChain_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("next");
        QTest::addColumn<QString>("message");

        QTest::newRow("name") << "txt_name"
                              << "txt_code"
                              << "商品名称不能为空！";
        QTest::newRow("code") << "txt_code"
                              << "txt_mode"
                              << "产品编号不能为空！";
        QTest::newRow("spec") << "txt_mode"
                              << "txt_box"
                              << "";
        QTest::newRow("box") << "txt_box"
                             << "txt_inprice"
                             << "";
        QTest::newRow("purchase price") << "txt_inprice"
                                        << "txt_salse_price"
                                        << "进货价格不能为空！";
        QTest::newRow("retail price") << "txt_salse_price"
                                      << "txt_quantily"
                                      << "零售价不能为空！";
        QTest::newRow("quantity") << "txt_quantily"
                                  << "txt_superlier"
                                  << "订货数量不能为空！";
        QTest::newRow("supplier") << "txt_superlier"
                                  << "txt_date"
                                  << "";
        QTest::newRow("date") << "txt_date"
                              << "txt_remark"
                              << "";
        QTest::newRow("remark") << "txt_remark"
                                << "cmd_add"
                                << "";
    }
    void enterChain()
    {
        QFETCH(QString, field);
        QFETCH(QString, next);
        QFETCH(QString, message);

        open();
        typeInto(tab, "txt_name", "可乐"); // enables cmd_add, the end of the chain
        QLineEdit* e = f(field);
        e->setFocus();
        e->clear();
        QTest::keyClick(e, Qt::Key_Return);
        if (message.isEmpty()) {
            QCOMPARE(env->messages().count(), 0);
            QCOMPARE(QApplication::focusWidget()->objectName(), next);
        } else {
            QCOMPARE(env->messages().texts(), QStringList{message});
            QCOMPARE(env->messages().last().caption, QString("错误"));
            QCOMPARE(env->messages().last().icon, QMessageBox::Critical);
            QCOMPARE(QApplication::focusWidget(), e);
            typeMore(e, "x");
            env->messages().clear();
            QTest::keyClick(e, Qt::Key_Return);
            QCOMPARE(env->messages().count(), 0);
            QCOMPARE(QApplication::focusWidget()->objectName(), next);
        }
    }

    // Button states with an empty table and with rows.
    void buttonStates()
    {
        open();
        QVERIFY(!b("cmd_add")->isEnabled());
        QVERIFY(!b("cmd_del")->isEnabled());
        QVERIFY(!b("cmd_query")->isEnabled());
        // The greyed-out query button does nothing with either mouse button.
        for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
            QTest::mousePress(b("cmd_query"), button);
            QTest::mouseRelease(b("cmd_query"), button);
        }
        QCOMPARE(env->messages().count(), 0);
        QVERIFY(!b("cmd_modify")->isEnabled());
        QVERIFY(b("cmd_clear")->isEnabled());
        QVERIFY(b("cmd_exit")->isEnabled());

        typeInto(tab, "txt_name", "可");
        QVERIFY(b("cmd_add")->isEnabled());
        tab->updateStates();
        QVERIFY(b("cmd_modify")->isEnabled());
        QVERIFY(!b("cmd_del")->isEnabled());

        env->insert("jinhuo", line("可乐", "K1", "4", "1"));
        click("cmd_clear");
        QVERIFY(!b("cmd_add")->isEnabled());
        tab->updateStates();
        QVERIFY(b("cmd_del")->isEnabled());
        QVERIFY(b("cmd_query")->isEnabled());
        QVERIFY(!b("cmd_modify")->isEnabled());

        // Loading a row sets the name, and the states follow.
        clickRow(grid(), 0);
        QVERIFY(b("cmd_add")->isEnabled());
        tab->updateStates();
        QVERIFY(b("cmd_modify")->isEnabled());

        // The grid is read-only: no edits, no deletes, arrows stay put.
        QTest::keyClick(grid(), Qt::Key_Delete);
        QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, {},
                           grid()->visualRect(grid()->records()->index(0, 0)).center());
        QTest::keyClicks(grid(), "zz");
        QTest::keyClick(grid(), Qt::Key_Return);
        QCOMPARE(env->rows("jinhuo").size(), 1);
        QCOMPARE(env->rows("jinhuo").first(), line("可乐", "K1", "4", "1"));
        grid()->setCurrentIndex(grid()->records()->index(0, 0));
        QTest::keyClick(grid(), Qt::Key_Right);
        QCOMPARE(grid()->currentIndex().column(), 0);
    }

    // Exit leaves add-stock mode, clears the fields and asks to close the tab.
    void exitTab()
    {
        open({line("可乐", "K1", "4", "12")});
        enterAddStock(line("可乐", "K1", "4", ""));
        QSignalSpy closed(tab, &PurchaseTab::closeRequested);
        click("cmd_exit");
        QCOMPARE(closed.size(), 1);
        QCOMPARE(b("cmd_add")->text(), PurchaseTab::kAddCaption);
        tab->showTab();
        verifyCleared();
        // Back in add-goods mode, the same line asks again.
        fill(line("可乐", "K1", "4", "1"));
        click("cmd_add");
        QCOMPARE(env->messages().last().text, QString("商品名已存在，你想添加库存吗？"));
    }

    // Database failures are reported, leave nothing half-written and leave
    // the tab usable.
    void databaseErrors_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("operation");

        QTest::newRow("add: goods row refused") << "BEFORE INSERT ON jinhuo"
                                                << "add";
        QTest::newRow("add: history row refused") << "BEFORE INSERT ON jinhuo_history"
                                                  << "add";
        QTest::newRow("commit refused") << "BEFORE UPDATE ON jinhuo"
                                        << "commit";
        QTest::newRow("modify refused") << "BEFORE UPDATE ON jinhuo"
                                        << "modify";
        QTest::newRow("delete refused") << "BEFORE DELETE ON jinhuo"
                                        << "delete";
    }
    void databaseErrors()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, operation);

        const QList<QStringList> lines = {line("可乐", "K1", "4", "12")};
        open(lines, lines);
        if (operation == "commit")
            enterAddStock(line("可乐", "K1", "4", ""));
        QVERIFY(test::addFailingTrigger(env->db(), "refuse", trigger, "disk full"));
        env->messages().clear();

        QStringList typed;
        if (operation == "add") {
            typed = line("雪碧", "X2", "3", "5");
            fill(typed);
            click("cmd_add");
        } else if (operation == "commit") {
            typeInto(tab, "txt_quantily", "3");
            typed = fieldTexts();
            click("cmd_add");
        } else if (operation == "modify") {
            clickRow(grid(), 0);
            typeInto(tab, "txt_quantily", "99");
            typed = fieldTexts();
            click("cmd_modify");
        } else {
            clickRow(grid(), 0);
            env->messages().answer(QMessageBox::Yes);
            click("cmd_del");
        }
        QVERIFY(!env->messages().shown().isEmpty());
        const auto error = env->messages().last();
        QCOMPARE(error.icon, QMessageBox::Critical);
        QVERIFY2(error.text.contains("disk full"), qPrintable(error.text));
        QCOMPARE(env->rows("jinhuo"), lines);
        QCOMPARE(env->rows("jinhuo_history"), lines);
        if (!typed.isEmpty())
            QCOMPARE(fieldTexts(), typed); // kept for another try
        QCOMPARE(b("cmd_add")->text(),
                 operation == "commit" ? PurchaseTab::kAddStockCaption : PurchaseTab::kAddCaption);

        // Once the database accepts writes again the same press succeeds.
        QVERIFY(test::dropTrigger(env->db(), "refuse"));
        env->messages().clear();
        if (operation == "delete") {
            clickRow(grid(), 0);
            env->messages().answer(QMessageBox::Yes);
            click("cmd_del");
            QCOMPARE(env->rows("jinhuo").size(), 0);
        } else {
            click(operation == "modify" ? "cmd_modify" : "cmd_add");
            QCOMPARE(env->rows("jinhuo").size(), operation == "add" ? 2 : 1);
            QCOMPARE(env->rows("jinhuo_history").size(), operation == "add" ? 2 : 1);
            if (operation != "add")
                QCOMPARE(env->rows("jinhuo").first().at(6), QString(operation == "commit" ? "15" : "99"));
        }
    }
};

QTEST_MAIN(TstPurchaseTab)
#include "tst_purchase_tab.moc"
