// Exporting the whole list, CSV and XLSX, against floors doing the same work by hand: the sqlite3
// C API stepping the same rows (every byte read) and writing them, with fwrite for CSV and with
// libxlsxwriter (constant memory, every cell a string) for XLSX. Interleaved pairs, medians.
// Peak memory is measured in a process of its own per format.
// Usage: QT_QPA_PLATFORM=offscreen bench_export [SERVERS ...]   (default 100000 1000000)
#include "benchdata.h"
#include "core/engine/schemaddl.h"
#include "core/fileops/exporter.h"
#include "core/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sqlite3.h>
#include <xlsxwriter.h>

namespace {
constexpr int kPairs = 7;
const char *kAll = "SELECT F_BH, F_IP, F_JG, F_SJ, F_DQ, F_XJ, F_KH, F_BZ FROM data ORDER BY rowid";

void csvFloor(sqlite3 *db, const QString &out)
{
    FILE *f = std::fopen(QFile::encodeName(out).constData(), "wb");
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, kAll, -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < 8; ++c) {
            if (c)
                std::fputc(',', f);
            std::fwrite(sqlite3_column_text(stmt, c), 1, size_t(sqlite3_column_bytes(stmt, c)), f);
        }
        std::fputs("\r\n", f);
    }
    sqlite3_finalize(stmt);
    std::fclose(f);
}

void xlsxFloor(sqlite3 *db, const QString &out)
{
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook *book = workbook_new_opt(QFile::encodeName(out).constData(), &options);
    lxw_worksheet *sheet = workbook_add_worksheet(book, "服务器列表");
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, kAll, -1, &stmt, nullptr);
    lxw_row_t row = 1;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < 8; ++c)
            if (sqlite3_column_bytes(stmt, c) > 0)
                worksheet_write_string(sheet, row, lxw_col_t(c),
                                       reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)), nullptr);
        ++row;
    }
    sqlite3_finalize(stmt);
    workbook_close(book);
}

ExportResult exportAll(const QString &db, const QString &out)
{
    RegisterDb reg;
    reg.open(db);
    const std::vector<qint64> keys = reg.serverKeys(ServerQuery::all()).value;
    return exportServers(reg, keys, out, *exportFormatFor(out));
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--child") {
        const ExportResult r = exportAll(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
        std::printf("%lld %ld\n", r.servers, peakRssMiB());
        return r.status.ok() ? 0 : 1;
    }
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes << QString::fromLocal8Bit(argv[i]).toInt();
    if (sizes.isEmpty())
        sizes = {100000, 1000000};
    for (int servers : sizes) {
        QTemporaryDir tmp;
        const QString path = tmp.path() + "/kavrodb.mdb";
        QString error;
        if (!initRegisterDatabase(path, &error) || !fillRegister(path, servers)) {
            std::printf("cannot build the register: %s\n", qPrintable(error));
            return 1;
        }
        sqlite3 *raw = nullptr;
        sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        const int pairs = servers >= 1000000 ? 3 : kPairs;
        for (const char *format : {"csv", "xlsx"}) {
            const QString out = tmp.path() + "/out." + format;
            const QString floorOut = tmp.path() + "/floor." + format;
            const bool csv = QByteArray(format) == "csv";
            Times floor, program;
            for (int i = 0; i < pairs; ++i) {
                QFile::remove(floorOut);
                QFile::remove(out);
                floor.ms.push_back(timeMs([&] { csv ? csvFloor(raw, floorOut) : xlsxFloor(raw, floorOut); }));
                ExportResult done;
                program.ms.push_back(timeMs([&] { done = exportAll(path, out); }));
                mustHold(done.status.ok() && done.servers == servers,
                         QStringLiteral("the export wrote %1 servers: %2").arg(done.servers).arg(done.status.reason));
            }
            report(csv ? "export csv" : "export xlsx", servers, program, floor);
            std::printf("export %s %d: %.1f MiB written\n", format, servers, double(QFile(out).size()) / 1048576.0);
            // Peak memory of a process that does nothing but the export.
            QFile::remove(out);
            QProcess child;
            child.start(app.applicationFilePath(), {"--child", path, out});
            child.waitForFinished(-1);
            const QList<QByteArray> words = child.readAllStandardOutput().trimmed().split(' ');
            std::printf("export %s %d: peak memory %s MiB (whole process)\n", format, servers,
                        words.value(1).constData());
        }
        sqlite3_close(raw);
    }
    return 0;
}
