// kavro-db import: a register kept in an Access file brought over.
#include "core/fileops/legacyimport.h"
#include "core/paths.h"
#include "tools/cli/command.h"
#include "tools/cli/commands.h"
#include "tools/cli/support.h"
#include "tools/mdbreader.h"

#include <cstdio>

namespace {
void printReport(const ImportReport &report)
{
    std::printf("brought over: %d servers, %d customers, %d administrator rows\n", report.servers, report.customers,
                report.administrators);
    for (const QString &note : report.notes)
        std::printf("note: %s\n", qPrintable(note));
}

class Import : public Command {
public:
    Import()
        : Command(
              QStringLiteral("import"),
              QStringLiteral("  kavro-db import [--codepage N] OLD.mdb NEW\n"
                             "      bring a register kept in an Access file over into a new register at NEW\n"
                             "  kavro-db import [--codepage N] --in-place PROGRAM_DIR/db/kavrodb.mdb\n"
                             "      convert the Access file the program uses; the Access file is kept beside it\n"
                             "      as kavrodb.mdb.access-backup\n"
                             "      --codepage N: the code page of texts in an Access 97 file (default 936, GBK)\n"),
              {QCommandLineOption(QStringLiteral("in-place")),
               QCommandLineOption(QStringLiteral("codepage"), {}, QStringLiteral("N"))})
    {
    }

protected:
    int run(const QCommandLineParser &parser, const QStringList &args) const override
    {
        int codePage = 936;
        if (parser.isSet(QStringLiteral("codepage"))) {
            bool ok = false;
            codePage = parser.value(QStringLiteral("codepage")).toInt(&ok);
            if (!ok || codePage <= 0)
                return misuse(QStringLiteral("--codepage needs a code page number"));
        }
        const bool inPlace = parser.isSet(QStringLiteral("in-place"));
        const QStringList &paths = args;
        MdbReader reader(codePage);
        ImportReport report;
        QString error;
        if (inPlace && paths.size() == 1) {
            QString backup;
            if (!importInPlace(reader, paths[0], &report, &backup, &error))
                return fail(error);
            printReport(report);
            std::printf("converted %s; the Access file is kept as %s\n", qPrintable(withoutPasswords(paths[0])),
                        qPrintable(withoutPasswords(backup)));
            return 0;
        }
        if (inPlace || paths.size() != 2)
            return misuse(QStringLiteral("needs OLD.mdb and NEW, or --in-place and the program's kavrodb.mdb"));
        if (!importRegister(reader, paths[0], paths[1], &report, &error))
            return fail(error);
        printReport(report);
        std::printf("written %s\n", qPrintable(withoutPasswords(paths[1])));
        return 0;
    }
};
} // namespace

std::unique_ptr<Command> makeImportCommand()
{
    return std::make_unique<Import>();
}
