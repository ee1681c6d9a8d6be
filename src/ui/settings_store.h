#pragma once

#include <QList>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <utility>

namespace shop {

// Writes the values through a store of its own over the same file (stores
// of one file share their values): a QSettings keeps the first error it met
// for good, so the context's store could not tell a later save that went
// through. On failure the values are put back as they were, so that nothing
// shows what the next start will not find. The file may name the shop's
// server: it stays the owner's only.
bool storeSettings(const QSettings& s, const QList<std::pair<QString, QVariant>>& values);

} // namespace shop
