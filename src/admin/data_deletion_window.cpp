#include "data_deletion_window.h"

#include "data_deletion.h"
#include "ui/input_filters.h"
#include "ui/widgets.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace shop {

DataDeletionWindow::DataDeletionWindow(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    setWindowTitle(QStringLiteral("数据删除"));

    list_ = new QListWidget;
    list_->setObjectName(QStringLiteral("List1"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const DeletionEntry& e : deletionEntries())
        list_->addItem(e.text);
    auto* remove = button("Command1", QStringLiteral("删除(&D)"));
    auto* cancel = button("Command2", QStringLiteral("取消(&E)"));

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttonColumn({remove, cancel}));

    connect(remove, &QPushButton::clicked, this, &DataDeletionWindow::deleteChosen);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);

    resize(320, 240);
    centreOnScreen(this);
}

void DataDeletionWindow::deleteChosen()
{
    // The chosen entry is the selected one: a list that only has the
    // keyboard focus has chosen nothing.
    const QList<QListWidgetItem*> chosen = list_->selectedItems();
    if (chosen.isEmpty()) {
        ctx_.messages().critical(QStringLiteral("请选择要删除的表！"), QString());
        return;
    }
    const int index = list_->row(chosen.first());
    if (index < 0 || index >= deletionEntries().size())
        return;
    const DeletionEntry& entry = deletionEntries().at(index);
    if (!ctx_.messages().question(QStringLiteral("真的想删除:") + entry.text + QStringLiteral("吗？"),
                                  QStringLiteral("删除数据库")))
        return;

    if (!ctx_.databasesOpen()) {
        ctx_.messages().databaseError(QStringLiteral("数据库未打开"));
        return;
    }
    EmptyOutcome out;
    if (const QString refusal = ctx_.backupRefusal(); !refusal.isEmpty()) {
        out.stage = EmptyOutcome::Stage::BackupFailed;
        out.backup.error = refusal;
    } else {
        out = emptyAfterBackup(ctx_.paths(), ctx_.clock().now(), ctx_.business(), ctx_.accounts(), entry);
    }
    switch (out.stage) {
    case EmptyOutcome::Stage::BackupFailed:
        ctx_.messages().critical(
            QStringLiteral("删除前的数据备份失败，没有删除任何数据。\n%1").arg(out.backup.error),
            QStringLiteral("错误"));
        return;
    case EmptyOutcome::Stage::DeleteFailed:
        ctx_.messages().databaseError(out.error);
        return;
    case EmptyOutcome::Stage::Emptied:
        break;
    }
    ctx_.notifier().changed({entry.table});
    ctx_.messages().exclamation(entry.text + QStringLiteral(" 已成功删除！"), QStringLiteral("删除成功"));
}

} // namespace shop
