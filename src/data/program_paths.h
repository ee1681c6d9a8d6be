#pragma once

#include <QString>

namespace shop {

// Where the program keeps its files.
struct ProgramPaths {
    QString programDir;

    QString databaseDir() const;
    QString businessDb() const;
    QString accountsDb() const;
    QString loginLog() const;
    QString bmpDir() const;
    QString picture(const QString& fileName) const;
    QString backupDir() const;

    // The folder of the executable, or the per-user application data folder
    // when that one cannot be written (a system-wide install).
    static ProgramPaths resolve();
};

} // namespace shop
