#pragma once

#include <QDateEdit>
#include <optional>

// A date box with a calendar that can also show no date at all: a stored date text that reads as
// no date is shown blank. A date is typed whole: into a blank box, or over a box whose text is all
// selected, 2028-01-07, 2028/1/7, 2028.1.7, 2028年1月7日 or 20280107 become that date once typing
// ends (Enter, Tab, a click elsewhere); a date typed only in part, or Escape, leaves the box as it
// was. Backspace or Delete on a box whose text is all selected, or 清除 in the calendar, empties
// it; on a part of its text, they begin typing from the text as shown. A text typed that is no date
// is kept as typed, tinted, with the tooltip 不是日期, until it is made a date or emptied (a save must
// refuse it: hasText). The calendar, the wheel and arrow keys never put a date into a blank box by
// themselves.
class DateBox : public QDateEdit {
    Q_OBJECT
public:
    explicit DateBox(QWidget *parent = nullptr);

    void setBlank();
    bool isBlank() const;
    // Emptied by the user (not merely shown blank): stored as an empty text.
    bool wasCleared() const { return m_cleared; }
    // Whether a date is being typed and not yet taken.
    bool isTyping() const { return m_typed.has_value(); }
    // Takes what is being typed now (a save pressed with the mouse while typing).
    void commitTyping() { endTyping(); }
    // A text typed that is no date, kept as typed; none when the box holds a date or nothing.
    const std::optional<QString> &notADate() const { return m_notADate; }

    void stepBy(int steps) override;

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    StepEnabled stepEnabled() const override;
    // Tab leaves the box (rather than moving from the year to the month to the day).
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
    QValidator::State validate(QString &input, int &pos) const override;

private:
    void clearByUser();
    void showTyped();
    // Takes what was typed: a whole date, or the box as it was before typing.
    void endTyping(bool cancel = false);
    // Keeps a text that is no date shown, tinted; none takes the mark away.
    void markNotADate(const std::optional<QString> &text);

    std::optional<QString> m_typed; // the text being typed
    QDate m_before;                 // the box's date when typing began (kBlank for blank)
    bool m_cleared = false;
    std::optional<QString> m_notADate;
    std::optional<QString> m_typedOver; // the text no date that typing began from (Escape puts it back)
};

// The date a typed text names: yyyy-M-d, yyyy/M/d, yyyy.M.d, yyyy年M月d日 or yyyyMMdd; invalid
// when it names none.
QDate typedDate(const QString &typed);
