#pragma once

#include <QDateEdit>

// A date box with a calendar that can also show no date at all: a stored date text that reads as
// no date is shown blank, and stays blank until the user picks a date.
class DateBox : public QDateEdit {
    Q_OBJECT
public:
    explicit DateBox(QWidget *parent = nullptr);

    void setBlank();
    bool isBlank() const;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void leaveBlank();
};
