#pragma once

#include <QString>

// Files the register's tools write: each is written under a temporary name beside its target and
// put in place only when complete, so a failure never leaves half a file under the target's name.

// A name beside path for a file being written: path + "." + what + "-" + 8 hex digits.
QString siblingTemporaryName(const QString &path, const char *what);

// Removes what an earlier run killed half-way left beside path: only names siblingTemporaryName
// makes for path with one of these kinds, and SQLite's journal, WAL and shared-memory files of them.
void removeStaleTemporaries(const QString &path, const QStringList &kinds);

// Gives the file at from a second name, never replacing anything at to. A hard link does it in
// one step; where the file system has none, the bytes are copied (refusing an existing target too).
bool addNameWithoutOverwriting(const QString &from, const QString &to, QString *error);

// A file being written for target: under a temporary name beside it (same folder, so the final
// rename is one step on one file system), what an earlier run killed half-way left is removed
// first, and the temporary file (with any SQLite journal of it) is removed unless finished.
class FileBeingWritten {
public:
    FileBeingWritten(const QString &target, const char *kind = "partial");
    ~FileBeingWritten();
    FileBeingWritten(const FileBeingWritten &) = delete;
    FileBeingWritten &operator=(const FileBeingWritten &) = delete;

    // Where to write.
    const QString &path() const { return m_path; }
    // Gives the written file the target's name: replacing what is there, or refusing when anything
    // is (a name no other run can take meanwhile).
    bool finish(bool replace, QString *error);

private:
    QString m_target;
    QString m_path;
    bool m_finished = false;
};
