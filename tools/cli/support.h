#pragma once

// What several kavro-db commands share.
#include "core/records.h"
#include "core/registerdb.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <optional>
#include <vector>

struct RegisterCounts;

// The narrowing filters, which go with any other: --contains TEXT and --ip-range RANGE.
QList<QCommandLineOption> narrowingOptions();
// The narrowing filters given (each may be given more than once); false, with the problem, when a
// range is no IP block.
bool narrowingOf(const QCommandLineParser &parser, std::vector<ServerQuery> *narrowing, QString *problem);
// The day count given with option (--within N): false, with the problem, when it is no whole number
// of days from 0 to 3650; days is left as it is when the option is not given.
bool daysOf(const QCommandLineParser &parser, const QString &option, int *days, QString *problem);
// The keys query selects in order, of those the narrowing queries select as well.
Read<std::vector<qint64>> narrowedKeys(RegisterDb &db, const ServerQuery &query, const ServerOrder &order,
                                       const std::vector<ServerQuery> &narrowing);

// Opens the register at location; the exit code when it cannot (after saying why).
std::optional<int> openRegister(const QString &location, RegisterDb &db);

// A text as one field of a tab-separated line: a tab or line break inside it would break the line
// apart, so each is shown as a blank.
QString tsvField(QString text);
// "N servers, N customers, N bytes"
QString describe(const RegisterCounts &counts);
// One line of standard input without its line end; on a terminal the typing is not shown.
bool readSecretLine(const char *prompt, QString *line);
// Whether standard output (or input) is a terminal: lines for people then, tab-separated otherwise.
bool outputIsTerminal();
bool inputIsTerminal();
