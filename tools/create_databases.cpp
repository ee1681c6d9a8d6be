// Creates fresh, empty database files for a program folder. The password of
// the supervisor account ZED is read twice from the terminal (or once per
// line from standard input when that is not a terminal).
#include "data/program_paths.h"
#include "data/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {
QString readSecret(const char* prompt)
{
    const bool tty = isatty(STDIN_FILENO);
    termios old{};
    if (tty) {
        std::fprintf(stderr, "%s", prompt);
        tcgetattr(STDIN_FILENO, &old);
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    // std::getline reads exactly one line, leaving the next for the next call.
    std::string raw;
    std::getline(std::cin, raw);
    const QString line = QString::fromStdString(raw);
    if (tty) {
        tcsetattr(STDIN_FILENO, TCSANOW, &old);
        std::fprintf(stderr, "\n");
    }
    return line;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2 || args.at(1).startsWith('-')) {
        std::fprintf(stderr,
                     "usage: %s PROGRAM_FOLDER\n"
                     "Creates PROGRAM_FOLDER/database/database.db and userid.db.\n",
                     qPrintable(QFileInfo(args.at(0)).fileName()));
        return 2;
    }
    const shop::ProgramPaths paths{args.at(1)};
    const QString business = paths.businessDb();
    const QString accounts = paths.accountsDb();
    const QString pass = readSecret("Password for ZED: ");
    const QString again = readSecret("Password again: ");
    if (pass.isEmpty() || pass != again) {
        std::fprintf(stderr, "The two passwords are empty or differ; nothing was created.\n");
        return 1;
    }
    QString error;
    if (!shop::schema::createDatabaseFiles(business, accounts, pass, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::printf("Created %s and %s\n", qPrintable(QDir::toNativeSeparators(business)),
                qPrintable(QDir::toNativeSeparators(accounts)));
    return 0;
}
