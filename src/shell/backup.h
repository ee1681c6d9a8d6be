#pragma once

#include "data/backup_files.h"

namespace shop {

class AppContext;

// Backs up both database files into backup/ of the program folder and says
// where (information) or why not (critical). On a server it only says
// that the server's database is backed up there.
BackupOutcome runBackup(AppContext& ctx);

// What the backup and restore say when the databases are on a server.
QString serverBackupText(AppContext& ctx);

} // namespace shop
