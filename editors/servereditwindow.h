#pragma once

#include "editors/serverform.h"

#include <array>

// Changes one stored server: the one selected in the main list when the window was opened.
class ServerEditWindow : public ServerForm {
    Q_OBJECT
public:
    explicit ServerEditWindow(MainWindow &main);

    qint64 serverKey() const { return m_key; }
    void saveServerChanges();

protected:
    void onAction() override { saveServerChanges(); }

private:
    // A date box filled from a stored text that reads as no date keeps that text: it is written
    // back unchanged unless the user picks a date.
    struct DateField {
        QDateEdit *box = nullptr;
        QString storedText;
        bool readable = true;
        bool touched = false;
    };
    void fillDate(DateField &field, QDateEdit *box, const QString &text);
    QString dateText(const DateField &field) const;
    QString remarkText() const;

    qint64 m_key = -1;
    QString m_storedRemark;
    std::array<DateField, 3> m_dates;
};
