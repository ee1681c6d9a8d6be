#pragma once

#include "ui/window_names.h"

#include <QString>

#include <span>

namespace shop {

// The check a tree node makes before it acts (menu items make none).
enum class Guard { None, KindM, Supervisor };

// What an entry does when chosen.
enum class Opens { Window, Tab, Backup, SwitchUser, Leave };

// The state apply_menu_rights gives a menu item at each level of rights.
enum class Right { Keep, Off, On };
struct MenuRights {
    Right restricted;
    Right ordinary;
    Right supervisor;
};

// A menu of the menu bar or a submenu; its tree node, if it has one, holds
// the tree nodes of its entries.
struct MenuGroup {
    const char* menu;      // objectName of the menu and of its menu action
    const char* caption;   // menu title
    const char* parent;    // enclosing menu, or nullptr on the menu bar
    const char* separator; // objectName of a separator before it, or nullptr
    const char* treeKey;   // key of its tree node, or nullptr
    const char* treeText;  // text of its tree node
    MenuRights rights;
};

// Every window, tab and action the main window offers: its menu item and
// its tree node.
struct WindowEntry {
    const char* name; // window or tab name; nullptr for an action
    Opens opens;
    const char* menu;      // its menu group, or nullptr on the menu bar
    const char* separator; // objectName of a separator before its item, or nullptr
    const char* item;      // objectName of its menu item
    const char* caption;   // caption of its menu item
    const char* treeGroup; // the group whose tree node holds its node, or nullptr at the top
    const char* treeKey;   // key of its tree node, or nullptr without one
    const char* treeText;
    Guard guard;
    MenuRights rights;
};

namespace window_table {

// In tree order. A menu or tree group appears where its first entry does,
// so this order is also the order of the menu bar and of every menu.
std::span<const WindowEntry> entries();
std::span<const MenuGroup> groups();

const MenuGroup* group(const char* menu);
// The entry of a tree node's text, or nullptr (a group node, which does nothing).
const WindowEntry* byTreeText(const QString& text);
// The entry of a menu item, or nullptr (a menu, or an item of a hidden menu).
const WindowEntry* byItem(const QString& item);
// The entry of a window or tab, or nullptr.
const WindowEntry* byName(const QString& name);

} // namespace window_table
} // namespace shop
