// The ledger tab: save as typed (or refused aloud), the clear button, delete
// and its No, the period total with its rounding and range, the lock pair's
// state table and the button states.
#include "staff/ledger_tab.h"
#include "support/tab_host.h"

using namespace shop;
using namespace shop::test;

namespace {

const char* const kBoxes[] = {"txt_shou_date", "txt_shou_shixiang", "txt_shou_zhicu", "txt_shou_qita",
                              "txt_shou_remark"};
const QString kToday = QStringLiteral("2026-12-07");

QStringList entry(const QString& date, const QString& expense, const QString& income = "0",
                  const QString& matter = "房租")
{
    return {date, matter, expense, income, ""};
}

} // namespace

class TstLedgerTab : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<TabHost<LedgerTab>> host;
    LedgerTab* tab = nullptr;

    // The main window showing the tab, opened from its menu item; the grid
    // opens the main window's menu "表格2".
    void open(const QList<QStringList>& entries = {})
    {
        for (const QStringList& e : entries)
            env->insert("shouzhi", e);
        host = std::make_unique<TabHost<LedgerTab>>(*env);
        QVERIFY(host->open("DATAMAN", "in_out"));
        tab = host->tab();
    }
    QStringList fields() const { return readFields(tab, kBoxes); }
    void fill(const QStringList& values) { fillFields(tab, kBoxes, values); }
    QAction* item(const char* name) const { return host->item(name); }
    // A click on an item of the grid's popup menu.
    void choose(const char* name) { QVERIFY2(chooseFromPopup(grid(), name), name); }
    RecordView* grid() const { return tab->grid(); }

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup()
    {
        host.reset();
        env.reset();
    }

    // Each showing puts today in the date and the period's end and the day
    // 30 days before in its start; Enter runs along the entry to 保存.
    void showingAndEnter()
    {
        open();
        QCOMPARE(fields(), QStringList({kToday, "", "", "", ""}));
        QCOMPARE(textOf(tab, "txt_from"), QString("2026-11-07"));
        QCOMPARE(textOf(tab, "txt_to"), kToday);
        QCOMPARE(focusName(), QString("txt_shou_date"));
        for (int i = 1; i <= 5; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QCOMPARE(focusName(), i < 5 ? QString(kBoxes[i]) : QString("cmd_shou_save"));
        }
        QCOMPARE(env->rows("shouzhi").size(), 0);
    }

    // Save stores the five texts as typed, whatever they are; the clear
    // button empties the date too, so a save right after it stores none.
    void save_data()
    {
        QTest::addColumn<bool>("clearFirst");
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("as typed, apostrophes kept")
            << false << QStringList{"2026-12-01", "O'Brien's 房租", "1,000", "abc", "it's"}
            << QStringList{"2026-12-01", "O'Brien's 房租", "1,000", "abc", "it's"};
        QTest::newRow("all empty") << false << QStringList{"", "", "", "", ""}
                                   << QStringList{"", "", "", "", ""};
        QTest::newRow("after the clear button") << true << QStringList{} << QStringList{"", "", "", "", ""};
    }
    void save()
    {
        QFETCH(bool, clearFirst);
        QFETCH(QStringList, typed);
        QFETCH(QStringList, stored);
        // The clear button needs an entry in the grid to be enabled.
        const QStringList earlier = entry("2026-01-01", "1");
        open({earlier});
        tab->updateStates();
        if (clearFirst) {
            type(child<QWidget>(tab, "txt_shou_shixiang"), "水电");
            press(tab, "cmd_shou_modi");
            QCOMPARE(fields(), QStringList({"", "", "", "", ""}));
        } else {
            fill(typed);
        }
        press(tab, "cmd_shou_save");
        QCOMPARE(env->messages().count(), 0);
        QCOMPARE(env->rows("shouzhi"), (QList<QStringList>{earlier, stored}));
        QCOMPARE(gridColumn(grid(), 1), (QStringList{earlier.at(1), stored.at(1)}));
        QCOMPARE(fields(), QStringList({kToday, "", "", "", ""}));
        QCOMPARE(focusName(), QString("txt_shou_date"));
    }

    // A refused write is said, stores nothing and keeps the entry.
    void failedSaveIsSaid()
    {
        open();
        QVERIFY(
            env->db()
                .exec(
                    "CREATE TRIGGER refuse BEFORE INSERT ON shouzhi BEGIN SELECT RAISE(ABORT, 'disk full'); "
                    "END")
                .ok);
        const QStringList typed = entry("2026-12-01", "30");
        fill(typed);
        press(tab, "cmd_shou_save");
        QCOMPARE(env->messages().count(), 1);
        QCOMPARE(env->messages().last().icon, QMessageBox::Critical);
        QVERIFY(env->messages().last().text.contains("disk full"));
        QCOMPARE(env->rows("shouzhi").size(), 0);
        QCOMPARE(fields(), typed);
    }

    // Delete asks (caption 确认) and removes the selected entry only; No
    // keeps it and clears the fields; nothing selected disables the button.
    void deleteEntry_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QStringList>("fieldsAfter");
        const QStringList cleared = {kToday, "", "", "", ""};
        const QStringList typed = {"2026-12-02", "x", "", "", ""};
        QTest::newRow("Yes, the second of two twins")
            << 1 << int(QMessageBox::Yes) << QStringList{"房租", "杂费"} << typed;
        QTest::newRow("No") << 1 << int(QMessageBox::No) << QStringList{"房租", "房租", "杂费"} << cleared;
        QTest::newRow("nothing selected") << -1 << 0 << QStringList{"房租", "房租", "杂费"} << typed;
    }
    void deleteEntry()
    {
        QFETCH(int, row);
        QFETCH(int, answer);
        QFETCH(QStringList, left);
        QFETCH(QStringList, fieldsAfter);
        open({entry("2026-12-01", "1", "0"), entry("2026-12-01", "1", "0"),
              entry("2026-12-03", "2", "0", "杂费")});
        if (row >= 0) {
            clickRow(grid(), row);
            env->messages().answer(QMessageBox::StandardButton(answer));
        }
        fill({"2026-12-02", "x"});
        press(tab, "cmd_shou_del");
        QCOMPARE(shownAll(*env),
                 row >= 0 ? QStringList{ask("真的想删除所选的记录吗？", "确认")} : QStringList{});
        QCOMPARE(storedColumn(*env, "shouzhi", 1), left);
        QCOMPARE(gridColumn(grid(), 1), left);
        QCOMPARE(fields(), fieldsAfter);
        QCOMPARE(child<QPushButton>(tab, "cmd_shou_del")->isEnabled(), row >= 0);
    }

    // The period total: each amount added and rounded half to even before
    // the next; texts without a number count 0; the period's texts shown as
    // typed; the grid keeps the period until 刷新表格.
    void periodTotal_data()
    {
        QTest::addColumn<QList<QStringList>>("entries");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("shown");

        const QList<QStringList> halves = {entry("2026-12-01", "0.5", "1.5"), entry("2026-12-02", "0.5", "1"),
                                           entry("2026-11-01", "100", "100")};
        QTest::newRow("0.5 + 0.5 is 0, 1.5 + 1 is 3")
            << halves << "2026-12-01"
            << "2026-12-31" << QStringList{info("从2026-12-01到2026-12-31期间，支出0元，收入3元", "统计")}
            << 2;
        QTest::newRow("texts count 0, 1,000 counts 1")
            << QList<QStringList>{entry("2026-12-01", "abc", "1,000"), entry("2026-12-05", "7元", "")}
            << "2026-12-01"
            << "2026-12-09" << QStringList{info("从2026-12-01到2026-12-09期间，支出7元，收入1元", "统计")}
            << 2;
        // Compared as texts, 2026-12-9 would take in the 10th to the 31st.
        const QList<QStringList> late = {entry("2026-12-05", "1", "0"), entry("2026-12-15", "2", "0")};
        const QStringList wrongDate{stop("请按“年-月-日”的形式输入日期，例如：2026-12-07")};
        QTest::newRow("to without its zero") << late << "2026-12-01"
                                             << "2026-12-9" << wrongDate << 2;
        QTest::newRow("from as a month") << late << "2026-12"
                                         << "2026-12-31" << wrongDate << 2;
        QTest::newRow("both ends of the period included")
            << QList<QStringList>{entry("2026-11-30", "1", "0"), entry("2026-12-01", "2", "0"),
                                  entry("2026-12-02", "4", "8"), entry("2026-12-03", "16", "0")}
            << "2026-12-01"
            << "2026-12-02" << QStringList{info("从2026-12-01到2026-12-02期间，支出6元，收入8元", "统计")}
            << 2;
        QTest::newRow("no entry in the period")
            << halves << "2025-01-01"
            << "2025-12-31" << QStringList{stop("没有找到相应的记录！")} << 3;
        QTest::newRow("beyond a whole number")
            << QList<QStringList>{entry("2026-12-01", "9e18", "1"), entry("2026-12-02", "9e18", "1")}
            << "2026-12-01"
            << "2026-12-31" << QStringList{stop("该期间的支出或收入合计超出范围，无法统计！")} << 2;
        QTest::newRow("an amount beyond any number is not counted as 0")
            << QList<QStringList>{entry("2026-12-01", "5", "1"), entry("2026-12-02", "1", "1e400")}
            << "2026-12-01"
            << "2026-12-31" << QStringList{stop("该期间的支出或收入合计超出范围，无法统计！")} << 2;
    }
    void periodTotal()
    {
        QFETCH(QList<QStringList>, entries);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QStringList, messages);
        QFETCH(int, shown);
        open(entries);
        type(child<QWidget>(tab, "txt_from"), from);
        type(child<QWidget>(tab, "txt_to"), to);
        press(tab, "cmd_shou_count");
        QCOMPARE(shownAll(*env), messages);
        QCOMPARE(gridColumn(grid(), 0).size(), shown);
        choose("bg_fresh");
        QCOMPARE(gridColumn(grid(), 0).size(), entries.size());
    }

    // The full lock pair: at first no edits but the grid's delete; locked
    // neither; editable both. Showing the tab again disables the lock item
    // and leaves the grid as it is. An edit is written when the row is left.
    // The items are chosen from the main window's menu over the grid, so the
    // lock item is reached after the edit item enabled it.
    void lockStates()
    {
        open({entry("2026-12-01", "1"), entry("2026-12-02", "2")});
        auto state = [this] {
            return QString("%1%2%3%4")
                .arg(item("bg_lock")->isEnabled())
                .arg(item("bg_unlock")->isEnabled())
                .arg(grid()->allowUpdate())
                .arg(grid()->allowDelete());
        };
        QCOMPARE(state(), QString("0101"));
        QVERIFY(!chooseFromPopup(grid(), "bg_lock"));
        choose("bg_unlock");
        QCOMPARE(state(), QString("1011"));
        choose("bg_lock");
        QCOMPARE(state(), QString("0100"));
        choose("bg_unlock");
        QCOMPARE(state(), QString("1011"));
        QVERIFY(host->chooseFromMenuBar("DATAMAN", "in_out"));
        QCOMPARE(state(), QString("0011"));

        typeInCell(grid(), 0, 2, "5");
        clickRow(grid(), 1);
        QCOMPARE(storedColumn(*env, "shouzhi", 2), (QStringList{"5", "2"}));
    }

    // Delete, clear and total follow whether the grid has entries; save
    // never stops.
    void buttonStates()
    {
        open();
        tab->updateStates();
        for (const char* n : {"cmd_shou_del", "cmd_shou_modi", "cmd_shou_count"})
            QVERIFY2(!child<QPushButton>(tab, n)->isEnabled(), n);
        QVERIFY(child<QPushButton>(tab, "cmd_shou_save")->isEnabled());
        press(tab, "cmd_shou_save");
        tab->updateStates();
        for (const char* n : {"cmd_shou_del", "cmd_shou_modi", "cmd_shou_count"})
            QVERIFY2(child<QPushButton>(tab, n)->isEnabled(), n);
    }
};

QTEST_MAIN(TstLedgerTab)
#include "tst_ledger_tab.moc"
