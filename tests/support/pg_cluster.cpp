#include "pg_cluster.h"

#include "data/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace shop::test {

namespace {

// The server's programs: the newest installed version's, else the PATH's.
QString serverBinDir()
{
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    std::sort(found.begin(), found.end(),
              [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    for (auto it = found.crbegin(); it != found.crend(); ++it) {
        const QString bin = versions.filePath(*it + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")))
            return bin;
    }
    return {};
}

const passwd* serverUser()
{
    return ::geteuid() == 0 ? ::getpwnam("postgres") : nullptr;
}

} // namespace

bool testsOnServer()
{
    return qEnvironmentVariable("SHOP_TEST_ENGINE") == QLatin1String("postgres");
}

PgCluster* sharedCluster()
{
    QString err;
    PgCluster* c = PgCluster::shared(&err);
    if (!c)
        qFatal("no cluster: %s", qPrintable(err));
    return c;
}

std::unique_ptr<Database> connectOrStop(const DbServer& server)
{
    QString err;
    auto db = Database::openServer(server, &err);
    if (!db)
        qFatal("%s", qPrintable(err));
    return db;
}

PgCluster::~PgCluster()
{
    if (started_)
        run({bin_ + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")),
             QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("-s"),
             QStringLiteral("stop")},
            nullptr);
}

bool PgCluster::run(const QStringList& command, QString* error) const
{
    std::vector<QByteArray> args;
    for (const QString& a : command)
        args.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const QByteArray log = QFile::encodeName(dir_.filePath(QStringLiteral("commands.log")));
    const passwd* user = serverUser();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(log.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
        }
        if (user && (::setgid(user->pw_gid) != 0 || ::setuid(user->pw_uid) != 0))
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        if (error) {
            QFile f(QFile::decodeName(log));
            f.open(QIODevice::ReadOnly);
            *error =
                QStringLiteral("%1 failed: %2").arg(command.first(), QString::fromLocal8Bit(f.readAll()));
        }
        return false;
    }
    return true;
}

std::unique_ptr<PgCluster> PgCluster::start(bool durable, QString* error)
{
    std::unique_ptr<PgCluster> c(new PgCluster);
    auto fail = [error](const QString& e) {
        if (error)
            *error = e;
        return nullptr;
    };
    if (!c->dir_.isValid())
        return fail(QStringLiteral("no temporary directory"));
    c->bin_ = serverBinDir();
    if (c->bin_.isEmpty())
        return fail(QStringLiteral("PostgreSQL server programs not found under /usr/lib/postgresql"));
    const QByteArray dir = QFile::encodeName(c->dir_.path());
    if (const passwd* user = serverUser()) {
        if (::chown(dir.constData(), user->pw_uid, user->pw_gid) != 0)
            return fail(QStringLiteral("cannot hand %1 to postgres").arg(c->dir_.path()));
    } else if (::geteuid() == 0) {
        return fail(QStringLiteral("running as root and there is no postgres user"));
    }
    const QString data = c->dir_.filePath(QStringLiteral("data"));
    if (!c->run({c->bin_ + QStringLiteral("/initdb"), QStringLiteral("-D"), data, QStringLiteral("-U"),
                 QStringLiteral("shop"), QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
                 QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"), QStringLiteral("-N")},
                error))
        return nullptr;
    QStringList options = {QStringLiteral("-c listen_addresses=''"),
                           QStringLiteral("-c unix_socket_directories='%1'").arg(c->dir_.path()),
                           QStringLiteral("-c max_connections=60"),
                           QStringLiteral("-c deadlock_timeout=100ms")};
    if (!durable)
        options << QStringLiteral("-c fsync=off") << QStringLiteral("-c full_page_writes=off");
    c->options_ = options;
    if (!c->startAgain(error))
        return nullptr;
    c->watchParent(data);
    return c;
}

void PgCluster::watchParent(const QString& data) const
{
    // A test that crashes never runs the destructor: a watcher stops the
    // server once this process is gone (after a clean end it finds the
    // server stopped already). Everything it needs is made before the fork.
    const QByteArray ctl = QFile::encodeName(bin_ + QStringLiteral("/pg_ctl"));
    const QByteArray dir = QFile::encodeName(data);
    const char* argv[] = {ctl.constData(), "-D",   dir.constData(), "-m", "immediate", "-w", "-s",
                          "stop",          nullptr};
    const passwd* user = serverUser();
    const uid_t uid = user ? user->pw_uid : 0;
    const gid_t gid = user ? user->pw_gid : 0;
    const pid_t parent = ::getpid();
    if (::fork() != 0)
        return;
    // Holds none of the test's output open, so nobody waits for it.
    const int null = ::open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3; ++fd)
        ::dup2(null, fd);
    while (::getppid() == parent)
        ::usleep(200 * 1000);
    if (user && (::setgid(gid) != 0 || ::setuid(uid) != 0))
        ::_exit(126);
    ::execv(argv[0], const_cast<char* const*>(argv));
    ::_exit(127);
}

PgCluster* PgCluster::shared(QString* error)
{
    static QString failure;
    static std::unique_ptr<PgCluster> cluster = start(false, &failure);
    if (!cluster && error)
        *error = failure;
    return cluster.get();
}

bool PgCluster::startAgain(QString* error)
{
    const QString data = dir_.filePath(QStringLiteral("data"));
    if (!run({bin_ + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), data, QStringLiteral("-l"),
              dir_.filePath(QStringLiteral("server.log")), QStringLiteral("-w"), QStringLiteral("-s"),
              QStringLiteral("-o"), options_.join(u' '), QStringLiteral("start")},
             error))
        return false;
    started_ = true;
    return true;
}

bool PgCluster::stop(QString* error)
{
    // Fast: the server ends every session at once and stops.
    if (!run({bin_ + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")),
              QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("-s"),
              QStringLiteral("stop")},
             error))
        return false;
    started_ = false;
    return true;
}

QString PgCluster::socketDir() const
{
    return dir_.path();
}

bool PgCluster::addPasswordRole(const QString& role, const QString& password, QString* error)
{
    auto fail = [error](const QString& e) {
        if (error)
            *error = e;
        return false;
    };
    {
        auto admin = Database::openServer(server(QStringLiteral("postgres")), error);
        if (!admin)
            return false;
        QString literal = password;
        literal.replace(u'\'', QStringLiteral("''"));
        // The statement takes no bound values.
        if (DbResult r = admin->exec(
                QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(quoteIdent(role), literal));
            !r)
            return fail(r.error);
    }
    // The first line that matches decides: this one goes before initdb's.
    QFile hba(dir_.filePath(QStringLiteral("data/pg_hba.conf")));
    if (!hba.open(QIODevice::ReadWrite))
        return fail(hba.errorString());
    const QByteArray rest = hba.readAll();
    hba.resize(0);
    hba.seek(0);
    hba.write("local all " + quoteIdent(role).toUtf8() + " scram-sha-256\n" + rest);
    hba.close();
    const QString data = dir_.filePath(QStringLiteral("data"));
    if (!run({bin_ + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), data, QStringLiteral("-s"),
              QStringLiteral("reload")},
             error))
        return false;
    // The server reads the file again a moment after the signal.
    DbServer probe = server(QStringLiteral("postgres"));
    probe.user = role;
    for (int i = 0; i < 100; ++i) {
        QString err;
        if (!Database::openServer(probe, &err) && Database::needsPassword(err))
            return true;
        QThread::msleep(50);
    }
    return fail(QStringLiteral("the cluster does not ask %1 for a password").arg(role));
}

DbServer PgCluster::server(const QString& name) const
{
    DbServer s;
    s.host = dir_.path();
    s.port = 5432;
    s.name = name;
    s.user = QStringLiteral("shop");
    return s;
}

bool PgCluster::createDatabase(const QString& name, const QString& copyOf, QString* error) const
{
    auto admin = Database::openServer(server(QStringLiteral("postgres")), error);
    if (!admin)
        return false;
    QString sql = QStringLiteral("CREATE DATABASE %1").arg(quoteIdent(name));
    if (!copyOf.isEmpty())
        sql += QStringLiteral(" TEMPLATE %1").arg(quoteIdent(copyOf));
    const DbResult r = admin->exec(sql);
    if (!r && error)
        *error = r.error;
    return r.ok;
}

QString PgCluster::nextName()
{
    return QStringLiteral("shop_%1_%2").arg(::getpid()).arg(++next_);
}

std::optional<DbServer> PgCluster::freshDatabase(QString* error)
{
    const QString name = nextName();
    if (!createDatabase(name, {}, error))
        return std::nullopt;
    return server(name);
}

std::optional<DbServer> PgCluster::shopDatabase(const QString& zedPassword, QString* error)
{
    const QString templateName = QStringLiteral("shop_template");
    if (templateFor_ != zedPassword) {
        {
            auto admin = Database::openServer(server(QStringLiteral("postgres")), error);
            if (!admin)
                return std::nullopt;
            admin->exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(quoteIdent(templateName)));
        }
        if (!createDatabase(templateName, {}, error))
            return std::nullopt;
        {
            auto db = Database::openServer(server(templateName), error);
            if (!db || !schema::createServerSchema(*db, zedPassword, error))
                return std::nullopt;
        }
        templateFor_ = zedPassword;
    }
    const QString name = nextName();
    if (!createDatabase(name, templateName, error))
        return std::nullopt;
    return server(name);
}

} // namespace shop::test
