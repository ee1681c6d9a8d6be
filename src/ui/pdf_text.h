#pragma once

#include <QString>

class QTextDocument;

namespace shop {

// Makes the text of a PDF file that Qt wrote from `document` (laid out as
// it was drawn) read as the characters that were drawn. Qt names each glyph
// of an embedded font by the lowest code point the font's cmap gives it:
// a glyph the CJK fonts share with a radical or a rarer character reads as
// that (工 as ⼯, 胶 as 㬵), the space as a tab, and a glyph no code point
// reaches (the figures those fonts substitute in a Latin run, as in P001)
// is left out of the text. Each font's character map is written again from
// the glyphs the document's layout drew, in the order the file numbers
// them (first drawn, first numbered), where that order agrees with every
// name Qt could give. False when the file could not be read or written.
bool nameGlyphsAsDrawn(const QTextDocument& document, const QString& pdfFile);

} // namespace shop
