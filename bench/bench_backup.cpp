// Copying the register: kavro's backup (all at once, and at the program's daily pace) against the
// floor of copying every byte of the file and running integrity_check on the copy; and the effect of the program's
// daily copy on scrolling the list while it runs (each step: a page of rows not yet read, as a scroll shows it). Usage:
// QT_QPA_PLATFORM=offscreen bench_backup [SERVERS]   (default 1000000)
#include "benchdata.h"
#include "core/engine/schemaddl.h"
#include "core/fileops/backup.h"
#include "core/schema.h"
#include "mainwin/mainwindow.h"
#include "widgets/messagebox.h"
#include "widgets/reportlist.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <sqlite3.h>

namespace {
// The same work by hand: every byte of the file copied, then the copy's integrity_check.
void copyFloor(const QString &from, const QString &to)
{
    QFile in(from), out(to);
    in.open(QIODevice::ReadOnly);
    out.open(QIODevice::WriteOnly);
    QByteArray block(1 << 20, Qt::Uninitialized);
    qint64 n;
    while ((n = in.read(block.data(), block.size())) > 0)
        out.write(block.constData(), n);
    out.close();
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(to).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_exec(db, "PRAGMA integrity_check", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// Scroll steps, one every 16 ms as a user drags: each reads 30 rows at a place not read before.
Times scroll(ReportList *list, int steps, QRandomGenerator &random)
{
    Times t;
    for (int i = 0; i < steps; ++i) {
        QThread::msleep(16);
        const int top = random.bounded(std::max(1, list->rowCount() - 30));
        t.ms.push_back(timeMs([&] {
            for (int r = top; r < top + 30; ++r)
                for (int c = 0; c < 8; ++c)
                    (void)list->cellText(r, c);
        }));
    }
    return t;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int servers = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000000;
    QTemporaryDir tmp;
    QDir().mkpath(tmp.path() + "/db");
    const QString path = tmp.path() + "/db/kavrodb.mdb";
    QString error;
    if (!initRegisterDatabase(path, &error) || !fillRegister(path, servers))
        return 1;
    std::printf("register %d: %.0f MiB\n", servers, double(QFileInfo(path).size()) / 1048576.0);
    Times floor, whole, paced;
    for (int i = 0; i < 3; ++i) {
        QFile::remove(tmp.path() + "/floor.mdb");
        floor.ms.push_back(timeMs([&] { copyFloor(path, tmp.path() + "/floor.mdb"); }));
        const QString a = tmp.path() + QStringLiteral("/whole-%1.mdb").arg(i);
        RegisterCounts counts;
        Status done;
        whole.ms.push_back(timeMs([&] { done = backupRegister(path, a, &counts); }));
        mustHold(done.ok() && counts.servers == servers, QStringLiteral("the backup: %1").arg(done.reason));
        const QString b = tmp.path() + QStringLiteral("/paced-%1.mdb").arg(i);
        counts = {};
        paced.ms.push_back(timeMs([&] { done = backupRegister(path, b, &counts, BackupPace{256, 1, nullptr}); }));
        mustHold(done.ok() && counts.servers == servers, QStringLiteral("the paced backup: %1").arg(done.reason));
        QFile::remove(a);
        QFile::remove(b);
    }
    report("backup, checked", servers, whole, floor);
    report("backup at the daily pace, checked", servers, paced, floor);

    MessageBox::setScripted(true);
    MainWindow main(tmp.path());
    QCoreApplication::processEvents();
    ReportList *list = main.serverList();
    QRandomGenerator random(7);
    const Times quiet = scroll(list, 200, random);
    std::atomic_bool stop{false};
    bool made = false;
    Status daily;
    QThread *copying = QThread::create([&] {
        daily =
            dailyBackup(path, tmp.path() + "/db/backup", QDate::currentDate(), 14, &made, BackupPace{256, 1, &stop});
    });
    copying->start(QThread::LowPriority);
    Times busy;
    while (copying->isRunning() && busy.ms.size() < 2000) {
        const Times step = scroll(list, 1, random);
        busy.ms.push_back(step.ms.front());
    }
    copying->wait();
    delete copying;
    mustHold(daily.ok() && made, QStringLiteral("the daily copy: %1").arg(daily.reason));
    std::printf("scroll step %d, quiet: median %.3f ms (max %.3f)\n", servers, quiet.median(), quiet.max());
    std::printf("scroll step %d, during the daily copy: median %.3f ms (max %.3f, %zu steps)\n", servers, busy.median(),
                busy.max(), busy.ms.size());
    std::printf("scroll step %d during the copy: %.2f x quiet\n", servers, busy.median() / quiet.median());
    return 0;
}
