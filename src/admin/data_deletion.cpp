#include "data_deletion.h"

#include "data/database.h"
#include "data/table_rows.h"

namespace shop {

const QList<DeletionEntry>& deletionEntries()
{
    static const QList<DeletionEntry> entries = {
        {QStringLiteral("1、进货明细"), QStringLiteral("jinhuo")},
        {QStringLiteral("2、员工资料"), QStringLiteral("worker")},
        {QStringLiteral("3、收支明细"), QStringLiteral("shouzhi")},
        {QStringLiteral("4、业务明细"), QStringLiteral("salse")},
        {QStringLiteral("5、顾客明细"), QStringLiteral("guke")},
        {QStringLiteral("6、会员明细"), QStringLiteral("numbercard")},
        {QStringLiteral("7、工资明细"), QStringLiteral("salary")},
        {QStringLiteral("8、业务记录"), QStringLiteral("salse")},
        {QStringLiteral("9、进货记录"), QStringLiteral("jinhuo_history")},
    };
    return entries;
}

EmptyOutcome emptyAfterBackup(const ProgramPaths& paths, const QDateTime& when, Database& business,
                              Database& accounts, const DeletionEntry& entry)
{
    EmptyOutcome out;
    out.backup = backupProgramDatabases(paths, when, business, accounts);
    if (!out.backup.ok) {
        out.stage = EmptyOutcome::Stage::BackupFailed;
        return out;
    }
    const DbResult r = rows::emptyTable(business, entry.table);
    if (!r) {
        out.stage = EmptyOutcome::Stage::DeleteFailed;
        out.error = r.error;
    }
    return out;
}

} // namespace shop
