// Times the server list on 100,000 servers against a raw SQLite scan of the same rows, and reports
// the peak resident memory of the process.
// Usage: QT_QPA_PLATFORM=offscreen bench_serverlist [SERVERS]
#include "core/appstate.h"
#include "core/schema.h"
#include "widgets/reportlist.h"
#include "login/loginwindow.h"
#include "login/loginwindow_names.h"
#include "mainwin/mainwindow.h"
#include "mainwin/mainwindow_names.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <sys/resource.h>
#include <vector>

namespace {
constexpr int kRuns = 5;

double medianMs(const std::function<void()> &work)
{
    work(); // warm-up: caches filled, first allocations made
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool fill(const QString &path, int servers)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO data (F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ) VALUES (?,?,?,?,?,?,?,?)",
                       -1, &insert, nullptr);
    const char *customers[] = {"华东数据", "北方云计算", "O'Neil 数据", "蓝海网络"};
    for (int i = 0; i < servers; ++i) {
        const QByteArray texts[8] = {
            customers[i % 4],
            QStringLiteral("S-%1").arg(i, 6, 10, QLatin1Char('0')).toUtf8(),
            QStringLiteral("10.%1.%2.%3").arg(i / 65536).arg((i / 256) % 256).arg(i % 256).toUtf8(),
            QStringLiteral("机柜-%1").arg(i % 400).toUtf8(),
            "2024-03-01",
            "2027-03-01",
            "",
            QStringLiteral("备注 %1").arg(i % 97).toUtf8(),
        };
        for (int c = 0; c < 8; ++c)
            sqlite3_bind_text(insert, c + 1, texts[c].constData(), int(texts[c].size()), SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    const bool ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// The floor: every row and every text column read with the sqlite3 C API, in stored order.
double rawScanMs(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    size_t bytes = 0;
    const double ms = medianMs([&] {
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT rowid, * FROM data ORDER BY rowid", -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 1; c < sqlite3_column_count(stmt); ++c) {
                const unsigned char *text = sqlite3_column_text(stmt, c);
                bytes += size_t(sqlite3_column_bytes(stmt, c)) + (text ? 1 : 0);
            }
        }
        sqlite3_finalize(stmt);
    });
    sqlite3_close(db);
    std::fprintf(stderr, "(raw scan read %zu bytes)\n", bytes);
    return ms;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int servers = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    QTemporaryDir tmp;
    const QString programDir = tmp.path();
    QDir().mkpath(programDir + QStringLiteral("/db"));
    const QString path = programDir + QStringLiteral("/db/kavrodb.mdb");
    QString error;
    if (!initRegisterDatabase(path, &error) || !fill(path, servers)) {
        std::fprintf(stderr, "cannot build the database: %s\n", qPrintable(error));
        return 1;
    }
    const long rssBefore = peakRssKb();

    const double raw = rawScanMs(path);
    MainWindow main(programDir);
    LoginWindow *login = main.loginWindow();
    login->findChild<QLineEdit *>(LoginNames::accountEdit)->setText(kDefaultAdminAccount);
    login->findChild<QLineEdit *>(LoginNames::passwordEdit)->setText(kDefaultAdminPassword);
    login->attemptLogin();
    app.processEvents();
    const double fillMs = medianMs([&] {
        main.fillServerList();
        app.processEvents();
    });
    const int listed = main.serverList()->rowCount();
    const double sqlMs = medianMs([&] {
        main.reloadServerListBySql();
        app.processEvents();
    });
    main.findChild<QComboBox *>(MainNames::searchField)->setCurrentIndex(1);
    main.findChild<QLineEdit *>(MainNames::searchText)->setText(QStringLiteral("10.1.2.3"));
    const double searchMs = medianMs([&] {
        main.search();
        app.processEvents();
    });
    const int found = main.serverList()->rowCount();
    main.showAllServers();
    app.processEvents();
    const long rssPeak = peakRssKb();

    std::printf("servers                      %d (listed %d, search found %d)\n", servers, listed, found);
    std::printf("raw SQLite scan (floor)      %8.1f ms\n", raw);
    std::printf("fillServerList               %8.1f ms   %.2f x the raw scan (bar: 2.00 x)\n", fillMs, fillMs / raw);
    std::printf("reloadServerListBySql        %8.1f ms   %.2f x the raw scan\n", sqlMs, sqlMs / raw);
    std::printf("search by IP                 %8.2f ms\n", searchMs);
    std::printf("peak resident memory         %8.1f MB (%.1f MB before the program's windows; bar: 150 MB)\n",
                double(rssPeak) / 1024.0, double(rssBefore) / 1024.0);
    std::printf("medians of %d runs each, after one warm-up run\n", kRuns);
    return 0;
}
