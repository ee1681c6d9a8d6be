#pragma once

#include "data/backup_files.h"

namespace shop {

class AppContext;

// Backs up both database files (or the server's database, with pg_dump)
// into backup/ of the program folder and says where (information) or why
// not (critical).
BackupOutcome runBackup(AppContext& ctx);

} // namespace shop
