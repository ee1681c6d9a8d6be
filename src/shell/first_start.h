#pragma once

namespace shop {

class AppContext;

// Before the first login of a fresh installation (no database folder yet):
// offers to create both database files and asks twice for the password of
// the supervisor account ZED. Returns true when the program can go on
// (the folder existed, or the files were created); false when the person
// cancelled (nothing was created) or creating failed (said with a message).
bool runFirstStart(AppContext& ctx);

} // namespace shop
