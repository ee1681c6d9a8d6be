#pragma once

#include "data/database.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace shop::migrate {

// A shop's two files, opened for reading.
struct Sources {
    std::unique_ptr<Database> business;
    std::unique_ptr<Database> accounts;
};

// Opens both files (which must exist; nothing is created) and refuses one
// that SQLite's quick check finds damaged.
std::optional<Sources> openSources(const QString& businessPath, const QString& accountsPath, QString* error);

struct Options {
    // Rows per INSERT statement; 0 chooses by the table's width.
    int rowsPerStatement = 0;
    // Told after each statement: the table, its rows copied so far, its rows in all.
    std::function<void(const QString& table, qint64 copied, qint64 total)> progress;
};

struct TableCount {
    QString table;
    qint64 rows = 0;
};

struct Outcome {
    bool ok = false;
    QString error;
    // Every table's rows, in the order copied (on success only).
    QList<TableCount> counts;
};

// Copies every table of both files, rows with their rowids, into an empty
// server database in one transaction, and commits only when every table
// holds as many rows on the server as in its file. A server database that
// holds any of the program's tables is refused; on any failure nothing is
// stored. The files are only read.
Outcome copyShop(Database& business, Database& accounts, Database& server, const Options& options = {});

// openSources and copyShop.
Outcome copyFiles(const QString& businessPath, const QString& accountsPath, Database& server,
                  const Options& options = {});

// Rows per statement for a table of `columns` columns (its rowid besides),
// within the server's limit of bound values per statement.
int rowsPerStatement(int columns);

} // namespace shop::migrate
