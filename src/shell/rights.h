#pragma once

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

// The kind refusal when the account is not kind M; the caller tests again.
void check_kind(AppContext& ctx);
// The supervisor-only refusal.
void refuseSupervisorOnly(AppContext& ctx);

// Guards of the tree entries: true when the action may run (the refusal
// has been shown otherwise).
bool guardKindM(AppContext& ctx);
bool guardSupervisor(AppContext& ctx);

// Caption of the current-user label.
QString userLabelText(const AppContext& ctx);

// Sets the enabled state of the main menu items, in the fixed order; items
// it does not name keep the state they had.
void apply_menu_rights(const AppContext& ctx, const std::function<void(const char* item, bool on)>& set);

} // namespace rights
} // namespace shop
