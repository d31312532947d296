// Start to first rows on screen, whole process: the program's own start-up (skin, login window,
// register opened, list loaded, a scripted login, the main window's first rows painted) against a
// floor that starts a Qt process, opens the same file with the sqlite3 C API, reads the first
// screen of rows with every byte and paints them in a table.
// Also start to the login window painted, and its ratio at each size to the first size given.
// Usage: QT_QPA_PLATFORM=offscreen bench_startup [SERVERS ...]   (default 1000000; smallest first)
#include "benchdata.h"
#include "core/engine/schemaddl.h"
#include "core/schema.h"
#include "login/loginwindow.h"
#include "login/loginwindow_names.h"
#include "mainwin/mainwindow.h"
#include "startup.h"
#include "widgets/reportlist.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

namespace {
constexpr int kPairs = 7;

// Tells once when the watched widget has painted.
class PaintWatch : public QObject {
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_done) {
            m_done = true;
            QTimer::singleShot(0, qApp, [] {
                std::printf("painted\n");
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    bool m_done = false;
};

// The program started on dir; with logIn, a scripted login and the first rows of the list watched,
// otherwise the login window (what a user waits for before typing).
int runProgram(const QString &dir, bool logIn)
{
    int argc = 1;
    char name[] = "kavro";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    setUpApplication(app);
    MainWindow main(dir);
    PaintWatch watch;
    if (!logIn) {
        main.loginWindow()->installEventFilter(&watch);
        return app.exec();
    }
    main.serverList()->viewport()->installEventFilter(&watch);
    QTimer::singleShot(0, &main, [&main] {
        LoginWindow *login = main.loginWindow();
        login->findChild<QLineEdit *>(LoginNames::accountEdit)->setText(kDefaultAdminAccount);
        login->findChild<QLineEdit *>(LoginNames::passwordEdit)->setText(kDefaultAdminPassword);
        login->findChild<QPushButton *>(LoginNames::loginButton)->click();
    });
    return app.exec();
}

int runFloor(const QString &dir)
{
    int argc = 1;
    char name[] = "floor";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    sqlite3 *db = nullptr;
    sqlite3_open_v2((dir + "/db/kavrodb.mdb").toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_KH, F_BZ FROM data ORDER BY rowid LIMIT 30",
                       -1, &stmt, nullptr);
    QTableWidget table(30, 8);
    int row = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < 8; ++c)
            table.setItem(
                row, c,
                new QTableWidgetItem(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)),
                                                       sqlite3_column_bytes(stmt, c))));
        ++row;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    table.resize(600, 450);
    PaintWatch watch;
    table.viewport()->installEventFilter(&watch);
    table.show();
    return app.exec();
}

double startAndWait(const QString &self, const QString &mode, const QString &dir)
{
    QProcess child;
    QElapsedTimer t;
    t.start();
    child.start(self, {mode, dir});
    // The moment the child says it has painted, not when it has ended: work it does after the
    // paint (the list read after the login window) is not what the user waits for.
    QByteArray out;
    double ms = -1;
    while (child.waitForReadyRead(60000)) {
        out += child.readAllStandardOutput();
        if (out.contains("painted")) {
            ms = double(t.nsecsElapsed()) / 1e6;
            break;
        }
    }
    child.waitForFinished(60000);
    return ms;
}

void report(const char *what, int servers, std::vector<double> ms, double floorMedian)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%s %d: median %.1f ms (min %.1f, max %.1f)\n", what, servers, ms[ms.size() / 2], ms.front(),
                ms.back());
    if (floorMedian > 0)
        std::printf("%s %d: %.2f x floor\n", what, servers, ms[ms.size() / 2] / floorMedian);
}
} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--program")
        return runProgram(QString::fromLocal8Bit(argv[2]), true);
    if (argc == 3 && QByteArray(argv[1]) == "--floor")
        return runFloor(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && QByteArray(argv[1]) == "--login")
        return runProgram(QString::fromLocal8Bit(argv[2]), false);
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes << 1000000;
    double smallestLogin = -1;
    for (int servers : sizes) {
        QTemporaryDir tmp;
        QDir().mkpath(tmp.path() + "/db");
        QString error;
        if (!initRegisterDatabase(tmp.path() + "/db/kavrodb.mdb", &error) ||
            !fillRegister(tmp.path() + "/db/kavrodb.mdb", servers)) {
            std::printf("cannot build the register: %s\n", qPrintable(error));
            return 1;
        }
        startAndWait(app.applicationFilePath(), "--floor", tmp.path()); // warm-up of both
        startAndWait(app.applicationFilePath(), "--program", tmp.path());
        std::vector<double> floor, program;
        for (int i = 0; i < kPairs; ++i) {
            floor.push_back(startAndWait(app.applicationFilePath(), "--floor", tmp.path()));
            program.push_back(startAndWait(app.applicationFilePath(), "--program", tmp.path()));
        }
        std::sort(floor.begin(), floor.end());
        report("start to first rows, floor", servers, floor, 0);
        report("start to first rows", servers, program, floor[floor.size() / 2]);
        // The login window against the same floor process, and against the smallest register.
        std::vector<double> login;
        for (int i = 0; i < kPairs; ++i)
            login.push_back(startAndWait(app.applicationFilePath(), "--login", tmp.path()));
        std::sort(login.begin(), login.end());
        // Not against a floor: the login window shows no rows, so no process does its work by hand.
        // What it must show is that nothing growing with the register comes before it: its time
        // against the same measure at the first (smallest) size given.
        report("start to login painted", servers, login, 0);
        if (smallestLogin < 0)
            smallestLogin = login[login.size() / 2];
        else
            std::printf("start to login painted %d: %.2f x its time at %d servers (a scaling ratio, not a floor)\n",
                        servers, login[login.size() / 2] / smallestLogin, sizes.first());
    }
    return 0;
}
