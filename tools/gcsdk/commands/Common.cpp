#include "commands/Common.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>

#include "cli/DatabaseNames.h"
#include "cli/Output.h"
#include "cli/ResourceNames.h"
#include "cli/Table.h"

namespace gcsdk {

using GoogleCloudSDKWrapper::SDiskInfoLib;
using GoogleCloudSDKWrapper::SKeyValueInfoLib;
using GoogleCloudSDKWrapper::SNetworkInterfaceInfoLib;
using GoogleCloudSDKWrapper::SSnapshotInfoLib;
using GoogleCloudSDKWrapper::SVMInfoLib;

int RequireOptions(const Invocation& invocation, std::initializer_list<const char*> names) {
    std::vector<std::string> missing;
    for (const char* name : names)
        if (!invocation.args.Has(name)) missing.push_back("--" + std::string(name));
    if (missing.empty()) return kExitOk;
    return invocation.UsageError("missing " + Join(missing, ", "));
}

int RequireResourceName(const Invocation& invocation, const char* option) {
    const std::string value = invocation.args.Value(option);
    if (IsResourceName(value)) return kExitOk;
    return invocation.UsageError("--" + std::string(option) + " '" + TerminalSafe(value) +
                                 "' is not a Compute Engine name (" + kResourceNameRule + ")");
}

int RequireDatabaseNames(const Invocation& invocation) {
    struct Rule {
        const char* option;
        bool (*valid)(const std::string&);
        std::string what;
    };
    const Rule rules[] = {
        {"project", IsResourceName, "a project id"},
        {"instance", IsSpannerInstanceId,
         std::string("a Spanner instance id (") + kSpannerInstanceRule + ")"},
        {"database", IsSpannerDatabaseId,
         std::string("a Spanner database id (") + kSpannerDatabaseRule + ")"},
        {"config", IsSpannerConfigId, "an instance configuration id (regional-us-central1, nam-eur-asia1)"},
        {"location", IsRegion, "a region (us-central1, europe-west4)"},
        {"bucket", IsBucketName, std::string("a bucket name (") + kBucketNameRule + ")"},
    };
    for (const Rule& rule : rules) {
        if (!invocation.args.Has(rule.option)) continue;
        const std::string value = invocation.args.Value(rule.option);
        if (!rule.valid(value))
            return invocation.UsageError("--" + std::string(rule.option) + " '" + TerminalSafe(value) +
                                         "' is not " + rule.what);
    }
    return kExitOk;
}

int ReadLocation(const Invocation& invocation, DiskLocation& location, bool regionAllowed) {
    const ParsedArguments& args = invocation.args;
    if (!regionAllowed) {
        if (!args.Has("zone")) return invocation.UsageError("missing --zone");
        location.zone = args.Value("zone");
        return kExitOk;
    }
    if (args.Has("zone") == args.Has("region")) return invocation.UsageError("give --zone Z or --region R");
    location.zone = args.Value("zone");
    location.region = args.Value("region");
    location.regional = args.Has("region");
    return kExitOk;
}

bool ReadTextFile(const std::string& path, std::string& text, std::string& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = "reading " + path + ": it is a directory";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "reading " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    return true;
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool written = fd >= 0 && fchmod(fd, 0600) == 0;  // a file that was there keeps no wider mode
    for (size_t done = 0; written && done < text.size();) {
        const ssize_t count = write(fd, text.data() + done, text.size() - done);
        if (count < 0 && errno == EINTR) continue;
        written = count > 0;
        if (written) done += static_cast<size_t>(count);
    }
    if (fd >= 0 && close(fd) != 0) written = false;
    if (!written) error = "writing " + path + ": " + std::strerror(errno);
    return written;
}

std::string LastSegment(const std::string& url) {
    const size_t slash = url.rfind('/');
    return slash == std::string::npos ? url : url.substr(slash + 1);
}

std::string RegionOfDiskUrl(const std::string& url) {
    const std::string marker = "/regions/";
    const size_t at = url.find(marker);
    if (at == std::string::npos) return "";
    const size_t start = at + marker.size();
    return url.substr(start, url.find('/', start) - start);
}

std::string SizeText(int64_t sizeGb) {
    return sizeGb > 0 ? std::to_string(sizeGb) : "";
}

std::string LabelText(const std::vector<SKeyValueInfoLib>& labels) {
    std::vector<std::string> pairs;
    for (const SKeyValueInfoLib& label : labels)
        pairs.push_back(label.value.empty() ? label.key : label.key + "=" + label.value);
    return Join(pairs, ",");
}

json_spirit::mObject LabelObject(const std::vector<SKeyValueInfoLib>& labels) {
    json_spirit::mObject object;
    for (const SKeyValueInfoLib& label : labels) object[label.key] = label.value;
    return object;
}

LabelList LabelsOf(const std::vector<SKeyValueInfoLib>& labels) {
    LabelList list;
    for (const SKeyValueInfoLib& label : labels) list.emplace_back(label.key, label.value);
    return list;
}

std::vector<SKeyValueInfoLib> LabelRecords(const LabelList& labels) {
    std::vector<SKeyValueInfoLib> records;
    for (const auto& [key, value] : labels) records.push_back({key, value});
    return records;
}

namespace {

json_spirit::mArray Strings(const std::vector<std::string>& items) {
    return json_spirit::mArray(items.begin(), items.end());
}

}  // namespace

json_spirit::mObject VmObject(const SVMInfoLib& vm) {
    json_spirit::mObject object;
    object["name"] = vm.name;
    object["id"] = vm.id;
    object["projectId"] = vm.projectId;
    object["zone"] = vm.zone;
    object["region"] = vm.region;
    object["status"] = vm.status;
    object["machineType"] = vm.machineType;
    object["description"] = vm.description;
    object["cpuPlatform"] = vm.cpuPlatform;
    object["externalIp"] = vm.externalIp;
    object["selfLink"] = vm.selfLink;
    object["deletionProtection"] = vm.deletionProtection;
    object["canIpForward"] = vm.canIpForward;
    object["preemptible"] = vm.scheduling.preemptible;
    object["tags"] = Strings(vm.tags);
    object["labels"] = LabelObject(vm.labels);

    json_spirit::mArray disks;
    for (const SDiskInfoLib& disk : vm.disks) {
        json_spirit::mObject entry;
        entry["name"] = disk.name;
        entry["deviceName"] = disk.deviceName;
        entry["boot"] = disk.boot;
        entry["type"] = disk.type;
        entry["mode"] = disk.mode;
        if (disk.sizeGb > 0) entry["sizeGb"] = disk.sizeGb;  // an attachment alone does not carry it
        entry["source"] = disk.source;
        disks.push_back(entry);
    }
    object["disks"] = disks;

    json_spirit::mArray interfaces;
    for (const SNetworkInterfaceInfoLib& nic : vm.networkInterfaces) {
        json_spirit::mObject entry;
        entry["name"] = nic.name;
        entry["network"] = nic.networkName;
        entry["subnetwork"] = nic.subnetworkName;
        entry["networkIP"] = nic.networkIP;
        json_spirit::mArray external;
        for (const auto& access : nic.accessConfigs)
            if (!access.natIP.empty()) external.push_back(access.natIP);
        entry["externalIps"] = external;
        interfaces.push_back(entry);
    }
    object["networkInterfaces"] = interfaces;
    return object;
}

json_spirit::mObject DiskObject(const SDiskInfoLib& disk) {
    json_spirit::mObject object;
    object["name"] = disk.name;
    object["id"] = disk.id;
    object["zone"] = disk.zone;
    object["region"] = RegionOfDiskUrl(disk.source);
    object["status"] = disk.status;
    object["type"] = disk.type;
    object["sizeGb"] = disk.sizeGb;
    object["sourceSnapshot"] = disk.sourceSnapshot;
    object["sourceImage"] = disk.sourceImage;
    object["selfLink"] = disk.source;
    object["users"] = Strings(disk.users);
    object["replicaZones"] = Strings(disk.replicaZones);
    object["labels"] = LabelObject(disk.labels);
    object["encrypted"] = disk.isEncrypted;
    return object;
}

json_spirit::mObject SnapshotObject(const SSnapshotInfoLib& snapshot) {
    json_spirit::mObject object;
    object["name"] = snapshot.name;
    object["id"] = snapshot.id;
    object["status"] = snapshot.status;
    object["sourceDisk"] = snapshot.sourceDisk;
    object["diskSizeGb"] = snapshot.diskSizeGb;
    object["creationTimestamp"] = snapshot.creationTimestamp;
    object["selfLink"] = snapshot.selfLink;
    object["labels"] = LabelObject(snapshot.labels);
    return object;
}

void PrintRecord(const Invocation& invocation, const std::vector<std::pair<std::string, std::string>>& rows,
                 const json_spirit::mObject& object) {
    if (invocation.Json()) {
        PrintJson(invocation, object);
        return;
    }
    Table table;
    for (const auto& [key, value] : rows) table.AddRow({key, value});
    invocation.out << table.Render();
    invocation.out.flush();
}

void PrintVm(const Invocation& invocation, const SVMInfoLib& vm) {
    std::vector<std::string> disks;
    for (const SDiskInfoLib& disk : vm.disks) disks.push_back(disk.boot ? disk.name + " (boot)" : disk.name);
    std::vector<std::string> networks;
    for (const SNetworkInterfaceInfoLib& nic : vm.networkInterfaces)
        networks.push_back(nic.name + " " + nic.networkName + "/" + nic.subnetworkName + " " + nic.networkIP);
    PrintRecord(invocation,
                {{"PROJECT", vm.projectId},
                 {"ZONE", vm.zone},
                 {"NAME", vm.name},
                 {"GUID", vm.id},
                 {"STATUS", vm.status},
                 {"MACHINE TYPE", vm.machineType},
                 {"DISKS", Join(disks, ", ")},
                 {"NETWORK", Join(networks, ", ")},
                 {"LABELS", LabelText(vm.labels)}},
                VmObject(vm));
}

void PrintDisk(const Invocation& invocation, const SDiskInfoLib& disk) {
    const std::string region = RegionOfDiskUrl(disk.source);
    PrintRecord(invocation,
                {{"NAME", disk.name},
                 {region.empty() ? "ZONE" : "REGION", region.empty() ? disk.zone : region},
                 {"STATUS", disk.status},
                 {"TYPE", disk.type},
                 {"SIZE GB", disk.sizeGb > 0 ? std::to_string(disk.sizeGb) : ""},
                 {"SOURCE SNAPSHOT", disk.sourceSnapshot},
                 {"USERS", Join(disk.users, ",")},
                 {"REPLICA ZONES", Join(disk.replicaZones, ",")},
                 {"LABELS", LabelText(disk.labels)}},
                DiskObject(disk));
}

int Complain(const Invocation& invocation, const std::string& text) {
    invocation.err << invocation.registry.Program() << ": " << TerminalSafe(text) << '\n';
    return kExitFailure;
}

void Say(const Invocation& invocation, const std::string& text) {
    if (invocation.Json()) return;
    invocation.out << TerminalSafe(text) << '\n';
    invocation.out.flush();
}

}  // namespace gcsdk
