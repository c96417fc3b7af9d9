// Emulator-backed tests: one emulator per test suite on an ephemeral port, its world reset before
// every test, the process's settings pointed at it, and a service account to sign in with.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "emulator/Emulator.h"
#include "tests/support/TempDir.h"

namespace testsupport {

class EmulatorTest : public ::testing::Test {
public:
    static void SetUpTestSuite();
    static void TearDownTestSuite();

protected:
    // The world reset, the journal and faults emptied, the default settings written again.
    void SetUp() override;
    void TearDown() override;

    // Starts the suite's emulator with these options (SetUpTestSuite uses the defaults).
    static void StartEmulator(const gcemu::EmulatorOptions& options);

    static gcemu::Emulator& Emulator() { return *s_emulator; }
    static const gcemu::ServiceAccountKey& Key() { return s_key; }

    // Settings for the library: the emulator's connect-to and CA, a GUID cache of the test's own,
    // operation waits of 0, and the extra INI text given.
    void UseSettings(const std::string& extraIni = "");

    // A facade signed in with the JSON key of the suite's service account.
    std::unique_ptr<GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper> Connected();

    // Requests the emulator received with that method, on that host, whose path starts with the prefix.
    size_t Requests(const std::string& method, const std::string& host, const std::string& pathPrefix = "");

    static const char* AccountEmail() { return "gcsdk-tests@gcemu-project-1.iam.gserviceaccount.com"; }

    // The GUID cache the suite's facades use, opened on its own to look inside.
    std::string GuidCacheFile() const { return m_dir->File("guids.db"); }
    // A member of a resource in the emulator's world ("id" of an instance, say).
    static std::string WorldValue(const std::string& collection, const std::string& key,
                                  const std::string& member);

private:
    static gcemu::Emulator* s_emulator;
    static gcemu::ServiceAccountKey s_key;
    std::unique_ptr<TempDir> m_dir;
    std::string m_previousSettings;
};

}  // namespace testsupport
