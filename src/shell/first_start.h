#pragma once

#include <QString>

namespace shop {

class AppContext;
class MessageService;

// Before the first login of a fresh installation (no database folder yet):
// offers to create both database files and asks twice for the password of
// the supervisor account ZED. Returns true when the program can go on
// (the folder existed, or the files were created); false when the person
// cancelled (nothing was created) or creating failed (said with a message).
bool runFirstStart(AppContext& ctx);

// Asks for the password of ZED twice until both agree; empty on Cancel.
QString askZedPassword(MessageService& m, const QString& caption);

} // namespace shop
