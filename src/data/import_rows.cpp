#include "import_rows.h"

#include "card_ledger.h"
#include "clock.h"
#include "numeric.h"
#include "schema.h"

namespace shop::imports {

namespace {

namespace goods = schema::jinhuo;
namespace card = schema::numbercard;
namespace guke = schema::guke;
namespace worker = schema::worker;

enum class Type : quint8 { Text, Figure, Date, CardType };
enum Need : quint8 { Optional = 0, Column = 0x1, Cell = 0x2, Both = Column | Cell };

// What a column of a kind holds and whether a file and a row must have it:
// the fields the windows will not save without, the figures they compute
// with, the dates they fill in.
struct Rule {
    QString column;
    Type type = Type::Text;
    quint8 need = Optional;
    int at = -1; // the column's place in the table
};

struct KindDef {
    Kind kind;
    QString text;
    QString table;
    QList<Rule> rules;
    // The columns that tell one record from another, as the window's save
    // compares them.
    QStringList key;
    QStringList columns;
    // Places in the table, looked up once: of the key's columns, and of
    // the card's figures and the employee's name and number.
    QList<int> keyAt = {};
    int usesAt = -1;
    int balanceAt = -1;
    int nameAt = -1;
    int idAt = -1;
};

const QList<KindDef>& kindDefs()
{
    static const QList<KindDef> defs = [] {
        QList<KindDef> d = {
            {Kind::Goods,
             QStringLiteral("商品资料"),
             goods::kTable,
             {{goods::kName, Type::Text, Both},
              {goods::kCode, Type::Text, Both},
              {goods::kPerBox, Type::Figure},
              {goods::kPurchasePrice, Type::Figure, Both},
              {goods::kRetailPrice, Type::Figure, Both},
              {goods::kStock, Type::Figure, Both},
              {goods::kDate, Type::Date}},
             {goods::kName, goods::kCode, goods::kPurchasePrice},
             {}},
            // The figure a card's type charges must be there (checked with
            // the type); the other may be empty.
            {Kind::Cards,
             QStringLiteral("会员卡"),
             card::kTable,
             {{card::kOpened, Type::Date},
              {card::kNumber, Type::Text, Both},
              {card::kHolder, Type::Text, Both},
              {card::kBalance, Type::Figure, Column},
              {card::kUses, Type::Figure, Column},
              {card::kType, Type::CardType, Both}},
             {card::kNumber},
             {}},
            {Kind::Customers,
             QStringLiteral("顾客资料"),
             guke::kTable,
             {{guke::kNumber, Type::Text, Both},
              {guke::kName, Type::Text, Both},
              {guke::kCreated, Type::Date}},
             {guke::kNumber, guke::kName},
             {}},
            {Kind::Employees,
             QStringLiteral("员工资料"),
             worker::kTable,
             {{worker::kName, Type::Text, Both},
              {worker::kPay, Type::Figure},
              {worker::kHired, Type::Date},
              {worker::kId, Type::Text, Both}},
             {worker::kId},
             {}},
        };
        for (KindDef& k : d) {
            k.columns = schema::columnsOf(k.table);
            const auto at = [&k](const QString& c) { return static_cast<int>(k.columns.indexOf(c)); };
            for (Rule& r : k.rules)
                r.at = at(r.column);
            for (const QString& c : k.key)
                k.keyAt << at(c);
            if (k.kind == Kind::Cards) {
                k.usesAt = at(card::kUses);
                k.balanceAt = at(card::kBalance);
            } else if (k.kind == Kind::Employees) {
                k.nameAt = at(worker::kName);
                k.idAt = at(worker::kId);
            }
        }
        return d;
    }();
    return defs;
}

const KindDef& def(Kind k)
{
    return kindDefs().at(static_cast<int>(k));
}

// A heading as it is compared: without blanks (nor a stray byte-order
// mark), Latin letters in lower case.
QString headingKey(const QString& heading)
{
    QString out;
    out.reserve(heading.size());
    for (QChar c : heading)
        if (!c.isSpace() && c != QChar::ByteOrderMark)
            out.append(c.unicode() < 0x80 ? c.toLower() : c);
    return out;
}

// Key texts compare as the tables compare them: Latin letters without case.
QChar foldedChar(QChar c)
{
    return c >= QLatin1Char('A') && c <= QLatin1Char('Z') ? QChar(c.unicode() + ('a' - 'A')) : c;
}

QString folded(const QString& s)
{
    QString out = s;
    for (QChar& c : out)
        c = foldedChar(c);
    return out;
}

bool blank(const QString& s)
{
    for (QChar c : s)
        if (!c.isSpace())
            return false;
    return true;
}

// The parts of a key as one text, folded, each with its length before it
// so no two keys run together.
class KeyText {
public:
    void add(QStringView part)
    {
        const auto n = static_cast<quint32>(part.size());
        text_.append(QChar(ushort(n >> 16)));
        text_.append(QChar(ushort(n & 0xFFFF)));
        for (QChar c : part)
            text_.append(foldedChar(c));
    }
    QString take() { return std::move(text_); }

private:
    QString text_;
};

// A value as a message quotes it.
QString shown(const QString& v)
{
    constexpr qsizetype kLongest = 40;
    return QStringLiteral("“%1”").arg(v.size() > kLongest ? v.left(kLongest) + QStringLiteral("…") : v);
}

// What one record of a kind is called.
QString recordText(Kind k)
{
    switch (k) {
    case Kind::Goods:
        return QStringLiteral("商品");
    case Kind::Cards:
        return QStringLiteral("会员卡");
    case Kind::Customers:
        return QStringLiteral("顾客");
    case Kind::Employees:
        return QStringLiteral("员工");
    }
    return {};
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

const QList<Kind>& allKinds()
{
    static const QList<Kind> kinds = {Kind::Goods, Kind::Cards, Kind::Customers, Kind::Employees};
    return kinds;
}

QString kindText(Kind k)
{
    return def(k).text;
}

QString tableOf(Kind k)
{
    return def(k).table;
}

const QStringList& columnsOf(Kind k)
{
    return def(k).columns;
}

const QStringList& keyColumns(Kind k)
{
    return def(k).key;
}

QStringList requiredColumns(Kind k)
{
    QStringList out;
    for (const QString& c : columnsOf(k))
        for (const Rule& r : def(k).rules)
            if (r.column == c && (r.need & Column))
                out << c;
    return out;
}

QString resultHeading()
{
    return QStringLiteral("导入结果");
}

ColumnMap::ColumnMap(Kind kind, const QStringList& headings) : kind_(kind), headings_(headings)
{
    QHash<QString, QString> byKey;
    for (const QString& c : columnsOf(kind))
        byKey.insert(headingKey(c), c);
    const QString result = headingKey(resultHeading());
    for (const QString& h : headings) {
        QString column = byKey.value(headingKey(h));
        // A column named twice is fed by the first heading only.
        if (!column.isEmpty() && targets_.contains(column))
            column.clear();
        targets_ << column;
        decided_ << (!column.isEmpty() || headingKey(h) == result);
    }
}

int ColumnMap::source(const QString& column) const
{
    return column.isEmpty() ? -1 : static_cast<int>(targets_.indexOf(column));
}

QList<int> ColumnMap::unmatched() const
{
    QList<int> out;
    for (int i = 0; i < decided_.size(); ++i)
        if (!decided_.at(i))
            out << i;
    return out;
}

bool ColumnMap::assign(int fileColumn, const QString& column)
{
    if (fileColumn < 0 || fileColumn >= targets_.size() ||
        (!column.isEmpty() && !columnsOf(kind_).contains(column)))
        return false;
    const int before = source(column);
    if (before >= 0 && before != fileColumn) {
        targets_[before].clear();
        decided_[before] = true;
    }
    targets_[fileColumn] = column;
    decided_[fileColumn] = true;
    return true;
}

QStringList ColumnMap::missingRequired() const
{
    QStringList out;
    for (const QString& c : requiredColumns(kind_))
        if (source(c) < 0)
            out << c;
    return out;
}

QString ColumnMap::missingText() const
{
    const QStringList missing = missingRequired();
    if (missing.isEmpty())
        return {};
    return QStringLiteral("%1文件缺少必需的列：「%2」。文件的第一行应是各列的名称。")
        .arg(kindText(kind_), missing.join(QStringLiteral("」、「")));
}

Refusal figureRefusal(const QString& text)
{
    const QStringView t = QStringView(text).trimmed();
    qsizetype i = 0;
    const qsizetype n = t.size();
    const bool negative = n > 0 && t[0] == QLatin1Char('-');
    if (negative)
        ++i;
    const qsizetype wholeFrom = i;
    while (i < n && isDigit(t[i]))
        ++i;
    if (i == wholeFrom)
        return Refusal::NotNumber;
    if (i < n && t[i] == QLatin1Char('.')) {
        const qsizetype fractionFrom = ++i;
        while (i < n && isDigit(t[i]))
            ++i;
        if (i == fractionFrom)
            return Refusal::NotNumber;
    }
    if (i != n)
        return Refusal::NotNumber;
    // Its value must come back from the number text the program writes
    // when it computes with it (15 significant digits).
    const NumericRead value = readNumber(text);
    if (negative || value.overflow || numericValue(numberText(value.value)) != value.value)
        return Refusal::OutOfRange;
    return Refusal::None;
}

QString verdictText(Kind kind, qint64 row, const Verdict& v, const QStringList& values)
{
    const QStringList& columns = columnsOf(kind);
    const QString column = columns.value(v.column);
    const QString value = values.value(v.column);
    const QString at = QStringLiteral("第 %1 行").arg(row);
    const auto keyText = [&] {
        QStringList parts;
        for (const QString& k : def(kind).key)
            parts << k + shown(values.value(columns.indexOf(k)));
        return parts.join(QStringLiteral("、"));
    };
    switch (v.refusal) {
    case Refusal::None:
        return v.outcome == Outcome::Update ? QStringLiteral("更新已有的记录") : QStringLiteral("新增");
    case Refusal::ExtraCells:
        return at + QStringLiteral("的单元格比标题行多：多出的单元格不属于任何一列。");
    case Refusal::Empty:
        return at + QStringLiteral("「%1」为空。").arg(column);
    case Refusal::NotNumber:
        return at + QStringLiteral("「%1」不是数字：%2。").arg(column, shown(value));
    case Refusal::OutOfRange:
        return at + QStringLiteral("「%1」超出范围：%2（应不小于 0，且不超过 15 位有效数字）。")
                        .arg(column, shown(value));
    case Refusal::BadDate:
        return at + QStringLiteral("「%1」不是“年-月-日”形式的日期（如 2024-03-08）：%2。")
                        .arg(column, shown(value));
    case Refusal::UnknownCardType:
        return at + QStringLiteral("「%1」%2不是本程序的卡类型。").arg(column, shown(value));
    case Refusal::Exists:
        return at + QStringLiteral("：%1 的%2已存在。").arg(keyText(), recordText(kind));
    case Refusal::Repeated:
        return at + QStringLiteral("：%1 与第 %2 行重复。").arg(keyText()).arg(v.earlier);
    case Refusal::NameTaken:
        return at + (v.earlier > 0 ? QStringLiteral("：员工姓名%1与第 %2 行的另一位员工相同。")
                                         .arg(shown(values.value(columns.indexOf(worker::kName))))
                                         .arg(v.earlier)
                                   : QStringLiteral("：员工姓名%1已被另一位员工使用。")
                                         .arg(shown(values.value(columns.indexOf(worker::kName)))));
    }
    return {};
}

DbResult RowCheck::loadStored(Database& db)
{
    stored_.clear();
    storedNames_.clear();
    const KindDef& d = def(kind_);
    QStringList read = d.key;
    const bool employees = kind_ == Kind::Employees;
    if (employees)
        read << worker::kName;
    const QString sql =
        QStringLiteral("SELECT rowid, %1 FROM %2").arg(quoteIdents(read), quoteIdent(d.table));
    const int keyParts = static_cast<int>(d.key.size());
    return db.selectKeyedTexts(sql, {}, [&](qint64 rowid, const Database::TextRow& row) {
        KeyText key;
        for (int i = 0; i < keyParts; ++i)
            key.add(row.text(i));
        QString k = key.take();
        const auto it = stored_.find(k);
        if (it == stored_.end())
            stored_.insert(std::move(k), rowid);
        else if (rowid < *it)
            *it = rowid;
        if (employees)
            storedNames_.insert(folded(row.text(keyParts)), folded(row.text(0)));
        return true;
    });
}

void RowCheck::restart()
{
    seen_.clear();
    seenNames_.clear();
}

Verdict RowCheck::fieldFault(const QStringList& values) const
{
    const KindDef& d = def(kind_);
    const auto refused = [](Refusal r, int column) {
        return Verdict{Outcome::Refused, r, static_cast<qint16>(column), 0};
    };
    for (const Rule& r : d.rules) {
        const QString& v = values.at(r.at);
        if (blank(v)) {
            if (r.need & Cell)
                return refused(Refusal::Empty, r.at);
            continue;
        }
        switch (r.type) {
        case Type::Text:
            break;
        case Type::Figure:
            if (const Refusal f = figureRefusal(v); f != Refusal::None)
                return refused(f, r.at);
            break;
        case Type::Date:
            if (!isDate(v))
                return refused(Refusal::BadDate, r.at);
            break;
        case Type::CardType:
            if (!cards::isUseCard(v) && !cards::isValueCard(v))
                return refused(Refusal::UnknownCardType, r.at);
            // The figure the type charges: the uses of a card of uses, the
            // balance of a stored-value card.
            if (const int charged = cards::isUseCard(v) ? d.usesAt : d.balanceAt; blank(values.at(charged)))
                return refused(Refusal::Empty, charged);
            break;
        }
    }
    return {};
}

bool RowCheck::isDate(const QString& text) const
{
    // The program's date rule, once per distinct text: a file has few
    // dates, over and over, and the rule parses with a format.
    constexpr qsizetype kRemembered = 4096;
    const auto it = dates_.constFind(text);
    if (it != dates_.cend())
        return *it;
    if (dates_.size() >= kRemembered)
        dates_.clear();
    const bool date = isDateText(text);
    dates_.insert(text, date);
    return date;
}

QString RowCheck::keyOf(const QStringList& values) const
{
    KeyText key;
    for (const int at : def(kind_).keyAt) {
        const QString& v = values.at(at);
        if (blank(v))
            return {};
        key.add(v);
    }
    return key.take();
}

qint64 RowCheck::storedRowid(const QStringList& values) const
{
    const QString key = keyOf(values);
    return key.isEmpty() ? 0 : stored_.value(key, 0);
}

Verdict RowCheck::check(qint64 row, const QStringList& values, int extraCells)
{
    const KindDef& d = def(kind_);
    Q_ASSERT(values.size() == d.columns.size());
    const qint32 at = static_cast<qint32>(row);
    // A row's key and name count against later rows even when the row is
    // refused for something else: the file has them twice all the same.
    const QString key = keyOf(values);
    qint32 earlier = 0;
    if (!key.isEmpty()) {
        const auto it = seen_.constFind(key);
        if (it != seen_.cend())
            earlier = *it;
        else
            seen_.insert(key, at);
    }
    QString name;
    QString id;
    Named namedBefore{{}, 0};
    if (kind_ == Kind::Employees && !key.isEmpty()) {
        name = folded(values.at(d.nameAt));
        id = folded(values.at(d.idAt));
        // A name another stored employee has is no row's to claim.
        const auto owner = storedNames_.constFind(name);
        if (!blank(name) && (owner == storedNames_.cend() || *owner == id)) {
            const auto it = seenNames_.constFind(name);
            if (it != seenNames_.cend())
                namedBefore = *it;
            else
                seenNames_.insert(name, {id, at});
        }
    }

    const auto refused = [](Refusal r, int column, qint32 before = 0) {
        return Verdict{Outcome::Refused, r, static_cast<qint16>(column), before};
    };
    if (extraCells > 0)
        return Verdict{Outcome::Refused, Refusal::ExtraCells, -1, 0};
    if (const Verdict f = fieldFault(values); f.outcome == Outcome::Refused)
        return f;
    if (earlier > 0)
        return refused(Refusal::Repeated, d.keyAt.first(), earlier);
    const bool stored = stored_.contains(key);
    if (stored && !updates_)
        return refused(Refusal::Exists, d.keyAt.first());
    if (kind_ == Kind::Employees) {
        const auto owner = storedNames_.constFind(name);
        if (owner != storedNames_.cend() && *owner != id)
            return refused(Refusal::NameTaken, d.nameAt);
        if (namedBefore.row > 0 && namedBefore.id != id)
            return refused(Refusal::NameTaken, d.nameAt, namedBefore.row);
    }
    return Verdict{stored ? Outcome::Update : Outcome::Add, Refusal::None, -1, 0};
}

} // namespace shop::imports
