#pragma once

#include "data/database.h"
#include "data/record_source.h"

#include <QStringList>

#include <optional>

class QGridLayout;
class QLineEdit;
class QPushButton;
class QWidget;

namespace shop::members {

// The rowid of the first row, in stored order, of the whole table that
// matches every condition. nullopt when none matches; a database error is
// put into `error`.
std::optional<qint64> firstRowid(Database& db, const QString& table, const QList<Condition>& where,
                                 QString* error);

// The stored values of one row, read afresh: another window may have
// changed the row since the grid read it.
std::optional<QStringList> storedRow(Database& db, const QString& table, qint64 rowid);

// Binds every value as text, in the order given.
QVariantList textBinds(const QStringList& values);

// "INSERT INTO table VALUES (?, ...)" with one placeholder per column.
QString insertSql(Database& db, const QString& table);

// "UPDATE table SET c0 = ?, c1 = ?, ..." over every column, without WHERE.
QString updateAllSql(Database& db, const QString& table);

} // namespace shop::members
