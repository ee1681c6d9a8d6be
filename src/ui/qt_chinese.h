#pragma once

#include <QString>

namespace shop {

// Loads Qt's own Simplified Chinese texts (standard buttons, input and file
// dialogs), so every box reads like the rest of the program. Returns the
// translation file loaded, or an empty text when none was found: the program
// then works with Qt's English button texts.
QString installQtChinese();

} // namespace shop
