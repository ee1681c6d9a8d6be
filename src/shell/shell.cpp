#include "shell.h"

#include "data/backup_files.h"
#include "data/database.h"
#include "data/private_files.h"
#include "ui/app_context.h"
#include "first_start.h"
#include "server_start.h"
#include "main_window.h"
#include "window_table.h"

#include <QApplication>
#include <QDir>
#include <QThread>
#include <QTimer>

namespace shop {

Shell::Shell(AppContext& ctx, QObject* parent)
    : QObject(parent), ctx_(ctx), autoBackup_(ctx), journal_(ctx),
      instance_(QDir(ctx.paths().programDir).filePath(QStringLiteral("shop.lock")))
{
}

bool Shell::start()
{
    // While a statement waits for another program's lock the pointer shows
    // that the program is waiting, not frozen. Only for the window thread:
    // the day's backup waits on a thread of its own, which must not touch
    // the GUI (nor is the person kept waiting by it).
    auto onGuiThread = [] { return QThread::currentThread() == QCoreApplication::instance()->thread(); };
    Database::setBusyHooks(
        [onGuiThread] {
            if (!onGuiThread())
                return;
            QApplication::setOverrideCursor(Qt::WaitCursor);
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        },
        [onGuiThread] {
            if (onGuiThread())
                QApplication::restoreOverrideCursor();
        });
    if (!instance_.acquire()) {
        ctx_.messages().critical(QStringLiteral(" 系统已经运行 ! "), QStringLiteral("错误信息"));
        return false;
    }
    // Said, and the program goes on: the files are the shop's all the same.
    if (const QStringList open = makeShopFilesPrivate(); !open.isEmpty())
        ctx_.messages().exclamation(notPrivateText(open), QStringLiteral("系统信息"));
    return continueStart();
}

bool Shell::continueStart()
{
    if (!ctx_.databasesOpen()) {
        switch (openDatabases()) {
        case StartStep::End:
            return false;
        case StartStep::DatabaseSettings:
            return openDatabaseSettings();
        case StartStep::Ready:
            break;
        }
    }
    connect(&ctx_.fileCheck(), &FileCheck::finished, this, &Shell::fileChecked, Qt::UniqueConnection);
    // Files that cannot be written are said before anyone types a sale; the
    // program still opens for reading.
    if (const QStringList readOnly = ctx_.readOnlyFiles(); !readOnly.isEmpty())
        ctx_.messages().exclamation(readOnlyAtStartText(readOnly), QStringLiteral("系统信息"));
    // The program ends when the main window has been closed by its close
    // box and no other window is left (message boxes of the login come and
    // go while no window is visible, so Qt's own rule does not fit).
    qApp->setQuitOnLastWindowClosed(false);
    qApp->installEventFilter(this);
    showLogin();
    // Every page of the files is read behind the login window: a shop with
    // years of history does not wait for it at every start.
    if (checkBehindLogin_)
        ctx_.startFileCheck();
    return true;
}

bool Shell::openDatabaseSettings()
{
    // The start-up goes on, with the settings as saved, once the window is
    // closed; no other window is open meanwhile.
    qApp->setQuitOnLastWindowClosed(false);
    QWidget* w = ctx_.windows().open(ctx_, QLatin1String(window_name::database));
    if (!w)
        return false;
    connect(w, &QObject::destroyed, this, [this] {
        if (!continueStart())
            ctx_.quit();
    });
    return true;
}

StartStep Shell::openDatabases()
{
    std::optional<DbServer> server = ctx_.server();
    if (!server) {
        const database_settings::Choice choice = database_settings::read(ctx_.settings());
        if (!choice.error.isEmpty()) {
            ctx_.messages().critical(
                QStringLiteral("%1\n请改正设置文件 %2 中的 [database] 一节。程序将退出。")
                    .arg(choice.error, QDir::toNativeSeparators(ctx_.settings().fileName())),
                QStringLiteral("错误信息"));
            return StartStep::End;
        }
        server = choice.server;
    }
    // A server database has no folder to make, no files to check or restore.
    if (server)
        return startOnServer(ctx_, *server);
    if (const StartStep first = runFirstStart(ctx_); first != StartStep::Ready)
        return first;
    QString error;
    if (!ctx_.openDatabases(&error) &&
        !(!ctx_.damagedFile().isEmpty() && offerRestore(ctx_.damagedFile(), ctx_.damage(), false) &&
          ctx_.openDatabases(&error))) {
        if (ctx_.damagedFile().isEmpty())
            ctx_.messages().critical(QStringLiteral("无法打开数据库文件 %1").arg(error),
                                     QStringLiteral("错误信息"));
        return StartStep::End;
    }
    checkBehindLogin_ = true;
    return StartStep::Ready;
}

void Shell::fileChecked()
{
    FileCheck& check = ctx_.fileCheck();
    if (check.state() != FileCheck::State::Damaged)
        return;
    // Said as damage found at start is; No (or no backup) ends the program
    // and leaves the file as it is.
    if (offerRestore(check.damagedFile(), check.damage(), true))
        return;
    if (main_)
        journal_.writeLogout();
    ctx_.quit();
}

QString Shell::readOnlyAtStartText(const QStringList& files)
{
    return QStringLiteral(
               "以下数据库文件当前不能写入（只读）：\n%1\n\n程序以只读方式打开：可以查看和统计记录，"
               "但在恢复写入权限之前不能保存任何数据。\n请检查这些文件和 database "
               "文件夹的写入权限；改正后无需重启程序，再次保存即可。")
        .arg(files.join(QLatin1Char('\n')));
}

QStringList Shell::makeShopFilesPrivate()
{
    const ProgramPaths& p = ctx_.paths();
    QStringList open;
    // The settings may name the shop's server.
    for (const QString& path : {p.databaseDir(), p.backupDir(), p.loginLog(), ctx_.settings().fileName()})
        open << private_files::ownerOnlyTree(path);
    return open;
}

QString Shell::notPrivateText(const QStringList& paths)
{
    // A file system without permissions refuses every file: the first few
    // say enough.
    constexpr qsizetype kListed = 10;
    QStringList listed;
    for (qsizetype i = 0; i < paths.size() && i < kListed; ++i)
        listed << QDir::toNativeSeparators(paths.at(i));
    if (paths.size() > kListed)
        listed << QStringLiteral("……（共 %1 个）").arg(paths.size());
    return QStringLiteral(
               "以下文件或文件夹无法设为只有本账户可以读写（例如所在的磁盘不支持权限设置，"
               "或者它属于另一个账户）：\n%1\n\n这台电脑上的其他账户可能读到其中的顾客、员工和"
               "账户资料。请把程序的文件夹放到支持权限设置的磁盘上，或请系统管理员改正它们的权限。")
        .arg(listed.join(QLatin1Char('\n')));
}

bool Shell::offerRestore(const QString& damagedFile, const QString& damage, bool filesOpen)
{
    MessageService& m = ctx_.messages();
    const QString file = QDir::toNativeSeparators(damagedFile);
    // The newest backup proper (not the files an earlier restore set aside).
    QList<BackupInfo> backups = listBackups(ctx_.paths().backupDir(), false);
    backups.removeIf([](const BackupInfo& b) { return b.beforeRestore; });
    if (backups.isEmpty()) {
        m.critical(QStringLiteral("数据库文件 %1 已损坏（%2），且没有可用的备份。程序将退出，文件保持原样。")
                       .arg(file, damage),
                   QStringLiteral("数据库损坏"));
        return false;
    }
    // No leaves the damaged file exactly as it is.
    if (!m.question(QStringLiteral("数据库文件 %1 已损坏（%2）。\n是否用最新的备份（%3）恢复数据？\n"
                                   "选择“否”将退出程序，文件保持原样。")
                        .arg(file, damage, backups.first().name),
                    QStringLiteral("数据库损坏")))
        return false;
    QString setAside, error;
    if (filesOpen) {
        // Open windows keep working on the restored files.
        const AppContext::Restored r = ctx_.restoreFromBackup(backups.first().folder);
        setAside = r.setAside;
        error = r.ok ? QString() : r.error;
    } else {
        const RestoreOutcome r = restoreBackup(ctx_.paths(), backups.first().folder, ctx_.clock().now());
        setAside = r.setAside;
        error = r.ok ? QString() : r.error;
    }
    if (!error.isEmpty()) {
        m.critical(QStringLiteral("恢复失败：%1").arg(error), QStringLiteral("数据库损坏"));
        return false;
    }
    m.information(QStringLiteral("已从备份 %1 恢复数据。原来的文件已移到 %2。")
                      .arg(backups.first().name, QDir::toNativeSeparators(setAside)),
                  QStringLiteral("数据库损坏"));
    return true;
}

LoginWindow* Shell::showLogin()
{
    if (login_) {
        login_->show();
        login_->raise();
        login_->activateWindow();
        return login_;
    }
    login_ = windows_.adopt(new LoginWindow(ctx_, journal_, counters_));
    login_->setAttribute(Qt::WA_DeleteOnClose);
    connect(login_, &LoginWindow::loggedIn, this, &Shell::loggedIn);
    connect(login_, &LoginWindow::closedWithoutLogin, this, &Shell::loginClosed);
    login_->show();
    login_->raise();
    login_->activateWindow();
    emit loginShown(login_);
    return login_;
}

void Shell::loggedIn()
{
    // The closed login window is deleted later; the next switch of user
    // loads a fresh one.
    login_ = nullptr;
    if (!main_) {
        main_ = windows_.adopt(new MainWindow(ctx_, journal_));
        main_->setAttribute(Qt::WA_DeleteOnClose);
        // Used all day at the counter, and the overview's charts need the
        // room: the whole screen at first, the person's choice after that.
        main_->setWindowState(main_->windowState() | Qt::WindowMaximized);
        connect(main_, &MainWindow::switchUserRequested, this, [this] { showLogin(); });
        connect(main_, &MainWindow::closedByUser, this, [this] {
            mainClosed_ = true;
            endWhenNoWindowLeft();
        });
    }
    main_->show();
    main_->raise();
    main_->activateWindow();
    // The first login of the day starts the day's backup behind the work.
    autoBackup_.startIfDue();
}

void Shell::loginClosed()
{
    login_ = nullptr;
    // Cancelled at start-up: no window is left and the program ends. At a
    // switch of user the main window stays with the previous user.
    if (!main_ && !mainClosed_)
        ctx_.quit();
}

bool Shell::eventFilter(QObject* watched, QEvent* e)
{
    if (mainClosed_ && e->type() == QEvent::Close && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow())
        endWhenNoWindowLeft();
    return QObject::eventFilter(watched, e);
}

void Shell::endWhenNoWindowLeft()
{
    // Checked after the closing window is gone from the screen.
    QTimer::singleShot(0, this, [this] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->windowType() != Qt::Desktop)
                return;
        ctx_.quit();
    });
}

} // namespace shop
