// The kit's background read: one read runs and at most one more waits,
// nothing is read while the owner is hidden, the value comes back on the
// window thread, and a database read's own connection is closed after it.
#include "ui/background_read.h"
#include "support/test_env.h"

#include <QSemaphore>
#include <QSqlDatabase>
#include <QTest>

#include <atomic>

using namespace shop;

class TstBackgroundRead : public QObject {
    Q_OBJECT
private slots:
    void requests_data();
    void requests();
    void ownConnectionClosed();
};

void TstBackgroundRead::requests_data()
{
    QTest::addColumn<bool>("shown");        // the owner, when the first request comes
    QTest::addColumn<int>("more");          // requests while the first read runs (or while hidden)
    QTest::addColumn<bool>("waited");       // the first read taken by wait(), not the event loop
    QTest::addColumn<QList<int>>("handed"); // the reads handed over, numbered as they started

    QTest::newRow("one request") << true << 0 << false << QList<int>{1};
    QTest::newRow("four more while one runs: one more read") << true << 4 << false << QList<int>{1, 2};
    QTest::newRow("taken by wait, then the one pending") << true << 2 << true << QList<int>{1, 2};
    QTest::newRow("hidden: one read once shown") << false << 3 << false << QList<int>{1};
}

void TstBackgroundRead::requests()
{
    QFETCH(bool, shown);
    QFETCH(int, more);
    QFETCH(bool, waited);
    QFETCH(QList<int>, handed);

    QWidget owner;
    if (shown)
        owner.show();
    QSemaphore gate;
    std::atomic_int started = 0;
    std::atomic_bool offThread = true;
    int prepared = 0;
    QList<int> got;
    bool onWindowThread = true;
    BackgroundRead<int> read(
        [&] {
            const int n = ++prepared;
            return [&, n] {
                ++started;
                offThread = offThread && QThread::currentThread() != qApp->thread();
                gate.acquire();
                return n;
            };
        },
        [&](const int& n) {
            onWindowThread = onWindowThread && QThread::currentThread() == qApp->thread();
            got << n;
        },
        &owner);

    read.request();
    if (shown)
        QTRY_COMPARE(started.load(), 1);
    for (int i = 0; i < more; ++i)
        read.request();
    if (!shown) {
        QTest::qWait(50);
        QCOMPARE(started.load(), 0);
        owner.show();
        QTRY_COMPARE(started.load(), 1);
    }
    gate.release(10);
    if (waited) {
        QVERIFY(read.wait());
        QCOMPARE(got, QList<int>{1});
    }
    QTRY_VERIFY(!read.busy());
    QTest::qWait(20);
    QCOMPARE(got, handed);
    QCOMPARE(started.load(), handed.size());
    QVERIFY(offThread);
    QVERIFY(onWindowThread);
}

void TstBackgroundRead::ownConnectionClosed()
{
    test::TestEnv env;
    env.insert("salse",
               {"2026-12-07", "其它服务", "非会员", "", "", "", "", "", "10", "洗车", "张三", "", "0"});
    const QStringList before = QSqlDatabase::connectionNames();
    QStringList during;
    std::optional<DbValue<QVariantList>> got;
    BackgroundRead<DbValue<QVariantList>> read(
        [&] {
            return onOwnConnection<QVariantList>(env.ctx(), [&](Database& db) {
                during = QSqlDatabase::connectionNames();
                return db.selectOne("SELECT count(*) FROM salse");
            });
        },
        [&](const DbValue<QVariantList>& v) { got = v; });
    read.request();
    QTRY_VERIFY(got.has_value());
    QVERIFY2(got->found(), qPrintable(got->error()));
    QCOMPARE(got->value->value(0).toInt(), 1);
    QCOMPARE(during.size(), before.size() + 1);
    QCOMPARE(QSqlDatabase::connectionNames(), before);
}

QTEST_MAIN(TstBackgroundRead)
#include "tst_background_read.moc"
