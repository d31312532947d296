#include "editors/serveraddwindow.h"

#include "core/datetext.h"
#include "core/lookups.h"
#include "core/store.h"
#include "core/text.h"
#include "core/widgets/messagebox.h"
#include "editors/serverform_names.h"
#include "mainwin/mainwindow.h"

#include "core/widgets/datebox.h"
#include <QComboBox>

#include <QLineEdit>
#include <QPlainTextEdit>

ServerAddWindow::ServerAddWindow(MainWindow &main)
    : ServerForm(main, ServerFormNames::addWindow, ServerFormTexts::addTitle, QStringLiteral("添加数据"),
                 QStringLiteral("退出添加"))
{
    const QDate today = QDate::currentDate();
    m_racked->setDate(today);
    m_expires->setDate(today);
    m_unracked->setDate(today);
    fillCustomerSelector();
}

void ServerAddWindow::addServer()
{
    RecordCursor &cursor = m_main.database().cursor;
    const QString ip = m_ip->text();
    if (serverIpExists(cursor, ip)) {
        MessageBox::show(ServerFormTexts::ipExists, MsgStyle::Ok, kNoticeTitle, this);
        return;
    }
    if (m_customer->currentIndex() == 0) {
        MessageBox::show(ServerFormTexts::chooseCustomer, MsgStyle::YesNoInformation, ServerFormTexts::promptTitle,
                         this);
        return;
    }
    bool stored = cursor.addNew();
    cursor.writeText(QStringLiteral("F_BH"), m_number->text());
    cursor.writeText(QStringLiteral("F_IP"), ip);
    cursor.writeText(QStringLiteral("F_JG"), m_cabinet->text());
    cursor.writeText(QStringLiteral("F_SJ"), dateToText(m_racked->date()));
    cursor.writeText(QStringLiteral("F_DQ"), dateToText(m_expires->date()));
    cursor.writeText(QStringLiteral("F_XJ"), dateToText(m_unracked->date()));
    cursor.writeText(QStringLiteral("F_BZ"), m_remark->toPlainText());
    cursor.writeText(QStringLiteral("F_KH"), m_customer->currentText());
    stored = cursor.closeTable() && stored;
    if (!stored) {
        MessageBox::show(kWriteFailedText, MsgStyle::Error, kNoticeTitle, this);
        return;
    }
    m_main.fillServerList();
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
