#include "emulator/SqlAdminModel.h"

#include <openssl/sha.h>

#include <cstdio>
#include <initializer_list>
#include <map>
#include <stdexcept>

#include "emulator/GoogleErrors.h"
#include "emulator/SqlServerCa.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;

namespace {

constexpr char kSelfLinkBase[] = "https://sqladmin.googleapis.com/sql/v1beta4/projects/";
constexpr int64_t kGiB = 1024LL * 1024 * 1024;

const mObject kNothing;

bool OneOf(const std::string& text, std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (text == name) return true;
    return false;
}

// "MYSQL", "POSTGRES" or "SQLSERVER"; empty for a version Cloud SQL does not have.
std::string Engine(const std::string& version) {
    for (const char* engine : {"MYSQL", "POSTGRES", "SQLSERVER"}) {
        const std::string prefix = std::string(engine) + "_";
        if (version.size() > prefix.size() && version.compare(0, prefix.size(), prefix) == 0) return engine;
    }
    return "";
}

// The minor version Cloud SQL runs for a major one.
std::string InstalledVersion(const std::string& version) {
    static const std::map<std::string, std::string> kInstalled = {
        {"MYSQL_5_7", "MYSQL_5_7_44"},     {"MYSQL_8_0", "MYSQL_8_0_31"},
        {"MYSQL_8_4", "MYSQL_8_4_2"},      {"POSTGRES_13", "POSTGRES_13_15"},
        {"POSTGRES_14", "POSTGRES_14_12"}, {"POSTGRES_15", "POSTGRES_15_7"},
        {"POSTGRES_16", "POSTGRES_16_3"}};
    const auto found = kInstalled.find(version);
    return found == kInstalled.end() ? version : found->second;
}

std::string HexSha256(const std::string& text) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
    std::string hex;
    for (unsigned char byte : digest) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

uint64_t Derived(const std::string& key) {
    return std::stoull(StableId(key));
}

bool IsTimeOfDay(const std::string& text) {
    int hours = 0;
    int minutes = 0;
    int consumed = 0;
    return text.size() == 5 && std::sscanf(text.c_str(), "%2d:%2d%n", &hours, &minutes, &consumed) == 2 &&
           consumed == 5 && hours < 24 && minutes < 60;
}

// "203.0.113.0/24" or a single address.
bool IsAclValue(const std::string& text) {
    const size_t slash = text.find('/');
    uint32_t address = 0;
    if (!ParseIPv4(text.substr(0, slash), address)) return false;
    if (slash == std::string::npos) return true;
    const std::string length = text.substr(slash + 1);
    return !length.empty() && length.size() <= 2 &&
           length.find_first_not_of("0123456789") == std::string::npos && std::stoi(length) <= 32;
}

mObject BackupConfiguration(const SeedEntry& instance, const std::string& engine, bool replica) {
    const mObject* given = instance.Object("backup");
    const SeedEntry backup(given ? *given : kNothing, instance.where() + ": backup");
    backup.Allow({"enabled", "startTime", "binaryLogEnabled", "pointInTimeRecoveryEnabled", "retainedBackups",
                  "transactionLogRetentionDays", "location"});
    const bool enabled = backup.Flag("enabled", !replica);
    mObject config;
    config["kind"] = "sql#backupConfiguration";
    config["enabled"] = enabled;
    config["startTime"] = backup.Text("startTime", "03:00");
    if (!IsTimeOfDay(config["startTime"].get_str())) backup.Fail("'startTime' is not HH:MM");
    if (engine == "MYSQL") {
        if (backup.Has("pointInTimeRecoveryEnabled"))
            backup.Fail("MySQL recovers to a point in time from its binary log: set 'binaryLogEnabled'");
        config["binaryLogEnabled"] = backup.Flag("binaryLogEnabled", enabled);
    } else {
        if (backup.Has("binaryLogEnabled")) backup.Fail("'binaryLogEnabled' is for MySQL instances");
        config["pointInTimeRecoveryEnabled"] = backup.Flag("pointInTimeRecoveryEnabled", false);
    }
    config["replicationLogArchivingEnabled"] = false;
    const int64_t retained = backup.Integer("retainedBackups", 7);
    if (retained < 1 || retained > 365) backup.Fail("'retainedBackups' must be 1 to 365");
    config["backupRetentionSettings"] = mObject{{"retentionUnit", "COUNT"}, {"retainedBackups", retained}};
    const int64_t logDays = backup.Integer("transactionLogRetentionDays", 7);
    if (logDays < 1 || logDays > 35) backup.Fail("'transactionLogRetentionDays' must be 1 to 35");
    config["transactionLogRetentionDays"] = logDays;
    if (backup.Has("location")) config["location"] = backup.Text("location");
    return config;
}

mObject IpConfiguration(World::Txn& world, const SeedEntry& entry, const std::string& projectId) {
    mObject config;
    const bool ipv4 = entry.Flag("ipv4Enabled", true);
    config["ipv4Enabled"] = ipv4;
    const std::string network = entry.Text("privateNetwork");
    if (!network.empty()) {
        const std::string name = network.find('/') == std::string::npos
                                     ? "projects/" + projectId + "/global/networks/" + network
                                     : RelativeName(network);
        if (!world.Find(collections::kNetworks, name))
            entry.Fail("privateNetwork " + network + " is not a network of the world");
        config["privateNetwork"] = name;
    }
    if (!ipv4 && network.empty()) entry.Fail("an instance needs 'ipv4Enabled' or a 'privateNetwork'");
    mArray acls;
    if (const mArray* given = entry.Array("authorizedNetworks")) {
        if (!ipv4 && !given->empty()) entry.Fail("'authorizedNetworks' need 'ipv4Enabled'");
        for (size_t i = 0; i < given->size(); ++i) {
            const SeedEntry acl((*given)[i],
                                entry.where() + ": authorizedNetworks[" + std::to_string(i) + "]");
            acl.Allow({"name", "value"});
            const std::string value = acl.RequiredText("value");
            if (!IsAclValue(value)) acl.Fail("'" + value + "' is not an IPv4 address or range");
            mObject item{{"kind", "sql#aclEntry"}, {"value", value}};
            if (acl.Has("name")) item["name"] = acl.Text("name");
            acls.push_back(item);
        }
    }
    config["authorizedNetworks"] = acls;
    const bool requireSsl = entry.Flag("requireSsl", false);
    config["requireSsl"] = requireSsl;
    config["sslMode"] = requireSsl ? "ENCRYPTED_ONLY" : "ALLOW_UNENCRYPTED_AND_ENCRYPTED";
    return config;
}

mObject MaintenanceWindow(const SeedEntry& entry) {
    const mObject* given = entry.Object("maintenanceWindow");
    const SeedEntry window(given ? *given : kNothing, entry.where() + ": maintenanceWindow");
    window.Allow({"day", "hour", "updateTrack"});
    mObject result{{"kind", "sql#maintenanceWindow"}};
    result["day"] = window.Integer("day", 0);  // 0: any day
    result["hour"] = window.Integer("hour", 0);
    if (result["day"].get_int64() < 0 || result["day"].get_int64() > 7) window.Fail("'day' must be 0 to 7");
    if (result["hour"].get_int64() < 0 || result["hour"].get_int64() > 23)
        window.Fail("'hour' must be 0 to 23");
    if (window.Has("updateTrack")) {
        result["updateTrack"] = window.Text("updateTrack");
        if (!OneOf(result["updateTrack"].get_str(), {"canary", "stable", "week5"}))
            window.Fail("'updateTrack' is canary, stable or week5");
    }
    return result;
}

// The zone of the region other than zone that a regional instance stands by in.
std::string StandbyZone(World::Txn& world, const SeedEntry& entry, const std::string& projectId,
                        const std::string& region, const std::string& zone) {
    if (entry.Has("secondaryZone")) return entry.Text("secondaryZone");
    for (const auto& [key, resource] : world.List(collections::kZones, "projects/" + projectId + "/zones/")) {
        const std::string candidate = LastSegment(key);
        if (RegionOfZone(candidate) == region && candidate != zone) return candidate;
    }
    entry.Fail("region " + region + " has no second zone for a REGIONAL instance");
}

mObject Settings(World::Txn& world, const SeedEntry& entry, const std::string& projectId,
                 const std::string& engine, bool replica) {
    mObject settings;
    settings["kind"] = "sql#settings";
    settings["settingsVersion"] = std::to_string(entry.Integer("settingsVersion", 1));
    settings["tier"] = entry.Text("tier", "db-custom-2-7680");
    settings["edition"] = entry.Text("edition", "ENTERPRISE");
    settings["availabilityType"] = entry.Text("availabilityType", "ZONAL");
    settings["activationPolicy"] = entry.Text("activationPolicy", "ALWAYS");
    settings["dataDiskType"] = entry.Text("dataDiskType", "PD_SSD");
    if (!OneOf(settings["edition"].get_str(), {"ENTERPRISE", "ENTERPRISE_PLUS"}))
        entry.Fail("'edition' is ENTERPRISE or ENTERPRISE_PLUS");
    if (!OneOf(settings["availabilityType"].get_str(), {"ZONAL", "REGIONAL"}))
        entry.Fail("'availabilityType' is ZONAL or REGIONAL");
    if (!OneOf(settings["activationPolicy"].get_str(), {"ALWAYS", "NEVER", "ON_DEMAND"}))
        entry.Fail("'activationPolicy' is ALWAYS, NEVER or ON_DEMAND");
    if (!OneOf(settings["dataDiskType"].get_str(), {"PD_SSD", "PD_HDD"}))
        entry.Fail("'dataDiskType' is PD_SSD or PD_HDD");
    const int64_t diskGb = entry.Integer("dataDiskSizeGb", 10);
    if (diskGb < 10 || diskGb > 65536) entry.Fail("'dataDiskSizeGb' must be 10 to 65536");
    settings["dataDiskSizeGb"] = std::to_string(diskGb);  // int64: text, as Google sends it
    settings["storageAutoResize"] = entry.Flag("storageAutoResize", true);
    settings["storageAutoResizeLimit"] = "0";
    settings["pricingPlan"] = "PER_USE";
    settings["replicationType"] = "SYNCHRONOUS";
    settings["authorizedGaeApplications"] = mArray();
    settings["connectorEnforcement"] = "NOT_REQUIRED";
    settings["deletionProtectionEnabled"] = entry.Flag("deletionProtection", false);
    if (replica) settings["databaseReplicationEnabled"] = true;
    settings["backupConfiguration"] = BackupConfiguration(entry, engine, replica);
    settings["ipConfiguration"] = IpConfiguration(world, entry, projectId);
    settings["maintenanceWindow"] = MaintenanceWindow(entry);
    mArray flags;
    for (const auto& [name, value] : entry.TextMap("databaseFlags"))
        flags.push_back(mObject{{"name", name}, {"value", value}});
    if (!flags.empty()) settings["databaseFlags"] = flags;
    const mObject labels = entry.TextMap("labels");
    if (!labels.empty()) settings["userLabels"] = labels;
    return settings;
}

mObject Instance(World::Txn& world, const SeedEntry& entry, const std::string& projectId, size_t index,
                 int64_t projectCreated) {
    entry.Allow({"name",
                 "databaseVersion",
                 "region",
                 "zone",
                 "secondaryZone",
                 "tier",
                 "edition",
                 "availabilityType",
                 "dataDiskSizeGb",
                 "dataDiskType",
                 "storageAutoResize",
                 "state",
                 "activationPolicy",
                 "createTime",
                 "masterInstanceName",
                 "failoverReplica",
                 "labels",
                 "backup",
                 "ipv4Enabled",
                 "privateNetwork",
                 "authorizedNetworks",
                 "requireSsl",
                 "databaseFlags",
                 "maintenanceWindow",
                 "deletionProtection",
                 "settingsVersion"});
    const std::string name = entry.RequiredText("name");
    if (!IsSqlInstanceName(name, projectId))
        entry.Fail("'" + name + "' is not a Cloud SQL instance name ([a-z]([-a-z0-9]*[a-z0-9])?)");
    const std::string key = "projects/" + projectId + "/instances/" + name;
    const std::string version = entry.Text("databaseVersion", "MYSQL_8_0");
    const std::string engine = Engine(version);
    if (engine.empty()) entry.Fail("'" + version + "' is not a Cloud SQL database version");
    const std::string region = entry.Text("region", "us-central1");
    const std::string zone = entry.Text("zone", region + "-a");
    if (!world.Find(collections::kRegions, "projects/" + projectId + "/regions/" + region))
        entry.Fail("region " + region + " is not one of the project's");
    if (RegionOfZone(zone) != region ||
        !world.Find(collections::kZones, "projects/" + projectId + "/zones/" + zone))
        entry.Fail("zone " + zone + " is not a zone of " + region);
    const bool replica = entry.Has("masterInstanceName");

    mObject instance;
    instance["kind"] = "sql#instance";
    instance["name"] = name;
    instance["project"] = projectId;
    instance["selfLink"] = kSelfLinkBase + projectId + "/instances/" + name;
    instance["connectionName"] = projectId + ":" + region + ":" + name;
    instance["databaseVersion"] = version;
    instance["databaseInstalledVersion"] = InstalledVersion(version);
    instance["region"] = region;
    instance["gceZone"] = zone;
    instance["state"] = entry.Text("state", "RUNNABLE");
    if (!OneOf(instance["state"].get_str(), {"RUNNABLE", "SUSPENDED", "PENDING_DELETE", "PENDING_CREATE",
                                             "MAINTENANCE", "FAILED", "ONLINE_MAINTENANCE"}))
        entry.Fail("'" + instance["state"].get_str() + "' is not a Cloud SQL instance state");
    instance["backendType"] = "SECOND_GEN";
    instance["instanceType"] = replica ? "READ_REPLICA_INSTANCE" : "CLOUD_SQL_INSTANCE";
    instance["sqlNetworkArchitecture"] = "NEW_NETWORK_ARCHITECTURE";
    instance["createTime"] = FormatRfc3339(entry.Time("createTime", projectCreated, 180, key));

    mObject settings = Settings(world, entry, projectId, engine, replica);
    mObject location{{"kind", "sql#locationPreference"}, {"zone", zone}};
    if (settings["availabilityType"].get_str() == "REGIONAL") {
        const std::string standby = StandbyZone(world, entry, projectId, region, zone);
        if (RegionOfZone(standby) != region || standby == zone)
            entry.Fail("secondaryZone " + standby + " is not another zone of " + region);
        location["secondaryZone"] = standby;
        instance["secondaryGceZone"] = standby;
    } else if (entry.Has("secondaryZone")) {
        entry.Fail("'secondaryZone' is for REGIONAL instances");
    }
    settings["locationPreference"] = location;

    const int64_t diskGb = std::stoll(settings["dataDiskSizeGb"].get_str());
    instance["maxDiskSize"] = std::to_string(diskGb * kGiB);
    // In use: a tenth to a half of the disk.
    instance["currentDiskSize"] = std::to_string(
        diskGb * kGiB / 10 +
        static_cast<int64_t>(Derived(key + "/used") % static_cast<uint64_t>(diskGb * kGiB * 2 / 5)));

    mArray addresses;
    const mObject& ip = settings["ipConfiguration"].get_obj();
    const uint64_t spread = Derived(key);
    if (ip.at("ipv4Enabled").get_bool())
        addresses.push_back(mObject{{"type", "PRIMARY"},
                                    {"ipAddress", "34." + std::to_string(64 + spread % 64) + "." +
                                                      std::to_string((spread >> 8) % 256) + "." +
                                                      std::to_string((spread >> 16) % 254 + 1)}});
    if (ip.count("privateNetwork"))
        addresses.push_back(
            mObject{{"type", "PRIVATE"}, {"ipAddress", "10.100.0." + std::to_string(3 + index % 250)}});
    instance["ipAddresses"] = addresses;
    instance["settings"] = settings;
    instance["serverCaCert"] = ServerCaCertResource(name);
    const std::string projectNumber = ZkJson::GetStringValue(*world.FindProject(projectId), "projectNumber");
    instance["serviceAccountEmailAddress"] = "p" + projectNumber + "-" +
                                             StableId(projectId + "/sql").substr(0, 6) +
                                             "@gcp-sa-cloud-sql.iam.gserviceaccount.com";
    if (replica) {
        instance["masterInstanceName"] = projectId + ":" + entry.Text("masterInstanceName");
        instance["replicaConfiguration"] =
            mObject{{"kind", "sql#replicaConfiguration"}, {"failoverTarget", false}};
    }
    return instance;
}

}  // namespace

Response SqlError(int code, const std::string& reason, const std::string& message) {
    GoogleError error;
    error.code = code;
    error.message = message;
    error.reason = reason;
    return error.ToResponse();
}

Response SqlNotAuthorized() {
    return SqlError(403, "notAuthorized", "The client is not authorized to make this request.");
}

Response SqlInstanceDoesNotExist() {
    return SqlError(404, "instanceDoesNotExist", "The Cloud SQL instance does not exist.");
}

bool IsSqlInstanceName(const std::string& name, const std::string& projectId) {
    if (name.empty() || name.size() + projectId.size() > 98) return false;
    if (name.front() < 'a' || name.front() > 'z' || name.back() == '-') return false;
    return name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-") == std::string::npos;
}

std::vector<mObject> SeedSqlInstances(World::Txn& world, const std::string& projectId,
                                      const std::vector<SeedEntry>& entries) {
    const int64_t projectCreated =
        ParseRfc3339(ZkJson::GetStringValue(*world.FindProject(projectId), "createTime"));
    std::vector<mObject> instances;
    std::map<std::string, size_t> byName;
    for (size_t i = 0; i < entries.size(); ++i) {
        instances.push_back(Instance(world, entries[i], projectId, i, projectCreated));
        if (!byName.emplace(instances.back()["name"].get_str(), i).second)
            entries[i].Fail("the instance name is in the project twice");
    }
    // Replicas and their primaries, both ways.
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].Has("masterInstanceName")) continue;
        const std::string master = entries[i].Text("masterInstanceName");
        const auto found = byName.find(master);
        if (found == byName.end())
            entries[i].Fail("masterInstanceName " + master + " is not an instance of the project");
        mObject& primary = instances[found->second];
        if (primary.count("masterInstanceName"))
            entries[i].Fail("its primary " + master + " is a replica itself");
        if (primary["databaseVersion"] != instances[i]["databaseVersion"])
            entries[i].Fail("a replica runs its primary's databaseVersion");
        const mObject& backup = primary["settings"].get_obj().at("backupConfiguration").get_obj();
        if (backup.count("binaryLogEnabled") && !backup.at("binaryLogEnabled").get_bool())
            entries[found->second].Fail("a MySQL primary with replicas needs 'binaryLogEnabled'");
        if (!primary.count("replicaNames")) primary["replicaNames"] = mArray();
        primary["replicaNames"].get_array().push_back(instances[i]["name"]);
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].Has("failoverReplica")) continue;
        const std::string failover = entries[i].Text("failoverReplica");
        const auto found = byName.find(failover);
        if (found == byName.end() || ZkJson::GetStringValue(instances[found->second], "masterInstanceName") !=
                                         projectId + ":" + instances[i]["name"].get_str())
            entries[i].Fail("failoverReplica " + failover + " is not one of its replicas");
        instances[i]["failoverReplica"] = mObject{{"name", failover}, {"available", true}};
    }
    for (mObject& instance : instances) instance["etag"] = HexSha256(ZkJson::Serialize(instance));
    return instances;
}

}  // namespace gcemu
