#include "editors/serveraddwindow.h"

#include "core/datetext.h"
#include "core/registerdb.h"
#include "core/text.h"
#include "editors/serverform_names.h"
#include "widgets/datebox.h"
#include "widgets/messagebox.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <memory>

ServerAddWindow::ServerAddWindow(RegisterDb &db)
    : ServerForm(db, ServerFormNames::addWindow, ServerFormTexts::addTitle, QStringLiteral("添加数据"),
                 QStringLiteral("退出添加"))
{
    // A new server is on the rack (no 下架时间) for a year's term, which follows 上架时间 until the
    // term itself is changed.
    const QDate today = QDate::currentDate();
    m_racked->setDate(today);
    m_expires->setDate(today.addYears(1));
    m_unracked->setBlank();
    auto racked = std::make_shared<QDate>(today);
    connect(m_racked, &QDateEdit::dateChanged, this, [this, racked](const QDate &date) {
        if (!m_racked->isBlank() && !m_expires->isBlank() && m_expires->date() == racked->addYears(1))
            m_expires->setDate(date.addYears(1));
        *racked = date;
    });
    fillCustomerSelector();
}

void ServerAddWindow::addServer()
{
    const QString ip = m_ip->text();
    const Read<bool> taken = m_db.serverIpExists(ip);
    if (!taken.ok()) {
        qWarning("reading the servers failed: %s", qPrintable(taken.status.reason));
        MessageBox::show(kReadFailedText, MsgStyle::Error, std::nullopt, this);
        return;
    }
    if (taken.value) {
        MessageBox::show(ServerFormTexts::ipExists, MsgStyle::Ok, kNoticeTitle, this);
        return;
    }
    if (chosenCustomer().isEmpty()) {
        MessageBox::show(ServerFormTexts::chooseCustomer, MsgStyle::YesNoInformation, ServerFormTexts::promptTitle,
                         this);
        return;
    }
    // A text that is no address (a typo, 待分配) is stored only when the user says so.
    if (!ip.trimmed().isEmpty() && !isIpAddress(ip) &&
        MessageBox::show(ServerFormTexts::notAnAddress.arg(ip), MsgStyle::YesNoQuestionDefaultNo,
                         ServerFormTexts::promptTitle, this) != MsgAnswer::Yes)
        return;
    ServerRecord server;
    server.customer = chosenCustomer();
    server.number = m_number->text();
    server.ip = ip;
    server.cabinet = m_cabinet->text();
    // A box the user emptied is stored as an empty text.
    auto text = [](const DateBox *box) {
        return box->isBlank() ? QString(QLatin1String("")) : dateToText(box->date());
    };
    server.racked = text(m_racked);
    server.expires = text(m_expires);
    server.unracked = text(m_unracked);
    server.remark = remarkText();
    const Read<qint64> stored = m_db.addServer(server);
    if (stored.status.fault == Fault::Duplicate) {
        // Another program added this IP between the check and the store.
        MessageBox::show(ServerFormTexts::ipExists, MsgStyle::Ok, kNoticeTitle, this);
        return;
    }
    if (!stored.ok()) {
        qWarning("storing a server failed: %s", qPrintable(stored.status.reason));
        MessageBox::showWriteFailure(stored.status.fault, this);
        return;
    }
    emit serverAdded(stored.value);
    const QString question = textJoin({u"您添加的IP：", ip, u"\r\n添加成功！\r\n是否继续添加服务器？"});
    if (MessageBox::show(question, MsgStyle::YesNoInformation, ServerFormTexts::promptTitle, this) == MsgAnswer::Yes) {
        m_number->clear();
        m_ip->clear();
        m_cabinet->clear();
        m_remark->clear();
        m_customer->setCurrentIndex(0);
    } else {
        close();
    }
}
