#pragma once

#include <QWidget>

class QLabel;

namespace shop {

class AppContext;

// frmabout: a borderless window with a picture and the version; it closes
// on Esc, on a click on the picture, or when it loses the focus.
class AboutWindow : public QWidget {
    Q_OBJECT
public:
    explicit AboutWindow(AppContext& ctx, QWidget* parent = nullptr);

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QLabel* image_;
    QLabel* version_;
};

} // namespace shop
