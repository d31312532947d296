#include "testsupport.h"

#include "core/appstate.h"
#include "core/engine/engine.h"
#include "core/engine/schemaddl.h"
#include "core/paths.h"
#include "core/schema.h"
#include "login/loginwindow.h"
#include "login/loginwindow_names.h"
#include "mainwin/mainwindow.h"
#include "mainwin/mainwindow_names.h"
#include "widgets/messagebox.h"
#include "widgets/reportlist.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

bool TempRegister::onServer()
{
    return qgetenv("KAVRO_TEST_ENGINE") == "postgres";
}

QString TempRegister::newServerDatabase()
{
    const QString host = qEnvironmentVariable("KAVRO_TEST_PGHOST");
    if (host.isEmpty())
        qFatal("KAVRO_TEST_ENGINE=postgres needs the test cluster's socket folder in KAVRO_TEST_PGHOST "
               "(scripts/test.sh starts one)");
    auto uri = [&](const QString &db) { return QStringLiteral("postgresql:///%1?host=%2&user=kavro").arg(db, host); };
    static int made = 0;
    const QString name = QStringLiteral("kavro_%1_%2").arg(QCoreApplication::applicationPid()).arg(++made);
    const QString connection = QStringLiteral("test-cluster");
    {
        QString error;
        QSqlDatabase db = addRegisterConnection(connection, uri(QStringLiteral("postgres")), &error);
        if (!db.open())
            qFatal("cannot reach the test cluster: %s %s", qPrintable(error), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        // template0: nobody is ever connected to it, so desks of parallel test programs can copy it at once.
        if (!q.exec(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8'").arg(name)))
            qFatal("cannot make a test database: %s", qPrintable(q.lastError().text()));
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return uri(name);
}

TempRegister::TempRegister(Contents contents, const QString &dirName)
{
    m_programDir = QDir(m_tmp.path()).filePath(dirName);
    QDir().mkpath(m_programDir + QStringLiteral("/db"));
    QString error;
    if (onServer()) {
        if (contents == NoFile)
            return;
        m_uri = newServerDatabase();
        QFile conn(connectionFilePath(m_programDir));
        if (!conn.open(QIODevice::WriteOnly) || conn.write(m_uri.toUtf8() + '\n') < 0)
            qFatal("cannot write %s", qPrintable(conn.fileName()));
    }
    if (contents == Initialised) {
        if (!initRegisterDatabase(dbPath(), &error))
            qFatal("cannot make test register: %s", qPrintable(error));
    } else if (contents == EmptyTables) {
        const QString name = QStringLiteral("test-create");
        if (onServer()) {
            QSqlDatabase db = addRegisterConnection(name, m_uri, &error);
            if (!db.open() || !createSchema(db, &error))
                qFatal("cannot make test register: %s %s", qPrintable(error), qPrintable(db.lastError().text()));
        } else if (!createRegisterFile(dbPath(), name, &error))
            qFatal("cannot make test register: %s", qPrintable(error));
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

QString TempRegister::dbPath() const
{
    return onServer() ? m_uri : m_programDir + QStringLiteral("/db/kavrodb.mdb");
}

QString TempRegister::keyColumn(const QString &table)
{
    const TableSchema *schema = tableNamed(table);
    return rowKeyColumn(*schema, onServer() ? Engine::Postgres : Engine::Sqlite);
}

namespace {
template <typename F> auto withConnection(const QString &path, F &&work)
{
    const QString name = QStringLiteral("test-direct");
    decltype(work(std::declval<QSqlDatabase &>())) result;
    {
        QString error;
        QSqlDatabase db = TempRegister::onServer() ? addRegisterConnection(name, path, &error)
                                                   : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        if (!TempRegister::onServer())
            db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot open %s: %s", qPrintable(path), qPrintable(error + db.lastError().text()));
        result = work(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}
} // namespace

void TempRegister::execAt(const QString &location, const QString &sql)
{
    const QString name = QStringLiteral("test-at");
    {
        QString error;
        QSqlDatabase db = addRegisterConnection(name, location, &error);
        if (!db.open())
            qFatal("cannot open %s: %s", qPrintable(location), qPrintable(error + db.lastError().text()));
        QSqlQuery q(db);
        if (!q.exec(sql))
            qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

QList<bool> TempRegister::tryAt(const QString &location, const QStringList &statements)
{
    QList<bool> took;
    const QString name = QStringLiteral("test-try-at");
    {
        QString error;
        QSqlDatabase db = addRegisterConnection(name, location, &error);
        if (!db.open())
            qFatal("cannot open %s: %s", qPrintable(location), qPrintable(error + db.lastError().text()));
        for (const QString &sql : statements) {
            QSqlQuery q(db);
            took << q.exec(sql);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return took;
}

bool TempRegister::exec(const QString &sql) const
{
    return withConnection(dbPath(), [&](QSqlDatabase &db) {
        QSqlQuery q(db);
        if (!q.exec(sql)) {
            qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
            return false;
        }
        return true;
    });
}

bool TempRegister::refuse(const QString &when, const QString &rowCondition) const
{
    const QString only = rowCondition.isEmpty() ? QString() : QStringLiteral(" WHEN (%1)").arg(rowCondition);
    if (!onServer())
        return exec(QStringLiteral("CREATE TRIGGER refuse %1 FOR EACH ROW%2 BEGIN SELECT RAISE(ABORT, 'no'); END")
                        .arg(when, only));
    return exec(QStringLiteral("CREATE OR REPLACE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS "
                               "$$BEGIN RAISE EXCEPTION 'no'; END$$")) &&
           exec(QStringLiteral("CREATE TRIGGER refuse %1 FOR EACH ROW%2 EXECUTE FUNCTION refuse()").arg(when, only));
}

bool TempRegister::dropRefusal(const QString &table) const
{
    return exec(onServer() ? QStringLiteral("DROP TRIGGER refuse ON %1").arg(table)
                           : QStringLiteral("DROP TRIGGER refuse"));
}

bool TempRegister::allowRepeatedIps() const
{
    return exec(QStringLiteral("DROP INDEX data_F_IP")) &&
           exec(QStringLiteral("CREATE INDEX data_F_IP ON data (F_IP)"));
}

QList<QStringList> TempRegister::rows(const QString &sql) const
{
    return withConnection(dbPath(), [&](QSqlDatabase &db) {
        QList<QStringList> out;
        QSqlQuery q(db);
        if (!q.exec(sql))
            qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << q.value(i).toString();
            out << row;
        }
        return out;
    });
}

int TempRegister::count(const QString &table) const
{
    const QList<QStringList> r = rows(QStringLiteral("SELECT count(*) FROM ") + table);
    return r.isEmpty() ? -1 : r.first().first().toInt();
}

void search(MainWindow &main, int field, const QString &text)
{
    child<QComboBox>(&main, MainNames::searchField)->setCurrentIndex(field);
    child<QLineEdit>(&main, MainNames::searchText)->setText(text);
    child<QPushButton>(&main, MainNames::searchButton)->click();
}

void logIn(MainWindow &main)
{
    child<QLineEdit>(main.loginWindow(), LoginNames::accountEdit)->setText(QStringLiteral("admin"));
    child<QLineEdit>(main.loginWindow(), LoginNames::passwordEdit)->setText(QStringLiteral("kavro2008"));
    child<QPushButton>(main.loginWindow(), LoginNames::loginButton)->click();
}

void waitForLists()
{
    // A main window reads its lists once its login window has been painted. Waiting runs the event
    // loop, which may delete other windows (closed ones of an earlier case): the main windows are
    // taken first, and followed only while they live.
    QList<QPointer<MainWindow>> mains;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *main = qobject_cast<MainWindow *>(w))
            mains << main;
    for (const QPointer<MainWindow> &main : mains)
        QTRY_VERIFY(!main || main->listsStarted());
    QCoreApplication::processEvents();
}

namespace {
// The windows keep their layout per user: tests keep theirs in a folder of their own, so that
// neither the user's layout nor one test's reaches another.
void isolateUserSettings()
{
    static QTemporaryDir folder;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.path()));
}
Q_CONSTRUCTOR_FUNCTION(isolateUserSettings)
} // namespace

void resetProgramState()
{
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("kavro"), QStringLiteral("layout")).clear();
    appState() = AppState{};
    MessageBox::setScripted(true);
}

void verifyUnits(QWidget *window, const QList<Unit> &units)
{
    for (const Unit &u : units) {
        QWidget *unit = window->findChild<QWidget *>(u.name);
        QVERIFY2(unit, qPrintable(u.name));
        QCOMPARE(unit->geometry(), u.geometry);
        if (auto *label = qobject_cast<QLabel *>(unit); label && !u.caption.isNull())
            QCOMPARE(label->text(), u.caption);
        if (auto *button = qobject_cast<QPushButton *>(unit))
            QCOMPARE(button->text(), u.caption);
        if (qobject_cast<QLineEdit *>(unit) || qobject_cast<QComboBox *>(unit) || qobject_cast<QDateEdit *>(unit))
            QVERIFY2(!unit->accessibleName().isEmpty(), qPrintable(u.name));
    }
}

QStringList listedIps(MainWindow &main)
{
    QStringList ips;
    for (int r = 0; r < main.serverList()->rowCount(); ++r)
        ips << main.serverList()->cellText(r, 1);
    return ips;
}

void selectRowShowing(MainWindow &main, const QString &ip)
{
    main.serverList()->setSelectedRow(int(listedIps(main).indexOf(ip)));
}
