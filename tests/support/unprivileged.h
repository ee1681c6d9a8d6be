#pragma once

#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

namespace shop::test {

// File modes hold back only an ordinary user: a test run by root acts as
// `nobody` within this scope (owning `folder`), so a read-only file really
// cannot be written. Leaving the scope gives root back. The paths in
// `rootKeeps` stay root's: files of another account.
class Unprivileged {
public:
    explicit Unprivileged(const QString& folder, const QStringList& rootKeeps = {})
    {
        if (::geteuid() != 0)
            return;
        constexpr uid_t kNobody = 65534;
        chownTree(folder, kNobody, rootKeeps);
        active_ = ::setegid(kNobody) == 0 && ::seteuid(kNobody) == 0;
    }
    ~Unprivileged()
    {
        if (active_) {
            [[maybe_unused]] const int u = ::seteuid(0);
            [[maybe_unused]] const int g = ::setegid(0);
        }
    }
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;

    // False when run by root and the switch failed (the test cannot hold).
    bool ok() const { return ::geteuid() != 0; }

private:
    static void chownTree(const QString& folder, uid_t uid, const QStringList& rootKeeps)
    {
        [[maybe_unused]] int rc = ::chown(QFile::encodeName(folder).constData(), uid, uid);
        QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            if (const QString path = it.next(); !rootKeeps.contains(path))
                rc = ::lchown(QFile::encodeName(path).constData(), uid, uid);
    }
    bool active_ = false;
};

} // namespace shop::test
