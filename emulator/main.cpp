// gcemu: runs the emulator until SIGINT or SIGTERM, with a service account and a client settings file
// ready in its state folder; a state folder of the user's own keeps the world between runs.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "emulator/Emulator.h"
#include "emulator/GeneratedWorld.h"
#include "emulator/WorldState.h"

namespace {

constexpr const char* kUsage =
    "usage: gcemu [--port N] [--state-dir DIR] [--world FILE | --generate-world PxZ] [--token-lifetime "
    "SECS]\n"
    "             [--account EMAIL]\n"
    "       gcemu --help | --version\n"
    "A local HTTPS emulator of the Google Cloud APIs GoogleCloudSDKWrapper speaks, until SIGINT or SIGTERM.\n"
    "\n"
    "Options:\n"
    "  --port N              port on 127.0.0.1 (default 0: any free port)\n"
    "  --state-dir DIR       where the CA, settings and key files go, and the world between runs: saved to\n"
    "                        DIR/world-state.json at exit and loaded from it at start, with the service\n"
    "                        account's key kept (default: a temporary folder, removed at exit)\n"
    "  --world FILE          JSON world to start from (default: the built-in world); a saved world in the\n"
    "                        state folder takes its place, and a reset goes back to it\n"
    "  --generate-world PxZ  start from a generated world of P projects seeing Z zones each, with one VM\n"
    "                        (bench-target) in the last zone of the last project (WORLD.md)\n"
    "  --token-lifetime SECS lifetime of access tokens (default 3600)\n"
    "  --account EMAIL       service account to make (default "
    "gcsdk-demo@gcemu-project-1.iam.gserviceaccount.com)\n"
    "  --help, -h            this text\n"
    "  --version             the version\n"
    "\n"
    "Control API (https://localhost:PORT, no authentication; bodies are JSON):\n"
    "  GET    /_gcemu/journal                   the requests received; DELETE empties it\n"
    "  GET    /_gcemu/connections               TLS connections accepted per API host; DELETE empties it\n"
    "  POST   /_gcemu/faults                    inject an HTTP fault; DELETE removes them all\n"
    "  POST   /_gcemu/operations/polls          {\"pollsUntilDone\": N} for Compute operations\n"
    "  POST   /_gcemu/operations/faults         make Compute operations fail; DELETE removes them\n"
    "  POST   /_gcemu/operations/finish         bring every Compute operation to DONE\n"
    "  POST   /_gcemu/spanner/operations/{polls,faults,finish}   the same for Spanner operations\n"
    "  POST   /_gcemu/dataflow/jobs/{polls,faults,finish}        the same for Dataflow jobs\n"
    "  POST   /_gcemu/reset                     the world back to its seed, journal and faults emptied\n"
    "  POST   /_gcemu/service-accounts          {\"email\": ...}: a new account and its key files\n"
    "See gcemu(1); world files and operations: WORLD.md and OPERATIONS.md in the sources' emulator/.\n";

bool ParseNumber(const char* text, long minimum, long maximum, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= minimum && value <= maximum;
}

}  // namespace

int main(int argc, char** argv) {
    gcemu::EmulatorOptions options;
    std::string account = "gcsdk-demo@gcemu-project-1.iam.gserviceaccount.com";
    std::string generatedWorld;  // PxZ
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (option == "--version") {
            std::printf("gcemu %s\n", GCEMU_VERSION);
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "gcemu: %s needs a value\n%s", option.c_str(), kUsage);
            return 2;
        }
        const char* value = argv[++i];
        long number = 0;
        if (option == "--port" && ParseNumber(value, 0, 65535, number)) {
            options.port = static_cast<int>(number);
        } else if (option == "--token-lifetime" && ParseNumber(value, 1, 86400 * 365, number)) {
            options.tokenLifetimeSecs = number;
        } else if (option == "--state-dir") {
            options.stateDir = value;
        } else if (option == "--world" && generatedWorld.empty()) {
            options.worldFile = value;
        } else if (option == "--generate-world" && options.worldFile.empty()) {
            gcemu::WorldSize size;
            if (!gcemu::ParseWorldSize(value, size)) {
                std::fprintf(stderr, "gcemu: --generate-world takes PxZ (1-1000 projects, 1-2600 zones)\n");
                return 2;
            }
            generatedWorld = value;
        } else if (option == "--account") {
            account = value;
        } else {
            std::fprintf(stderr, "gcemu: bad option %s %s\n%s", option.c_str(), value, kUsage);
            return 2;
        }
    }

    // Every thread started from here on leaves SIGINT and SIGTERM to the sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        // The world is read when the emulator is made, so its generated file need not outlive that.
        std::unique_ptr<gcemu::Emulator> made;
        if (!generatedWorld.empty()) {
            gcemu::WorldSize size;
            gcemu::ParseWorldSize(generatedWorld, size);
            const char* tmp = std::getenv("TMPDIR");
            options.worldFile = std::string(tmp && *tmp ? tmp : "/tmp") + "/gcemu-world-" +
                                std::to_string(static_cast<long>(getpid())) + ".json";
            gcemu::WriteGeneratedWorld(size, options.worldFile);
            try {
                made = std::make_unique<gcemu::Emulator>(options);
            } catch (...) {
                std::remove(options.worldFile.c_str());
                throw;
            }
            std::remove(options.worldFile.c_str());
        } else {
            made = std::make_unique<gcemu::Emulator>(options);
        }
        gcemu::Emulator& emulator = *made;
        // Only a folder of the user's own outlives the run; a temporary one goes with it.
        const std::string worldState =
            options.stateDir.empty() ? "" : gcemu::WorldStateFile(emulator.StateDir());
        const bool restored = !worldState.empty() && gcemu::LoadWorldState(emulator, worldState);
        emulator.Start();
        const gcemu::ServiceAccountKey key = gcemu::KeepServiceAccount(emulator, account);
        const std::string settings = emulator.WriteClientSettings();
        const std::string worldLine = worldState.empty()
                                          ? ""
                                          : "  world:            " + worldState +
                                                (restored ? " (restored, " : " (") + "saved at exit)\n";
        std::printf(
            "gcemu listening on https://127.0.0.1:%d (every *.googleapis.com host, routed by Host)\n"
            "  CA certificate:   %s\n"
            "  client settings:  %s\n"
            "  service account:  %s\n"
            "    JSON key:       %s\n"
            "    PKCS#12 key:    %s (password %s)\n"
            "  state folder:     %s%s\n"
            "%s"
            "Point a client at it:\n"
            "  export GCSDK_SETTINGS=%s\n"
            "Control API (no auth): https://localhost:%d/_gcemu/journal, /_gcemu/faults, /_gcemu/reset,\n"
            "  /_gcemu/service-accounts, /_gcemu/operations/{faults,polls,finish} (emulator/OPERATIONS.md),\n"
            "  e.g. curl --cacert %s https://localhost:%d/_gcemu/journal\n"
            "Stop with Ctrl-C.\n",
            emulator.Port(), emulator.CaFile().c_str(), settings.c_str(), key.email.c_str(),
            key.jsonKeyFile.c_str(), key.p12File.c_str(), key.p12Password.c_str(),
            emulator.StateDir().c_str(), options.stateDir.empty() ? " (removed at exit)" : "",
            worldLine.c_str(), settings.c_str(), emulator.Port(), emulator.CaFile().c_str(), emulator.Port());
        std::fflush(stdout);

        int signal = 0;
        sigwait(&stopSignals, &signal);
        std::printf("gcemu: %s received, stopping\n", signal == SIGINT ? "SIGINT" : "SIGTERM");
        emulator.Stop();
        if (!worldState.empty()) {
            gcemu::SaveWorldState(emulator, worldState);
            std::printf("gcemu: world saved to %s\n", worldState.c_str());
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "gcemu: %s\n", error.what());
        return 1;
    }
    return 0;
}
