// The shop's files are the owner's only whatever the umask, made so or
// tightened at start; a connection to a server asks for TLS.
#include "data/backup_files.h"
#include "shell/backup.h"
#include "shell/settings_window.h"
#include "shell/shell.h"
#include "support/ui.h"
#include "support/unprivileged.h"

#include <QScopeGuard>

#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <optional>
#include <thread>

using namespace shop;
using namespace shop::test;

namespace {
// Each folder not 0700 and file not 0600 among `paths` and in them, with its mode.
QString notPrivate(const QStringList& paths)
{
    QStringList all = paths, out;
    for (const QString& root : paths)
        for (QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
             it.hasNext();)
            all << it.next();
    for (const QString& p : all)
        if (struct stat st{}; ::lstat(QFile::encodeName(p).constData(), &st) == 0 && !S_ISLNK(st.st_mode) &&
                              (st.st_mode & 07777) != (S_ISDIR(st.st_mode) ? 0700u : 0600u))
            out << QStringLiteral("%1 %2").arg(p).arg(st.st_mode & 07777, 0, 8);
    return out.join('\n');
}

// A server on a loopback port without TLS: it answers a request for TLS (or
// GSSAPI: 80877103, 80877104) with "N", and hangs up at the next word.
struct PlainServer {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    std::atomic<int> tlsAsked{0};
    std::thread thread;
    PlainServer()
    {
        socklen_t size = sizeof address;
        auto* a = reinterpret_cast<sockaddr*>(&address);
        if (::bind(fd, a, size) != 0 || ::listen(fd, 4) != 0 || ::getsockname(fd, a, &size) != 0)
            qFatal("no loopback port");
        thread = std::thread([this] {
            for (int c; (c = ::accept(fd, nullptr, nullptr)) >= 0; ::close(c))
                // Counted before the answer: the client may give up as soon as it reads it.
                for (unsigned char p[8]; ::recv(c, p, 8, MSG_WAITALL) == 8 && p[4] == 0x04 && p[5] == 0xd2;) {
                    tlsAsked += p[7] == 0x2f;
                    if (::send(c, "N", 1, MSG_NOSIGNAL) != 1)
                        break;
                }
        });
    }
    ~PlainServer()
    {
        ::shutdown(fd, SHUT_RDWR);
        thread.join();
        ::close(fd);
    }
};
} // namespace

class TstPrivateFiles : public QObject {
    Q_OBJECT
private slots:
    void newFilesArePrivate_data()
    {
        QTest::addColumn<int>("umask");
        QTest::newRow("umask 022") << 022;
        QTest::newRow("umask 000") << 0;
    }
    // The database files as the first start makes them, the journal, the
    // day's backup, a backup by hand, a restore, the settings window's save.
    void newFilesArePrivate()
    {
        QFETCH(int, umask);
        const mode_t before = ::umask(static_cast<mode_t>(umask));
        const auto restoreMask = qScopeGuard([before] { ::umask(before); });
        TestEnv env;
        QVERIFY(LoginJournal(env.ctx()).writeLogin("ZED"));
        QVERIFY(takeAutoBackup(env.ctx().paths(), env.clock().now()).ok);
        const BackupOutcome byHand = runBackup(env.ctx());
        QVERIFY(byHand.ok && env.ctx().restoreFromBackup(byHand.folder).ok);
        SettingsWindow settings(env.ctx());
        QVERIFY(showActive(&settings));
        press(&settings, "cmedit");
        press(&settings, "cmsave");

        const ProgramPaths& p = env.ctx().paths();
        QVERIFY(QFile::exists(p.businessDb() + "-wal") && QFile::exists(p.accountsDb() + "-shm"));
        QCOMPARE(QDir(p.backupDir()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 3);
        QCOMPARE(notPrivate({p.databaseDir(), p.backupDir(), p.loginLog(), env.dir() + "/settings.ini"}),
                 QString());
    }

    void openFilesTightenedAtStart_data()
    {
        QTest::addColumn<bool>("foreignBackup");
        QTest::newRow("left open by an earlier version") << false;
        QTest::newRow("backup folder of another account") << true;
    }
    // Others' rights are taken without a word (a link inside is not
    // followed); what cannot be changed is said, and the program starts.
    void openFilesTightenedAtStart()
    {
        QFETCH(bool, foreignBackup);
        if (foreignBackup && ::geteuid() != 0)
            QSKIP("giving a folder to another account needs root");
        TestEnv env;
        const ProgramPaths& p = env.ctx().paths();
        const QStringList all = {p.databaseDir(), p.backupDir(), p.loginLog(), env.dir() + "/settings.ini"};
        QTemporaryDir elsewhere;
        QVERIFY(runBackup(env.ctx()).ok && QFile::link(elsewhere.path(), p.backupDir() + "/elsewhere"));
        QVERIFY(QFile(all[2]).open(QIODevice::WriteOnly) && QFile(all[3]).open(QIODevice::WriteOnly));
        QVERIFY(::system(qPrintable("chmod -R go+rX " + all.join(' ') + ' ' + elsewhere.path())) == 0);
        env.messages().clear();

        const QStringList open = foreignBackup ? QStringList{p.backupDir()} : QStringList{};
        std::optional<Unprivileged> nobody;
        if (foreignBackup)
            QVERIFY(nobody.emplace(env.dir(), open).ok());
        Shell shell(env.ctx());
        QVERIFY(shell.start() && shell.loginWindow());
        const QString warning = QStringLiteral("系统信息|%1|").arg(int(QMessageBox::Warning));
        QCOMPARE(shownAll(env),
                 foreignBackup ? QStringList{warning + Shell::notPrivateText(open)} : QStringList{});
        QCOMPARE(notPrivate(all), foreignBackup ? p.backupDir() + " 755" : QString());
        nobody.reset();
        QVERIFY(QFile::permissions(elsewhere.path()) & QFile::ReadOther);
    }

    void tls_data()
    {
        QTest::addColumn<QString>("sslmode"); // the setting, none when empty
        QTest::newRow("prefer, though PGSSLMODE requires") << QString();
        QTest::newRow("require") << "require";
        QTest::newRow("verify-full, in capitals") << "VERIFY-FULL";
    }
    // TLS is asked for whatever the environment says; a server without it
    // is refused when the settings require it.
    void tls()
    {
        QFETCH(QString, sslmode);
        qputenv("PGSSLMODE", "require");
        const auto unset = qScopeGuard([] { qunsetenv("PGSSLMODE"); });
        PlainServer plain;
        TestEnv env;
        env.ctx().closeDatabases();
        const QString port = QString::number(ntohs(plain.address.sin_port));
        for (const auto& [key, value] : {std::pair<QString, QString>{"engine", "postgresql"},
                                         {"host", "127.0.0.1"},
                                         {"port", port},
                                         {"name", "shop"},
                                         {"user", "till"},
                                         {"sslmode", sslmode}})
            env.ctx().settings().setValue("database/" + key, value);
        Shell shell(env.ctx());
        QVERIFY(!shell.start());
        QCOMPARE(plain.tlsAsked.load(), 1);
        QCOMPARE(env.messages().count(), 1);
        const QString server = "till@127.0.0.1:" + port + "/shop", said = shown(env.messages().last());
        if (sslmode.isEmpty())
            QVERIFY2(said.startsWith(stop("无法连接数据库服务器 " + server + "：\n", "错误信息")),
                     qPrintable(said));
        else
            QCOMPARE(said,
                     stop(QString("数据库服务器 %1 不提供加密连接（TLS），而设置要求加密连接（database/"
                                  "sslmode=%2）。\n请在服务器上启用 TLS，或改正设置文件 %3 中的 [database] "
                                  "一节。程序将退出。")
                              .arg(server, sslmode.toLower(), env.dir() + "/settings.ini"),
                          "错误信息"));
    }
};

QTEST_MAIN(TstPrivateFiles)
#include "tst_private_files.moc"
