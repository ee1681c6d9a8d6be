#include "support/pg_cluster.h"
#include "data/database.h"
#include "data/password.h"
#include "data/program_paths.h"
#include "data/schema.h"
#include "migrate/migrate.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace shop;

namespace {

const QString kShopKeeper = QStringLiteral("店长");
const QString kShopKeeperPassword = QStringLiteral("O'Brien 的密码😀");

// Texts a shop may well have typed.
const QStringList kTexts = {
    QStringLiteral("O'Brien"),          QStringLiteral("张三"),
    QStringLiteral("会员卡😀🎉"),         QString(""),
    QStringLiteral("\uFEFF开头"),       QStringLiteral("a\"b;--"),
    QStringLiteral("100%_x"),           QStringLiteral("Ab ab AB"),
    QStringLiteral("行一\n行二\t制表"),
};

// Every row of a table: its rowid, then its texts, in rowid order.
QList<QStringList> dump(Database& db, const QString& table)
{
    QStringList cols;
    for (const QString& c : schema::columnsOf(table))
        cols << quoteIdent(c);
    QList<QStringList> rows;
    const DbResult r = db.selectKeyedTexts(
        QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY rowid").arg(cols.join(", "), table), {},
        [&rows](qint64 key, const Database::TextRow& row) {
            rows << (QStringList{QString::number(key)} << row.texts().toList());
            return true;
        });
    if (!r)
        qWarning("%s", qPrintable(r.error));
    return rows;
}

QStringList allTables()
{
    QStringList names;
    for (const TableDef& t : schema::businessTables())
        names << t.name;
    return names << schema::accountsTable().name;
}

QByteArray fileHash(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QString randomText(int length)
{
    static const QString letters =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
    QString s;
    for (int i = 0; i < length; ++i)
        s += letters.at(QRandomGenerator::global()->bounded(static_cast<int>(letters.size())));
    return s;
}

} // namespace

class TstMigrate : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    test::PgCluster* cluster_ = nullptr;
    int shopNo_ = 0;

    // A program folder whose files have rows in every table but `emptyTable`,
    // with gaps in the rowids of salse and jinhuo.
    ProgramPaths makeShop(const QString& emptyTable = {})
    {
        const ProgramPaths paths{dir_.filePath(QStringLiteral("shop%1").arg(++shopNo_))};
        QString err;
        if (!schema::createDatabaseFiles(paths.businessDb(), paths.accountsDb(), QStringLiteral("zed-pw"),
                                         &err))
            qFatal("%s", qPrintable(err));
        auto business = Database::open(paths.businessDb(), &err);
        auto accounts = Database::open(paths.accountsDb(), &err);
        if (!business || !accounts)
            qFatal("%s", qPrintable(err));
        for (const TableDef& t : schema::businessTables()) {
            if (t.name == emptyTable)
                continue;
            const QString marks = QStringList(t.columns.size(), QStringLiteral("?")).join(", ");
            for (int r = 0; r < 6; ++r) {
                QVariantList binds;
                for (qsizetype c = 0; c < t.columns.size(); ++c)
                    binds << kTexts.at((r + c) % kTexts.size());
                if (!business->exec(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(t.name, marks), binds))
                    qFatal("insert into %s failed", qPrintable(t.name));
            }
        }
        // Gaps: deleted rows, and one row far beyond the others.
        business->exec(QStringLiteral("DELETE FROM salse WHERE rowid IN (1, 4)"));
        business->exec(QStringLiteral("DELETE FROM jinhuo WHERE rowid = 6"));
        if (emptyTable != QLatin1String("salse"))
            business->exec(QStringLiteral("INSERT INTO salse (rowid, 卡号, 商品名称) VALUES (1000, ?, ?)"),
                           {QStringLiteral("C-1000"), QStringLiteral("最后一行")});
        accounts->exec(QStringLiteral("INSERT INTO username VALUES (?, ?, ?)"),
                       {kShopKeeper, hashPassword(kShopKeeperPassword), QStringLiteral("A")});
        return paths;
    }

    DbServer freshServer()
    {
        QString err;
        const auto server = cluster_->freshDatabase(&err);
        if (!server)
            qFatal("%s", qPrintable(err));
        return *server;
    }

    std::unique_ptr<Database> connect(const DbServer& server)
    {
        QString err;
        auto db = Database::openServer(server, &err);
        if (!db)
            qFatal("%s", qPrintable(err));
        return db;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QString err;
        cluster_ = test::PgCluster::shared(&err);
        QVERIFY2(cluster_, qPrintable(err));
    }

    // Every row of every table arrives with its rowid and its texts as
    // stored, whatever the statements' size; the files stay as they were;
    // the copied accounts log in; new rows get keys after the copied ones.
    void copiesEveryTable_data()
    {
        QTest::addColumn<int>("rowsPerStatement");
        QTest::addColumn<QString>("emptyTable");
        QTest::newRow("chosen statement size") << 0 << QString();
        QTest::newRow("two rows a statement") << 2 << QString();
        QTest::newRow("one row a statement, shouzhi empty") << 1 << QStringLiteral("shouzhi");
        QTest::newRow("salse empty") << 0 << QStringLiteral("salse");
    }
    void copiesEveryTable()
    {
        QFETCH(int, rowsPerStatement);
        QFETCH(QString, emptyTable);
        const ProgramPaths paths = makeShop(emptyTable);
        const QByteArray businessBefore = fileHash(paths.businessDb());
        const QByteArray accountsBefore = fileHash(paths.accountsDb());
        auto server = connect(freshServer());

        migrate::Options options;
        options.rowsPerStatement = rowsPerStatement;
        const migrate::Outcome out =
            migrate::copyFiles(paths.businessDb(), paths.accountsDb(), *server, options);
        QVERIFY2(out.ok, qPrintable(out.error));

        QCOMPARE(fileHash(paths.businessDb()), businessBefore);
        QCOMPARE(fileHash(paths.accountsDb()), accountsBefore);
        QString err;
        auto business = Database::open(paths.businessDb(), &err);
        auto accounts = Database::open(paths.accountsDb(), &err);
        QVERIFY2(business && accounts, qPrintable(err));
        QStringList counted;
        for (const migrate::TableCount& c : out.counts)
            counted << QStringLiteral("%1=%2").arg(c.table).arg(c.rows);
        QStringList expected;
        for (const QString& table : allTables()) {
            Database& file = table == QLatin1String("username") ? *accounts : *business;
            const QList<QStringList> rows = dump(file, table);
            QCOMPARE(rows.isEmpty(), table == emptyTable);
            QCOMPARE(dump(*server, table), rows);
            expected << QStringLiteral("%1=%2").arg(table).arg(rows.size());
        }
        QCOMPARE(counted, expected);
        // The indexes of a database made for the program, every one.
        const QString indexes = QStringLiteral("SELECT indexname, indexdef FROM pg_indexes WHERE schemaname "
                                               "= current_schema() ORDER BY indexname");
        QString e;
        const auto made = cluster_->shopDatabase(QStringLiteral("zed-pw"), &e);
        QVERIFY2(made, qPrintable(e));
        const auto expectedIndexes = connect(*made)->selectAll(indexes);
        QVERIFY(expectedIndexes && expectedIndexes->size() > 20);
        QCOMPARE(*server->selectAll(indexes), *expectedIndexes);

        const auto hash = server->selectOne(
            QStringLiteral("SELECT password FROM username WHERE username = ?"), {kShopKeeper});
        QVERIFY(hash.found());
        QVERIFY(verifyPassword(kShopKeeperPassword, hash->value(0).toString()));
        QVERIFY(!verifyPassword(kShopKeeperPassword.toUpper(), hash->value(0).toString()));

        for (const QString& table : {QStringLiteral("salse"), QStringLiteral("shouzhi")}) {
            const QList<QStringList> before = dump(*server, table);
            const qint64 highest = before.isEmpty() ? 0 : before.last().first().toLongLong();
            const QString column = schema::columnsOf(table).first();
            QVERIFY(
                server->exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (?)").arg(table, quoteIdent(column)),
                             {QStringLiteral("新的一行")}));
            const auto added = server->selectOne(
                QStringLiteral("SELECT rowid FROM %1 WHERE %2 = ?").arg(table, quoteIdent(column)),
                {QStringLiteral("新的一行")});
            QVERIFY(added.found());
            QCOMPARE(added->value(0).toLongLong(), highest + 1);
        }
    }

    // A database that holds any of the program's tables is refused and left
    // as it was.
    void refusesNonEmptyTarget_data()
    {
        QTest::addColumn<bool>("wholeShop");
        QTest::newRow("a shop's database") << true;
        QTest::newRow("one table of the program") << false;
    }
    void refusesNonEmptyTarget()
    {
        QFETCH(bool, wholeShop);
        QString err;
        std::optional<DbServer> target =
            wholeShop ? cluster_->shopDatabase(QStringLiteral("other"), &err) : cluster_->freshDatabase(&err);
        QVERIFY2(target, qPrintable(err));
        auto server = connect(*target);
        if (!wholeShop) {
            QVERIFY(server->exec(QStringLiteral("CREATE TABLE guke (note text)")));
            QVERIFY(
                server->exec(QStringLiteral("INSERT INTO guke VALUES (?)"), {QStringLiteral("已有的行")}));
        }
        const QStringList tablesBefore = *schema::presentTables(*server);
        const auto rowsBefore = server->selectAll(QStringLiteral("SELECT * FROM guke"));
        QVERIFY(rowsBefore);

        const ProgramPaths paths = makeShop();
        const migrate::Outcome out = migrate::copyFiles(paths.businessDb(), paths.accountsDb(), *server);
        QVERIFY(!out.ok);
        QVERIFY2(out.error.contains(QStringLiteral("数据库中已有数据表：")), qPrintable(out.error));
        QVERIFY(out.error.contains(QStringLiteral("guke")));
        QVERIFY(out.counts.isEmpty());

        QCOMPARE(*schema::presentTables(*server), tablesBefore);
        QCOMPARE(*server->selectAll(QStringLiteral("SELECT * FROM guke")), *rowsBefore);
        if (wholeShop)
            QCOMPARE(*server->selectAll(QStringLiteral("SELECT username FROM username")),
                     QList<QVariantList>{{QStringLiteral("ZED")}});
    }

    // A row the server cannot store as it stands fails the whole copy,
    // with the reason; the tables copied before it are gone too.
    void failureLeavesNothing_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QByteArray>("sqlValue");
        QTest::addColumn<QString>("reason");
        // An indexed column: the server's index takes about 2700 bytes (of
        // text it cannot compress).
        QTest::newRow("text beyond the index limit")
            << QStringLiteral("卡号") << randomText(4000).toUtf8() << QStringLiteral("index row size");
        QTest::newRow("NUL inside a text") << QStringLiteral("备注或说明") << QByteArray("a\0b", 3)
                                           << QStringLiteral("列 备注或说明 的文字含有空字符");
        QTest::newRow("not UTF-8") << QStringLiteral("商品名称")
                                   << QByteArray("\xff\xfe"
                                                 "abc")
                                   << QStringLiteral("列 商品名称 的文字不是有效的 UTF-8 编码");
    }
    void failureLeavesNothing()
    {
        QFETCH(QString, column);
        QFETCH(QByteArray, sqlValue);
        QFETCH(QString, reason);
        const ProgramPaths paths = makeShop();
        {
            QString err;
            auto business = Database::open(paths.businessDb(), &err);
            QVERIFY2(business, qPrintable(err));
            // Stored as a text with exactly these bytes.
            QVERIFY(business->exec(
                QStringLiteral("INSERT INTO salse (%1) VALUES (CAST(? AS TEXT))").arg(quoteIdent(column)),
                {sqlValue}));
        }
        auto server = connect(freshServer());
        const migrate::Outcome out =
            migrate::copyFiles(paths.businessDb(), paths.accountsDb(), *server, migrate::Options{2, {}});
        QVERIFY(!out.ok);
        QVERIFY2(out.error.contains(reason) && out.error.contains(QStringLiteral("salse")),
                 qPrintable(out.error));
        QCOMPARE(*schema::presentTables(*server), QStringList());
        // Not even the text type the tables would have used stays behind.
        QCOMPARE(
            server->selectAll(QStringLiteral("SELECT extname FROM pg_extension WHERE extname = 'citext'"))
                ->size(),
            0);
    }

    // Files that are not a shop's, whole and sound, are refused before the
    // server is written.
    void refusesUnsoundFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing file") << "missing" << QStringLiteral("文件不存在");
        QTest::newRow("not a database") << "text" << QStringLiteral("file is not a database");
        QTest::newRow("accounts table missing") << "swapped" << QStringLiteral("缺少数据表 username");
        QTest::newRow("column of another program") << "column" << QStringLiteral("有本程序没有的列 备用");
        QTest::newRow("damaged page") << "damaged" << QStringLiteral("文件已损坏");
    }
    void refusesUnsoundFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const ProgramPaths paths = makeShop();
        QString business = paths.businessDb();
        QString accounts = paths.accountsDb();
        if (kind == QLatin1String("missing")) {
            QVERIFY(QFile::remove(accounts));
        } else if (kind == QLatin1String("text")) {
            QFile f(accounts);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray(8192, 'x'));
        } else if (kind == QLatin1String("swapped")) {
            accounts = business;
        } else if (kind == QLatin1String("column")) {
            QString err;
            auto db = Database::open(business, &err);
            QVERIFY(db && db->exec(QStringLiteral("ALTER TABLE guke ADD COLUMN 备用 TEXT")));
        } else {
            // Garbage over the page that holds the last pages' rows.
            QFile f(business);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.seek(f.size() - 4096 + 8));
            f.write(QByteArray(64, '\xff'));
        }
        auto server = connect(freshServer());
        const migrate::Outcome out = migrate::copyFiles(business, accounts, *server);
        QVERIFY(!out.ok);
        QVERIFY2(out.error.contains(reason), qPrintable(out.error));
        QCOMPARE(*schema::presentTables(*server), QStringList());
    }

    // The program itself: its exit code and what it prints.
    void commandLine_data()
    {
        QTest::addColumn<QString>("target"); // "" no --dbname, "fresh", "shop"
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stdoutHas");
        QTest::addColumn<QString>("stderrHas");
        QTest::newRow("help") << "" << QStringList{"--help"} << 0 << QStringLiteral("用法：") << QString();
        QTest::newRow("no database name") << "" << QStringList() << 2 << QString()
                                          << QStringLiteral("请用 --dbname 给出目标数据库的名称。");
        QTest::newRow("unknown option") << "fresh" << QStringList{"--password=x"} << 2 << QString()
                                        << QStringLiteral("未知选项：password");
        QTest::newRow("into an empty database")
            << "fresh" << QStringList() << 0 << QStringLiteral("  salse            5 行") << QString();
        QTest::newRow("into a shop's database")
            << "shop" << QStringList() << 1 << QString() << QStringLiteral("数据库中已有数据表：");
    }
    void commandLine()
    {
        QFETCH(QString, target);
        QFETCH(QStringList, extra);
        QFETCH(int, exitCode);
        QFETCH(QString, stdoutHas);
        QFETCH(QString, stderrHas);
        const ProgramPaths paths = makeShop();
        QStringList args{paths.programDir, QStringLiteral("--host"), cluster_->socketDir(),
                         QStringLiteral("--user"), QStringLiteral("shop")};
        if (!target.isEmpty()) {
            QString err;
            const auto server = target == QLatin1String("shop")
                                    ? cluster_->shopDatabase(QStringLiteral("z"), &err)
                                    : cluster_->freshDatabase(&err);
            QVERIFY2(server, qPrintable(err));
            args << QStringLiteral("--dbname") << server->name;
        }
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("PGPASSWORD"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SHOP_MIGRATE_BIN), args << extra);
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const QString errors = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == exitCode, qPrintable(out + errors));
        QVERIFY2(out.contains(stdoutHas), qPrintable(out));
        QVERIFY2(errors.contains(stderrHas), qPrintable(errors));
    }
};

QTEST_GUILESS_MAIN(TstMigrate)
#include "tst_migrate.moc"
