#pragma once

#include <QPixmap>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class RegisterDb;

// Asks for the administrator's account and password and checks them against table admin.
class LoginWindow : public QWidget {
    Q_OBJECT
public:
    explicit LoginWindow(RegisterDb &db, QWidget *parent = nullptr);

    void setHint(const QString &text);
    QString hint() const;
    // With no database connection no login can succeed: there is nothing to check against.
    void setConnectionFailed(bool failed) { m_connectionFailed = failed; }

signals:
    void loginSucceeded();
    void closedWithoutLogin();
    // The window has been painted for the first time: the user sees it.
    void firstPainted();

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void attemptLogin();
    // Reads the administrator afresh; false (with the hint set) when there is none to check against.
    bool readAdministrator();

    RegisterDb &m_db;
    bool m_connectionFailed = false;
    bool m_painted = false;
    QPixmap m_background;
    QLineEdit *m_account;
    QLineEdit *m_password;
    QLabel *m_hint;
};
