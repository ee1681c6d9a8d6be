#pragma once

#include "data/database.h"
#include "data/table_rows.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace shop {

// What the business entry holds when the person saves.
struct SaleEntry {
    bool goods = false;   // 商品销售 ticked
    bool service = false; // 其它服务 ticked
    QString card;         // empty for a customer without a card
    QString productCode;
    QString productName; // label filled by the product lookup
    QString quantity;
    QString retailPrice;  // label, currency sign included
    QString purchaseDate; // label
    QString money;
    QString serviceItem;
    QString employee;
    QString remark;
    qint64 commission = 0;
    // The commission was asked for and came out beyond any amount: the
    // entry is not saved (with no commission) until it is asked again or
    // the amount changes.
    bool commissionRefused = false;
    // The booking (yuyue rowid) this sale was opened from: it is done with
    // the sale, in the sale's transaction. 0 for none.
    qint64 booking = 0;
};

// One goods line of jinhuo, as a lookup found it.
struct GoodsLine {
    qint64 rowid = 0;
    QString name;
    QString code;
    QString retailPrice;
    QString stock;
    QString purchaseDate;
    QString purchasePrice;
    // The line's values as the stock ledger reads them (by jinhuo's columns).
    QStringList ledgerValues() const;
};

// One member card of numbercard, as a lookup found it.
struct CardRow {
    qint64 rowid = 0;
    QString number;
    QString holder;
    QString balance;
    QString uses;
    QString type;
};

// Why a save does not go ahead.
enum class SaleRefusal {
    None,
    NoBusinessType,
    ProductNotFound,
    StockEmpty,
    QuantityOverStock,
    // The stock or balance after the sale is beyond any number.
    QuantityOutOfRange,
    CardNotFound,
    NoUsesLeft,
    BalanceTooLow,
    MoneyOutOfRange,
    CommissionOutOfRange,
};

// The rows a check read, kept with its outcome: while nothing at all has
// been stored since (the file's stamp unchanged), the save decides on them
// again instead of reading them anew.
struct CheckedRows {
    quint64 stamp = 0; // Database::storedStamp() they were read at; 0: read again
    bool goods = false;
    QString code;
    QString card; // the card text looked up
    GoodsLine goodsLine;
    CardRow cardRow;
};

struct SaleOutcome {
    enum Kind { Ready, Saved, Refused, Failed };
    Kind kind = Ready;
    SaleRefusal refusal = SaleRefusal::None;
    // Failed: what the program was doing, and the database's words.
    QString step;
    QString error;
    // The rows the checks found; a save touches exactly these.
    qint64 goodsRowid = 0;
    qint64 cardRowid = 0;
    CheckedRows read;
    // Saved: the tables the sale wrote, and the sale's key, given inside the
    // transaction that stored it (its receipt reads the stored sale by it).
    QStringList written;
    QString key;

    bool ok() const { return kind == Ready || kind == Saved; }
};

using DailyTotal = rows::RoundedTotal;

// Why a void does not go ahead.
enum class VoidRefusal {
    None,
    // The row is no longer there (or no longer what was asked about).
    Gone,
    AlreadyVoided,
    // The card the sale charged was deleted or renumbered since, or no
    // goods line has the sale's product code any more.
    CardGone,
    GoodsGone,
    // The stock or balance given back is beyond any number.
    OutOfRange,
};

struct VoidOutcome {
    enum Kind { Voided, Refused, Failed };
    Kind kind = Voided;
    VoidRefusal refusal = VoidRefusal::None;
    QString step;
    QString error;
    QString key; // the sale's key
    // Voided: the tables the void wrote.
    QStringList written;
};

// The checks and writes of one business transaction, apart from the window.
// check() decides whether the entry may be saved and pins the goods line and
// card it found; save() repeats the decision on those rows re-read inside one
// transaction and then writes stock, card charge and both transaction rows,
// all or none.
class SaleService {
public:
    explicit SaleService(Database& db) : db_(db) {}

    static QString businessType(const SaleEntry& e);
    // The card text written with the transaction: the number, or 非会员.
    static QString cardText(const SaleEntry& e);
    static QString nonMember() { return QStringLiteral("非会员"); }
    // The thirteen values of the transaction in column order.
    static QStringList values(const SaleEntry& e, const QString& date);

    // First goods line / card with that code / number in stored order.
    DbValue<GoodsLine> findGoods(const QString& code);
    DbValue<CardRow> findCard(const QString& number);
    // Today's amounts received, summed row by row with half-to-even rounding
    // after each addition.
    DbValue<DailyTotal> dailyTotal(const QString& date);

    // The goods part of check(): the first line of the product code and
    // whether its stock covers the quantity.
    SaleOutcome checkGoods(const SaleEntry& e);
    SaleOutcome check(const SaleEntry& e);
    SaleOutcome save(const SaleEntry& e, const SaleOutcome& checked, const QString& date);

    // Voids salse row `rowid`, which held `values` (its thirteen values) when
    // the person was asked: the goods go back into stock, the card gets back
    // what the sale charged (with its ledger row), a void record names the
    // sale, and the row leaves salse; all or none.
    VoidOutcome voidSale(qint64 rowid, const QStringList& values);

private:
    // One try of save(); another till's sale of the same line or card at
    // the same moment may make the server give it up (then nothing is
    // stored and it is tried again).
    SaleOutcome saveOnce(const SaleEntry& e, const SaleOutcome& checked, const QString& date);
    VoidOutcome voidOnce(qint64 rowid, const QStringList& values);
    // The void's give-back of the card: the writes, or a refusal or failure.
    VoidOutcome cardBack(const QStringList& values, const QString& key, QList<Database::Write>* writes);
    // What a sale would write: the new stock, the card's charged column and its value.
    struct Decision {
        QString newStock, cardColumn, cardValue;
        CardRow card;    // as read, when it is charged
        GoodsLine goods; // as read, when goods are sold
    };
    // The goods part first, then the card: refused, or the rows to touch.
    static SaleOutcome decide(const SaleEntry& e, const std::optional<GoodsLine>& goods,
                              const std::optional<CardRow>& card, Decision* decision);
    // `reads` (the goods line, then the card, those the entry needs) read
    // together, then decide().
    SaleOutcome readAndDecide(const SaleEntry& e, const QList<Database::Statement>& reads,
                              Database::RowLock lock, Decision* decision);
    // Inside the save's transaction: the checked rows decided on again when
    // they are still stored as read, else read again under lock.
    SaleOutcome decideAtSave(const SaleEntry& e, const SaleOutcome& checked, Decision* decision);

    Database& db_;
};

} // namespace shop
