#include "BenchEmulator.h"

#include <cstdio>
#include <cstdlib>

#include "host/HbDebug.h"
#include "host/ZKPlatformInfo.h"

namespace bench {

namespace {

// Operations and retries without waits; nothing logged but errors, as an agent runs.
const char kBaseSettings[] =
    "[VirtualServer]\n"
    "nGoogleCloudOperationWaitTime=0\n"
    "nGoogleOperationRetryIntervalInSeconds=0\n"
    "nGoogleSnapshotPollingInSecs=0\n";

}  // namespace

BenchEmulator::BenchEmulator(const std::string& worldFile) {
    gcemu::EmulatorOptions options;
    options.worldFile = worldFile;
    m_emulator = std::make_unique<gcemu::Emulator>(options);
    m_emulator->Start();
    m_key = m_emulator->MakeServiceAccount("gcsdk-bench@gcemu-project-1.iam.gserviceaccount.com");
    UseSettings();
}

BenchEmulator::~BenchEmulator() {
    ZKPlatformInfo::SetSettingsFile(std::string());
    host::ReloadLogSettings();
}

void BenchEmulator::UseSettings(const std::string& extraIni) {
    const std::string path = m_emulator->WriteClientSettings(File("gcsdk.ini"), kBaseSettings + extraIni);
    ZKPlatformInfo::SetSettingsFile(path);
    host::ReloadLogSettings();
}

std::unique_ptr<GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper> BenchEmulator::Connected() {
    auto facade = std::make_unique<GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper>();
    if (!facade->Init() || !facade->Connect("", m_key.email, m_key.privateKeyPem)) {
        std::fprintf(stderr, "bench: cannot sign in to gcemu: %s\n", facade->GetLastError().c_str());
        std::abort();
    }
    return facade;
}

std::string BenchEmulator::File(const std::string& name) const {
    return m_emulator->StateDir() + "/" + name;
}

}  // namespace bench
