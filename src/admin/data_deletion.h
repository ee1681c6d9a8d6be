#pragma once

#include "data/backup_files.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace shop {

class Database;
struct ProgramPaths;

// One entry of the data deletion list: its text and the table it empties.
struct DeletionEntry {
    QString text;
    QString table;
};

// The nine entries in list order. Two of them empty `salse`; none empties
// `salse_history`, nor the card ledger or the voids (the record of money).
const QList<DeletionEntry>& deletionEntries();

struct EmptyOutcome {
    enum class Stage { Emptied, BackupFailed, DeleteFailed };
    Stage stage = Stage::Emptied;
    BackupOutcome backup;
    QString error; // why the delete failed
    bool ok() const { return stage == Stage::Emptied; }
};

// Takes the backup of both database files that the backup menu item takes,
// then empties the entry's table inside one transaction (the member cards
// each with its 删除卡 row in the card ledger).
// Nothing is emptied when the backup fails.
EmptyOutcome emptyAfterBackup(const ProgramPaths& paths, const QDateTime& when, Database& business,
                              Database& accounts, const DeletionEntry& entry);

} // namespace shop
