// Bookings: the day view of 30 employees with 60 bookings opened to painted
// and moved to the next day; with a million bookings a day's bookings and
// one member's history against the same statement in the sqlite3 shell
// (warm, many runs in one shell) and in psql; booking a slot on the files;
// eight tills booking random slots at once on a server (no overlap, and
// the bookings per second).
//
//   bench_bookings [bookings]      (default 1000000)
// Environment: BENCH_REPEAT (default 15), SQLITE3_SHELL (default /usr/bin/sqlite3),
// BENCH_BOOKINGS_SERVER=0 leaves the server out, BENCH_BOOKINGS_FILES=0 the files.
#include "bookings/booking_window.h"
#include "data/bookings.h"
#include "data/schema.h"
#include "support/pg_cluster.h"
#include "support/test_env.h"

#include "bench_shop.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>

#include <barrier>
#include <cstdio>
#include <random>
#include <thread>

using namespace shop;
using namespace shop::bench;

namespace {

namespace y = schema::yuyue;

const int kRepeat = benchRepeat(15);
const QDate kFirstDay(2022, 1, 1);
constexpr int kEmployees = 30;
constexpr int kMembers = 20000;
const QStringList kServices = {"洗剪吹", "烫发", "染发", "焗油", "头皮护理", "面部护理"};

QString employee(int i)
{
    return QStringLiteral("技师%1").arg(i, 2, 10, QChar(u'0'));
}

QString memberCard(int i)
{
    return QStringLiteral("8%1").arg(i, 6, 10, QChar(u'0'));
}

QString slotText(int minute)
{
    return bookings::timeText(QTime(minute / 60, minute % 60));
}

// Booking i of `count`: days from kFirstDay on, about 500 a day, spread
// over the employees and the day's slots without overlapping.
QStringList bookingRow(int i, int perDay)
{
    const int day = i / perDay;
    const int inDay = i % perDay;
    const int who = inDay % kEmployees;
    const int slot = (inDay / kEmployees) % 24;
    const int start = 9 * 60 + slot * 30;
    QStringList v(static_cast<int>(schema::columnsOf(y::kTable).size()));
    v[0] = dateText(kFirstDay.addDays(day));
    v[1] = slotText(start);
    v[2] = slotText(start + 30);
    v[3] = memberCard((i * 7919) % kMembers);
    v[4] = QString::number(1 + (i * 7919) % kMembers);
    v[5] = QStringLiteral("顾客%1").arg((i * 7919) % kMembers);
    v[7] = kServices.at(i % kServices.size());
    v[8] = employee(who);
    v[9] = i % 10 == 0 ? QStringLiteral("未到") : QStringLiteral("已完成");
    v[13] = v[0] + QStringLiteral(" 08:00:00");
    v[14] = QStringLiteral("ZED");
    return v;
}

// ---------------------------------------------------------------- a shop

std::unique_ptr<Shop> openShop(test::PgCluster* cluster)
{
    auto shop = bench::openShop(cluster, QDateTime(QDate(2026, 12, 7), QTime(10, 0)));
    shop->ctx->setLogin(QStringLiteral("ZED"), QStringLiteral("M"));
    return shop;
}

QStringList cardRow(int i)
{
    return {QStringLiteral("2026-01-01"),
            memberCard(i),
            employee(0),
            QStringLiteral("顾客%1").arg(i),
            QStringLiteral("剪发"),
            QStringLiteral("0"),
            QStringLiteral("20"),
            QStringLiteral("月卡"),
            QString()};
}

void fill(Shop& shop, int rows, int perDay)
{
    const QStringList columns = schema::columnsOf(y::kTable);
    // The employees and the members' cards: a booking names stored ones.
    {
        Database& db = shop.db();
        Database::Transaction tx(db);
        for (int i = 0; i < kEmployees; ++i)
            if (!db.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (?)")
                             .arg(quoteIdent(schema::worker::kTable), quoteIdent(schema::worker::kName)),
                         {employee(i)}))
                qFatal("cannot store the employees");
        for (int i = 0; i < kMembers; ++i) {
            QVariantList binds;
            for (const QString& v : cardRow(i))
                binds << textValue(v);
            if (!db.exec(QStringLiteral("INSERT INTO %1 VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")
                             .arg(quoteIdent(schema::numbercard::kTable)),
                         binds))
                qFatal("cannot store the cards");
        }
        if (!tx.commit())
            qFatal("cannot store the cards");
    }
    fillTable(shop, y::kTable, rows, [perDay](int i) { return bookingRow(i, perDay); });
}

// ---------------------------------------------------------------- the shell

// A statement's time per run in the shell, many runs in one shell, the
// shell's start and schema read subtracted.
Time shellWarm(const QString& dbPath, const QString& sql, int loops)
{
    const auto script = [&](const QByteArray& body) {
        QFile f(dbPath + QStringLiteral(".script.sql"));
        if (!f.open(QIODevice::WriteOnly) || f.write(body) != body.size())
            qFatal("cannot write the shell script");
        f.close();
        const ShellRun r = spawnTimed({shellPath().toLocal8Bit(), "-batch", "-init",
                                       QFile::encodeName(f.fileName()), QFile::encodeName(dbPath), ".quit"},
                                      true);
        if (!r.ok)
            qFatal("the shell failed on: %s", body.left(300).constData());
        return Time{r.ms, r.cpuMs};
    };
    const QByteArray base = ".output /dev/null\nSELECT count(*) FROM sqlite_master;\n";
    QByteArray many = base;
    for (int i = 0; i < loops; ++i)
        many += sql.toUtf8() + ";\n";
    std::vector<double> sw, sc, mw, mc;
    for (int i = 0; i < 5; ++i) {
        const Time s = script(base);
        const Time m = script(many);
        sw.push_back(s.wall);
        sc.push_back(s.cpu);
        mw.push_back(m.wall);
        mc.push_back(m.cpu);
    }
    return {qMax(0.001, (median(mw) - median(sw)) / loops), qMax(0.001, (median(mc) - median(sc)) / loops)};
}

// The program's own run of a read, warm: medians of `repeat` runs.
Time programWarm(int repeat, const std::function<qint64()>& read)
{
    read();
    return timeMedian(repeat, [&] {
        if (read() < 0)
            qFatal("the read failed");
    });
}

QString daySql(const QString& date)
{
    QStringList quoted;
    for (const QString& c : schema::columnsOf(y::kTable))
        quoted << quoteIdent(c);
    return QStringLiteral("SELECT rowid, %1 FROM %2 WHERE %3 = '%4' ORDER BY %5, rowid")
        .arg(quoted.join(", "), quoteIdent(y::kTable), quoteIdent(y::kDate), date, quoteIdent(y::kStart));
}

QString cardSql(const QString& card)
{
    QStringList quoted;
    for (const QString& c : schema::columnsOf(y::kTable))
        quoted << quoteIdent(c);
    return QStringLiteral("SELECT rowid, %1 FROM %2 WHERE %3 = '%4' ORDER BY %5 DESC, %6 DESC, rowid DESC")
        .arg(quoted.join(", "), quoteIdent(y::kTable), quoteIdent(y::kCard), card, quoteIdent(y::kDate),
             quoteIdent(y::kStart));
}

void compareReads(Shop& shop, int days, const QString& against,
                  const std::function<Time(const QString&)>& reference)
{
    const QString date = dateText(kFirstDay.addDays(qMin(400, days / 2)));
    const QString card = memberCard(4321);
    struct Read {
        QString name;
        QString sql;
        std::function<qint64()> run;
    };
    const QList<Read> reads = {
        {QStringLiteral("a day's bookings (%1)").arg(date), daySql(date),
         [&] {
             const auto d = bookings::ofDay(shop.db(), date);
             return d ? static_cast<qint64>(d->size()) : -1;
         }},
        {QStringLiteral("one member's history (%1)").arg(card), cardSql(card),
         [&] {
             const auto d = bookings::ofCard(shop.db(), card);
             return d ? static_cast<qint64>(d->size()) : -1;
         }},
    };
    for (const Read& r : reads) {
        const qint64 rows = r.run();
        const Time own = programWarm(kRepeat * 4, r.run);
        const Time ref = reference(r.sql);
        std::printf("  %-44s %5lld rows: program %.3f ms (cpu %.3f), %s %.3f ms (cpu %.3f): %.2fx\n",
                    qPrintable(r.name), static_cast<long long>(rows), own.wall, own.cpu, qPrintable(against),
                    ref.wall, ref.cpu, own.wall / ref.wall);
        if (ref.cpu > 0) {
            addGoal(QStringLiteral("%1 against %2").arg(r.name, against), own.wall / ref.wall,
                    own.cpu / ref.cpu, 1.5);
        } else {
            // psql times the statement's round trip only, no CPU of its own.
            const double ratio = own.wall / ref.wall;
            goals() << QStringLiteral("%1 against %2: wall %3x %4 (goal <= 1.5)")
                           .arg(r.name, against)
                           .arg(ratio, 0, 'f', 2)
                           .arg(QLatin1String(verdict(ratio <= 1.5)));
        }
    }
}

// The server's plan of the day's read, as psql runs it, and the same
// statement through the program's connection with the rows only counted (no
// texts made): what the round trip costs apart from the bookings built.
void serverPlans(Shop& shop, int days)
{
    const QString date = dateText(kFirstDay.addDays(qMin(400, days / 2)));
    QByteArray script;
    for (const QString& set : Database::serverSessionSettings())
        script += set.toUtf8() + ";\n";
    script += "EXPLAIN (ANALYZE, BUFFERS) " + daySql(date).toUtf8() + ";\n";
    std::printf("  plan of a day (psql):\n%s", runPsql(*shop.server, script).constData());
    QStringList quoted;
    for (const QString& c : schema::columnsOf(y::kTable))
        quoted << quoteIdent(c);
    const QString bound =
        QStringLiteral("SELECT rowid, %1 FROM %2 WHERE %3 = ? ORDER BY %4, rowid")
            .arg(quoted.join(", "), quoteIdent(y::kTable), quoteIdent(y::kDate), quoteIdent(y::kStart));
    // Taken in turns, so that a busy moment of the machine falls on both.
    std::vector<double> bareMs, dayMs;
    for (int i = 0; i < kRepeat * 4 + 1; ++i) {
        double t0 = nowMs();
        qint64 n = 0;
        if (!shop.db().selectKeyedTexts(bound, {date}, [&n](qint64, const Database::TextRow&) {
                ++n;
                return true;
            }))
            qFatal("the day's statement failed");
        bareMs.push_back(nowMs() - t0);
        t0 = nowMs();
        if (!bookings::ofDay(shop.db(), date))
            qFatal("the day's read failed");
        dayMs.push_back(nowMs() - t0);
    }
    bareMs.erase(bareMs.begin());
    dayMs.erase(dayMs.begin());
    std::printf(
        "  in turns: the day's statement alone through the program %.3f ms, the bookings built %.3f ms\n",
        median(bareMs), median(dayMs));
}

// ---------------------------------------------------------------- the parts

void dayView()
{
    auto shop = openShop(nullptr);
    for (int i = 0; i < kEmployees; ++i)
        shop->ctx->business().exec(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (?)")
                .arg(quoteIdent(schema::worker::kTable), quoteIdent(schema::worker::kName)),
            {employee(i)});
    for (int day = 0; day < 2; ++day)
        for (int i = 0; i < 60; ++i) {
            bookings::Request r;
            r.date = dateText(QDate(2026, 12, 7).addDays(day));
            r.start = slotText(9 * 60 + 30 * ((i / kEmployees) * 3 + i % 3));
            r.minutes = QStringLiteral("60");
            r.name = QStringLiteral("顾客%1").arg(i);
            r.phone = QStringLiteral("13800000000");
            r.serviceItem = kServices.at(i % kServices.size());
            r.employee = employee(i % kEmployees);
            if (!bookings::book(shop->db(), r, bookings::Hours{}).ok())
                qFatal("a day-view booking was refused");
        }
    std::vector<double> openWall, openCpu, nextCpu, nextWall;
    for (int i = 0; i < kRepeat; ++i) {
        const double w0 = nowMs();
        const double c0 = cpuMs();
        auto window = std::make_unique<BookingWindow>(*shop->ctx);
        window->resize(1280, 800);
        window->show();
        settle();
        auto* view = child<QTableView>(*window, "day_bg");
        view->viewport()->repaint();
        readScreen(view);
        openWall.push_back(nowMs() - w0);
        openCpu.push_back(cpuMs() - c0);
        auto* next = child<QPushButton>(*window, "cmd_next");
        for (int k = 0; k < 2; ++k) {
            const double nw = nowMs();
            const double nc = cpuMs();
            next->click();
            view->viewport()->repaint();
            nextWall.push_back(nowMs() - nw);
            nextCpu.push_back(cpuMs() - nc);
            child<QPushButton>(*window, "cmd_today")->click();
        }
        window.reset();
        settle();
    }
    const double open = median(openWall);
    const double nextC = median(nextCpu);
    std::printf("Day view, %d employees, 60 bookings a day:\n", kEmployees);
    std::printf("  opened to painted %.1f ms (cpu %.1f ms), goal < 100 ms: %s\n", open, median(openCpu),
                verdict(open < 100));
    std::printf("  next day painted %.1f ms (cpu %.1f ms), goal cpu < 16.7 ms: %s\n\n", median(nextWall),
                nextC, verdict(nextC < 16.7));
    goals() << QStringLiteral("day view opened to painted: %1 ms %2 (goal < 100)")
                   .arg(open, 0, 'f', 1)
                   .arg(QLatin1String(verdict(open < 100)));
    goals() << QStringLiteral("next day painted: cpu %1 ms %2 (goal < 16.7)")
                   .arg(nextC, 0, 'f', 1)
                   .arg(QLatin1String(verdict(nextC < 16.7)));
}

// Booking a free slot, durable, one after another, on the filled files.
void bookingASlot(Shop& shop)
{
    std::vector<double> wall;
    for (int i = 0; i < kRepeat * 10; ++i) {
        bookings::Request r;
        r.date = dateText(QDate(2030, 1, 1).addDays(i / 20));
        r.start = slotText(9 * 60 + 30 * (i % 20));
        r.minutes = QStringLiteral("30");
        r.card = memberCard(17);
        r.serviceItem = QStringLiteral("烫发");
        r.employee = employee(i % kEmployees);
        const double t = nowMs();
        if (!bookings::book(shop.db(), r, bookings::Hours{}).ok())
            qFatal("booking a free slot was refused (%d)", int(bookings::book(shop.db(), r, {}).refusal));
        wall.push_back(nowMs() - t);
    }
    const double m = median(wall);
    std::printf(
        "  booking a slot: %.3f ms (p90 %.3f), goal < 2 ms: %s\n", m,
        [&] {
            std::sort(wall.begin(), wall.end());
            return wall.at(wall.size() * 9 / 10);
        }(),
        verdict(m < 2));
    goals() << QStringLiteral("booking a slot on the files: %1 ms %2 (goal < 2)")
                   .arg(m, 0, 'f', 3)
                   .arg(QLatin1String(verdict(m < 2)));
}

// Eight tills book random slots of five employees on one day at once.
void eightTills(Shop& shop)
{
    constexpr int kTills = 8;
    constexpr int kEach = 200;
    std::barrier start(kTills + 1);
    std::vector<int> stored(kTills), refused(kTills);
    std::vector<QString> failed(kTills);
    std::vector<std::thread> tills;
    const QString date = QStringLiteral("2031-06-01");
    for (int t = 0; t < kTills; ++t)
        tills.emplace_back([&, t] {
            QString error;
            auto db = shop.openTill(&error);
            start.arrive_and_wait();
            if (!db) {
                failed[t] = error;
                return;
            }
            std::mt19937 rng(77 + t);
            for (int i = 0; i < kEach; ++i) {
                bookings::Request r;
                r.date = date;
                r.start = slotText(9 * 60 + 15 * static_cast<int>(rng() % 44));
                r.minutes = QString::number(15 * (1 + static_cast<int>(rng() % 4)));
                r.card = memberCard(static_cast<int>(rng() % kMembers));
                r.serviceItem = QStringLiteral("剪发");
                r.employee = employee(static_cast<int>(rng() % 5));
                const auto o = bookings::book(*db, r, bookings::Hours{});
                if (o.ok())
                    ++stored[t];
                else if (o.refusal == bookings::Refusal::Overlap)
                    ++refused[t];
                else
                    failed[t] = o.error.isEmpty() ? QString::number(int(o.refusal)) : o.error;
            }
        });
    start.arrive_and_wait();
    const double t0 = nowMs();
    for (std::thread& t : tills)
        t.join();
    const double ms = nowMs() - t0;
    int ok = 0, no = 0;
    for (int t = 0; t < kTills; ++t) {
        if (!failed[t].isEmpty())
            qFatal("a till failed: %s", qPrintable(failed[t]));
        ok += stored[t];
        no += refused[t];
    }
    const auto day = bookings::ofDay(shop.db(), date);
    int overlaps = 0;
    for (qsizetype i = 0; i < day->size(); ++i)
        for (qsizetype j = i + 1; j < day->size(); ++j) {
            const bookings::Booking& a = day->at(i);
            const bookings::Booking& b = day->at(j);
            if (a.employee == b.employee && a.start < b.end && b.start < a.end)
                ++overlaps;
        }
    const bool whole = day->size() == ok && overlaps == 0;
    std::printf("  eight tills: %d bookings stored, %d refused as overlapping, in %.0f ms: %.0f bookings/s; "
                "%d overlaps stored, %lld rows for %d reported: %s\n",
                ok, no, ms, (ok + no) * 1000.0 / ms, overlaps, static_cast<long long>(day->size()), ok,
                verdict(whole));
    goals()
        << QStringLiteral("eight tills on the server never overlap: %1").arg(QLatin1String(verdict(whole)));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    const int perDay = 500;

    const bool files = qEnvironmentVariable("BENCH_BOOKINGS_FILES") != QLatin1String("0");
    if (files)
        dayView();

    if (files) {
        auto shop = openShop(nullptr);
        const double t0 = nowMs();
        fill(*shop, rows, perDay);
        std::printf("Files: %d bookings written in %.1f s\n", rows, (nowMs() - t0) / 1000);
        std::printf("  plan of a day: %s\n",
                    qPrintable(queryPlan(shop->db(), daySql("2023-02-05")).join("; ")));
        std::printf("  plan of a member: %s\n",
                    qPrintable(queryPlan(shop->db(), cardSql("8004321")).join("; ")));
        const QString path = shop->ctx->paths().businessDb();
        shop->db().exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        compareReads(*shop, rows / perDay, QStringLiteral("sqlite3 shell"),
                     [&](const QString& sql) { return shellWarm(path, sql, 200); });
        bookingASlot(*shop);
        std::printf("\n");
    }

    if (qEnvironmentVariable("BENCH_BOOKINGS_SERVER") != QLatin1String("0")) {
        QString err;
        auto cluster = test::PgCluster::start(/*durable=*/true, &err);
        if (!cluster)
            qFatal("no server: %s", qPrintable(err));
        auto shop = openShop(cluster.get());
        const double t0 = nowMs();
        fill(*shop, rows, perDay);
        std::printf("Server: %d bookings written in %.1f s\n", rows, (nowMs() - t0) / 1000);
        serverPlans(*shop, rows / perDay);
        compareReads(*shop, rows / perDay, QStringLiteral("psql"), [&](const QString& sql) {
            const double ms = psqlMedian(*shop->server, sql, kRepeat * 4);
            return Time{ms, 0};
        });
        eightTills(*shop);
        std::printf("\n");
    }

    std::printf("Goals:\n");
    bool all = true;
    for (const QString& g : goals()) {
        std::printf("  %s\n", qPrintable(g));
        all = all && !g.contains(QLatin1String("MISS"));
    }
    return all ? 0 : 1;
}
