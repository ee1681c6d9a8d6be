#include "settings_window.h"

#include "ui/app_context.h"
#include "data/bookings.h"
#include "ui/input_filters.h"
#include "ui/widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace shop {

SettingsWindow::SettingsWindow(AppContext& ctx, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmsetup"));
    setWindowTitle(QStringLiteral("系统设置"));

    auto* frame = new QGroupBox(this);
    auto* grid = new QGridLayout(frame);
    auto field = [&](int row, const QString& label, const char* name) {
        auto* e = new QLineEdit(frame);
        e->setObjectName(QLatin1String(name));
        e->setMinimumWidth(320);
        grid->addWidget(new QLabel(label, frame), row, 0);
        grid->addWidget(e, row, 1);
        return e;
    };
    dpath_ = field(0, QStringLiteral("数据库路径："), "txt_dpath");
    spath_ = field(1, QStringLiteral("主程序路径："), "txt_spath");
    wno_ = field(2, QStringLiteral("图象格式："), "txt_wno");
    company_ = field(3, QStringLiteral("公司名称："), "txt_company");
    lowStock_ = field(4, QStringLiteral("库存不足提示数量："), "txt_low_stock");
    receipts_ = buildReceipts();
    hours_ = buildHours();

    auto* cmedit = button("cmedit", QStringLiteral("编辑"));
    cmsave_ = button("cmsave", QStringLiteral("保存"));
    auto* cmquit = button("cmquit", QStringLiteral("退出"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {cmedit, cmsave_, cmquit})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addWidget(receipts_);
    layout->addWidget(hours_);
    layout->addLayout(buttons);
    adjustSize();

    connect(cmedit, &QPushButton::clicked, this, &SettingsWindow::edit);
    connect(cmsave_, &QPushButton::clicked, this, &SettingsWindow::save);
    connect(cmquit, &QPushButton::clicked, this, &QWidget::close);

    centreOnScreen(this);
    dpath_->setText(ctx_.server() ? ctx_.server()->display()
                                  : QDir::toNativeSeparators(ctx_.paths().businessDb()));
    spath_->setText(QDir::toNativeSeparators(QCoreApplication::applicationFilePath()));
    const ShopSettings::Values v = ctx_.shopSettings().values();
    wno_->setText(v.fileType);
    company_->setText(v.company);
    lowStock_->setText(v.lowStock);
    for (QLineEdit* e : {dpath_, spath_, wno_, company_, lowStock_})
        e->setEnabled(false);
    receipts_->setEnabled(false);
    hours_->setEnabled(false);
    cmsave_->setEnabled(false);
}

QGroupBox* SettingsWindow::buildHours()
{
    auto* box = new QGroupBox(QStringLiteral("预约"), this);
    box->setObjectName(QStringLiteral("booking_box"));
    open_ = lineEdit("txt_open");
    close_ = lineEdit("txt_close");
    slot_ = new QComboBox(box);
    slot_->setObjectName(QStringLiteral("cbo_slot"));
    for (int minutes : bookings::Hours::slotChoices())
        slot_->addItem(QStringLiteral("%1分钟").arg(minutes), minutes);
    const bookings::Hours h = ctx_.shopSettings().hours();
    open_->setText(bookings::timeText(h.open));
    close_->setText(bookings::timeText(h.close));
    slot_->setCurrentIndex(qMax(0, slot_->findData(h.slot)));

    auto* grid = new QGridLayout(box);
    grid->addWidget(new QLabel(QStringLiteral("营业时间："), box), 0, 0);
    grid->addWidget(open_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("至"), box), 0, 2);
    grid->addWidget(close_, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("预约时段："), box), 1, 0);
    grid->addWidget(slot_, 1, 1);
    return box;
}

QGroupBox* SettingsWindow::buildReceipts()
{
    auto* box = new QGroupBox(QStringLiteral("小票"), this);
    box->setObjectName(QStringLiteral("receipt_box"));
    receiptOn_ = new QCheckBox(QStringLiteral("打印小票"), box);
    receiptOn_->setObjectName(QStringLiteral("chk_receipt"));
    paper_ = new QComboBox(box);
    paper_->setObjectName(QStringLiteral("cbo_paper"));
    paper_->addItem(QStringLiteral("58 mm"), QStringLiteral("58"));
    paper_->addItem(QStringLiteral("80 mm"), QStringLiteral("80"));
    paper_->addItem(QStringLiteral("A5"), QStringLiteral("A5"));
    printer_ = new QComboBox(box);
    printer_->setObjectName(QStringLiteral("cbo_printer"));
    printer_->addItem(QStringLiteral("默认打印机"), QString());
    for (const QString& name : ctx_.printing().printers())
        printer_->addItem(name, name);
    footer_ = new QLineEdit(box);
    footer_->setObjectName(QStringLiteral("txt_footer"));

    const ShopSettings::Receipt r = ctx_.shopSettings().receipt();
    receiptOn_->setChecked(r.on);
    paper_->setCurrentIndex(qMax(0, paper_->findData(r.paper)));
    // A printer chosen once and gone since stays shown as it is, so that
    // saving other settings does not silently choose another.
    if (printer_->findData(r.printer) < 0)
        printer_->addItem(r.printer + QStringLiteral("（未安装）"), r.printer);
    printer_->setCurrentIndex(printer_->findData(r.printer));
    footer_->setText(r.footer);

    auto* grid = new QGridLayout(box);
    grid->addWidget(receiptOn_, 0, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("纸张："), box), 1, 0);
    grid->addWidget(paper_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("打印机："), box), 2, 0);
    grid->addWidget(printer_, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("页脚："), box), 3, 0);
    grid->addWidget(footer_, 3, 1);
    grid->setColumnStretch(1, 1);
    return box;
}

void SettingsWindow::edit()
{
    dpath_->setEnabled(false);
    spath_->setEnabled(false);
    company_->setEnabled(true);
    lowStock_->setEnabled(true);
    receipts_->setEnabled(true);
    hours_->setEnabled(true);
    cmsave_->setEnabled(true);
}

void SettingsWindow::save()
{
    if (!ShopSettings::lowStockFrom(lowStock_->text())) {
        ctx_.messages().critical(QStringLiteral("库存不足提示数量必须是不小于0的数字！"),
                                 QStringLiteral("错误信息"));
        lowStock_->setFocus();
        lowStock_->selectAll();
        return;
    }
    QString why;
    const auto hours =
        bookings::Hours::from(open_->text(), close_->text(), slot_->currentData().toString(), &why);
    if (!hours) {
        ctx_.messages().critical(why, QStringLiteral("错误信息"));
        open_->setFocus();
        open_->selectAll();
        return;
    }
    const ShopSettings::Receipt receipt{receiptOn_->isChecked(), paper_->currentData().toString(),
                                        printer_->currentData().toString(), footer_->text()};
    if (!ctx_.shopSettings().store({company_->text(), wno_->text(), lowStock_->text(), receipt, *hours})) {
        ctx_.messages().critical(QStringLiteral("设置没有保存：设置文件 %1 不能写入。")
                                     .arg(QDir::toNativeSeparators(ctx_.settings().fileName())),
                                 QStringLiteral("错误信息"));
        return;
    }
    close();
}

} // namespace shop
