#include "browser_window.h"

#include <QAction>
#include <QMenu>
#include <QVBoxLayout>

namespace shop {

namespace {
// Said by every search and list that finds nothing (critical, no caption).
const QString kNotFound = QStringLiteral("未找到相应的记录！");
} // namespace

BrowserWindow::BrowserWindow(AppContext& ctx, const BrowserSetup& setup, QWidget* parent)
    : QWidget(parent), ctx_(ctx)
{
    setObjectName(setup.name);
    setWindowTitle(setup.caption);
    resize(900, 520);

    bg_ = namedGrid(ctx_, ctx_.business(), setup.table, "bg", "Data1", this);
    bg_->setAllowUpdate(false);
    bg_->setAllowDelete(false);
    menu()->setObjectName(setup.menuName);
    menu()->setTitle(setup.menuCaption);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(bg_, 1);

    bg_->startItemStateTimer(100, "Timer1");
}

QAction* BrowserWindow::item(const QString& name) const
{
    return menu()->findChild<QAction*>(name);
}

QAction* BrowserWindow::addMenuItem(const char* name, const QString& text)
{
    if (!menu()->actions().isEmpty())
        menu()->addSeparator();
    return menuItem(menu(), {name, text});
}

QAction* BrowserWindow::addItem(const char* name, const QString& text)
{
    QAction* a = addMenuItem(name, text);
    bg_->addStateItem(a);
    a->setEnabled(!bg_->isEmpty());
    return a;
}

QAction* BrowserWindow::addShowAll(const char* name, const QString& text)
{
    QAction* all = addMenuItem(name, text);
    connect(all, &QAction::triggered, bg_, &RecordView::refresh);
    return all;
}

QAction* BrowserWindow::addSearch(const char* name, const QString& text, const QString& prompt,
                                  const QString& title, const QString& column)
{
    QAction* a = addItem(name, text);
    const SearchItem search{prompt, title, column, kNotFound, QString()};
    connect(a, &QAction::triggered, this, [this, search] { bg_->search(search); });
    return a;
}

void BrowserWindow::addControlRow(QLayout* row)
{
    auto* box = static_cast<QVBoxLayout*>(layout());
    row->setContentsMargins(6, 6, 6, 0);
    // The grid stays the last item and keeps the spare height.
    box->insertLayout(box->indexOf(bg_), row);
}

SearchResult BrowserWindow::showOrFallBack(const RecordSource& source)
{
    return bg_->showOrFallBack(source, kNotFound, QString());
}

} // namespace shop
