// The server list against the floor of the same work done by hand, on a realistic register.
// Usage: QT_QPA_PLATFORM=offscreen bench_serverlist [SERVERS ...]   (default 100000)
//
// Every figure is the median of interleaved pairs (floor, program, floor, program, ...) with its
// min and max, and its ratio to the floor on a line of its own.
//   full scan: the sqlite3 C API stepping every row of the list's query, reading every byte of
//          every column into a checksum (nothing is skipped) - what a list holding every text costs;
//   keys floor: the list load's own work by hand - every key, then the first screen by key;
//   list load: MainWindow::fillServerList through to a model that can answer any row, plus the
//          first screen of rows read;
//   add, modify, delete: a whole round trip through the windows (store, list updated);
//   sort by expiry date, expiry summary: against the same work by hand;
//   search: a search by IP from the full list.
#include "benchdata.h"
#include "core/appstate.h"
#include "core/engine/schemaddl.h"
#include "core/schema.h"
#include "editors/serveraddwindow.h"
#include "editors/servereditwindow.h"
#include "editors/serverform_names.h"
#include "login/loginwindow.h"
#include "login/loginwindow_names.h"
#include "mainwin/mainwindow.h"
#include "mainwin/mainwindow_names.h"
#include "widgets/messagebox.h"
#include "widgets/reportlist.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <sys/resource.h>
#include <vector>

namespace {
constexpr int kPairs = 7;

// The floor: the list's query stepped by hand, every byte of every column read.
quint64 floorScan(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    quint64 sum = 0;
    const int columns = sqlite3_column_count(stmt);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        sum += quint64(sqlite3_column_int64(stmt, 0));
        for (int c = 1; c < columns; ++c) {
            const auto *p = sqlite3_column_text(stmt, c);
            const int n = sqlite3_column_bytes(stmt, c);
            for (int i = 0; i < n; ++i)
                sum = sum * 31 + p[i];
        }
    }
    sqlite3_finalize(stmt);
    return sum;
}

// The same work as the list load, by hand: every key in stored order, then the first screen of
// rows (every byte read) in one range scan; both statements prepared once, as the program keeps its.
struct KeysFloorStatements {
    explicit KeysFloorStatements(sqlite3 *db)
    {
        // As the program reads every key: from the IP index, then sorted into stored order.
        sqlite3_prepare_v2(db, "SELECT rowid FROM data INDEXED BY data_F_IP", -1, &keys, nullptr);
        sqlite3_prepare_v2(db,
                           "SELECT F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ FROM data "
                           "WHERE rowid BETWEEN ?1 AND ?2 ORDER BY rowid",
                           -1, &rows, nullptr);
    }
    ~KeysFloorStatements()
    {
        sqlite3_finalize(keys);
        sqlite3_finalize(rows);
    }
    sqlite3_stmt *keys = nullptr;
    sqlite3_stmt *rows = nullptr;
};

quint64 keysFloor(const KeysFloorStatements &statements)
{
    sqlite3_stmt *keysStmt = statements.keys;
    sqlite3_stmt *rowsStmt = statements.rows;
    std::vector<qint64> keys;
    while (sqlite3_step(keysStmt) == SQLITE_ROW)
        keys.push_back(sqlite3_column_int64(keysStmt, 0));
    sqlite3_reset(keysStmt);
    std::sort(keys.begin(), keys.end());
    quint64 sum = keys.size();
    if (keys.empty())
        return sum;
    sqlite3_bind_int64(rowsStmt, 1, keys.front());
    sqlite3_bind_int64(rowsStmt, 2, keys[std::min<size_t>(29, keys.size() - 1)]);
    while (sqlite3_step(rowsStmt) == SQLITE_ROW)
        for (int c = 0; c < 8; ++c) {
            const auto *p = sqlite3_column_text(rowsStmt, c);
            for (int i = 0; i < sqlite3_column_bytes(rowsStmt, c); ++i)
                sum = sum * 31 + p[i];
        }
    sqlite3_reset(rowsStmt);
    return sum;
}

// The same work as sorting by 到期时间, by hand: every key with its 到期时间 (all bytes read), read as
// a day number (yyyy-MM-dd only; anything else last), then sorted with ties in stored order.
quint64 sortFloor(sqlite3 *db)
{
    struct Row {
        qint64 key;
        int day;
    };
    std::vector<Row> rows;
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT rowid, F_DQ FROM data", -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const auto *p = sqlite3_column_text(stmt, 1);
        const int n = sqlite3_column_bytes(stmt, 1);
        int day = INT_MAX;
        if (n == 10 && p[4] == '-' && p[7] == '-') {
            day = 0;
            for (int i : {0, 1, 2, 3, 5, 6, 8, 9})
                day = day * 10 + (p[i] - '0');
        }
        rows.push_back({sqlite3_column_int64(stmt, 0), day});
    }
    sqlite3_finalize(stmt);
    std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return a.day < b.day; });
    return rows.empty() ? 0 : quint64(rows.front().key);
}

// The same work as the summary, by hand: each distinct 到期时间 with its count, every byte read.
quint64 summaryFloor(sqlite3 *db)
{
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT F_DQ, count(*) FROM data GROUP BY F_DQ", -1, &stmt, nullptr);
    quint64 sum = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const auto *p = sqlite3_column_text(stmt, 0);
        for (int i = 0; i < sqlite3_column_bytes(stmt, 0); ++i)
            sum = sum * 31 + p[i];
        sum += quint64(sqlite3_column_int64(stmt, 1));
    }
    sqlite3_finalize(stmt);
    return sum;
}

void readFirstScreen(ReportList *list)
{
    for (int r = 0; r < std::min(30, list->rowCount()); ++r)
        for (int c = 0; c < 8; ++c)
            (void)list->cellText(r, c);
}

void run(int servers)
{
    QTemporaryDir tmp;
    const QString dir = tmp.path();
    QDir().mkpath(dir + "/db");
    const QString path = dir + "/db/kavrodb.mdb";
    QString error;
    if (!initRegisterDatabase(path, &error) || !fillRegister(path, servers)) {
        std::printf("cannot build the register: %s\n", qPrintable(error));
        return;
    }
    std::printf("register %d: %.0f MiB on disk\n", servers, double(QFileInfo(path).size()) / 1048576.0);
    sqlite3 *raw = nullptr;
    // As the program's own connection is opened: Qt's driver asks for no mutex.
    sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    const char *all = "SELECT rowid, F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ FROM data ORDER BY rowid";

    appState() = AppState{};
    MessageBox::setScripted(true);
    MainWindow main(dir);
    QCoreApplication::processEvents();
    ReportList *list = main.serverList();
    volatile quint64 sink = floorScan(raw, all); // warm-up of both
    main.fillServerList();

    const KeysFloorStatements floorStatements(raw);
    Times floor, keys, load;
    for (int i = 0; i < kPairs; ++i) {
        floor.ms.push_back(timeMs([&] { sink = sink + floorScan(raw, all); }));
        // A B, then B A: neither always runs in the caches the other left.
        auto floorRun = [&] { keys.ms.push_back(timeMs([&] { sink = sink + keysFloor(floorStatements); })); };
        auto loadRun = [&] {
            load.ms.push_back(timeMs([&] {
                main.fillServerList();
                readFirstScreen(list);
            }));
        };
        if (i % 2 == 0) {
            floorRun();
            loadRun();
        } else {
            loadRun();
            floorRun();
        }
    }
    std::printf("full scan %d: median %.2f ms (min %.2f, max %.2f)\n", servers, floor.median(), floor.min(),
                floor.max());
    std::printf("keys floor %d: median %.2f ms (min %.2f, max %.2f)\n", servers, keys.median(), keys.min(), keys.max());
    // Against the scan of every byte (what the list used to do) and against the same work by hand.
    // The full scan reads every byte of every row (what a list holding every text must do): the
    // list load is meant to cost less than that. Its floor is the same work by hand, next line.
    std::printf("list load %d: %.2f x the full scan\n", servers, load.median() / floor.median());
    report("list load", servers, load, keys);
    std::printf("list rows %d\n", list->rowCount());

    // Sorting the whole list by 到期时间, and the status-bar summary: each against the same work by hand.
    Times sortFloor, sort, summaryFloor, summary;
    QHeaderView *header = list->horizontalHeader();
    for (int i = 0; i < kPairs; ++i) {
        sortFloor.ms.push_back(timeMs([&] { sink = sink + ::sortFloor(raw); }));
        sort.ms.push_back(timeMs([&] {
            // Click 1: ascending; the two further clicks go back to stored order (not timed).
            emit header->sectionClicked(4);
            readFirstScreen(list);
        }));
        emit header->sectionClicked(4);
        emit header->sectionClicked(4);
        summaryFloor.ms.push_back(timeMs([&] { sink = sink + ::summaryFloor(raw); }));
        summary.ms.push_back(timeMs([&] { main.showSummary(); }));
    }
    report("sort by expiry date", servers, sort, sortFloor);
    report("expiry summary", servers, summary, summaryFloor);

    // Search by IP from the full list; its floor is the same indexed query stepped by hand.
    auto *field = main.findChild<QComboBox *>(MainNames::searchField);
    auto *text = main.findChild<QLineEdit *>(MainNames::searchText);
    Times searchFloor, search;
    for (int i = 0; i < kPairs; ++i) {
        const QString ip = QStringLiteral("10.%1.%2.%3")
                               .arg((i * 7919 % servers) >> 16)
                               .arg(((i * 7919 % servers) >> 8) & 255)
                               .arg(i * 7919 % servers & 255);
        const QByteArray sql = "SELECT rowid, F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ FROM data WHERE F_IP='" +
                               ip.toUtf8() + "' ORDER BY rowid";
        searchFloor.ms.push_back(timeMs([&] { sink = sink + floorScan(raw, sql.constData()); }));
        main.showAllServers();
        search.ms.push_back(timeMs([&] {
            field->setCurrentIndex(1);
            text->setText(ip);
            main.search();
            readFirstScreen(list);
        }));
    }
    report("search by IP", servers, search, searchFloor);
    main.showAllServers();

    // Round trips through the windows (no floor: the figure to meet is absolute).
    Times add, modify, remove;
    for (int i = 0; i < kPairs; ++i) {
        add.ms.push_back(timeMs([&] {
            auto w = main.makeAddWindow();
            w->findChild<QComboBox *>(ServerFormNames::customer)->setCurrentIndex(1);
            w->findChild<QLineEdit *>(ServerFormNames::ip)->setText(QStringLiteral("192.0.2.%1").arg(i));
            w->findChild<QLineEdit *>(ServerFormNames::number)->setText(QStringLiteral("新增%1").arg(i));
            MessageBox::setNextAnswer(MsgAnswer::No);
            w->findChild<QPushButton *>(ServerFormNames::actionButton)->click();
        }));
        list->setSelectedRow(list->rowCount() - 1);
        modify.ms.push_back(timeMs([&] {
            main.modifySelectedServer();
            ServerEditWindow *w = main.editWindows().last();
            w->findChild<QLineEdit *>(ServerFormNames::number)->setText(QStringLiteral("改%1").arg(i));
            w->findChild<QPushButton *>(ServerFormNames::actionButton)->click();
            w->close();
        }));
        QCoreApplication::processEvents();
        list->setSelectedRow(list->rowCount() - 1);
        MessageBox::setNextAnswer(MsgAnswer::Ok);
        remove.ms.push_back(timeMs([&] { main.deleteSelectedServer(); }));
    }
    std::printf("add %d: median %.2f ms (min %.2f, max %.2f)\n", servers, add.median(), add.min(), add.max());
    std::printf("modify %d: median %.2f ms (min %.2f, max %.2f)\n", servers, modify.median(), modify.min(),
                modify.max());
    std::printf("delete %d: median %.2f ms (min %.2f, max %.2f)\n", servers, remove.median(), remove.min(),
                remove.max());
    // The status-bar summary each change is followed by, once the change is shown (logged in).
    LoginWindow *login = main.loginWindow();
    login->findChild<QLineEdit *>(LoginNames::accountEdit)->setText(kDefaultAdminAccount);
    login->findChild<QLineEdit *>(LoginNames::passwordEdit)->setText(kDefaultAdminPassword);
    login->findChild<QPushButton *>(LoginNames::loginButton)->click();
    Times withSummary;
    for (int i = 0; i < kPairs; ++i) {
        list->setSelectedRow(list->rowCount() - 1);
        withSummary.ms.push_back(timeMs([&] {
            main.modifySelectedServer();
            ServerEditWindow *w = main.editWindows().last();
            w->findChild<QComboBox *>(ServerFormNames::customer)->setCurrentIndex(1);
            w->findChild<QLineEdit *>(ServerFormNames::number)->setText(QStringLiteral("再改%1").arg(i));
            w->findChild<QPushButton *>(ServerFormNames::actionButton)->click();
            w->close();
            QCoreApplication::processEvents(); // the summary
        }));
    }
    std::printf("modify with the summary %d: median %.2f ms (min %.2f, max %.2f)\n", servers, withSummary.median(),
                withSummary.min(), withSummary.max());
    std::printf("peak memory %d: %ld MiB\n", servers, peakRssMiB());
    sqlite3_close(raw);
    (void)sink;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes << 100000;
    for (int servers : sizes)
        run(servers);
    return 0;
}
