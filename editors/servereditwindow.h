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
    // A stored date text that reads as no date (empty, or a form of an older file) is shown as a
    // blank box and written back unchanged unless the user picks a date.
    struct DateField {
        DateBox *box = nullptr;
        QString storedText;
    };
    static void fillDate(DateField &field, DateBox *box, const QString &text);
    static QString dateText(const DateField &field);
    QString remarkText() const;

    qint64 m_key = -1;
    QString m_storedRemark;
    std::array<DateField, 3> m_dates;
};
