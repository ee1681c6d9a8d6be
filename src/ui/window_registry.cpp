#include "window_registry.h"

namespace shop {

QWidget* WindowOwner::root()
{
    if (!root_)
        root_ = std::make_unique<QWidget>();
    return root_.get();
}

QWidget* WindowRegistry::open(AppContext& ctx, const QString& name)
{
    if (QWidget* w = find(name)) {
        w->show();
        w->raise();
        w->activateWindow();
        return w;
    }
    auto it = factories_.constFind(name);
    if (it == factories_.constEnd())
        return nullptr;
    QWidget* w = (*it)(ctx);
    if (!w)
        return nullptr;
    // Closing a window unloads it; opening it again loads it afresh.
    owner_.adopt(w);
    w->setAttribute(Qt::WA_DeleteOnClose);
    if (w->objectName().isEmpty())
        w->setObjectName(name);
    open_.insert(name, w);
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

QWidget* WindowRegistry::find(const QString& name) const
{
    auto it = open_.constFind(name);
    return it != open_.constEnd() && *it ? it->data() : nullptr;
}

QWidget* WindowRegistry::createTab(AppContext& ctx, const QString& name, QWidget* parent) const
{
    auto it = tabs_.constFind(name);
    return it == tabs_.constEnd() ? nullptr : (*it)(ctx, parent);
}

void WindowRegistry::closeAll()
{
    open_.clear();
    owner_.closeAll();
}

} // namespace shop
