#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <QStringList>

#include <memory>

namespace shop {

// How a CSV file's bytes spell its text: UTF-8 (with or without a
// byte-order mark), GB18030 (GBK and GB2312 are subsets: a spreadsheet's
// "CSV" on a Chinese system), or UTF-16 with its byte-order mark (a
// spreadsheet's "Unicode text").
enum class CsvEncoding { Utf8, Gb18030, Utf16LE, Utf16BE };
QString encodingName(CsvEncoding e);

// One record of a CSV file: the row a spreadsheet shows it on (the heading
// is row 1; a line break inside quotes does not start a row) and its cells.
struct CsvRecord {
    qint64 row = 0;
    QStringList cells;
    // Whether every cell is empty (a blank line, or one of separators only).
    bool blank() const;
};

// Reads a CSV file as a spreadsheet saves it, a chunk at a time: the
// encoding told by a byte-order mark, else by a strict UTF-8 check and, for
// a file that fails it, ICU's charset detection; comma or tab separated
// (whichever the heading line uses); RFC 4180 quotes around cells with
// separators, quotes and line breaks; CRLF, LF or CR line ends. A single
// quote that the program's own export put before a cell a spreadsheet
// would run as a formula is taken off again, so its files read back as
// they were written. Bytes that are not text in the file's encoding stop
// the reading with the row they are on, never a replacement character.
class CsvReader {
public:
    explicit CsvReader(qsizetype chunkBytes = 256 * 1024);
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // Opens the file, tells its encoding and separator and reads the
    // heading line. False, with error() saying why, when it cannot.
    bool open(const QString& fileName);

    CsvEncoding encoding() const { return encoding_; }
    QChar separator() const { return separator_; }
    const QStringList& headings() const { return headings_; }

    // The next record after the heading; false at the end of the file or
    // when it cannot be read on (error() then says why and where).
    bool next(CsvRecord& record);
    bool failed() const { return !error_.isEmpty(); }
    QString error() const { return error_; }
    // The share of the file's bytes read so far (0 to 1).
    double progress() const;

    // The guard the export puts before a formula-like cell, taken off.
    static QString unguarded(const QString& cell);

private:
    class Decoder;
    // The encoding of a file that starts with `sample` (`whole`: all of
    // it), the bytes of its byte-order mark, and the sample's text.
    bool detect(const QByteArray& sample, bool whole, qsizetype* skip, QString* text);
    // Decodes more of the file into the buffer; false when none is left
    // or it cannot be read.
    bool fill();
    void decode(QByteArrayView bytes, bool last);
    // One record from the buffer, read on over as many chunks as it spans.
    bool parse(QStringList& cells);
    bool fail(const QString& error);

    const qsizetype chunkBytes_;
    QFile file_;
    std::unique_ptr<Decoder> decoder_;
    CsvEncoding encoding_ = CsvEncoding::Utf8;
    QChar separator_ = QLatin1Char(',');
    QStringList headings_;
    QString buffer_;
    qsizetype pos_ = 0;
    bool fileDone_ = false;
    bool badBytes_ = false;
    qint64 row_ = 0;
    qint64 bytesRead_ = 0;
    qint64 size_ = 0;
    QString error_;
};

} // namespace shop
