#include "editors/servereditwindow.h"

#include "core/datetext.h"
#include "core/statements.h"
#include "core/store.h"
#include "core/widgets/messagebox.h"
#include "core/widgets/reportlist.h"
#include "editors/serverform_names.h"
#include "mainwin/mainwindow.h"

#include "core/widgets/datebox.h"
#include <QComboBox>

#include <QLineEdit>
#include <QPlainTextEdit>

ServerEditWindow::ServerEditWindow(MainWindow &main)
    : ServerForm(main, ServerFormNames::editWindow, ServerFormTexts::editTitle, QStringLiteral("修改数据"),
                 QStringLiteral("退出修改"))
{
    m_ip->setReadOnly(true);
    fillCustomerSelector();

    // Filled once from the row selected now; the window does not follow the list afterwards.
    const ReportList *list = m_main.serverList();
    const int row = list->selectedRow();
    m_key = list->itemValue(row);
    const int customer = m_customer->findText(list->cellText(row, 6), Qt::MatchExactly | Qt::MatchCaseSensitive);
    m_customer->setCurrentIndex(customer >= 0 ? customer : 0);
    m_number->setText(list->cellText(row, 0));
    m_ip->setText(list->cellText(row, 1));
    m_cabinet->setText(list->cellText(row, 2));
    m_storedRemark = list->cellText(row, 7);
    m_remark->setPlainText(m_storedRemark);
    fillDate(m_dates[0], m_racked, list->cellText(row, 3));
    fillDate(m_dates[1], m_expires, list->cellText(row, 4));
    fillDate(m_dates[2], m_unracked, list->cellText(row, 5));
}

void ServerEditWindow::fillDate(DateField &field, DateBox *box, const QString &text)
{
    field.box = box;
    field.storedText = text;
    const QDate date = textToDate(text);
    if (date.isValid())
        box->setDate(date);
    else
        box->setBlank();
}

QString ServerEditWindow::dateText(const DateField &field)
{
    return field.box->isBlank() ? field.storedText : dateToText(field.box->date());
}

QString ServerEditWindow::remarkText() const
{
    // The edit box turns CR LF line breaks into plain ones; an unchanged remark goes back as stored.
    QString shown = m_storedRemark;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QString current = m_remark->toPlainText();
    return current == shown ? m_storedRemark : current;
}

void ServerEditWindow::saveServerChanges()
{
    SqlExecutor &sql = m_main.database().sql;
    const QString ip = m_ip->text();
    const bool customerChosen = m_customer->currentIndex() != 0;
    bool vanished = false;
    // One save stands or falls as a whole. Without a chosen customer the other six columns are
    // still saved and the customer stays as it was.
    const bool saved = sql.transact([&] {
        const ExecResult first = sql.executeSql(serverUpdate(QStringLiteral("F_BH"), m_number->text(), ip));
        if (!first.ok)
            return false;
        if (first.rowsAffected == 0) {
            vanished = true;
            return false;
        }
        const std::pair<QString, QString> columns[] = {
            {QStringLiteral("F_JG"), m_cabinet->text()},    {QStringLiteral("F_SJ"), dateText(m_dates[0])},
            {QStringLiteral("F_DQ"), dateText(m_dates[1])}, {QStringLiteral("F_XJ"), dateText(m_dates[2])},
            {QStringLiteral("F_BZ"), remarkText()},
        };
        for (const auto &[column, value] : columns)
            if (!sql.executeSql(serverUpdate(column, value, ip)).ok)
                return false;
        return !customerChosen ||
               sql.executeSql(serverUpdate(QStringLiteral("F_KH"), m_customer->currentText(), ip)).ok;
    });
    if (vanished) {
        MessageBox::show(ServerFormTexts::vanished, MsgStyle::Warning, kNoticeTitle, this);
        return;
    }
    if (!saved) {
        MessageBox::show(kWriteFailedText, MsgStyle::Error, kNoticeTitle, this);
        return;
    }
    if (!customerChosen) {
        MessageBox::show(ServerFormTexts::chooseCustomer, MsgStyle::YesNoInformation, ServerFormTexts::promptTitle,
                         this);
        return;
    }
    m_main.reloadServerListBySql();
    MessageBox::show(ServerFormTexts::modified, MsgStyle::Ok, kNoticeTitle, this);
}
