#pragma once

#include "csv_import.h"
#include "import_rows.h"

#include <QVector>

#include <vector>

namespace shop::imports {

// The rows of a file as read, held compactly: the cells of many rows in
// one block of text, so a large file costs little more than its text.
class RowStore {
public:
    void append(qint64 row, const QStringList& cells);
    void clear();

    qsizetype size() const { return entries_.size(); }
    // The row a spreadsheet shows the record on.
    qint64 row(qsizetype i) const { return entries_.at(i).row; }
    int cellCount(qsizetype i) const { return static_cast<int>(entries_.at(i).cells); }
    // Cell `c` of record `i`; empty beyond its cells.
    QStringView cell(qsizetype i, int c) const;

private:
    struct Entry {
        qint64 row;
        qsizetype firstEnd; // in ends_
        quint32 block;
        quint32 start; // in the block
        quint32 cells;
    };
    std::vector<QString> blocks_;
    // Each cell's end, from its record's start.
    QVector<quint32> ends_;
    QVector<Entry> entries_;
};

// A file to import, read and checked for a window's preview: its columns
// matched by name (the person may map the others), the rows read a slice
// at a time, each with its verdict. Nothing is written; what the preview
// shows is what an import of it would write, the rows held as read.
class ImportPreview {
public:
    ImportPreview(Database& db, Kind kind);

    // Opens the file, reads its heading and the keys the table holds now.
    // False, with error() saying why, when either fails.
    bool open(const QString& fileName);
    QString error() const { return error_; }

    Kind kind() const { return kind_; }
    const CsvReader& reader() const { return reader_; }
    const ColumnMap& columns() const { return map_; }
    // The required columns the file lacks, said before anything else;
    // empty when none. No row is read while one is missing.
    QString missingColumns() const { return map_.missingText(); }

    // The person's choices; each checks the rows read so far again.
    bool assign(int fileColumn, const QString& column);
    void setUpdates(bool on);
    bool updates() const { return check_.updates(); }

    // Reads and checks up to `rows` more rows (blank lines are skipped):
    // the first screen first, the rest in slices between events. False
    // when the file cannot be read on or a required column is missing
    // (error() says which).
    bool readMore(qsizetype rows);
    bool atEnd() const { return atEnd_; }
    double progress() const { return reader_.progress(); }

    // The rows read, in file order.
    qsizetype size() const { return store_.size(); }
    qint64 row(qsizetype i) const { return store_.row(i); }
    // Its values in the table's column order (empty for a column the file
    // does not feed).
    QStringList values(qsizetype i) const;
    // A cell as the file has it, whatever column it feeds (to show the
    // person what an unmatched column holds).
    QString cell(qsizetype i, int fileColumn) const { return store_.cell(i, fileColumn).toString(); }
    const Verdict& verdict(qsizetype i) const { return verdicts_.at(i); }
    QString verdictText(qsizetype i) const;

    struct Counts {
        qsizetype added = 0;
        qsizetype updated = 0;
        qsizetype refused = 0;
    };
    const Counts& counts() const { return counts_; }

private:
    template <typename CellAt> Verdict checkRow(qint64 row, int cellCount, const CellAt& cellAt);
    void count(const Verdict& v);
    void recheck();
    // The file column feeding each column of the table, after a mapping.
    void mapped();

    Database& db_;
    const Kind kind_;
    CsvReader reader_;
    ColumnMap map_;
    QVector<int> sources_;
    RowCheck check_;
    RowStore store_;
    QVector<Verdict> verdicts_;
    Counts counts_;
    bool atEnd_ = false;
    QString error_;
};

} // namespace shop::imports
