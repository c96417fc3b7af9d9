// Every record reader through ParseObject and ParseList, whatever a server (or something pretending
// to be one) sends back; the records that have a request-body writer are written again, and the body
// must be JSON. The first byte picks the record family, the rest is the response text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "fuzz/FuzzSupport.h"

using namespace GoogleCloudSDKWrapper;

namespace {

template <typename T, typename = void>
struct HasWriter : std::false_type {};
template <typename T>
struct HasWriter<T, std::void_t<decltype(std::declval<CGoogleCloudParser&>().Convert(
                        std::declval<T&>(), std::declval<mObject&>()))>> : std::true_type {};

// A list's records are written too, but only the first few: a long list would only repeat the work.
constexpr size_t kWrittenPerList = 4;

template <typename T>
void Write(CGoogleCloudParser& parser, T& record) {
    if constexpr (HasWriter<T>::value) {
        std::string body;
        if (!parser.GetRequestBody(record, body)) return;
        mObject written;
        FUZZ_CHECK(ZkJson::Unserialize(body, written));
    }
}

template <typename T>
void Read(CGoogleCloudParser& parser, const std::string& text, const char* listKey) {
    T record;
    if (parser.ParseObject(text, record)) Write(parser, record);

    std::vector<T> records;
    std::string nextPageToken;
    parser.ParseList(text, listKey, records, &nextPageToken);
    for (size_t i = 0; i < records.size() && i < kWrittenPerList; ++i) Write(parser, records[i]);
}

struct Family {
    const char* listKey;
    void (*read)(CGoogleCloudParser&, const std::string&, const char*);
};

// scripts/fuzz.sh seeds each family with the captures of its kind by the index here: add new
// families at the end.
const Family kFamilies[] = {
    {"items", Read<SVMInfoLib>},                               // 0
    {"items", Read<SDiskInfoLib>},                             // 1
    {"items", Read<SOperationInfoLib>},                        // 2
    {"errors", Read<SOperationErrorInfoLib>},                  // 3
    {"items", Read<SZoneInfoLib>},                             // 4
    {"items", Read<SRegionInfoLib>},                           // 5
    {"items", Read<SKeyValueInfoLib>},                         // 6
    {"items", Read<SNetworkInfoLib>},                          // 7
    {"items", Read<SSubnetInfoLib>},                           // 8
    {"networkInterfaces", Read<SNetworkInterfaceInfoLib>},     // 9
    {"accessConfigs", Read<SAccessConfigInfo>},                // 10
    {"items", Read<SMachineTypeInfoLib>},                      // 11
    {"items", Read<SImageInfoLib>},                            // 12
    {"items", Read<SSnapshotInfoLib>},                         // 13
    {"items", Read<SDiskTypeInfoLib>},                         // 14
    {"serviceAccounts", Read<SServiceAccountInfoLib>},         // 15
    {"items", Read<SSchedulingInfoLib>},                       // 16
    {"items", Read<SLicenseInfoLib>},                          // 17
    {"projects", Read<SProjectInfoLib>},                       // 18
    {"items", Read<SdisplayDeviceInfoLib>},                    // 19
    {"items", Read<SShieldedInstanceConfigInfoLib>},           // 20
    {"items", Read<SConfidentialInstanceConfigLib>},           // 21
    {"nodeAffinities", Read<SNodeAffinityInfo>},               // 22
    {"items", Read<SBackupConfigurationInfoLib>},              // 23
    {"authorizedNetworks", Read<SAuthorizedNetworksInfoLib>},  // 24
    {"items", Read<SIpConfigurationInfoLib>},                  // 25
    {"items", Read<SLocationPreferenceInfoLib>},               // 26
    {"databaseFlags", Read<SDatabaseFlagsInfoLib>},            // 27
    {"items", Read<SMaintenanceWindowInfoLib>},                // 28
    {"items", Read<SSettingsInfoLib>},                         // 29
    {"items", Read<SSslCertsInfoLib>},                         // 30
    {"ipAddresses", Read<SIpAddressesInfoLib>},                // 31
    {"items", Read<SFailoverReplicaInfoLib>},                  // 32
    {"items", Read<SOnPremisesConfigurationInfoLib>},          // 33
    {"items", Read<SMysqlReplicaConfigurationInfoLib>},        // 34
    {"items", Read<SReplicaConfigurationInfoLib>},             // 35
    {"items", Read<SDBInstanceInfoLib>},                       // 36
    {"guestOsFeatures", Read<SGuestOSFeaturesLib>},            // 37
    {"cryptoKeys", Read<SKeyInfoLib>},                         // 38
    {"instances", Read<SSpannerInstanceInfoLib>},              // 39
    {"instanceConfigs", Read<SSpannerInstanceConfigInfoLib>},  // 40
    {"backups", Read<SSpannerDatabaseBackupInfoLib>},          // 41
    {"items", Read<SSpannerDatabaseRestoreInfoLib>},           // 42
    {"databases", Read<SSpannerDatabaseInfoLib>},              // 43
    {"jobs", Read<SDataflowJobInfoLib>},                       // 44
    {"operations", Read<SSpannerOperationInfoLib>},            // 45
    {"items", Read<SStorageBucketInfoLib>},                    // 46
    {"items", Read<SStorageObjectItemInfoLib>},                // 47
    {"items", Read<SStorageObjectsInfoLib>},                   // 48
};
constexpr size_t kFamilyCount = sizeof kFamilies / sizeof kFamilies[0];

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::QuietLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static CGoogleCloudParser parser;
    const Family& family = kFamilies[data[0] % kFamilyCount];
    family.read(parser, fuzzsupport::Text(data + 1, size - 1), family.listKey);
    return 0;
}
