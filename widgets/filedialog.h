#pragma once

#include <QList>
#include <QString>

class QWidget;

// Every file chooser the program opens goes through here. Tests queue the name the next chooser
// answers with (an empty one: the user cancelled), and read what each chooser offered.
class FileDialog {
public:
    struct Asked {
        QString caption;
        QString proposed; // the folder or the name offered
        QString filters;
    };

    static QString getOpenFileName(QWidget *parent, const QString &caption, const QString &folder,
                                   const QString &filters);
    // selectedFilter: the filter the user picked (or the one queued with the name).
    static QString getSaveFileName(QWidget *parent, const QString &caption, const QString &proposed,
                                   const QString &filters, QString *selectedFilter = nullptr);

    static void setNextFileName(const QString &name, const QString &selectedFilter = QString());
    static const QList<Asked> &asked();
    static void clearAsked();
};
