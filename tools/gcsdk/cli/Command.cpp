#include "cli/Command.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>

#include "cli/Table.h"

namespace gcsdk {

namespace {

std::vector<std::string> Words(const std::string& name) {
    std::vector<std::string> words;
    for (size_t start = 0;;) {
        const size_t space = name.find(' ', start);
        words.push_back(name.substr(start, space == std::string::npos ? std::string::npos : space - start));
        if (space == std::string::npos) return words;
        start = space + 1;
    }
}

}  // namespace

int Invocation::UsageError(const std::string& message) const {
    err << registry.Program() << ": " << message << '\n' << registry.UsageText(&command);
    return kExitUsage;
}

Registry::Registry(std::string program, std::vector<Option> globalOptions)
    : m_program(std::move(program)), m_globals(std::move(globalOptions)) {}

void Registry::Add(Command command) {
    if (command.name.empty() || command.name == "help" || Find(command.name))
        throw std::logic_error("command name taken or reserved: " + command.name);
    // A word is a command or a group, never both; names have at most three words ("disk labels set").
    const std::vector<std::string> words = Words(command.name);
    bool clash = words.size() > 3 || IsGroup(command.name);
    for (size_t count = 1; count < words.size(); ++count)
        clash = clash || Find(Join(std::vector<std::string>(words.begin(), words.begin() + count), " "));
    if (clash) throw std::logic_error("command name clashes with a group: " + command.name);
    for (const Option& option : command.options)
        for (const Option& global : m_globals)
            if (option.name == global.name)
                throw std::logic_error("option --" + option.name + " of " + command.name + " is global");
    m_commands.push_back(std::move(command));
}

const Command* Registry::Find(const std::string& name) const {
    for (const Command& command : m_commands)
        if (command.name == name) return &command;
    return nullptr;
}

bool Registry::IsGroup(const std::string& word) const {
    return !word.empty() && !Subcommands(word).empty();
}

std::vector<std::string> Registry::Subcommands(const std::string& group) const {
    std::vector<std::string> words;
    const std::string prefix = group + " ";
    for (const Command& command : m_commands) {
        if (command.name.compare(0, prefix.size(), prefix) != 0) continue;
        // The next word only: "labels" for "disk labels show" in the group "disk".
        const std::string word =
            command.name.substr(prefix.size(), command.name.find(' ', prefix.size()) - prefix.size());
        if (std::find(words.begin(), words.end(), word) == words.end()) words.push_back(word);
    }
    return words;
}

namespace {

// Whether the user asked for help among args[from, to), words after "--" excluded.
bool AsksForHelp(const std::vector<std::string>& args, size_t from, size_t to) {
    for (size_t i = from; i < to && i < args.size(); ++i) {
        if (args[i] == "--") return false;
        if (args[i] == "--help" || args[i] == "-h") return true;
    }
    return false;
}

CommandLine Help(const Command* command, std::string group = "") {
    CommandLine line;
    line.action = CommandLine::Action::kHelp;
    line.command = command;
    line.group = std::move(group);
    return line;
}

CommandLine Usage(const Command* command, std::string error, std::string group = "") {
    CommandLine line;
    line.action = CommandLine::Action::kUsageError;
    line.command = command;
    line.error = std::move(error);
    line.group = std::move(group);
    return line;
}

std::string OptionLabel(const Option& option) {
    std::string label;
    if (option.shortName) label = std::string("-") + option.shortName + ", ";
    label += "--" + option.name;
    if (option.TakesValue()) label += " " + option.valueName;
    return label;
}

std::string OptionTable(const std::vector<Option>& options) {
    Table table;
    for (const Option& option : options) table.AddRow({"  " + OptionLabel(option), option.help});
    return table.Render();
}

}  // namespace

CommandLine Registry::Parse(const std::vector<std::string>& args) const {
    ParsedArguments globals;
    ParseOutcome before = ParseArguments(args, 0, m_globals, globals, true);
    if (!before.ok) return AsksForHelp(args, 0, args.size()) ? Help(nullptr) : Usage(nullptr, before.error);
    if (globals.Has("help") || before.next >= args.size())
        return globals.Has("help") ? Help(nullptr) : Usage(nullptr, "no command given");

    const std::string& name = args[before.next];
    if (name == "help") {
        ParsedArguments rest;
        ParseOutcome outcome = ParseArguments(args, before.next + 1, m_globals, rest);
        if (!outcome.ok) return Usage(nullptr, outcome.error);
        const auto& topics = rest.Positional();
        if (topics.empty()) return Help(nullptr);
        if (const Command* command = Find(Join(topics, " "))) return Help(command);
        if (IsGroup(Join(topics, " "))) return Help(nullptr, Join(topics, " "));
        if (topics.size() > 1 && !IsGroup(topics[0])) return Usage(nullptr, "help takes one command name");
        return Usage(nullptr, "unknown command '" + Join(topics, " ") + "'");
    }

    // The words of a group lead to its subcommands, so that a group word is never taken for a command.
    std::string group = name;
    size_t next = before.next + 1;
    const Command* command = Find(name);
    while (!command && IsGroup(group) && next < args.size() && IsGroup(group + " " + args[next]))
        group += " " + args[next++];
    if (!command && next < args.size() && (command = Find(group + " " + args[next]))) ++next;
    if (!command && IsGroup(group)) {
        if (AsksForHelp(args, 0, args.size())) return Help(nullptr, group);
        const std::string choices = "'" + group + "' takes a subcommand: " + Join(Subcommands(group), ", ");
        if (next >= args.size() || args[next].rfind("-", 0) == 0) return Usage(nullptr, choices, group);
        return Usage(nullptr, "unknown command '" + group + " " + args[next] + "'; " + choices, group);
    }
    if (!command) {
        return AsksForHelp(args, 0, args.size()) ? Help(nullptr)
                                                 : Usage(nullptr, "unknown command '" + name + "'");
    }

    std::vector<Option> options = m_globals;
    options.insert(options.end(), command->options.begin(), command->options.end());
    CommandLine line;
    line.command = command;
    line.args = globals;
    ParseOutcome outcome = ParseArguments(args, next, options, line.args);
    if (AsksForHelp(args, next, args.size())) return Help(command);
    if (!outcome.ok) return Usage(command, outcome.error);
    if (line.args.Positional().size() > command->maxPositional)
        return Usage(command, "unexpected argument '" + line.args.Positional()[command->maxPositional] + "'");
    line.action = CommandLine::Action::kRun;
    return line;
}

std::string Registry::HelpText() const {
    std::string text = "usage: " + m_program + " [global options] <command> [options]\n\nCommands:\n";
    Table commands;
    for (const Command& command : m_commands) commands.AddRow({"  " + command.name, command.summary});
    text += commands.Render();
    text += "\nGlobal options (before or after the command):\n" + OptionTable(m_globals);
    text += "\nRun '" + m_program + " help <command>' for the options of a command.\n";
    if (!m_notes.empty()) text += "\n" + m_notes;
    return text;
}

std::string Registry::HelpText(const Command& command) const {
    std::string text = "usage: " + m_program + " " + command.name;
    if (!command.usage.empty()) text += " " + command.usage;
    text += "\n\n" + command.summary + ".\n";
    if (!command.description.empty()) text += "\n" + command.description + "\n";
    if (!command.options.empty()) text += "\nOptions:\n" + OptionTable(command.options);
    std::vector<std::string> globals;
    for (const Option& option : m_globals) globals.push_back("--" + option.name);
    text += "\nGlobal options (see '" + m_program + " --help'):\n  " + Join(globals, ", ") + "\n";
    return text;
}

std::string Registry::GroupHelpText(const std::string& group) const {
    std::string text = "usage: " + m_program + " " + group + " <subcommand> [options]\n\nSubcommands:\n";
    Table commands;
    for (const Command& command : m_commands)
        if (command.name.compare(0, group.size() + 1, group + " ") == 0)
            commands.AddRow({"  " + command.name, command.summary});
    text += commands.Render();
    text += "\nRun '" + m_program + " help " + group + " <subcommand>' for the options of one.\n";
    return text;
}

std::string Registry::UsageText(const Command* command, const std::string& group) const {
    if (!command && !group.empty())
        return "usage: " + m_program + " " + group + " <subcommand> [options]\nRun '" + m_program + " help " +
               group + "' for the subcommands.\n";
    if (!command)
        return "usage: " + m_program + " [global options] <command> [options]\nRun '" + m_program +
               " --help' for the list of commands.\n";
    std::string text = "usage: " + m_program + " " + command->name;
    if (!command->usage.empty()) text += " " + command->usage;
    return text + "\nRun '" + m_program + " help " + command->name + "' for details.\n";
}

}  // namespace gcsdk
