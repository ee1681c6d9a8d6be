#include "restore_window.h"

#include "data/backup_files.h"
#include "ui/app_context.h"
#include "ui/input_filters.h"
#include "ui/widgets.h"

#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace shop {

namespace {
const QString kCaption = QStringLiteral("数据恢复");

// The folder's time stamp ("2026-12-06 09:00:00 …") with what kind of
// backup it is; a folder someone named otherwise keeps its name.
QString whenText(const BackupInfo& b)
{
    if (b.when.isEmpty())
        return b.name;
    if (b.beforeRestore)
        return b.when + QStringLiteral("（恢复前的数据）");
    return b.automatic ? b.when + QStringLiteral("（自动）") : b.when;
}

QString sizeText(qint64 bytes)
{
    return QStringLiteral("%1 MB").arg(static_cast<double>(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}
} // namespace

RestoreWindow::RestoreWindow(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmrestore"));
    setWindowTitle(kCaption);
    list_ = new QTableWidget(0, 2, this);
    list_->setObjectName(QStringLiteral("backups"));
    list_->setHorizontalHeaderLabels({QStringLiteral("备份日期时间"), QStringLiteral("大小")});
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);

    QPushButton* restore = button("cmd_restore", QStringLiteral("恢复(&R)"));
    QPushButton* exit = button("cmd_exit", QStringLiteral("退出(&E)"));
    connect(restore, &QPushButton::clicked, this, &RestoreWindow::restoreChosen);
    connect(exit, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(restore);
    buttons->addWidget(exit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);

    fillList();
    resize(460, 360);
    centreOnScreen(this);
}

void RestoreWindow::fillList()
{
    // A server's database is restored from its own copies, files from theirs.
    const QList<BackupInfo> backups = listBackups(ctx_.paths().backupDir(), ctx_.onServer());
    list_->setRowCount(static_cast<int>(backups.size()));
    for (int r = 0; r < backups.size(); ++r) {
        auto* when = new QTableWidgetItem(whenText(backups.at(r)));
        when->setData(Qt::UserRole, backups.at(r).folder);
        list_->setItem(r, 0, when);
        list_->setItem(r, 1, new QTableWidgetItem(sizeText(backups.at(r).bytes)));
    }
}

void RestoreWindow::restoreChosen()
{
    MessageService& m = ctx_.messages();
    const int row = list_->currentRow();
    if (row < 0 || !list_->item(row, 0) || !list_->selectionModel()->isRowSelected(row, {})) {
        m.critical(QStringLiteral("请先选择要恢复的备份！"), kCaption);
        return;
    }
    const QString when = list_->item(row, 0)->text();
    const bool server = ctx_.onServer();
    if (!m.question(server
                        ? QStringLiteral("确定要用 %1 的备份恢复数据吗？\n数据库服务器上现在的数据将先备份到 "
                                         "backup 文件夹；其他收银机的连接会断开一下。")
                              .arg(when)
                        : QStringLiteral("确定要用 %1 的备份恢复数据吗？\n现在的数据文件将先移到 backup "
                                         "文件夹保存。")
                              .arg(when),
                    kCaption))
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const AppContext::Restored r = ctx_.restoreFromBackup(list_->item(row, 0)->data(Qt::UserRole).toString());
    QApplication::restoreOverrideCursor();
    if (!r.ok) {
        m.critical(server ? QStringLiteral("恢复失败：%1\n数据库服务器上的数据没有改变。").arg(r.error)
                          : QStringLiteral("恢复失败：%1\n现在的数据文件没有改变。").arg(r.error),
                   kCaption);
        fillList();
        return;
    }
    m.information(server ? QStringLiteral("数据已恢复到 %1 的备份。原来的数据已备份到：%2")
                               .arg(when, QDir::toNativeSeparators(r.setAside))
                         : QStringLiteral("数据已恢复到 %1 的备份。原来的数据文件已移到：%2")
                               .arg(when, QDir::toNativeSeparators(r.setAside)),
                  kCaption);
    fillList();
}

} // namespace shop
