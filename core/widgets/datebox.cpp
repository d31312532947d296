#include "core/widgets/datebox.h"

#include <QKeyEvent>

namespace {
// The earliest date the box takes stands for "no date"; it is shown as an empty box.
const QDate kBlank(1900, 1, 1);
} // namespace

DateBox::DateBox(QWidget *parent) : QDateEdit(parent)
{
    setCalendarPopup(true);
    setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    setMinimumDate(kBlank);
    setSpecialValueText(QStringLiteral(" "));
}

void DateBox::setBlank()
{
    setDate(kBlank);
}

bool DateBox::isBlank() const
{
    return date() == kBlank;
}

void DateBox::leaveBlank()
{
    // Picking a date starts from today, not from the placeholder.
    if (isBlank())
        setDate(QDate::currentDate());
}

void DateBox::mousePressEvent(QMouseEvent *event)
{
    leaveBlank();
    QDateEdit::mousePressEvent(event);
}

void DateBox::keyPressEvent(QKeyEvent *event)
{
    // The first step or typed digit on a blank box brings today's date up to start from.
    const bool starts = event->key() == Qt::Key_Up || event->key() == Qt::Key_Down || event->text().trimmed() != "";
    if (starts && isBlank()) {
        leaveBlank();
        event->accept();
        return;
    }
    QDateEdit::keyPressEvent(event);
}
