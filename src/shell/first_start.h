#pragma once

#include <QString>

namespace shop {

class AppContext;
class MessageService;

// How a step of the start-up ended: the program goes on, it ends (said, or
// the person cancelled), or the person chose to put the database settings
// right first.
enum class StartStep { Ready, End, DatabaseSettings };

// The caption of the start-up boxes' button that opens the database settings.
QString databaseSettingsButton();

// Before the first login of a fresh installation (no database folder yet):
// offers to create both database files (or to open the database settings,
// for a shop whose data is on a server) and asks twice for the password of
// the supervisor account ZED. Ready when the program can go on (the folder
// existed, or the files were created); End when the person cancelled
// (nothing was created) or creating failed (said with a message).
StartStep runFirstStart(AppContext& ctx);

// Asks `question` about creating a new database (caption "创建数据库"), then
// the password of ZED twice until both agree: that password, or empty when
// the person says No or cancels.
QString confirmNewDatabase(MessageService& m, const QString& question);

} // namespace shop
