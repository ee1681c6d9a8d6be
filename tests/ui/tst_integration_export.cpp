// "导出…" on every grid: reached from the end of the grid's popup and by
// Ctrl+E, it writes every row of the grid's current query as the grid shows
// it, only the columns the user sees, and nothing at all when cancelled or
// when the file cannot be written.
#include "support/tab_host.h"

#include <QDir>
#include <QFile>
#include <QMenu>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QStyledItemDelegate>
#include <QTemporaryDir>
#include <QTimer>

using namespace shop;
using namespace shop::test;

namespace {
const QByteArray kBom = "\xEF\xBB\xBF";

// Three rows whose every cell differs.
void seed(TestEnv& env, const QString& table)
{
    Database& db = table == "username" ? env.accounts() : env.db();
    const int columns = static_cast<int>(db.columns(table).size());
    for (const char* v : {"b2", "c3", "A1"}) {
        QStringList row;
        for (int c = 0; c < columns; ++c)
            row << QString::fromLatin1(v) + QString::number(c);
        env.insert(table, row);
    }
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The CSV a person expects from what the grid shows: its header texts, then
// every row (not only those on screen) as its cells display them.
QByteArray shownAsCsv(RecordView* grid)
{
    RecordModel* m = grid->records();
    while (m->canFetchMore())
        m->fetchMore();
    QStringList headings;
    for (int c = 0; c < m->columnCount(); ++c)
        headings << m->headerData(c, Qt::Horizontal).toString();
    QByteArray out = kBom + headings.join(',').toUtf8() + "\r\n";
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m->columnCount(); ++c) {
            const QModelIndex i = m->index(r, c);
            auto* d = qobject_cast<QStyledItemDelegate*>(grid->itemDelegateForIndex(i));
            cells << d->displayText(i.data(), QLocale());
        }
        out += cells.join(',').toUtf8() + "\r\n";
    }
    return out;
}

QString exported(const QString& path, qint64 rows)
{
    return info(QString("已导出 %1 行记录到文件：\n%2").arg(rows).arg(QDir::toNativeSeparators(path)),
                "导出");
}

// Right-clicks the grid and returns its popup, open.
QMenu* openPopup(RecordView* grid)
{
    QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, QPoint(10, 10));
    QMenu* menu = grid->popupMenu();
    if (!QTest::qWaitFor([menu] { return menu->isVisible(); }, 2000))
        return nullptr;
    return menu;
}
} // namespace

class TstExport : public QObject {
    Q_OBJECT
private slots:
    // Every grid ends its popup with the item, after a line when the window
    // has items of its own; the item and Ctrl+E write the same file: the
    // grid's headings and rows as shown (the password column as its mask).
    void everyGrid_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("ownItems");
        const QString day = "-2026-12-07.csv";
        QTest::newRow("business entry") << "frmyewu"
                                        << "salse"
                                        << "bg"
                                        << "业务管理" + day << true;
        QTest::newRow("member cards") << "frm_card"
                                      << "numbercard"
                                      << "bg"
                                      << "开卡管理" + day << true;
        QTest::newRow("customers") << "frmguke"
                                   << "guke"
                                   << "bg"
                                   << "顾客信息管理" + day << true;
        QTest::newRow("sales records") << "frm_salse"
                                       << "salse"
                                       << "bg"
                                       << "业务发生记录查询" + day << true;
        QTest::newRow("stock query") << "frm_kucun"
                                     << "jinhuo"
                                     << "bg"
                                     << "库存查询" + day << true;
        QTest::newRow("purchase history") << "frm_history"
                                          << "jinhuo_history"
                                          << "bg"
                                          << "进货记录查询" + day << true;
        QTest::newRow("salaries") << "frmgz"
                                  << "salary"
                                  << "bg"
                                  << "员工工资管理" + day << true;
        QTest::newRow("salaries, business") << "frmgz"
                                            << "salse"
                                            << "salse_bg"
                                            << "业务发生记录" + day << true;
        QTest::newRow("purchase tab") << "frame_jin"
                                      << "jinhuo"
                                      << "jin_bg"
                                      << "frame_jin" + day << false;
        QTest::newRow("employee tab") << "Frame_worker"
                                      << "worker"
                                      << "worker_bg"
                                      << "Frame_worker" + day << false;
        QTest::newRow("ledger tab") << "frame_shouzhi"
                                    << "shouzhi"
                                    << "shou_bg"
                                    << "frame_shouzhi" + day << false;
        QTest::newRow("delete user") << "frmdeleuser"
                                     << "username"
                                     << "bg"
                                     << "删除用户" + day << false;
    }
    void everyGrid()
    {
        QFETCH(QString, window);
        QFETCH(QString, table);
        QFETCH(QString, grid);
        QFETCH(QString, fileName);
        QFETCH(bool, ownItems);
        TestEnv env;
        env.ctx().setLogin("ZED", "M");
        seed(env, table);
        const Opened opened = openRegistered(env, window);
        QWidget* w = opened.widget;
        QVERIFY(w);
        auto* view = child<RecordView>(w, grid.toLatin1().constData());
        QTemporaryDir out;
        const QString byMenu = out.filePath("menu.csv");
        const QString byKey = out.filePath("key.csv");

        QMenu* menu = openPopup(view);
        QVERIFY(menu);
        const QList<QAction*> items = menu->actions();
        QCOMPARE(items.last(), view->exportAction());
        QCOMPARE(items.last()->text(), QString("导出…"));
        QCOMPARE(items.size() > 1, ownItems);
        if (ownItems)
            QVERIFY(items.at(items.size() - 2)->isSeparator());
        env.messages().answerFile(byMenu);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(view->exportAction()).center());

        QTRY_VERIFY(view->window()->isActiveWindow());
        view->setFocus();
        QTRY_VERIFY(view->hasFocus());
        env.messages().answerFile(byKey);
        QTest::keyClick(view, Qt::Key_E, Qt::ControlModifier);

        const QByteArray expected = shownAsCsv(view);
        const qint64 rows = view->records()->rowCount();
        QCOMPARE(rows, qint64(3));
        QCOMPARE(readFile(byMenu), expected);
        QCOMPARE(readFile(byKey), expected);
        QCOMPARE(shownAll(env), (QStringList{"导出|save|" + fileName, exported(byMenu, rows),
                                             "导出|save|" + fileName, exported(byKey, rows)}));
        if (grid == "bg" && window == "frmdeleuser")
            QVERIFY(expected.contains(",******\r\n"));
    }

    // The employee and ledger tabs show the main window's hidden menus over
    // their grids: the item ends those, and exports that tab's grid.
    void tabMenus_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("employees") << "worker"
                                   << "worker_bg"
                                   << "table1"
                                   << "worker"
                                   << "员工管理-2026-12-07.csv";
        QTest::newRow("ledger") << "in_out"
                                << "shou_bg"
                                << "TABLE2"
                                << "shouzhi"
                                << "收支管理-2026-12-07.csv";
    }
    void tabMenus()
    {
        QFETCH(QString, item);
        QFETCH(QString, grid);
        QFETCH(QString, menu);
        QFETCH(QString, table);
        QFETCH(QString, fileName);
        TestEnv env;
        registerWindows(env.ctx().windows());
        env.ctx().setLogin("ZED", "M");
        seed(env, table);
        LoginJournal journal(env.ctx());
        MainWindow w(env.ctx(), journal);
        QVERIFY(showActive(&w));
        w.item(item)->trigger();
        auto* view = child<RecordView>(&w, grid.toLatin1().constData());
        QTRY_VERIFY(view->isVisible());

        QMenu* popup = openPopup(view);
        QCOMPARE(popup, w.contextMenu(menu));
        const QList<QAction*> items = popup->actions();
        QVERIFY(items.size() > 2);
        QCOMPARE(items.last(), view->exportAction());
        QVERIFY(items.at(items.size() - 2)->isSeparator());
        QTemporaryDir out;
        env.messages().answerFile(out.filePath("tab.csv"));
        QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(view->exportAction()).center());
        QCOMPARE(readFile(out.filePath("tab.csv")), shownAsCsv(view));
        QCOMPARE(shownAll(env), (QStringList{"导出|save|" + fileName, exported(out.filePath("tab.csv"), 3)}));
    }

    // The columns a user does not see are not in the file: the commission
    // of the sales grids only for a supervisor.
    void rights_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("commission");
        for (const char* w : {"frmyewu", "frm_salse"}) {
            QTest::addRow("%s, supervisor", w) << w << "ZED" << true;
            QTest::addRow("%s, administrator", w) << w << "Administrator" << true;
            QTest::addRow("%s, ordinary user", w) << w << "li" << false;
        }
    }
    void rights()
    {
        QFETCH(QString, window);
        QFETCH(QString, user);
        QFETCH(bool, commission);
        TestEnv env;
        env.ctx().setLogin(user, "M");
        env.insert("salse",
                   {"2026-12-07", "其它服务", "", "", "", "1", "", "", "80", "烫发", "王芳", "", "16.5"});
        const Opened opened = openRegistered(env, window);
        QWidget* w = opened.widget;
        QVERIFY(w);
        auto* view = child<RecordView>(w, "bg");
        QTemporaryDir out;
        env.messages().answerFile(out.filePath("sales.csv"));
        view->setFocus();
        QTest::keyClick(view, Qt::Key_E, Qt::ControlModifier);

        QString heading =
            "业务日期,业务类型,卡号,产品编号,商品名称,出货数量,零售价格,进货日期,实收金额,服务项目,员工姓名,"
            "备注或说明";
        QString row = "2026-12-07,其它服务,,,,1,,,80,烫发,王芳,";
        if (commission) {
            heading += ",提成金额";
            row += ",16.5";
        }
        QCOMPARE(readFile(out.filePath("sales.csv")),
                 kBom + heading.toUtf8() + "\r\n" + row.toUtf8() + "\r\n");
    }

    // The current query, not the screen: a search's rows only, in the order
    // of the header last clicked, every one of a long result; after "show
    // all" every row again.
    void currentQuery()
    {
        TestEnv env;
        env.ctx().setLogin("ZED", "M");
        {
            Database::Transaction tx(env.db());
            for (int i = 0; i < 700; ++i)
                env.insert("jinhuo",
                           {QString("%1号%2").arg(i % 2 ? "可乐" : "雪碧").arg(1000 - i),
                            QString("K%1").arg(i, 4, 10, QChar('0')), "", "", "", "", "", "", "", ""});
            QVERIFY(tx.commit().ok);
        }
        const Opened opened = openRegistered(env, "frm_kucun");
        QWidget* w = opened.widget;
        QVERIFY(w);
        auto* view = child<RecordView>(w, "bg");
        QTemporaryDir out;
        auto exportTo = [&](const QString& name) {
            env.messages().answerFile(out.filePath(name));
            [&] { QTRY_VERIFY(w->isActiveWindow()); }();
            view->setFocus();
            QTest::keyClick(view, Qt::Key_E, Qt::ControlModifier);
            return readFile(out.filePath(name));
        };
        auto firstColumn = [](const QByteArray& csv) {
            QStringList out;
            const QList<QByteArray> lines = csv.mid(kBom.size()).split('\n');
            for (int i = 1; i < lines.size(); ++i)
                if (!lines.at(i).isEmpty())
                    out << QString::fromUtf8(lines.at(i)).section(',', 0, 0);
            return out;
        };

        clickHeader(view, 1);
        env.messages().answerInput("可乐");
        action(w, "s_name")->trigger(); // a search replaces the sort
        const QStringList searched = firstColumn(exportTo("search.csv"));
        QCOMPARE(searched.size(), 350);
        QCOMPARE(searched, gridColumn(view, 0));
        for (const QString& name : searched)
            QVERIFY(name.startsWith("可乐"));

        clickHeader(view, 0);
        const QStringList sorted = firstColumn(exportTo("sorted.csv"));
        QCOMPARE(sorted.size(), 700);
        QCOMPARE(sorted, gridColumn(view, 0));
        QVERIFY(sorted.first().startsWith("可乐")); // stored first: 雪碧号1000
        QCOMPARE(env.messages().unusedAnswers(), 0);
    }

    // Cancel at once or part way: no file, no part of one, an older file of
    // that name as it was, and nothing said.
    void cancel_data()
    {
        QTest::addColumn<bool>("partWay");
        QTest::addColumn<bool>("existing");
        QTest::newRow("at once") << false << false;
        QTest::newRow("part way") << true << false;
        QTest::newRow("part way, old file kept") << true << true;
    }
    void cancel()
    {
        QFETCH(bool, partWay);
        QFETCH(bool, existing);
        TestEnv env;
        env.ctx().setLogin("ZED", "M");
        {
            Database::Transaction tx(env.db());
            for (int i = 0; i < 10000; ++i)
                env.insert("salse", {"2026-12-07", "其它服务", "", "", "", "1", "", "", "80", "烫发", "王芳",
                                     "", "1"});
            QVERIFY(tx.commit().ok);
        }
        const Opened opened = openRegistered(env, "frmyewu");
        QWidget* w = opened.widget;
        QVERIFY(w);
        auto* view = child<RecordView>(w, "bg");
        QTemporaryDir out;
        const QString file = out.filePath("sales.csv");
        if (existing) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old");
        }

        // The person clicks 取消 once the dialog shows (part way: once the
        // bar has moved).
        int seenAt = -1;
        QTimer person;
        person.setInterval(0);
        connect(&person, &QTimer::timeout, this, [&] {
            auto* d = view->findChild<QProgressDialog*>("export_progress");
            if (!d || !d->isVisible() || (partWay && d->value() <= 0))
                return;
            seenAt = d->value();
            person.stop();
            QTest::mouseClick(d->findChild<QPushButton*>(), Qt::LeftButton);
        });
        person.start();
        env.messages().answerFile(file);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_E, Qt::ControlModifier);

        QVERIFY(seenAt >= 0);
        QCOMPARE(seenAt > 0, partWay);
        QVERIFY(seenAt < 100);
        QCOMPARE(shownAll(env), QStringList{"导出|save|业务管理-2026-12-07.csv"});
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden),
                 existing ? QStringList{"sales.csv"} : QStringList{});
        if (existing)
            QCOMPARE(readFile(file), QByteArray("old"));
    }

    // A cancelled dialog does nothing; a file that cannot be written, or
    // one of the program's own database files, is refused with a message
    // and nothing is left behind or changed.
    void refusals_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("message");
        QTest::newRow("dialog cancelled") << ""
                                          << "";
        QTest::newRow("no such folder")
            << "missing/sales.csv"
            << stop("无法写入文件：\n{file}"
                    "\n导出没有完成，没有保存文件。请检查磁盘空间和文件夹的写入权限。\n（详细信息：*）");
        QTest::newRow("business database") << "{business}" << stop("不能保存到数据库文件，请另选文件名！");
        QTest::newRow("accounts database") << "{accounts}" << stop("不能保存到数据库文件，请另选文件名！");
    }
    void refusals()
    {
        QFETCH(QString, answer);
        QFETCH(QString, message);
        TestEnv env;
        env.ctx().setLogin("ZED", "M");
        seed(env, "salse");
        const Opened opened = openRegistered(env, "frmyewu");
        QWidget* w = opened.widget;
        QVERIFY(w);
        auto* view = child<RecordView>(w, "bg");
        QTemporaryDir out;
        const QString business = env.ctx().paths().businessDb();
        const QString accounts = env.ctx().paths().accountsDb();
        QString file = answer;
        file.replace("{business}", business).replace("{accounts}", accounts);
        if (!file.isEmpty() && QFileInfo(file).isRelative())
            file = out.filePath(file);
        if (!file.isEmpty())
            env.messages().answerFile(file);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_E, Qt::ControlModifier);

        QStringList expected{"导出|save|业务管理-2026-12-07.csv"};
        if (!message.isEmpty())
            expected << message.replace("{file}", QDir::toNativeSeparators(file));
        QStringList said = shownAll(env);
        // The file system's own words follow 详细信息.
        for (QString& s : said)
            s.replace(QRegularExpression("（详细信息：.*）$"), "（详细信息：*）");
        QCOMPARE(said, expected);
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{});
        QCOMPARE(env.rows("salse").size(), 3);
        QCOMPARE(env.rows("username").size(), 1);
        QVERIFY(QFileInfo(business).size() > 0);
        QVERIFY(QFileInfo(accounts).size() > 0);
    }
};

QTEST_MAIN(TstExport)
#include "tst_integration_export.moc"
