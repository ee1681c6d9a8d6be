#include "import_service.h"

#include "data/database.h"

namespace shop {

ImportOutcome importAfterBackup(const ProgramPaths& paths, const QDateTime& when, Database& business,
                                Database& accounts, const imports::ImportPreview& preview,
                                const imports::WriteProgress& progress)
{
    ImportOutcome out;
    out.backup = backupProgramDatabases(paths, when, business, accounts);
    if (!out.backup.ok) {
        out.stage = ImportOutcome::Stage::BackupFailed;
        return out;
    }
    out.written = imports::writeRows(business, preview, progress);
    return out;
}

} // namespace shop
