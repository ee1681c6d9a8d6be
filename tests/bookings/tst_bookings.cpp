// The booking rules on the files and (as server_) on a server: the
// booking in the way named, the
// states' order, a sale completing only an arrived booking, and eight tills
// booking one employee's day at once never overlapping, and a till killed
// while booking leaving every booking whole or absent.
#include "data/backup_files.h"
#include "data/bookings.h"
#include "data/schema.h"
#include "support/test_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include <barrier>
#include <thread>
#include <vector>

using namespace shop;
using shop::test::TestEnv;

namespace {

namespace y = schema::yuyue;

void addWorker(TestEnv& env, const QString& name)
{
    env.insert(schema::worker::kTable, {name, "男", "1990-01", "高中", "本地", "未婚", "技师", "3000",
                                        "13800000000", "2026-01-01", "", ""});
}

void addCard(TestEnv& env, const QString& number, const QString& holder)
{
    env.insert(schema::numbercard::kTable,
               {"2026-01-01", number, "王五", holder, "剪发", "100", "10", "月卡", ""});
}

bookings::Request request(const QString& employee, const QString& start, const QString& minutes,
                          const QString& card = QStringLiteral("C01"))
{
    bookings::Request r;
    r.date = QStringLiteral("2026-12-08");
    r.start = start;
    r.minutes = minutes;
    r.card = card;
    r.serviceItem = QStringLiteral("剪发");
    r.employee = employee;
    return r;
}

std::unique_ptr<Database> openTill(TestEnv& env, QString* error)
{
    if (env.ctx().onServer())
        return Database::openServer(*env.ctx().server(), error);
    auto db = Database::open(env.ctx().paths().businessDb(), error);
    if (db && !db->exec(QStringLiteral("PRAGMA synchronous=OFF")))
        *error = QStringLiteral("PRAGMA synchronous failed");
    return db;
}

const char* const kChildFlag = "--booking-child";

QString businessFile(const QString& dir)
{
    return QDir(dir).filePath(QStringLiteral("database/database.db"));
}

// Books day after day for 张三 until killed, writing "N" after each
// booking it saw stored.
int childMain(const QString& dir)
{
    QString err;
    auto db = Database::open(businessFile(dir), &err);
    if (!db)
        return 2;
    std::printf("ready\n");
    std::fflush(stdout);
    for (qint64 n = 1;; ++n) {
        bookings::Request r = request(QStringLiteral("张三"), QStringLiteral("10:00"), QStringLiteral("45"));
        r.date = dateText(QDate(2026, 1, 1).addDays(n));
        r.remark = QString::number(n);
        if (!bookings::book(*db, r, bookings::Hours{}).ok())
            return 3;
        std::printf("%lld\n", static_cast<long long>(n));
        std::fflush(stdout);
    }
}

} // namespace

class TstBookings : public QObject {
    Q_OBJECT
private slots:
    void overlapNamesTheBookingInTheWay_data();
    void overlapNamesTheBookingInTheWay();
    void statesFollowTheirOrder_data();
    void statesFollowTheirOrder();
    void cardOrEmployeeGoneSinceIsRefused_data();
    void cardOrEmployeeGoneSinceIsRefused();
    void saleCompletesOnlyAnArrivedBooking();
    void eightTillsNeverOverlap();
    void killedWhileBookingLeavesItWholeOrAbsent();
    void olderDatabaseGetsTheTable();
};

void TstBookings::overlapNamesTheBookingInTheWay_data()
{
    QTest::addColumn<QString>("employee");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<bool>("refused");
    // 张三 has 10:00-11:00.
    QTest::newRow("same time") << "张三"
                               << "10:00"
                               << "60" << true;
    QTest::newRow("inside") << "张三"
                            << "10:15"
                            << "15" << true;
    QTest::newRow("across the start") << "张三"
                                      << "09:30"
                                      << "31" << true;
    QTest::newRow("across the end") << "张三"
                                    << "10:59"
                                    << "30" << true;
    QTest::newRow("ends at its start") << "张三"
                                       << "09:30"
                                       << "30" << false;
    QTest::newRow("starts at its end") << "张三"
                                       << "11:00"
                                       << "30" << false;
    QTest::newRow("name in other case") << "zhang"
                                        << "10:00"
                                        << "30" << true;
    QTest::newRow("another employee") << "李四"
                                      << "10:00"
                                      << "60" << false;
    QTest::newRow("no employee") << ""
                                 << "10:00"
                                 << "60" << false;
}

void TstBookings::overlapNamesTheBookingInTheWay()
{
    QFETCH(QString, employee);
    QFETCH(QString, start);
    QFETCH(QString, minutes);
    QFETCH(bool, refused);
    TestEnv env;
    for (const char* n : {"张三", "李四", "ZHANG"})
        addWorker(env, QString::fromUtf8(n));
    addCard(env, "C01", "王五");
    const QString first = employee == "zhang" ? QStringLiteral("ZHANG") : QStringLiteral("张三");
    const bookings::Outcome held = bookings::book(env.db(), request(first, "10:00", "60"), bookings::Hours{});
    QVERIFY2(held.ok(), qPrintable(held.error));
    // A cancelled booking at the same time holds nothing.
    bookings::Request gone = request(employee, start, minutes);
    const bookings::Outcome o =
        bookings::book(env.db(), request(employee, start, minutes), bookings::Hours{});
    if (!refused) {
        QVERIFY2(o.ok(), qPrintable(o.error));
        QCOMPARE(env.rows(y::kTable).size(), 2);
        return;
    }
    QCOMPARE(o.kind, bookings::Outcome::Refused);
    QCOMPARE(o.refusal, bookings::Refusal::Overlap);
    QVERIFY(o.booking);
    QCOMPARE(o.booking->rowid, held.rowid);
    QCOMPARE(o.booking->describe(), QStringLiteral("2026-12-08 10:00-11:00 王五（剪发）"));
    QCOMPARE(env.rows(y::kTable).size(), 1);
    // Once cancelled, the time is free again.
    QVERIFY(bookings::setState(env.db(), held.rowid, bookings::State::Cancelled, "顾客改期").ok());
    QVERIFY(bookings::book(env.db(), gone, bookings::Hours{}).ok());
}

void TstBookings::statesFollowTheirOrder_data()
{
    QTest::addColumn<QList<int>>("path");
    QTest::addColumn<QList<bool>>("taken");
    using S = bookings::State;
    QTest::newRow("arrive twice") << QList<int>{int(S::Arrived), int(S::Arrived)} << QList<bool>{true, false};
    QTest::newRow("arrive then no-show")
        << QList<int>{int(S::Arrived), int(S::NoShow)} << QList<bool>{true, false};
    QTest::newRow("arrive then cancel")
        << QList<int>{int(S::Arrived), int(S::Cancelled)} << QList<bool>{true, true};
    QTest::newRow("no-show then arrive")
        << QList<int>{int(S::NoShow), int(S::Arrived)} << QList<bool>{true, false};
    QTest::newRow("cancel then arrive")
        << QList<int>{int(S::Cancelled), int(S::Arrived)} << QList<bool>{true, false};
    QTest::newRow("cancel twice") << QList<int>{int(S::Cancelled), int(S::Cancelled)}
                                  << QList<bool>{true, false};
    QTest::newRow("done by hand") << QList<int>{int(S::Done)} << QList<bool>{false};
}

void TstBookings::statesFollowTheirOrder()
{
    QFETCH(QList<int>, path);
    QFETCH(QList<bool>, taken);
    TestEnv env;
    addWorker(env, "张三");
    addCard(env, "C01", "王五");
    const bookings::Outcome held =
        bookings::book(env.db(), request("张三", "10:00", "30"), bookings::Hours{});
    QVERIFY(held.ok());
    QString state = bookings::stateText(bookings::State::Booked);
    for (int i = 0; i < path.size(); ++i) {
        const auto to = bookings::State(path.at(i));
        const bookings::Outcome o = bookings::setState(env.db(), held.rowid, to, QStringLiteral("临时有事"));
        QCOMPARE(o.ok(), taken.at(i));
        if (o.ok())
            state = bookings::stateText(to);
        else
            QCOMPARE(o.refusal, bookings::Refusal::WrongState);
        QCOMPARE(bookings::find(env.db(), held.rowid)->state, state);
    }
    // A cancellation says why; without a reason nothing changes.
    const bookings::Outcome bare = bookings::setState(env.db(), held.rowid, bookings::State::Cancelled, " ");
    QCOMPARE(bare.refusal, bookings::Refusal::NoReason);
    QCOMPARE(bookings::find(env.db(), held.rowid)->state, state);
}

void TstBookings::cardOrEmployeeGoneSinceIsRefused_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("onEdit");
    QTest::addColumn<int>("onSale");
    using R = bookings::Refusal;
    QTest::newRow("card deleted") << "DELETE FROM numbercard" << int(R::CardChanged) << int(R::CardChanged);
    QTest::newRow("card renumbered") << "UPDATE numbercard SET 卡号 = 'C02'" << int(R::CardChanged)
                                     << int(R::CardChanged);
    QTest::newRow("employee deleted") << "DELETE FROM worker" << int(R::EmployeeGone) << int(R::None);
    QTest::newRow("booking deleted") << "DELETE FROM yuyue" << int(R::Gone) << int(R::Gone);
}

void TstBookings::cardOrEmployeeGoneSinceIsRefused()
{
    QFETCH(QString, change);
    QFETCH(int, onEdit);
    QFETCH(int, onSale);
    TestEnv env;
    addWorker(env, "张三");
    addCard(env, "C01", "王五");
    const bookings::Outcome held =
        bookings::book(env.db(), request("张三", "10:00", "30"), bookings::Hours{});
    QVERIFY(held.ok());
    QVERIFY(env.db().exec(change));
    const auto before = env.rows(y::kTable);
    bookings::Request edit = request("张三", "11:00", "30");
    edit.rowid = held.rowid;
    const bookings::Outcome o = bookings::book(env.db(), edit, bookings::Hours{});
    QCOMPARE(int(o.refusal), onEdit);
    QCOMPARE(env.rows(y::kTable), before);
    const bookings::Outcome sale = bookings::readyForSale(env.db(), held.rowid);
    QCOMPARE(int(sale.refusal), onSale);
    if (onSale != int(bookings::Refusal::None))
        QCOMPARE(env.rows(y::kTable), before);
    // Another card of the old number is another customer's: booked anew.
    if (change.contains("卡号")) {
        addCard(env, "C01", "赵六");
        QCOMPARE(bookings::book(env.db(), edit, bookings::Hours{}).refusal, bookings::Refusal::CardChanged);
    }
}

void TstBookings::saleCompletesOnlyAnArrivedBooking()
{
    TestEnv env;
    addWorker(env, "张三");
    addCard(env, "C01", "王五");
    const bookings::Outcome held =
        bookings::book(env.db(), request("张三", "10:00", "30"), bookings::Hours{});
    QVERIFY(held.ok());
    const auto complete = [&](const QString& key) {
        const Database::Statement s = bookings::completeWrite(held.rowid, key).statement;
        return env.db().exec(s.sql, s.binds).rowsAffected;
    };
    QCOMPARE(complete("7"), 0); // still only booked
    const bookings::Outcome ready = bookings::readyForSale(env.db(), held.rowid);
    QVERIFY(ready.ok());
    QCOMPARE(ready.booking->state, QStringLiteral("已到店"));
    QCOMPARE(complete("8"), 1);
    const auto done = bookings::find(env.db(), held.rowid);
    QCOMPARE(done->state, QStringLiteral("已完成"));
    QCOMPARE(done->sale, QStringLiteral("8"));
    QCOMPARE(complete("9"), 0); // a second sale does not take it over
    QCOMPARE(bookings::readyForSale(env.db(), held.rowid).refusal, bookings::Refusal::WrongState);
    QCOMPARE(bookings::setState(env.db(), held.rowid, bookings::State::Cancelled, "x").refusal,
             bookings::Refusal::WrongState);
}

void TstBookings::eightTillsNeverOverlap()
{
    TestEnv env;
    const QStringList employees = {"张三", "李四", "王五"};
    for (const QString& e : employees)
        addWorker(env, e);
    addCard(env, "C01", "王五");
    constexpr int kTills = 8;
    constexpr int kTries = 60;
    std::barrier start(kTills);
    std::vector<int> stored(kTills), refused(kTills);
    std::vector<QString> failures(kTills);
    std::vector<std::thread> tills;
    for (int t = 0; t < kTills; ++t)
        tills.emplace_back([&, t] {
            QString error;
            auto db = openTill(env, &error);
            start.arrive_and_wait();
            if (!db) {
                failures[t] = error;
                return;
            }
            QRandomGenerator rng(1000 + t);
            for (int i = 0; i < kTries; ++i) {
                const int minute = 9 * 60 + 15 * rng.bounded(40);
                const QString at = bookings::timeText(QTime(minute / 60, minute % 60));
                const auto o = bookings::book(
                    *db,
                    request(employees.at(rng.bounded(3)), at, QString::number(15 * (1 + rng.bounded(4)))),
                    bookings::Hours{});
                if (o.ok())
                    ++stored[t];
                else if (o.kind == bookings::Outcome::Refused && o.refusal == bookings::Refusal::Overlap)
                    ++refused[t];
                else
                    failures[t] = o.error + QString::number(int(o.refusal));
            }
        });
    for (std::thread& t : tills)
        t.join();
    int total = 0;
    for (int t = 0; t < kTills; ++t) {
        QVERIFY2(failures[t].isEmpty(), qPrintable(failures[t]));
        QCOMPARE(stored[t] + refused[t], kTries);
        total += stored[t];
    }
    const auto rows = env.rows(y::kTable);
    QCOMPARE(rows.size(), total);
    QVERIFY(total > 0);
    for (const QString& e : employees) {
        QList<bookings::Booking> mine;
        for (const QStringList& r : rows)
            if (r.value(8) == e)
                mine << bookings::Booking::fromValues(0, r);
        for (int i = 0; i < mine.size(); ++i)
            for (int j = i + 1; j < mine.size(); ++j)
                QVERIFY2(!(mine[i].start < mine[j].end && mine[j].start < mine[i].end),
                         qPrintable(mine[i].describe() + " / " + mine[j].describe()));
    }
}

// The child is killed at random moments while it books; after each kill
// the file is sound, every booking it saw stored is there, and every
// booking there is whole.
void TstBookings::killedWhileBookingLeavesItWholeOrAbsent()
{
    if (qEnvironmentVariableIsSet("SHOP_TEST_ENGINE"))
        QSKIP("the files only: a server keeps what a killed client did not commit out");
    QTemporaryDir dir;
    QString err;
    QVERIFY2(schema::createDatabaseFiles(businessFile(dir.path()),
                                         QDir(dir.path()).filePath("database/userid.db"), "pw", &err),
             qPrintable(err));
    {
        auto db = Database::open(businessFile(dir.path()), &err);
        QVERIFY(db->exec(QStringLiteral("INSERT INTO worker (姓名) VALUES ('张三')")));
        QVERIFY(db->exec(QStringLiteral("INSERT INTO numbercard (卡号, 顾客姓名) VALUES ('C01', '王五')")));
    }
    QRandomGenerator rng(20261208);
    for (int k = 0; k < 40; ++k) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {kChildFlag, dir.path()});
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForReadyRead(10000));
        QTest::qWait(static_cast<int>(rng.bounded(30)));
        child.kill();
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        qint64 reported = 0;
        for (const QByteArray& line : child.readAllStandardOutput().split('\n'))
            if (bool ok = false; line.toLongLong(&ok), ok)
                reported = line.toLongLong();
        QCOMPARE(checkDatabaseFile(businessFile(dir.path()), false), QStringLiteral("ok"));
        auto db = Database::open(businessFile(dir.path()), &err);
        const auto rows =
            db->selectAll(QStringLiteral("SELECT * FROM yuyue WHERE 备注 <> '' ORDER BY rowid"));
        QVERIFY(rows);
        // This child's bookings, each whole.
        const QList<QVariantList>& mine = *rows;
        QVERIFY2(mine.size() >= reported && mine.size() <= reported + 1,
                 qPrintable(QStringLiteral("%1 stored, %2 reported").arg(mine.size()).arg(reported)));
        for (qsizetype i = 0; i < mine.size(); ++i) {
            const bookings::Booking b = bookings::Booking::fromValues(0, [&] {
                QStringList v;
                for (const QVariant& x : mine.at(i))
                    v << x.toString();
                return v;
            }());
            QCOMPARE(b.remark, QString::number(i + 1));
            QCOMPARE(b.date, dateText(QDate(2026, 1, 1).addDays(i + 1)));
            QCOMPARE(b.end, QStringLiteral("10:45"));
            QCOMPARE(b.state, QStringLiteral("已预约"));
            QVERIFY(!b.cardRow.isEmpty() && !b.created.isEmpty());
        }
        // The next child starts again from its first day: clear the way.
        QVERIFY(db->exec(QStringLiteral("UPDATE yuyue SET 备注 = '', 状态 = '取消'")));
    }
}

// A file or server database from before the bookings gets their table when
// opened, and books at once.
void TstBookings::olderDatabaseGetsTheTable()
{
    TestEnv env;
    addWorker(env, "张三");
    addCard(env, "C01", "王五");
    QVERIFY(env.db().exec(QStringLiteral("DROP TABLE yuyue")));
    QString error;
    // Opened afresh, as an older database is.
    auto older = openTill(env, &error);
    QVERIFY2(older, qPrintable(error));
    QVERIFY(older->columns(y::kTable).isEmpty());
    QVERIFY2(schema::upgradeBusinessTables(*older, &error), qPrintable(error));
    const bookings::Outcome o = bookings::book(*older, request("张三", "10:00", "30"), bookings::Hours{});
    QVERIFY2(o.ok(), qPrintable(o.error));
    QCOMPARE(env.rows(y::kTable).size(), 1);
}

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], kChildFlag) == 0) {
        QCoreApplication app(argc, argv);
        return childMain(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    TstBookings t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_bookings.moc"
