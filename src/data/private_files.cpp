#include "private_files.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace shop::private_files {

namespace {
constexpr mode_t kOthersRights = S_IRWXG | S_IRWXO;

// `stat` follows a symbolic link (the folders the person named), `lstat`
// does not (what lies inside them).
bool restrict(const QByteArray& path, bool follow)
{
    struct stat st {};
    if ((follow ? ::stat(path.constData(), &st) : ::lstat(path.constData(), &st)) != 0)
        return true; // gone meanwhile
    if (S_ISLNK(st.st_mode) || (st.st_mode & kOthersRights) == 0)
        return true;
    ::chmod(path.constData(), st.st_mode & ~kOthersRights & 07777);
    // A file system without permissions may take the change without a word
    // and keep the rights: only the mode read back counts.
    return ::stat(path.constData(), &st) == 0 && (st.st_mode & kOthersRights) == 0;
}
} // namespace

bool makeFolder(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    QDir().mkpath(info.absolutePath());
    // Made with the owner's rights only, so it is never open to others, not
    // even for a moment; the umask can only take rights away.
    QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return QFileInfo(path).isDir();
}

bool ownerOnly(const QString& path)
{
    return restrict(QFile::encodeName(path), true);
}

QStringList ownerOnlyTree(const QString& path)
{
    QStringList failed;
    if (!ownerOnly(path))
        failed << path;
    if (!QFileInfo(path).isDir())
        return failed;
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString entry = it.next();
        if (!restrict(QFile::encodeName(entry), false))
            failed << entry;
    }
    return failed;
}

} // namespace shop::private_files
