#pragma once

#include <QString>

namespace shop {

// A text as a part of a file name on any system: control characters and
// the characters no file system takes become _.
QString fileNamePart(const QString& text);
// The folder a document is proposed in: the user's documents folder, else
// the home folder.
QString documentsFolder();
// The path proposed for a document: `name` (as a file name part) followed
// by `end` (date, suffix), in the documents folder, in native separators.
QString suggestedDocumentPath(const QString& name, const QString& end);

} // namespace shop
