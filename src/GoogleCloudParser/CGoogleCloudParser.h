// Maps JSON responses into records and records into request bodies.
//
// Every record has a virtual reader Convert(const mObject&, R&) (and the request bodies a writer), so a
// derived parser can replace the mapping of any one record; the generic operations below reach them
// through virtual dispatch. The parser is stateless apart from its logger: one instance serves every
// caller.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "GoogleCloudConnection/Redaction.h"
#include "GoogleCloudSDKWrapper/Records.h"
#include "host/HbDebug.h"
#include "host/ZkJson.h"

namespace GoogleCloudSDKWrapper {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

class CGoogleCloudParser {
public:
    CGoogleCloudParser();
    virtual ~CGoogleCloudParser();

    // Readers, in their slot order. Each reads the keys of its record from one JSON object.
    virtual bool Convert(const mObject& object, SVMInfoLib& vm);
    virtual bool Convert(const mObject& object, SDiskInfoLib& disk);
    virtual bool Convert(const mObject& object, SOperationInfoLib& operation);
    virtual bool Convert(const mObject& object, SOperationErrorInfoLib& error);
    virtual bool Convert(const mObject& object, SZoneInfoLib& zone);
    virtual bool Convert(const mObject& object, SRegionInfoLib& region);
    virtual bool Convert(const mObject& object, SKeyValueInfoLib& pair);
    virtual bool Convert(const mObject& object, SNetworkInfoLib& network);
    virtual bool Convert(const mObject& object, SSubnetInfoLib& subnet);
    virtual bool Convert(const mObject& object, SNetworkInterfaceInfoLib& networkInterface);
    virtual bool Convert(const mObject& object, SAccessConfigInfo& accessConfig);
    virtual bool Convert(const mObject& object, SMachineTypeInfoLib& machineType);
    virtual bool Convert(const mObject& object, SImageInfoLib& image);
    virtual bool Convert(const mObject& object, SSnapshotInfoLib& snapshot);
    virtual bool Convert(const mObject& object, SDiskTypeInfoLib& diskType);
    virtual bool Convert(const mObject& object, SServiceAccountInfoLib& serviceAccount);
    virtual bool Convert(const mObject& object, SSchedulingInfoLib& scheduling);
    virtual bool Convert(const mObject& object, SLicenseInfoLib& license);
    virtual bool Convert(const mObject& object, SProjectInfoLib& project);
    virtual bool Convert(const mObject& object, SdisplayDeviceInfoLib& displayDevice);
    virtual bool Convert(const mObject& object, SShieldedInstanceConfigInfoLib& shielded);
    virtual bool Convert(const mObject& object, SConfidentialInstanceConfigLib& confidential);
    virtual bool Convert(const mObject& object, SNodeAffinityInfo& affinity);
    virtual bool Convert(const mObject& object, SBackupConfigurationInfoLib& backup);
    virtual bool Convert(const mObject& object, SAuthorizedNetworksInfoLib& network);
    virtual bool Convert(const mObject& object, SIpConfigurationInfoLib& ipConfiguration);
    virtual bool Convert(const mObject& object, SLocationPreferenceInfoLib& preference);
    virtual bool Convert(const mObject& object, SDatabaseFlagsInfoLib& flag);
    virtual bool Convert(const mObject& object, SMaintenanceWindowInfoLib& window);
    virtual bool Convert(const mObject& object, SSettingsInfoLib& settings);
    virtual bool Convert(const mObject& object, SSslCertsInfoLib& cert);
    virtual bool Convert(const mObject& object, SIpAddressesInfoLib& address);
    virtual bool Convert(const mObject& object, SFailoverReplicaInfoLib& replica);
    virtual bool Convert(const mObject& object, SOnPremisesConfigurationInfoLib& onPremises);
    virtual bool Convert(const mObject& object, SMysqlReplicaConfigurationInfoLib& mysql);
    virtual bool Convert(const mObject& object, SReplicaConfigurationInfoLib& replica);
    virtual bool Convert(const mObject& object, SDBInstanceInfoLib& instance);
    // Appends the feature "type" of one guestOsFeatures element.
    virtual bool Convert(const mObject& object, SGuestOSFeaturesLib& features);
    virtual bool Convert(const mObject& object, SKeyInfoLib& key);
    // Instance and database readers fail on a resource name with the wrong number of parts.
    virtual bool Convert(const mObject& object, SSpannerInstanceInfoLib& instance);
    virtual bool Convert(const mObject& object, SSpannerInstanceConfigInfoLib& config);
    virtual bool Convert(const mObject& object, SSpannerDatabaseBackupInfoLib& backup);
    virtual bool Convert(const mObject& object, SSpannerDatabaseRestoreInfoLib& restore);
    virtual bool Convert(const mObject& object, SSpannerDatabaseInfoLib& database);
    // The job under "job" (a launch answer), or the object itself (a job read).
    virtual bool Convert(const mObject& object, SDataflowJobInfoLib& job);
    virtual bool Convert(const mObject& object, SSpannerOperationInfoLib& operation);
    virtual bool Convert(const mObject& object, SStorageBucketInfoLib& bucket);
    virtual bool Convert(const mObject& object, SStorageObjectItemInfoLib& item);
    virtual bool Convert(const mObject& object, SStorageObjectsInfoLib& objects);
    // The element converter of string lists: copies the text.
    virtual bool Convert(const std::string& in, std::string& out);
    // Writers of request bodies.
    virtual bool Convert(SDiskInfoLib& disk, mObject& object);
    virtual bool Convert(SSnapshotInfoLib& snapshot, mObject& object);
    virtual bool Convert(SVMInfoLib& vm, mObject& object);
    // Purpose; the rotation period with a next rotation time in the future (one period from now when
    // the record's is not); the version template when both its members are set. False for a rotation
    // period that is not a number of seconds.
    virtual bool Convert(const SKeyInfoLib& key, mObject& object);
    virtual bool Convert(const SDataflowLaunchTemplateParametersInfoLib& launch, mObject& object);
    virtual bool Convert(const SStorageBucketInfoLib& bucket, mObject& object);
    virtual bool Convert(const SLabelInfoLib& labels, mObject& object);

    // One JSON object into one record. The record is not reset: absent keys keep its values.
    template <typename T>
    bool ParseObject(const std::string& text, T& record);
    // The array member listKey of the top-level object, one record per object element, appended.
    // For one page of a paged list, nextPageToken receives the page's "nextPageToken" (empty on the
    // last page, or when the text is not JSON).
    template <typename T>
    bool ParseList(const std::string& text, const std::string& listKey, std::vector<T>& records,
                   std::string* nextPageToken = nullptr);
    // One record per object element (other elements are skipped), appended; always true.
    template <typename T>
    bool ConvertList(const mArray& array, std::vector<T>& records);
    // Every object element into the one record, so the features accumulate.
    bool ConvertList(const mArray& array, SGuestOSFeaturesLib& features);
    // The string elements, appended.
    bool ConvertListString(const mArray& array, std::vector<std::string>& strings);
    // The array member of key, as ConvertList / ConvertListString; false when there is none.
    template <typename T>
    bool ConvertNestedList(const mObject& object, const std::string& key, std::vector<T>& records);
    bool ConvertNestedListString(const mObject& object, const std::string& key,
                                 std::vector<std::string>& strings);
    // The object member of key into one record; false when there is none.
    template <typename T>
    bool ConvertNestedObject(const mObject& object, const std::string& key, T& record);
    // The object member of key, then its array "items" ("metadata", "tags"); false when key is absent.
    template <typename T>
    bool ConvertNestedItemListObject(const mObject& object, const std::string& key, std::vector<T>& records);
    bool ConvertNestedItemListString(const mObject& object, const std::string& key,
                                     std::vector<std::string>& strings);
    // The object member of key as name/value pairs in name order. A value that is not a string throws
    // std::runtime_error, which fails the enclosing ParseObject / ParseList.
    bool ConvertObjtoKeyPairList(const mObject& object, const std::string& key,
                                 std::vector<SKeyValueInfoLib>& pairs);
    // A record as request-body text (members in name order); false, body untouched, when the writer fails.
    template <typename T>
    bool GetRequestBody(T& record, std::string& body);

    // Value getters: the member of this object only. Absent or null gives the default without a log;
    // a value of another type gives the default with an error line.
    std::string GetStringValue(const mObject& object, const std::string& key);
    bool GetBoolValue(const mObject& object, const std::string& key);
    int32_t GetIntValue(const mObject& object, const std::string& key);
    int64_t GetLongValue(const mObject& object, const std::string& key);  // a decimal string
    uint64_t GetUInt64Value(const mObject& object, const std::string& key);
    double GetDoubleValue(const mObject& object, const std::string& key);  // a real, or an integer widened

    // The text after the last "/"; empty when the text is empty or has no "/".
    std::string GetRSubStrFromLastSlash(const std::string& text);
    // Whether a license URL belongs to a project that publishes operating-system images.
    bool IsLicenseOfOSImage(const std::string& licenseUrl);
    // Splits "keyType:keyPath" (a disk's encryption key text); false when there is no second part.
    bool GetKeyTypeAndKeyPath(const std::string& text, std::string& keyType, std::string& keyPath);

protected:
    HbEvent logger;

private:
    template <typename T>
    class ListElementSink;
    template <typename T>
    static void AppendRecords(std::vector<T>& to, std::vector<T>& from);
};

template <typename T>
bool CGoogleCloudParser::ParseObject(const std::string& text, T& record) {
    try {
        mObject object;
        if (!ZkJson::Unserialize(text, object)) return false;
        return Convert(object, record);
    } catch (const std::runtime_error& e) {
        logger.Error(__PRETTY_FUNCTION__, "Exception parsing json object - %s\n%s", e.what(),
                     RedactCredentials(text).c_str());
        return false;
    }
}

// The list's elements are mapped as the reader completes them, so a long list never exists as a
// whole tree; they join the caller's records once the text has been read to its end.
template <typename T>
class CGoogleCloudParser::ListElementSink : public ZkJson::IArrayElementSink {
public:
    explicit ListElementSink(CGoogleCloudParser& parser) : m_parser(parser) {}
    void Begin() override { records.clear(); }
    void Element(mValue& element) override {
        if (element.type() != json_spirit::obj_type) return;
        // Mapped in place; the record is kept whatever the reader says, unless it throws.
        T& record = records.emplace_back();
        try {
            m_parser.Convert(element.get_obj(), record);
        } catch (...) {
            records.pop_back();
            throw;
        }
    }
    std::vector<T> records;

private:
    CGoogleCloudParser& m_parser;
};

template <typename T>
bool CGoogleCloudParser::ParseList(const std::string& text, const std::string& listKey,
                                   std::vector<T>& records, std::string* nextPageToken) {
    if (nextPageToken) nextPageToken->clear();
    ListElementSink<T> sink(*this);
    try {
        mObject object;
        bool sawList = false;
        if (!ZkJson::UnserializeStreaming(text, listKey, object, sink, sawList)) return false;
        if (nextPageToken) *nextPageToken = ZkJson::GetStringValue(object, "nextPageToken");
        if (!sawList) {
            logger.DebugLvl(__PRETTY_FUNCTION__, 2, "[%s] not found in response.", listKey.c_str());
            return false;
        }
        AppendRecords(records, sink.records);
        return true;
    } catch (const std::runtime_error& e) {
        AppendRecords(records, sink.records);  // those mapped before the failure stay
        logger.Error(__PRETTY_FUNCTION__, "Exception parsing json list [%s] - %s\n%s", listKey.c_str(),
                     e.what(), RedactCredentials(text).c_str());
        return false;
    }
}

template <typename T>
void CGoogleCloudParser::AppendRecords(std::vector<T>& to, std::vector<T>& from) {
    if (to.empty()) {
        to.swap(from);
        return;
    }
    to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

template <typename T>
bool CGoogleCloudParser::ConvertList(const mArray& array, std::vector<T>& records) {
    // Records are large; growing the vector step by step would move every one of them several times.
    records.reserve(records.size() + array.size());
    for (const mValue& element : array) {
        if (element.type() != json_spirit::obj_type) continue;
        T record;
        Convert(element.get_obj(), record);  // the record is kept whatever the reader says
        records.push_back(std::move(record));
    }
    return true;
}

template <typename T>
bool CGoogleCloudParser::ConvertNestedList(const mObject& object, const std::string& key,
                                           std::vector<T>& records) {
    const mArray* array = ZkJson::FindArray(object, key);
    if (!array) return false;
    return ConvertList(*array, records);
}

template <typename T>
bool CGoogleCloudParser::ConvertNestedObject(const mObject& object, const std::string& key, T& record) {
    const mObject* member = ZkJson::FindObject(object, key);
    if (!member) return false;
    Convert(*member, record);
    return true;
}

template <typename T>
bool CGoogleCloudParser::ConvertNestedItemListObject(const mObject& object, const std::string& key,
                                                     std::vector<T>& records) {
    const mObject* member = ZkJson::FindObject(object, key);
    if (!member) return false;
    ConvertNestedList(*member, "items", records);
    return true;
}

template <typename T>
bool CGoogleCloudParser::GetRequestBody(T& record, std::string& body) {
    try {
        mObject object;
        // A writer that gives up (a disk key it cannot split) has left parts out: no body then.
        if (!Convert(record, object)) return false;
        body = ZkJson::Serialize(object);
        return true;
    } catch (const std::runtime_error& e) {
        logger.Error(__PRETTY_FUNCTION__, "Exception parsing json object - %s\n%s", e.what(), body.c_str());
        return false;
    }
}

}  // namespace GoogleCloudSDKWrapper
