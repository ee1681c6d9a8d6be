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
    // Whether `file` is one of the database files or their journals: a file
    // the program writes whole is never one of them.
    bool isDatabaseFile(const QString& file) const;

    // The per-user application data folder for an installed program (its
    // desktop entry installed beside it); the folder of the executable for
    // one started from its build or unpacked folder, unless that folder
    // cannot be written.
    static ProgramPaths resolve();
};

} // namespace shop
