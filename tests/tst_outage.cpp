// A desk on a shared register whose database server goes away for a while: it says so, stores
// nothing half-done, and works again once the server is back, without being restarted. Each case
// runs a cluster of its own (the other tests' cluster is never stopped).
#include "core/engine/engine.h"
#include "core/engine/schemaddl.h"
#include "core/registerdb.h"
#include "mainwin/mainwindow.h"
#include "mainwin/mainwindow_names.h"
#include "testsupport.h"
#include "widgets/messagebox.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {
const QString kScript = QStringLiteral(KAVRO_SOURCE_DIR "/scripts/pg-cluster.sh");

bool cluster(const QString &what, const QString &dir)
{
    QProcess p;
    p.start("bash", {kScript, what, dir});
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString statusText(MainWindow &main)
{
    return child<QStatusBar>(&main, MainNames::statusBar)->currentMessage();
}
} // namespace

class TstOutage : public QObject {
    Q_OBJECT
private slots:
    void init() { resetProgramState(); }
    void deskWorksAgainAfterTheServerReturns_data();
    void deskWorksAgainAfterTheServerReturns();
};

void TstOutage::deskWorksAgainAfterTheServerReturns_data()
{
    QTest::addColumn<int>("awaySeconds"); // how long the server is away; 0: restarted at once
    QTest::newRow("restarted as a new process") << 0;
    QTest::newRow("away for 2 s") << 2;
    QTest::newRow("away for 30 s") << 30;
}

void TstOutage::deskWorksAgainAfterTheServerReturns()
{
    QFETCH(int, awaySeconds);
    if (qEnvironmentVariableIsEmpty("KAVRO_TEST_PGHOST"))
        QSKIP("no PostgreSQL cluster in this run");
    // As root the cluster runs as postgres, which must reach the folder: /tmp.
    const QString dir =
        QStringLiteral("/tmp/kavro-outage-%1-%2").arg(QCoreApplication::applicationPid()).arg(awaySeconds);
    QVERIFY(cluster("start", dir));
    auto cleanup = qScopeGuard([&] { cluster("stop", dir); });
    QCOMPARE(TempRegister::tryAt(QStringLiteral("postgresql:///postgres?host=%1&user=kavro").arg(dir),
                                 {"CREATE DATABASE kavro"}),
             QList<bool>{true});
    const QString uri = QStringLiteral("postgresql:///kavro?host=%1&user=kavro").arg(dir);
    QString error;
    QVERIFY2(initRegisterDatabase(uri, &error), qPrintable(error));
    QTemporaryDir desk;
    QVERIFY(QDir().mkpath(desk.path() + "/db"));
    {
        QFile conn(desk.path() + "/db/kavrodb.conn");
        QVERIFY(conn.open(QIODevice::WriteOnly));
        conn.write(uri.toUtf8() + "\n");
    }
    MainWindow main(desk.path());
    waitForLists();
    logIn(main);
    QCOMPARE(listedIps(main), QStringList{});

    // The server goes away.
    QVERIFY(cluster("pause", dir));
    // The next step fails, stores nothing, and the window says it is connecting again.
    main.fillServerList();
    QTRY_COMPARE_WITH_TIMEOUT(statusText(main), QStringLiteral("正在重新连接数据库…"), 20000);
    if (awaySeconds > 0)
        QTest::qWait(awaySeconds * 1000); // the outage itself
    QVERIFY(cluster("resume", dir));
    // Back: the status clears by itself and every step works again.
    QTRY_VERIFY_WITH_TIMEOUT(statusText(main) != QStringLiteral("正在重新连接数据库…"), 30000);
    QVERIFY(main.fillServerList());
    RegisterDb other;
    QVERIFY(other.open(uri).ok());
    ServerRecord s;
    s.ip = "10.7.7.7";
    QVERIFY(other.addServer(s).ok());
    other.close();
    QTRY_COMPARE_WITH_TIMEOUT((main.fillServerList(), listedIps(main)), QStringList{"10.7.7.7"}, 20000);
}

QTEST_MAIN(TstOutage)
#include "tst_outage.moc"
