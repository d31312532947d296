#include "editors/servereditwindow.h"

#include "core/datetext.h"
#include "core/registerdb.h"
#include "core/text.h"
#include "editors/serverform_names.h"
#include "widgets/datebox.h"
#include "widgets/messagebox.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace {
// The longest remark the modify window lets the user edit.
constexpr int kRemarkEditableChars = 20000;

// A stored date text that reads as no date (empty, or a form of an older file) is shown blank.
QDate showDate(DateBox *box, const QString &text)
{
    const QDate date = textToDate(text);
    if (date.isValid())
        box->setDate(date);
    else
        box->setBlank();
    return date;
}

QString dateText(const DateBox *box, const QDate &shown, const QString &stored)
{
    if (box->wasCleared())
        return QString(QLatin1String("")); // emptied by the user
    if (box->isBlank() || box->date() == shown)
        return stored;
    return dateToText(box->date());
}

QString keptUnlessChanged(const QString &now, const QString &shown, const QString &stored)
{
    return now == shown ? stored : now;
}
} // namespace

ServerEditWindow::ServerEditWindow(RegisterDb &db, const ServerRecord &server)
    : ServerForm(db, ServerFormNames::editWindow, ServerFormTexts::editTitle, QStringLiteral("修改数据"),
                 QStringLiteral("退出修改")),
      m_stored(server)
{
    m_ip->setReadOnly(true);
    fillCustomerSelector();

    // Filled once from the server handed over; the window does not follow the list afterwards.
    const int customer = m_customer->findText(server.customer, Qt::MatchExactly | Qt::MatchCaseSensitive);
    m_customer->setCurrentIndex(customer >= 0 ? customer : 0);
    m_number->setText(server.number);
    m_ip->setText(server.ip);
    m_cabinet->setText(server.cabinet);
    // A box lays out its whole text: a remark of a megabyte on one line would take minutes. Such a
    // remark is shown in part and kept as stored.
    if (server.remark.size() > kRemarkEditableChars) {
        m_remark->setPlainText(shortenedForDisplay(server.remark, kRemarkEditableChars));
        m_remark->setReadOnly(true);
        m_remark->setToolTip(ServerFormTexts::remarkTooLong.arg(server.remark.size()).arg(kRemarkEditableChars));
    } else {
        m_remark->setPlainText(server.remark);
    }
    m_shown.dates = {showDate(m_racked, server.racked), showDate(m_expires, server.expires),
                     showDate(m_unracked, server.unracked)};
    // The boxes may hold less than was stored (a length limit, line breaks made plain).
    m_shown.number = m_number->text();
    m_shown.cabinet = m_cabinet->text();
    m_shown.remark = remarkText();
}

ServerRecord ServerEditWindow::edited() const
{
    ServerRecord r = m_stored;
    if (!chosenCustomer().isEmpty())
        r.customer = chosenCustomer();
    r.number = keptUnlessChanged(m_number->text(), m_shown.number, m_stored.number);
    r.cabinet = keptUnlessChanged(m_cabinet->text(), m_shown.cabinet, m_stored.cabinet);
    r.racked = dateText(m_racked, m_shown.dates[0], m_stored.racked);
    r.expires = dateText(m_expires, m_shown.dates[1], m_stored.expires);
    r.unracked = dateText(m_unracked, m_shown.dates[2], m_stored.unracked);
    r.remark = keptUnlessChanged(remarkText(), m_shown.remark, m_stored.remark);
    return r;
}

void ServerEditWindow::saveServerChanges()
{
    // One save stands or falls as a whole. Without a chosen customer the other six columns are
    // still saved and the customer stays as it was.
    const bool customerChosen = !chosenCustomer().isEmpty();
    // After another program's save was shown, the user may save over it, once asked.
    if (m_changedElsewhere && MessageBox::show(ServerFormTexts::overwriteQuestion, MsgStyle::YesNoQuestionDefaultNo,
                                               kNoticeTitle, this) != MsgAnswer::Yes)
        return;
    const ServerRecord server = edited();
    // Saved only while the server still holds what this window read (or, after the question,
    // what the other program stored): a save by another program is never overwritten unseen.
    const ServerRecord expected = m_changedElsewhere ? *m_changedElsewhere : m_stored;
    const Status saved = m_db.updateServer(server, customerChosen, &expected);
    if (saved.fault == Fault::Changed) {
        MessageBox::show(ServerFormTexts::changedElsewhere, MsgStyle::Warning, kNoticeTitle, this);
        markChangedElsewhere();
        return;
    }
    if (saved.fault == Fault::NotFound) {
        MessageBox::show(kServerVanishedText, MsgStyle::Warning, kNoticeTitle, this);
        emit serverVanished(server.key);
        return;
    }
    if (!saved.ok()) {
        qWarning("saving a server failed: %s", qPrintable(saved.reason));
        MessageBox::showWriteFailure(saved.fault, this);
        return;
    }
    // What is stored now is what the boxes show.
    m_stored = server;
    clearChangedMarks();
    m_shown = {m_number->text(), m_cabinet->text(), remarkText(), {}};
    const DateBox *boxes[] = {m_racked, m_expires, m_unracked};
    for (int i = 0; i < 3; ++i)
        m_shown.dates[size_t(i)] = boxes[i]->isBlank() ? QDate() : boxes[i]->date();
    if (!customerChosen) {
        MessageBox::show(ServerFormTexts::chooseCustomer, MsgStyle::YesNoInformation, ServerFormTexts::promptTitle,
                         this);
        return;
    }
    emit serverModified(server.key);
    MessageBox::show(ServerFormTexts::modified, MsgStyle::Ok, kNoticeTitle, this);
}

void ServerEditWindow::markChangedElsewhere()
{
    // Everything typed stays; each field whose stored text now differs from what was read is
    // marked, its tooltip giving the stored text.
    const Read<ServerRecord> now = m_db.server(m_stored.key);
    if (!now.ok())
        return;
    clearChangedMarks();
    m_changedElsewhere = now.value;
    const std::pair<QWidget *, QString ServerRecord::*> fields[] = {
        {m_customer, &ServerRecord::customer}, {m_number, &ServerRecord::number},
        {m_cabinet, &ServerRecord::cabinet},   {m_racked, &ServerRecord::racked},
        {m_expires, &ServerRecord::expires},   {m_unracked, &ServerRecord::unracked},
        {m_remark, &ServerRecord::remark}};
    for (const auto &[widget, field] : fields) {
        if (now.value.*field == m_stored.*field)
            continue;
        widget->setProperty("changedElsewhere", true);
        widget->setStyleSheet(QStringLiteral("background: #fff1c2;"));
        widget->setToolTip(ServerFormTexts::storedNow.arg(shortenedForDisplay(now.value.*field, 200)));
        m_marked << widget;
    }
}

void ServerEditWindow::clearChangedMarks()
{
    for (QWidget *w : std::as_const(m_marked)) {
        w->setProperty("changedElsewhere", false);
        w->setStyleSheet(QString());
        w->setToolTip(QString());
    }
    m_marked.clear();
    m_changedElsewhere.reset();
}
