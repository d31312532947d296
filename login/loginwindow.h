#pragma once

#include <QPixmap>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
struct Database;

// Asks for the administrator's account and password and checks them against table admin.
class LoginWindow : public QWidget {
    Q_OBJECT
public:
    explicit LoginWindow(Database &db, QWidget *parent = nullptr);

    void setHint(const QString &text);
    QString hint() const;
    // With no database connection no login can succeed: there is nothing to check against.
    void setConnectionFailed(bool failed) { m_connectionFailed = failed; }

    void attemptLogin();

signals:
    void loginSucceeded();
    void closedWithoutLogin();

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void readAdministrator();

    Database &m_db;
    bool m_connectionFailed = false;
    QPixmap m_background;
    QLineEdit *m_account;
    QLineEdit *m_password;
    QLabel *m_hint;
};
