// The data deletion window over the real windows: each entry empties its
// table after a backup, and an open window that shows the table is emptied
// at once. Windows not built yet are stood in for by a bare view of their
// table.
#include "data/schema.h"
#include "support/tab_host.h"

#include <QDir>
#include <QListWidget>

using namespace shop;
using namespace shop::test;

namespace {

const QStringList kTables = {"jinhuo", "jinhuo_history", "salse",  "salse_history", "numbercard",
                             "guke",   "worker",         "salary", "shouzhi"};

void seedAll(TestEnv& env)
{
    for (const QString& table : kTables)
        for (const char* v : {"a", "b"}) {
            QStringList row;
            for (int c = 0; c < env.db().columns(table).size(); ++c)
                row << QString::fromLatin1(v) + QString::number(c);
            env.insert(table, row);
        }
}

QMap<QString, int> counts(TestEnv& env)
{
    QMap<QString, int> out;
    for (const QString& table : kTables)
        out.insert(table, static_cast<int>(env.rows(table).size()));
    return out;
}

QString exclaim(const QString& text, const QString& caption)
{
    return caption + "|" + QString::number(int(QMessageBox::Warning)) + "|" + text;
}

// Chooses an entry as a person does: a click on its text.
void choose(QWidget* w, int entry)
{
    auto* list = child<QListWidget>(w, "List1");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(entry)).center());
}

QStringList backups(TestEnv& env)
{
    return QDir(env.ctx().paths().backupDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
}

} // namespace

class TstDataDeletion : public QObject {
    Q_OBJECT
private slots:
    void entryEmptiesItsTableAndOpenWindow_data();
    void entryEmptiesItsTableAndOpenWindow();
    void nothingEmptied_data();
    void nothingEmptied();
};

void TstDataDeletion::entryEmptiesItsTableAndOpenWindow_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("window");
    const char* rows[][3] = {
        {"1、进货明细", "jinhuo", "frame_jin"},
        {"2、员工资料", "worker", "Frame_worker"},
        {"3、收支明细", "shouzhi", "frame_shouzhi"},
        {"4、业务明细", "salse", "frmyewu"},
        {"5、顾客明细", "guke", "frmguke"},
        {"6、会员明细", "numbercard", "frm_card"},
        {"7、工资明细", "salary", "frmgz"},
        {"8、业务记录", "salse", "frm_salse"},
        {"9、进货记录", "jinhuo_history", "frm_history"},
    };
    for (int i = 0; i < 9; ++i)
        QTest::newRow(rows[i][0]) << i << QString(rows[i][0]) << QString(rows[i][1]) << QString(rows[i][2]);
}

void TstDataDeletion::entryEmptiesItsTableAndOpenWindow()
{
    QFETCH(int, entry);
    QFETCH(QString, text);
    QFETCH(QString, table);
    QFETCH(QString, window);

    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    seedAll(env);

    // The window that shows the table, open beside the deletion window.
    RecordView* view = nullptr;
    std::unique_ptr<RecordView> standIn;
    const Opened opened = openRegistered(env, window);
    QWidget* shows = opened.widget;
    if (shows) {
        for (RecordView* v : shows->findChildren<RecordView*>())
            if (v->table() == table)
                view = v;
    } else {
        standIn = std::make_unique<RecordView>(env.ctx(), env.db(), table);
        standIn->refresh();
        view = standIn.get();
    }
    QVERIFY(view);
    QCOMPARE(gridColumn(view, 0).size(), 2);

    const Opened deletion = openRegistered(env, "frmdeleted");
    QWidget* w = deletion.widget;
    QVERIFY(deletion.active);
    QCOMPARE(child<QListWidget>(w, "List1")->item(entry)->text(), text);
    choose(w, entry);
    env.messages().answer(QMessageBox::Yes);
    press(w, "Command1");

    QCOMPARE(shownAll(env), (QStringList{ask("真的想删除:" + text + "吗？", "删除数据库"),
                                         exclaim(text + " 已成功删除！", "删除成功")}));
    QCOMPARE(gridColumn(view, 0), QStringList{});
    QMap<QString, int> expected;
    for (const QString& t : kTables)
        expected.insert(t, t == table ? 0 : 2);
    QCOMPARE(counts(env), expected);

    // The backup taken first holds the rows.
    QCOMPARE(backups(env), QStringList{"2026-12-07_10-00-00"});
    const QDir folder(QDir(env.ctx().paths().backupDir()).filePath("2026-12-07_10-00-00"));
    if (env.db().onServer()) {
        // A server's tables are kept as CSV files, every table of both kinds.
        QCOMPARE(folder.entryList(QDir::Files).size(), schema::businessTables().size() + 1);
        QFile csv(folder.filePath(table + ".csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll().count("\r\n"), 3); // heading and the two rows
        env.ctx().windows().closeAll();
        return;
    }
    QCOMPARE(folder.entryList(QDir::Files), (QStringList{"database.db", "userid.db"}));
    auto copy = Database::open(folder.filePath("database.db"), nullptr);
    QVERIFY(copy);
    QCOMPARE(copy->selectOne(QString("SELECT count(*) FROM %1").arg(table))->value(0).toInt(), 2);
    env.ctx().windows().closeAll();
}

void TstDataDeletion::nothingEmptied_data()
{
    QTest::addColumn<QString>("how"); // "none", "focus", "no", "backup fails"
    QTest::newRow("nothing selected") << "none";
    QTest::newRow("the list has the focus, nothing selected") << "focus";
    QTest::newRow("No") << "no";
    QTest::newRow("the backup fails") << "backup fails";
}

void TstDataDeletion::nothingEmptied()
{
    QFETCH(QString, how);
    TestEnv env;
    env.ctx().setLogin("ZED", "M");
    seedAll(env);
    const QMap<QString, int> before = counts(env);
    RecordView sales(env.ctx(), env.db(), "salse");
    sales.refresh();
    if (how == "backup fails") {
        // "backup" is a file: no folder can be made there.
        QFile blocker(env.ctx().paths().backupDir());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }

    const Opened deletion = openRegistered(env, "frmdeleted");
    QWidget* w = deletion.widget;
    QVERIFY(deletion.active);
    if (how == "focus")
        child<QListWidget>(w, "List1")->setFocus();
    else if (how != "none")
        choose(w, 7);
    if (how == "no")
        env.messages().answer(QMessageBox::No);
    else if (how == "backup fails")
        env.messages().answer(QMessageBox::Yes);
    press(w, "Command1");
    QCOMPARE(env.messages().unusedAnswers(), 0);

    const QString question = ask("真的想删除:8、业务记录吗？", "删除数据库");
    if (how == "none" || how == "focus") {
        QCOMPARE(shownAll(env), QStringList{stop("请选择要删除的表！", "")});
    } else if (how == "no") {
        QCOMPARE(shownAll(env), QStringList{question});
    } else {
        QCOMPARE(shownAll(env),
                 (QStringList{question, stop("删除前的数据备份失败，没有删除任何数据。\n无法创建文件夹 " +
                                             QDir::toNativeSeparators(env.ctx().paths().backupDir()))}));
    }
    QCOMPARE(counts(env), before);
    QCOMPARE(gridColumn(&sales, 0).size(), 2);
    if (how != "backup fails")
        QCOMPARE(backups(env), QStringList{});
    env.ctx().windows().closeAll();
}

QTEST_MAIN(TstDataDeletion)
#include "tst_integration_data_deletion.moc"
