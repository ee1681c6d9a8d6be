#include "data/money.h"
#include "data/schema.h"
#include "staff/salary_service.h"
#include "support/test_env.h"

#include <QTest>

using namespace shop;
using namespace shop::test;

namespace {
const QString kPeriodIndex = QStringLiteral("ix_salse_员工姓名_业务日期");

bool hasIndex(Database& db, const QString& name)
{
    return db.selectOne("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?", {name}).found();
}
} // namespace

class TstSalaryService : public QObject {
    Q_OBJECT
private slots:
    // A business file made before the period index existed gets it when the
    // program opens it.
    void olderFileGetsThePeriodIndex()
    {
        TestEnv env;
        QVERIFY(hasIndex(env.db(), kPeriodIndex));
        QVERIFY(env.db().exec("DROP INDEX " + quoteIdent(kPeriodIndex)).ok);
        QVERIFY(!hasIndex(env.db(), kPeriodIndex));

        AppContext again(ProgramPaths{env.dir()}, std::make_unique<FixedClock>(QDateTime::currentDateTime()),
                         std::make_unique<QSettings>(env.dir() + "/again.ini", QSettings::IniFormat),
                         env.messages(), env.printing());
        QString error;
        QVERIFY2(again.openDatabases(&error), qPrintable(error));
        QVERIFY(hasIndex(again.business(), kPeriodIndex));
        QVERIFY(hasIndex(env.db(), kPeriodIndex));
    }

    // Totals are rounded after each row in stored order (the grid's order),
    // not in date order: 1 then 2.5 gives 1, 3.5 -> 4, where 2.5 then 1
    // would give 2, 3.
    void totalsFollowStoredOrder_data()
    {
        QTest::addColumn<QStringList>("dates");
        QTest::addColumn<qint64>("total");
        QTest::newRow("stored order is date order") << QStringList{"2026-12-01", "2026-12-02"} << qint64(4);
        QTest::newRow("stored order against date order")
            << QStringList{"2026-12-02", "2026-12-01"} << qint64(4);
    }
    void totalsFollowStoredOrder()
    {
        QFETCH(QStringList, dates);
        QFETCH(qint64, total);
        TestEnv env;
        const QStringList values = {"1", "2.5"};
        for (int i = 0; i < 2; ++i)
            env.insert("salse", {dates.at(i), "服务", "", "", "", "1", "", "", values.at(i), "烫发", "张三",
                                 "", values.at(i)});
        const RecordSource source = SalaryService::itemBusiness("张三", "2026-12-01", "2026-12-07", "烫发");
        const auto commission = money::commissionIn(env.db(), source);
        const auto item = money::salesIn(env.db(), source);
        QVERIFY(commission.found() && item.found());
        QCOMPARE(commission->total, total);
        QCOMPARE(item->commission.total, total);
        QCOMPARE(item->received.total, total);
        QCOMPARE(item->received.rows, qint64(2));
    }
};

QTEST_MAIN(TstSalaryService)
#include "tst_salary_service.moc"
