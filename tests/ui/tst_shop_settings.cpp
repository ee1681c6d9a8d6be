// The shop's settings: what is stored is what the next start reads, each
// key once in the file, and every write is said once.
#include "ui/app_context.h"
#include "ui/shop_settings.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace shop;

class TstShopSettings : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
};

void TstShopSettings::roundTrip_data()
{
    QTest::addColumn<ShopSettings::Values>("stored");
    QTest::addColumn<double>("lowStock"); // as the overview reads it
    QTest::addColumn<bool>("receiptsOff");

    QTest::newRow("receipts on, an 80 mm printer, blanks around the threshold")
        << ShopSettings::Values{"街角洗车行", "JPG", " 7 ", {true, "80", "前台 小票机/1", "欢迎再来"}, {}}
        << 7.0 << false;
    QTest::newRow("receipts off, A5, no footer, a threshold of 0")
        << ShopSettings::Values{"Tom's \"Car\", Wash; =1", "BMP", "0", {false, "A5", "", ""}, {}} << 0.0
        << false;
    QTest::newRow("a threshold that is no number reads as the default")
        << ShopSettings::Values{"", "", "五", {true, "58", "", "谢谢惠顾"}, {}} << 5.0 << false;
    QTest::newRow("opening hours of the bookings, quarter-hour slots")
        << ShopSettings::Values{"店", "BMP", "5", {false, "58", "", ""}, {QTime(8, 30), QTime(20, 15), 15}}
        << 5.0 << false;
    QTest::newRow("receipts turned off after the save")
        << ShopSettings::Values{"店", "PNG", "2.5", {true, "58", "", "再见"}, {}} << 2.5 << true;
}

void TstShopSettings::roundTrip()
{
    QFETCH(ShopSettings::Values, stored);
    QFETCH(double, lowStock);
    QFETCH(bool, receiptsOff);

    QTemporaryDir dir;
    const QString file = dir.filePath("shop.ini");
    ShellNotifier notifier;
    QSignalSpy said(&notifier, &ShellNotifier::settingsChanged);
    {
        QSettings store(file, QSettings::IniFormat);
        ShopSettings settings(store, notifier);
        QVERIFY(settings.store(stored));
        if (receiptsOff)
            QVERIFY(settings.setReceiptsOn(false));
    }
    QCOMPARE(said.count(), receiptsOff ? 2 : 1);

    // The next start, from the file alone.
    ShopSettings::Values expected = stored;
    expected.fileType = expected.fileType.trimmed();
    expected.lowStock = expected.lowStock.trimmed();
    expected.receipt.on = expected.receipt.on && !receiptsOff;
    QSettings again(file, QSettings::IniFormat);
    ShopSettings read(again, notifier);
    QCOMPARE(read.values(), expected);
    QCOMPARE(read.receipt(), expected.receipt);
    QCOMPARE(read.hours(), expected.hours);
    QCOMPARE(read.companyName(), stored.company);
    QCOMPARE(read.lowStock(), lowStock);

    // One key for each value, in the group the program has always used.
    again.beginGroup("settings");
    const QStringList keys{"CompanyName",    "filetype",      "LowStock",    "ReceiptOn",    "ReceiptPaper",
                           "ReceiptPrinter", "ReceiptFooter", "BookingOpen", "BookingClose", "BookingSlot"};
    const QStringList written = again.childKeys();
    QCOMPARE(QSet<QString>(written.cbegin(), written.cend()), QSet<QString>(keys.cbegin(), keys.cend()));
    QFile raw(file);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(raw.readAll());
    for (const QString& key : keys)
        QCOMPARE(text.count(QRegularExpression("^" + key + "=", QRegularExpression::MultilineOption)), 1);
}

QTEST_MAIN(TstShopSettings)
#include "tst_shop_settings.moc"
