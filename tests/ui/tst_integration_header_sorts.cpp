// The header sorts of every window that has a grid, in one data-driven
// test over each window's own sort map: a mapped header orders the grid by
// its column, an unmapped one keeps the current source (re-run or ignored).
#include "data/schema.h"
#include "support/tab_host.h"

using namespace shop;
using namespace shop::test;

namespace {
// Rows whose every column differs in order from the stored order; 张 (zhang)
// comes before 李 (li) by code point, after it in pinyin order.
const QStringList kSeeds = {"张", "b2", "c3", "A1", "李"};

void seed(TestEnv& env, const QString& table)
{
    Database& db = table == "username" ? env.accounts() : env.db();
    const int columns = static_cast<int>(db.columns(table).size());
    for (const QString& v : kSeeds) {
        QVariantList row;
        QStringList marks;
        for (int c = 0; c < columns; ++c) {
            row << v + QString::number(c);
            marks << "?";
        }
        QVERIFY(db.exec(QString("INSERT INTO %1 VALUES (%2)").arg(table, marks.join(", ")), row));
    }
}
} // namespace

class TstHeaderSorts : public QObject {
    Q_OBJECT
private slots:
    void everyHeaderOfEveryWindow_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("grid");
        QTest::newRow("business entry") << "frmyewu"
                                        << "salse"
                                        << "bg";
        QTest::newRow("member cards") << "frm_card"
                                      << "numbercard"
                                      << "bg";
        QTest::newRow("customers") << "frmguke"
                                   << "guke"
                                   << "bg";
        QTest::newRow("sales records") << "frm_salse"
                                       << "salse"
                                       << "bg";
        QTest::newRow("stock query") << "frm_kucun"
                                     << "jinhuo"
                                     << "bg";
        QTest::newRow("purchase history") << "frm_history"
                                          << "jinhuo_history"
                                          << "bg";
        QTest::newRow("salaries") << "frmgz"
                                  << "salary"
                                  << "bg";
        QTest::newRow("purchase tab") << "frame_jin"
                                      << "jinhuo"
                                      << "jin_bg";
        QTest::newRow("employee tab") << "Frame_worker"
                                      << "worker"
                                      << "worker_bg";
        QTest::newRow("ledger tab") << "frame_shouzhi"
                                    << "shouzhi"
                                    << "shou_bg";
        QTest::newRow("delete user") << "frmdeleuser"
                                     << "username"
                                     << "bg";
    }
    void everyHeaderOfEveryWindow()
    {
        QFETCH(QString, window);
        QFETCH(QString, table);
        QFETCH(QString, grid);
        TestEnv env;
        env.ctx().setLogin("ZED", "M");
        seed(env, table);
        const Opened opened = openRegistered(env, window);
        QWidget* w = opened.widget;
        QVERIFY(w);
        if (opened.frame)
            QVERIFY(opened.active);
        auto* view = child<RecordView>(w, grid.toLatin1().constData());
        for (int h = 0; h < view->records()->columnCount(); ++h) {
            const RecordSource before = view->source();
            clickHeader(view, h);
            const auto it = view->sortMap().constFind(h);
            if (it == view->sortMap().constEnd()) {
                QVERIFY2(view->source() == before, qPrintable(QString("header %1").arg(h)));
                continue;
            }
            QCOMPARE(view->source(), *it);
            const int column = view->records()->columnIndex(it->order.first().column);
            QVERIFY(column >= 0);
            // Text in pinyin order, figures, dates and codes by their text;
            // Latin letters without regard to case, before Chinese either way.
            const QString orderColumn = it->order.first().column;
            Database& db = table == "username" ? env.accounts() : env.db();
            const QString suffix = QString::number(db.columns(table).indexOf(orderColumn));
            QStringList shown = gridColumn(view, column);
            for (QString& v : shown) {
                QVERIFY(v.endsWith(suffix));
                v.chop(suffix.size());
            }
            const QStringList expected = schema::sortsInPinyin(orderColumn)
                                             ? QStringList{"A1", "b2", "c3", "李", "张"}
                                             : QStringList{"A1", "b2", "c3", "张", "李"};
            QVERIFY2(shown == expected, qPrintable(QString("header %1: %2").arg(h).arg(shown.join(' '))));
        }
        env.ctx().windows().closeAll();
    }
};

QTEST_MAIN(TstHeaderSorts)
#include "tst_integration_header_sorts.moc"
