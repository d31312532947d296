#include "widgets/datebox.h"

#include <QCalendarWidget>
#include <QKeyEvent>

namespace {
// The earliest date the box takes stands for "no date"; it is shown as an empty box.
const QDate kBlank(1900, 1, 1);
constexpr int kWholeDate = QDateTimeEdit::YearSection | QDateTimeEdit::MonthSection | QDateTimeEdit::DaySection;
} // namespace

DateBox::DateBox(QWidget *parent) : QDateEdit(parent)
{
    setCalendarPopup(true);
    setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    setMinimumDate(kBlank);
    setSpecialValueText(QStringLiteral(" "));
    connect(this, &QDateEdit::editingFinished, this, &DateBox::endTyping);
}

void DateBox::setBlank()
{
    m_typingFromBlank = false;
    setDate(kBlank);
}

bool DateBox::isBlank() const
{
    return date() == kBlank;
}

void DateBox::endTyping()
{
    if (m_typingFromBlank && (m_sectionsTyped & kWholeDate) != kWholeDate)
        setBlank();
    m_typingFromBlank = false;
}

void DateBox::stepBy(int steps)
{
    // Stepping needs a date to start from; a blank box has none.
    if (!isBlank() && !m_typingFromBlank)
        QDateEdit::stepBy(steps);
}

QAbstractSpinBox::StepEnabled DateBox::stepEnabled() const
{
    return isBlank() || m_typingFromBlank ? StepNone : QDateEdit::stepEnabled();
}

void DateBox::mousePressEvent(QMouseEvent *event)
{
    endTyping();
    QDateEdit::mousePressEvent(event);
    // The calendar of a blank box opens on today's month, with no day picked.
    if (isBlank() && calendarWidget())
        calendarWidget()->setCurrentPage(QDate::currentDate().year(), QDate::currentDate().month());
}

void DateBox::keyPressEvent(QKeyEvent *event)
{
    const QString text = event->text();
    const bool digit = !text.isEmpty() && text.at(0).isDigit();
    if (event->key() == Qt::Key_Escape && m_typingFromBlank) {
        setBlank();
        event->accept();
        return;
    }
    if (digit && isBlank()) {
        // Type over today's date, from the year on.
        m_typingFromBlank = true;
        m_sectionsTyped = 0;
        m_inSectionTyped = false;
        setDate(QDate::currentDate());
        setCurrentSection(QDateTimeEdit::YearSection);
        setSelectedSection(QDateTimeEdit::YearSection);
    }
    if (m_typingFromBlank && (text == QLatin1String("-") || text == QLatin1String("/")) && !m_inSectionTyped) {
        // A full section has moved on by itself; the separator typed after it must not skip the next.
        event->accept();
        return;
    }
    const Section before = currentSection();
    if (digit && m_typingFromBlank) {
        m_sectionsTyped |= before;
        m_inSectionTyped = true;
    }
    QDateEdit::keyPressEvent(event);
    if (currentSection() != before)
        m_inSectionTyped = false;
}

void DateBox::focusOutEvent(QFocusEvent *event)
{
    QDateEdit::focusOutEvent(event);
    endTyping();
}
