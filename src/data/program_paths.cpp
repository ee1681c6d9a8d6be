#include "program_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace shop {

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

ProgramPaths ProgramPaths::resolve()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    QTemporaryFile probe(QDir(exeDir).filePath(QStringLiteral(".write-test-XXXXXX")));
    if (probe.open())
        return ProgramPaths{exeDir};
    QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return ProgramPaths{data};
}

} // namespace shop
