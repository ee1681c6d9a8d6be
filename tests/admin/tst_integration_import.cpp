// 导入 driven as a person does: a kind chosen from the list, a file chosen,
// columns mapped, the choice confirmed; what every grid exports imports
// back as it was, the refused rows come back as a file to mend, and a
// cancelled or failed import writes nothing.
#include "data/backup_files.h"
#include "data/schema.h"
#include "support/tab_host.h"

#include <QFile>
#include <QProgressDialog>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

using namespace shop;
using namespace shop::test;

namespace {

namespace goods = schema::jinhuo;
namespace card = schema::numbercard;

const QString kOpen = "选择要导入的文件|open|CSV 文件 (*.csv *.txt);;所有文件 (*)";

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString question(const QString& kind, const QString& counts, const QString& more = {})
{
    return ask(
        QString("将%1：%2。\n拒绝的行不导入；导入前先备份数据。%3\n确定导入吗？").arg(kind, counts, more),
        "导入");
}

QString done(int added, int updated, int refused)
{
    QString text =
        QString("导入完成：新增 %1 行，更新 %2 行；拒绝 %3 行。").arg(added).arg(updated).arg(refused);
    if (refused > 0)
        text += "\n可以用“保存报告”把拒绝的行和原因保存为 CSV 文件，改正后再导入。";
    return info(text, "导入");
}

// Opens 导入, chooses the kind from its list and the file through the
// file chooser, and waits until the whole file is previewed.
QWidget* previewFile(TestEnv& env, const QString& kind, const QString& file, bool toEnd = true)
{
    QWidget* w = env.ctx().windows().find("frm_import");
    if (!w)
        w = openRegistered(env, "frm_import").widget;
    if (!w || !chooseFromList(child<QComboBox>(w, "cbo_kind"), kind))
        return nullptr;
    env.messages().answerFile(file);
    press(w, "cmd_file");
    if (toEnd && !QTest::qWaitFor([w] { return textOf(w, "lbl_state").startsWith("共"); }, 20000))
        return nullptr;
    return w;
}

// Confirms the import the window asks about.
void importConfirmed(TestEnv& env, QWidget* w)
{
    env.messages().answer(QMessageBox::Yes);
    press(w, "cmd_import");
}

// Rows a grid shows and the import must bring back: separators, quotes,
// line breaks and cells a spreadsheet would run as formulas.
QList<QStringList> rowsOf(const QString& table)
{
    if (table == goods::kTable)
        return {{"洗发水, 大瓶", "A001", "500ml", "12", "10.50", "20", "100", "上海\"日化\"", "2024-01-02",
                 "第一行\r\n第二行"},
                {"=SUM(A1)", "-abc", "", "", "0", "0.5", "0", "+86 138", "2024-02-29", "'quoted"}};
    if (table == card::kTable)
        return {{"2024-01-02", "A1", "王芳", "张三", "洗剪吹", "0", "10", "月卡", "备注,有逗号"},
                {"", "=B2", "", "李\"四\"", "", "500.00", "", "钻石卡", "line1\nline2"}};
    if (table == schema::guke::kTable)
        return {
            {"001", "张三", "男", "1990-05", "13800138000", "2024-01-02", "上海市,黄浦区", "喜欢\"短发\""},
            {"002", "李四", "", "", "-", "", "", "'不是公式"}};
    return {{"王芳", "女", "1992-03", "大专", "上海", "未婚", "发型师", "3500", "13900000000", "2023-06-01",
             "310101199203030022", "地址\r\n二行"},
            {"李娜", "", "", "", "", "", "", "", "", "", "X1", "=1+2"}};
}

// Clicks 取消 on the import's progress bar as soon as it shows.
void cancelProgressWhenShown(QObject* owner)
{
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, timer, [timer] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* progress = qobject_cast<QProgressDialog*>(top);
            if (!progress || progress->objectName() != "import_progress" || !progress->isVisible())
                continue;
            timer->stop();
            QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
        }
    });
    timer->start(0);
}

} // namespace

class TstImport : public QObject {
    Q_OBJECT
private slots:
    // What each grid exports (its own export, Ctrl+E) imports into empty
    // files as it was stored.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("kind");
        QTest::newRow("goods") << "frame_jin"
                               << "jin_bg" << goods::kTable << "商品资料";
        QTest::newRow("cards") << "frm_card"
                               << "bg" << card::kTable << "会员卡";
        QTest::newRow("customers") << "frmguke"
                                   << "bg" << schema::guke::kTable << "顾客资料";
        QTest::newRow("employees") << "Frame_worker"
                                   << "worker_bg" << schema::worker::kTable << "员工资料";
    }
    void roundTrip()
    {
        QFETCH(QString, window);
        QFETCH(QString, grid);
        QFETCH(QString, table);
        QFETCH(QString, kind);
        QTemporaryDir out;
        const QString file = out.filePath("export.csv");
        QList<QStringList> stored;
        {
            TestEnv source;
            source.ctx().setLogin("ZED", "M");
            for (const QStringList& r : rowsOf(table))
                source.insert(table, r);
            stored = source.rows(table);
            const Opened opened = openRegistered(source, window);
            QVERIFY(opened.active);
            auto* view = child<RecordView>(opened.widget, grid.toLatin1().constData());
            view->setFocus();
            QTRY_VERIFY(view->hasFocus());
            source.messages().answerFile(file);
            QTest::keyClick(view, Qt::Key_E, Qt::ControlModifier);
            QVERIFY(QFile::exists(file));
        }
        TestEnv env;
        env.ctx().setLogin("ZED", "M");
        QWidget* w = previewFile(env, kind, file);
        QVERIFY(w);
        QVERIFY(!child<QWidget>(w, "grp_columns")->isVisible());
        importConfirmed(env, w);
        QCOMPARE(env.rows(table), stored);
        QCOMPARE(shownAll(env),
                 (QStringList{kOpen, question(kind, "新增 2 行，更新 0 行，拒绝 0 行"), done(2, 0, 0)}));
        QCOMPARE(textOf(w, "lbl_state"), "已导入：新增 2 行，更新 0 行；拒绝 0 行。");
        QVERIFY(!child<QPushButton>(w, "cmd_import")->isEnabled());
    }

    // A required column the file lacks is said before any row is read; once
    // the person maps a column to it the rows are read and checked, and a
    // column skipped is not imported.
    void missingColumnSaidFirstThenMapped()
    {
        TestEnv env;
        env.ctx().setLogin("ZED", "M");
        const QString file = writeFile(env.dir() + "/goods.csv",
                                       "商品名称,产品编号,进价,零售价格,库存数量,备注\n洗发水,A1,10,20,5,好\n"
                                       "护发素,A2,十二,20,5,\n");
        QWidget* w = previewFile(env, "商品资料", file, false);
        QVERIFY(w);
        const QString missing = "商品资料文件缺少必需的列：「进货价格」。文件的第一行应是各列的名称。";
        QCOMPARE(shownAll(env), (QStringList{kOpen, stop(missing, "导入")}));
        QCOMPARE(textOf(w, "lbl_state"), missing);
        QCOMPARE(child<QTableView>(w, "bg")->model()->rowCount(), 0);
        QVERIFY(!child<QPushButton>(w, "cmd_import")->isEnabled());

        QVERIFY(chooseFromList(child<QComboBox>(w, "cbo_map_2"), goods::kPurchasePrice));
        QTRY_COMPARE(textOf(w, "lbl_state"), QString("共 2 行：新增 1 行，更新 0 行，拒绝 1 行。"));
        QAbstractItemModel* rows = child<QTableView>(w, "bg")->model();
        QCOMPARE(rows->index(1, 1).data().toString(), QString("第 3 行「进货价格」不是数字：“十二”。"));
        QCOMPARE(rows->headerData(4, Qt::Horizontal).toString(), QString("进价 → 进货价格"));
        QVERIFY(chooseFromList(child<QComboBox>(w, "cbo_map_5"), "（不导入）"));
        env.messages().clear();
        importConfirmed(env, w);
        QCOMPARE(shownAll(env),
                 (QStringList{question("商品资料", "新增 1 行，更新 0 行，拒绝 1 行"), done(1, 0, 1)}));
        QCOMPARE(env.rows(goods::kTable),
                 (QList<QStringList>{{"洗发水", "A1", "", "", "10", "20", "5", "", "", ""}}));
    }

    // The refused rows saved as a report, mended and imported again: the
    // report's column of reasons is skipped without asking.
    void refusedRowsMendedAndImportedAgain()
    {
        TestEnv env;
        env.ctx().setLogin("ZED", "M");
        env.insert(card::kTable, {"", "C1", "", "旧人", "", "0", "3", "月卡", ""});
        const QString file =
            writeFile(env.dir() + "/cards.csv",
                      "卡号,顾客姓名,金额,次数,卡类型,经手人\nC1,张三,0,8,月卡,\nC2,李四,0,5,金卡,\n"
                      "C3,王五,300,,钻石卡,李娜\n");
        QWidget* w = previewFile(env, "会员卡", file);
        QVERIFY(w);
        // Updates asked for: the stored card becomes an update.
        QTest::mouseClick(child<QRadioButton>(w, "opt_update"), Qt::LeftButton);
        QCOMPARE(textOf(w, "lbl_state"), QString("共 3 行：新增 1 行，更新 1 行，拒绝 1 行。"));
        importConfirmed(env, w);
        QVERIFY(child<QPushButton>(w, "cmd_report")->isEnabled());
        const QString report = env.dir() + "/report.csv";
        env.messages().answerFile(report);
        press(w, "cmd_report");
        QCOMPARE(shownAll(env), (QStringList{kOpen, question("会员卡", "新增 1 行，更新 1 行，拒绝 1 行"),
                                             done(1, 1, 1), "保存报告|save|导入报告-会员卡-2026-12-07.csv",
                                             info("已保存 1 行拒绝的记录到文件：\n" + report, "导入")}));
        const QByteArray saved = readFile(report);
        QCOMPARE(saved, QByteArray("\xEF\xBB\xBF卡号,顾客姓名,金额,次数,卡类型,经手人,导入结果\r\n"
                                   "C2,李四,0,5,金卡,,第 3 行「卡类型」“金卡”不是本程序的卡类型。\r\n"));

        writeFile(report, QByteArray(saved).replace("金卡", "年卡"));
        env.messages().clear();
        QVERIFY(previewFile(env, "会员卡", report));
        QVERIFY(!child<QWidget>(w, "grp_columns")->isVisible());
        importConfirmed(env, w);
        QCOMPARE(shownAll(env),
                 (QStringList{kOpen, question("会员卡", "新增 1 行，更新 0 行，拒绝 0 行"), done(1, 0, 0)}));
        QCOMPARE(env.rows(card::kTable),
                 (QList<QStringList>{{"", "C1", "", "张三", "", "0", "8", "月卡", ""},
                                     {"", "C3", "李娜", "王五", "", "300", "", "钻石卡", ""},
                                     {"", "C2", "", "李四", "", "0", "5", "年卡", ""}}));
    }

    // A cancel on the progress bar and a write that fails part-way leave
    // every table as it was, and say so; the backup was taken first.
    void cancelledOrFailedWritesNothing_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("cancelled") << true;
        QTest::newRow("failed at row 4001") << false;
    }
    void cancelledOrFailedWritesNothing()
    {
        QFETCH(bool, cancel);
        TestEnv env;
        env.ctx().setLogin("ZED", "M");
        env.insert(goods::kTable, {"旧货", "Z1", "", "", "1", "2", "3", "", "", ""});
        QByteArray text = "商品名称,产品编号,进货价格,零售价格,库存数量\n";
        for (int i = 1; i <= 5000; ++i)
            text += QString("商品%1,G%1,10,20,5\n").arg(i).toUtf8();
        QWidget* w = previewFile(env, "商品资料", writeFile(env.dir() + "/goods.csv", text));
        QVERIFY(w);
        if (cancel)
            cancelProgressWhenShown(w);
        else
            QVERIFY(addFailingTrigger(env.db(), "full", "BEFORE INSERT ON jinhuo", "磁盘已满",
                                      "NEW.\"产品编号\" = 'G4000'"));
        const QList<QStringList> before = env.rows(goods::kTable);
        env.messages().clear();
        importConfirmed(env, w);
        QCOMPARE(env.rows(goods::kTable), before);
        const QStringList shown = shownAll(env);
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown.first(), question("商品资料", "新增 5000 行，更新 0 行，拒绝 0 行"));
        if (cancel) {
            QCOMPARE(shown.last(), info("导入已取消，没有导入任何数据。", "导入"));
        } else {
            const Shown failed = env.messages().last();
            QCOMPARE(failed.caption, QString("错误信息"));
            QCOMPARE(failed.icon, QMessageBox::Critical);
            QVERIFY2(failed.text.startsWith("导入没有完成，没有导入任何数据。\n") &&
                         failed.text.contains("磁盘已满"),
                     qPrintable(failed.text));
        }
        QVERIFY(child<QPushButton>(w, "cmd_import")->isEnabled());
        QCOMPARE(listBackups(env.ctx().paths().backupDir()).size(), 1);
    }

    // The grids open while the import runs show its rows at once.
    void openGridsShowTheNewRows()
    {
        TestEnv env;
        env.ctx().setLogin("ZED", "M");
        const Opened purchases = openRegistered(env, "frame_jin");
        auto* grid = child<RecordView>(purchases.widget, "jin_bg");
        QCOMPARE(gridColumn(grid, 1), QStringList{});
        QWidget* w = previewFile(env, "商品资料",
                                 writeFile(env.dir() + "/goods.csv",
                                           "商品名称,产品编号,进货价格,零售价格,库存数量\n洗发水,A1,10,20,5\n"
                                           "护发素,A2,12,24,6\n"));
        QVERIFY(w);
        importConfirmed(env, w);
        QTRY_COMPARE(gridColumn(grid, 1), (QStringList{"A1", "A2"}));
    }

    // A real spreadsheet's CSV (Gnumeric's ssconvert, GB18030) imports the
    // rows it holds right, its refused rows left out.
    void spreadsheetFile()
    {
        TestEnv env;
        env.ctx().setLogin("ZED", "M");
        QWidget* w = previewFile(env, "商品资料", QFINDTESTDATA("data/fixtures/goods_gnumeric_gb18030.csv"));
        QVERIFY(w);
        QCOMPARE(textOf(w, "lbl_state"), QString("共 4 行：新增 2 行，更新 0 行，拒绝 2 行。"));
        importConfirmed(env, w);
        const QList<QStringList> rows = env.rows(goods::kTable);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.first(),
                 (QStringList{"护发素, 大瓶", "7", "", "6", "8", "15.5", "0", "", "", "=SUM(A1)"}));
        QCOMPARE(rows.last().first(), QString("发蜡𠀀"));
    }
};

QTEST_MAIN(TstImport)
#include "tst_integration_import.moc"
