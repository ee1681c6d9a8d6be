// shop-migrate: copies a shop's two database files into an empty database
// on a PostgreSQL server, in one transaction.
#include "data/program_paths.h"
#include "migrate/migrate.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace shop;

namespace {

constexpr int kRefused = 1;
constexpr int kUsage = 2;

void say(FILE* to, const QString& text)
{
    std::fputs(text.toUtf8().constData(), to);
    std::fputc('\n', to);
    std::fflush(to);
}

QString helpText(const QString& program)
{
    return QStringLiteral(
               "用法：%1 [选项] 程序文件夹\n"
               "      %1 [选项] database.db userid.db\n"
               "\n"
               "把店铺的两个数据库文件（程序文件夹下的 database/database.db 和 database/userid.db）\n"
               "复制到数据库服务器上的一个空数据库：所有数据表、所有行、帐户连同密码摘要，\n"
               "在一个事务中完成，并在提交前核对每个数据表的行数。服务器数据库中已有本程序的\n"
               "数据表时拒绝迁移；任何一步失败都不会在服务器上留下数据。数据库文件只读不写。\n"
               "迁移前请关闭正在使用这些文件的程序：迁移开始后记录的业务不会被复制。\n"
               "服务器无法原样保存的文字（含有空字符、不是 UTF-8 编码，或在有索引的列中\n"
               "超过约 2700 字节）会使整个迁移失败，并说明原因。\n"
               "\n"
               "选项：\n"
               "  --host 主机      服务器的名称、地址或 Unix 套接字所在的文件夹\n"
               "                   （默认：环境变量 PGHOST，否则 localhost）\n"
               "  --port 端口      服务器端口（默认：环境变量 PGPORT，否则 5432）\n"
               "  --dbname 数据库  目标数据库的名称（必须给出）\n"
               "  --user 用户      登录服务器的用户名（默认：环境变量 PGUSER，否则当前登录用户）\n"
               "  --sslmode 方式   连接的加密（TLS）：prefer 服务器提供时加密，require 必须加密，\n"
               "                   verify-ca、verify-full 还核对服务器的证书（默认：环境变量\n"
               "                   PGSSLMODE，否则 prefer）\n"
               "  --help           显示本帮助\n"
               "\n"
               "口令不能写在命令行上：服务器需要口令时，取环境变量 PGPASSWORD，\n"
               "没有设置时在终端上询问（输入的字符不显示）。\n"
               "\n"
               "退出码：0 迁移完成；1 拒绝迁移或迁移失败（服务器数据库没有改动）；2 命令行有误。")
        .arg(program);
}

QString envOr(const char* name, const QString& fallback)
{
    const QString v = qEnvironmentVariable(name);
    return v.isEmpty() ? fallback : v;
}

// Reads a line from the terminal without echo; false when there is no
// terminal to ask on.
bool askSecret(const QString& prompt, QString* out)
{
    const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY);
    if (fd < 0)
        return false;
    const QByteArray p = prompt.toUtf8();
    if (::write(fd, p.constData(), static_cast<size_t>(p.size())) < 0) {
        ::close(fd);
        return false;
    }
    termios old{};
    const bool quiet = ::tcgetattr(fd, &old) == 0;
    if (quiet) {
        termios noEcho = old;
        noEcho.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &noEcho);
    }
    QByteArray line;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        line += c;
    if (quiet)
        ::tcsetattr(fd, TCSAFLUSH, &old);
    if (::write(fd, "\n", 1) < 0) {
        // Only the echo of the line end was lost.
    }
    ::close(fd);
    if (line.endsWith('\r'))
        line.chop(1);
    *out = QString::fromUtf8(line);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString program = QFileInfo(QCoreApplication::arguments().value(0)).fileName();

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringLiteral("help"));
    const QCommandLineOption host(QStringLiteral("host"), QString(), QStringLiteral("host"));
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("port"));
    const QCommandLineOption dbname(QStringLiteral("dbname"), QString(), QStringLiteral("dbname"));
    const QCommandLineOption user(QStringLiteral("user"), QString(), QStringLiteral("user"));
    const QCommandLineOption sslmode(QStringLiteral("sslmode"), QString(), QStringLiteral("sslmode"));
    parser.addOptions({help, host, port, dbname, user, sslmode});
    if (!parser.parse(QCoreApplication::arguments())) {
        const QStringList unknown = parser.unknownOptionNames();
        say(stderr, unknown.isEmpty()
                        ? QStringLiteral("命令行有误：选项缺少值。")
                        : QStringLiteral("未知选项：%1").arg(unknown.join(QStringLiteral("、"))));
        say(stderr, QStringLiteral("用 %1 --help 查看用法。").arg(program));
        return kUsage;
    }
    if (parser.isSet(help)) {
        say(stdout, helpText(program));
        return 0;
    }

    const QStringList files = parser.positionalArguments();
    QString businessPath;
    QString accountsPath;
    if (files.size() == 1) {
        if (!QFileInfo(files.at(0)).isDir()) {
            say(stderr, QStringLiteral("不是文件夹：%1").arg(QDir::toNativeSeparators(files.at(0))));
            return kUsage;
        }
        const ProgramPaths paths{files.at(0)};
        businessPath = paths.businessDb();
        accountsPath = paths.accountsDb();
    } else if (files.size() == 2) {
        businessPath = files.at(0);
        accountsPath = files.at(1);
    } else {
        say(stderr, QStringLiteral("请给出程序文件夹，或 database.db 和 userid.db 两个文件。"));
        say(stderr, QStringLiteral("用 %1 --help 查看用法。").arg(program));
        return kUsage;
    }

    DbServer server;
    server.host = parser.isSet(host) ? parser.value(host) : envOr("PGHOST", QStringLiteral("localhost"));
    const QString portText =
        parser.isSet(port) ? parser.value(port) : envOr("PGPORT", QStringLiteral("5432"));
    bool portOk = false;
    server.port = portText.toInt(&portOk);
    if (!portOk || server.port < 1 || server.port > 65535) {
        say(stderr, QStringLiteral("端口号无效：%1").arg(portText));
        return kUsage;
    }
    server.name = parser.value(dbname);
    if (server.name.isEmpty()) {
        say(stderr, QStringLiteral("请用 --dbname 给出目标数据库的名称。"));
        return kUsage;
    }
    server.user = parser.isSet(user) ? parser.value(user) : envOr("PGUSER", envOr("USER", QString()));
    server.sslmode = parser.isSet(sslmode) ? parser.value(sslmode) : envOr("PGSSLMODE", server.sslmode);
    if (!DbServer::sslModes().contains(server.sslmode)) {
        say(stderr, QStringLiteral("加密方式无效：%1（只能是 %2）")
                        .arg(server.sslmode, DbServer::sslModes().join(QStringLiteral("、"))));
        return kUsage;
    }

    // The files first: a wrong path is told before any password is asked.
    QString error;
    auto sources = migrate::openSources(businessPath, accountsPath, &error);
    if (!sources) {
        say(stderr, error);
        return kRefused;
    }

    const bool passwordGiven = qEnvironmentVariableIsSet("PGPASSWORD");
    server.password = qEnvironmentVariable("PGPASSWORD");
    auto target = Database::openServer(server, &error);
    if (!target && Database::needsPassword(error) && !passwordGiven) {
        if (!askSecret(QStringLiteral("%1 的口令：").arg(server.display()), &server.password)) {
            say(stderr, QStringLiteral("%1：服务器需要口令，但没有终端可以询问；请设置环境变量 PGPASSWORD。")
                            .arg(server.display()));
            return kRefused;
        }
        target = Database::openServer(server, &error);
    }
    if (!target) {
        say(stderr, QStringLiteral("无法连接数据库服务器 %1：%2").arg(server.display(), error));
        return kRefused;
    }
    // A copy of years of business runs statements far longer than a till's.
    target->exec(QStringLiteral("SET statement_timeout = 0"));

    // Progress on a terminal only, on one line.
    migrate::Options options;
    if (::isatty(STDERR_FILENO))
        options.progress = [](const QString& table, qint64 copied, qint64 total) {
            std::fprintf(stderr, "\r正在复制 %s：%lld / %lld 行", table.toUtf8().constData(),
                         static_cast<long long>(copied), static_cast<long long>(total));
            if (copied >= total)
                std::fputc('\n', stderr);
            std::fflush(stderr);
        };
    const migrate::Outcome out = migrate::copyShop(*sources->business, *sources->accounts, *target, options);
    if (!out.ok) {
        say(stderr, QStringLiteral("迁移失败，服务器数据库没有任何改动。\n%1").arg(out.error));
        return kRefused;
    }
    say(stdout, QStringLiteral("迁移完成：%1 → %2")
                    .arg(QDir::toNativeSeparators(QFileInfo(businessPath).absolutePath()), server.display()));
    qint64 all = 0;
    for (const migrate::TableCount& c : out.counts) {
        say(stdout, QStringLiteral("  %1 %2 行").arg(c.table, -16).arg(c.rows));
        all += c.rows;
    }
    say(stdout, QStringLiteral("共 %1 行，各数据表的行数与文件一致。").arg(all));
    return 0;
}
