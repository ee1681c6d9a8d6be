#include "record_view.h"

#include "grid_delegates.h"

#include "data/table_rows.h"

#include <QAction>
#include <QActionEvent>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>

namespace shop {

RecordView::RecordView(AppContext& ctx, Database& db, const QString& table, QWidget* parent)
    : QTableView(parent), ctx_(ctx), table_(table), model_(new RecordModel(db, this)), popup_(new QMenu(this))
{
    setModel(model_);
    setItemDelegate(new GridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Tab leaves the grid for the next control instead of moving from cell
    // to cell (the arrows do that); an open cell editor still passes Tab on
    // to the next cell, as a sheet does, until Enter or Escape closes it.
    setTabKeyNavigation(false);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    // Row numbers cost the header work per row over a long view; a fixed
    // row height keeps scrolling cheap.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->hide();
    // The grid lines are drawn in paintEvent as filled rectangles: the
    // view's own lines went through the line stroker pixel by pixel, a
    // quarter of the time a screen took to paint.
    setShowGrid(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &RecordView::sortByHeader);
    // Rows that cannot be read are never passed over in silence.
    connect(model_, &RecordModel::readFailed, this,
            [this](const QString& e) { ctx_.messages().databaseError(e); });
    connect(model_, &RecordModel::writeFailed, this,
            [this](const QString& error) { ctx_.messages().databaseError(error); });
    connect(model_, &RecordModel::editedRowGone, this, [this] {
        ctx_.messages().critical(QStringLiteral("此记录已被删除，所做的修改没有保存！"),
                                 QStringLiteral("错误"));
        queueRerun();
    });
    connect(this, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (auto r = model_->record(index.row()))
            emit rowClicked(*r);
    });
    // The notifier is the only trigger that re-runs a view after a write.
    connect(&ctx_.notifier(), &TableNotifier::tableChanged, this, &RecordView::tableChanged);

    // Ctrl+E works while the grid (or its cell editor) has the focus, so
    // each grid of a window exports its own rows.
    exportAction_ = new QAction(QStringLiteral("导出…"), this);
    exportAction_->setObjectName(QStringLiteral("export"));
    exportAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    exportAction_->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(exportAction_);
    connect(exportAction_, &QAction::triggered, this, &RecordView::exportRows);
    exportLine_ = new QAction(this);
    exportLine_->setSeparator(true);
    exportLine_->setObjectName(QStringLiteral("export_line"));
    // Items a window adds later still come before the export item.
    popup_->installEventFilter(this);
}

RecordView::~RecordView()
{
    if (popup_)
        popup_->removeEventFilter(this);
}

void RecordView::tableChanged(const QString& table)
{
    // A view that has not run yet has nothing to re-read; the view whose
    // in-place edit was written already shows it.
    if (ownWrite_ || source().table.isEmpty() || table.compare(table_, Qt::CaseInsensitive) != 0)
        return;
    rerun();
}

bool RecordView::checked(const DbResult& r)
{
    // The rows laid out now, before the next paint: left to the view's own
    // timer, the layout could come after a paint and paint everything again.
    executeDelayedItemsLayout();
    if (!r.ok)
        ctx_.messages().databaseError(r.error);
    emit reran();
    return r.ok;
}

bool RecordView::setSource(const RecordSource& source)
{
    commitEdits();
    rerunQueued_ = false;
    return checked(model_->setSource(source));
}

bool RecordView::setSource(const RecordSource& source, QVector<qint64> rowidsInOrder)
{
    commitEdits();
    rerunQueued_ = false;
    return checked(model_->setSource(source, std::move(rowidsInOrder)));
}

bool RecordView::rerun()
{
    // The same rows again: the row the user is on stays current, so that
    // delete and modify still act on what the fields show.
    const QModelIndex current = currentIndex();
    const qint64 kept = current.isValid() ? model_->rowidAt(current.row()) : 0;
    commitEdits();
    rerunQueued_ = false;
    const DbResult r = model_->rerun();
    if (r.ok && kept != 0) {
        const int row = model_->rowOfRowid(kept);
        if (row >= 0)
            setCurrentIndex(model_->index(row, qMax(0, current.column())));
        else
            emit currentRowLost(kept);
    }
    return checked(r);
}

bool RecordView::refresh()
{
    return setSource(RecordSource::all(table_));
}

void RecordView::setSortMap(const QHash<int, RecordSource>& map, UnmappedHeader unmapped)
{
    sortMap_ = map;
    unmapped_ = unmapped;
}

void RecordView::setSortColumns(const QHash<int, QString>& columns, const QStringList& shown,
                                UnmappedHeader unmapped)
{
    QHash<int, RecordSource> map;
    for (auto it = columns.constBegin(); it != columns.constEnd(); ++it)
        map.insert(it.key(), RecordSource{table_, shown, {}, {}}.orderBy(it.value()));
    setSortMap(map, unmapped);
}

void RecordView::sortByHeader(int index)
{
    auto it = sortMap_.constFind(index);
    if (it != sortMap_.constEnd())
        setSource(*it);
    else if (unmapped_ == UnmappedHeader::Rerun)
        rerun();
}

SearchResult RecordView::search(const SearchItem& item)
{
    const QString answer = ctx_.messages().input(item.prompt, item.title, QString());
    if (answer.isEmpty())
        return SearchResult::Cancelled;
    return searchFor(item, answer);
}

SearchResult RecordView::searchFor(const SearchItem& item, const QString& answer)
{
    RecordSource s{table_, item.columns, {}, {}};
    s.filter(item.column, item.match, answer);
    return showOrFallBack(s, item.notFoundText, item.notFoundCaption,
                          item.fallback.value_or(RecordSource{table_, item.columns, {}, {}}));
}

SearchResult RecordView::showOrFallBack(const RecordSource& source, const QString& notFound,
                                        const QString& caption, const std::optional<RecordSource>& fallback)
{
    if (!setSource(source))
        return SearchResult::Failed;
    if (!model_->isEmpty())
        return SearchResult::Found;
    ctx_.messages().critical(notFound, caption);
    setSource(fallback.value_or(RecordSource::all(table_)));
    return SearchResult::NotFound;
}

RecordView::LockMenu RecordView::addLockMenu(const MenuItem& lock, const MenuItem& edit,
                                             const MenuItem& refresh, LockKind kind, QMenu* menu,
                                             bool refreshShowsAll)
{
    if (!menu)
        menu = popup_;
    LockMenu out;
    out.lock = menuItem(menu, lock);
    menu->addSeparator();
    out.edit = menuItem(menu, edit);
    menu->addSeparator();
    out.refresh = menuItem(menu, refresh);
    setLockPair(out.lock, out.edit, kind);
    if (refreshShowsAll)
        connect(out.refresh, &QAction::triggered, this, &RecordView::refresh);
    return out;
}

RecordView::LockMenu RecordView::adoptMenu(QMenu* menu, const LockMenuNames& names, LockKind kind,
                                           AdoptedLock lock)
{
    if (!menu)
        return {};
    setPopupMenu(menu);
    auto item = [menu](const char* name) { return menu->findChild<QAction*>(QLatin1String(name)); };
    const LockMenu out{item(names.lock), item(names.edit), item(names.refresh)};
    if (out.lock && out.edit) {
        setLockPair(out.lock, out.edit, kind);
        if (lock == AdoptedLock::LockGrid) {
            this->lock();
        } else {
            out.lock->setEnabled(false);
            out.edit->setEnabled(true);
        }
    }
    if (out.refresh)
        connect(out.refresh, &QAction::triggered, this, &RecordView::refresh);
    return out;
}

void RecordView::setLockPair(QAction* lockItem, QAction* editItem, LockKind kind)
{
    lockItem_ = lockItem;
    editItem_ = editItem;
    lockKind_ = kind;
    connect(lockItem, &QAction::triggered, this, &RecordView::lock);
    connect(editItem, &QAction::triggered, this, &RecordView::unlock);
}

void RecordView::lock()
{
    commitEdits();
    setLocked(true);
}

void RecordView::unlock()
{
    setLocked(false);
}

void RecordView::setLocked(bool locked)
{
    if (lockItem_)
        lockItem_->setEnabled(!locked);
    if (editItem_)
        editItem_->setEnabled(locked);
    setAllowUpdate(!locked);
    if (lockKind_ == LockKind::Full)
        allowDelete_ = !locked;
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

QMenu* RecordView::popupMenu() const
{
    return popup_;
}

void RecordView::setPopupMenu(QMenu* menu)
{
    if (popup_) {
        popup_->removeEventFilter(this);
        popup_->removeAction(exportLine_);
        popup_->removeAction(exportAction_);
    }
    popup_ = menu;
    if (popup_) {
        popup_->installEventFilter(this);
        placeExportItem(false);
    }
}

void RecordView::maskColumn(int column, const QString& mask)
{
    masks_.insert(column, mask);
    setItemDelegateForColumn(column, new MaskDelegate(mask, this));
}

void RecordView::refuseDuplicateEdits(const QString& column, const QString& message)
{
    const int index = static_cast<int>(model_->database().columns(table_).indexOf(column));
    if (index < 0)
        return;
    // The delegate refuses at once what is taken already; the model checks
    // again as it writes, for a value another till takes meanwhile.
    model_->setUniqueColumn(column);
    setItemDelegateForColumn(index, new UniqueColumnDelegate(this, message));
    connect(model_, &RecordModel::uniqueValueTaken, this,
            [this, message] { ctx_.messages().critical(message, QStringLiteral("错误")); });
}

bool RecordView::bringToRow(qint64 rowid)
{
    if (!selectRowid(rowid)) {
        if (!refresh() || !selectRowid(rowid))
            return false;
    }
    scrollTo(currentIndex(), EnsureVisible);
    return true;
}

DeleteResult RecordView::deleteSelected(const QString& question, const QString& caption)
{
    // Nothing to delete: no question about nothing.
    const auto rec = currentRecord();
    if (!rec)
        return DeleteResult::NoRow;
    if (!ctx_.messages().question(question, caption))
        return DeleteResult::No;
    commitEdits();
    const DbResult r = rows::deleteRowid(model_->database(), table_, rec->rowid);
    if (!r) {
        ctx_.messages().databaseError(r.error);
        return DeleteResult::Failed;
    }
    // Every open view of the table re-reads once, this one included.
    emit ctx_.notifier().tableChanged(table_);
    return DeleteResult::Deleted;
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
    emit statesUpdated();
}

QTimer* RecordView::startItemStateTimer(int intervalMs, const char* timerName)
{
    if (!stateTimer_) {
        stateTimer_ = new QTimer(this);
        connect(stateTimer_, &QTimer::timeout, this, &RecordView::updateItemStates);
        // A re-read brings the states in step at once, not at the next tick.
        connect(this, &RecordView::reran, this, &RecordView::updateItemStates);
    }
    stateTimer_->setObjectName(QLatin1String(timerName));
    stateTimer_->start(intervalMs);
    updateItemStates();
    return stateTimer_;
}

void RecordView::commitOpenEditor()
{
    if (editor_ && state() == EditingState)
        commitData(editor_);
}

bool RecordView::commitEdits()
{
    commitOpenEditor();
    if (!model_->hasPendingEdits())
        return true;
    const bool moves = model_->pendingMovesRow();
    if (!model_->flushEdits().ok)
        return false;
    {
        const QScopedValueRollback<bool> own(ownWrite_, true);
        emit ctx_.notifier().tableChanged(table_);
    }
    // The row's sort key changed: pages read from here on would show it a
    // second time at its new place.
    if (moves)
        queueRerun();
    return true;
}

void RecordView::queueRerun()
{
    // Once the current event (often the move of the current row) is over.
    if (rerunQueued_)
        return;
    rerunQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (rerunQueued_)
                rerun();
        },
        Qt::QueuedConnection);
}

void RecordView::mousePressEvent(QMouseEvent* e)
{
    // The right button only opens the popup: it neither selects nor loads
    // a row, so the current row stays the one the fields show.
    if (e->button() == Qt::RightButton) {
        placeExportItem(true);
        if (popup_ && !popup_->actions().isEmpty())
            popup_->popup(e->globalPosition().toPoint());
        e->accept();
        return;
    }
    QTableView::mousePressEvent(e);
}

void RecordView::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Delete && state() != EditingState) {
        if (allowDelete_ && currentIndex().isValid())
            deleteSelected(defaultDeleteQuestion(), window()->windowTitle());
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
    if (!QTableView::edit(index, trigger, event))
        return false;
    // The editor the view just opened takes the focus; remember it so that
    // its text can be written when the window closes or the grid re-runs.
    if (QWidget* f = QApplication::focusWidget(); f && viewport()->isAncestorOf(f))
        editor_ = f;
    return true;
}

void RecordView::showEvent(QShowEvent* e)
{
    placeExportItem(true);
    if (watchedWindow_ != window()) {
        if (watchedWindow_)
            watchedWindow_->removeEventFilter(this);
        watchedWindow_ = window();
        watchedWindow_->installEventFilter(this);
    }
    QTableView::showEvent(e);
}

void RecordView::resizeEvent(QResizeEvent* e)
{
    QTableView::resizeEvent(e);
    // A page that ends on the screen is followed at once by the next one
    // and a second paint.
    const int rowHeight = qMax(1, verticalHeader()->defaultSectionSize());
    model_->setRowsOnScreen(viewport()->height() / rowHeight + 2);
}

void RecordView::paintEvent(QPaintEvent* e)
{
    QTableView::paintEvent(e);
    // Lines after the cells, where the view's own stood: under each row and
    // right of each column, as far as the rows and columns reach (the cells
    // drawn without the grid take their room, and the lines paint over it).
    const QRect dirty = e->rect();
    const int firstRow = rowAt(dirty.top());
    if (firstRow < 0)
        return;
    const int lastRow = rowAt(dirty.bottom()) < 0 ? model_->rowCount() - 1 : rowAt(dirty.bottom());
    const QHeaderView* header = horizontalHeader();
    const int right = qMin(dirty.right(), header->length() - header->offset() - 1);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QColor color = QColor::fromRgba(
        static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    QPainter painter(viewport());
    int bottom = dirty.top() - 1;
    for (int row = firstRow; row <= lastRow; ++row) {
        bottom = rowViewportPosition(row) + rowHeight(row) - 1;
        painter.fillRect(QRect(dirty.left(), bottom, right - dirty.left() + 1, 1), color);
    }
    const int height = qMin(dirty.bottom(), bottom) - dirty.top() + 1;
    const int firstColumn = qMax(0, header->visualIndexAt(dirty.left()));
    const int lastColumn =
        header->visualIndexAt(dirty.right()) < 0 ? header->count() - 1 : header->visualIndexAt(dirty.right());
    for (int visual = firstColumn; visual <= lastColumn && height > 0; ++visual) {
        const int column = header->logicalIndex(visual);
        if (header->isSectionHidden(column))
            continue;
        const int x = columnViewportPosition(column) + columnWidth(column) - 1;
        painter.fillRect(QRect(x, dirty.top(), 1, height), color);
    }
}

void RecordView::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::RightButton) {
        e->accept();
        return;
    }
    QTableView::mouseReleaseEvent(e);
}

void RecordView::hideEvent(QHideEvent* e)
{
    commitOrDrop();
    QTableView::hideEvent(e);
}

void RecordView::commitOrDrop()
{
    // The grid goes out of sight: an edit that cannot be written was
    // reported once and is dropped, the stored row stays as it was.
    if (!commitEdits())
        model_->discardEdits();
}

bool RecordView::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == popup_ && e->type() == QEvent::ActionAdded &&
        static_cast<QActionEvent*>(e)->action() != exportAction_)
        placeExportItem(false);
    // Written before the window goes, so a failure is said while it shows.
    if (watched == watchedWindow_ && e->type() == QEvent::Close)
        commitOrDrop();
    return QTableView::eventFilter(watched, e);
}

void RecordView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    // The base class commits an open editor of the previous cell first;
    // then leaving the row writes its in-place edits.
    QTableView::currentChanged(current, previous);
    if (model_->hasPendingEdits() && (!current.isValid() || current.row() != model_->pendingRow()))
        commitEdits();
}

RecordView* namedGrid(AppContext& ctx, Database& db, const QString& table, const char* name,
                      const char* dataName, QWidget* parent)
{
    auto* grid = new RecordView(ctx, db, table, parent);
    grid->setObjectName(QLatin1String(name));
    if (dataName)
        grid->records()->setObjectName(QLatin1String(dataName));
    return grid;
}

} // namespace shop
