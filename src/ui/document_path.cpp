#include "document_path.h"

#include <QDir>
#include <QStandardPaths>

namespace shop {

QString fileNamePart(const QString& text)
{
    QString out;
    for (QChar c : text)
        out += (c.unicode() < 32 || QStringLiteral("\\/:*?\"<>|").contains(c)) ? QChar(u'_') : c;
    return out;
}

QString documentsFolder()
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return docs.isEmpty() ? QDir::homePath() : docs;
}

QString suggestedDocumentPath(const QString& name, const QString& end)
{
    return QDir::toNativeSeparators(QDir(documentsFolder()).filePath(fileNamePart(name) + end));
}

} // namespace shop
