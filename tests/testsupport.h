#pragma once

#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

// A register in a temporary program directory: db/kavrodb.mdb made as `kavro-db init` makes it,
// with statements and reads that go straight to the register, past the program's own store.
// With KAVRO_TEST_ENGINE=postgres the register is instead a new database on the test cluster
// (socket folder in KAVRO_TEST_PGHOST), named by db/kavrodb.conn as a desk of a team has it.
class TempRegister {
public:
    enum Contents { Initialised, EmptyTables, NoFile };
    explicit TempRegister(Contents contents = Initialised, const QString &dirName = QStringLiteral("程序 目录"));

    // Whether this run's registers are PostgreSQL databases.
    static bool onServer();
    // A connection URI to a new, empty database on the test cluster.
    static QString newServerDatabase();

    QString programDir() const { return m_programDir; }
    // Where the register is: the file's path, or the database's connection URI.
    QString dbPath() const;
    // The column keying a table's rows as stored: rowid in a file.
    static QString keyColumn(const QString &table);

    bool exec(const QString &sql) const;
    // A statement on the register at a location (a file's path or a connection URI); fatal when refused.
    static void execAt(const QString &location, const QString &sql);
    // Statements one after another in one session at a location; which of them the database took.
    static QList<bool> tryAt(const QString &location, const QStringList &statements);
    // A trigger named refuse that makes the database refuse what `when` names ("BEFORE DELETE ON
    // data"), with the message "no"; dropRefusal takes it away again.
    bool refuse(const QString &when, const QString &rowCondition = {}) const;
    bool dropRefusal(const QString &table) const;
    // Gives the IP column a plain index, as registers brought over from Access with repeated IPs have.
    bool allowRepeatedIps() const;
    QList<QStringList> rows(const QString &sql) const;
    int count(const QString &table) const;

private:
    QTemporaryDir m_tmp;
    QString m_programDir;
    QString m_uri;
};

// For cases about an SQLite file as such (its bytes, locks, handles, path): skipped on a server.
#define SQLITE_FILE_ONLY()                                                                                             \
    do {                                                                                                               \
        if (TempRegister::onServer())                                                                                  \
            QSKIP("about the SQLite file itself");                                                                     \
    } while (false)

// A control as a window defines it: its name, geometry and caption (labels and buttons).
struct Unit {
    QString name;
    QRect geometry;
    QString caption;
};
// Checks every unit's geometry and caption; edit boxes, drop-down lists and date boxes must also
// carry an accessible name.
void verifyUnits(QWidget *window, const QList<Unit> &units);

class MainWindow;
// The IP column of the main window's list, top to bottom.
QStringList listedIps(MainWindow &main);
// Selects the main list's row that shows the server with this IP (none when no row does).
void selectRowShowing(MainWindow &main, const QString &ip);

// Runs a search from the main window's search row: field 0 number ... 4 到期天数.
void search(MainWindow &main, int field, const QString &text);
// Logs in with the default account.
void logIn(MainWindow &main);

// Lets a new main window load its lists, which it does once the event loop runs.
void waitForLists();

// Forgets everything a previous case left in the program's state and scripted message boxes.
void resetProgramState();

template <typename T> T *child(QWidget *parent, const QString &name)
{
    T *found = parent->findChild<T *>(name);
    if (!found)
        qWarning("no child named %s", qPrintable(name));
    return found;
}
