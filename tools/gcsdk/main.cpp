// gcsdk: the command-line tool over CGoogleCloudSDKWrapper.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>

#include "cli/Command.h"
#include "cli/LogSink.h"
#include "commands/Commands.h"
#include "host/HbDebug.h"
#include "host/Settings.h"
#include "host/ZKPlatformInfo.h"

namespace {

using namespace gcsdk;

Registry MakeRegistry() {
    Registry registry("gcsdk",
                      {
                          {"settings", "FILE", "settings file (default: $GCSDK_SETTINGS)"},
                          {"key-file", "FILE", "Google JSON service-account key (default: $GCSDK_KEY_FILE)"},
                          {"p12", "FILE", "PKCS#12 key file, with --email and --password"},
                          {"email", "EMAIL", "service account of the PKCS#12 key"},
                          {"password", "PASS",
                           "password of the PKCS#12 key (default: $GCSDK_P12_PASSWORD, which other users "
                           "cannot see in the process list)"},
                          {"json", "", "print JSON for scripts instead of tables"},
                          {"verbose", "", "print the library's debug log to stderr"},
                          {"help", "", "show help", 'h'},
                      });
    AddProjectCommands(registry);
    AddLocationCommands(registry);
    AddVmCommands(registry);
    AddSnapshotCommands(registry);
    AddDiskCommands(registry);
    AddDiskKeyAndLabelCommands(registry);
    AddKeyCommands(registry);
    AddInstanceCommands(registry);
    AddStorageCommands(registry);
    AddDatabaseCommands(registry);
    AddSpannerCopyCommands(registry);
    AddRestoreCommands(registry);
    AddDemoCommand(registry);
    AddEmulatorCommand(registry);
    registry.SetNotes(
        "Exit status: 0 success; 1 failure (the message ends with the library's error and code); 2 a wrong\n"
        "command line or settings file (nothing was sent); 3 a partial list (some projects, zones or "
        "regions\n"
        "could not be listed: each is named on stderr, and --json prints {\"items\": [...], \"failures\":\n"
        "[...]} instead of the array).\n"
        "\n"
        "Files gcsdk writes ('snapshot --save-config', 'object get --output') may hold secrets (metadata\n"
        "holds startup scripts): they are made readable by their owner only (0600), and one that is\n"
        "overwritten is narrowed to that. So is a new log file named by sLogFile in the settings; an "
        "existing\n"
        "one is appended to as it is. The library's log goes there, and with --verbose to stderr; it goes "
        "to\n"
        "stderr otherwise only when sLogFile cannot be opened.\n"
        "\n"
        "'gcsdk --version' prints the version.\n");
    return registry;
}

// A named settings file that is not there would silently leave every default, the real Google
// endpoints included; refuse it instead.
bool IsRegularFile(const std::string& path, std::string& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "not a regular file";
        return false;
    }
    return true;
}

int Run(const std::vector<std::string>& args) {
    // The library's lines are for --verbose and for the one-line failure: a command that succeeds prints
    // none of them. A log file named in the settings still gets them.
    host::SetProcessLogOnStderr(false);
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "gcsdk " << GCSDK_VERSION << '\n';
        return kExitOk;
    }
    const Registry registry = MakeRegistry();
    const CommandLine line = registry.Parse(args);
    switch (line.action) {
        case CommandLine::Action::kHelp:
            std::cout << (line.command          ? registry.HelpText(*line.command)
                          : !line.group.empty() ? registry.GroupHelpText(line.group)
                                                : registry.HelpText());
            return kExitOk;
        case CommandLine::Action::kUsageError:
            std::cerr << registry.Program() << ": " << line.error << '\n'
                      << registry.UsageText(line.command, line.group);
            return kExitUsage;
        case CommandLine::Action::kRun:
            break;
    }

    const char* fromEnvironment = std::getenv("GCSDK_SETTINGS");
    const std::string settings =
        line.args.Has("settings") ? line.args.Value("settings") : (fromEnvironment ? fromEnvironment : "");
    std::string error;
    // A stale GCSDK_SETTINGS (of an emulator that has gone) must not stop one that talks to no cloud.
    const bool checked = line.args.Has("settings") || !line.command->offline;
    if (!settings.empty() && checked && !IsRegularFile(settings, error)) {
        std::cerr << registry.Program() << ": settings file " << settings
                  << (line.args.Has("settings") ? "" : " (GCSDK_SETTINGS)") << ": " << error << '\n';
        return kExitUsage;
    }
    if (line.args.Has("settings")) {
        ZKPlatformInfo::SetSettingsFile(settings);
        host::ReloadLogSettings();
    }
    // A broken settings file (an unknown key, a number out of range) would leave a default in place: an
    // emulator's, mistyped, would send a real key to the real endpoints. Nothing goes out then.
    if (checked) {
        const std::vector<std::string> problems = host::settings::Problems();
        for (const std::string& problem : problems)
            std::cerr << registry.Program() << ": " << problem << '\n';
        if (!problems.empty()) return kExitUsage;
    }
    std::unique_ptr<ScopedLogSink> verbose;
    if (line.args.Has("verbose")) verbose = VerboseLog(std::cerr);

    const Invocation invocation{registry,  *line.command, line.args,
                                std::cout, std::cerr,     isatty(STDOUT_FILENO) == 1};
    return line.command->run(invocation);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& error) {
        std::cerr << "gcsdk: " << error.what() << '\n';
        return kExitFailure;
    }
}
