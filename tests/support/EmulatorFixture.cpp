#include "tests/support/EmulatorFixture.h"

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <sstream>

#include "host/HbDebug.h"
#include "host/ZKPlatformInfo.h"
#include "host/ZkJson.h"

namespace testsupport {

gcemu::Emulator* EmulatorTest::s_emulator = nullptr;
gcemu::ServiceAccountKey EmulatorTest::s_key;

void EmulatorTest::SetUpTestSuite() {
    StartEmulator(gcemu::EmulatorOptions());
}

void EmulatorTest::StartEmulator(const gcemu::EmulatorOptions& options) {
    s_emulator = new gcemu::Emulator(options);
    s_emulator->Start();
    s_key = s_emulator->MakeServiceAccount(AccountEmail());
}

std::string EmulatorTest::WorldValue(const std::string& collection, const std::string& key,
                                     const std::string& member) {
    gcemu::World::Txn world = s_emulator->world().Lock();
    const json_spirit::mObject* resource = world.Find(collection, key);
    return resource ? ZkJson::GetStringValue(*resource, member) : std::string();
}

void EmulatorTest::TearDownTestSuite() {
    s_emulator->Stop();
    delete s_emulator;
    s_emulator = nullptr;
}

void EmulatorTest::SetUp() {
    Emulator().ResetWorld();
    m_dir = std::make_unique<TempDir>();
    m_previousSettings = ZKPlatformInfo::SettingsFilePath();
    UseSettings();
}

void EmulatorTest::TearDown() {
    ZKPlatformInfo::SetSettingsFile(std::string());
    host::ReloadLogSettings();
}

namespace {

// The base settings with the extra INI text laid over them, key by key.
std::string MergeIni(const std::string& base, const std::string& extra) {
    namespace pt = boost::property_tree;
    pt::ptree merged, over;
    std::istringstream baseText(base), extraText(extra);
    pt::read_ini(baseText, merged);
    pt::read_ini(extraText, over);
    for (const auto& [section, keys] : over)
        for (const auto& [key, value] : keys)
            merged.put(pt::ptree::path_type(section + '\x1f' + key, '\x1f'), value.data());
    std::ostringstream out;
    pt::write_ini(out, merged);
    return out.str();
}

}  // namespace

void EmulatorTest::UseSettings(const std::string& extraIni) {
    std::string ini = MergeIni(
        "[VirtualServer]\n"
        "nGoogleCloudOperationWaitTime=0\nnGoogleOperationRetryIntervalInSeconds=0\n"
        "nGoogleSnapshotPollingInSecs=0\n"
        "[GoogleCloud]\nnHttpRetryAttempts=0\nsGuidCacheFile=" +
            m_dir->File("guids.db") + "\n",
        extraIni);
    std::string path = Emulator().WriteClientSettings(m_dir->File("gcsdk.ini"), ini);
    ZKPlatformInfo::SetSettingsFile(path);
    host::ReloadLogSettings();
}

std::unique_ptr<GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper> EmulatorTest::Connected() {
    auto wrapper = std::make_unique<GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper>();
    EXPECT_TRUE(wrapper->Init());
    EXPECT_TRUE(wrapper->Connect("", Key().email, Key().privateKeyPem)) << wrapper->GetLastError();
    return wrapper;
}

size_t EmulatorTest::Requests(const std::string& method, const std::string& host,
                              const std::string& pathPrefix) {
    return Emulator().journal().Count(method, host, pathPrefix);
}

}  // namespace testsupport
