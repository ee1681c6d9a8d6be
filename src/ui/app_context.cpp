#include "app_context.h"

#include "data/backup_files.h"
#include "data/schema.h"
#include "data/server_backup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <utility>

namespace shop {

AppContext::AppContext(ProgramPaths paths, std::unique_ptr<Clock> clock, std::unique_ptr<QSettings> settings,
                       MessageService& messages, PrintService& printing)
    : paths_(std::move(paths)), clock_(std::move(clock)), settings_(std::move(settings)), messages_(messages),
      printing_(printing), shopSettings_(*settings_, shellNotifier_), quit_([] { QCoreApplication::exit(0); })
{
    checkpointTimer_.setInterval(3000);
    QObject::connect(&checkpointTimer_, &QTimer::timeout, [this] {
        for (Database* db : {business_.get(), accounts_.get()})
            if (db && !db->inTransaction() && !db->onServer())
                db->exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
    });
}

AppContext::~AppContext() = default;

void AppContext::closeDatabases()
{
    checkpointTimer_.stop();
    business_.reset();
    accounts_.reset();
}

AppContext::Restored AppContext::restoreFromBackup(const QString& backupFolder)
{
    Restored out;
    if (!databasesOpen()) {
        out.error = QStringLiteral("数据库未打开");
        return out;
    }
    if (onServer())
        return restoreServerBackup(backupFolder);
    for (Database* db : {business_.get(), accounts_.get()}) {
        if (db->inTransaction()) {
            out.error = QStringLiteral("数据库正在写入，请稍后再试");
            return out;
        }
        // Everything in the journal goes into the file that is set aside.
        db->exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
    // A check still reading the files would say what it found in the files
    // set aside.
    fileCheck_.wait();
    checkpointTimer_.stop();
    business_->close();
    accounts_->close();
    const RestoreOutcome r = restoreBackup(paths_, backupFolder, clock_->now());
    QString err;
    const bool open = business_->reopen(&err) && accounts_->reopen(&err);
    checkpointTimer_.start();
    if (!r.ok) {
        out.error = r.error;
        return out;
    }
    if (!open) {
        out.error = err;
        return out;
    }
    // A backup made by an earlier version gets today's tables and indexes,
    // as at start.
    // The backup passed the full check before it was copied in: it may be
    // written again (its upgrade first).
    fileCheck_.markSound();
    schema::upgradeBusinessTables(*business_, nullptr);
    schema::upgradeAccountsTable(*accounts_, nullptr);
    everyTableChanged();
    out.ok = true;
    out.setAside = r.setAside;
    return out;
}

void AppContext::everyTableChanged()
{
    for (const TableDef& t : schema::businessTables())
        emit notifier_.tableChanged(t.name);
    emit notifier_.tableChanged(schema::accountsTable().name);
}

AppContext::Restored AppContext::restoreServerBackup(const QString& backupFolder)
{
    Restored out;
    for (Database* db : {business_.get(), accounts_.get()})
        if (db->inTransaction()) {
            out.error = QStringLiteral("数据库正在写入，请稍后再试");
            return out;
        }
    const ClientTools tools = findClientTools(serverMajorVersion(*business_));
    if (!tools.usable()) {
        out.error = tools.error;
        return out;
    }
    // The database is renamed away under the connections: they close first
    // and open the restored one (or, on failure, the same one) again.
    business_->close();
    accounts_->close();
    const RestoreOutcome r =
        restoreServerDatabase(*server_, tools, backupFolder, paths_.backupDir(), clock_->now());
    QString err;
    const bool open = business_->reopen(&err) && accounts_->reopen(&err);
    out.setAside = r.setAside;
    if (!r.ok || !open) {
        out.error = r.ok ? err : r.error;
        return out;
    }
    schema::upgradeBusinessTables(*business_, nullptr);
    schema::upgradeAccountsTable(*accounts_, nullptr);
    everyTableChanged();
    out.ok = true;
    return out;
}

bool AppContext::tablesPresent(Database& business, Database& accounts, QString* error) const
{
    // A database without the program's tables is not one of its databases.
    const std::pair<Database*, QList<TableDef>> files[] = {{&business, schema::businessTables()},
                                                           {&accounts, {schema::accountsTable()}}};
    for (const auto& [db, tables] : files)
        if (const QString missing = schema::missingTable(*db, tables); !missing.isEmpty()) {
            if (error)
                *error =
                    QStringLiteral("%1：缺少数据表 %2").arg(QDir::toNativeSeparators(db->path()), missing);
            return false;
        }
    return true;
}

bool AppContext::openServerDatabases(QString* error)
{
    QString err;
    auto business = Database::openServer(*server_, &err);
    auto accounts = business ? Database::openServer(*server_, &err) : nullptr;
    if (!accounts) {
        if (error)
            *error = QStringLiteral("%1：%2").arg(server_->display(), err);
        return false;
    }
    // After the server was lost and found again, every open view reads
    // afresh (once, whichever connection came back first).
    for (Database* db : {business.get(), accounts.get()})
        db->setReconnectHook([this] {
            if (std::exchange(rereadQueued_, true))
                return;
            QMetaObject::invokeMethod(
                &notifier_,
                [this] {
                    rereadQueued_ = false;
                    everyTableChanged();
                },
                Qt::QueuedConnection);
        });
    return adopt(std::move(business), std::move(accounts), error);
}

bool AppContext::adopt(std::unique_ptr<Database> business, std::unique_ptr<Database> accounts, QString* error)
{
    if (!tablesPresent(*business, *accounts, error))
        return false;
    // A database from an earlier version gets the tables and indexes added
    // or rebuilt since. One that cannot take them now (a file that cannot
    // be written) still opens: it is read, and its writes fail as any does.
    schema::upgradeBusinessTables(*business, nullptr);
    schema::upgradeAccountsTable(*accounts, nullptr);
    business->setWriter(curUser_, clock_.get());
    // Nothing is written into a file the check behind the person's work
    // may be about to call damaged: a write waits for its verdict.
    if (!onServer())
        for (Database* db : {business.get(), accounts.get()})
            db->setWriteGate([this] { return writeRefusal(); });
    business_ = std::move(business);
    accounts_ = std::move(accounts);
    return true;
}

bool AppContext::openDatabases(QString* error)
{
    damagedFile_.clear();
    damage_.clear();
    if (onServer())
        return openServerDatabases(error);
    // Without a writable folder the engine cannot make its write-ahead
    // files, so the files cannot even be read; saying so beats "damaged".
    const QString folder = paths_.databaseDir();
    if (QFileInfo::exists(folder) && !Database::mayWrite(folder)) {
        if (error)
            *error = QStringLiteral("%1：database 文件夹不能写入。请检查它的写入权限后重新启动程序。")
                         .arg(QDir::toNativeSeparators(folder));
        return false;
    }
    // A file whose header or schema is damaged fails to open: caught before
    // anything is written to either file. Damage deeper in a file is found by
    // the full check behind the login (startFileCheck).
    std::unique_ptr<Database> opened[2];
    const QString files[2] = {paths_.businessDb(), paths_.accountsDb()};
    for (int i = 0; i < 2; ++i) {
        const QString& file = files[i];
        QString err = QStringLiteral("文件不存在");
        if (QFileInfo::exists(file))
            opened[i] = Database::open(file, &err);
        if (opened[i])
            continue;
        if (QFileInfo::exists(file) && FileCheck::isDamage(err)) {
            damagedFile_ = file;
            damage_ = err;
        } else if (QFileInfo::exists(file)) {
            err = MessageService::databaseErrorText(err);
        }
        if (error)
            *error = QStringLiteral("%1：%2").arg(QDir::toNativeSeparators(file), err);
        return false;
    }
    auto business = std::move(opened[0]);
    auto accounts = std::move(opened[1]);
    if (!adopt(std::move(business), std::move(accounts), error))
        return false;
    for (Database* db : {business_.get(), accounts_.get()})
        db->exec(QStringLiteral("PRAGMA wal_autocheckpoint=20000"));
    checkpointTimer_.start();
    return true;
}

void AppContext::startFileCheck()
{
    if (!onServer())
        fileCheck_.start({paths_.businessDb(), paths_.accountsDb()});
}

QString AppContext::writeRefusal()
{
    // A wait of a moment passes unnoticed; a longer one is said.
    constexpr int kQuietMs = 400;
    const FileCheck::State verdict = fileCheck_.waitForWrite(kQuietMs, [this](bool waiting) {
        if (waiting)
            messages_.showWait(QStringLiteral("正在检查数据库文件，检查完毕后立即保存，请稍候……"),
                               QStringLiteral("系统信息"));
        else
            messages_.endWait();
    });
    if (verdict != FileCheck::State::Damaged)
        return {};
    return FileCheck::refusedWriteText(fileCheck_.damagedFile(), fileCheck_.damage());
}

QString AppContext::backupRefusal()
{
    if (fileCheck_.wait() != FileCheck::State::Damaged)
        return {};
    return QStringLiteral("数据库文件 %1 已损坏（%2）")
        .arg(QDir::toNativeSeparators(fileCheck_.damagedFile()), fileCheck_.damage());
}

QStringList AppContext::readOnlyFiles()
{
    QStringList files;
    for (auto* db : {business_.get(), accounts_.get()})
        if (db && db->readOnly())
            files << QDir::toNativeSeparators(db->path());
    return files;
}

bool AppContext::isSupervisorName(const QString& user)
{
    return schema::username::isSupervisorName(user);
}

bool AppContext::firstTimeThisRun(const QString& what)
{
    if (saidThisRun_.contains(what))
        return false;
    saidThisRun_.insert(what);
    return true;
}

bool AppContext::wrote(const DbResult& result, const QStringList& tables)
{
    if (!result) {
        messages_.databaseError(result.error);
        return false;
    }
    notifier_.changed(tables);
    return true;
}

void AppContext::quit() const
{
    if (quit_)
        quit_();
}

} // namespace shop
