#pragma once

#include <QSettings>
#include <QString>

#include "shell/version.h"
#include "ui/app_context.h"

namespace shop {

// The settings the shell keeps: group "settings", keys "CompanyName",
// "filetype" and the receipt's (read by the sales through the context). The caption reads the company name
// with a default of its own; the status bar and the documents read it through AppContext::companyName.
namespace app_settings {

inline constexpr const char* kCompanyKey = AppContext::kCompanyKey;
inline constexpr const char* kFileTypeKey = "settings/filetype";
inline constexpr const char* kReceiptOnKey = AppContext::kReceiptOnKey;
inline constexpr const char* kReceiptPaperKey = AppContext::kReceiptPaperKey;
inline constexpr const char* kReceiptPrinterKey = AppContext::kReceiptPrinterKey;
inline constexpr const char* kReceiptFooterKey = AppContext::kReceiptFooterKey;

// The caption's default.
inline QString companyForCaption(QSettings& s)
{
    return s.value(QLatin1String(kCompanyKey), QStringLiteral("zedware")).toString();
}
inline QString fileType(QSettings& s)
{
    return s.value(QLatin1String(kFileTypeKey), QStringLiteral("BMP")).toString();
}

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
