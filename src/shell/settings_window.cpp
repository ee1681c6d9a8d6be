#include "settings_window.h"

#include "ui/app_context.h"
#include "app_settings.h"
#include "settings_store.h"
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
    for (QLineEdit* e : {dpath_, spath_, wno_, company_})
        e->setEnabled(false);
    cmsave_->setEnabled(false);
}

void SettingsWindow::edit()
{
    dpath_->setEnabled(false);
    spath_->setEnabled(false);
    company_->setEnabled(true);
    cmsave_->setEnabled(true);
}

void SettingsWindow::save()
{
    QSettings& s = ctx_.settings();
    if (!storeSettings(s, {{QLatin1String(app_settings::kCompanyKey), company_->text()},
                           {QLatin1String(app_settings::kFileTypeKey), wno_->text().trimmed()}})) {
        ctx_.messages().critical(QStringLiteral("设置没有保存：设置文件 %1 不能写入。")
                                     .arg(QDir::toNativeSeparators(s.fileName())),
                                 QStringLiteral("错误信息"));
        return;
    }
    emit ctx_.shellNotifier().settingsChanged();
    close();
}

} // namespace shop
