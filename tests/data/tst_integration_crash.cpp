// Killed at any moment, nothing is half-written: a child process records
// sales (or adds goods, applies counts, or takes backups) in a loop through the program's own
// save code, and is killed with SIGKILL at random moments. After every kill
// both files pass the integrity check, every sale is whole or absent (its two
// rows, its stock and its card charge together), and no sale the child saw
// committed is missing.
#include "data/backup_files.h"
#include "data/database.h"
#include "data/numeric.h"
#include "data/schema.h"
#include "data/stocktaking.h"
#include "sales/sale_service.h"
#include "shell/backup.h"
#include "stock/purchase_service.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace shop;

namespace {

const int kGoods = 4;
const int kCards = 4;
const char* const kChildFlag = "--crash-child";

QString businessFile(const QString& dir)
{
    return QDir(dir).filePath("database/database.db");
}
QString accountsFile(const QString& dir)
{
    return QDir(dir).filePath("database/userid.db");
}

// Goods P0.. with 1 000 000 in stock; cards C0, C1 count uses, C2, C3 hold money.
void seed(const QString& dir)
{
    QString err;
    QVERIFY2(schema::createDatabaseFiles(businessFile(dir), accountsFile(dir), "pw", &err), qPrintable(err));
    auto db = Database::open(businessFile(dir), &err);
    QVERIFY2(db, qPrintable(err));
    for (int i = 0; i < kGoods; ++i)
        QVERIFY(rows::insert(*db, "jinhuo",
                             {QString("商品%1").arg(i), QString("P%1").arg(i), "", "", "3", "5", "1000000",
                              "", "2026-01-01", ""})
                    .ok);
    for (int i = 0; i < kCards; ++i)
        QVERIFY(rows::insert(*db, "numbercard",
                             {"2026-01-01", QString("C%1").arg(i), "李", "王", "", "10000000", "1000000",
                              i < 2 ? "月卡" : "钻石卡", ""})
                    .ok);
}

// ------------------------------------------------------------ the child

// One count of every line, each counted 1 or 2 below its stock, applied
// with the reason "seq <child> N": every apply changes every line.
bool countOnce(Database& db, QRandomGenerator& rng, qint64 n)
{
    namespace p = schema::pandian;
    // A count the last child left unfinished.
    if (const auto under = counts::underWay(db); !under || (*under && !counts::cancel(db)))
        return false;
    const auto started = counts::start(db, {});
    if (!started || started->kind != counts::Started::Done)
        return false;
    const auto sheet = db.selectAll(QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY rowid")
                                        .arg(quoteIdent(p::kSheetStock), quoteIdent(p::kTable)));
    if (!sheet)
        return false;
    for (const QVariantList& row : *sheet) {
        const QString counted = QString::number(row.value(1).toLongLong() - 1 - rng.bounded(2));
        const auto r = counts::record(db, row.value(0).toLongLong(), counted);
        if (!r || r->kind != counts::Recorded::Done)
            return false;
    }
    // Named by the child too: each child counts from 1.
    const auto applied =
        counts::apply(db, QStringLiteral("seq %1 %2").arg(QCoreApplication::applicationPid()).arg(n));
    return applied && applied->kind == counts::Applied::Done && applied->changed == kGoods;
}

// Writes "N\n" after each commit the save code reported: what the child has
// seen committed.
int childMain(const QString& mode, const QString& dir)
{
    QString err;
    auto db = Database::open(businessFile(dir), &err);
    auto accounts = Database::open(accountsFile(dir), &err);
    if (!db || !accounts)
        return 2;
    QRandomGenerator rng(static_cast<quint32>(QCoreApplication::applicationPid()));
    std::printf("ready\n");
    std::fflush(stdout);
    for (qint64 n = 1;; ++n) {
        bool ok = false;
        if (mode == "sales") {
            SaleService service(*db);
            SaleEntry e;
            e.goods = rng.bounded(3) != 0;
            e.service = !e.goods || rng.bounded(2) == 0;
            e.card = rng.bounded(4) == 0 ? QString() : QString("C%1").arg(rng.bounded(kCards));
            e.productCode = QString("P%1").arg(rng.bounded(kGoods));
            e.quantity = QString::number(1 + rng.bounded(5));
            e.money = QString::number(1 + rng.bounded(50));
            e.serviceItem = "洗车";
            e.employee = "张三";
            e.remark = QString("seq %1").arg(n);
            const SaleOutcome checked = service.check(e);
            ok = service.save(e, checked, "2026-12-07").kind == SaleOutcome::Saved;
        } else if (mode == "counts") {
            ok = countOnce(*db, rng, n);
        } else if (mode == "goods") {
            PurchaseService service(*db);
            ok = service
                     .addGoods({QString("新品%1").arg(n), QString("N%1").arg(n), "", "", "1", "2", "10", "",
                                "2026-12-07", ""})
                     .ok;
        } else {
            ok = backupDatabases(QDir(dir).filePath("backup"),
                                 QDateTime(QDate(2026, 12, 7), QTime(10, 0)).addSecs(n),
                                 {{db.get(), "database.db"}, {accounts.get(), "userid.db"}})
                     .ok;
        }
        if (!ok)
            return 3;
        std::printf("%lld\n", static_cast<long long>(n));
        std::fflush(stdout);
    }
}

// ------------------------------------------------------------ the checks

QList<QStringList> tableRows(Database& db, const QString& table)
{
    QList<QStringList> out;
    db.select(QString("SELECT * FROM %1 ORDER BY rowid").arg(quoteIdent(table)), {},
              [&out](const QSqlQuery& q) {
                  QStringList row;
                  for (int i = 0; i < q.record().count(); ++i)
                      row << q.value(i).toString();
                  out << row;
                  return true;
              });
    return out;
}

// Goods lines whose stock is not the stock after their last ledger row.
qint64 stockOffLedger(Database& db)
{
    const auto off = db.selectOne(
        "SELECT count(*) FROM jinhuo AS j WHERE 库存数量 IS NOT (SELECT 新库存 FROM kucun_liushui WHERE "
        "商品记录号 = CAST(j.rowid AS TEXT) ORDER BY rowid DESC LIMIT 1)");
    return off ? off->value(0).toLongLong() : -1;
}

} // namespace

class TstCrash : public QObject {
    Q_OBJECT

    // Runs the child in `mode` and kills it `kills` times at random moments,
    // checking after each kill; returns the sales or rows committed.
    void killRepeatedly(const QString& mode, int kills, const std::function<void(qint64 reported)>& check)
    {
        QElapsedTimer clock;
        clock.start();
        QRandomGenerator rng(20261207);
        for (int k = 0; k < kills; ++k) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(), {kChildFlag, mode, dirPath()});
            QVERIFY(child.waitForStarted());
            QVERIFY(child.waitForReadyRead(10000));
            // Anywhere from before the first write to well into the loop.
            QTest::qWait(static_cast<int>(rng.bounded(40)));
            child.kill();
            QVERIFY(child.waitForFinished(10000));
            QCOMPARE(child.exitStatus(), QProcess::CrashExit); // killed, not failed
            qint64 reported = 0;
            for (const QByteArray& line : child.readAllStandardOutput().split('\n'))
                if (bool ok = false; line.toLongLong(&ok), ok)
                    reported = line.toLongLong();
            QCOMPARE(checkDatabaseFile(businessFile(dirPath()), false), QString("ok"));
            QCOMPARE(checkDatabaseFile(accountsFile(dirPath()), false), QString("ok"));
            check(reported);
            if (QTest::currentTestFailed())
                return;
        }
        qInfo("%s: %d kills survived in %.1f s", qPrintable(mode), kills, clock.elapsed() / 1000.0);
    }

    std::unique_ptr<QTemporaryDir> folder;
    QString dirPath() const { return folder->path(); }

private slots:
    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        seed(dirPath());
    }

    void salesAreWholeOrAbsent()
    {
        qint64 stored = 0;
        killRepeatedly("sales", 200, [&](qint64 reported) {
            QString err;
            auto db = Database::open(businessFile(dirPath()), &err);
            QVERIFY2(db, qPrintable(err));
            const QList<QStringList> sales = tableRows(*db, "salse");
            QCOMPARE(tableRows(*db, "salse_history"), sales);
            // This child's sales: every one it saw committed is stored, and
            // at most the one in flight besides.
            const qint64 now = sales.size();
            QVERIFY2(
                now - stored >= reported && now - stored <= reported + 1,
                qPrintable(QString("before %1, now %2, child saw %3").arg(stored).arg(now).arg(reported)));
            stored = now;

            // Stock and cards agree with the sales stored.
            QHash<QString, double> taken, charged, used;
            for (const QStringList& s : sales) {
                if (s.at(1).contains("商品销售"))
                    taken[s.at(3)] += numericValue(s.at(5));
                used[s.at(2)] += 1;
                charged[s.at(2)] += numericValue(s.at(8));
            }
            for (const QStringList& g : tableRows(*db, "jinhuo"))
                QCOMPARE(numericValue(g.at(6)), 1000000 - taken.value(g.at(1)));
            for (const QStringList& c : tableRows(*db, "numbercard")) {
                if (c.at(7) == "月卡")
                    QCOMPARE(numericValue(c.at(6)), 1000000 - used.value(c.at(1)));
                else
                    QCOMPARE(numericValue(c.at(5)), 10000000 - charged.value(c.at(1)));
            }
            // The stock ledger agrees: each line's last row is its stock,
            // and each goods sale stored has its row (and no other sale).
            QCOMPARE(stockOffLedger(*db), 0);
            qint64 goodsSales = 0;
            for (const QStringList& s : sales)
                goodsSales += s.at(1).contains("商品销售") ? 1 : 0;
            QCOMPARE(db->selectOne("SELECT count(*) FROM kucun_liushui WHERE 类别 = '销售'")
                         ->value(0)
                         .toLongLong(),
                     goodsSales);
        });
        QVERIFY(stored > 0);
    }

    void goodsAddedWhole()
    {
        qint64 stored = 0;
        killRepeatedly("goods", 100, [&](qint64 reported) {
            QString err;
            auto db = Database::open(businessFile(dirPath()), &err);
            QVERIFY2(db, qPrintable(err));
            const QList<QStringList> added = tableRows(*db, "jinhuo_history");
            const QList<QStringList> goods = tableRows(*db, "jinhuo").mid(kGoods);
            QCOMPARE(goods, added);
            QCOMPARE(stockOffLedger(*db), 0);
            QVERIFY(added.size() - stored >= reported && added.size() - stored <= reported + 1);
            stored = added.size();
        });
        QVERIFY(stored > 0);
    }

    // Every count applied is applied whole: all its lines changed, each
    // with its 盘点 row, and its sheet gone; none the child saw applied is
    // missing.
    void countsAppliedWhole()
    {
        namespace l = schema::liushui;
        qint64 applied = 0;
        killRepeatedly("counts", 100, [&](qint64 reported) {
            QString err;
            auto db = Database::open(businessFile(dirPath()), &err);
            QVERIFY2(db, qPrintable(err));
            QCOMPARE(stockOffLedger(*db), 0);
            QHash<QString, int> rowsOf;
            const QString count = QStringLiteral("盘点");
            for (const QStringList& r : tableRows(*db, l::kTable))
                if (r.at(schema::columnsOf(l::kTable).indexOf(l::kKind)) == count)
                    ++rowsOf[r.at(schema::columnsOf(l::kTable).indexOf(l::kReason))];
            for (auto it = rowsOf.cbegin(); it != rowsOf.cend(); ++it)
                QVERIFY2(it.value() == kGoods,
                         qPrintable(QString("%1: %2 rows").arg(it.key()).arg(it.value())));
            const qint64 now = rowsOf.size();
            QVERIFY2(
                now - applied >= reported && now - applied <= reported + 1,
                qPrintable(QString("before %1, now %2, child saw %3").arg(applied).arg(now).arg(reported)));
            applied = now;
            // A sheet is there whole or not at all, and never one applied.
            const auto sheet = tableRows(*db, schema::pandian::kTable);
            QVERIFY(sheet.isEmpty() || sheet.size() == kGoods);
            namespace p = schema::pandian;
            const auto stale = db->selectOne(
                QStringLiteral(
                    "SELECT count(*) FROM %1 AS p WHERE p.%2 <> '' AND EXISTS (SELECT 1 FROM %3 AS l "
                    "WHERE l.%4 = p.%5 AND l.%6 = ? AND l.rowid > CAST(p.%7 AS INTEGER))")
                    .arg(quoteIdent(p::kTable), quoteIdent(p::kCounted), quoteIdent(l::kTable),
                         quoteIdent(l::kLineRow), quoteIdent(p::kLineRow), quoteIdent(l::kKind),
                         quoteIdent(p::kLedgerAtCount)),
                {count});
            QCOMPARE(stale ? stale->value(0).toLongLong() : -1, 0);
        });
        QVERIFY(applied > 0);
    }

    // A backup folder is there only when whole; a torn one is left as
    // .partial, never mistaken for a backup.
    void backupsWholeOrPartial()
    {
        int whole = 0;
        killRepeatedly("backup", 60, [&](qint64) {
            const QDir root(QDir(dirPath()).filePath("backup"));
            whole = 0;
            for (const QString& name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                if (name.endsWith(".partial"))
                    continue;
                ++whole;
                for (const char* file : {"database.db", "userid.db"})
                    QCOMPARE(checkDatabaseFile(QDir(root.filePath(name)).filePath(file), false),
                             QString("ok"));
            }
        });
        QVERIFY(whole > 0);
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], kChildFlag) == 0) {
        QCoreApplication app(argc, argv);
        return childMain(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    TstCrash t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_integration_crash.moc"
