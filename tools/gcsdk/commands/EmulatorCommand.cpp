// emulator: gcemu in this process, with a service account and a settings file ready, until Ctrl-C.
#include <pthread.h>
#include <signal.h>

#include <cstdlib>
#include <exception>
#include <ostream>

#include "cli/Output.h"
#include "commands/Commands.h"
#include "emulator/Emulator.h"

namespace gcsdk {

namespace {

constexpr const char* kDefaultAccount = "gcsdk-demo@gcemu-project-1.iam.gserviceaccount.com";

bool ParsePort(const std::string& text, int& port) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || value < 0 || value > 65535) return false;
    port = static_cast<int>(value);
    return true;
}

int RunEmulator(const Invocation& invocation) {
    const ParsedArguments& args = invocation.args;
    gcemu::EmulatorOptions options;
    if (args.Has("port") && !ParsePort(args.Value("port"), options.port))
        return invocation.UsageError("--port takes a number from 0 to 65535, got '" + args.Value("port") +
                                     "'");
    options.stateDir = args.Value("state-dir");
    options.worldFile = args.Value("world");
    const std::string account = args.Value("account", kDefaultAccount);

    // Blocked before the server starts its threads, so that every thread leaves them to sigwait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const std::string& program = invocation.registry.Program();
    try {
        gcemu::Emulator emulator(options);
        emulator.Start();
        const gcemu::ServiceAccountKey key = emulator.MakeServiceAccount(account);
        // A GUID cache of its own, so that emulated VMs never land in the cache of real ones; operations
        // polled every second, since the emulator's take a poll or two, not minutes.
        const std::string settings = emulator.WriteClientSettings(
            "", "[GoogleCloud]\nsGuidCacheFile=" + emulator.StateDir() +
                    "/guidcache.db\n[VirtualServer]\nnGoogleCloudOperationWaitTime=1\n"
                    "nGoogleSnapshotPollingInSecs=1\nnGoogleOperationRetryIntervalInSeconds=1\n");

        if (invocation.Json()) {
            json_spirit::mObject object;
            object["port"] = emulator.Port();
            object["settingsFile"] = settings;
            object["keyFile"] = key.jsonKeyFile;
            object["p12File"] = key.p12File;
            object["p12Password"] = key.p12Password;
            object["account"] = key.email;
            object["caFile"] = emulator.CaFile();
            object["stateDir"] = emulator.StateDir();
            PrintJson(invocation, object);
        } else {
            invocation.out << "gcemu listening on https://127.0.0.1:" << emulator.Port() << "\n"
                           << "  settings file:  " << settings << "\n"
                           << "  JSON key file:  " << key.jsonKeyFile << " (" << key.email << ")\n"
                           << "  PKCS#12 file:   " << key.p12File << " (password " << key.p12Password << ")\n"
                           << "  state folder:   " << emulator.StateDir()
                           << (options.stateDir.empty() ? " (removed when the emulator stops)" : "") << "\n"
                           << "In another shell:\n"
                           << "  " << program << " --settings " << ShellWord(settings) << " --key-file "
                           << ShellWord(key.jsonKeyFile) << " projects\n"
                           << "or\n"
                           << "  export GCSDK_SETTINGS=" << ShellWord(settings)
                           << " GCSDK_KEY_FILE=" << ShellWord(key.jsonKeyFile) << "\n"
                           << "  " << program << " vms\n"
                           << "Stop with Ctrl-C." << std::endl;
        }

        int signal = 0;
        sigwait(&stopSignals, &signal);
        emulator.Stop();
        invocation.err << program << ": " << (signal == SIGINT ? "SIGINT" : "SIGTERM")
                       << " received, emulator stopped" << std::endl;
    } catch (const std::exception& error) {
        invocation.err << program << ": running the emulator: " << error.what() << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

void AddEmulatorCommand(Registry& registry) {
    Command emulator;
    emulator.name = "emulator";
    emulator.summary = "Run gcemu, the local emulator of the Google APIs, until Ctrl-C";
    emulator.usage = "[--port N] [--state-dir DIR] [--world FILE] [--account EMAIL]";
    emulator.description = "Prints the settings file and the key files that point " + registry.Program() +
                           " at it. With --json, prints them as one\nJSON object instead.";
    emulator.options = {
        {"port", "N", "port on 127.0.0.1 (default 0: any free port)"},
        {"state-dir", "DIR", "folder for the CA, settings and keys (default: a temporary one)"},
        {"world", "FILE", "JSON world to start from (default: the built-in world)"},
        {"account", "EMAIL", std::string("service account to make (default ") + kDefaultAccount + ")"},
    };
    emulator.offline = true;
    emulator.run = RunEmulator;
    registry.Add(std::move(emulator));
}

}  // namespace gcsdk
