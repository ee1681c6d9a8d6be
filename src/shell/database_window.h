#pragma once

#include "data/database.h"

#include <QWidget>

#include <optional>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace shop {

class AppContext;

// frmdatabase: where the shop's data is, the files in the database folder
// or a PostgreSQL server (host, port, database, user, TLS). "测试连接"
// connects with the password typed here and says what it found; the
// password is never stored (it is asked at every start). What is saved
// takes effect at the next start.
class DatabaseWindow : public QWidget {
    Q_OBJECT
public:
    explicit DatabaseWindow(AppContext& ctx, QWidget* parent = nullptr);

    static QString caption();

private:
    void engineChosen();
    // The server typed in, or nothing (said, the box in error focused).
    std::optional<DbServer> typedServer();
    void testConnection();
    void save();

    AppContext& ctx_;
    QRadioButton* files_;
    QRadioButton* server_;
    QLineEdit* host_;
    QLineEdit* port_;
    QLineEdit* database_;
    QLineEdit* user_;
    QLineEdit* password_;
    QComboBox* sslmode_;
    QPushButton* test_;
};

} // namespace shop
