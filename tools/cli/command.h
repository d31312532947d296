#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

// One kavro-db command: its name, its lines of the usage, the options it takes and what it does.
// Every command reads its arguments the same way (parse): --help anywhere before -- prints its
// usage; an option it does not take, or one missing its value, is named with its usage (exit 2);
// everything after -- is a path, never an option.
class Command {
public:
    virtual ~Command();
    Command(const Command &) = delete;
    Command &operator=(const Command &) = delete;

    const QString &name() const { return m_name; }
    // Its part of the usage: the synopsis, then what it does, indented.
    const QString &usage() const { return m_usage; }

    // Reads the arguments after the command's name and runs it; the exit code.
    int execute(const QStringList &arguments) const;
    // What execute does before running: an exit code when the run ends here; otherwise the options
    // are in parser and the other arguments in positionals, one beginning with - (given after --)
    // as ./-name so that nothing reads it as an option.
    std::optional<int> parse(const QStringList &arguments, QCommandLineParser *parser, QStringList *positionals) const;
    // Whether this option of the command is followed by a value (--sheet NAME, --within N).
    bool takesValue(const QString &option) const;

    // Every command, in the order the usage lists them.
    static const std::vector<std::unique_ptr<Command>> &all();
    // The command of that name, or null.
    static const Command *named(const QString &name);
    // The whole usage: what DB means, then every command's part.
    static QString wholeUsage();

protected:
    Command(const QString &name, const QString &usage, const QList<QCommandLineOption> &options = {});
    virtual int run(const QCommandLineParser &parser, const QStringList &positionals) const = 0;
    // The command given what it cannot take: what was wrong, then its usage on standard error; 2.
    int misuse(const QString &what) const;

private:
    QString m_name;
    QString m_usage;
    QList<QCommandLineOption> m_options;
};

// A run that failed: the message (passwords hidden) on standard error; 1.
int fail(const QString &message);
