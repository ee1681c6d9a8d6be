#include "record_view.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

namespace shop {

RecordView::RecordView(AppContext& ctx, Database& db, const QString& table, QWidget* parent)
    : QTableView(parent), ctx_(ctx), table_(table), model_(new RecordModel(db, this)), popup_(new QMenu(this))
{
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    // Row numbers cost the header work per row over a long view; a fixed
    // row height keeps scrolling cheap.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->hide();
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &RecordView::sortByHeader);
    connect(model_, &RecordModel::writeFailed, this, &RecordView::reportError);
    connect(this, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (auto r = model_->record(index.row()))
            emit rowClicked(*r);
    });
    connect(&stateTimer_, &QTimer::timeout, this, &RecordView::updateItemStates);
    // Views of a table re-query when another window says it changed.
    connect(&ctx_.notifier(), &TableNotifier::tableChanged, this, [this](const QString& t) {
        if (t.compare(table_, Qt::CaseInsensitive) == 0)
            rerun();
    });
}

void RecordView::reportError(const QString& error) const
{
    ctx_.messages().critical(QStringLiteral("数据库操作失败：%1").arg(error), QStringLiteral("错误信息"));
}

bool RecordView::checked(const DbResult& r)
{
    if (!r.ok)
        reportError(r.error);
    emit rerun_done();
    return r.ok;
}

bool RecordView::setSource(const RecordSource& source)
{
    commitEdits();
    return checked(model_->setSource(source));
}

bool RecordView::rerun()
{
    commitEdits();
    return checked(model_->rerun());
}

bool RecordView::refresh()
{
    return setSource(RecordSource::all(table_));
}

void RecordView::setSortColumns(const QHash<int, QString>& columns, const QStringList& shown)
{
    sortMap_.clear();
    for (auto it = columns.constBegin(); it != columns.constEnd(); ++it)
        sortMap_.insert(it.key(), RecordSource{table_, shown, {}, {}}.orderBy(it.value()));
}

void RecordView::sortByHeader(int index)
{
    auto it = sortMap_.constFind(index);
    if (it == sortMap_.constEnd())
        rerun();
    else
        setSource(*it);
}

bool RecordView::search(const SearchItem& item)
{
    const QString answer = ctx_.messages().input(item.prompt, item.title, QString());
    if (answer.isEmpty())
        return false;
    return searchFor(item, answer);
}

bool RecordView::searchFor(const SearchItem& item, const QString& answer)
{
    RecordSource s{table_, item.columns, {}, {}};
    s.filter(item.column, Op::Contains, answer);
    if (!setSource(s))
        return false;
    if (!model_->isEmpty())
        return true;
    ctx_.messages().critical(item.notFoundText, item.notFoundCaption);
    setSource(item.fallback.value_or(RecordSource{table_, item.columns, {}, {}}));
    return false;
}

void RecordView::setLockPair(QAction* lockItem, QAction* editItem, bool fullLock)
{
    lockItem_ = lockItem;
    editItem_ = editItem;
    fullLock_ = fullLock;
    connect(lockItem, &QAction::triggered, this, &RecordView::lock);
    connect(editItem, &QAction::triggered, this, &RecordView::unlock);
}

void RecordView::lock()
{
    commitEdits();
    if (lockItem_)
        lockItem_->setEnabled(false);
    if (editItem_)
        editItem_->setEnabled(true);
    setAllowUpdate(false);
    if (fullLock_)
        allowDelete_ = false;
}

void RecordView::unlock()
{
    if (editItem_)
        editItem_->setEnabled(false);
    if (lockItem_)
        lockItem_->setEnabled(true);
    setAllowUpdate(true);
    if (fullLock_)
        allowDelete_ = true;
}

void RecordView::setAllowUpdate(bool on)
{
    allowUpdate_ = on;
    model_->setEditable(on);
}

std::optional<Record> RecordView::currentRecord() const
{
    const QModelIndex i = currentIndex();
    if (!i.isValid())
        return std::nullopt;
    return model_->record(i.row());
}

bool RecordView::selectRowid(qint64 rowid)
{
    const int row = model_->rowOfRowid(rowid);
    if (row < 0)
        return false;
    setCurrentIndex(model_->index(row, 0));
    return true;
}

bool RecordView::deleteSelected(const QString& caption)
{
    const auto rec = currentRecord();
    if (!ctx_.messages().question(QStringLiteral("真的想删除所选的记录吗？"), caption))
        return false;
    if (!rec)
        return false;
    commitEdits();
    const DbResult r = model_->deleteRowid(rec->rowid);
    checked(r);
    if (r.ok)
        emit ctx_.notifier().tableChanged(table_);
    return r.ok;
}

void RecordView::updateItemStates()
{
    const bool on = !model_->isEmpty();
    for (const auto& w : std::as_const(stateWidgets_))
        if (w)
            w->setEnabled(on);
    for (const auto& a : std::as_const(stateActions_))
        if (a)
            a->setEnabled(on);
}

void RecordView::startItemStateTimer(int intervalMs)
{
    stateTimer_.start(intervalMs);
    updateItemStates();
}

bool RecordView::commitEdits()
{
    if (!model_->hasPendingEdits())
        return true;
    return model_->flushEdits().ok;
}

void RecordView::mousePressEvent(QMouseEvent* e)
{
    QTableView::mousePressEvent(e);
    if (e->button() == Qt::RightButton && !popup_->actions().isEmpty())
        popup_->popup(e->globalPosition().toPoint());
}

void RecordView::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Delete && state() != EditingState) {
        if (allowDelete_ && currentIndex().isValid())
            deleteSelected(window()->windowTitle());
        return;
    }
    QTableView::keyPressEvent(e);
}

bool RecordView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    const bool userEdit = trigger == DoubleClicked || trigger == AnyKeyPressed || trigger == EditKeyPressed;
    if (userEdit && !allowUpdate_) {
        if (warnWhenLocked_ && index.isValid()) {
            // A key that would not start an edit is not "acting on a cell".
            bool typed = trigger != AnyKeyPressed;
            if (auto* k = dynamic_cast<QKeyEvent*>(event))
                typed = typed || !k->text().isEmpty();
            if (typed)
                ctx_.messages().critical(QStringLiteral("不能编辑内容，因为目前表格处于锁定状态！"),
                                         QStringLiteral("错误"));
        }
        return false;
    }
    return QTableView::edit(index, trigger, event);
}

void RecordView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    // The base class commits an open editor of the previous cell first;
    // then leaving the row writes its in-place edits.
    QTableView::currentChanged(current, previous);
    if (model_->hasPendingEdits() && (!current.isValid() || current.row() != model_->pendingRow()))
        commitEdits();
}

} // namespace shop
