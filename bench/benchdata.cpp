#include "benchdata.h"

#include <QFile>

#include <QDate>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>
#include <sys/resource.h>

bool fillRegister(const QString &path, int servers)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO data (F_KH, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_BZ) VALUES (?,?,?,?,?,?,?,?)",
                       -1, &insert, nullptr);
    const QString family = QStringLiteral("华东北方蓝海云联数据网络科技信息通达创新智能");
    const QString remarkText = QStringLiteral("机房三层A区，双路电源，托管合同续签中；联系人手机已更新。"
                                              "备注：带宽100M独享，IP段已报备，客户要求每月巡检一次并发送报告。");
    QRandomGenerator random(2026);
    QStringList customers;
    for (int i = 0; i < 1000; ++i)
        customers << family.mid(i % 20, 2) + family.mid((i / 20) % 18, 3) + QStringLiteral("有限公司%1").arg(i);
    for (int i = 0; i < servers; ++i) {
        const QDate racked = QDate(2008, 1, 1).addDays(random.bounded(5000));
        QString remark;
        const int length = random.bounded(201);
        while (remark.size() < length)
            remark += remarkText;
        remark.truncate(length);
        const QByteArray texts[] = {
            customers[random.bounded(customers.size())].toUtf8(),
            QStringLiteral("SV-%1").arg(i, 7, 10, QLatin1Char('0')).toUtf8(),
            QStringLiteral("10.%1.%2.%3").arg(i >> 16).arg((i >> 8) & 255).arg(i & 255).toUtf8(),
            QStringLiteral("%1-%2").arg(QChar(u'A' + i % 26)).arg(i % 40 + 1).toUtf8(),
            racked.toString(Qt::ISODate).toUtf8(),
            racked.addYears(1 + random.bounded(3)).toString(Qt::ISODate).toUtf8(),
            QByteArray(),
            remark.toUtf8(),
        };
        for (int c = 0; c < 8; ++c)
            sqlite3_bind_text(insert, c + 1, texts[c].constData(), int(texts[c].size()), SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return true;
}

long peakRssMiB()
{
    // VmHWM belongs to this program's memory alone; getrusage's ru_maxrss survives exec, so a
    // process started by a large one would report its parent's size.
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong() / 1024;
    return -1;
}

double Times::median() const
{
    std::vector<double> t = ms;
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

double timeMs(const std::function<void()> &work)
{
    QElapsedTimer t;
    t.start();
    work();
    return double(t.nsecsElapsed()) / 1e6;
}

void mustHold(bool held, const QString &what)
{
    if (held)
        return;
    std::fprintf(stderr, "the timed work was not done: %s\n", qPrintable(what));
    std::exit(1);
}

void report(const char *what, int servers, const Times &t, const Times &floor)
{
    std::printf("%s %d: median %.2f ms (min %.2f, max %.2f)\n", what, servers, t.median(), t.min(), t.max());
    std::printf("%s %d: %.2f x floor\n", what, servers, t.median() / floor.median());
}
