#include "core/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <unistd.h>

QString siblingTemporaryName(const QString &path, const char *what)
{
    return QStringLiteral("%1.%2-%3")
        .arg(path, QLatin1String(what))
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

void removeStaleTemporaries(const QString &path, const QStringList &kinds)
{
    const QFileInfo target(path);
    // SQLite's journal, WAL and shared-memory files of such a file go with it.
    const QRegularExpression own(QStringLiteral("^%1\\.(%2)-[0-9a-f]{8}(-journal|-wal|-shm)?$")
                                     .arg(QRegularExpression::escape(target.fileName()), kinds.join(QLatin1Char('|'))));
    QDir dir = target.absoluteDir();
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (own.match(name).hasMatch())
            dir.remove(name);
}

bool addNameWithoutOverwriting(const QString &from, const QString &to, QString *error)
{
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return true;
    const int cause = errno;
    if (cause == EEXIST || !(cause == EPERM || cause == ENOTSUP || cause == EXDEV || cause == EOPNOTSUPP)) {
        *error = QString::fromLocal8Bit(std::strerror(cause));
        return false;
    }
    QFile source(from);
    if (!source.copy(to)) {
        *error = source.errorString();
        return false;
    }
    return true;
}

FileBeingWritten::FileBeingWritten(const QString &target, const char *kind) : m_target(target)
{
    removeStaleTemporaries(target, {QString::fromLatin1(kind)});
    m_path = siblingTemporaryName(target, kind);
}

FileBeingWritten::~FileBeingWritten()
{
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        if (!m_finished || *suffix)
            QFile::remove(m_path + QLatin1String(suffix));
}

bool FileBeingWritten::finish(bool replace, QString *error)
{
    if (replace) {
        if (::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(m_target).constData()) != 0) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        m_finished = true;
        return true;
    }
    if (!addNameWithoutOverwriting(m_path, m_target, error))
        return false;
    QFile::remove(m_path); // the target keeps the bytes
    m_finished = true;
    return true;
}
