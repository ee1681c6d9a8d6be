#pragma once

#include <QObject>

class QWidget;

namespace shop {

// Discards the apostrophe key in the fields it watches.
class ApostropheFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    static void install(QWidget* field);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Centres a dialog window on its screen.
void centreOnScreen(QWidget* window);

} // namespace shop
