#include "csv_import.h"

#include "csv_export.h"

#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>

#include <QByteArrayView>

#include <utility>

namespace shop {

namespace {

// A record may span chunks; one this long is a quote left open.
constexpr qsizetype kMaxRecordChars = qsizetype(1) << 20;
// How much of the start of a file tells its encoding and separator.
constexpr qsizetype kSampleBytes = 64 * 1024;

const QByteArray kUtf8Bom = "\xEF\xBB\xBF";
const QByteArray kUtf16LEBom = "\xFF\xFE";
const QByteArray kUtf16BEBom = "\xFE\xFF";

// Names ICU's detector gives the multibyte encodings of East Asia: a file
// that is not UTF-8 is read as GB18030 unless ICU finds one of the others
// likelier.
bool eastAsian(const char* name)
{
    static const char* const names[] = {"Big5",        "EUC-JP",      "EUC-KR",     "Shift_JIS",
                                        "ISO-2022-CN", "ISO-2022-JP", "ISO-2022-KR"};
    for (const char* n : names)
        if (qstrcmp(n, name) == 0)
            return true;
    return false;
}

} // namespace

QString encodingName(CsvEncoding e)
{
    switch (e) {
    case CsvEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case CsvEncoding::Gb18030:
        return QStringLiteral("GB18030");
    case CsvEncoding::Utf16LE:
        return QStringLiteral("UTF-16LE");
    case CsvEncoding::Utf16BE:
        return QStringLiteral("UTF-16BE");
    }
    return {};
}

bool CsvRecord::blank() const
{
    for (const QString& c : cells)
        if (!c.isEmpty())
            return false;
    return true;
}

// ICU's converter, stopping at the first bytes that are not text in its
// encoding (no replacement characters).
class CsvReader::Decoder {
public:
    explicit Decoder(CsvEncoding e)
    {
        UErrorCode status = U_ZERO_ERROR;
        conv_ = ucnv_open(encodingName(e).toLatin1().constData(), &status);
        if (U_FAILURE(status)) {
            conv_ = nullptr;
            return;
        }
        ucnv_setToUCallBack(conv_, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
        if (U_FAILURE(status)) {
            ucnv_close(conv_);
            conv_ = nullptr;
        }
    }
    ~Decoder()
    {
        if (conv_)
            ucnv_close(conv_);
    }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    bool valid() const { return conv_ != nullptr; }

    // Appends the text of `bytes` to `out`; with `last`, a sequence cut
    // off at the end is a fault too. False at the first fault, with the
    // text before it appended.
    bool decode(QByteArrayView bytes, bool last, QString& out)
    {
        const char* source = bytes.data();
        const char* const sourceEnd = source + bytes.size();
        for (;;) {
            // No encoding here gives more UTF-16 units than bytes, but a
            // sequence kept from the chunk before may add one or two.
            const qsizetype room = (sourceEnd - source) + 8;
            const qsizetype at = out.size();
            out.resize(at + room);
            auto* target = reinterpret_cast<UChar*>(out.data() + at);
            UChar* const start = target;
            UErrorCode status = U_ZERO_ERROR;
            ucnv_toUnicode(conv_, &target, start + room, &source, sourceEnd, nullptr, last, &status);
            out.resize(at + (target - start));
            if (status == U_BUFFER_OVERFLOW_ERROR)
                continue;
            return U_SUCCESS(status);
        }
    }

private:
    UConverter* conv_ = nullptr;
};

CsvReader::CsvReader(qsizetype chunkBytes) : chunkBytes_(qMax<qsizetype>(1, chunkBytes)) {}

CsvReader::~CsvReader() = default;

QString CsvReader::unguarded(const QString& cell)
{
    // Only a cell the export would have guarded lost its quote to it.
    if (cell.startsWith(QLatin1Char('\'')) && runsAsFormula(QStringView(cell).sliced(1).toUtf8()))
        return cell.sliced(1);
    return cell;
}

bool CsvReader::fail(const QString& error)
{
    error_ = error;
    return false;
}

double CsvReader::progress() const
{
    return size_ > 0 ? qBound(0.0, double(bytesRead_) / double(size_), 1.0) : 1.0;
}

bool CsvReader::open(const QString& fileName)
{
    file_.setFileName(fileName);
    if (!file_.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("无法打开文件：%1").arg(file_.errorString()));
    size_ = file_.size();
    const QByteArray sample = file_.peek(kSampleBytes);
    if (sample.isEmpty() && file_.error() != QFileDevice::NoError)
        return fail(QStringLiteral("无法读取文件：%1").arg(file_.errorString()));
    qsizetype skip = 0;
    QString text;
    if (!detect(sample, sample.size() >= size_, &skip, &text))
        return false;
    decoder_ = std::make_unique<Decoder>(encoding_);
    if (!decoder_->valid())
        return fail(QStringLiteral("无法使用 %1 解码。").arg(encodingName(encoding_)));
    bytesRead_ = file_.skip(skip);

    // The separator the heading line uses most, outside quotes.
    int commas = 0;
    int tabs = 0;
    bool quoted = false;
    for (QChar c : std::as_const(text)) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && (c == QLatin1Char('\n') || c == QLatin1Char('\r')))
            break;
        else if (!quoted && c == QLatin1Char(','))
            ++commas;
        else if (!quoted && c == QLatin1Char('\t'))
            ++tabs;
    }
    separator_ = tabs > commas ? QLatin1Char('\t') : QLatin1Char(',');

    CsvRecord heading;
    if (!next(heading))
        return failed() ? false : fail(QStringLiteral("文件是空的：第一行应是各列的名称。"));
    headings_ = heading.cells;
    return true;
}

bool CsvReader::detect(const QByteArray& sample, bool whole, qsizetype* skip, QString* text)
{
    if (sample.startsWith(kUtf8Bom)) {
        encoding_ = CsvEncoding::Utf8;
        *skip = kUtf8Bom.size();
    } else if (sample.startsWith(kUtf16LEBom)) {
        encoding_ = CsvEncoding::Utf16LE;
        *skip = kUtf16LEBom.size();
    } else if (sample.startsWith(kUtf16BEBom)) {
        encoding_ = CsvEncoding::Utf16BE;
        *skip = kUtf16BEBom.size();
    } else {
        // Strict UTF-8 first: text in any other encoding almost never
        // passes it. What fails it is read as ICU's detector says.
        encoding_ = CsvEncoding::Utf8;
        Decoder utf8(encoding_);
        if (utf8.valid() && utf8.decode(sample, whole, *text))
            return true;
        text->clear();

        UErrorCode status = U_ZERO_ERROR;
        UCharsetDetector* detector = ucsdet_open(&status);
        ucsdet_setText(detector, sample.constData(), static_cast<int32_t>(sample.size()), &status);
        int32_t count = 0;
        const UCharsetMatch** matches = ucsdet_detectAll(detector, &count, &status);
        int gb18030 = -1;
        int otherEastAsian = -1;
        QString likeliest;
        for (int32_t i = 0; U_SUCCESS(status) && i < count; ++i) {
            const char* name = ucsdet_getName(matches[i], &status);
            const int confidence = ucsdet_getConfidence(matches[i], &status);
            if (U_FAILURE(status))
                break;
            if (i == 0)
                likeliest = QString::fromLatin1(name);
            if (qstrcmp(name, "GB18030") == 0)
                gb18030 = qMax(gb18030, confidence);
            else if (eastAsian(name))
                otherEastAsian = qMax(otherEastAsian, confidence);
        }
        ucsdet_close(detector);
        // A short Chinese text is told from Latin or Hebrew by nothing, so
        // only the other East Asian encodings compete with GB18030.
        if (U_FAILURE(status) || gb18030 < 0 || otherEastAsian > gb18030)
            return fail(
                QStringLiteral("文件不是 UTF-8 或 GB18030（GBK）编码的文本%1。请在表格程序中把它另存为 "
                               "UTF-8 或 GBK 编码的 CSV 文件。")
                    .arg(likeliest.isEmpty() ? QString()
                                             : QStringLiteral("（看来是 %1 编码）").arg(likeliest)));
        encoding_ = CsvEncoding::Gb18030;
    }
    // The sample's text up to any fault, for the heading line's separator.
    Decoder decoder(encoding_);
    if (decoder.valid())
        decoder.decode(QByteArrayView(sample).sliced(*skip), whole, *text);
    return true;
}

bool CsvReader::fill()
{
    // The text before bytes that are not text has been read: the record
    // in progress is where they are.
    if (badBytes_)
        return fail(QStringLiteral("第 %1 行有不是 %2 文本的字节：文件可能已损坏，或混用了两种编码。")
                        .arg(row_ + 1)
                        .arg(encodingName(encoding_)));
    if (fileDone_ || failed())
        return false;
    // What was read already goes; a record being read stays.
    buffer_.remove(0, pos_);
    pos_ = 0;
    const QByteArray chunk = file_.read(chunkBytes_);
    if (chunk.isEmpty() && file_.error() != QFileDevice::NoError)
        return fail(QStringLiteral("第 %1 行无法读取：%2").arg(row_ + 1).arg(file_.errorString()));
    bytesRead_ += chunk.size();
    decode(chunk, file_.atEnd() || chunk.isEmpty());
    return true;
}

void CsvReader::decode(QByteArrayView bytes, bool last)
{
    if (decoder_->decode(bytes, last, buffer_))
        fileDone_ = last;
    else
        badBytes_ = true;
}

bool CsvReader::next(CsvRecord& record)
{
    for (;;) {
        if (failed())
            return false;
        const qsizetype start = pos_;
        record.cells.clear();
        if (parse(record.cells)) {
            record.row = ++row_;
            return true;
        }
        if (failed())
            return false;
        // The record runs past the text decoded so far.
        pos_ = start;
        if (pos_ == buffer_.size() && fileDone_)
            return false;
        if (buffer_.size() - pos_ > kMaxRecordChars)
            return fail(QStringLiteral("第 %1 行超过一百万个字符：可能有一个引号没有配对。").arg(row_ + 1));
        if (!fill())
            return false;
    }
}

// One record from pos_: true with its cells, or false (pos_ anywhere) when
// it runs past the buffer while more of the file is to come, or past the
// end of the file inside quotes (then failed()).
bool CsvReader::parse(QStringList& cells)
{
    const QChar sep = separator_;
    const QChar* const data = buffer_.constData();
    const qsizetype end = buffer_.size();
    qsizetype p = pos_;
    if (p == end)
        return false;
    QString cell;
    bool quotedCell = false;
    for (;;) {
        if (p == end) {
            if (!fileDone_)
                return false;
            cells << CsvReader::unguarded(cell);
            pos_ = p;
            return true;
        }
        const QChar c = data[p];
        if (c == QLatin1Char('"') && cell.isEmpty() && !quotedCell) {
            quotedCell = true;
            // Quoted text up to the closing quote, a doubled quote as one.
            for (++p;;) {
                qsizetype q = p;
                while (q < end && data[q] != QLatin1Char('"'))
                    ++q;
                cell.append(data + p, q - p);
                // No closing quote in the text read so far: read on (the
                // record is read again whole), unless the file has ended.
                if (q == end)
                    return fileDone_ ? fail(QStringLiteral(
                                                "第 %1 行的引号没有配对：从这里到文件末尾都在一个单元格里。")
                                                .arg(row_ + 1))
                                     : false;
                // A quote last in the text read so far is taken as closing
                // the cell; the record runs past the text, and is read again
                // with what follows the quote.
                if (q + 1 < end && data[q + 1] == QLatin1Char('"')) {
                    cell.append(QLatin1Char('"'));
                    p = q + 2;
                    continue;
                }
                p = q + 1;
                break;
            }
            continue;
        }
        if (c == sep) {
            cells << CsvReader::unguarded(cell);
            cell.clear();
            quotedCell = false;
            ++p;
            continue;
        }
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r')) {
                if (p + 1 == end && !fileDone_)
                    return false;
                if (p + 1 < end && data[p + 1] == QLatin1Char('\n'))
                    ++p;
            }
            cells << CsvReader::unguarded(cell);
            pos_ = p + 1;
            return true;
        }
        // Plain text up to the next character that means something; a
        // quote inside it (or after a closing one) is text, as spreadsheets
        // read it.
        qsizetype q = p + 1;
        while (q < end && data[q] != sep && data[q] != QLatin1Char('\n') && data[q] != QLatin1Char('\r') &&
               data[q] != QLatin1Char('"'))
            ++q;
        cell.append(data + p, q - p);
        p = q;
    }
}

} // namespace shop
