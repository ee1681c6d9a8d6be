#include "settings_window.h"

#include "ui/app_context.h"
#include "app_settings.h"
#include "data/private_files.h"
#include "ui/input_filters.h"
#include "ui/widgets.h"

#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <utility>

namespace shop {

namespace {
// Writes the values through a store of its own over the same file (stores
// of one file share their values): a QSettings keeps the first error it met
// for good, so the context's store could not tell a later save that went
// through. On failure the values are put back as they were, so that the
// caption and the status bar show nothing the next start will not find.
bool storeSettings(const QSettings& s, const QList<std::pair<QString, QString>>& values)
{
    QList<std::pair<QString, QVariant>> before;
    for (const auto& [key, value] : values)
        before.append({key, s.value(key)});
    QSettings out(s.fileName(), s.format());
    for (const auto& [key, value] : values)
        out.setValue(key, value);
    out.sync();
    // The file may name the shop's server: the owner's only, as the shop's
    // other files.
    private_files::ownerOnly(out.fileName());
    if (out.status() == QSettings::NoError)
        return true;
    for (const auto& [key, old] : before) {
        if (old.isValid())
            out.setValue(key, old);
        else
            out.remove(key);
    }
    return false;
}
} // namespace

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

    auto* cmedit = button("cmedit", QStringLiteral("编辑"));
    cmsave_ = button("cmsave", QStringLiteral("保存"));
    auto* cmquit = button("cmquit", QStringLiteral("退出"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {cmedit, cmsave_, cmquit})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    adjustSize();

    connect(cmedit, &QPushButton::clicked, this, &SettingsWindow::edit);
    connect(cmsave_, &QPushButton::clicked, this, &SettingsWindow::save);
    connect(cmquit, &QPushButton::clicked, this, &QWidget::close);

    centreOnScreen(this);
    dpath_->setText(ctx_.server() ? ctx_.server()->display()
                                  : QDir::toNativeSeparators(ctx_.paths().businessDb()));
    spath_->setText(QDir::toNativeSeparators(QCoreApplication::applicationFilePath()));
    wno_->setText(app_settings::fileType(ctx_.settings()));
    company_->setText(app_settings::companyForCaption(ctx_.settings()));
    lowStock_->setText(ctx_.settings()
                           .value(QLatin1String(AppContext::kLowStockKey), AppContext::kLowStockDefault)
                           .toString());
    for (QLineEdit* e : {dpath_, spath_, wno_, company_, lowStock_})
        e->setEnabled(false);
    cmsave_->setEnabled(false);
}

void SettingsWindow::edit()
{
    dpath_->setEnabled(false);
    spath_->setEnabled(false);
    company_->setEnabled(true);
    lowStock_->setEnabled(true);
    cmsave_->setEnabled(true);
}

void SettingsWindow::save()
{
    QSettings& s = ctx_.settings();
    bool number = false;
    const double lowStock = lowStock_->text().trimmed().toDouble(&number);
    if (!number || !std::isfinite(lowStock) || lowStock < 0) {
        ctx_.messages().critical(QStringLiteral("库存不足提示数量必须是不小于0的数字！"),
                                 QStringLiteral("错误信息"));
        lowStock_->setFocus();
        lowStock_->selectAll();
        return;
    }
    if (!storeSettings(s, {{QLatin1String(app_settings::kCompanyKey), company_->text()},
                           {QLatin1String(app_settings::kFileTypeKey), wno_->text().trimmed()},
                           {QLatin1String(AppContext::kLowStockKey), lowStock_->text().trimmed()}})) {
        ctx_.messages().critical(QStringLiteral("设置没有保存：设置文件 %1 不能写入。")
                                     .arg(QDir::toNativeSeparators(s.fileName())),
                                 QStringLiteral("错误信息"));
        return;
    }
    emit ctx_.shellNotifier().settingsChanged();
    close();
}

} // namespace shop
