#include "ui/qt_chinese.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace shop {

QString installQtChinese()
{
    // Qt's own folder first (Debian's qt6-translations-l10n); then a
    // translations folder beside the program, for copies carried with it.
    const QStringList folders = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                 QCoreApplication::applicationDirPath() + QStringLiteral("/translations")};
    for (const QString& folder : folders) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(QStringLiteral("qtbase_zh_CN"), folder) &&
            QCoreApplication::installTranslator(translator))
            return QDir(folder).filePath(QStringLiteral("qtbase_zh_CN.qm"));
        delete translator;
    }
    return {};
}

} // namespace shop
