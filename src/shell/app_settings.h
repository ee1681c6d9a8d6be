#pragma once

#include <QString>

#include "shell/version.h"

namespace shop {

// The program's version as the captions and the about box show it.
namespace app_settings {

// "1.0.21" (with the revision) or "1.0".
inline QString versionText(bool withRevision)
{
    QString v = QStringLiteral("%1.%2").arg(SHOP_VERSION_MAJOR).arg(SHOP_VERSION_MINOR);
    if (withRevision)
        v += QStringLiteral(".%1").arg(SHOP_VERSION_PATCH);
    return v;
}

// Main window caption: company + "管理系统 Ver:" + version.
inline QString mainCaption(const QString& company, bool withRevision)
{
    return company + QStringLiteral("管理系统 Ver:") + versionText(withRevision);
}

} // namespace app_settings
} // namespace shop
