#pragma once

#include <QString>

namespace shop {

// Salted, slow password hash (Argon2id, 19 MiB, 2 passes): the stored text.
// Empty on failure.
QString hashPassword(const QString& password);

// Exact comparison of a typed password with a stored hash: letter case
// counts and nothing is trimmed.
bool verifyPassword(const QString& typed, const QString& stored);

} // namespace shop
