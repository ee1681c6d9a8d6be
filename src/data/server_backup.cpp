#include "server_backup.h"

#include "private_files.h"
#include "schema.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QThread>

#include <algorithm>

namespace shop {

namespace {

// The major version a client program says it is ("pg_dump (PostgreSQL)
// 16.4 (Debian 16.4-1)" is 16); 0 when it does not run.
int toolVersion(const QString& program)
{
    QProcess p;
    p.start(program, {QStringLiteral("--version")});
    if (!p.waitForFinished(5000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return 0;
    static const QRegularExpression version(QStringLiteral("\\(PostgreSQL\\)\\s+(\\d+)"));
    return version.match(QString::fromUtf8(p.readAllStandardOutput())).captured(1).toInt();
}

// A libpq connection string (the password is not in it).
QString connectionString(const DbServer& s, const QString& database)
{
    const auto quoted = [](QString v) {
        v.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
        return u'\'' + v + u'\'';
    };
    return QStringLiteral(
               "host=%1 port=%2 dbname=%3 user=%4 sslmode=%5 connect_timeout=5 application_name=shop")
        .arg(quoted(s.host), QString::number(s.port), quoted(database), quoted(s.user), quoted(s.sslmode));
}

// Runs a client program against the server. The password goes in a
// password file only this account can read, named in the environment, so
// no other account sees it on the command line. Once `*stop` becomes true
// the program is ended. Empty when it succeeded, else what it said.
QString runTool(const QString& program, const QStringList& args, const DbServer& s,
                const std::atomic_bool* stop = nullptr)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("PGPASSWORD"));
    QTemporaryFile passwords(QDir(QDir::tempPath()).filePath(QStringLiteral("shop-pgpass-XXXXXX")));
    if (!s.password.isEmpty()) {
        // QTemporaryFile makes the file readable by its owner only.
        if (!passwords.open())
            return QStringLiteral("无法创建临时文件：%1").arg(passwords.errorString());
        const auto field = [](QString v) {
            return v.replace(u'\\', QStringLiteral("\\\\")).replace(u':', QStringLiteral("\\:"));
        };
        passwords.write(QStringLiteral("*:*:*:%1:%2\n").arg(field(s.user), field(s.password)).toUtf8());
        passwords.flush();
        env.insert(QStringLiteral("PGPASSFILE"), passwords.fileName());
    }
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return QStringLiteral("无法运行 %1：%2").arg(program, p.errorString());
    while (!p.waitForFinished(100)) {
        if (p.state() == QProcess::NotRunning)
            break;
        if (stop && stop->load()) {
            p.kill();
            p.waitForFinished();
            return QStringLiteral("备份已停止");
        }
    }
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return {};
    const QString said = QString::fromUtf8(p.readAllStandardError()).trimmed();
    return said.isEmpty() ? QStringLiteral("%1 没有完成（退出码 %2）")
                                .arg(QFileInfo(program).fileName())
                                .arg(p.exitCode())
                          : said;
}

// A connection to the server's own database, from which databases are
// made, renamed and dropped.
std::unique_ptr<Database> maintenance(DbServer s, QString* error)
{
    for (const char* name : {"postgres", "template1"}) {
        s.name = QLatin1String(name);
        if (auto db = Database::openServer(s, error))
            return db;
    }
    return nullptr;
}

// Runs a statement the server builds itself with format(), so that names
// are quoted by it (utility statements take no bound values).
DbResult runFormatted(Database& db, const QString& format, const QVariantList& binds,
                      const QString& from = {})
{
    const auto sql = db.selectOne(QStringLiteral("SELECT format(%1)%2").arg(format, from), binds);
    if (sql.failed())
        return sql.status;
    if (!sql.found())
        return DbResult::failure(QStringLiteral("没有找到数据库"));
    return db.exec(sql->value(0).toString());
}

void dropDatabase(Database& admin, const QString& name)
{
    runFormatted(admin, QStringLiteral("'DROP DATABASE IF EXISTS %I', ?::text"), {name});
}

} // namespace

ClientTools findClientTools(int serverMajor, const QStringList& folders)
{
    QStringList dirs = folders;
    if (dirs.isEmpty()) {
        if (const QString onPath = QStandardPaths::findExecutable(QStringLiteral("pg_dump"));
            !onPath.isEmpty())
            dirs << QFileInfo(onPath).absolutePath();
        const QDir versions(QStringLiteral("/usr/lib/postgresql"));
        for (const QString& v : versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            dirs << versions.filePath(v + QStringLiteral("/bin"));
    }
    ClientTools best;
    for (const QString& dir : std::as_const(dirs)) {
        const QString dump = QDir(dir).filePath(QStringLiteral("pg_dump"));
        const QString restore = QDir(dir).filePath(QStringLiteral("pg_restore"));
        if (!QFileInfo(dump).isExecutable() || !QFileInfo(restore).isExecutable())
            continue;
        if (const int major = toolVersion(dump); major > best.major)
            best = ClientTools{dump, restore, major, {}};
    }
    if (best.major == 0)
        best.error = QStringLiteral("没有找到 PostgreSQL 的客户端程序 pg_dump 和 pg_restore。\n"
                                    "请安装软件包 postgresql-client（版本 %1 或更新）后再试。")
                         .arg(serverMajor);
    else if (best.major < serverMajor)
        best.error = QStringLiteral("本机的 PostgreSQL 客户端程序 pg_dump 和 pg_restore 是版本 %1，"
                                    "比数据库服务器的版本 %2 旧，不能用来备份或恢复。\n"
                                    "请安装版本 %2 或更新的 postgresql-client 后再试。")
                         .arg(best.major)
                         .arg(serverMajor);
    return best;
}

int serverMajorVersion(Database& db)
{
    const auto v =
        db.selectOne(QStringLiteral("SELECT current_setting('server_version_num')::integer / 10000"));
    return v.found() ? v->value(0).toInt() : 0;
}

BackupOutcome dumpServerDatabase(const DbServer& server, const ClientTools& tools, const QString& backupRoot,
                                 const QDateTime& when, const QString& suffix, const std::atomic_bool* stop)
{
    BackupOutcome out;
    if (!tools.usable()) {
        out.error = tools.error;
        return out;
    }
    QString partial;
    const QString name = startBackupFolder(backupRoot, when, suffix, &partial, &out.error);
    if (name.isEmpty())
        return out;
    const QString file = QDir(partial).filePath(kServerDumpFile);
    if (const QString e = runTool(tools.dump,
                                  {QStringLiteral("--format=custom"), QStringLiteral("--file=") + file,
                                   QStringLiteral("--dbname=") + connectionString(server, server.name)},
                                  server, stop);
        !e.isEmpty()) {
        QDir(partial).removeRecursively();
        out.error = QStringLiteral("pg_dump：%1").arg(e);
        return out;
    }
    return finishBackupFolder(backupRoot, name, partial);
}

BackupOutcome takeAutoServerBackup(const DbServer& server, const QString& backupRoot, const QDateTime& when,
                                   int keep, const std::atomic_bool* stop)
{
    BackupOutcome out;
    auto db = Database::openServer(server, &out.error);
    if (!db)
        return out;
    const int major = serverMajorVersion(*db);
    db.reset();
    out = dumpServerDatabase(server, findClientTools(major), backupRoot, when, kAutoBackupSuffix, stop);
    if (out.ok)
        pruneAutoBackups(backupRoot, keep, true);
    return out;
}

RestoreOutcome restoreServerDatabase(const DbServer& server, const ClientTools& tools,
                                     const QString& backupFolder, const QString& backupRoot,
                                     const QDateTime& when)
{
    RestoreOutcome out;
    const QString dump = QDir(backupFolder).filePath(kServerDumpFile);
    if (!tools.usable()) {
        out.error = tools.error;
        return out;
    }
    if (!QFileInfo(dump).isFile()) {
        out.error = QStringLiteral("%1 不是数据库服务器的备份。").arg(QDir::toNativeSeparators(backupFolder));
        return out;
    }
    // The database as it is now, so that the restore can itself be undone.
    const BackupOutcome before =
        dumpServerDatabase(server, tools, backupRoot, when, QStringLiteral("-before-restore"));
    if (!before.ok) {
        out.error = QStringLiteral("无法先备份现在的数据库：%1").arg(before.error);
        return out;
    }
    out.setAside = before.folder;
    QString error;
    auto admin = maintenance(server, &error);
    if (!admin) {
        out.error = error;
        return out;
    }
    const QString stamp = when.toString(QStringLiteral("yyyyMMddHHmmss"));
    const QString fresh = server.name.left(40) + QStringLiteral("_restore_") + stamp;
    const QString old = server.name.left(40) + QStringLiteral("_old_") + stamp;
    // A new database like the current one, which nobody else uses yet.
    dropDatabase(*admin, fresh);
    if (DbResult r = runFormatted(
            *admin,
            QStringLiteral("'CREATE DATABASE %I TEMPLATE template0 ENCODING %L LC_COLLATE %L LC_CTYPE %L', "
                           "?::text, pg_encoding_to_char(encoding), datcollate, datctype"),
            {fresh, server.name}, QStringLiteral(" FROM pg_database WHERE datname = ?"));
        !r) {
        out.error = QStringLiteral("无法在数据库服务器上创建新的数据库：%1").arg(r.error);
        return out;
    }
    const auto fail = [&](const QString& e) {
        dropDatabase(*admin, fresh);
        out.error = e;
        return out;
    };
    if (const QString e = runTool(tools.restore,
                                  {QStringLiteral("--exit-on-error"), QStringLiteral("--single-transaction"),
                                   QStringLiteral("--no-owner"), QStringLiteral("--no-privileges"),
                                   QStringLiteral("--no-comments"),
                                   QStringLiteral("--dbname=") + connectionString(server, fresh), dump},
                                  server);
        !e.isEmpty())
        return fail(QStringLiteral("备份文件 %1 无法恢复（pg_restore：%2）。")
                        .arg(QDir::toNativeSeparators(dump), e));
    // Checked on a connection of its own, closed before the database is
    // dropped or renamed.
    QString missing;
    {
        DbServer restored = server;
        restored.name = fresh;
        auto db = Database::openServer(restored, &error);
        if (!db)
            return fail(error);
        missing =
            schema::missingTable(*db, schema::businessTables() + QList<TableDef>{schema::accountsTable()});
    }
    if (!missing.isEmpty())
        return fail(QStringLiteral("备份文件 %1 缺少数据表 %2，不能用于恢复。")
                        .arg(QDir::toNativeSeparators(dump), missing));
    // The swap: both names in one transaction, once no other connection
    // uses the current database (the tills that are ended reconnect, by
    // name, to the restored one). A till reconnecting in between is ended
    // again on the next try.
    DbResult swapped = DbResult::failure(QString());
    for (int attempt = 0; attempt < 20 && !swapped; ++attempt) {
        if (attempt > 0)
            QThread::msleep(100);
        admin->exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                   "WHERE datname = ? AND pid <> pg_backend_pid()"),
                    {server.name});
        if (swapped = admin->exec(QStringLiteral("BEGIN")); !swapped)
            continue;
        swapped = runFormatted(*admin, QStringLiteral("'ALTER DATABASE %I RENAME TO %I', ?::text, ?::text"),
                               {server.name, old});
        if (swapped)
            swapped =
                runFormatted(*admin, QStringLiteral("'ALTER DATABASE %I RENAME TO %I', ?::text, ?::text"),
                             {fresh, server.name});
        swapped = swapped ? admin->exec(QStringLiteral("COMMIT")) : swapped;
        if (!swapped)
            admin->exec(QStringLiteral("ROLLBACK"));
    }
    if (!swapped)
        return fail(QStringLiteral("无法用恢复的数据库替换现在的数据库：%1\n"
                                   "请关闭其他收银机上的程序后再试。")
                        .arg(swapped.error));
    // The copy made just before stands for the replaced database.
    dropDatabase(*admin, old);
    out.ok = true;
    return out;
}

} // namespace shop
