#include "tools/cli/support.h"

#include "core/datetext.h"
#include "core/fileops/backup.h"
#include "tools/cli/command.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

QList<QCommandLineOption> narrowingOptions()
{
    return {QCommandLineOption(QStringLiteral("contains"), {}, QStringLiteral("TEXT")),
            QCommandLineOption(QStringLiteral("ip-range"), {}, QStringLiteral("RANGE"))};
}

bool narrowingOf(const QCommandLineParser &parser, std::vector<ServerQuery> *narrowing, QString *problem)
{
    for (const QString &text : parser.values(QStringLiteral("contains")))
        narrowing->push_back(ServerQuery::containing(text));
    for (const QString &value : parser.values(QStringLiteral("ip-range"))) {
        const std::optional<ServerQuery> range = ServerQuery::ipRange(value);
        if (!range) {
            *problem = QStringLiteral("--ip-range %1 is no IP block; write it as 192.168.1.0/24, "
                                      "192.168.1.10-192.168.1.50 or 192.168.1.")
                           .arg(value);
            return false;
        }
        narrowing->push_back(*range);
    }
    return true;
}

bool daysOf(const QCommandLineParser &parser, const QString &option, int *days, QString *problem)
{
    if (!parser.isSet(option))
        return true;
    const QString value = parser.value(option);
    const std::optional<int> given = dayCountFromText(value);
    if (!given) {
        *problem = QStringLiteral("--%1 needs a whole number of days from 0 to 3650, not \"%2\"").arg(option, value);
        return false;
    }
    *days = *given;
    return true;
}

Read<std::vector<qint64>> narrowedKeys(RegisterDb &db, const ServerQuery &query, const ServerOrder &order,
                                       const std::vector<ServerQuery> &narrowing)
{
    Read<std::vector<qint64>> keys = db.serverKeys(query, order);
    for (const ServerQuery &also : narrowing) {
        if (!keys.ok())
            break;
        Read<std::vector<qint64>> those = db.serverKeys(also); // in stored order: key order
        if (!those.ok())
            return those;
        std::erase_if(keys.value,
                      [&](qint64 key) { return !std::binary_search(those.value.begin(), those.value.end(), key); });
    }
    return keys;
}

std::optional<int> openRegister(const QString &location, RegisterDb &db)
{
    const Status opened = db.open(location);
    if (!opened.ok())
        return fail(QStringLiteral("%1 is not a register that can be opened: %2").arg(location, opened.reason));
    return std::nullopt;
}

QString tsvField(QString text)
{
    return text.replace(QLatin1Char('\t'), QLatin1Char(' '))
        .replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString describe(const RegisterCounts &counts)
{
    const QString text = QStringLiteral("%1 servers, %2 customers").arg(counts.servers).arg(counts.customers);
    return counts.bytes < 0 ? text : QStringLiteral("%1, %2 bytes").arg(text).arg(counts.bytes);
}

bool outputIsTerminal()
{
    return ::isatty(STDOUT_FILENO);
}

bool inputIsTerminal()
{
    return ::isatty(STDIN_FILENO);
}

bool readSecretLine(const char *prompt, QString *line)
{
    const bool terminal = inputIsTerminal();
    termios saved{};
    if (terminal) {
        std::fprintf(stderr, "%s", prompt);
        std::fflush(stderr);
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string text;
    int c;
    bool any = false;
    while ((c = std::getchar()) != EOF) {
        any = true;
        if (c == '\n')
            break;
        text.push_back(char(c));
    }
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    *line = QString::fromUtf8(text);
    return any;
}
