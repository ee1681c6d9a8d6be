#include "record_source.h"

#include "collation.h"
#include "database.h"
#include "schema.h"

namespace shop {

namespace {
// SQLite refuses LIKE patterns longer than 50 000 bytes.
constexpr qsizetype kMaxLikeText = 10000;

QString withSortCollation(const QString& column, const QString& term)
{
    if (!schema::sortsInPinyin(column))
        return term;
    return term + QStringLiteral(" COLLATE ") + QLatin1String(collation::kPinyin);
}
} // namespace

QString orderTerm(const QString& column)
{
    return withSortCollation(column, quoteIdent(column));
}

QString orderKeyTerm(const QString& column)
{
    if (!schema::sortsInPinyin(column))
        return quoteIdent(column);
    return QStringLiteral("%1(%2)").arg(QLatin1String(collation::kPinyinKey), quoteIdent(column));
}

QString orderMark(const QString& column)
{
    return withSortCollation(column, QStringLiteral("?"));
}

QString containsPattern(const QString& text)
{
    QString p;
    p.reserve(text.size() + 2);
    p.append(u'%');
    for (QChar c : text) {
        if (c == u'%' || c == u'_' || c == u'\\')
            p.append(u'\\');
        p.append(c);
    }
    p.append(u'%');
    return p;
}

QString RecordSource::whereSql(QVariantList* binds, const QList<Condition>& extra) const
{
    QStringList parts;
    auto add = [&](const Condition& c) {
        const QString col = quoteIdent(c.column);
        switch (c.op) {
        case Op::Eq:
            parts << col + " = ?";
            break;
        case Op::Ne:
            parts << col + " <> ?";
            break;
        case Op::Lt:
            parts << col + " < ?";
            break;
        case Op::Le:
            parts << col + " <= ?";
            break;
        case Op::Gt:
            parts << col + " > ?";
            break;
        case Op::Ge:
            parts << col + " >= ?";
            break;
        case Op::Contains:
            if (c.value.size() > kMaxLikeText) {
                // Beyond the engine's pattern limit; upper() folds ASCII
                // letters as the column's NOCASE collation does.
                parts << "instr(upper(" + col + "), upper(?)) > 0";
                binds->append(c.value);
            } else {
                parts << col + " LIKE ? ESCAPE '\\'";
                binds->append(containsPattern(c.value));
            }
            return;
        }
        binds->append(textValue(c.value));
    };
    for (const Condition& c : where)
        add(c);
    for (const Condition& c : extra)
        add(c);
    return parts.isEmpty() ? QString() : QStringLiteral(" WHERE ") + parts.join(" AND ");
}

QString RecordSource::orderSql() const
{
    if (order.isEmpty())
        return {};
    QStringList parts;
    for (const SortKey& k : order)
        parts << orderTerm(k.column) + (k.descending ? " DESC" : "");
    return QStringLiteral(" ORDER BY ") + parts.join(", ");
}

} // namespace shop
