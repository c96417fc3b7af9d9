#include "commands/SavedInstance.h"

#include <algorithm>

#include "commands/Common.h"
#include "host/ZkJson.h"

namespace gcsdk {

namespace {

// Input fields of an instance resource that the library's restore request does not carry (it writes the
// name, zone, machine type, description, disks, interfaces, tags, metadata, labels, service accounts,
// scheduling, deletion protection, IP forwarding, display device, shielded and confidential settings).
const char* const kNotRestoredFields[] = {
    "advancedMachineFeatures",
    "guestAccelerators",
    "hostname",
    "instanceEncryptionKey",
    "keyRevocationActionType",
    "minCpuPlatform",
    "networkPerformanceConfig",
    "params",
    "privateIpv6GoogleAccess",
    "reservationAffinity",
    "resourcePolicies",
};

// Values Compute Engine gives a new VM anyway: nothing is lost when the restore leaves them out.
bool IsDefault(const std::string& field, const json_spirit::mValue& value) {
    const std::string text = ZkJson::Serialize(value);
    return (field == "keyRevocationActionType" && text == "\"NONE\"") ||
           (field == "reservationAffinity" && text == "{\"consumeReservationType\":\"ANY_RESERVATION\"}");
}

bool BoolMember(const json_spirit::mObject& object, const char* name) {
    const auto found = object.find(name);
    return found != object.end() && found->second.type() == json_spirit::bool_type &&
           found->second.get_bool();
}

bool NonEmptyArray(const json_spirit::mObject& object, const char* name) {
    const json_spirit::mArray* array = ZkJson::FindArray(object, name);
    return array && !array->empty();
}

}  // namespace

bool ReadSavedInstance(const std::string& json, SavedInstance& saved) {
    json_spirit::mObject instance;
    if (!ZkJson::Unserialize(json, instance) || !ZkJson::FindArray(instance, "disks")) return false;
    saved.machineType = LastSegment(ZkJson::GetStringValue(instance, "machineType"));
    for (const json_spirit::mValue& entry : *ZkJson::FindArray(instance, "disks")) {
        if (entry.type() != json_spirit::obj_type) continue;
        SavedDisk disk;
        disk.name = LastSegment(ZkJson::GetStringValue(entry.get_obj(), "source"));
        disk.boot = BoolMember(entry.get_obj(), "boot");
        if (!disk.name.empty()) saved.disks.push_back(disk);
    }
    if (const json_spirit::mArray* interfaces = ZkJson::FindArray(instance, "networkInterfaces"))
        for (const json_spirit::mValue& entry : *interfaces) {
            if (entry.type() != json_spirit::obj_type) continue;
            SavedInterface nic;
            nic.name = ZkJson::GetStringValue(entry.get_obj(), "name");
            nic.externalAddress = NonEmptyArray(entry.get_obj(), "accessConfigs");
            nic.aliasRanges = NonEmptyArray(entry.get_obj(), "aliasIpRanges");
            saved.interfaces.push_back(nic);
        }
    if (const json_spirit::mArray* accounts = ZkJson::FindArray(instance, "serviceAccounts"))
        for (const json_spirit::mValue& entry : *accounts) {
            if (entry.type() != json_spirit::obj_type) continue;
            GoogleCloudSDKWrapper::SServiceAccountInfoLib account;
            account.email = ZkJson::GetStringValue(entry.get_obj(), "email");
            if (const json_spirit::mArray* scopes = ZkJson::FindArray(entry.get_obj(), "scopes"))
                for (const json_spirit::mValue& scope : *scopes)
                    if (scope.type() == json_spirit::str_type) account.scopes.push_back(scope.get_str());
            if (!account.email.empty()) saved.serviceAccounts.push_back(account);
        }
    for (const char* field : kNotRestoredFields) {
        const auto found = instance.find(field);
        if (found == instance.end() || found->second.is_null()) continue;
        const bool empty =
            (found->second.type() == json_spirit::array_type && found->second.get_array().empty()) ||
            (found->second.type() == json_spirit::obj_type && found->second.get_obj().empty()) ||
            (found->second.type() == json_spirit::str_type && found->second.get_str().empty());
        if (!empty && !IsDefault(field, found->second)) saved.otherFields.push_back(field);
    }
    return true;
}

std::vector<std::string> SavedDiskNames(const SavedInstance& saved) {
    std::vector<std::string> names;
    for (const SavedDisk& disk : saved.disks) names.push_back(disk.name);
    return names;
}

std::vector<std::string> NotCarriedOver(const SavedInstance& saved,
                                        const std::vector<std::string>& usedInterfaces,
                                        const std::map<std::string, std::string>& overrides,
                                        bool serviceAccountsLeftOut) {
    std::vector<std::string> notes;
    for (const std::string& field : saved.otherFields) notes.push_back(field);
    for (const SavedInterface& nic : saved.interfaces) {
        if (std::find(usedInterfaces.begin(), usedInterfaces.end(), nic.name) == usedInterfaces.end())
            continue;
        if (nic.externalAddress) notes.push_back("the external address of " + nic.name);
        if (nic.aliasRanges) notes.push_back("the alias IP ranges of " + nic.name);
    }
    if (serviceAccountsLeftOut)
        for (const auto& account : saved.serviceAccounts)
            notes.push_back("service account " + account.email + " (--no-service-account)");
    for (const SavedDisk& disk : saved.disks)
        if (!overrides.count(disk.name))
            notes.push_back("saved disk " + disk.name + " (no --disk replaces it)");
    return notes;
}

}  // namespace gcsdk
