#pragma once

#include <QString>
#include <QStringList>

namespace shop {

// The shop's files hold customers' and employees' names, phone and ID
// numbers, salaries, the takings and the accounts' password hashes: only the
// account that runs the program may read them. Folders are the owner's
// only (0700), files too (0600), set explicitly, whatever the umask.
namespace private_files {

// Makes the folder `path` for its owner only (missing parents as
// QDir::mkpath makes them). True when it is a folder afterwards; one that was
// there already is left as it is.
bool makeFolder(const QString& path);

// Takes every right of the group and of others from `path` (the owner's
// stay, so a read-only file stays read-only). True when it gives none
// afterwards: a file system without permissions, or a file of another
// account, keeps them. A missing path is true.
bool ownerOnly(const QString& path);

// The same for `path` and, when it is a folder, everything in it (symbolic
// links inside are not followed). The paths that keep some right are
// returned.
QStringList ownerOnlyTree(const QString& path);

} // namespace private_files
} // namespace shop
