#pragma once

#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

namespace shop {

class AppContext;

// Owns separate windows that delete themselves when closed
// (WA_DeleteOnClose): those still open when the owner closes them all or
// goes (the end of the program, the end of a test) are deleted with it.
// The owner is a hidden widget; a child with the Qt::Window flag is still a
// window of its own.
class WindowOwner {
public:
    template <typename W> W* adopt(W* window)
    {
        window->setParent(root(), window->windowFlags() | Qt::Window);
        return window;
    }
    void closeAll() { root_.reset(); }

private:
    QWidget* root();
    std::unique_ptr<QWidget> root_;
};

// Opens the separate windows by name: non-modal, at most one of each,
// brought forward when opened again. Tabs of the main window are made here
// too, so adding a window or a tab is one line in windows.cpp.
class WindowRegistry {
public:
    using Factory = std::function<QWidget*(AppContext&)>;
    using TabFactory = std::function<QWidget*(AppContext&, QWidget* parent)>;
    using Access = std::function<bool(const AppContext&, const QString& name)>;

    void add(const QString& name, Factory factory) { factories_.insert(name, std::move(factory)); }
    void addTab(const QString& name, TabFactory factory) { tabs_.insert(name, std::move(factory)); }
    bool has(const QString& name) const { return factories_.contains(name); }
    bool hasTab(const QString& name) const { return tabs_.contains(name); }
    QStringList names() const { return factories_.keys(); }
    QStringList tabNames() const { return tabs_.keys(); }

    // Creates the window if it is not open, shows it and brings it forward.
    // Returns nullptr for a name without a window.
    QWidget* open(AppContext& ctx, const QString& name);
    // The open window of that name, if any.
    QWidget* find(const QString& name) const;
    // The content of a tab, made once for its frame.
    QWidget* createTab(AppContext& ctx, const QString& name, QWidget* parent) const;
    // What the main window's work area shows while no tab does (made once
    // for the main window); nullptr when none is registered.
    void setIdlePage(TabFactory factory) { idlePage_ = std::move(factory); }
    QWidget* createIdlePage(AppContext& ctx, QWidget* parent) const
    {
        return idlePage_ ? idlePage_(ctx, parent) : nullptr;
    }
    // Closes every open window (the program ends or the tests tear down).
    void closeAll();

    // Whether the login may open the window or tab `name` by the shell's
    // rights, so that a page showing another window's data shows it to the
    // same accounts. False for every name until the rights are set.
    void setAccess(Access access) { access_ = std::move(access); }
    bool mayOpen(const AppContext& ctx, const QString& name) const
    {
        return (has(name) || hasTab(name)) && access_ && access_(ctx, name);
    }

private:
    QHash<QString, Factory> factories_;
    QHash<QString, TabFactory> tabs_;
    TabFactory idlePage_;
    Access access_;
    QHash<QString, QPointer<QWidget>> open_;
    // Last, so the windows go before the factories they came from.
    WindowOwner owner_;
};

// Registers every window and tab of the program (windows.cpp).
void registerWindows(WindowRegistry& registry);

} // namespace shop
