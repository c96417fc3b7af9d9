// Commands and their registry: a command is a name, a one-line summary, a usage line, its options and
// a run function. The registry also holds the global options every command accepts, and turns the
// command line into the command to run, a help request, or a usage error. A name of two words
// ("disk attach") puts the command in a group ("disk") whose other words are its subcommands; one of
// three ("disk labels set") in a group within a group ("disk labels").
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/Arguments.h"

namespace gcsdk {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // the library or the system said no
constexpr int kExitUsage = 2;    // the command line is wrong
constexpr int kExitPartial = 3;  // a listing in which some projects, zones or regions failed

class Registry;
struct Command;

// What a run function gets.
struct Invocation {
    const Registry& registry;
    const Command& command;
    const ParsedArguments& args;  // global and command options together
    std::ostream& out;
    std::ostream& err;
    bool outIsTerminal = false;  // progress lines may be redrawn in place

    bool Json() const { return args.Has("json"); }
    // Prints "gcsdk: <message>" and the command's usage to err; returns kExitUsage.
    int UsageError(const std::string& message) const;
};

struct Command {
    std::string name;         // "vms", or group and subcommand: "disk attach", "disk labels set"
    std::string summary;      // one line, for the list of commands
    std::string usage;        // what follows "gcsdk <name> " in the usage line
    std::string description;  // optional paragraph(s) for "gcsdk help <name>"
    std::vector<Option> options;
    size_t maxPositional = 0;
    bool offline = false;  // talks to no cloud: needs neither settings nor credentials
    std::function<int(const Invocation&)> run;
};

struct CommandLine {
    enum class Action { kRun, kHelp, kUsageError };
    Action action = Action::kUsageError;
    const Command* command = nullptr;  // kRun; kHelp about one command; kUsageError in one command
    std::string group;                 // kHelp or kUsageError about a group as a whole ("disk")
    ParsedArguments args;
    std::string error;  // kUsageError
};

class Registry {
public:
    Registry(std::string program, std::vector<Option> globalOptions);

    // Commands are listed in the order they were added.
    void Add(Command command);
    const Command* Find(const std::string& name) const;
    // Whether the words are a group: the first word (or two) of longer command names.
    bool IsGroup(const std::string& word) const;
    const std::vector<Command>& Commands() const { return m_commands; }
    const std::vector<Option>& GlobalOptions() const { return m_globals; }
    const std::string& Program() const { return m_program; }
    // Paragraphs at the end of the program's help (exit statuses, files).
    void SetNotes(std::string notes) { m_notes = std::move(notes); }

    // args without the program name. Global options go before or after the command; "--help" or
    // "-h" anywhere, "help" and "help <command>" ask for help.
    CommandLine Parse(const std::vector<std::string>& args) const;

    std::string HelpText() const;  // the program's help: commands and global options
    std::string HelpText(const Command& command) const;
    std::string GroupHelpText(const std::string& group) const;  // the group's subcommands
    // Short usage for error messages: of a command, of a group, or of the program.
    std::string UsageText(const Command* command, const std::string& group = "") const;

private:
    std::vector<std::string> Subcommands(const std::string& group) const;

    std::string m_program;
    std::vector<Option> m_globals;
    std::vector<Command> m_commands;
    std::string m_notes;
};

}  // namespace gcsdk
