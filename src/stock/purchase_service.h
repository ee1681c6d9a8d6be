#pragma once

#include "data/database.h"
#include "data/record_source.h"
#include "data/schema.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace shop {

// A goods line of jinhuo as a match found it: its rowid and its ten values.
struct GoodsMatch {
    qint64 rowid = 0;
    QStringList values;
};

// What adding stock to a line came to.
struct StockOutcome {
    enum Kind { Added, LineDeleted, Overflow, Failed };
    Kind kind = Added;
    QString stock; // Added: the new figure in its signed form (as said to the user)
    QString error; // Failed: the database's words
};

// The writes of the purchase tab, apart from the window: new goods lines
// with their history row, stock added to a line, a line overwritten. Values
// are the ten texts of jinhuo in column order.
class PurchaseService {
public:
    static inline const QString kTable = schema::jinhuo::kTable;
    static inline const QString kHistory = schema::jinhuo::kHistory;

    explicit PurchaseService(Database& db) : db_(db) {}

    // The stock figure a line stands at: the number of its text rounded to
    // a whole number, halves to even (a figure beyond that range is whole).
    static double wholeFigure(const QString& stockText);

    // The first line of `source` (as a grid showing it lists them) with the
    // name, code and purchase price of `values`: adding tells lines apart so.
    DbValue<GoodsMatch> matchForAdd(const RecordSource& source, const QStringList& values);

    // The history row and the goods line, both or neither.
    DbResult addGoods(const QStringList& values);

    // Adds `quantity` to the line's stock as it stands inside the
    // transaction, so a sale made meanwhile is not written over.
    StockOutcome addStock(qint64 rowid, const QString& quantity);

    // Overwrites one line: `loaded` while its name and code are still those
    // of `values`, else the first line of `source` with them. The rowid
    // written; no value when there is no such line.
    DbValue<qint64> modify(std::optional<qint64> loaded, const RecordSource& source,
                           const QStringList& values);

private:
    StockOutcome addStockOnce(qint64 rowid, const QString& quantity);
    Database& db_;
};

} // namespace shop
