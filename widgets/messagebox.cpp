#include "widgets/messagebox.h"

#include <QApplication>
#include <QMessageBox>
#include <QQueue>

namespace {
struct Script {
    bool on = false;
    QQueue<MsgAnswer> answers;
    QList<MessageBox::Shown> shown;
};

Script &script()
{
    static Script s;
    return s;
}

// The button Enter presses: the second one with 0x100, as Windows numbers them.
MsgAnswer defaultAnswer(int style)
{
    if ((style & 0x0F) == 0x04)
        return style & 0x100 ? MsgAnswer::No : MsgAnswer::Yes;
    return style & 0x100 && (style & 0x0F) == 0x01 ? MsgAnswer::Cancel : MsgAnswer::Ok;
}
} // namespace

MsgAnswer MessageBox::show(const QString &text, int style, const std::optional<QString> &title, QWidget *parent)
{
    if (script().on) {
        script().shown.append({text, style, title});
        return script().answers.isEmpty() ? defaultAnswer(style) : script().answers.dequeue();
    }

    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style & 0xF0) {
    case 0x10:
        icon = QMessageBox::Critical;
        break;
    case 0x20:
        icon = QMessageBox::Question;
        break;
    case 0x30:
        icon = QMessageBox::Warning;
        break;
    case 0x40:
        icon = QMessageBox::Information;
        break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (style & 0x0F) {
    case 0x01:
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case 0x04:
        buttons = QMessageBox::Yes | QMessageBox::No;
        break;
    }
    // A box without a title of its own is captioned with the program's name.
    QMessageBox box(icon, title.value_or(kProgramName), text, buttons, parent);
    if (style & 0x100)
        box.setDefaultButton((style & 0x0F) == 0x04 ? QMessageBox::No : QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    default:
        return MsgAnswer::Cancel;
    }
}

void MessageBox::setScripted(bool scripted)
{
    script().on = scripted;
    script().answers.clear();
    script().shown.clear();
}

void MessageBox::setNextAnswer(MsgAnswer answer)
{
    script().answers.enqueue(answer);
}

const QList<MessageBox::Shown> &MessageBox::shown()
{
    return script().shown;
}

void MessageBox::clearShown()
{
    script().shown.clear();
}

void MessageBox::showWriteFailure(Fault fault, QWidget *parent)
{
    if (fault == Fault::Denied)
        show(kNoWriteRightText, MsgStyle::Warning, kNoticeTitle, parent);
    else if (fault == Fault::DiskFull)
        show(kDiskFullText, MsgStyle::Error, kNoticeTitle, parent);
    else
        show(kWriteFailedText, MsgStyle::Error, kNoticeTitle, parent);
}
