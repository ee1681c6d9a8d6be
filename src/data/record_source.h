#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace shop {

// How a condition compares a column with its value. Text columns compare
// without regard to letter case. Contains matches the value anywhere in the
// column; its %, _ and * match themselves.
enum class Op { Eq, Ne, Lt, Le, Gt, Ge, Contains };

struct Condition {
    QString column;
    Op op = Op::Eq;
    QString value;
    bool operator==(const Condition&) const = default;
};

struct SortKey {
    QString column;
    bool descending = false;
    bool operator==(const SortKey&) const = default;
};

// What a record view shows: a table, optionally some of its columns, the
// conditions (joined by AND) and the order. Turned into SQL with bound values.
struct RecordSource {
    QString table;
    QStringList columns; // empty: every column in stored order
    QList<Condition> where;
    QList<SortKey> order;

    static RecordSource all(const QString& table) { return RecordSource{table, {}, {}, {}}; }
    RecordSource& filter(const QString& column, Op op, const QString& value)
    {
        where.append(Condition{column, op, value});
        return *this;
    }
    RecordSource& orderBy(const QString& column, bool descending = false)
    {
        order.append(SortKey{column, descending});
        return *this;
    }
    RecordSource sortedBy(const QString& column) const
    {
        RecordSource s = all(table);
        s.columns = columns;
        return s.orderBy(column);
    }

    bool operator==(const RecordSource&) const = default;

    // " WHERE ..." for the conditions (empty when there are none), with
    // their values appended to binds. `extra` conditions are ANDed in.
    QString whereSql(QVariantList* binds, const QList<Condition>& extra = {}) const;
    // " ORDER BY ..." (empty when there is no order).
    QString orderSql() const;
};

// A column as an ORDER BY or keyset term: text in pinyin order, figures,
// dates and codes in their stored order (see schema::sortsInPinyin).
QString orderTerm(const QString& column);

// A column as the key of a sort of a whole result that no index serves:
// for text, its pinyin sort key (computed once per row rather than compared
// through the collator at each step of the sort); the same order as orderTerm.
QString orderKeyTerm(const QString& column);

// The bound value a keyset compares an order column with: "?", carrying the
// column's sort collation. The collation goes on the value, not the column:
// SQLite searches an index by a row value only while its columns are bare.
QString orderMark(const QString& column);

// A LIKE pattern that finds `text` anywhere, with % and _ escaped by '\'.
QString containsPattern(const QString& text);

} // namespace shop
