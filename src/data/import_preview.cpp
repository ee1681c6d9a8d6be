#include "import_preview.h"

namespace shop::imports {

namespace {

// Rows are gathered in blocks of this many characters.
constexpr qsizetype kBlockChars = qsizetype(1) << 20;

bool blank(QStringView s)
{
    for (QChar c : s)
        if (!c.isSpace())
            return false;
    return true;
}

} // namespace

void RowStore::append(qint64 row, const QStringList& cells)
{
    qsizetype length = 0;
    for (const QString& c : cells)
        length += c.size();
    if (blocks_.empty() || blocks_.back().size() + length > blocks_.back().capacity()) {
        blocks_.emplace_back();
        blocks_.back().reserve(qMax(kBlockChars, length));
    }
    QString& block = blocks_.back();
    entries_.append(Entry{row, ends_.size(), static_cast<quint32>(blocks_.size() - 1),
                          static_cast<quint32>(block.size()), static_cast<quint32>(cells.size())});
    quint32 end = 0;
    for (const QString& c : cells) {
        block.append(c);
        end += static_cast<quint32>(c.size());
        ends_.append(end);
    }
}

void RowStore::clear()
{
    blocks_.clear();
    ends_.clear();
    entries_.clear();
}

QStringView RowStore::cell(qsizetype i, int c) const
{
    const Entry& e = entries_.at(i);
    if (c < 0 || quint32(c) >= e.cells)
        return {};
    const quint32 from = c == 0 ? 0 : ends_.at(e.firstEnd + c - 1);
    const quint32 to = ends_.at(e.firstEnd + c);
    return QStringView(blocks_.at(e.block)).sliced(e.start + from, to - from);
}

ImportPreview::ImportPreview(Database& db, Kind kind) : db_(db), kind_(kind), check_(kind) {}

bool ImportPreview::open(const QString& fileName)
{
    if (!reader_.open(fileName)) {
        error_ = reader_.error();
        return false;
    }
    map_ = ColumnMap(kind_, reader_.headings());
    mapped();
    const DbResult stored = check_.loadStored(db_);
    if (!stored) {
        error_ = stored.error;
        return false;
    }
    return true;
}

bool ImportPreview::assign(int fileColumn, const QString& column)
{
    if (!map_.assign(fileColumn, column))
        return false;
    mapped();
    recheck();
    return true;
}

void ImportPreview::setUpdates(bool on)
{
    if (on == check_.updates())
        return;
    check_.setUpdates(on);
    recheck();
}

void ImportPreview::mapped()
{
    sources_.clear();
    for (const QString& c : columnsOf(kind_))
        sources_ << map_.source(c);
}

template <typename CellAt> Verdict ImportPreview::checkRow(qint64 row, int cellCount, const CellAt& cellAt)
{
    QStringList values;
    values.reserve(sources_.size());
    for (const int source : std::as_const(sources_))
        values << cellAt(source).toString();
    int extra = 0;
    for (int c = static_cast<int>(map_.headings().size()); c < cellCount; ++c)
        extra += blank(cellAt(c)) ? 0 : 1;
    return check_.check(row, values, extra);
}

void ImportPreview::count(const Verdict& v)
{
    switch (v.outcome) {
    case Outcome::Add:
        counts_.added += 1;
        break;
    case Outcome::Update:
        counts_.updated += 1;
        break;
    case Outcome::Refused:
        counts_.refused += 1;
        break;
    }
}

bool ImportPreview::readMore(qsizetype rows)
{
    if (const QString missing = missingColumns(); !missing.isEmpty()) {
        error_ = missing;
        return false;
    }
    CsvRecord record;
    for (qsizetype n = 0; n < rows;) {
        if (!reader_.next(record)) {
            if (reader_.failed()) {
                error_ = reader_.error();
                return false;
            }
            atEnd_ = true;
            return true;
        }
        if (record.blank())
            continue;
        const Verdict v = checkRow(record.row, static_cast<int>(record.cells.size()), [&record](int c) {
            return c >= 0 && c < record.cells.size() ? QStringView(record.cells.at(c)) : QStringView();
        });
        store_.append(record.row, record.cells);
        verdicts_.append(v);
        count(v);
        ++n;
    }
    return true;
}

void ImportPreview::recheck()
{
    check_.restart();
    counts_ = {};
    for (qsizetype i = 0; i < store_.size(); ++i) {
        verdicts_[i] =
            checkRow(store_.row(i), store_.cellCount(i), [this, i](int c) { return store_.cell(i, c); });
        count(verdicts_.at(i));
    }
}

QStringList ImportPreview::values(qsizetype i) const
{
    QStringList out;
    for (const int source : sources_)
        out << store_.cell(i, source).toString();
    return out;
}

QString ImportPreview::verdictText(qsizetype i) const
{
    return imports::verdictText(kind_, store_.row(i), verdicts_.at(i), values(i));
}

} // namespace shop::imports
