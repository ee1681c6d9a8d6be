#include "input_filters.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QWidget>

namespace shop {

void ApostropheFilter::install(QWidget* field)
{
    field->installEventFilter(new ApostropheFilter(field));
}

bool ApostropheFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->text() == QLatin1String("'"))
        return true;
    return QObject::eventFilter(watched, event);
}

void centreOnScreen(QWidget* window)
{
    QScreen* s = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect r = s->availableGeometry();
    window->move(r.left() + (r.width() - window->width()) / 2, r.top() + (r.height() - window->height()) / 2);
}

} // namespace shop
