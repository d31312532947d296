#include "login/loginwindow.h"

#include "core/appstate.h"
#include "core/registerdb.h"
#include "core/text.h"
#include "login/loginwindow_names.h"
#include "widgets/fixedwindow.h"
#include "widgets/gbkedit.h"
#include "widgets/toolkit.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

LoginWindow::LoginWindow(RegisterDb &db, QWidget *parent)
    : QWidget(parent), m_db(db), m_background(QStringLiteral(":/images/login-background.png"))
{
    setObjectName(LoginNames::window);
    setAttribute(Qt::WA_DeleteOnClose);
    makeFixedWindow(this, LoginTexts::title, 320, 165);
    appState().loginPassed = 0;

    auto *banner = placed(new QLabel(this), LoginNames::banner, 2, 3, 308, 54);
    banner->setPixmap(QPixmap(QStringLiteral(":/images/banner.png")));
    banner->setScaledContents(true);

    const QString black = QStringLiteral("color: black; background: transparent;");
    placed(new QLabel(QStringLiteral("管理员帐号："), this), LoginNames::accountLabel, 15, 67, 66, 16)
        ->setStyleSheet(black);
    m_account = placed(new QLineEdit(this), LoginNames::accountEdit, 85, 65, 120, 20);
    m_account->setAccessibleName(QStringLiteral("管理员帐号"));
    limitToGbkBytes(m_account, kLoginBoxBytes);
    placed(new QLabel(QStringLiteral("管理员密码："), this), LoginNames::passwordLabel, 15, 92, 66, 16)
        ->setStyleSheet(black);
    m_password = placed(new QLineEdit(this), LoginNames::passwordEdit, 85, 90, 120, 20);
    m_password->setAccessibleName(QStringLiteral("管理员密码"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setStyleSheet(QStringLiteral("lineedit-password-character: 42;")); // shown as *
    limitToGbkBytes(m_password, kLoginBoxBytes);
    auto *login = placed(new QPushButton(QStringLiteral("登  陆"), this), LoginNames::loginButton, 210, 65, 88, 45);
    m_hint = placed(new QLabel(LoginTexts::welcome, this), LoginNames::hintLabel, 16, 119, 280, 16);
    m_hint->setStyleSheet(QStringLiteral("color: red; background: transparent;"));

    connect(login, &QPushButton::clicked, this, &LoginWindow::attemptLogin);
    connect(m_account, &QLineEdit::returnPressed, this, &LoginWindow::attemptLogin);
    connect(m_password, &QLineEdit::returnPressed, this, &LoginWindow::attemptLogin);
    m_account->setFocus();
}

void LoginWindow::setHint(const QString &text)
{
    m_hint->setText(text);
}

QString LoginWindow::hint() const
{
    return m_hint->text();
}

bool LoginWindow::readAdministrator()
{
    // Read afresh at every attempt; with several rows the last one counts.
    const Read<std::optional<AdminRecord>> admin = m_db.administrator();
    if (!admin.ok()) {
        qWarning("reading the administrator failed: %s", qPrintable(admin.status.reason));
        m_hint->setText(kReadFailedText);
        return false;
    }
    if (!admin.value) {
        // An empty table must not let in whoever leaves both boxes empty.
        m_hint->setText(LoginTexts::noAdministrator);
        return false;
    }
    appState().adminAccount = admin.value->account;
    appState().adminPassword = admin.value->password;
    return true;
}

void LoginWindow::attemptLogin()
{
    appState().loginPassed = 0;
    // With a failed connection the hint keeps its text: it is the reason no login can succeed.
    if (m_connectionFailed || !readAdministrator())
        return;
    if (textCompare(m_account->text(), appState().adminAccount) != 0 ||
        textCompare(m_password->text(), appState().adminPassword) != 0) {
        m_hint->setText(LoginTexts::wrongLogin);
        return;
    }
    m_hint->setText(LoginTexts::welcome);
    appState().loginPassed = 1;
    emit loginSucceeded();
    close();
}

void LoginWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(rect(), m_background);
    if (!m_painted) {
        m_painted = true;
        emit firstPainted();
    }
}

void LoginWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (appState().loginPassed == 0)
        emit closedWithoutLogin();
}
