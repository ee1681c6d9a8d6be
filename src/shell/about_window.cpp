#include "about_window.h"

#include "app_settings.h"
#include "ui/input_filters.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

namespace shop {

namespace {
// The picture kept with the window.
QPixmap aboutPicture()
{
    QPixmap pm(360, 200);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 0, pm.height());
    g.setColorAt(0, QColor(32, 74, 135));
    g.setColorAt(1, QColor(114, 159, 207));
    p.fillRect(pm.rect(), g);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPointSize(20);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 30, pm.width(), 50), Qt::AlignCenter, QStringLiteral("小店经营管理系统"));
    f.setPointSize(10);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(0, 90, pm.width(), 30), Qt::AlignCenter, QStringLiteral("ZEDWARE 软件工作室"));
    return pm;
}
} // namespace

AboutWindow::AboutWindow(AppContext&, QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmabout"));
    setWindowTitle(QStringLiteral("关于系统"));
    image_ = new QLabel(this);
    image_->setObjectName(QStringLiteral("Image1"));
    image_->setPixmap(aboutPicture());
    version_ = new QLabel(this);
    version_->setObjectName(QStringLiteral("Label3"));
    version_->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 6);
    layout->addWidget(image_);
    layout->addWidget(version_);
    image_->installEventFilter(this);
    adjustSize();
    centreOnScreen(this);
}

bool AboutWindow::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::WindowActivate:
        version_->setText(QStringLiteral(" 版本 ") + app_settings::versionText(true));
        break;
    case QEvent::WindowDeactivate:
        close();
        break;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
            close();
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::event(e);
}

bool AboutWindow::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == image_ && e->type() == QEvent::MouseButtonPress) {
        close();
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace shop
