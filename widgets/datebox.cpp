#include "widgets/datebox.h"

#include "core/datetext.h"

#include <QBoxLayout>
#include <QCalendarWidget>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>

namespace {
// The earliest date the box takes stands for "no date"; it is shown as an empty box.
const QDate kBlank(1900, 1, 1);

bool isDateCharacter(QChar c)
{
    return c.isDigit() || QStringLiteral("-/. 年月日").contains(c);
}
} // namespace

QDate typedDate(const QString &typed)
{
    QString text = typed.trimmed();
    // Full-width digits as half-width.
    for (QChar &c : text)
        if (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19)
            c = QChar(u'0' + (c.unicode() - 0xFF10));
    if (text.size() == 8 && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
        return QDate::fromString(text, QStringLiteral("yyyyMMdd"));
    text.replace(QLatin1Char('.'), QLatin1Char('-'));
    const QDate date = textToDate(text);
    // A date that is all there: nothing but the date (textToDate would take a time after it).
    return date.isValid() && !text.contains(QLatin1Char(' ')) ? date : QDate();
}

DateBox::DateBox(QWidget *parent) : QDateEdit(parent)
{
    setCalendarPopup(true);
    setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    setMinimumDate(kBlank);
    setSpecialValueText(QStringLiteral(" "));
    connect(this, &QDateEdit::dateChanged, this, [this](const QDate &d) {
        if (d != kBlank)
            m_cleared = false;
    });
    // 清除 in the calendar's title bar empties the box.
    if (QCalendarWidget *calendar = calendarWidget()) {
        auto *bar = calendar->findChild<QWidget *>(QStringLiteral("qt_calendar_navigationbar"));
        if (bar && qobject_cast<QBoxLayout *>(bar->layout())) {
            auto *clear = new QToolButton(bar);
            clear->setObjectName(QStringLiteral("清除"));
            clear->setText(QStringLiteral("清除"));
            clear->setAutoRaise(true);
            clear->setStyleSheet(QStringLiteral("color: white; font-weight: bold"));
            static_cast<QBoxLayout *>(bar->layout())->addWidget(clear);
            connect(clear, &QToolButton::clicked, this, [this, calendar] {
                clearByUser();
                calendar->window()->hide();
            });
        }
    }
}

void DateBox::setBlank()
{
    m_typed.reset();
    setDate(kBlank);
}

bool DateBox::isBlank() const
{
    return date() == kBlank;
}

void DateBox::clearByUser()
{
    setBlank();
    m_cleared = true;
}

void DateBox::showTyped()
{
    // Shown as typed: the spin box must not read it (it would put its own date back).
    const QSignalBlocker quiet(lineEdit());
    lineEdit()->setText(*m_typed);
    lineEdit()->setCursorPosition(int(m_typed->size()));
}

void DateBox::endTyping(bool cancel)
{
    if (!m_typed)
        return;
    const QDate date = cancel ? QDate() : typedDate(*m_typed);
    m_typed.reset();
    const bool wasCleared = m_cleared;
    setDate(date.isValid() && date > kBlank ? date : m_before);
    if (!date.isValid())
        m_cleared = wasCleared;
    // The box's own text again, even when the date did not change.
    lineEdit()->setText(isBlank() ? specialValueText() : textFromDateTime(dateTime()));
}

QValidator::State DateBox::validate(QString &input, int &pos) const
{
    // While a date is typed whole, any start of one is acceptable for now.
    if (m_typed)
        return QValidator::Intermediate;
    return QDateEdit::validate(input, pos);
}

void DateBox::stepBy(int steps)
{
    // Stepping needs a date to start from; a blank box has none.
    if (!isBlank() && !m_typed)
        QDateEdit::stepBy(steps);
}

QAbstractSpinBox::StepEnabled DateBox::stepEnabled() const
{
    return isBlank() || m_typed ? StepNone : QDateEdit::stepEnabled();
}

bool DateBox::event(QEvent *event)
{
    // Escape while typing takes the typing back; it does not close the window.
    if (event->type() == QEvent::ShortcutOverride && m_typed &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        event->accept();
        return true;
    }
    return QDateEdit::event(event);
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
    const QChar c = text.size() == 1 ? text.at(0) : QChar();
    if (m_typed) {
        if (event->key() == Qt::Key_Escape) {
            endTyping(true);
            event->accept();
            return;
        }
        if (event->key() == Qt::Key_Backspace) {
            m_typed->chop(1);
            showTyped();
            event->accept();
            return;
        }
        if (!c.isNull() && isDateCharacter(c)) {
            m_typed->append(c);
            showTyped();
            event->accept();
            return;
        }
        // Anything else (Enter, Tab, an arrow) ends the typing first.
        endTyping();
        QDateEdit::keyPressEvent(event);
        return;
    }
    const QLineEdit *edit = lineEdit();
    const bool allSelected = isBlank() || (edit->hasSelectedText() && edit->selectedText() == edit->text());
    if (allSelected && (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)) {
        clearByUser();
        event->accept();
        return;
    }
    if (allSelected && !c.isNull() && (c.isDigit() || (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19))) {
        m_before = date();
        m_typed = QString(c);
        showTyped();
        event->accept();
        return;
    }
    QDateEdit::keyPressEvent(event);
}

void DateBox::focusOutEvent(QFocusEvent *event)
{
    endTyping();
    QDateEdit::focusOutEvent(event);
}
