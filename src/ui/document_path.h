#pragma once

#include <QString>

namespace shop {

class AppContext;

// A text as a part of a file name on any system: control characters and
// the characters no file system takes become _.
QString fileNamePart(const QString& text);
// The folder a document is proposed in: the user's documents folder when
// it exists (a new account may have none yet), else the home folder.
QString documentsFolder();
// The path proposed for a document: `name` (as a file name part) followed
// by `end` (date, suffix), in the documents folder, in native separators.
QString suggestedDocumentPath(const QString& name, const QString& end);
// Why `bytes` bytes could not be written as `file`, in Chinese (no such
// folder, no right to write there, the disk full, ...), with the system's
// own words in `detail` kept after it for support.
QString fileWriteFailure(const QString& file, qint64 bytes, const QString& detail);
// Asks where to save a document (PDF, CSV, PNG, ...) through the message
// service, proposing `name` with `suffix` in the documents folder; the
// suffix is added to a name chosen without it. A file is replaced whole, so
// the program's database files (and their journals) are refused with a
// message. Empty when cancelled or refused.
QString chooseDocumentFile(AppContext& ctx, const QString& caption, const QString& name,
                           const QString& suffix, const QString& filter);

} // namespace shop
