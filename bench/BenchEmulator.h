// An in-process gcemu for the benchmarks that send requests, with the library's settings pointed at it
// and a service account to sign in with.
#pragma once

#include <memory>
#include <string>

#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "emulator/Emulator.h"

namespace bench {

class BenchEmulator {
public:
    // worldFile: empty for the built-in world.
    explicit BenchEmulator(const std::string& worldFile = "");
    ~BenchEmulator();

    gcemu::Emulator& emulator() { return *m_emulator; }
    const gcemu::ServiceAccountKey& key() const { return m_key; }

    // Points the library at the emulator with the base settings and the extra INI text laid over them.
    void UseSettings(const std::string& extraIni = "");
    // A facade signed in with the service account; aborts when it cannot sign in.
    std::unique_ptr<GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper> Connected();
    // A file name in the emulator's state folder.
    std::string File(const std::string& name) const;

private:
    std::unique_ptr<gcemu::Emulator> m_emulator;
    gcemu::ServiceAccountKey m_key;
};

}  // namespace bench
