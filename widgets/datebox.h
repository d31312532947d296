#pragma once

#include <QDateEdit>

// A date box with a calendar that can also show no date at all: a stored date text that reads as
// no date is shown blank. A blank box becomes a date only when the user picks a day in the calendar
// or types a whole date (year, month and day); opening and dismissing the calendar, the wheel,
// arrow keys, focus changes, Escape and a date typed only in part leave it blank.
class DateBox : public QDateEdit {
    Q_OBJECT
public:
    explicit DateBox(QWidget *parent = nullptr);

    void setBlank();
    bool isBlank() const;

    void stepBy(int steps) override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    StepEnabled stepEnabled() const override;

private:
    // Typing into a blank box: the box shows today's date to type over and goes back to blank
    // unless digits were typed into the year, the month and the day.
    bool m_typingFromBlank = false;
    int m_sectionsTyped = 0;       // QDateTimeEdit::Section flags
    bool m_inSectionTyped = false; // a digit went into the current section
    void endTyping();
};
