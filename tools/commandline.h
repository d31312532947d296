#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// kavro-db's command line: its usage, and the screening every command's arguments go through first.

// The whole usage text.
const char *usageText();
// A missing or unknown command: the whole usage on standard error; 2.
int usage();
// The usage lines of one command (or the whole usage for an empty one).
QString commandUsage(const QString &command);
// A known command given what it cannot take: what was wrong, then that command's own usage; 2.
int misuse(const QString &command, const QString &what);
// Whether this option of the command is followed by a value (--sheet NAME, --within N).
bool takesValue(const QString &command, const QString &option);
// Before a command reads its arguments: --help (anywhere before --) prints its usage; an option it
// does not take is named; an argument after -- that begins with - is a path, given as ./-name so
// that no command reads it as an option. Returns an exit code when the run ends here.
std::optional<int> screenArguments(const QString &command, QStringList *args);
