#pragma once

#include "window_table.h"

#include <QString>

#include <functional>

namespace shop {

class AppContext;

// The three levels of rights, derived afresh from the login values each time.
namespace rights {

// cur_kind, upper-cased, is "M" (a lower-case m counts).
bool kindM(const AppContext& ctx);
// cur_user, upper-cased, is ZED or ADMINISTRATOR.
bool supervisor(const AppContext& ctx);

// The supervisor-only refusal.
void refuseSupervisorOnly(AppContext& ctx);

// A tree node's guard: true when its action may run (the refusal has been
// shown otherwise).
bool passes(AppContext& ctx, Guard guard);
// Whether the login passes the guard of window `name`'s tree node, asked
// without a word (for the window registry).
bool mayOpen(const AppContext& ctx, const QString& name);

// Caption of the current-user label.
QString userLabelText(const AppContext& ctx);

// The procedures under their own names.
// The kind refusal when the account is not kind M; the caller tests again.
void check_kind(AppContext& ctx);
// Sets the enabled state of the main menu items as the window table gives
// it for the login's level; items it keeps for that level keep their state.
void apply_menu_rights(const AppContext& ctx, const std::function<void(const char* item, bool on)>& set);

} // namespace rights
} // namespace shop
