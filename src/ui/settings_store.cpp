#include "settings_store.h"

#include "data/private_files.h"

namespace shop {

bool storeSettings(const QSettings& s, const QList<std::pair<QString, QVariant>>& values)
{
    QList<std::pair<QString, QVariant>> before;
    for (const auto& [key, value] : values)
        before.append({key, s.value(key)});
    QSettings out(s.fileName(), s.format());
    for (const auto& [key, value] : values)
        out.setValue(key, value);
    out.sync();
    private_files::ownerOnly(out.fileName());
    if (out.status() == QSettings::NoError)
        return true;
    for (const auto& [key, old] : before) {
        if (old.isValid())
            out.setValue(key, old);
        else
            out.remove(key);
    }
    return false;
}

} // namespace shop
