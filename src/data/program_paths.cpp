#include "program_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace shop {

namespace {
// An installed program has its desktop entry beside it, under the prefix.
bool installed(const QString& exeDir)
{
    return QFileInfo::exists(QDir(exeDir).filePath(QStringLiteral(SHOP_INSTALLED_MARK)));
}
} // namespace

QString ProgramPaths::databaseDir() const
{
    return QDir(programDir).filePath(QStringLiteral("database"));
}
QString ProgramPaths::businessDb() const
{
    return QDir(databaseDir()).filePath(QStringLiteral("database.db"));
}
QString ProgramPaths::accountsDb() const
{
    return QDir(databaseDir()).filePath(QStringLiteral("userid.db"));
}
QString ProgramPaths::loginLog() const
{
    return QDir(programDir).filePath(QStringLiteral("login.log"));
}
QString ProgramPaths::bmpDir() const
{
    return QDir(programDir).filePath(QStringLiteral("bmp"));
}
QString ProgramPaths::picture(const QString& fileName) const
{
    return QDir(bmpDir()).filePath(fileName);
}
QString ProgramPaths::backupDir() const
{
    return QDir(programDir).filePath(QStringLiteral("backup"));
}

bool ProgramPaths::isDatabaseFile(const QString& file) const
{
    const QFileInfo target(file);
    if (!target.exists())
        return false;
    for (const QString& db : {businessDb(), accountsDb()})
        for (const char* part : {"", "-wal", "-shm", "-journal"})
            if (QFileInfo(db + QLatin1String(part)).canonicalFilePath() == target.canonicalFilePath())
                return true;
    return false;
}

ProgramPaths ProgramPaths::resolve()
{
    // An installed program never writes into the install folder, even when
    // it could (started as root under /usr/local).
    const QString exeDir = QCoreApplication::applicationDirPath();
    QTemporaryFile probe(QDir(exeDir).filePath(QStringLiteral(".write-test-XXXXXX")));
    if (!installed(exeDir) && probe.open())
        return ProgramPaths{exeDir};
    QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return ProgramPaths{data};
}

} // namespace shop
