#include "pdf_text.h"

#include <QFile>
#include <QGlyphRun>
#include <QHash>
#include <QMap>
#include <QRawFont>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

namespace shop {

namespace {

// The glyphs of one font face in the order they were first drawn, each
// with the text it stands for (empty for a character's second glyph).
struct FaceGlyphs {
    QRawFont font;
    QList<quint32> glyphs;
    QStringList texts;
    QHash<quint32, qsizetype> index;
};

// The PDF writer embeds one subset of a face, whatever sizes it drew.
QString faceKey(const QRawFont& f)
{
    return QStringLiteral("%1|%2|%3|%4")
        .arg(f.familyName(), f.styleName())
        .arg(f.weight())
        .arg(static_cast<int>(f.style()));
}

struct Placed {
    qsizetype face;
    quint32 glyph;
    QPointF at;
    bool operator==(const Placed&) const = default;
};

// Every glyph the layout draws, block by block and character by character,
// as the document is painted.
QList<FaceGlyphs> glyphsDrawn(const QTextDocument& document)
{
    (void)document.size(); // lays it out
    QList<FaceGlyphs> faces;
    QHash<QString, qsizetype> byKey;
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next()) {
        const QTextLayout* layout = b.layout();
        if (!layout)
            continue;
        const QString text = b.text();
        QList<Placed> before; // what the character before drew first
        for (int i = 0; i < text.size(); ++i) {
            QList<Placed> here;
            bool named = false;
            for (const QGlyphRun& run : layout->glyphRuns(i, 1)) {
                const QString key = faceKey(run.rawFont());
                auto f = byKey.constFind(key);
                if (f == byKey.constEnd()) {
                    f = byKey.insert(key, faces.size());
                    faces.append(FaceGlyphs{run.rawFont(), {}, {}, {}});
                }
                FaceGlyphs& face = faces[*f];
                const QList<quint32> glyphs = run.glyphIndexes();
                const QList<QPointF> positions = run.positions();
                for (qsizetype g = 0; g < glyphs.size(); ++g) {
                    const Placed p{*f, glyphs.at(g), positions.value(g)};
                    const auto known = face.index.constFind(p.glyph);
                    if (known == face.index.constEnd()) {
                        face.index.insert(p.glyph, face.glyphs.size());
                        face.glyphs.append(p.glyph);
                        face.texts.append(named ? QString() : QString(text.at(i)));
                        here.append(p);
                    } else if (before.contains(p)) {
                        // One glyph in the same place for this character and
                        // the one before: a ligature or a surrogate pair.
                        face.texts[*known] += text.at(i);
                        here.append(p);
                    }
                    named = true;
                }
            }
            before = here;
        }
    }
    return faces;
}

// A PDF file as Qt writes it: numbered objects found through one classic
// cross-reference table. Objects may be replaced; the table follows them.
class PdfFile {
public:
    explicit PdfFile(const QByteArray& data) : data_(data) { valid_ = readTable(); }
    bool valid() const { return valid_; }

    QList<int> numbers() const { return offsets_.keys(); }
    QByteArray object(int n) const
    {
        const qsizetype from = offsets_.value(n);
        return data_.mid(from, endOf(from) - from);
    }
    // The object up to its stream, if it has one.
    QByteArray dictionary(int n) const
    {
        const QByteArray o = object(n);
        const qsizetype stream = o.indexOf("stream");
        return stream < 0 ? o : o.left(stream);
    }
    void replace(int n, const QByteArray& object) { replaced_.insert(n, object); }
    bool changed() const { return !replaced_.isEmpty(); }

    QByteArray bytes() const
    {
        QList<std::pair<qsizetype, int>> order;
        for (auto it = offsets_.cbegin(); it != offsets_.cend(); ++it)
            order.append({it.value(), it.key()});
        std::sort(order.begin(), order.end());
        QByteArray out = data_.left(order.isEmpty() ? xref_ : order.first().first);
        QHash<int, qsizetype> moved;
        for (const auto& [from, n] : order) {
            moved.insert(n, out.size());
            out += replaced_.contains(n) ? replaced_.value(n) : data_.mid(from, endOf(from) - from);
        }
        const qsizetype xref = out.size();
        out += "xref\n";
        for (const Section& s : sections_) {
            out += QByteArray::number(s.first) + ' ' + QByteArray::number(s.entries.size()) + '\n';
            for (qsizetype i = 0; i < s.entries.size(); ++i) {
                const Entry& e = s.entries.at(i);
                const qsizetype offset = e.used ? moved.value(s.first + static_cast<int>(i)) : e.offset;
                out += QByteArray::number(offset).rightJustified(10, '0') + ' ' +
                       QByteArray::number(e.generation).rightJustified(5, '0') + (e.used ? " n \n" : " f \n");
            }
        }
        out += trailer_ + "startxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
        return out;
    }

private:
    struct Entry {
        qsizetype offset = 0;
        int generation = 0;
        bool used = false;
    };
    struct Section {
        int first = 0;
        QList<Entry> entries;
    };

    qsizetype endOf(qsizetype from) const
    {
        qsizetype end = xref_;
        for (qsizetype o : offsets_)
            if (o > from && o < end)
                end = o;
        return end;
    }

    bool readTable()
    {
        const qsizetype start = data_.lastIndexOf("startxref");
        if (start < 0)
            return false;
        bool ok = false;
        xref_ = data_.mid(start + 9, 24).trimmed().split('\n').value(0).trimmed().toLongLong(&ok);
        if (!ok || xref_ <= 0 || xref_ >= start || !data_.mid(xref_).startsWith("xref"))
            return false;
        const qsizetype trailer = data_.indexOf("trailer", xref_);
        if (trailer < 0)
            return false;
        trailer_ = data_.mid(trailer, start - trailer);
        static const QRegularExpression space(QStringLiteral("\\s+"));
        const QStringList tokens =
            QString::fromLatin1(data_.mid(xref_ + 4, trailer - xref_ - 4)).split(space, Qt::SkipEmptyParts);
        for (qsizetype t = 0; t + 1 < tokens.size();) {
            Section s;
            s.first = tokens.at(t).toInt();
            const int count = tokens.at(t + 1).toInt();
            t += 2;
            for (int i = 0; i < count; ++i, t += 3) {
                if (t + 2 >= tokens.size())
                    return false;
                Entry e{tokens.at(t).toLongLong(), tokens.at(t + 1).toInt(), tokens.at(t + 2) == u'n'};
                if (e.used) {
                    const QByteArray head = QByteArray::number(s.first + i) + ' ';
                    if (e.offset <= 0 || e.offset >= xref_ || !data_.mid(e.offset).startsWith(head))
                        return false;
                    offsets_.insert(s.first + i, e.offset);
                }
                s.entries.append(e);
            }
            sections_.append(s);
        }
        return !offsets_.isEmpty();
    }

    QByteArray data_;
    bool valid_ = false;
    qsizetype xref_ = 0;
    QByteArray trailer_;
    QList<Section> sections_;
    QMap<int, qsizetype> offsets_;
    QHash<int, QByteArray> replaced_;
};

QString textOfHex(const QByteArray& hex)
{
    QString s;
    for (qsizetype i = 0; i + 4 <= hex.size(); i += 4)
        s += QChar(static_cast<char16_t>(hex.mid(i, 4).toUInt(nullptr, 16)));
    return s;
}

// What a ToUnicode map names each code by: its ranges (a run of
// consecutive characters, or a list) and its single codes.
QHash<int, QString> namesIn(const QByteArray& cmap)
{
    static const QRegularExpression token(QStringLiteral("<([0-9A-Fa-f]*)>|\\[|\\]|[A-Za-z]+"));
    QStringList tokens;
    for (auto m = token.globalMatch(QString::fromLatin1(cmap)); m.hasNext();)
        tokens << m.next().captured(0);
    QHash<int, QString> names;
    auto hex = [](const QString& t) { return t.mid(1, t.size() - 2).toLatin1(); };
    QString section;
    for (qsizetype t = 0; t < tokens.size();) {
        const QString& k = tokens.at(t);
        if (!k.startsWith(u'<')) {
            section = k;
            ++t;
            continue;
        }
        if (section == QLatin1String("beginbfchar") && t + 1 < tokens.size()) {
            names.insert(hex(k).toInt(nullptr, 16), textOfHex(hex(tokens.at(t + 1))));
            t += 2;
        } else if (section == QLatin1String("beginbfrange") && t + 2 < tokens.size()) {
            const int first = hex(k).toInt(nullptr, 16);
            const int last = hex(tokens.at(t + 1)).toInt(nullptr, 16);
            t += 2;
            if (tokens.at(t) == u'[') {
                for (int c = first; ++t < tokens.size() && tokens.at(t) != u']'; ++c)
                    names.insert(c, textOfHex(hex(tokens.at(t))));
                ++t;
            } else {
                const QString start = textOfHex(hex(tokens.at(t)));
                for (int c = first; c <= last && !start.isEmpty(); ++c)
                    names.insert(c, start.left(start.size() - 1) +
                                        QChar(static_cast<char16_t>(start.back().unicode() + (c - first))));
                ++t;
            }
        } else {
            ++t;
        }
    }
    return names;
}

// Whether the face's glyphs, numbered from 1 in the order drawn, are the
// glyphs the font's cmap gives every name the map holds.
bool agrees(const FaceGlyphs& face, const QHash<int, QString>& names)
{
    int checked = 0;
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        if (it.key() == 0)
            continue;
        if (it.key() > face.glyphs.size() || it.value().isEmpty() || it.value().size() > 2)
            return false;
        quint32 glyphs[2] = {0, 0};
        int count = 2;
        if (!face.font.glyphIndexesForChars(it.value().constData(), static_cast<int>(it.value().size()),
                                            glyphs, &count) ||
            count != 1 || glyphs[0] != face.glyphs.at(it.key() - 1))
            return false;
        ++checked;
    }
    return checked > 0;
}

QByteArray hexOf(const QString& text)
{
    QByteArray out;
    for (QChar c : text)
        out += QByteArray::number(c.unicode(), 16).toUpper().rightJustified(4, '0');
    return out;
}

// A ToUnicode map that names each glyph by the text drawn with it.
QByteArray cmapOf(const FaceGlyphs& face)
{
    QList<QByteArray> entries;
    for (qsizetype g = 0; g < face.glyphs.size(); ++g)
        if (!face.texts.at(g).isEmpty())
            entries << '<' + hexOf(QChar(static_cast<char16_t>(g + 1))) + "> <" + hexOf(face.texts.at(g)) +
                           ">\n";
    QByteArray out = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                     "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                     "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                     "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    // At most 100 entries to a section.
    for (qsizetype at = 0; at < entries.size(); at += 100) {
        const QList<QByteArray> part = entries.mid(at, 100);
        out += QByteArray::number(part.size()) + " beginbfchar\n" + part.join() + "endbfchar\n";
    }
    return out + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

// Writes each font's map again where the glyphs drawn agree with it.
void renameFonts(PdfFile& pdf, QList<FaceGlyphs> faces)
{
    static const QRegularExpression toUnicode(QStringLiteral("/ToUnicode\\s+(\\d+)\\s+(\\d+)\\s+R"));
    for (int n : pdf.numbers()) {
        const QByteArray font = pdf.dictionary(n);
        if (!font.contains("/Type0"))
            continue;
        const auto ref = toUnicode.match(QString::fromLatin1(font));
        if (!ref.hasMatch())
            continue;
        const int mapObject = ref.captured(1).toInt();
        const QByteArray map = pdf.object(mapObject);
        const qsizetype stream = map.indexOf("stream");
        const qsizetype end = map.lastIndexOf("endstream");
        // Qt writes the maps plain; a compressed one is left as it is.
        if (stream < 0 || end < stream || map.left(stream).contains("/Filter"))
            continue;
        const QHash<int, QString> names = namesIn(map.mid(stream + 6, end - stream - 6));
        const auto face =
            std::find_if(faces.begin(), faces.end(), [&](const FaceGlyphs& f) { return agrees(f, names); });
        if (face == faces.end())
            continue;
        const QByteArray cmap = cmapOf(*face);
        pdf.replace(mapObject, QByteArray::number(mapObject) + ' ' + ref.captured(2).toLatin1() +
                                   " obj\n<< /Length " + QByteArray::number(cmap.size()) + " >>\nstream\n" +
                                   cmap + "\nendstream\nendobj\n");
        faces.erase(face);
    }
}

} // namespace

bool nameGlyphsAsDrawn(const QTextDocument& document, const QString& pdfFile)
{
    QFile f(pdfFile);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    PdfFile pdf(f.readAll());
    // A file not laid out as Qt writes it keeps its own names.
    if (!pdf.valid())
        return true;
    renameFonts(pdf, glyphsDrawn(document));
    if (!pdf.changed())
        return true;
    const QByteArray out = pdf.bytes();
    return f.seek(0) && f.write(out) == out.size() && f.resize(out.size()) && f.flush();
}

} // namespace shop
