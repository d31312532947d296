#include "testsupport.h"

#include "core/appstate.h"
#include "core/schema.h"
#include "widgets/messagebox.h"
#include "widgets/reportlist.h"
#include "login/loginwindow.h"
#include "login/loginwindow_names.h"
#include "mainwin/mainwindow.h"
#include "mainwin/mainwindow_names.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

TempRegister::TempRegister(Contents contents, const QString &dirName)
{
    m_programDir = QDir(m_tmp.path()).filePath(dirName);
    QDir().mkpath(m_programDir + QStringLiteral("/db"));
    QString error;
    if (contents == Initialised) {
        if (!initRegisterDatabase(dbPath(), &error))
            qFatal("cannot make test register: %s", qPrintable(error));
    } else if (contents == EmptyTables) {
        const QString name = QStringLiteral("test-create");
        if (!createRegisterFile(dbPath(), name, &error))
            qFatal("cannot make test register: %s", qPrintable(error));
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

QString TempRegister::dbPath() const
{
    return m_programDir + QStringLiteral("/db/kavrodb.mdb");
}

namespace {
template <typename F> auto withConnection(const QString &path, F &&work)
{
    const QString name = QStringLiteral("test-direct");
    decltype(work(std::declval<QSqlDatabase &>())) result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot open %s", qPrintable(path));
        result = work(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}
} // namespace

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

bool TempRegister::allowRepeatedIps() const
{
    return exec(QStringLiteral("DROP INDEX data_F_IP")) && exec(QStringLiteral("CREATE INDEX data_F_IP ON data (F_IP)"));
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
    QCoreApplication::processEvents();
}

void resetProgramState()
{
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
