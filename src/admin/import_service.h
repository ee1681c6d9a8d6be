#pragma once

#include "data/backup_files.h"
#include "data/import_write.h"

#include <QDateTime>

namespace shop {

class Database;
struct ProgramPaths;

struct ImportOutcome {
    // BackupFailed: nothing was written.
    enum class Stage { Imported, BackupFailed };
    Stage stage = Stage::Imported;
    BackupOutcome backup;
    imports::Written written;
    bool ok() const
    {
        return stage == Stage::Imported && written.outcome == imports::Written::Outcome::Written;
    }
};

// Takes the backup of both database files that the backup menu item takes
// (as before emptying a table), then writes the preview's rows in one
// transaction. Nothing is written when the backup fails.
ImportOutcome importAfterBackup(const ProgramPaths& paths, const QDateTime& when, Database& business,
                                Database& accounts, const imports::ImportPreview& preview,
                                const imports::WriteProgress& progress = {});

} // namespace shop
