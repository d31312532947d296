#include "widgets/filedialog.h"

#include <QFileDialog>
#include <QQueue>
#include <utility>

namespace {
struct Script {
    QQueue<std::pair<QString, QString>> answers; // name, selected filter
    QList<FileDialog::Asked> asked;
};

Script &script()
{
    static Script s;
    return s;
}

// The queued answer, when a test queued one.
bool scripted(const FileDialog::Asked &asked, QString *name, QString *selectedFilter)
{
    if (script().answers.isEmpty())
        return false;
    script().asked << asked;
    const auto [queued, filter] = script().answers.dequeue();
    *name = queued;
    if (selectedFilter && !filter.isEmpty())
        *selectedFilter = filter;
    return true;
}
} // namespace

QString FileDialog::getOpenFileName(QWidget *parent, const QString &caption, const QString &folder,
                                    const QString &filters)
{
    QString name;
    if (scripted({caption, folder, filters}, &name, nullptr))
        return name;
    return QFileDialog::getOpenFileName(parent, caption, folder, filters);
}

QString FileDialog::getSaveFileName(QWidget *parent, const QString &caption, const QString &proposed,
                                    const QString &filters, QString *selectedFilter)
{
    QString name;
    if (scripted({caption, proposed, filters}, &name, selectedFilter))
        return name;
    return QFileDialog::getSaveFileName(parent, caption, proposed, filters, selectedFilter);
}

void FileDialog::setNextFileName(const QString &name, const QString &selectedFilter)
{
    script().answers.enqueue({name, selectedFilter});
}

const QList<FileDialog::Asked> &FileDialog::asked()
{
    return script().asked;
}

void FileDialog::clearAsked()
{
    script().asked.clear();
    script().answers.clear();
}
