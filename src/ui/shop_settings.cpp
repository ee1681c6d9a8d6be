#include "shop_settings.h"

#include "app_context.h"
#include "settings_store.h"

#include <cmath>

namespace shop {

namespace {
const QString kCompany = QStringLiteral("settings/CompanyName");
const QString kFileType = QStringLiteral("settings/filetype");
const QString kLowStock = QStringLiteral("settings/LowStock");
const QString kReceiptOn = QStringLiteral("settings/ReceiptOn");
const QString kReceiptPaper = QStringLiteral("settings/ReceiptPaper");
const QString kReceiptPrinter = QStringLiteral("settings/ReceiptPrinter");
const QString kReceiptFooter = QStringLiteral("settings/ReceiptFooter");
const QString kBookingOpen = QStringLiteral("settings/BookingOpen");
const QString kBookingClose = QStringLiteral("settings/BookingClose");
const QString kBookingSlot = QStringLiteral("settings/BookingSlot");

QString boolText(bool on)
{
    return on ? QStringLiteral("true") : QStringLiteral("false");
}
} // namespace

QString ShopSettings::companyName() const
{
    return store_.value(kCompany, QStringLiteral("ZEDWARE CO.,LTD")).toString();
}

QString ShopSettings::companyForCaption() const
{
    return store_.value(kCompany, QStringLiteral("zedware")).toString();
}

std::optional<double> ShopSettings::lowStockFrom(const QString& text)
{
    bool number = false;
    const double value = text.trimmed().toDouble(&number);
    if (!number || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

double ShopSettings::lowStock() const
{
    return lowStockFrom(store_.value(kLowStock).toString()).value_or(kLowStockDefault);
}

ShopSettings::Receipt ShopSettings::receipt() const
{
    return {store_.value(kReceiptOn, false).toBool(),
            store_.value(kReceiptPaper, QStringLiteral("58")).toString(),
            store_.value(kReceiptPrinter).toString(),
            store_.value(kReceiptFooter, QStringLiteral("谢谢惠顾")).toString()};
}

bookings::Hours ShopSettings::hours() const
{
    const bookings::Hours defaults;
    return bookings::Hours::from(store_.value(kBookingOpen, bookings::timeText(defaults.open)).toString(),
                                 store_.value(kBookingClose, bookings::timeText(defaults.close)).toString(),
                                 store_.value(kBookingSlot, defaults.slot).toString())
        .value_or(defaults);
}

ShopSettings::Values ShopSettings::values() const
{
    return {companyForCaption(), store_.value(kFileType, QStringLiteral("BMP")).toString(),
            store_.value(kLowStock, kLowStockDefault).toString(), receipt(), hours()};
}

bool ShopSettings::store(const Values& v)
{
    return write({{kCompany, v.company},
                  {kFileType, v.fileType.trimmed()},
                  {kLowStock, v.lowStock.trimmed()},
                  {kReceiptOn, boolText(v.receipt.on)},
                  {kReceiptPaper, v.receipt.paper},
                  {kReceiptPrinter, v.receipt.printer},
                  {kReceiptFooter, v.receipt.footer},
                  {kBookingOpen, bookings::timeText(v.hours.open)},
                  {kBookingClose, bookings::timeText(v.hours.close)},
                  {kBookingSlot, QString::number(v.hours.slot)}});
}

bool ShopSettings::setReceiptsOn(bool on)
{
    return write({{kReceiptOn, boolText(on)}});
}

bool ShopSettings::write(const QList<std::pair<QString, QVariant>>& values)
{
    if (!storeSettings(store_, values))
        return false;
    emit notifier_.settingsChanged();
    return true;
}

} // namespace shop
