#pragma once

#include <QWidget>

class QLineEdit;
class QPushButton;

namespace shop {

class AppContext;

// frmsetup: shows the file locations and lets the company name be edited;
// saving says so through the context's settings-changed signal.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    explicit SettingsWindow(AppContext& ctx, QWidget* parent = nullptr);

private:
    void edit();
    void save();

    AppContext& ctx_;
    QLineEdit* dpath_;
    QLineEdit* spath_;
    QLineEdit* wno_;
    QLineEdit* company_;
    QLineEdit* lowStock_;
    QPushButton* cmsave_;
};

} // namespace shop
