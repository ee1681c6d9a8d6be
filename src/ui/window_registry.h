#pragma once

#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

namespace shop {

class AppContext;

// Opens the separate windows by name: non-modal, at most one of each,
// brought forward when opened again. Tabs of the main window are made here
// too, so adding a window or a tab is one line in windows.cpp.
class WindowRegistry {
public:
    using Factory = std::function<QWidget*(AppContext&)>;
    using TabFactory = std::function<QWidget*(AppContext&, QWidget* parent)>;

    ~WindowRegistry();

    void add(const QString& name, Factory factory) { factories_.insert(name, std::move(factory)); }
    void addTab(const QString& name, TabFactory factory) { tabs_.insert(name, std::move(factory)); }
    bool has(const QString& name) const { return factories_.contains(name); }
    bool hasTab(const QString& name) const { return tabs_.contains(name); }

    // Creates the window if it is not open, shows it and brings it forward.
    // Returns nullptr for a name without a window.
    QWidget* open(AppContext& ctx, const QString& name);
    // The open window of that name, if any.
    QWidget* find(const QString& name) const;
    // The content of a tab, made once for its frame.
    QWidget* createTab(AppContext& ctx, const QString& name, QWidget* parent) const;
    // Closes every open window (the program ends or the tests tear down).
    void closeAll();

private:
    QHash<QString, Factory> factories_;
    QHash<QString, TabFactory> tabs_;
    QHash<QString, QPointer<QWidget>> open_;
};

// Registers every window and tab of the program (windows.cpp).
void registerWindows(WindowRegistry& registry);

} // namespace shop
