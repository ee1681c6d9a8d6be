#include "import_window.h"

#include "import_service.h"
#include "ui/document_path.h"
#include "ui/input_filters.h"
#include "ui/widgets.h"

#include "data/csv_export.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

namespace shop {

using namespace imports;

namespace {

const QString kCaption = QStringLiteral("导入");
// Rows read before the preview first shows, and in each slice after it.
constexpr qsizetype kFirstScreen = 200;
constexpr qsizetype kSliceRows = 5000;
// The columns the grid shows before the file's own.
constexpr int kLeading = 2;

QString countsText(const ImportPreview::Counts& c)
{
    return QStringLiteral("新增 %1 行，更新 %2 行，拒绝 %3 行").arg(c.added).arg(c.updated).arg(c.refused);
}

} // namespace

// The preview's rows as the grid reads them, a screen at a time: the
// file's row, the verdict and the cells as the file has them.
class ImportRowsModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setPreview(const ImportPreview* preview)
    {
        beginResetModel();
        preview_ = preview;
        rows_ = preview ? preview->size() : 0;
        imported_ = false;
        endResetModel();
    }
    // Rows the preview read since.
    void grew()
    {
        const qsizetype n = preview_ ? preview_->size() : 0;
        if (n <= rows_)
            return;
        beginInsertRows({}, static_cast<int>(rows_), static_cast<int>(n - 1));
        rows_ = n;
        endInsertRows();
    }
    // The verdicts or the mapping changed.
    void rechecked()
    {
        if (columnCount() > 0)
            emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
        if (rows_ > 0)
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }
    void setImported()
    {
        imported_ = true;
        rechecked();
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(rows_);
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() || !preview_
                   ? 0
                   : kLeading + static_cast<int>(preview_->columns().headings().size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!preview_ || !index.isValid() || index.row() >= rows_)
            return {};
        const qsizetype i = index.row();
        const Verdict& v = preview_->verdict(i);
        if (role == Qt::ForegroundRole && v.outcome == Outcome::Refused)
            return QColor(Qt::darkRed);
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return {};
        if (index.column() == 0)
            return QString::number(preview_->row(i));
        if (index.column() == 1) {
            if (imported_ && v.outcome != Outcome::Refused)
                return v.outcome == Outcome::Add ? QStringLiteral("已新增") : QStringLiteral("已更新");
            return preview_->verdictText(i);
        }
        return preview_->cell(i, index.column() - kLeading);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || !preview_)
            return QAbstractTableModel::headerData(section, orientation, role);
        if (section == 0)
            return QStringLiteral("行号");
        if (section == 1)
            return resultHeading();
        const int c = section - kLeading;
        const QString heading = preview_->columns().headings().value(c);
        const QString target = preview_->columns().target(c);
        if (target.isEmpty())
            return preview_->columns().unmatched().contains(c) ? heading + QStringLiteral("（未对应）")
                                                               : heading + QStringLiteral("（不导入）");
        return target == heading ? heading : heading + QStringLiteral(" → ") + target;
    }

private:
    const ImportPreview* preview_ = nullptr;
    qsizetype rows_ = 0;
    bool imported_ = false;
};

ImportWindow::ImportWindow(AppContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx)
{
    setWindowTitle(kCaption);

    kind_ = new QComboBox;
    kind_->setObjectName(QStringLiteral("cbo_kind"));
    for (Kind k : allKinds())
        kind_->addItem(kindText(k));
    file_ = lineEdit("txt_file");
    file_->setReadOnly(true);
    auto* chooseFile = button("cmd_file", QStringLiteral("选择文件(&F)…"));
    add_ = new QRadioButton(QStringLiteral("只新增(&A)"));
    add_->setObjectName(QStringLiteral("opt_add"));
    add_->setChecked(true);
    both_ = new QRadioButton(QStringLiteral("新增并更新已有的记录(&U)"));
    both_->setObjectName(QStringLiteral("opt_update"));

    mapping_ = new QGroupBox(QStringLiteral("文件中未对应的列：请选择导入到哪一列，或不导入"));
    mapping_->setObjectName(QStringLiteral("grp_columns"));
    mapGrid_ = new QGridLayout(mapping_);
    mapping_->hide();

    state_ = new QLabel;
    state_->setObjectName(QStringLiteral("lbl_state"));
    state_->setWordWrap(true);

    model_ = new ImportRowsModel(this);
    grid_ = new QTableView;
    grid_->setObjectName(QStringLiteral("bg"));
    grid_->setModel(model_);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    // The file's row number is a column of its own; rows keep one height,
    // so a long file lays out only what shows.
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->horizontalHeader()->setDefaultSectionSize(110);

    import_ = button("cmd_import", QStringLiteral("导入(&I)"));
    report_ = button("cmd_report", QStringLiteral("保存报告(&R)"));
    auto* close = button("cmd_close", QStringLiteral("关闭(&C)"));

    auto* top = new QGridLayout;
    top->addWidget(buddyLabel(QStringLiteral("导入内容(&K)："), kind_), 0, 0);
    top->addWidget(kind_, 0, 1);
    top->addWidget(buddyLabel(QStringLiteral("文件："), file_), 0, 2);
    top->addWidget(file_, 0, 3);
    top->addWidget(chooseFile, 0, 4);
    top->setColumnStretch(3, 1);
    auto* choice = new QHBoxLayout;
    choice->addWidget(add_);
    choice->addWidget(both_);
    choice->addStretch(1);
    top->addLayout(choice, 1, 1, 1, 4);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(mapping_);
    layout->addWidget(state_);
    layout->addWidget(grid_, 1);
    layout->addLayout(buttonRow({import_, report_, close}, SpareWidth::Before));

    reader_.setInterval(0);
    connect(&reader_, &QTimer::timeout, this, &ImportWindow::readOn);
    connect(chooseFile, &QPushButton::clicked, this, &ImportWindow::chooseFile);
    connect(kind_, &QComboBox::activated, this, [this] {
        if (!fileName_.isEmpty())
            load();
    });
    connect(both_, &QRadioButton::toggled, this, &ImportWindow::setUpdates);
    connect(import_, &QPushButton::clicked, this, &ImportWindow::startImport);
    connect(report_, &QPushButton::clicked, this, &ImportWindow::saveReport);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    showState();
    resize(900, 600);
    centreOnScreen(this);
}

ImportWindow::~ImportWindow()
{
    // The grid reads the preview: it lets go first.
    model_->setPreview(nullptr);
}

void ImportWindow::chooseFile()
{
    const QString file = ctx_.messages().openFileName(QStringLiteral("选择要导入的文件"), documentsFolder(),
                                                      QStringLiteral("CSV 文件 (*.csv *.txt);;所有文件 (*)"));
    if (file.isEmpty())
        return;
    fileName_ = file;
    file_->setText(QDir::toNativeSeparators(file));
    load();
}

void ImportWindow::clearPreview()
{
    reader_.stop();
    model_->setPreview(nullptr);
    preview_.reset();
    readError_.clear();
    imported_ = false;
    while (std::unique_ptr<QLayoutItem> item{mapGrid_->takeAt(0)}) {
        // Out of the group at once (its lists are read again), gone later.
        if (QWidget* w = item->widget()) {
            w->setParent(nullptr);
            w->deleteLater();
        }
    }
    mapping_->hide();
}

void ImportWindow::load()
{
    clearPreview();
    if (!ctx_.databasesOpen()) {
        ctx_.messages().databaseError(QStringLiteral("数据库未打开"));
        showState();
        return;
    }
    const Kind kind = allKinds().value(kind_->currentIndex(), Kind::Goods);
    auto preview = std::make_unique<ImportPreview>(ctx_.business(), kind);
    if (!preview->open(fileName_)) {
        ctx_.messages().critical(preview->error(), kCaption);
        showState();
        return;
    }
    preview->setUpdates(both_->isChecked());
    preview_ = std::move(preview);
    model_->setPreview(preview_.get());
    buildMapping();
    // A required column the file lacks is said before any row is read.
    if (const QString missing = preview_->missingColumns(); !missing.isEmpty()) {
        showState();
        ctx_.messages().critical(missing, kCaption);
        return;
    }
    if (readSlice(kFirstScreen))
        reader_.start();
    showState();
}

void ImportWindow::buildMapping()
{
    const QList<int> unmatched = preview_->columns().unmatched();
    const QStringList& columns = columnsOf(preview_->kind());
    int line = 0;
    for (const int c : unmatched) {
        auto* box = new QComboBox;
        box->setObjectName(QStringLiteral("cbo_map_%1").arg(c));
        box->addItem(QStringLiteral("（请选择）"));
        box->addItem(QStringLiteral("（不导入）"));
        box->addItems(columns);
        auto* label = new QLabel(
            QStringLiteral("第 %1 列「%2」：").arg(c + 1).arg(preview_->columns().headings().at(c)));
        label->setBuddy(box);
        mapGrid_->addWidget(label, line / 3, (line % 3) * 2);
        mapGrid_->addWidget(box, line / 3, (line % 3) * 2 + 1);
        ++line;
        connect(box, &QComboBox::activated, this, [this, c, box] { mapColumn(c, box); });
    }
    mapping_->setVisible(!unmatched.isEmpty());
}

void ImportWindow::mapColumn(int fileColumn, QComboBox* box)
{
    if (!preview_ || imported_ || box->currentIndex() <= 0)
        return;
    const bool wasMissing = !preview_->missingColumns().isEmpty();
    const QString column = box->currentIndex() == 1 ? QString() : box->currentText();
    if (!preview_->assign(fileColumn, column))
        return;
    // A column taken from another file column leaves that one not imported.
    for (QComboBox* other : mapping_->findChildren<QComboBox*>()) {
        const int c = other->objectName().mid(QStringLiteral("cbo_map_").size()).toInt();
        const QString target = preview_->columns().target(c);
        if (!target.isEmpty())
            other->setCurrentText(target);
        else if (!preview_->columns().unmatched().contains(c))
            other->setCurrentIndex(1);
    }
    model_->rechecked();
    if (wasMissing && preview_->missingColumns().isEmpty() && readSlice(kFirstScreen))
        reader_.start();
    showState();
}

void ImportWindow::setUpdates(bool on)
{
    if (!preview_ || imported_)
        return;
    preview_->setUpdates(on);
    model_->rechecked();
    showState();
}

bool ImportWindow::readSlice(qsizetype rows)
{
    if (!preview_ || preview_->atEnd() || !readError_.isEmpty())
        return false;
    const bool ok = preview_->readMore(rows);
    model_->grew();
    if (!ok) {
        readError_ = preview_->error();
        reader_.stop();
        ctx_.messages().critical(QStringLiteral("文件没有读完，不能导入：\n%1").arg(readError_), kCaption);
        return false;
    }
    return !preview_->atEnd();
}

void ImportWindow::readOn()
{
    if (!readSlice(kSliceRows))
        reader_.stop();
    showState();
}

void ImportWindow::showState()
{
    const bool ready = preview_ && preview_->missingColumns().isEmpty() && readError_.isEmpty() && !imported_;
    import_->setEnabled(ready);
    report_->setEnabled(imported_ && preview_ && preview_->counts().refused > 0);
    add_->setEnabled(!imported_);
    both_->setEnabled(!imported_);
    if (!preview_) {
        state_->setText(QStringLiteral("请选择要导入的内容和文件。"));
        return;
    }
    if (const QString missing = preview_->missingColumns(); !missing.isEmpty()) {
        state_->setText(missing);
        return;
    }
    if (!readError_.isEmpty()) {
        state_->setText(QStringLiteral("文件没有读完，不能导入：%1").arg(readError_));
        return;
    }
    const auto& c = preview_->counts();
    if (imported_)
        state_->setText(QStringLiteral("已导入：新增 %1 行，更新 %2 行；拒绝 %3 行。")
                            .arg(c.added)
                            .arg(c.updated)
                            .arg(c.refused));
    else if (preview_->atEnd())
        state_->setText(QStringLiteral("共 %1 行：%2。").arg(preview_->size()).arg(countsText(c)));
    else
        state_->setText(QStringLiteral("已读 %1 行（%2%）：%3……")
                            .arg(preview_->size())
                            .arg(static_cast<int>(preview_->progress() * 100))
                            .arg(countsText(c)));
}

void ImportWindow::startImport()
{
    if (!preview_ || imported_ || !preview_->missingColumns().isEmpty())
        return;
    MessageService& m = ctx_.messages();
    // The whole file is checked before the question.
    reader_.stop();
    while (readSlice(kSliceRows * 10)) {
    }
    showState();
    if (!readError_.isEmpty())
        return;
    const auto& c = preview_->counts();
    if (c.added + c.updated == 0) {
        m.exclamation(QStringLiteral("没有可以导入的行：%1。").arg(countsText(c)), kCaption);
        return;
    }
    QString question = QStringLiteral("将%1：%2。\n拒绝的行不导入；导入前先备份数据。")
                           .arg(kindText(preview_->kind()), countsText(c));
    if (const QList<int> unmatched = preview_->columns().unmatched(); !unmatched.isEmpty()) {
        QStringList names;
        for (const int u : unmatched)
            names << preview_->columns().headings().at(u);
        question += QStringLiteral("\n文件中的列「%1」没有对应的列，不导入。")
                        .arg(names.join(QStringLiteral("」、「")));
    }
    if (!m.question(question + QStringLiteral("\n确定导入吗？"), kCaption))
        return;
    if (!ctx_.databasesOpen()) {
        m.databaseError(QStringLiteral("数据库未打开"));
        return;
    }
    if (const QString refusal = ctx_.backupRefusal(); !refusal.isEmpty()) {
        m.critical(QStringLiteral("导入前的数据备份失败，没有导入任何数据。\n%1").arg(refusal),
                   QStringLiteral("错误"));
        return;
    }

    QProgressDialog progress(QStringLiteral("正在导入……"), QStringLiteral("取消"), 0, 100, this);
    progress.setObjectName(QStringLiteral("import_progress"));
    progress.setWindowTitle(kCaption);
    // Nothing else may write through the connection while the import's
    // transaction is open.
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(0);
    progress.setValue(0);
    progress.show();
    const ImportOutcome out = importAfterBackup(
        ctx_.paths(), ctx_.clock().now(), ctx_.business(), ctx_.accounts(), *preview_,
        [&progress](qsizetype done, qsizetype total) {
            progress.setLabelText(QStringLiteral("正在导入：第 %1 / %2 行").arg(done).arg(total));
            progress.setValue(total > 0 ? static_cast<int>(done * 100 / total) : 100);
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        });
    progress.close();
    if (isVisible())
        activateWindow();

    if (out.stage == ImportOutcome::Stage::BackupFailed) {
        m.critical(QStringLiteral("导入前的数据备份失败，没有导入任何数据。\n%1").arg(out.backup.error),
                   QStringLiteral("错误"));
        return;
    }
    switch (out.written.outcome) {
    case Written::Outcome::Cancelled:
        m.information(QStringLiteral("导入已取消，没有导入任何数据。"), kCaption);
        return;
    case Written::Outcome::Changed:
        m.critical(QStringLiteral("预览之后数据已有改动，没有导入任何数据。请重新选择文件预览。\n%1")
                       .arg(out.written.error),
                   kCaption);
        return;
    case Written::Outcome::Failed:
        m.critical(QStringLiteral("导入没有完成，没有导入任何数据。\n%1")
                       .arg(MessageService::databaseErrorText(out.written.error)),
                   QStringLiteral("错误信息"));
        return;
    case Written::Outcome::Written:
        break;
    }
    imported_ = true;
    model_->setImported();
    showState();
    ctx_.notifier().changed(out.written.tables);
    QString done = QStringLiteral("导入完成：新增 %1 行，更新 %2 行；拒绝 %3 行。")
                       .arg(out.written.added)
                       .arg(out.written.updated)
                       .arg(c.refused);
    if (c.refused > 0)
        done += QStringLiteral("\n可以用“保存报告”把拒绝的行和原因保存为 CSV 文件，改正后再导入。");
    m.information(done, kCaption);
}

void ImportWindow::saveReport()
{
    if (!preview_ || !imported_)
        return;
    const QString file =
        chooseDocumentFile(ctx_, QStringLiteral("保存报告"),
                           QStringLiteral("导入报告-%1-%2").arg(kindText(preview_->kind()), ctx_.today()),
                           QStringLiteral(".csv"), QStringLiteral("CSV 文件 (*.csv)"));
    if (file.isEmpty())
        return;
    // The refused rows as the file had them, each with its reason after its
    // cells: mended, the file imports again (the reason's column is skipped).
    const QStringList& headings = preview_->columns().headings();
    QList<QStringList> rows{headings + QStringList{resultHeading()}};
    for (qsizetype i = 0; i < preview_->size(); ++i) {
        if (preview_->verdict(i).outcome != Outcome::Refused)
            continue;
        QStringList cells;
        for (int c = 0; c < headings.size(); ++c)
            cells << preview_->cell(i, c);
        rows << cells + QStringList{preview_->verdictText(i)};
    }
    const CsvResult r = writeCsv(rows, file);
    const QString shown = QDir::toNativeSeparators(file);
    if (r.outcome == CsvOutcome::Written)
        ctx_.messages().information(
            QStringLiteral("已保存 %1 行拒绝的记录到文件：\n%2").arg(rows.size() - 1).arg(shown), kCaption);
    else
        ctx_.messages().critical(
            QStringLiteral("无法写入文件：\n%1\n没有保存报告。请检查磁盘空间和文件夹的写入权限。"
                           "\n（详细信息：%2）")
                .arg(shown, r.error),
            QStringLiteral("错误"));
}

} // namespace shop
