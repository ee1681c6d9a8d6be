#pragma once

#include "data/bookings.h"

#include <QSettings>
#include <QString>

#include <optional>

namespace shop {

class ShellNotifier;

// The shop's own settings (系统设置), each key named once, here: the
// company's name, the picture format, the stock at which goods run short and
// the receipt after each sale, the opening hours the bookings are made in.
// Every read goes to the store (another store
// of the same file may have written since); every write is said through
// settingsChanged.
class ShopSettings {
public:
    // The receipt after each sale: printed or not, the paper ("58", "80" mm
    // rolls or "A5"), the printer (empty: the default one), the footer line.
    struct Receipt {
        bool on = false;
        QString paper;
        QString printer;
        QString footer;
        bool operator==(const Receipt&) const = default;
    };
    // Everything 系统设置 shows and saves, as it shows it.
    struct Values {
        QString company;
        QString fileType;
        QString lowStock;
        Receipt receipt;
        bookings::Hours hours;
        bool operator==(const Values&) const = default;
    };
    static constexpr int kLowStockDefault = 5;

    ShopSettings(QSettings& store, ShellNotifier& notifier) : store_(store), notifier_(notifier) {}

    // The shop's name on the documents and the status bar; the main
    // window's caption has a default of its own.
    QString companyName() const;
    QString companyForCaption() const;
    // The stock at or below which goods run short; the default when the
    // store holds no number.
    double lowStock() const;
    // A threshold as typed: a number not below 0, nothing otherwise.
    static std::optional<double> lowStockFrom(const QString& text);
    Receipt receipt() const;
    // The opening hours and the slot of the day view; the defaults for what
    // the store lacks or holds in another form.
    bookings::Hours hours() const;
    Values values() const;

    // Writes every value (see storeSettings); false when the file cannot
    // be written, and then nothing changed.
    bool store(const Values& v);
    // Receipts on or off, the rest as it is.
    bool setReceiptsOn(bool on);

private:
    bool write(const QList<std::pair<QString, QVariant>>& values);

    QSettings& store_;
    ShellNotifier& notifier_;
};

} // namespace shop
