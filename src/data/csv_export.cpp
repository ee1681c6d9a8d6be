#include "csv_export.h"

#include "table_rows.h"

#include <QHash>
#include <QSaveFile>
#include <QVector>

#include <array>
#include <cstring>
#include <limits>

namespace shop {

namespace {

// The buffer goes to the file once it holds this much.
constexpr qsizetype kFlushBytes = qsizetype(1) << 20;
// Rowids per statement when rows are read by rowid (well below the engine's
// limit on bound values).
constexpr int kRowidBatch = 500;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Digits with at most one decimal point, then an optional exponent.
bool plainNumber(QByteArrayView s)
{
    qsizetype i = 0;
    const qsizetype n = s.size();
    bool digits = false;
    while (i < n && isDigit(s[i])) {
        ++i;
        digits = true;
    }
    if (i < n && s[i] == '.') {
        ++i;
        while (i < n && isDigit(s[i])) {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return false;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-'))
            ++i;
        bool exponent = false;
        while (i < n && isDigit(s[i])) {
            ++i;
            exponent = true;
        }
        if (!exponent)
            return false;
    }
    return i == n;
}

// Bytes that make RFC 4180 enclose a field in quotes.
constexpr std::array<bool, 256> kNeedsQuotes = [] {
    std::array<bool, 256> t{};
    t[static_cast<unsigned char>(',')] = true;
    t[static_cast<unsigned char>('"')] = true;
    t[static_cast<unsigned char>('\r')] = true;
    t[static_cast<unsigned char>('\n')] = true;
    return t;
}();

// CSV lines built in one growing block of bytes.
class Lines {
public:
    Lines() { data_.resize(kFlushBytes + 64 * 1024); }

    qsizetype size() const { return used_; }
    QByteArrayView view(qsizetype from, qsizetype length) const
    {
        return QByteArrayView(data_.constData() + from, length);
    }
    void clear() { used_ = 0; }

    void append(QByteArrayView bytes)
    {
        char* p = room(bytes.size());
        if (!bytes.isEmpty())
            std::memcpy(p, bytes.data(), bytes.size());
        used_ += bytes.size();
    }

    void cell(QByteArrayView v)
    {
        // The separator, a guard quote, two enclosing quotes, every quote doubled.
        char* p = room(2 * v.size() + 4);
        char* const start = p;
        if (!firstCell_)
            *p++ = ',';
        firstCell_ = false;
        const bool guard = runsAsFormula(v);
        bool quote = false;
        for (char c : v)
            if (kNeedsQuotes[static_cast<unsigned char>(c)]) {
                quote = true;
                break;
            }
        if (!quote) {
            if (guard)
                *p++ = '\'';
            if (!v.isEmpty())
                std::memcpy(p, v.data(), v.size());
            p += v.size();
        } else {
            *p++ = '"';
            if (guard)
                *p++ = '\'';
            for (char c : v) {
                if (c == '"')
                    *p++ = '"';
                *p++ = c;
            }
            *p++ = '"';
        }
        used_ += p - start;
    }

    void endRow()
    {
        append("\r\n");
        firstCell_ = true;
    }

private:
    char* room(qsizetype n)
    {
        if (used_ + n > data_.size())
            data_.resize(qMax(data_.size() * 2, used_ + n));
        return data_.data() + used_;
    }

    QByteArray data_;
    qsizetype used_ = 0;
    bool firstCell_ = true;
};

class Export {
public:
    Export(Database& db, const RecordSource& source, const QList<CsvColumn>& columns, const QString& fileName,
           const CsvProgress& progress, int chunkRows)
        : db_(db), source_(source), progress_(progress), chunkRows_(qMax(1, chunkRows)), file_(fileName)
    {
        // Each source column is read once, however many cells show it.
        for (const CsvColumn& c : columns) {
            Cell cell;
            if (c.fixedText) {
                cell.fixed = c.fixedText->toUtf8();
            } else {
                qsizetype i = read_.indexOf(c.column);
                if (i < 0) {
                    read_ << c.column;
                    i = read_.size() - 1;
                }
                cell.read = static_cast<int>(i);
            }
            cells_ << cell;
            headings_ << c.heading.toUtf8();
        }
    }

    CsvResult run()
    {
        if (!file_.open(QIODevice::WriteOnly))
            return failed(CsvOutcome::WriteFailed, file_.errorString());
        out_.append("\xEF\xBB\xBF");
        for (const QByteArray& h : headings_)
            out_.cell(h);
        out_.endRow();
        // Lets the progress show before the first query, which may be long.
        if (!goOn(0))
            return cancelled();
        const bool ok = source_.order.isEmpty() && !sortsByRowid() ? inStoredOrder() : inSourceOrder();
        if (!ok)
            return result_;
        if (!flush())
            return result_;
        if (!file_.commit())
            return failed(CsvOutcome::WriteFailed, file_.errorString());
        result_.outcome = CsvOutcome::Written;
        return result_;
    }

private:
    struct Cell {
        int read = -1; // position among the columns read, or -1 for `fixed`
        QByteArray fixed;
    };

    // The chunk statement of the stored order, for the source's conditions.
    QString storedChunkSql(QVariantList* binds) const
    {
        const QString where = source_.whereSql(binds);
        return QStringLiteral("SELECT %1 FROM %2%3%4rowid > ? ORDER BY rowid LIMIT %5")
            .arg(selectList(), quoteIdent(source_.table), where,
                 where.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND "))
            .arg(chunkRows_);
    }

    // True when the engine would serve a chunk of the stored order by
    // sorting every matching row (a condition it reads from an index):
    // chunk after chunk would repeat that sort, so the rowids are listed once.
    bool sortsByRowid() const
    {
        QVariantList binds;
        const QString sql = storedChunkSql(&binds);
        binds << 0;
        return db_.sortsWholeResult(sql, binds, Database::PartialSorts::Count);
    }

    QString selectList() const
    {
        QStringList cols{QStringLiteral("rowid")};
        for (const QString& c : read_)
            cols << quoteIdent(c);
        return cols.join(QStringLiteral(", "));
    }

    void writeRow(Lines& lines, const Database::TextRow& row) const
    {
        for (const Cell& c : cells_)
            lines.cell(c.read < 0 ? QByteArrayView(c.fixed) : row.utf8(c.read));
        lines.endRow();
    }

    // The source without an order: by rowid, each chunk from the last rowid
    // written. The share done is the last rowid's place in the table's range.
    bool inStoredOrder()
    {
        QVariantList binds;
        const QString sql = storedChunkSql(&binds);
        const auto range = db_.selectOne(
            QStringLiteral("SELECT min(rowid), max(rowid) FROM %1").arg(quoteIdent(source_.table)));
        if (range.failed())
            return readFailed(range.error());
        const qint64 low = range.found() ? range->value(0).toLongLong() : 0;
        const qint64 high = range.found() ? range->value(1).toLongLong() : 0;

        qint64 last = std::numeric_limits<qint64>::min();
        for (;;) {
            QVariantList chunkBinds = binds;
            chunkBinds << last;
            int n = 0;
            bool written = true;
            const DbResult r =
                db_.selectKeyedTexts(sql, chunkBinds, [&](qint64 rowid, const Database::TextRow& row) {
                    writeRow(out_, row);
                    last = rowid;
                    ++n;
                    written = out_.size() < kFlushBytes || flush();
                    return written;
                });
            if (!written)
                return false;
            if (!r)
                return readFailed(r.error);
            result_.rows += n;
            const double done =
                n < chunkRows_ ? 1.0 : double(last - low + 1) / double(qMax<qint64>(1, high - low + 1));
            if (!goOn(qBound(0.0, done, 1.0))) {
                cancelled();
                return false;
            }
            if (n < chunkRows_)
                return true;
        }
    }

    // A source with an order: the rowids in that order first (one pass, the
    // same order the grid shows), then the rows by rowid, chunk by chunk.
    bool inSourceOrder()
    {
        QVariantList binds;
        const QString where = source_.whereSql(&binds);
        QVector<qint64> ids;
        const DbResult listed =
            db_.selectKeyedTexts(QStringLiteral("SELECT rowid FROM %1%2%3")
                                     .arg(quoteIdent(source_.table), where, rows::gridOrderSql(source_)),
                                 binds, [&ids](qint64 rowid, const Database::TextRow&) {
                                     ids.append(rowid);
                                     return true;
                                 });
        if (!listed)
            return readFailed(listed.error);

        const QString prefix =
            QStringLiteral("SELECT %1 FROM %2 NOT INDEXED%3%4rowid IN (")
                .arg(selectList(), quoteIdent(source_.table), where,
                     where.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND "));
        Lines batch;
        QHash<qint64, int> slot;
        QVector<std::pair<qsizetype, qsizetype>> spans;
        const qsizetype total = ids.size();
        for (qsizetype from = 0; from < total;) {
            const qsizetype chunkEnd = qMin(total, from + chunkRows_);
            for (qsizetype b = from; b < chunkEnd; b += kRowidBatch) {
                const qsizetype n = qMin<qsizetype>(kRowidBatch, chunkEnd - b);
                QVariantList batchBinds = binds;
                QString sql = prefix;
                slot.clear();
                for (qsizetype i = 0; i < n; ++i) {
                    sql += i == 0 ? QStringLiteral("?") : QStringLiteral(", ?");
                    batchBinds << ids.at(b + i);
                    slot.insert(ids.at(b + i), static_cast<int>(i));
                }
                sql += QLatin1Char(')');
                // The engine returns them by rowid: each line is kept apart and
                // they are written in the source's order. A row deleted since
                // the list was read drops out.
                batch.clear();
                spans.fill({0, -1}, n);
                const DbResult r =
                    db_.selectKeyedTexts(sql, batchBinds, [&](qint64 rowid, const Database::TextRow& row) {
                        const qsizetype start = batch.size();
                        writeRow(batch, row);
                        spans[slot.value(rowid)] = {start, batch.size() - start};
                        return true;
                    });
                if (!r)
                    return readFailed(r.error);
                for (const auto& [start, length] : std::as_const(spans)) {
                    if (length < 0)
                        continue;
                    out_.append(batch.view(start, length));
                    ++result_.rows;
                }
                if (out_.size() >= kFlushBytes && !flush())
                    return false;
            }
            from = chunkEnd;
            if (!goOn(double(from) / double(total))) {
                cancelled();
                return false;
            }
        }
        return true;
    }

    bool goOn(double done) { return !progress_ || progress_(result_.rows, done); }

    bool flush()
    {
        if (out_.size() == 0)
            return true;
        const QByteArrayView bytes = out_.view(0, out_.size());
        if (file_.write(bytes.data(), bytes.size()) != bytes.size()) {
            failed(CsvOutcome::WriteFailed, file_.errorString());
            return false;
        }
        out_.clear();
        return true;
    }

    bool readFailed(const QString& error)
    {
        failed(CsvOutcome::ReadFailed, error);
        return false;
    }

    CsvResult failed(CsvOutcome outcome, const QString& error)
    {
        file_.cancelWriting();
        result_.outcome = outcome;
        result_.error = error;
        return result_;
    }

    CsvResult cancelled()
    {
        file_.cancelWriting();
        result_.outcome = CsvOutcome::Cancelled;
        return result_;
    }

    Database& db_;
    const RecordSource source_;
    const CsvProgress& progress_;
    const int chunkRows_;
    QSaveFile file_;
    QStringList read_;
    QList<Cell> cells_;
    QList<QByteArray> headings_;
    Lines out_;
    CsvResult result_;
};

} // namespace

bool runsAsFormula(QByteArrayView v)
{
    if (v.isEmpty())
        return false;
    switch (v[0]) {
    case '=':
    case '+':
    case '@':
    case '\t':
    case '\r':
        return true;
    case '-':
        return v.size() > 1 && !plainNumber(v.sliced(1));
    default:
        return false;
    }
}

CsvResult exportCsv(Database& db, const RecordSource& source, const QList<CsvColumn>& columns,
                    const QString& fileName, const CsvProgress& progress, int chunkRows)
{
    return Export(db, source, columns, fileName, progress, chunkRows).run();
}

CsvResult writeCsv(const QList<QStringList>& rows, const QString& fileName)
{
    CsvResult out;
    QSaveFile file(fileName);
    Lines lines;
    lines.append("\xEF\xBB\xBF");
    for (const QStringList& row : rows) {
        for (const QString& cell : row)
            lines.cell(cell.toUtf8());
        lines.endRow();
    }
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(lines.view(0, lines.size()).toByteArray()) != lines.size() || !file.commit()) {
        out.outcome = CsvOutcome::WriteFailed;
        out.error = file.errorString();
        return out;
    }
    out.rows = rows.size() - 1;
    return out;
}

} // namespace shop
