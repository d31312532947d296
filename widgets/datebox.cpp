#include "widgets/datebox.h"

#include "core/datetext.h"

#include <QApplication>
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
    // A date that is all there: nothing but the date (the date rule would take a time after it).
    if (typed.contains(QLatin1Char(':')) || typed.contains(QChar(0xFF1A)))
        return {};
    return readDate(typed).date;
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
        // A date put in (the calendar, the program) replaces a text that was none.
        if (m_notADate && !m_typed)
            markNotADate(std::nullopt);
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
    markNotADate(std::nullopt);
    setDate(kBlank);
}

void DateBox::markNotADate(const std::optional<QString> &text)
{
    m_notADate = text;
    QPalette palette = lineEdit()->palette();
    palette.setColor(QPalette::Base,
                     text ? QColor(0xFF, 0xD8, 0xD8) : QApplication::palette(lineEdit()).color(QPalette::Base));
    lineEdit()->setPalette(palette);
    lineEdit()->setAutoFillBackground(bool(text));
    setToolTip(text ? QStringLiteral("不是日期") : QString());
    if (text) {
        const QSignalBlocker quiet(lineEdit());
        lineEdit()->setText(*text);
    }
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
    const QString typed = m_typed->trimmed();
    const QDate date = cancel ? QDate() : typedDate(typed);
    m_typed.reset();
    if (!cancel && typed.isEmpty()) {
        // Everything typed was taken back: the box is emptied.
        markNotADate(std::nullopt);
        clearByUser();
        lineEdit()->setText(specialValueText());
        return;
    }
    if (!cancel && !(date.isValid() && date > kBlank)) {
        // Not a date: kept as typed and marked, never dropped without a word.
        markNotADate(typed);
        return;
    }
    const bool wasCleared = m_cleared;
    setDate(date.isValid() && date > kBlank ? date : m_before);
    if (!date.isValid())
        m_cleared = wasCleared;
    if (cancel && m_typedOver) {
        markNotADate(m_typedOver);
        return;
    }
    markNotADate(std::nullopt);
    // The box's own text again, even when the date did not change.
    lineEdit()->setText(isBlank() ? specialValueText() : textFromDateTime(dateTime()));
}

QValidator::State DateBox::validate(QString &input, int &pos) const
{
    // While a date is typed whole, any start of one is acceptable for now.
    if (m_typed || m_notADate)
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
    const QLineEdit *edit = lineEdit();
    const bool allSelected = isBlank() || (edit->hasSelectedText() && edit->selectedText() == edit->text());
    // A text that is no date is typed on from where it stands (or over, when all of it is selected).
    if (!m_typed && m_notADate &&
        !(allSelected && (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete))) {
        if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete ||
            (!c.isNull() && isDateCharacter(c))) {
            m_typedOver = m_notADate;
            m_before = date();
            m_typed = edit->hasSelectedText() && edit->selectedText() == edit->text() ? QString() : *m_notADate;
            if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)
                m_typed->chop(1);
            else
                m_typed->append(c);
            showTyped();
            event->accept();
            return;
        }
    }
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
    if (allSelected && (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)) {
        clearByUser();
        event->accept();
        return;
    }
    if (allSelected && !c.isNull() && (c.isDigit() || (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19))) {
        m_before = date();
        m_typedOver.reset();
        m_typed = QString(c);
        showTyped();
        event->accept();
        return;
    }
    // Backspace or Delete in a part of a date: typing begins from the text as shown, the character
    // taken away (the spin box would otherwise put the old date back when the box is left).
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) {
        m_before = date();
        m_typedOver.reset();
        QString shown = edit->text();
        const int at = edit->cursorPosition() - (event->key() == Qt::Key_Backspace ? 1 : 0);
        if (at >= 0 && at < shown.size())
            shown.remove(at, 1);
        m_typed = shown;
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
    if (m_notADate)
        markNotADate(m_notADate); // the spin box puts its own text back when it is left
}
