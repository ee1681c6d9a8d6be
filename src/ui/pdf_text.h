#pragma once

#include <QString>

class QTextDocument;

namespace shop {

// Makes the text of a PDF file that Qt wrote from `document` read as the
// characters that were drawn. Qt names each glyph of an embedded font by the
// lowest code point that the font maps to it; the CJK fonts share glyphs
// between ideographs and the radicals or rare characters below them (工 and
// ⼯, 车 and ⻋, 胶 and 㬵), so copied or searched text would read as those.
// False when the file could not be read or written.
bool nameGlyphsAsDrawn(const QTextDocument& document, const QString& pdfFile);

} // namespace shop
