// The export item of a grid's popup and the export of its rows to a CSV file.
#include "record_view.h"

#include "data/csv_export.h"
#include "document_path.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QProgressDialog>
#include <QScopedValueRollback>

namespace shop {

namespace {

const QString kExportCaption = QStringLiteral("导出");
// One export at a time: its progress dialog lets events run.
bool exportRunning = false;

} // namespace

void RecordView::placeExportItem(bool alone)
{
    QMenu* menu = popup_;
    if (!menu || placingExport_)
        return;
    const QList<QAction*> now = menu->actions();
    if (!now.isEmpty() && now.last() == exportAction_)
        return;
    const QScopedValueRollback<bool> placing(placingExport_, true);
    const bool placed = now.contains(exportAction_);
    menu->removeAction(exportLine_);
    menu->removeAction(exportAction_);
    const QList<QAction*> others = menu->actions();
    if (others.isEmpty() && !alone && !placed)
        return;
    // A window that ends its items with a line of its own gets no second one.
    if (!others.isEmpty() && !others.last()->isSeparator())
        menu->addAction(exportLine_);
    menu->addAction(exportAction_);
}

QString RecordView::exportName() const
{
    // Named after what a person sees: the frame the grid sits in, or its window.
    QString name;
    for (QWidget* w = parentWidget(); w && name.isEmpty(); w = w->parentWidget()) {
        if (auto* box = qobject_cast<QGroupBox*>(w))
            name = fileNamePart(box->title()).trimmed();
        if (w->isWindow()) {
            if (name.isEmpty())
                name = fileNamePart(w->windowTitle()).trimmed();
            break;
        }
    }
    if (name.isEmpty())
        name = table_;
    return name + QLatin1Char('-') + ctx_.today();
}

void RecordView::exportRows()
{
    if (exportRunning)
        return;
    const QScopedValueRollback<bool> running(exportRunning, true);
    // What the file holds is what the grid shows, an edit in progress included.
    commitEdits();
    MessageService& m = ctx_.messages();
    const QString file = chooseDocumentFile(ctx_, kExportCaption, exportName(), QStringLiteral(".csv"),
                                            QStringLiteral("CSV 文件 (*.csv)"));
    if (file.isEmpty())
        return;
    const QFileInfo target(file);

    // The columns the grid shows, in the order it shows them.
    QList<CsvColumn> columns;
    const QHeaderView* header = horizontalHeader();
    const QStringList names = model_->columnNames();
    for (int v = 0; v < header->count(); ++v) {
        const int c = header->logicalIndex(v);
        if (c < 0 || c >= names.size() || header->isSectionHidden(c))
            continue;
        CsvColumn col{model_->headerData(c, Qt::Horizontal).toString(), names.at(c)};
        if (masks_.contains(c))
            col.fixedText = masks_.value(c);
        columns << col;
    }

    QProgressDialog progress(QStringLiteral("正在导出记录…"), QStringLiteral("取消"), 0, 100, this);
    progress.setObjectName(QStringLiteral("export_progress"));
    progress.setWindowTitle(kExportCaption);
    // Nothing else may change the rows or close the grid meanwhile.
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(0);
    progress.setValue(0);
    progress.show();
    const CsvResult r =
        exportCsv(model_->database(), source(), columns, target.absoluteFilePath(), [&](qint64, double done) {
            const int value = qBound(0, static_cast<int>(done * 100), 100);
            if (value != progress.value())
                progress.setValue(value);
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        });
    progress.close();
    // The grid's window is the one the person works in: it gets the keys
    // again (not every window manager gives them back after the dialog).
    if (window()->isVisible())
        window()->activateWindow();

    const QString shown = QDir::toNativeSeparators(target.absoluteFilePath());
    switch (r.outcome) {
    case CsvOutcome::Written:
        m.information(QStringLiteral("已导出 %1 行记录到文件：\n%2").arg(r.rows).arg(shown), kExportCaption);
        break;
    case CsvOutcome::Cancelled:
        break;
    case CsvOutcome::ReadFailed:
        m.critical(QStringLiteral("导出没有完成，没有保存文件。\n%1")
                       .arg(MessageService::databaseErrorText(r.error)),
                   QStringLiteral("错误信息"));
        break;
    case CsvOutcome::WriteFailed:
        m.critical(QStringLiteral(
                       "无法写入文件：\n%1\n导出没有完成，没有保存文件。请检查磁盘空间和文件夹的写入权限。"
                       "\n（详细信息：%2）")
                       .arg(shown, r.error),
                   QStringLiteral("错误"));
        break;
    }
}

} // namespace shop
