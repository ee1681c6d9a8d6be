#include "document_path.h"

#include "app_context.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

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
    return !docs.isEmpty() && QFileInfo(docs).isDir() ? docs : QDir::homePath();
}

QString suggestedDocumentPath(const QString& name, const QString& end)
{
    return QDir::toNativeSeparators(QDir(documentsFolder()).filePath(fileNamePart(name) + end));
}

namespace {

enum class Access { Granted, Denied, ReadOnly };

// Whether this process may write `path`, by its effective user (a program
// run by root for another user is judged as that user).
Access writeAccess(const QString& path, bool folder)
{
#ifdef Q_OS_UNIX
    if (::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), folder ? W_OK | X_OK : W_OK, AT_EACCESS) ==
        0)
        return Access::Granted;
    return errno == EROFS ? Access::ReadOnly : Access::Denied;
#else
    return QFileInfo(path).isWritable() ? Access::Granted : Access::Denied;
#endif
}

} // namespace

QString fileWriteFailure(const QString& file, qint64 bytes, const QString& detail)
{
    const QFileInfo target(file);
    const QString folderPath = target.absolutePath();
    const QFileInfo folder(folderPath);
    const QString shownFolder = QDir::toNativeSeparators(folderPath);
    QString why;
    if (!folder.exists()) {
        why = QStringLiteral("文件夹“%1”不存在。").arg(shownFolder);
    } else if (!folder.isDir()) {
        why = QStringLiteral("“%1”不是文件夹。").arg(shownFolder);
    } else if (target.isDir()) {
        why = QStringLiteral("已有同名的文件夹。");
    } else {
        Access access = writeAccess(folderPath, true);
        if (access == Access::Granted && target.exists())
            access = writeAccess(target.absoluteFilePath(), false);
        if (access == Access::ReadOnly)
            why = QStringLiteral("该位置是只读的。");
        else if (access == Access::Denied)
            why = QStringLiteral("没有在文件夹“%1”中写入文件的权限。").arg(shownFolder);
        else if (QStorageInfo(folderPath).bytesAvailable() < bytes)
            why = QStringLiteral("磁盘空间不足。");
        else
            why = QStringLiteral("写入磁盘时出错。");
    }
    why += QStringLiteral("请另选保存位置，或改正后再试。");
    if (!detail.isEmpty())
        why += QStringLiteral("\n（详细信息：%1）").arg(detail);
    return why;
}

QString chooseDocumentFile(AppContext& ctx, const QString& caption, const QString& name,
                           const QString& suffix, const QString& filter)
{
    MessageService& m = ctx.messages();
    const QString chosen = m.saveFileName(caption, suggestedDocumentPath(name, suffix), filter);
    if (chosen.isEmpty())
        return {};
    QString file = chosen;
    if (!file.endsWith(suffix, Qt::CaseInsensitive))
        file += suffix;
    // The name as chosen is refused too: the person meant that file.
    if (ctx.paths().isDatabaseFile(chosen) || ctx.paths().isDatabaseFile(file)) {
        m.critical(QStringLiteral("不能保存到数据库文件，请另选文件名！"), QStringLiteral("错误"));
        return {};
    }
    return file;
}

} // namespace shop
