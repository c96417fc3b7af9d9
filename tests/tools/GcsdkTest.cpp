// The gcsdk binary against gcemu: its command line, help, sign-in, settings and the emulator command. Run as
// a child process with the emulator's settings and key files, judged by its exit status and what it prints.
#include <signal.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "emulator/CertificateAuthority.h"
#include "emulator/ClientFiles.h"
#include "host/ZkJson.h"
#include "tests/tools/GcsdkFixture.h"

namespace {

using namespace gcsdktest;

TEST_F(GcsdkTest, UsageErrorsExitTwoWithTheUsage) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
        std::string usage;
    };
    // The parsing itself is unit-tested; here the wiring, and the checks each command makes.
    const Case cases[] = {
        {{}, "gcsdk: no command given", "usage: gcsdk [global options] <command> [options]"},
        {{"projects", "--bogus"}, "gcsdk: unknown option --bogus", "usage: gcsdk projects"},
        {{"vms", "--zone", "z", "--region", "r"},
         "gcsdk: give at most one of --zone, --region and --label",
         "usage: gcsdk vms"},
        {{"vms", "--project", "p", "--project-pattern", "p*"},
         "gcsdk: give --project or --project-pattern, not both",
         "usage: gcsdk vms"},
        {{"vms", "--project-pattern", "p*", "--zone", "z"},
         "gcsdk: --zone, --region and --label take an exact --project, not a pattern",
         "usage: gcsdk vms"},
        {{"vms", "--label", "=v"}, "gcsdk: --label takes KEY=VALUE, got '=v'", "usage: gcsdk vms"},
        // The library matches one label: a second is refused, not silently the only one.
        {{"vms", "--label", "a=b", "--label", "c=d"},
         "gcsdk: option --label is given twice; it takes one value",
         "usage: gcsdk vms"},
        {{"--settings", "a.ini", "projects", "--settings", "b.ini"},
         "gcsdk: option --settings is given twice; it takes one value",
         "usage: gcsdk projects"},
        {{"find"}, "gcsdk: give --guid ID, or --name NAME --project P", "usage: gcsdk find"},
        // Checked before any request: a GUID, a pattern, a name.
        {{"find", "--guid", "12ab"},
         "gcsdk: --guid '12ab' is not a VM GUID (a decimal number)",
         "usage: gcsdk find"},
        {{"find", "--name", "Web_1", "--project", "p"},
         "gcsdk: --name 'Web_1' is not a Compute Engine name (lowercase letters, digits and '-', starting "
         "with a "
         "letter, not ending with '-', at most 63 characters)",
         "usage: gcsdk find"},
        {{"vms", "--project-pattern", "gcemu-["},
         "gcsdk: --project-pattern 'gcemu-[' is not a pattern: the '[' at position 7 is not closed by a ']'",
         "usage: gcsdk vms"},
        {{"vms", "--project", "["},
         "gcsdk: --project '[' is not a pattern: the '[' at position 1 is not closed by a ']'",
         "usage: gcsdk vms"},
        {{"vms", "--label", "env=pr[od"},
         "gcsdk: --label 'env=pr[od' is not a pattern: the '[' at position 3 is not closed by a ']'",
         "usage: gcsdk vms"},
        {{"find", "--name", "vm"}, "gcsdk: --name needs --project (or give --guid)", "usage: gcsdk find"},
        {{"find", "--guid", "1", "--zone", "z"},
         "gcsdk: --project and --zone go with --name alone; --guid searches every project",
         "usage: gcsdk find"},
        {{"--key-file", "k.json", "--p12", "k.p12", "projects"},
         "gcsdk: give --key-file or --p12, not both",
         "usage: gcsdk projects"},
        {{"emulator", "--port", "70000"},
         "gcsdk: --port takes a number from 0 to 65535, got '70000'",
         "usage: gcsdk emulator"},
    };
    for (const Case& c : cases) {
        Result result = Run(c.args);
        EXPECT_EQ(result.status, 2) << Shown(c.args, result);
        EXPECT_EQ(result.err.rfind(c.message + "\n", 0), 0u) << Shown(c.args, result);
        EXPECT_TRUE(Contains(result.err, "\n" + c.usage)) << Shown(c.args, result);
        EXPECT_EQ(result.out, "") << Shown(c.args, result);
    }

    Result noCredentials = RunBare({"projects"});
    EXPECT_EQ(noCredentials.status, 2) << Shown({"projects"}, noCredentials);
    EXPECT_TRUE(Contains(noCredentials.err, "gcsdk: no credentials: give --key-file FILE"))
        << noCredentials.err;
}

TEST_F(GcsdkTest, HelpWorksEverywhere) {
    struct Case {
        std::vector<std::string> args;
        std::string first;  // the help's first line
    };
    const Case cases[] = {
        {{"--help"}, "usage: gcsdk [global options] <command> [options]"},
        {{"help"}, "usage: gcsdk [global options] <command> [options]"},
        {{"help", "vms"},
         "usage: gcsdk vms [--project P | --project-pattern PATTERN] [--zone Z | --region R | "
         "--label KEY=VALUE]"},
        {{"find", "-h"}, "usage: gcsdk find --guid ID [--name NAME] | --name NAME --project P [--zone Z]"},
        {{"zones", "--bogus", "--help"}, "usage: gcsdk zones [--project P]"},
        {{"emulator", "--help"}, "usage: gcsdk emulator [--port N]"},
        {{"help", "disk"}, "usage: gcsdk disk <subcommand> [options]"},
        {{"disk", "attach", "-h"}, "usage: gcsdk disk attach --project P --name D --vm V --zone Z"},
        {{"restore", "--help"}, "usage: gcsdk restore --project P --config FILE --name NEW --zone Z"},
    };
    for (const Case& c : cases) {
        Result result = RunBare(c.args);
        EXPECT_EQ(result.status, 0) << Shown(c.args, result);
        EXPECT_EQ(result.out.rfind(c.first, 0), 0u) << Shown(c.args, result);
        EXPECT_EQ(result.err, "") << Shown(c.args, result);
    }
    const std::string help = RunBare({"--help"}).out;
    for (const char* command :
         {"projects", "zones", "regions", "vms", "find", "snapshot", "snapshots list", "disk from-snapshot",
          "vm stop", "buckets list", "objects list", "object get", "restore", "deploy", "demo", "emulator"})
        EXPECT_TRUE(Contains(help, "\n  " + std::string(command) + " ")) << command << "\n" << help;
}

TEST_F(GcsdkTest, RefusedSignInShowsTheLibrarysErrorAndCode) {
    // The suite's account with a key the emulator never saw.
    const std::string wrongPem = gcemu::GenerateRsaKeyPem();
    const std::string wrongKey = m_dir.Write(
        "wrong.json", gcemu::ServiceAccountJson(Key().email, wrongPem, std::string(40, 'a'), "123"));
    GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper library;
    ASSERT_FALSE(library.Connect("", Key().email, wrongPem));
    ASSERT_FALSE(library.GetLastError().empty());

    const std::vector<std::string> args = {"--key-file", wrongKey, "projects"};
    Result result = Run(args);
    EXPECT_EQ(result.status, 1) << Shown(args, result);
    EXPECT_TRUE(Contains(result.err, "gcsdk: signing in as " + Key().email + " with the key file " +
                                         wrongKey + ": " + library.GetLastError() + " (" +
                                         library.GetLastErrorCode() + ")\n"))
        << Shown(args, result) << "\nlibrary: " << library.GetLastError() << " ("
        << library.GetLastErrorCode() << ")";
    EXPECT_EQ(result.out, "");

    // Neither the key nor a PKCS#12 password ever shows, --verbose or not.
    const std::string keyLine = wrongPem.substr(wrongPem.find('\n') + 1, 40);
    const std::vector<std::string> verbose = {"--verbose", "--key-file", wrongKey, "projects"};
    result = Run(verbose);
    EXPECT_EQ(result.status, 1) << Shown(verbose, result);
    EXPECT_TRUE(Contains(result.err, "gcsdk: debug")) << "the library's debug lines: " << result.err;
    EXPECT_FALSE(Contains(result.err + result.out, keyLine)) << Shown(verbose, result);

    const std::vector<std::string> p12 = {"--verbose", "--p12",      Key().p12File,       "--email",
                                          Key().email, "--password", "wrong-Password-42", "projects"};
    result = Run(p12);
    EXPECT_EQ(result.status, 1) << Shown(p12, result);
    EXPECT_TRUE(Contains(result.err, "gcsdk: signing in as " + Key().email + " with the PKCS#12 file "))
        << result.err;
    EXPECT_FALSE(Contains(result.err + result.out, "wrong-Password-42")) << Shown(p12, result);
}

// A key that cannot be read fails (1); a settings file that is missing or broken is refused (2) before any
// request, since it must never send a real credential to the real endpoints.
TEST_F(GcsdkTest, UnreadableKeysFailAndBrokenSettingsAreRefusedBeforeAnyRequest) {
    const std::string missing = m_dir.File("missing");
    const std::string emulator = ReadFile(m_settings);
    const std::string typo = m_dir.Write("typo.ini", emulator + "sConectTo=127.0.0.1:1\n");
    const std::string range = m_dir.Write("range.ini", emulator + "nHttpConnectTimeoutSecs=0\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {{"--key-file", missing, "projects"},
         1,
         "gcsdk: reading key file " + missing + ": No such file or directory\n"},
        {{"--key-file", m_dir.path(), "projects"},
         1,
         "gcsdk: reading key file " + m_dir.path() + ": it is a directory, not a key file\n"},
        {{"--settings", missing, "projects"},
         2,
         "gcsdk: settings file " + missing + ": No such file or directory\n"},
        {{"--settings", m_dir.path(), "projects"},
         2,
         "gcsdk: settings file " + m_dir.path() + ": not a regular file\n"},
        // An emulator's settings with a mistyped key, or a number out of its range.
        {{"--settings", typo, "projects"},
         2,
         "gcsdk: settings file [" + typo + "]: [GoogleCloud] has no key [sConectTo]\n"},
        {{"--settings", range, "projects"},
         2,
         "gcsdk: settings file [" + range +
             "]: [GoogleCloud] nHttpConnectTimeoutSecs = [0] is not a number from 1 "
             "to 3600\n"},
    };
    const size_t before = Emulator().journal().size();
    for (const Case& c : cases) {
        Result result = Run(c.args);
        EXPECT_EQ(result.status, c.status) << Shown(c.args, result);
        EXPECT_EQ(result.err, c.err) << Shown(c.args, result);
        EXPECT_EQ(result.out, "") << Shown(c.args, result);
    }
    Result result = Run({"projects"}, {{"GCSDK_SETTINGS", missing}});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err,
              "gcsdk: settings file " + missing + " (GCSDK_SETTINGS): No such file or directory\n");
    EXPECT_EQ(Emulator().journal().size(), before);
}

// The emulator command: the commands it prints work against it, and Ctrl-C stops it cleanly.
TEST_F(GcsdkTest, EmulatorCommandServesUntilInterrupted) {
    Child emulator(m_dir, {"emulator", "--state-dir", m_dir.File("state")}, {});
    ASSERT_TRUE(emulator.WaitForOutput("Stop with Ctrl-C.\n")) << emulator.Out() << emulator.Err();

    // "  gcsdk --settings S --key-file K projects", run as printed.
    const std::string out = emulator.Out();
    const size_t at = out.find("\n  gcsdk --settings ");
    ASSERT_NE(at, std::string::npos) << out;
    std::vector<std::string> words;
    const std::string line = out.substr(at + 3, out.find('\n', at + 1) - at - 3);
    for (size_t from = 0; from <= line.size();) {
        const size_t space = std::min(line.find(' ', from), line.size());
        words.push_back(line.substr(from, space - from));
        from = space + 1;
    }
    ASSERT_EQ(words.size(), 6u) << line;
    EXPECT_EQ(words[1], "--settings");
    EXPECT_EQ(words[2].rfind(m_dir.File("state") + "/", 0), 0u) << line;
    EXPECT_TRUE(Contains(ReadFile(words[2]), "sGuidCacheFile=" + m_dir.File("state") + "/"))
        << "a GUID cache of its own";
    Result projects = RunBare(std::vector<std::string>(words.begin() + 1, words.end()));
    EXPECT_EQ(projects.status, 0) << projects.err;
    EXPECT_TRUE(Contains(projects.out, "\ngcemu-project-1 ")) << projects.out;

    emulator.Signal(SIGINT);
    Result stopped = emulator.Finish(std::chrono::seconds(30));
    EXPECT_EQ(stopped.status, 0) << stopped.err;
    EXPECT_TRUE(Contains(stopped.err, "gcsdk: SIGINT received, emulator stopped\n")) << stopped.err;

    // A GCSDK_SETTINGS left over from an emulator that has gone does not stop the next one.
    Child json(m_dir, {"emulator", "--json"}, {{"GCSDK_SETTINGS", m_dir.File("gone/gcsdk.ini")}});
    ASSERT_TRUE(json.WaitForOutput("}\n")) << json.Err();
    json_spirit::mObject started;
    ASSERT_TRUE(ZkJson::Unserialize(json.Out(), started)) << json.Out();
    EXPECT_GT(ZkJson::GetIntValue(started, "port"), 0);
    for (const char* member : {"settingsFile", "keyFile", "p12File", "stateDir", "caFile", "account"})
        EXPECT_FALSE(ZkJson::GetStringValue(started, member).empty()) << member;
    json.Signal(SIGTERM);
    stopped = json.Finish(std::chrono::seconds(30));
    EXPECT_EQ(stopped.status, 0) << stopped.err;
    EXPECT_TRUE(Contains(stopped.err, "SIGTERM received")) << stopped.err;
}

}  // namespace
