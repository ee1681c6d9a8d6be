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

// Asks `question` about creating a new database (caption "创建数据库"), then
// the password of ZED twice until both agree: that password, or empty when
// the person says No or cancels.
QString confirmNewDatabase(MessageService& m, const QString& question);

} // namespace shop
