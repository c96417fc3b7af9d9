// sql list, spanner instances, spanner databases, spanner config: the databases a backup agent finds.
#include <algorithm>

#include "Session.h"
#include "cli/Output.h"
#include "commands/Commands.h"
#include "commands/Common.h"
#include "host/Settings.h"

namespace gcsdk {

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper;
using GoogleCloudSDKWrapper::SDBInstanceInfoLib;
using GoogleCloudSDKWrapper::SIpAddressesInfoLib;
using GoogleCloudSDKWrapper::SSpannerDatabaseInfoLib;
using GoogleCloudSDKWrapper::SSpannerInstanceConfigInfoLib;
using GoogleCloudSDKWrapper::SSpannerInstanceInfoLib;

json_spirit::mArray Strings(const std::vector<std::string>& items) {
    return json_spirit::mArray(items.begin(), items.end());
}

std::string Addresses(const SDBInstanceInfoLib& instance) {
    std::vector<std::string> addresses;
    for (const SIpAddressesInfoLib& address : instance.ipAddresses)
        addresses.push_back(address.type.empty() ? address.ipAddress
                                                 : address.ipAddress + " (" + address.type + ")");
    return Join(addresses, ", ");
}

// What a backup agent needs of an instance. The replica configuration is left out: it holds the
// replication user's password and client key.
json_spirit::mObject DbInstanceObject(const SDBInstanceInfoLib& instance) {
    const auto& settings = instance.settings;
    json_spirit::mArray addresses;
    for (const SIpAddressesInfoLib& address : instance.ipAddresses)
        addresses.push_back(json_spirit::mObject{{"ipAddress", address.ipAddress}, {"type", address.type}});
    json_spirit::mObject backup{{"enabled", settings.backupConfiguration.enabled},
                                {"startTime", settings.backupConfiguration.startTime},
                                {"binaryLogEnabled", settings.backupConfiguration.binaryLogEnabled}};
    return {{"name", instance.name},
            {"project", instance.project},
            {"connectionName", instance.connectionName},
            {"databaseVersion", instance.databaseVersion},
            {"region", instance.region},
            {"gceZone", instance.gceZone},
            {"state", instance.state},
            {"instanceType", instance.instanceType},
            {"masterInstanceName", instance.masterInstanceName},
            {"replicaNames", Strings(instance.replicaNames)},
            {"tier", settings.tier},
            {"availabilityType", settings.availabilityType},
            {"activationPolicy", settings.activationPolicy},
            {"dataDiskSizeGb", settings.dataDiskSizeGb},
            {"dataDiskType", settings.dataDiskType},
            {"backupConfiguration", backup},
            {"ipAddresses", addresses},
            {"userLabels", LabelObject(settings.userLabels)},
            {"selfLink", instance.selfLink}};
}

// The refresh lists every project the account sees; --project keeps one of them.
int RunSqlList(const Invocation& invocation) {
    const ParsedArguments& args = invocation.args;
    if (int status = RequireDatabaseNames(invocation)) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const bool one = args.Has("project");
    const std::string project = args.Value("project");
    const std::string what = "listing Cloud SQL instances" + (one ? " of project " + project : "");
    const bool refreshed = cloud->RefreshDBInstanceInfoList(0, 0);
    std::vector<FailedPlace> failures = session.FailedPlaces();  // the projects whose list failed
    if (one)
        for (const FailedPlace& place : failures)
            if (place.project == project)
                return Complain(invocation, FailureText(what, place.error, place.code));
    // The library counts a project without instances as failed too: a list Cloud SQL answered is a list.
    const std::string lists =
        "https://" + host::settings::Read(host::settings::kSqlAdminHost) + "/sql/v1beta4/projects/";
    if (!refreshed && !session.Answered(lists)) return session.Fail(what);

    std::vector<SDBInstanceInfoLib> instances;
    cloud->GetDBInstanceInfoList(instances, 0, 0);
    if (one) {
        if (!session.Answered(lists + project + "/instances"))
            return Complain(invocation, what + ": the service account cannot see project " + project);
        instances.erase(std::remove_if(instances.begin(), instances.end(),
                                       [&](const SDBInstanceInfoLib& i) { return i.project != project; }),
                        instances.end());
        failures.clear();
    }
    std::sort(instances.begin(), instances.end(),
              [](const SDBInstanceInfoLib& a, const SDBInstanceInfoLib& b) {
                  return a.project != b.project ? a.project < b.project : a.name < b.name;
              });
    return PrintList<SDBInstanceInfoLib>(
        invocation, instances, "Cloud SQL instances",
        {"NAME", "PROJECT", "VERSION", "REGION", "STATE", "TIER", "IP"},
        [](const SDBInstanceInfoLib& i) -> std::vector<std::string> {
            return {i.name, i.project, i.databaseVersion, i.region, i.state, i.settings.tier, Addresses(i)};
        },
        DbInstanceObject, failures);
}

int RunSpannerInstances(const Invocation& invocation) {
    if (int status = RequireDatabaseNames(invocation)) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string project = invocation.args.Value("project");
    const std::string what = "listing Spanner instances" + (project.empty() ? "" : " of project " + project);
    std::vector<SSpannerInstanceInfoLib> instances;
    const bool listed = cloud->GetSpannerInstancesList(project, instances);
    // Over every project the library skips one whose list failed; its log tells which.
    const std::vector<FailedPlace> failures =
        listed && project.empty() ? session.FailedPlaces() : std::vector<FailedPlace>();
    if (failures.empty() && !session.Listed(listed, instances.empty())) return session.Fail(what);
    std::sort(instances.begin(), instances.end(),
              [](const SSpannerInstanceInfoLib& a, const SSpannerInstanceInfoLib& b) {
                  return a.projectId != b.projectId ? a.projectId < b.projectId : a.name < b.name;
              });
    return PrintList<SSpannerInstanceInfoLib>(
        invocation, instances, "Spanner instances",
        {"NAME", "PROJECT", "CONFIG", "NODES", "STATE", "DISPLAY NAME"},
        [](const SSpannerInstanceInfoLib& i) -> std::vector<std::string> {
            return {i.name, i.projectId, i.config, std::to_string(i.nodeCount), i.state, i.displayName};
        },
        [](const SSpannerInstanceInfoLib& i) {
            return json_spirit::mObject{{"name", i.name},     {"projectId", i.projectId},
                                        {"config", i.config}, {"nodeCount", i.nodeCount},
                                        {"state", i.state},   {"displayName", i.displayName}};
        },
        failures);
}

int RunSpannerDatabases(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "instance"})) return status;
    if (int status = RequireDatabaseNames(invocation)) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string project = invocation.args.Value("project"),
                      instance = invocation.args.Value("instance");
    std::vector<SSpannerDatabaseInfoLib> databases;
    const bool listed = cloud->GetSpannerDatabasesList(project, instance, databases);
    // A missing instance is a 404 the library answers with an empty list: Listed tells it apart.
    if (!session.Listed(listed, databases.empty()))
        return session.Fail("listing the databases of Spanner instance " + instance + " of project " +
                            project);
    std::sort(
        databases.begin(), databases.end(),
        [](const SSpannerDatabaseInfoLib& a, const SSpannerDatabaseInfoLib& b) { return a.name < b.name; });
    return PrintList<SSpannerDatabaseInfoLib>(
        invocation, databases, "databases", {"NAME", "STATE", "CREATED", "RESTORED FROM"},
        [](const SSpannerDatabaseInfoLib& d) -> std::vector<std::string> {
            const auto& backup = d.restoreInfo.backupInfo;
            return {d.name, d.state, d.createTime,
                    backup.backup.empty() ? "" : "backup " + LastSegment(backup.backup)};
        },
        [](const SSpannerDatabaseInfoLib& d) {
            const auto& backup = d.restoreInfo.backupInfo;
            json_spirit::mObject restore{{"sourceType", d.restoreInfo.sourceType},
                                         {"backup", backup.backup},
                                         {"sourceDatabase", backup.sourceDatabase},
                                         {"createTime", backup.createTime}};
            return json_spirit::mObject{
                {"name", d.name},   {"projectId", d.projectId},   {"instanceId", d.instanceId},
                {"state", d.state}, {"createTime", d.createTime}, {"restoreInfo", restore}};
        });
}

int RunSpannerConfig(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "config"})) return status;
    if (int status = RequireDatabaseNames(invocation)) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string project = invocation.args.Value("project"), name = invocation.args.Value("config");
    SSpannerInstanceConfigInfoLib config;
    if (!cloud->GetSpannerInstanceConfig(project, name, config))
        return session.Fail("reading Spanner instance configuration " + name + " of project " + project);
    std::vector<std::string> replicas;
    json_spirit::mArray replicaObjects;
    for (const auto& replica : config.replicas) {
        replicas.push_back(replica.location + " " + replica.type +
                           (replica.defaultLeaderLocation ? " (default leader)" : ""));
        replicaObjects.push_back(
            json_spirit::mObject{{"location", replica.location},
                                 {"type", replica.type},
                                 {"defaultLeaderLocation", replica.defaultLeaderLocation}});
    }
    PrintRecord(
        invocation,
        {{"NAME", config.name}, {"DISPLAY NAME", config.displayName}, {"REPLICAS", Join(replicas, ", ")}},
        {{"name", config.name}, {"displayName", config.displayName}, {"replicas", replicaObjects}});
    return kExitOk;
}

}  // namespace

void AddDatabaseCommands(Registry& registry) {
    Command sql;
    sql.name = "sql list";
    sql.summary = "List the Cloud SQL instances of every project the account sees, or of one";
    sql.usage = "[--project P]";
    sql.description =
        "The library reads the instances of every project the service account can list; --project keeps\n"
        "that project's. A project whose list failed is named on stderr (exit status 3).";
    sql.options = {{"project", "P", "only this project's instances"}};
    sql.run = RunSqlList;
    registry.Add(std::move(sql));

    Command instances;
    instances.name = "spanner instances";
    instances.summary = "List the Cloud Spanner instances of every project the account sees, or of one";
    instances.usage = "[--project P]";
    instances.options = {{"project", "P", "only this project's instances"}};
    instances.run = RunSpannerInstances;
    registry.Add(std::move(instances));

    Command databases;
    databases.name = "spanner databases";
    databases.summary = "List the databases of a Spanner instance";
    databases.usage = "--project P --instance I";
    databases.options = {kProjectIdOption, kSpannerInstanceOption};
    databases.run = RunSpannerDatabases;
    registry.Add(std::move(databases));

    Command config;
    config.name = "spanner config";
    config.summary = "Show a Spanner instance configuration and its replicas";
    config.usage = "--project P --config NAME";
    config.options = {kProjectIdOption, {"config", "NAME", "the configuration's id (regional-us-central1)"}};
    config.run = RunSpannerConfig;
    registry.Add(std::move(config));
}

}  // namespace gcsdk
