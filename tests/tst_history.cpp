// The change history: one entry for every change, in its transaction, signed with who made it;
// a deleted server restored; a role that may only read refused; the windows that show it.
#include "core/engine/engine.h"
#include "core/paths.h"
#include "core/registerdb.h"
#include "core/schema.h"
#include "history/historywindows.h"
#include "history/historywindows_names.h"
#include "mainwin/mainwindow.h"
#include "mainwin/mainwindow_names.h"
#include "settings/settingswindow.h"
#include "testsupport.h"
#include "widgets/messagebox.h"
#include "widgets/reportlist.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <map>
#include <sys/types.h>
#include <unistd.h>

namespace {
// What the history names this desk with: its account and host on a file, its role and host on a server.
QString thisDesk()
{
    return TempRegister::onServer() ? QStringLiteral("kavro@") + deskHost() : deskName();
}

// The texts of one changed field, "before|after", absent sides as "-".
QString sides(const HistoryEntry &e, const QString &field)
{
    for (const FieldChange &f : e.changes)
        if (f.field == field)
            return f.hidden ? QStringLiteral("hidden") : f.before.value_or("-") + '|' + f.after.value_or("-");
    return QStringLiteral("none");
}

std::vector<HistoryEntry> allEntries(RegisterDb &db)
{
    return db.history({}, {}, {}).value;
}

// The 已删除的服务器 window the main window opened: the one shown (one an earlier case closed may
// not have been deleted yet).
DeletedServersWindow *openDeletedWindow()
{
    DeletedServersWindow *shown = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *d = qobject_cast<DeletedServersWindow *>(w); d && d->isVisible())
            shown = d;
    return shown;
}

ServerRecord sampleServer()
{
    return {-1,
            QStringLiteral("甲公司"),
            QStringLiteral("A01"),
            QStringLiteral("10.0.0.1"),
            QStringLiteral("C1"),
            QStringLiteral("2025-01-01"),
            QStringLiteral("2026-01-01"),
            QString(),
            QStringLiteral("第一行\n第二行")};
}
} // namespace

class TstHistory : public QObject {
    Q_OBJECT
private slots:
    void init() { resetProgramState(); }
    void eachChangeGivesOneEntry_data();
    void eachChangeGivesOneEntry();
    void refusedChangeLeavesNoEntry();
    void otherProgramsChangesAreRecorded();
    void deletedServerComesBack();
    void readOnlyRoleIsRefused();
    void registerWithoutHistory();
    void killedWriterLeavesChangeAndEntryTogether_data();
    void killedWriterLeavesChangeAndEntryTogether();
    void viewWindowShowsTheServerAndItsHistory();
    void deletedServersWindowRestores();
    void severalRestoredTogether();
    void readOnlyDeskOffersNoEdits();
    void historyCannotBeForged_data();
    void historyCannotBeForged();
    void upgradeReplacesOlderHistoryFunctions();
    void readmeRoleStepsWorkAsWritten();
};

void TstHistory::eachChangeGivesOneEntry_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("texts");
    QTest::newRow("server added") << "add server"
                                  << "data"
                                  << "添加"
                                  << "10.0.0.9"
                                  << "F_BH"
                                  << "-|B02";
    QTest::newRow("server modified") << "modify server"
                                     << "data"
                                     << "修改"
                                     << "10.0.0.1"
                                     << "F_BZ"
                                     << "第一行\n第二行|改过的备注";
    QTest::newRow("server modified, cabinet emptied") << "empty cabinet"
                                                      << "data"
                                                      << "修改"
                                                      << "10.0.0.1"
                                                      << "F_JG"
                                                      << "C1|";
    QTest::newRow("server deleted") << "delete server"
                                    << "data"
                                    << "删除"
                                    << "10.0.0.1"
                                    << "F_JG"
                                    << "C1|-";
    QTest::newRow("customer added") << "add customer"
                                    << "kehu"
                                    << "添加"
                                    << "乙公司"
                                    << "K_LX"
                                    << "-|13800000000";
    QTest::newRow("customer renamed") << "rename customer"
                                      << "kehu"
                                      << "修改"
                                      << "默认客户"
                                      << "K_KH"
                                      << "默认客户|丙公司";
    QTest::newRow("customer deleted") << "delete customer"
                                      << "kehu"
                                      << "删除"
                                      << "默认客户"
                                      << "K_KH"
                                      << "默认客户|-";
    QTest::newRow("administrator: account and password") << "admin both"
                                                         << "admin"
                                                         << "修改"
                                                         << "admin"
                                                         << "U_ZH"
                                                         << "admin|boss";
    QTest::newRow("administrator: password only") << "admin password"
                                                  << "admin"
                                                  << "修改"
                                                  << "admin"
                                                  << "U_MM"
                                                  << "hidden";
}

void TstHistory::eachChangeGivesOneEntry()
{
    QFETCH(QString, change);
    QFETCH(QString, table);
    QFETCH(QString, action);
    QFETCH(QString, name);
    QFETCH(QString, field);
    QFETCH(QString, texts);
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    QVERIFY(db.hasHistory());
    const Read<qint64> first = db.addServer(sampleServer());
    QVERIFY(first.ok());
    const size_t before = allEntries(db).size();
    ServerRecord s = db.server(first.value).value;
    const ServerRecord asRead = s;
    const qint64 customer = db.customers().value.front().key;
    Status done;
    if (change == "add server") {
        ServerRecord other = sampleServer();
        other.number = "B02";
        other.ip = "10.0.0.9";
        done = db.addServer(other).status;
    } else if (change == "modify server") {
        s.remark = "改过的备注";
        done = db.updateServer(s, true, &asRead);
    } else if (change == "empty cabinet") {
        s.cabinet = "";
        done = db.updateServer(s, true, &asRead);
    } else if (change == "delete server") {
        done = db.deleteServer(first.value);
    } else if (change == "add customer") {
        done = db.addCustomer("乙公司", "13800000000");
    } else if (change == "rename customer") {
        done = db.changeCustomer(customer, "丙公司", "");
    } else if (change == "delete customer") {
        done = db.deleteCustomer(customer);
    } else if (change == "admin both") {
        done = db.changeAdministrator("boss", "s3cret-pass");
    } else if (change == "admin password") {
        done = db.changeAdministrator("admin", "s3cret-pass");
    }
    QVERIFY2(done.ok(), qPrintable(done.reason));
    const std::vector<HistoryEntry> entries = allEntries(db);
    QCOMPARE(entries.size(), before + 1);
    const HistoryEntry &e = entries.back();
    QCOMPARE(e.table, table);
    QCOMPARE(e.action, action);
    QCOMPARE(e.name, name);
    QCOMPARE(e.who, thisDesk());
    QCOMPARE(sides(e, field), texts);
    QVERIFY(QDateTime::fromString(e.when, Qt::ISODateWithMs).isValid());
    // Only what changed is kept for a modification; a password never.
    if (action == "修改" && table == "data")
        QCOMPARE(e.changes.size(), size_t(1));
    for (const QStringList &row : reg.rows("SELECT J_NR FROM jilu"))
        QVERIFY(!row[0].contains("s3cret"));
    if (table == "data" && action != "添加")
        QCOMPARE(e.record, first.value);
}

void TstHistory::refusedChangeLeavesNoEntry()
{
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    QVERIFY(db.addServer(sampleServer()).ok());
    const size_t before = allEntries(db).size();
    // The database refuses after the row and its entry were written: both go.
    QVERIFY(reg.refuse("AFTER INSERT ON data"));
    ServerRecord other = sampleServer();
    other.ip = "10.0.0.7";
    QVERIFY(!db.addServer(other).ok());
    QVERIFY(reg.dropRefusal("data"));
    QVERIFY(reg.refuse("AFTER UPDATE ON data"));
    ServerRecord s = db.server(db.serverKeys(ServerQuery::all()).value[0]).value;
    const ServerRecord asRead = s;
    s.remark = "不会保存";
    QVERIFY(!db.updateServer(s, true, &asRead).ok());
    QCOMPARE(allEntries(db).size(), before);
    QCOMPARE(reg.count("data"), 1);
    // A save that finds the server changed meanwhile writes nothing, and records nothing.
    QVERIFY(reg.dropRefusal("data"));
    ServerRecord stale = asRead;
    stale.remark = "别人先改了";
    QVERIFY(reg.exec("UPDATE data SET F_JG = 'C9'"));
    QCOMPARE(db.updateServer(stale, true, &asRead).fault, Fault::Changed);
    QCOMPARE(allEntries(db).size(), before + 1); // the other program's change only
}

void TstHistory::otherProgramsChangesAreRecorded()
{
    TempRegister reg;
    QVERIFY(reg.exec("INSERT INTO data (F_KH, F_BH, F_IP) VALUES ('甲公司', 'A1', '10.1.1.1')"));
    QVERIFY(reg.exec("UPDATE data SET F_BZ = '从别处改的' WHERE F_IP = '10.1.1.1'"));
    QVERIFY(reg.exec("UPDATE data SET F_BZ = '从别处改的' WHERE F_IP = '10.1.1.1'")); // no change: no entry
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    const std::vector<HistoryEntry> entries = allEntries(db);
    QCOMPARE(entries.size(), size_t(2));
    const QString other = TempRegister::onServer() ? QStringLiteral("kavro") : QStringLiteral("(其他程序)");
    QCOMPARE(entries[0].who, other);
    QCOMPARE(entries[1].who, other);
    QCOMPARE(sides(entries[1], "F_BZ"), QStringLiteral("-|从别处改的"));
    // This desk's change right after is its own.
    const qint64 key = db.serverKeys(ServerQuery::all()).value[0];
    QVERIFY(db.deleteServer(key).ok());
    QCOMPARE(allEntries(db).back().who, thisDesk());
    QCOMPARE(allEntries(db)[1].who, other);
}

void TstHistory::deletedServerComesBack()
{
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    const ServerRecord original = sampleServer();
    const qint64 key = db.addServer(original).value;
    QVERIFY(db.deleteServer(key).ok());
    Read<std::vector<HistoryEntry>> deleted = db.deletedServers();
    QVERIFY(deleted.ok());
    QCOMPARE(deleted.value.size(), size_t(1));
    const Read<qint64> restored = db.restoreServer(deleted.value[0]);
    QVERIFY2(restored.ok(), qPrintable(restored.status.reason));
    ServerRecord back = db.server(restored.value).value;
    back.key = -1;
    QCOMPARE(back, original);
    QCOMPARE(allEntries(db).back().action, QStringLiteral("恢复"));
    QCOMPARE(allEntries(db).back().who, thisDesk());
    QVERIFY(db.deletedServers().value.empty()); // restored: no longer listed
    // Deleted again, and its IP taken meanwhile: refused, nothing stored.
    QVERIFY(db.deleteServer(restored.value).ok());
    ServerRecord other = sampleServer();
    other.number = "Z9";
    QVERIFY(db.addServer(other).ok());
    deleted = db.deletedServers();
    QCOMPARE(deleted.value.size(), size_t(1));
    QCOMPARE(db.restoreServer(deleted.value[0]).status.fault, Fault::Duplicate);
    QCOMPARE(reg.count("data"), 1);
}

void TstHistory::readOnlyRoleIsRefused()
{
    if (!TempRegister::onServer())
        QSKIP("roles are a database server's");
    TempRegister reg;
    RegisterDb owner;
    QVERIFY(owner.open(reg.dbPath()).ok());
    const qint64 key = owner.addServer(sampleServer()).value;
    QVERIFY(reg.exec("DO $$BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'kavro_reader') THEN "
                     "CREATE ROLE kavro_reader LOGIN; END IF; END$$"));
    QVERIFY(reg.exec("GRANT SELECT ON data, kehu, admin TO kavro_reader"));
    const QString readerUri = QString(reg.dbPath()).replace("user=kavro", "user=kavro_reader");
    RegisterDb reader;
    const Status opened = reader.open(readerUri);
    QVERIFY2(opened.ok(), qPrintable(opened.reason));
    const size_t entries = allEntries(owner).size();
    ServerRecord s = reader.server(key).value;
    const ServerRecord asRead = s;
    s.remark = "只读";
    QCOMPARE(reader.updateServer(s, true, &asRead).fault, Fault::Denied);
    QCOMPARE(reader.addServer(sampleServer()).status.fault, Fault::Denied);
    QCOMPARE(reader.deleteServer(key).fault, Fault::Denied);
    QCOMPARE(reader.addCustomer("只读客户", "").fault, Fault::Denied);
    QCOMPARE(reader.changeAdministrator("x", "y").fault, Fault::Denied);
    QCOMPARE(allEntries(owner).size(), entries);
    QCOMPARE(owner.server(key).value.remark, sampleServer().remark);
    // The history itself is not granted: its reads say so, they do not come back empty.
    QCOMPARE(reader.serverHistory(key).status.fault, Fault::Denied);
    QCOMPARE(reader.deletedServers().status.fault, Fault::Denied);
    // The windows say it in words.
    MessageBox::setScripted(true);
    MessageBox::showWriteFailure(Fault::Denied, nullptr);
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("您没有修改数据的权限！"));
    QCOMPARE(MessageBox::shown().last().style, MsgStyle::Warning);
    ServerViewWindow view(reader, reader.server(key).value);
    QCOMPARE(view.findChild<QLabel *>(HistoryNames::note)->text(), QStringLiteral("您没有查看修改记录的权限！"));
    reader.close();
    QVERIFY(reg.exec("REVOKE ALL ON data, kehu, admin FROM kavro_reader"));

    // A person's own role with the rights the README gives (none on the history itself): the
    // history is written all the same, and names that role.
    QVERIFY(reg.exec("DO $$BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'kavro_wang') THEN "
                     "CREATE ROLE kavro_wang LOGIN; END IF; END$$"));
    QVERIFY(reg.exec("GRANT SELECT, INSERT, UPDATE, DELETE ON data, kehu, admin TO kavro_wang"));
    RegisterDb wang;
    QVERIFY(wang.open(QString(reg.dbPath()).replace("user=kavro", "user=kavro_wang")).ok());
    ServerRecord mine = sampleServer();
    mine.ip = "10.9.9.9";
    QVERIFY(wang.addServer(mine).ok());
    QVERIFY(wang.addCustomer("王的客户", "").ok());
    const std::vector<HistoryEntry> after = allEntries(owner);
    QCOMPARE(after.size(), entries + 2);
    QCOMPARE(after.back().who, QStringLiteral("kavro_wang@") + deskHost());
    wang.close();
    owner.close();
    QVERIFY(reg.exec("REVOKE ALL ON data, kehu, admin FROM kavro_wang"));
}

void TstHistory::registerWithoutHistory()
{
    TempRegister reg;
    if (TempRegister::onServer()) {
        for (const char *t : {"data", "kehu", "admin"})
            QVERIFY(reg.exec(QStringLiteral("DROP TRIGGER %1_jilu ON %1").arg(t)));
        QVERIFY(reg.exec("DROP TABLE jilu"));
    } else {
        for (const char *t : {"data", "kehu", "admin"})
            for (const char *w : {"insert", "update", "delete"})
                QVERIFY(reg.exec(QStringLiteral("DROP TRIGGER %1_jilu_%2").arg(t, w)));
        QVERIFY(reg.exec("DROP TABLE jilu"));
    }
    {
        RegisterDb db;
        QVERIFY(db.open(reg.dbPath()).ok());
        QVERIFY(!db.hasHistory());
        // Everything works as before.
        const qint64 key = db.addServer(sampleServer()).value;
        QVERIFY(key > 0);
        ServerViewWindow view(db, db.server(key).value);
        QCOMPARE(view.findChild<QLabel *>(HistoryNames::note)->text(),
                 QStringLiteral("此数据库没有修改记录，请用 kavro-db upgrade 升级"));
        QVERIFY(db.deleteServer(key).ok());
    }
    // kavro-db upgrade adds it, while a program has the register open; from then on changes are
    // recorded, and that program's are signed with its desk.
    RegisterDb open;
    QVERIFY(open.open(reg.dbPath()).ok());
    QProcess p;
    p.start(QStringLiteral(KAVRO_BINARY_DIR "/kavro-db"), {"upgrade", reg.dbPath()});
    QVERIFY(p.waitForFinished(60000));
    const QString said = QString::fromUtf8(p.readAllStandardOutput());
    QCOMPARE(p.exitCode(), 0);
    QVERIFY2(said.contains("jilu"), qPrintable(said));
    ServerRecord early = sampleServer();
    early.ip = "10.0.0.2";
    QVERIFY(open.addServer(early).ok());
    QCOMPARE(allEntries(open).size(), size_t(1));
    QCOMPARE(allEntries(open).back().who, thisDesk());
    QVERIFY(open.deleteServer(open.serverKeys(ServerQuery::all()).value.back()).ok());
    QVERIFY(reg.exec("DELETE FROM jilu"));
    open.close();
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    QVERIFY(db.hasHistory());
    QVERIFY(db.addServer(sampleServer()).ok());
    QCOMPARE(allEntries(db).size(), size_t(1));
    // kavro-db history lists it, tab-separated when not a terminal.
    p.start(QStringLiteral(KAVRO_BINARY_DIR "/kavro-db"), {"history", reg.dbPath(), "--ip", "10.0.0.1"});
    QVERIFY(p.waitForFinished(60000));
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith(QStringLiteral("时间\t修改人")));
    QVERIFY2(lines[1].contains(QStringLiteral("\t添加\t")) && lines[1].contains(thisDesk()), qPrintable(lines[1]));
}

void TstHistory::killedWriterLeavesChangeAndEntryTogether_data()
{
    QTest::addColumn<int>("afterMs");
    for (int ms : {30, 120, 300, 700})
        QTest::addRow("killed after %d ms", ms) << ms;
}

void TstHistory::killedWriterLeavesChangeAndEntryTogether()
{
    QFETCH(int, afterMs);
    TempRegister reg;
    // This test program again, as a writer that adds, modifies and deletes until it is killed.
    QProcess writer;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KAVRO_HISTORY_WRITER"), reg.dbPath());
    writer.setProcessEnvironment(env);
    writer.start(QCoreApplication::applicationFilePath(), {});
    // It says when its first change is committed; however loaded the machine, the kill comes after.
    QVERIFY(writer.waitForReadyRead(60000));
    QTest::qWait(afterMs);
    ::kill(pid_t(writer.processId()), SIGKILL);
    writer.waitForFinished(10000);
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    const std::vector<HistoryEntry> entries = allEntries(db);
    const std::vector<qint64> keys = db.serverKeys(ServerQuery::all()).value;
    QVERIFY(!entries.empty());
    std::map<qint64, QStringList> actions;
    for (const HistoryEntry &e : entries) {
        QCOMPARE(e.who, thisDesk()); // signed in the transaction of the change, never left unsigned
        if (e.table == "data")
            actions[e.record] << e.action;
    }
    for (qint64 key : keys) {
        // Every stored server has its addition, and a modification for each change of its remark.
        QVERIFY(actions[key].startsWith(QStringLiteral("添加")));
        const int changes = db.server(key).value.remark.count(QLatin1Char('+'));
        QCOMPARE(int(actions[key].count(QStringLiteral("修改"))), changes);
        QVERIFY(!actions[key].contains(QStringLiteral("删除")));
    }
    // Every deletion entry is of a server no longer stored.
    for (const auto &[key, list] : actions)
        if (list.contains(QStringLiteral("删除")))
            QVERIFY(!std::binary_search(keys.begin(), keys.end(), key));
}

void TstHistory::viewWindowShowsTheServerAndItsHistory()
{
    TempRegister reg;
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    const qint64 key = db.addServer(sampleServer()).value;
    ServerRecord s = db.server(key).value;
    const ServerRecord asRead = s;
    s.remark = "迁到三楼";
    QVERIFY(db.updateServer(s, true, &asRead).ok());
    db.close();
    MainWindow main(reg.programDir());
    waitForLists();
    logIn(main);
    selectRowShowing(main, "10.0.0.1");
    for (QAction *a : main.findChild<QMenu *>(MainNames::menu)->actions())
        if (a->text() == QStringLiteral("查看数据"))
            a->trigger();
    ServerViewWindow *view = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *v = qobject_cast<ServerViewWindow *>(w))
            view = v;
    QVERIFY(view);
    QCOMPARE(view->windowTitle(), QStringLiteral("查看数据"));
    QStringList texts;
    for (QLineEdit *box : view->findChildren<QLineEdit *>()) {
        QVERIFY(box->isReadOnly());
        texts << box->text();
    }
    QCOMPARE(texts, (QStringList{"A01", "10.0.0.1", "C1", "甲公司", "2025-01-01", "2026-01-01", ""}));
    auto *list = view->findChild<QTableWidget *>(HistoryNames::entries);
    QCOMPARE(list->rowCount(), 2);
    QCOMPARE(list->item(0, 2)->text(), QStringLiteral("修改")); // newest first
    QCOMPARE(list->item(0, 3)->text(), QStringLiteral("备注：第一行\n第二行 → 迁到三楼"));
    QCOMPARE(list->item(1, 2)->text(), QStringLiteral("添加"));
    QCOMPARE(list->item(0, 1)->text(), thisDesk());
    view->close();
}

void TstHistory::deletedServersWindowRestores()
{
    TempRegister reg;
    {
        RegisterDb db;
        QVERIFY(db.open(reg.dbPath()).ok());
        const qint64 key = db.addServer(sampleServer()).value;
        QVERIFY(db.deleteServer(key).ok());
    }
    MainWindow main(reg.programDir());
    waitForLists();
    logIn(main);
    QCOMPARE(listedIps(main), QStringList{});
    QAction *item = nullptr;
    const QList<QAction *> actions = main.findChild<QMenu *>(MainNames::menu)->actions();
    for (int i = 0; i < actions.size(); ++i)
        if (actions[i]->text() == QStringLiteral("已删除的服务器…")) {
            item = actions[i];
            QCOMPARE(actions[i - 2]->text(), QStringLiteral("导出列表…")); // after it and 导入表格…
        }
    QVERIFY(item);
    item->trigger();
    DeletedServersWindow *window = openDeletedWindow();
    QVERIFY(window);
    auto *list = window->findChild<QTableWidget *>(HistoryNames::deletedList);
    QCOMPARE(list->rowCount(), 1);
    QCOMPARE(list->item(0, 3)->text(), QStringLiteral("10.0.0.1"));
    MessageBox::setNextAnswer(MsgAnswer::Ok);
    window->findChild<QPushButton *>(HistoryNames::restoreButton)->click();
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("服务器数据已恢复！"));
    QCOMPARE(listedIps(main), QStringList{"10.0.0.1"});
    QCOMPARE(list->rowCount(), 0);
    window->close();
}

void TstHistory::severalRestoredTogether()
{
    TempRegister reg;
    std::vector<qint64> keys;
    {
        RegisterDb db;
        QVERIFY(db.open(reg.dbPath()).ok());
        for (int i = 1; i <= 6; ++i) {
            ServerRecord s = sampleServer();
            s.ip = QStringLiteral("10.0.0.%1").arg(i);
            keys.push_back(db.addServer(s).value);
        }
        // One action deletes three; then two are deleted one at a time, right after it.
        QVERIFY(db.deleteServers({keys[0], keys[1], keys[2]}).ok());
        QVERIFY(db.deleteServer(keys[3]).ok());
        QVERIFY(db.deleteServer(keys[4]).ok());
        const std::vector<HistoryEntry> deleted = db.deletedServers().value;
        QCOMPARE(deleted.size(), size_t(5));
        QCOMPARE(deletionGroups(deleted), (std::vector<std::vector<size_t>>{{0}, {1}, {2, 3, 4}}));
    }
    MainWindow main(reg.programDir());
    waitForLists();
    logIn(main);
    main.openDeletedServers();
    DeletedServersWindow *window = openDeletedWindow();
    QVERIFY(window);
    auto *list = window->findChild<QTableWidget *>(HistoryNames::deletedList);
    auto *group = window->findChild<QPushButton *>(HistoryNames::groupButton);
    auto *restore = window->findChild<QPushButton *>(HistoryNames::restoreButton);
    QVERIFY(group->isHidden()); // the newest deletion was alone
    list->setCurrentCell(3, 0);
    QVERIFY(!group->isHidden());
    QCOMPARE(group->text(), QStringLiteral("同一次删除的 3 台"));
    group->click();
    QCOMPARE(list->selectionModel()->selectedRows().size(), 3);
    // Another desk stores one of their IPs meanwhile: none of the three comes back, the IP named.
    QVERIFY(reg.exec("INSERT INTO data (F_IP) VALUES ('10.0.0.2')"));
    restore->click();
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("服务器IP 10.0.0.2 已经存在，没有恢复任何服务器！"));
    QCOMPARE(reg.count("data"), 2);
    QVERIFY(reg.exec("UPDATE data SET F_IP = '10.0.9.9' WHERE F_IP = '10.0.0.2'"));
    restore->click();
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("已恢复 3 台服务器。"));
    QCOMPARE(listedIps(main), (QStringList{"10.0.0.6", "10.0.0.1", "10.0.0.2", "10.0.0.3"}));
    QCOMPARE(reg.rows("SELECT J_MC FROM jilu WHERE J_CZ = '恢复' ORDER BY J_ID"),
             (QList<QStringList>{{"10.0.0.1"}, {"10.0.0.2"}, {"10.0.0.3"}}));
    // The rest, chosen with Ctrl+A.
    QCOMPARE(list->rowCount(), 2);
    list->selectAll();
    restore->click();
    QCOMPARE(MessageBox::shown().last().text, QStringLiteral("已恢复 2 台服务器。"));
    QCOMPARE(reg.count("data"), 7);
    QCOMPARE(list->rowCount(), 0);
    window->close();
}

void TstHistory::readOnlyDeskOffersNoEdits()
{
    TempRegister reg;
    {
        RegisterDb owner;
        QVERIFY(owner.open(reg.dbPath()).ok());
        const qint64 key = owner.addServer(sampleServer()).value;
        QVERIFY(owner.deleteServer(key).ok());
        QVERIFY(owner.addServer(sampleServer()).ok());
    }
    // A desk that may only read: a role with SELECT alone, or a file and folder it cannot write.
    QTemporaryDir desk;
    QVERIFY(QDir().mkpath(desk.path() + "/db"));
    QString location = reg.dbPath();
    if (TempRegister::onServer()) {
        QVERIFY(reg.exec("DO $$BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'kavro_reader') THEN "
                         "CREATE ROLE kavro_reader LOGIN; END IF; END$$"));
        QVERIFY(reg.exec("GRANT SELECT ON data, kehu, admin, jilu TO kavro_reader"));
        location = QString(reg.dbPath()).replace("user=kavro", "user=kavro_reader");
    } else {
        if (::geteuid() == 0)
            QSKIP("root may write any file");
        QFile::setPermissions(reg.dbPath(), QFile::ReadOwner);
        QFile::setPermissions(QFileInfo(reg.dbPath()).absolutePath(), QFile::ReadOwner | QFile::ExeOwner);
    }
    {
        QFile conn(desk.path() + "/db/kavrodb.conn");
        QVERIFY(conn.open(QIODevice::WriteOnly));
        conn.write(location.toUtf8() + "\n");
    }
    {
        MainWindow main(desk.path());
        waitForLists();
        logIn(main);
        QVERIFY(main.isReadOnly());
        auto *label = main.findChild<QLabel *>(MainNames::readOnlyLabel);
        QVERIFY(label && label->isVisible());
        QCOMPARE(label->text(), QStringLiteral("只读"));
        QVERIFY(!main.findChild<QPushButton *>(MainNames::addButton)->isEnabled());
        QStringList enabled;
        for (QAction *a : main.listMenu()->actions())
            if (!a->isSeparator() && a->isEnabled())
                enabled << a->text();
        QCOMPARE(enabled, (QStringList{"查看数据", "关于澜汀", "导出列表…", "已删除的服务器…"}));
        auto settings = main.makeSettingsWindow();
        for (QPushButton *b : settings->findChildren<QPushButton *>())
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        main.openDeletedServers();
        DeletedServersWindow *window = openDeletedWindow();
        QVERIFY(window);
        QCOMPARE(window->findChild<QTableWidget *>(HistoryNames::deletedList)->rowCount(), 1);
        QVERIFY(!window->findChild<QPushButton *>(HistoryNames::restoreButton)->isEnabled());
        window->close();
    }
    if (TempRegister::onServer()) {
        QVERIFY(reg.exec("REVOKE ALL ON data, kehu, admin, jilu FROM kavro_reader"));
    } else {
        QFile::setPermissions(QFileInfo(reg.dbPath()).absolutePath(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(reg.dbPath(), QFile::ReadOwner | QFile::WriteOwner);
    }
    // The owner's desk: everything offered, no 只读.
    QFile::remove(desk.path() + "/db/kavrodb.conn");
    QFile conn(desk.path() + "/db/kavrodb.conn");
    QVERIFY(conn.open(QIODevice::WriteOnly));
    conn.write(reg.dbPath().toUtf8() + "\n");
    conn.close();
    MainWindow main(desk.path());
    waitForLists();
    logIn(main);
    QVERIFY(!main.isReadOnly());
    QVERIFY(main.findChild<QPushButton *>(MainNames::addButton)->isEnabled());
    QVERIFY(!main.findChild<QLabel *>(MainNames::readOnlyLabel));
}

void TstHistory::historyCannotBeForged_data()
{
    QTest::addColumn<QString>("role");        // kavro_writer changes the servers; kavro_reader may only read
    QTest::addColumn<bool>("publicWritable"); // GRANT CREATE ON SCHEMA public TO PUBLIC
    for (const char *role : {"kavro_writer", "kavro_reader"})
        for (bool open : {false, true})
            QTest::addRow("%s, public %s", role, open ? "writable by all" : "as PostgreSQL 15 makes it")
                << QString::fromLatin1(role) << open;
}

void TstHistory::historyCannotBeForged()
{
    QFETCH(QString, role);
    QFETCH(bool, publicWritable);
    if (!TempRegister::onServer())
        QSKIP("roles are a database server's");
    TempRegister reg;
    QVERIFY(reg.exec("DO $$BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'kavro_writer') THEN "
                     "CREATE ROLE kavro_writer LOGIN; END IF; IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE "
                     "rolname = 'kavro_reader') THEN CREATE ROLE kavro_reader LOGIN; END IF; END$$"));
    QVERIFY(reg.exec("GRANT SELECT, INSERT, UPDATE, DELETE ON data, kehu, admin TO kavro_writer"));
    QVERIFY(reg.exec("GRANT SELECT ON data, kehu, admin TO kavro_reader"));
    if (publicWritable)
        QVERIFY(reg.exec("GRANT CREATE ON SCHEMA public TO PUBLIC"));
    RegisterDb owner;
    QVERIFY(owner.open(reg.dbPath()).ok());
    const qint64 key = owner.addServer(sampleServer()).value;
    ServerRecord other = sampleServer();
    other.ip = "10.0.0.2";
    const qint64 otherKey = owner.addServer(other).value;
    const QString uri = QString(reg.dbPath()).replace("user=kavro", "user=" + role);
    const bool writer = role == "kavro_writer";
    const size_t before = allEntries(owner).size();

    // The kind of a change comes from the change: a deletion named 恢复 is still a deletion.
    const QList<bool> deleted = TempRegister::tryAt(
        uri,
        {"BEGIN", "SET LOCAL kavro.action = '恢复'", QStringLiteral("DELETE FROM data WHERE F_ID = %1").arg(otherKey),
         QStringLiteral("SELECT kavro_mark_restored(ARRAY[%1]::bigint[])").arg(otherKey), "COMMIT"});
    QCOMPARE(deleted[2], writer);
    std::vector<HistoryEntry> entries = allEntries(owner);
    QCOMPARE(entries.size(), before + (writer ? 1 : 0));
    if (writer) {
        QCOMPARE(entries.back().action, QStringLiteral("删除"));
        QCOMPARE(owner.deletedServers().value.size(), size_t(1)); // listed, to be restored
    }

    // A table of one's own named data, with the history's trigger on it: refused, nothing written.
    const QList<bool> planted = TempRegister::tryAt(
        uri,
        {"CREATE TEMP TABLE data (F_ID bigint, F_KH text, F_BH text, F_IP text, F_JG text, F_SJ text, F_DQ text, "
         "F_XJ text, F_BZ text)",
         "CREATE TRIGGER forged AFTER INSERT ON pg_temp.data FOR EACH ROW EXECUTE FUNCTION public.kavro_jilu_data()",
         "INSERT INTO pg_temp.data (F_ID, F_IP) VALUES (999999, '6.6.6.6')"});
    QVERIFY(!planted[1]);
    QCOMPARE(allEntries(owner).size(), entries.size());

    // Code planted where the owner's functions might find it: it never runs as the owner.
    const QList<bool> shadows = TempRegister::tryAt(
        uri,
        {"CREATE FUNCTION public.jsonb_build_array(text, text) RETURNS jsonb LANGUAGE sql AS "
         "'SELECT ''[\"forged\"]''::jsonb'",
         "CREATE FUNCTION public.kavro_forged_cat(name, text) RETURNS text LANGUAGE sql AS 'SELECT ''forged''::text'",
         "CREATE OPERATOR public.|| (LEFTARG = name, RIGHTARG = text, FUNCTION = public.kavro_forged_cat)"});
    QCOMPARE(shadows[0], publicWritable);
    ServerRecord s = owner.server(key).value;
    const ServerRecord asRead = s;
    s.remark = QStringLiteral("改过");
    QVERIFY(owner.updateServer(s, true, &asRead).ok());
    entries = allEntries(owner);
    const HistoryEntry &change = entries.back();
    QCOMPARE(change.action, QStringLiteral("修改"));
    QCOMPARE(change.who, QStringLiteral("kavro@") + deskHost());
    QCOMPARE(sides(change, "F_BZ"), sampleServer().remark + QStringLiteral("|改过"));

    // kavro-db check warns of a schema others can create objects in.
    QProcess p;
    p.start(QStringLiteral(KAVRO_BINARY_DIR "/kavro-db"), {"check", reg.dbPath()});
    QVERIFY(p.waitForFinished(60000));
    const QString said = QString::fromUtf8(p.readAllStandardOutput());
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(said.contains(QStringLiteral("can create objects in schema public")), publicWritable);

    owner.close();
    TempRegister::tryAt(reg.dbPath(), {"DROP OPERATOR IF EXISTS public.|| (name, text)",
                                       "DROP FUNCTION IF EXISTS public.kavro_forged_cat(name, text)",
                                       "DROP FUNCTION IF EXISTS public.jsonb_build_array(text, text)",
                                       "REVOKE CREATE ON SCHEMA public FROM PUBLIC",
                                       "REVOKE ALL ON data, kehu, admin FROM kavro_writer, kavro_reader"});
}

void TstHistory::upgradeReplacesOlderHistoryFunctions()
{
    if (!TempRegister::onServer())
        QSKIP("the functions are a database server's");
    TempRegister reg;
    // As an earlier version left it: no marking function, the trigger functions open to all.
    QVERIFY(reg.exec("DROP FUNCTION kavro_mark_restored(bigint[])"));
    QVERIFY(reg.exec("GRANT EXECUTE ON FUNCTION kavro_jilu_data() TO PUBLIC"));
    auto run = [&](const QString &command) {
        QProcess p;
        p.start(QStringLiteral(KAVRO_BINARY_DIR "/kavro-db"), {command, reg.dbPath()});
        p.waitForFinished(60000);
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    QVERIFY(run("check").contains("of an earlier version"));
    const QString upgraded = run("upgrade");
    QVERIFY2(upgraded.contains("made safe"), qPrintable(upgraded));
    QVERIFY2(!run("check").contains("earlier version"), "still said after the upgrade");
    QVERIFY(run("upgrade").contains("nothing was changed"));
    QCOMPARE(reg.rows("SELECT has_function_privilege('public', 'kavro_jilu_data()', 'EXECUTE')::text"),
             QList<QStringList>{{"false"}});
    // A restore through the program is one again.
    RegisterDb db;
    QVERIFY(db.open(reg.dbPath()).ok());
    const qint64 key = db.addServer(sampleServer()).value;
    QVERIFY(db.deleteServer(key).ok());
    QVERIFY(db.restoreServer(db.deletedServers().value.front()).ok());
    QCOMPARE(allEntries(db).back().action, QStringLiteral("恢复"));
    QVERIFY(db.deletedServers().value.empty());
}

namespace {
// The SQL of the README's shell block whose comment begins with marker (a here-document).
QStringList readmeStatements(const QString &marker)
{
    QFile readme(QStringLiteral(KAVRO_SOURCE_DIR "/README.md"));
    if (!readme.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(readme.readAll());
    const qsizetype at = text.indexOf(marker);
    const qsizetype start = text.indexOf(QLatin1String("<<'SQL'\n"), at);
    const qsizetype end = text.indexOf(QLatin1String("\n  SQL\n"), start);
    if (at < 0 || start < 0 || end < 0)
        return {};
    QStringList statements;
    for (QString line : text.mid(start + 8, end - start - 8).split(QLatin1Char('\n'))) {
        line = line.section(QLatin1String("--"), 0, 0).trimmed();
        if (!line.isEmpty())
            statements << line.chopped(line.endsWith(QLatin1Char(';')) ? 1 : 0);
    }
    return statements;
}
} // namespace

void TstHistory::readmeRoleStepsWorkAsWritten()
{
    if (!TempRegister::onServer())
        QSKIP("roles are a database server's");
    // A database owned by a role that may not make roles, as the README's set-up makes it.
    const QString host = qEnvironmentVariable("KAVRO_TEST_PGHOST");
    const QString super = QStringLiteral("postgresql:///postgres?host=%1&user=kavro").arg(host);
    const QString db = QStringLiteral("kavro_readme_%1").arg(QCoreApplication::applicationPid());
    TempRegister::tryAt(
        super, {"DO $$BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'kavro_ops') THEN "
                "CREATE ROLE kavro_ops LOGIN; END IF; END$$",
                QStringLiteral("CREATE DATABASE %1 OWNER kavro_ops TEMPLATE template0 ENCODING 'UTF8'").arg(db)});
    const QString owner = QStringLiteral("postgresql:///%1?host=%2&user=kavro_ops").arg(db, host);
    QProcess init;
    init.start(QStringLiteral(KAVRO_BINARY_DIR "/kavro-db"), {"init", owner});
    QVERIFY(init.waitForFinished(60000));
    QCOMPARE(init.exitCode(), 0);
    const QStringList roles = readmeStatements(QStringLiteral("# 1. as a PostgreSQL superuser"));
    const QStringList grants = readmeStatements(QStringLiteral("# 2. as the database's owner"));
    QCOMPARE(roles.size(), 2);
    QCOMPARE(grants.size(), 3);
    // The roles are the cluster's: made once for every run of the suite.
    QStringList missing;
    for (const QString &r : roles) {
        const QString name = r.section(QLatin1Char(' '), 2, 2);
        missing << QStringLiteral(
                       "DO $$BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '%1') THEN %2; END IF; END$$")
                       .arg(name, r);
    }
    QCOMPARE(TempRegister::tryAt(super, missing), QList<bool>(missing.size(), true));
    // The owner may not make them (the step the README once gave it), and grants as written.
    QCOMPARE(TempRegister::tryAt(owner, {"CREATE ROLE kavro_nobody LOGIN"}), QList<bool>{false});
    QCOMPARE(TempRegister::tryAt(owner, grants), QList<bool>(grants.size(), true));
    // wang changes servers and is named in the history; auditor only looks.
    RegisterDb wang;
    QVERIFY(wang.open(QString(owner).replace("user=kavro_ops", "user=wang")).ok());
    QVERIFY(wang.isWritable());
    QVERIFY(wang.addServer(sampleServer()).ok());
    QCOMPARE(allEntries(wang).back().who, QStringLiteral("wang@") + deskHost());
    wang.close();
    RegisterDb auditor;
    QVERIFY(auditor.open(QString(owner).replace("user=kavro_ops", "user=auditor")).ok());
    QVERIFY(!auditor.isWritable());
    QCOMPARE(auditor.addServer(sampleServer()).status.fault, Fault::Denied);
    QCOMPARE(allEntries(auditor).size(), size_t(1));
    auditor.close();
    TempRegister::tryAt(super, {QStringLiteral("DROP DATABASE %1").arg(db)});
}

// With KAVRO_HISTORY_WRITER set, this program is the writer the kill test kills: it adds servers,
// changes their remarks and deletes some, each in its own transaction, until it is killed.
int main(int argc, char **argv)
{
    const QString writeTo = qEnvironmentVariable("KAVRO_HISTORY_WRITER");
    if (!writeTo.isEmpty()) {
        QCoreApplication app(argc, argv);
        RegisterDb db;
        if (!db.open(writeTo).ok())
            return 1;
        for (int i = 0;; ++i) {
            ServerRecord s = sampleServer();
            s.ip = QStringLiteral("10.%1.%2.%3").arg(i >> 16).arg((i >> 8) & 255).arg(i & 255);
            s.remark = QStringLiteral("r");
            s.key = db.addServer(s).value;
            if (i == 0) {
                // The first change is committed: from here on a kill leaves something to check.
                std::printf("committed\n");
                std::fflush(stdout);
            }
            for (int change = 0; change < 2; ++change) {
                const ServerRecord asRead = s;
                s.remark += QLatin1Char('+');
                db.updateServer(s, true, &asRead);
            }
            if (i % 3 == 0)
                db.deleteServer(s.key);
        }
    }
    QApplication app(argc, argv);
    TstHistory test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_history.moc"
