#include "browser_window.h"

#include <QAction>
#include <QMenu>
#include <QVBoxLayout>

namespace shop {

BrowserWindow::BrowserWindow(AppContext& ctx, const BrowserSetup& setup, QWidget* parent)
    : QWidget(parent), ctx_(ctx)
{
    setObjectName(setup.name);
    setWindowTitle(setup.caption);
    resize(900, 520);

    bg_ = new RecordView(ctx_, ctx_.business(), setup.table, this);
    bg_->setObjectName(QStringLiteral("bg"));
    bg_->records()->setObjectName(QStringLiteral("Data1"));
    bg_->setAllowUpdate(false);
    bg_->setAllowDelete(false);
    menu()->setObjectName(setup.menuName);
    menu()->setTitle(setup.menuCaption);

    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->addWidget(bg_, 1);

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
    QAction* a = menu()->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    return a;
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
    connect(a, &QAction::triggered, this, [this, prompt, title, column] {
        bg_->search(SearchItem{prompt, title, column, notFound_, notFoundCaption_});
    });
    return a;
}

SearchResult BrowserWindow::showOrFallBack(const RecordSource& source)
{
    return bg_->showOrFallBack(source, notFound_, notFoundCaption_);
}

void BrowserWindow::setNotFound(const QString& text, const QString& caption)
{
    notFound_ = text;
    notFoundCaption_ = caption;
}

} // namespace shop
