// Bringing a spreadsheet over: our own XLSX export of a realistic register imported into an empty
// register (a new one from kavro-db init: text index and change history included), against the
// export that wrote the file, and against a floor doing the same work by hand (libzip and Qt's XML
// stream reader over the shared strings and the sheet, the sqlite3 C API inserting the rows five
// hundred a statement with one prepared statement in one transaction, through the same triggers). Interleaved triples,
// medians. Peak memory is measured in a process of its own that does nothing but the import.
// The same into a register without the text index and the history shows what their triggers cost.
// With --update: the stored servers updated from a sheet of all of them in which every tenth has
// another 到期时间 (导入表格… with 更新已存在的服务器), against a plain import of the same sheet
// into an empty register and against a floor doing the update by hand; peak memory in a process
// of its own.
// Usage: QT_QPA_PLATFORM=offscreen bench_import [--update] [SERVERS]   (default 100000; KAVRO_BENCH_RUNS=N for N runs,
// 7; with --update, KAVRO_BENCH_STAGES=1 prints the memory after each step and KAVRO_BENCH_KEEP=DIR keeps the files)
#include "benchdata.h"
#include "core/engine/schemaddl.h"
#include "core/fileops/exporter.h"
#include "core/fileops/sheetimport.h"
#include "core/fileops/sheetreader.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <array>
#include <cstdio>
#include <malloc.h>
#include <span>
#include <sqlite3.h>
#include <zip.h>

namespace {
const int kRuns = qEnvironmentVariableIsSet("KAVRO_BENCH_RUNS") ? qEnvironmentVariableIntValue("KAVRO_BENCH_RUNS") : 7;

ExportResult exportAll(const QString &db, const QString &out)
{
    RegisterDb reg;
    reg.open(db);
    const std::vector<qint64> keys = reg.serverKeys(ServerQuery::all()).value;
    return exportServers(reg, keys, out, *exportFormatFor(out));
}

// The servers of a workbook's first sheet and the fields its header maps, read as kavro-db reads
// them: the cells are given up as the servers are taken from them.
std::optional<std::vector<SheetServer>> readServers(const QString &file, std::vector<int> *mapped = nullptr)
{
    QString error;
    std::optional<std::vector<SheetTable>> book = readXlsxFile(file, &error);
    if (!book) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return std::nullopt;
    }
    const std::optional<SheetHeader> header = findHeader(book->front());
    if (qEnvironmentVariableIsSet("KAVRO_BENCH_STAGES"))
        std::fprintf(stderr, "read: %ld MiB, in use %zu MiB\n", peakRssMiB(), mallinfo2().uordblks >> 20);
    for (int f : header->fields)
        if (f >= 0 && mapped)
            mapped->push_back(f);
    std::vector<SheetServer> rows = sheetServers(std::move(book->front()), *header);
    if (qEnvironmentVariableIsSet("KAVRO_BENCH_STAGES"))
        std::fprintf(stderr, "rows: %ld MiB, in use %zu MiB\n", peakRssMiB(), mallinfo2().uordblks >> 20);
    return rows;
}

// What 导入表格… and kavro-db import-sheet do: read, find the header, check, store.
qint64 importAll(const QString &db, const QString &file)
{
    std::optional<std::vector<SheetServer>> rows = readServers(file);
    if (!rows)
        return -1;
    RegisterDb reg;
    reg.open(db);
    const Read<SheetPlan> plan = planSheetImport(reg, std::move(*rows), false);
    if (!plan.ok() || !plan.value.problems.empty())
        return -1;
    const Status stored = reg.addServersWithCustomers(
        plan.value.toStore.size(), [&](size_t i) -> const ServerRecord & { return plan.value.toStore[i].server; },
        plan.value.newCustomers);
    if (!stored.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(stored.reason));
        return -1;
    }
    return qint64(plan.value.toStore.size());
}

QByteArray member(zip_t *zip, const char *name)
{
    zip_stat_t st;
    if (zip_stat(zip, name, 0, &st) != 0)
        return {};
    QByteArray bytes(qsizetype(st.size), Qt::Uninitialized);
    zip_file_t *f = zip_fopen(zip, name, 0);
    zip_fread(f, bytes.data(), st.size);
    zip_fclose(f);
    return bytes;
}

// By hand: the workbook's shared strings (when it has them) and first sheet read with the XML stream reader, each
// row's eight texts inserted with the C API (customers first, each new name once).
std::vector<std::array<QString, 8>> readFloorRows(const QString &file)
{
    zip_t *zip = zip_open(QFile::encodeName(file).constData(), ZIP_RDONLY, nullptr);
    QStringList strings;
    if (const QByteArray bytes = member(zip, "xl/sharedStrings.xml"); !bytes.isEmpty()) {
        QXmlStreamReader xml(bytes);
        QString current;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("si"))
                current.clear();
            else if (xml.isStartElement() && xml.name() == QLatin1String("t"))
                current += xml.readElementText();
            else if (xml.isEndElement() && xml.name() == QLatin1String("si"))
                strings << current;
        }
    }
    std::vector<std::array<QString, 8>> rows;
    {
        QXmlStreamReader xml(member(zip, "xl/worksheets/sheet1.xml"));
        std::array<QString, 8> row;
        int column = 0;
        bool shared = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("row")) {
                row = {};
            } else if (xml.isStartElement() && xml.name() == QLatin1String("c")) {
                const QStringView ref = xml.attributes().value(QLatin1String("r"));
                column = ref.isEmpty() ? 0 : ref[0].unicode() - 'A';
                shared = xml.attributes().value(QLatin1String("t")) == QLatin1String("s");
            } else if (xml.isStartElement() && xml.name() == QLatin1String("v")) {
                const QString v = xml.readElementText();
                if (column >= 0 && column < 8)
                    row[size_t(column)] = shared ? strings.value(v.toInt()) : v;
            } else if (xml.isStartElement() && xml.name() == QLatin1String("t")) { // an inline string
                const QString t = xml.readElementText();
                if (column >= 0 && column < 8)
                    row[size_t(column)] += t;
            } else if (xml.isEndElement() && xml.name() == QLatin1String("row")) {
                rows.push_back(row);
            }
        }
    }
    zip_close(zip);
    return rows;
}

qint64 importFloor(const QString &db, const QString &file)
{
    const std::vector<std::array<QString, 8>> rows = readFloorRows(file);
    sqlite3 *raw = nullptr;
    sqlite3_open(QFile::encodeName(db).constData(), &raw);
    sqlite3_exec(raw, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    // Five hundred rows a statement, as the program does (one row a statement would make the text
    // index write what it holds at every statement), the full statement prepared once.
    constexpr int kChunk = 500;
    auto prepareInsert = [&](int rowsInIt) {
        QByteArray sql = "INSERT INTO data (F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_KH, F_BZ) VALUES ";
        for (int r = 0; r < rowsInIt; ++r)
            sql += r ? ",(?,?,?,?,?,?,?,?)" : "(?,?,?,?,?,?,?,?)";
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(raw, sql.constData(), int(sql.size()), &stmt, nullptr);
        return stmt;
    };
    sqlite3_stmt *full = prepareInsert(kChunk), *customer = nullptr;
    sqlite3_prepare_v2(raw, "INSERT INTO kehu (K_DD, K_MC, K_LX) VALUES (?, ?, '')", -1, &customer, nullptr);
    QSet<QString> customers;
    qint64 n = 0;
    for (size_t first = 1; first < rows.size(); first += kChunk) { // row 0 is the header
        const size_t end = std::min(rows.size(), first + kChunk);
        sqlite3_stmt *insert = end - first == size_t(kChunk) ? full : prepareInsert(int(end - first));
        for (size_t r = first; r < end; ++r) {
            const auto &row = rows[r];
            if (!row[6].isEmpty() && !customers.contains(row[6])) {
                customers.insert(row[6]);
                const QByteArray key = QByteArray::number(qlonglong(100000 + customers.size()));
                const QByteArray name = row[6].toUtf8();
                sqlite3_bind_text(customer, 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
                sqlite3_bind_text(customer, 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
                sqlite3_step(customer);
                sqlite3_reset(customer);
            }
            for (int c = 0; c < 8; ++c) {
                const QByteArray text = row[size_t(c)].toUtf8();
                sqlite3_bind_text(insert, int(r - first) * 8 + c + 1, text.constData(), int(text.size()),
                                  SQLITE_TRANSIENT);
            }
        }
        if (sqlite3_step(insert) == SQLITE_DONE)
            n += qint64(end - first);
        sqlite3_reset(insert);
        if (insert != full)
            sqlite3_finalize(insert);
    }
    sqlite3_finalize(full);
    sqlite3_finalize(customer);
    sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    return n;
}

// A new register; bare: without the text index and the change history (a register made before
// them, not yet upgraded).
QString emptyRegister(const QString &path, bool bare = false)
{
    QFile::remove(path);
    QString error;
    if (!initRegisterDatabase(path, &error))
        std::fprintf(stderr, "%s\n", qPrintable(error));
    if (bare) {
        sqlite3 *raw = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &raw);
        sqlite3_exec(raw,
                     "DROP TRIGGER data_text_insert; DROP TRIGGER data_text_delete; DROP TRIGGER data_text_update;"
                     "DROP TABLE data_text; DROP TRIGGER data_jilu_insert; DROP TRIGGER data_jilu_update;"
                     "DROP TRIGGER data_jilu_delete; DROP TRIGGER kehu_jilu_insert; DROP TRIGGER kehu_jilu_update;"
                     "DROP TRIGGER kehu_jilu_delete; DROP TRIGGER admin_jilu_insert; DROP TRIGGER admin_jilu_update;"
                     "DROP TRIGGER admin_jilu_delete; DROP TABLE jilu",
                     nullptr, nullptr, nullptr);
        sqlite3_close(raw);
    }
    return path;
}
// What 导入表格… with 更新已存在的服务器 and kavro-db import-sheet --update do: read, find the
// header, look every IP up and compare, store the changes (each guarded) and the new servers.
qint64 updateAll(const QString &db, const QString &file)
{
    SheetOptions options;
    options.mode = SheetMode::UpdateStored;
    std::optional<std::vector<SheetServer>> rows = readServers(file, &options.mappedFields);
    if (!rows)
        return -1;
    RegisterDb reg;
    reg.open(db);
    const Read<SheetPlan> plan = planSheetImport(reg, std::move(*rows), options);
    if (!plan.ok() || !plan.value.problems.empty())
        return -1;
    if (qEnvironmentVariableIsSet("KAVRO_BENCH_STAGES"))
        std::fprintf(stderr, "planned: %ld MiB, in use %zu MiB\n", peakRssMiB(), mallinfo2().uordblks >> 20);
    const Status stored = reg.addServersWithCustomers(
        plan.value.toStore.size(), [&](size_t i) -> const ServerRecord & { return plan.value.toStore[i].server; },
        plan.value.newCustomers, {}, plan.value.changePairs());
    if (!stored.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(stored.reason));
        return -1;
    }
    return qint64(plan.value.changes.size());
}

// By hand: the sheet read as the import floor reads it, each row's stored server looked up by its
// IP with one prepared statement, compared, and the rows that differ rewritten (all eight texts
// guarded by the values read, as the program does) in one transaction, through the same triggers.
qint64 updateFloor(const QString &db, const QString &file)
{
    const std::vector<std::array<QString, 8>> rows = readFloorRows(file);
    sqlite3 *raw = nullptr;
    sqlite3_open(QFile::encodeName(db).constData(), &raw);
    sqlite3_exec(raw, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_stmt *look = nullptr, *update = nullptr;
    sqlite3_prepare_v2(raw, "SELECT rowid, F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_KH, F_BZ FROM data WHERE F_IP = ?", -1,
                       &look, nullptr);
    sqlite3_prepare_v2(raw,
                       "UPDATE data SET F_BH = ?, F_JG = ?, F_SJ = ?, F_DQ = ?, F_XJ = ?, F_KH = ?, F_BZ = ? "
                       "WHERE rowid = ? AND F_BH IS ? AND F_JG IS ? AND F_SJ IS ? AND F_DQ IS ? AND F_XJ IS ? "
                       "AND F_KH IS ? AND F_BZ IS ?",
                       -1, &update, nullptr);
    qint64 n = 0;
    for (size_t r = 1; r < rows.size(); ++r) {
        const auto &row = rows[r];
        const QByteArray ip = row[1].toUtf8();
        sqlite3_bind_text(look, 1, ip.constData(), int(ip.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(look) == SQLITE_ROW) {
            std::array<QByteArray, 8> stored;
            bool differs = false;
            for (int c = 0; c < 8; ++c) {
                stored[size_t(c)] = QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(look, c + 1)),
                                               sqlite3_column_bytes(look, c + 1));
                differs = differs || QString::fromUtf8(stored[size_t(c)]) != row[size_t(c)];
            }
            if (differs) {
                const qint64 key = sqlite3_column_int64(look, 0);
                int i = 1;
                std::array<QByteArray, 8> now;
                for (int c = 0; c < 8; ++c) {
                    if (c == 1)
                        continue;
                    now[size_t(c)] = row[size_t(c)].toUtf8();
                    sqlite3_bind_text(update, i++, now[size_t(c)].constData(), int(now[size_t(c)].size()),
                                      SQLITE_STATIC);
                }
                sqlite3_bind_int64(update, i++, key);
                for (int c = 0; c < 8; ++c)
                    if (c != 1)
                        sqlite3_bind_text(update, i++, stored[size_t(c)].constData(), int(stored[size_t(c)].size()),
                                          SQLITE_STATIC);
                if (sqlite3_step(update) == SQLITE_DONE && sqlite3_changes(raw) == 1)
                    ++n;
                sqlite3_reset(update);
            }
        }
        sqlite3_reset(look);
    }
    sqlite3_finalize(look);
    sqlite3_finalize(update);
    sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    return n;
}

// The register's servers as a sheet in which every tenth server's 到期时间 is a year later.
qint64 writeChangedSheet(const QString &db, const QString &out)
{
    RegisterDb reg;
    reg.open(db);
    const std::vector<qint64> keys = reg.serverKeys(ServerQuery::all()).value;
    QList<QStringList> rows{serverListTitles()};
    qint64 changed = 0;
    for (size_t first = 0; first < keys.size(); first += 2000) {
        const Read<std::vector<ServerRecord>> page =
            reg.servers(std::span<const qint64>(keys.data() + first, std::min<size_t>(2000, keys.size() - first)));
        for (const ServerRecord &s : page.value) {
            QStringList cells;
            for (int c = 0; c < 8; ++c)
                cells << serverListCell(s, c);
            if (rows.size() % 10 == 0) {
                const QDate d = QDate::fromString(s.expires, "yyyy-MM-dd");
                cells[4] = (d.isValid() ? d : QDate(2026, 1, 1)).addYears(1).toString("yyyy-MM-dd");
                ++changed;
            }
            rows << cells;
        }
    }
    writeTextTable(out, ExportFormat::Xlsx, "服务器列表", rows);
    return changed;
}

// A realistic register of this many servers in tmp; empty when it cannot be made.
QString sourceRegister(const QTemporaryDir &tmp, int servers)
{
    const QString source = tmp.path() + "/source.mdb";
    QString error;
    if (!initRegisterDatabase(source, &error) || !fillRegister(source, servers)) {
        std::printf("cannot build the register: %s\n", qPrintable(error));
        return {};
    }
    return source;
}

int benchUpdate(QCoreApplication &app, int servers)
{
    QTemporaryDir tmp;
    const QString source = sourceRegister(tmp, servers);
    if (source.isEmpty())
        return 1;
    const QString sheet = tmp.path() + "/changed.xlsx";
    const qint64 changed = writeChangedSheet(source, sheet);
    const QString target = tmp.path() + "/target.mdb";
    auto copySource = [&] {
        QFile::remove(target);
        QFile::copy(source, target);
    };
    Times imported, updated, floor;
    for (int i = 0; i < kRuns; ++i) {
        emptyRegister(target);
        qint64 n = 0;
        imported.ms.push_back(timeMs([&] { n = importAll(target, sheet); }));
        if (n != servers) {
            std::printf("the import stored %lld of %d servers\n", qlonglong(n), servers);
            return 1;
        }
        copySource();
        updated.ms.push_back(timeMs([&] { n = updateAll(target, sheet); }));
        if (n != changed) {
            std::printf("the update changed %lld of %lld servers\n", qlonglong(n), qlonglong(changed));
            return 1;
        }
        copySource();
        floor.ms.push_back(timeMs([&] { n = updateFloor(target, sheet); }));
        if (n != changed) {
            std::printf("the floor changed %lld of %lld servers\n", qlonglong(n), qlonglong(changed));
            return 1;
        }
    }
    std::printf("sheet: %.1f MiB, %d servers, %lld of them with another 到期时间\n",
                double(QFile(sheet).size()) / 1048576.0, servers, qlonglong(changed));
    report("update from xlsx", servers, updated, floor);
    std::printf("import xlsx into an empty register %d: median %.2f ms (min %.2f, max %.2f)\n", servers,
                imported.median(), imported.min(), imported.max());
    std::printf("update from xlsx %d: %.2f x the import of the same sheet into an empty register\n", servers,
                updated.median() / imported.median());
    copySource();
    if (const QString keep = qEnvironmentVariable("KAVRO_BENCH_KEEP"); !keep.isEmpty()) {
        QFile::copy(target, keep + "/target.mdb"); // for a profiler: --child-update target.mdb changed.xlsx
        QFile::copy(sheet, keep + "/changed.xlsx");
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(app.applicationFilePath(), {"--child-update", target, sheet});
    child.waitForFinished(-1);
    QList<QByteArray> words = child.readAllStandardOutput().trimmed().split(' ');
    std::printf("update from xlsx %d: peak memory %s MiB (whole process, %s servers changed)\n", servers,
                words.value(1).constData(), words.value(0).constData());
    emptyRegister(target);
    child.start(app.applicationFilePath(), {"--child", target, sheet});
    child.waitForFinished(-1);
    words = child.readAllStandardOutput().trimmed().split(' ');
    std::printf("import xlsx into an empty register %d: peak memory %s MiB (whole process, %s servers stored)\n",
                servers, words.value(1).constData(), words.value(0).constData());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--child") {
        const qint64 n = importAll(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
        std::printf("%lld %ld\n", qlonglong(n), peakRssMiB());
        return n >= 0 ? 0 : 1;
    }
    if (argc == 4 && QByteArray(argv[1]) == "--child-update") {
        const qint64 n = updateAll(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
        std::printf("%lld %ld\n", qlonglong(n), peakRssMiB());
        return n >= 0 ? 0 : 1;
    }
    if (argc >= 2 && QByteArray(argv[1]) == "--update")
        return benchUpdate(app, argc > 2 ? std::atoi(argv[2]) : 100000);
    if (argc == 4 && QByteArray(argv[1]) == "--floor") { // the floor alone, for a profiler
        const qint64 n = importFloor(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
        std::printf("%lld %ld\n", qlonglong(n), peakRssMiB());
        return n >= 0 ? 0 : 1;
    }
    const int servers = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir tmp;
    const QString source = sourceRegister(tmp, servers);
    if (source.isEmpty())
        return 1;
    const QString sheet = tmp.path() + "/list.xlsx";
    const QString target = tmp.path() + "/target.mdb";
    Times exported, imported, floor, bare, bareFloor;
    for (int i = 0; i < kRuns; ++i) {
        QFile::remove(sheet);
        exported.ms.push_back(timeMs([&] { exportAll(source, sheet); }));
        emptyRegister(target);
        qint64 n = 0;
        imported.ms.push_back(timeMs([&] { n = importAll(target, sheet); }));
        if (n != servers) {
            std::printf("the import stored %lld of %d servers\n", qlonglong(n), servers);
            return 1;
        }
        emptyRegister(target);
        floor.ms.push_back(timeMs([&] { n = importFloor(target, sheet); }));
        if (n != servers) {
            std::printf("the floor stored %lld of %d servers\n", qlonglong(n), servers);
            return 1;
        }
        emptyRegister(target, true);
        bare.ms.push_back(timeMs([&] { n = importAll(target, sheet); }));
        emptyRegister(target, true);
        bareFloor.ms.push_back(timeMs([&] { n = importFloor(target, sheet); }));
    }
    std::printf("sheet: %.1f MiB, %d servers\n", double(QFile(sheet).size()) / 1048576.0, servers);
    std::printf("export xlsx %d: median %.2f ms (min %.2f, max %.2f)\n", servers, exported.median(), exported.min(),
                exported.max());
    report("import xlsx", servers, imported, floor);
    std::printf("import xlsx %d: %.2f x the export that wrote the file\n", servers,
                imported.median() / exported.median());
    report("import xlsx, register without text index and history", servers, bare, bareFloor);
    std::printf("import xlsx, register without text index and history %d: %.2f x the export that wrote the file\n",
                servers, bare.median() / exported.median());
    emptyRegister(target);
    QProcess child;
    child.start(app.applicationFilePath(), {"--child", target, sheet});
    child.waitForFinished(-1);
    const QList<QByteArray> words = child.readAllStandardOutput().trimmed().split(' ');
    std::printf("import xlsx %d: peak memory %s MiB (whole process, %s servers stored)\n", servers,
                words.value(1).constData(), words.value(0).constData());
    return 0;
}
