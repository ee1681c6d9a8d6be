#include "pdf_text.h"

#include <QFile>
#include <QGlyphRun>
#include <QHash>
#include <QRawFont>
#include <QSet>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <vector>

namespace shop {

namespace {

// The code point a PDF names a glyph by, and the character drawn with it.
using Renames = QHash<char16_t, char16_t>;

// Shared glyphs start with the CJK radicals; below them a font's glyphs have
// one code point each.
constexpr char16_t kFirstShared = 0x2E80;

struct FontGlyphs {
    QRawFont font;
    QHash<quint32, char16_t> drawn; // glyph -> the character drawn with it
};

// For each glyph a font drew: the lowest code point the font maps to it, as
// the PDF writer looks it up; where that is not what was drawn (and is drawn
// nowhere in the document), the glyph is renamed.
void addRenames(const FontGlyphs& f, const QSet<char16_t>& drawnAnywhere, Renames* renames)
{
    char16_t highest = 0;
    for (char16_t c : f.drawn)
        highest = qMax(highest, c);
    QString chars;
    std::vector<char16_t> codes;
    for (char32_t uc = 1; uc <= highest; ++uc) {
        if (QChar::isSurrogate(uc))
            continue;
        chars.append(QChar(static_cast<char16_t>(uc)));
        codes.push_back(static_cast<char16_t>(uc));
    }
    std::vector<quint32> glyphs(codes.size());
    int count = static_cast<int>(glyphs.size());
    if (!f.font.glyphIndexesForChars(chars.constData(), static_cast<int>(chars.size()), glyphs.data(),
                                     &count) ||
        count != static_cast<int>(codes.size()))
        return;
    QHash<quint32, char16_t> lowest;
    for (size_t i = 0; i < codes.size(); ++i)
        if (glyphs[i] != 0 && f.drawn.contains(glyphs[i]) && !lowest.contains(glyphs[i]))
            lowest.insert(glyphs[i], codes[i]);
    for (auto it = f.drawn.cbegin(); it != f.drawn.cend(); ++it) {
        const char16_t named = lowest.value(it.key(), it.value());
        if (named != it.value() && !drawnAnywhere.contains(named) && !renames->contains(named))
            renames->insert(named, it.value());
    }
}

Renames renamesFor(const QTextDocument& document)
{
    const QString text = document.toPlainText();
    const QSet<char16_t> drawnAnywhere(text.utf16(), text.utf16() + text.size());
    // The layout says which font drew each character (fallback fonts too).
    (void)document.size();
    QList<FontGlyphs> fonts;
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next()) {
        const QTextLayout* layout = b.layout();
        if (!layout)
            continue;
        const QString line = b.text();
        QSet<char16_t> seen;
        for (int i = 0; i < line.size(); ++i) {
            const char16_t c = line.at(i).unicode();
            if (c < kFirstShared || QChar::isSurrogate(c) || seen.contains(c))
                continue;
            seen.insert(c);
            for (const QGlyphRun& run : layout->glyphRuns(i, 1)) {
                const QList<quint32> glyphs = run.glyphIndexes();
                if (glyphs.size() != 1)
                    continue;
                auto f = std::find_if(fonts.begin(), fonts.end(),
                                      [&run](const FontGlyphs& g) { return g.font == run.rawFont(); });
                if (f == fonts.end())
                    f = fonts.insert(fonts.end(), FontGlyphs{run.rawFont(), {}});
                if (!f->drawn.contains(glyphs.first()))
                    f->drawn.insert(glyphs.first(), c);
            }
        }
    }
    Renames renames;
    for (const FontGlyphs& f : fonts)
        addRenames(f, drawnAnywhere, &renames);
    return renames;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Renames the code points in the arrays of every ToUnicode range list
// ("<first> <last> [<code> <code> ...]"). A code keeps its four digits, so
// nothing in the file moves. The other form ("<first> <last> <code>", a run
// of consecutive code points) is written only for runs of ten or more and
// is left as it is.
bool renameCodes(QByteArray& pdf, const Renames& renames)
{
    bool changed = false;
    for (qsizetype at = pdf.indexOf("beginbfrange"); at >= 0; at = pdf.indexOf("beginbfrange", at)) {
        const qsizetype end = pdf.indexOf("endbfrange", at);
        if (end < 0)
            break;
        for (qsizetype open = pdf.indexOf('[', at); open >= 0 && open < end; open = pdf.indexOf('[', open)) {
            const qsizetype close = pdf.indexOf(']', open);
            if (close < 0 || close > end)
                break;
            for (qsizetype p = open; p + 5 < close; ++p) {
                if (pdf.at(p) != '<' || pdf.at(p + 5) != '>')
                    continue;
                int code = 0;
                for (int i = 1; i <= 4 && code >= 0; ++i) {
                    const int d = hexDigit(pdf.at(p + i));
                    code = d < 0 ? -1 : code * 16 + d;
                }
                if (code < 0 || !renames.contains(static_cast<char16_t>(code)))
                    continue;
                const QByteArray drawn = QByteArray::number(renames.value(static_cast<char16_t>(code)), 16)
                                             .toUpper()
                                             .rightJustified(4, '0');
                pdf.replace(p + 1, 4, drawn);
                changed = true;
            }
            open = close;
        }
        at = end;
    }
    return changed;
}

} // namespace

bool nameGlyphsAsDrawn(const QTextDocument& document, const QString& pdfFile)
{
    const Renames renames = renamesFor(document);
    if (renames.isEmpty())
        return true;
    QFile f(pdfFile);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    QByteArray pdf = f.readAll();
    if (!renameCodes(pdf, renames))
        return true;
    return f.seek(0) && f.write(pdf) == pdf.size() && f.flush();
}

} // namespace shop
