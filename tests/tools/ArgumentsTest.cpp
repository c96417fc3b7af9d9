// The command-line machinery of gcsdk: argument parsing and the command registry's reading of a command
// line.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/Table.h"

namespace {

using gcsdk::CommandLine;
using gcsdk::Option;
using gcsdk::ParseArguments;
using gcsdk::ParsedArguments;

const std::vector<Option> kOptions = {
    {"json", "", "flag"},
    {"zone", "Z", "value"},
    {"help", "", "help", 'h'},
    gcsdk::Repeatable("disk", "D", "repeatable value"),
};

struct ParseCase {
    std::vector<std::string> args;
    std::string error;  // empty: parses
    std::string zone;   // the zone read, when it parses
    std::vector<std::string> positional;
};

TEST(ArgumentsTest, ParsesFlagsValuesAndPositionalArguments) {
    const ParseCase cases[] = {
        {{}, "", "", {}},
        {{"--zone", "z1"}, "", "z1", {}},
        {{"--zone=z1"}, "", "z1", {}},
        {{"--zone=a=b"}, "", "a=b", {}},  // only the first '=' splits
        // A second value is a mistake, not a correction; a flag twice is the flag.
        {{"--zone", "z1", "--zone", "z2"}, "option --zone is given twice; it takes one value", "", {}},
        {{"--zone=z1", "--zone=z1"}, "option --zone is given twice; it takes one value", "", {}},
        {{"--json", "--zone", "z1", "--json"}, "", "z1", {}},
        {{"a", "--json", "b"}, "", "", {"a", "b"}},
        {{"-"}, "", "", {"-"}},
        {{"--", "--zone", "x"}, "", "", {"--zone", "x"}},
        {{"--zone", "-1"}, "", "-1", {}},
        {{"--bogus"}, "unknown option --bogus", "", {}},
        {{"--bogus=1"}, "unknown option --bogus", "", {}},
        {{"-x"}, "unknown option -x", "", {}},
        {{"-hh"}, "unknown option -hh", "", {}},
        {{"--zone"}, "option --zone needs a value (Z)", "", {}},
        {{"--zone", "--json"}, "option --zone needs a value (Z)", "", {}},
        {{"--zone="}, "option --zone needs a value (Z)", "", {}},
        {{"--json=yes"}, "option --json takes no value", "", {}},
    };
    for (const ParseCase& c : cases) {
        ParsedArguments parsed;
        auto outcome = ParseArguments(c.args, 0, kOptions, parsed);
        std::string shown = ::testing::PrintToString(c.args);
        EXPECT_EQ(outcome.ok, c.error.empty()) << shown;
        EXPECT_EQ(outcome.error, c.error) << shown;
        if (!outcome.ok) continue;
        EXPECT_EQ(parsed.Value("zone"), c.zone) << shown;
        EXPECT_EQ(parsed.Positional(), c.positional) << shown;
    }

    ParsedArguments parsed;
    ASSERT_TRUE(ParseArguments({"-h", "--json"}, 0, kOptions, parsed).ok);
    EXPECT_TRUE(parsed.Has("help") && parsed.Has("json") && !parsed.Has("zone"));
    EXPECT_EQ(parsed.Value("zone", "fallback"), "fallback");
}

TEST(ArgumentsTest, KeepsEveryValueOfARepeatedOption) {
    ParsedArguments parsed;
    ASSERT_TRUE(ParseArguments({"--disk", "a", "--json", "--disk=b", "--disk", "a"}, 0, kOptions, parsed).ok);
    EXPECT_EQ(parsed.Values("disk"), (std::vector<std::string>{"a", "b", "a"}));
    EXPECT_EQ(parsed.Value("disk"), "a");
    EXPECT_EQ(parsed.Values("json"), std::vector<std::string>{""});
    EXPECT_TRUE(parsed.Values("help").empty());
}

class RegistryTest : public ::testing::Test {
protected:
    RegistryTest()
        : registry("tool", {{"json", "", "json"}, {"key-file", "FILE", "key"}, {"help", "", "help", 'h'}}) {
        gcsdk::Command vms;
        vms.name = "vms";
        vms.summary = "List VMs";
        vms.usage = "[--zone Z]";
        vms.options = {{"zone", "Z", "zone"}};
        vms.run = [](const gcsdk::Invocation&) { return 0; };
        registry.Add(vms);
        gcsdk::Command copy;
        copy.name = "copy";
        copy.summary = "Copy";
        copy.maxPositional = 1;
        registry.Add(copy);
        for (const char* name : {"disk attach", "disk delete", "disk labels set"}) {
            gcsdk::Command sub;
            sub.name = name;
            sub.summary = std::string("Disk ") + (name + 5);
            sub.options = {{"name", "D", "disk"}};
            registry.Add(sub);
        }
    }
    gcsdk::Registry registry;
};

TEST_F(RegistryTest, ReadsTheCommandLine) {
    using Action = CommandLine::Action;
    struct Case {
        std::vector<std::string> args;
        Action action;
        std::string command;  // empty: none
        std::string error;
    };
    const Case cases[] = {
        {{"vms"}, Action::kRun, "vms", ""},
        {{"--json", "vms", "--zone", "z", "--key-file=k"}, Action::kRun, "vms", ""},
        {{"copy", "a"}, Action::kRun, "copy", ""},
        {{"--help"}, Action::kHelp, "", ""},
        {{"-h", "vms"}, Action::kHelp, "", ""},
        {{"help"}, Action::kHelp, "", ""},
        {{"help", "vms"}, Action::kHelp, "vms", ""},
        {{"vms", "--help"}, Action::kHelp, "vms", ""},
        {{"vms", "--bogus", "-h"}, Action::kHelp, "vms", ""},  // help wins over a mistake
        {{"vms", "--", "-h"}, Action::kUsageError, "vms", "unexpected argument '-h'"},
        {{}, Action::kUsageError, "", "no command given"},
        {{"--json"}, Action::kUsageError, "", "no command given"},
        {{"nope"}, Action::kUsageError, "", "unknown command 'nope'"},
        {{"help", "nope"}, Action::kUsageError, "", "unknown command 'nope'"},
        {{"help", "vms", "copy"}, Action::kUsageError, "", "help takes one command name"},
        {{"--zone", "z", "vms"}, Action::kUsageError, "", "unknown option --zone"},  // a command option first
        // A global option before and after the command is given twice all the same.
        {{"--key-file", "a", "vms", "--key-file=b"},
         Action::kUsageError,
         "vms",
         "option --key-file is given twice; it takes one value"},
        {{"vms", "--zone", "a", "--zone", "b"},
         Action::kUsageError,
         "vms",
         "option --zone is given twice; it takes one value"},
        {{"vms", "--bogus"}, Action::kUsageError, "vms", "unknown option --bogus"},
        {{"vms", "extra"}, Action::kUsageError, "vms", "unexpected argument 'extra'"},
        {{"copy", "a", "b"}, Action::kUsageError, "copy", "unexpected argument 'b'"},
        // Groups: the second word picks the subcommand.
        {{"disk", "attach", "--name", "d"}, Action::kRun, "disk attach", ""},
        {{"--json", "disk", "delete"}, Action::kRun, "disk delete", ""},
        {{"disk", "attach", "--help"}, Action::kHelp, "disk attach", ""},
        {{"help", "disk", "attach"}, Action::kHelp, "disk attach", ""},
        {{"disk"}, Action::kUsageError, "", "'disk' takes a subcommand: attach, delete, labels"},
        {{"disk", "--name", "d"},
         Action::kUsageError,
         "",
         "'disk' takes a subcommand: attach, delete, labels"},
        {{"disk", "nope"},
         Action::kUsageError,
         "",
         "unknown command 'disk nope'; 'disk' takes a subcommand: attach, delete, labels"},
        {{"help", "disk", "nope"}, Action::kUsageError, "", "unknown command 'disk nope'"},
        {{"disk", "attach", "delete"}, Action::kUsageError, "disk attach", "unexpected argument 'delete'"},
        // A group within a group: the third word picks the subcommand.
        {{"disk", "labels", "set", "--name", "d"}, Action::kRun, "disk labels set", ""},
        {{"help", "disk", "labels", "set"}, Action::kHelp, "disk labels set", ""},
        {{"disk", "labels"}, Action::kUsageError, "", "'disk labels' takes a subcommand: set"},
        {{"disk", "labels", "nope"},
         Action::kUsageError,
         "",
         "unknown command 'disk labels nope'; 'disk labels' takes a subcommand: set"},
    };
    for (const Case& c : cases) {
        CommandLine line = registry.Parse(c.args);
        std::string shown = ::testing::PrintToString(c.args);
        EXPECT_EQ(line.action, c.action) << shown;
        EXPECT_EQ(line.command ? line.command->name : "", c.command) << shown;
        EXPECT_EQ(line.error, c.error) << shown;
    }
    for (const auto& args : {std::vector<std::string>{"disk"}, {"help", "disk"}, {"disk", "-h"}}) {
        CommandLine group = registry.Parse(args);
        EXPECT_EQ(group.group, "disk") << ::testing::PrintToString(args);
        EXPECT_EQ(group.command, nullptr);
    }
    for (const auto& args : {std::vector<std::string>{"help", "disk", "labels"}, {"disk", "labels", "-h"}}) {
        CommandLine group = registry.Parse(args);
        EXPECT_EQ(group.action, Action::kHelp) << ::testing::PrintToString(args);
        EXPECT_EQ(group.group, "disk labels") << ::testing::PrintToString(args);
    }
    CommandLine line = registry.Parse({"--json", "vms", "--zone", "z", "--key-file=k"});
    EXPECT_TRUE(line.args.Has("json"));
    EXPECT_EQ(line.args.Value("zone"), "z");
    EXPECT_EQ(line.args.Value("key-file"), "k");
}

TEST_F(RegistryTest, HelpAndUsageNameEveryCommandAndOption) {
    const std::string help = registry.HelpText();
    for (const char* text :
         {"usage: tool [global options] <command> [options]", "  vms              List VMs",
          "  copy             Copy", "--key-file FILE", "-h, --help"})
        EXPECT_NE(help.find(text), std::string::npos) << text << "\n" << help;
    const std::string vmsHelp = registry.HelpText(*registry.Find("vms"));
    EXPECT_EQ(vmsHelp.rfind("usage: tool vms [--zone Z]\n", 0), 0u) << vmsHelp;
    EXPECT_NE(vmsHelp.find("--key-file"), std::string::npos) << "global options are named";

    std::ostringstream out, err;
    ParsedArguments none;
    gcsdk::Invocation invocation{registry, *registry.Find("vms"), none, out, err};
    EXPECT_EQ(invocation.UsageError("bad"), gcsdk::kExitUsage);
    EXPECT_EQ(err.str(), "tool: bad\nusage: tool vms [--zone Z]\nRun 'tool help vms' for details.\n");
}

TEST_F(RegistryTest, GroupsHaveTheirOwnHelpAndUsage) {
    EXPECT_EQ(registry.GroupHelpText("disk"),
              "usage: tool disk <subcommand> [options]\n\nSubcommands:\n"
              "  disk attach      Disk attach\n  disk delete      Disk delete\n"
              "  disk labels set  Disk labels set\n\n"
              "Run 'tool help disk <subcommand>' for the options of one.\n");
    EXPECT_EQ(registry.UsageText(nullptr, "disk"),
              "usage: tool disk <subcommand> [options]\nRun 'tool help disk' for the subcommands.\n");
    EXPECT_NE(registry.HelpText().find("\n  disk attach      Disk attach\n"), std::string::npos)
        << registry.HelpText();
    EXPECT_TRUE(registry.IsGroup("disk"));
    EXPECT_TRUE(registry.IsGroup("disk labels"));
    EXPECT_FALSE(registry.IsGroup("vms"));
    EXPECT_FALSE(registry.IsGroup("dis"));
    EXPECT_FALSE(registry.IsGroup("disk attach"));

    // A word is a command or a group, not both; a name has at most three words.
    gcsdk::Command clash;
    for (const char* name : {"disk", "disk labels", "vms list", "disk attach now", "a b c d"}) {
        clash.name = name;
        EXPECT_THROW(registry.Add(clash), std::logic_error) << name;
    }
}
}  // namespace
