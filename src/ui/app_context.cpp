#include "app_context.h"

#include "data/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace shop {

AppContext::AppContext(ProgramPaths paths, std::unique_ptr<Clock> clock, std::unique_ptr<QSettings> settings,
                       MessageService& messages, PrintService& printing)
    : paths_(std::move(paths)), clock_(std::move(clock)), settings_(std::move(settings)), messages_(messages),
      printing_(printing), quit_([] { QCoreApplication::exit(0); })
{
}

AppContext::~AppContext() = default;

bool AppContext::openDatabases(QString* error)
{
    QString err;
    auto business = Database::open(paths_.businessDb(), &err);
    if (!business) {
        if (error)
            *error = QStringLiteral("%1：%2").arg(QDir::toNativeSeparators(paths_.businessDb()), err);
        return false;
    }
    auto accounts = Database::open(paths_.accountsDb(), &err);
    if (!accounts) {
        if (error)
            *error = QStringLiteral("%1：%2").arg(QDir::toNativeSeparators(paths_.accountsDb()), err);
        return false;
    }
    // A file without the program's tables is not one of its databases.
    for (const TableDef& t : schema::businessTables())
        if (business->columns(t.name).isEmpty()) {
            if (error)
                *error = QStringLiteral("%1：缺少数据表 %2")
                             .arg(QDir::toNativeSeparators(paths_.businessDb()), t.name);
            return false;
        }
    if (accounts->columns(schema::accountsTable().name).isEmpty()) {
        if (error)
            *error = QStringLiteral("%1：缺少数据表 %2")
                         .arg(QDir::toNativeSeparators(paths_.accountsDb()), schema::accountsTable().name);
        return false;
    }
    // Files made by an earlier version get the indexes added since. Without
    // them the program still works, only slower, so a file that cannot take
    // them (read-only, busy) still opens.
    schema::createBusinessIndexes(*business, nullptr);
    business_ = std::move(business);
    accounts_ = std::move(accounts);
    for (Database* db : {business_.get(), accounts_.get()})
        db->exec(QStringLiteral("PRAGMA wal_autocheckpoint=20000"));
    checkpointTimer_.setInterval(3000);
    QObject::connect(&checkpointTimer_, &QTimer::timeout, [this] {
        for (Database* db : {business_.get(), accounts_.get()})
            if (db && !db->inTransaction())
                db->exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
    });
    checkpointTimer_.start();
    return true;
}

bool AppContext::isSupervisorName(const QString& user)
{
    const QString u = user.toUpper();
    return u == QLatin1String("ZED") || u == QLatin1String("ADMINISTRATOR");
}

void AppContext::quit() const
{
    if (quit_)
        quit_();
}

} // namespace shop
