// Instance (VM) queries: one VM by name or id, its configuration text, lists by zone, region,
// project pattern and label, device names.
#include <algorithm>

#include "GoogleCloudQueries/ListFilter.h"
#include "GoogleCloudQueries/QueryPatterns.h"
#include "host/CFilterTerm.h"
#include "host/JtString.h"

namespace GoogleCloudSDKWrapper {

namespace {

std::string InstancesOf(const std::string& zone) {
    return paths::Join("zones", zone) + "/instances";
}

// The VMs whose name or id is exactly the one asked for: the filter narrows, this decides. Returns
// whether the list held VMs that were all dropped.
bool KeepExact(std::vector<SVMInfoLib>& vms, const std::string& field, const std::string& value) {
    const bool hadAny = !vms.empty();
    vms.erase(
        std::remove_if(vms.begin(), vms.end(),
                       [&](const SVMInfoLib& vm) { return (field == "id" ? vm.id : vm.name) != value; }),
        vms.end());
    return hadAny && vms.empty();
}

bool HasLabel(const SVMInfoLib& vm, const std::string& key, const std::string& value) {
    return std::any_of(vm.labels.begin(), vm.labels.end(), [&](const SKeyValueInfoLib& label) {
        return label.key == key && label.value == value;
    });
}

// The project id goes only on the VMs a call appended: VMs of earlier projects keep their own.
void StampProject(std::vector<SVMInfoLib>& vms, size_t from, const std::string& projectId) {
    for (size_t i = from; i < vms.size(); ++i) vms[i].projectId = projectId;
}

// The list text by id, holding only the instance whose id is exactly that one; false when it holds
// none (the zone has no such VM, or the filter matched only others).
bool KeepExactInstanceText(const std::string& vmId, std::string& json) {
    mObject page;
    if (!ZkJson::Unserialize(json, page)) return false;
    auto items = page.find("items");
    if (items == page.end() || items->second.type() != json_spirit::array_type) return false;
    const mArray& listed = items->second.get_array();
    mArray exact;
    for (const mValue& item : listed)
        if (item.type() == json_spirit::obj_type && ZkJson::GetStringValue(item.get_obj(), "id") == vmId)
            exact.push_back(item);
    if (exact.size() == listed.size()) return true;
    if (exact.empty()) return false;
    items->second = exact;
    json = ZkJson::Serialize(page);
    return true;
}

}  // namespace

bool CGoogleCloudQueries::GetInstanceConfigJson(const std::string& projectId, const std::string& vmName,
                                                const std::string& vmId, const std::string& zone,
                                                std::string& json) {
    if (!vmName.empty())
        return connection->get(projectId, paths::Join("zones", zone) + "/instances/" + url::Segment(vmName),
                               json);
    if (!vmId.empty()) {
        if (!GetFirstMatchingPage(projectId, InstancesOf(zone) + filter::EqualsQuery("id", vmId), json))
            return false;
        if (KeepExactInstanceText(vmId, json)) return true;
        // A list without the VM is no configuration: say so as a read of the VM by name would.
        SetErrorMessage(JtString::Format("No VM with id [%s] in zone [%s].", vmId.c_str(), zone.c_str()));
        SetErrorCode("404");
        return false;
    }
    logger.Error(__PRETTY_FUNCTION__, "VM name and id are empty. Cannot retrieve instance config file.");
    return false;
}

bool CGoogleCloudQueries::ParseZonesForVMParam(const std::string& projectId, const std::string& zone,
                                               const std::string& field, const std::string& value,
                                               SVMInfoLib& vm) {
    const std::string filter = filter::EqualsQuery(field, value);
    std::vector<SVMInfoLib> found;
    std::string response;
    if (!zone.empty()) {
        switch (FetchAllPages(projectId, InstancesOf(zone) + filter, "items", found, response)) {
            case ListOutcome::kRequestFailed:
                return false;
            case ListOutcome::kNoList:
                logger.Error(__PRETTY_FUNCTION__, "Error in parsing the reponse of vm [%s] in zone [%s].",
                             value.c_str(), zone.c_str());
                return false;
            case ListOutcome::kListed:
                break;
        }
        if (KeepExact(found, field, value)) {
            logger.Debug(__PRETTY_FUNCTION__, "No VM whose %s is exactly [%s] in zone [%s].", field.c_str(),
                         value.c_str(), zone.c_str());
            return false;
        }
    } else if (aggregatedDiscovery) {
        // Every zone in one list; a name found in several zones gives the first listed, as below.
        if (!GetAggregatedInstances(projectId, filter, found)) return false;
        KeepExact(found, field, value);
        if (found.empty()) return false;
    } else {
        std::vector<SZoneInfoLib> zones;
        if (!GetZoneInfoList(projectId, zones, 0)) return false;
        bool listed = false;
        for (const SZoneInfoLib& candidate : zones) {
            std::vector<SVMInfoLib> inZone;
            if (FetchAllPages(projectId, InstancesOf(candidate.name) + filter, "items", inZone, response) !=
                    ListOutcome::kListed ||
                KeepExact(inZone, field, value))
                continue;
            found = std::move(inZone);
            listed = true;
            break;
        }
        if (!listed) return false;
    }
    if (!found.empty()) vm = std::move(found.front());
    return true;
}

bool CGoogleCloudQueries::GetVMInfo(const std::string& projectId, const std::string& vmName,
                                    const std::string& vmId, const std::string& zone, SVMInfoLib& vm,
                                    UINT64 mask) {
    if (vmId.empty() && vmName.empty()) {
        logger.Error(__PRETTY_FUNCTION__, "VM name and VM id are empty.");
        return false;
    }
    bool found = vmId.empty() ? ParseZonesForVMParam(projectId, zone, "name", vmName, vm)
                              : ParseZonesForVMParam(projectId, zone, "id", vmId, vm);
    if (!found) return false;
    vm.projectId = projectId;
    return GetAdditionalVMProp(projectId, vm, mask);
}

bool CGoogleCloudQueries::GetAdditionalVMProp(const std::string& projectId, SVMInfoLib& vm, UINT64 mask) {
    for (SDiskInfoLib& disk : vm.disks) disk.zone = vm.zone;
    if (!(mask & VM_PROP_VM_DISK_LIST)) return true;
    for (SDiskInfoLib& disk : vm.disks) {
        if (disk.type == "SCRATCH") continue;
        if (disk.source.find("/regions/") == std::string::npos)
            GetZonalDiskInfo(projectId, disk.name, vm.zone, disk, mask);
        else
            GetRegionalDiskInfo(projectId, disk.name, vm.region, disk, mask);
    }
    return true;
}

bool CGoogleCloudQueries::GetDeviceName(const std::string& projectId, const std::string& diskName,
                                        const std::string& vmName, const std::string& zone,
                                        std::string& deviceName) {
    SVMInfoLib vm;
    if (!GetVMInfo(projectId, vmName, "", zone, vm, 0)) return false;
    for (const SDiskInfoLib& disk : vm.disks) {
        if (disk.name == diskName) {
            deviceName = disk.deviceName;
            return true;
        }
    }
    return false;
}

bool CGoogleCloudQueries::GetVMInfoListInZone(const std::string& projectId, const std::string& zone,
                                              std::vector<SVMInfoLib>& vms, UINT64) {
    const size_t before = vms.size();
    std::string notFound =
        JtString::Format("Couldn't find VMs in the zone [%s], project [%s]", zone.c_str(), projectId.c_str());
    if (!ListQuery(__PRETTY_FUNCTION__, projectId, InstancesOf(zone), vms, notFound)) return false;
    StampProject(vms, before, projectId);
    return true;
}

bool CGoogleCloudQueries::GetVMInfoList(const std::string& projectId, std::vector<SVMInfoLib>& vms,
                                        UINT64 mask) {
    std::vector<SZoneInfoLib> zones;
    if (!GetZoneInfoList(projectId, zones, mask)) return false;
    for (const SZoneInfoLib& zone : zones) {
        std::vector<SVMInfoLib> local;
        if (GetVMInfoListInZone(projectId, zone.name, local, mask))
            vms.insert(vms.end(), std::make_move_iterator(local.begin()),
                       std::make_move_iterator(local.end()));
    }
    return true;
}

bool CGoogleCloudQueries::GetVMInfoListInRegion(const std::string& projectId, const std::string& region,
                                                const std::string& regionId, std::vector<SVMInfoLib>& vms,
                                                UINT64) {
    SRegionInfoLib record;
    if (!GetRegionInfo(projectId, region, regionId, record, 0)) {
        if (GetErrorCode() != "404") return false;
        logger.DebugLvl(__PRETTY_FUNCTION__, 2, "Couldn't find VMs in the region [%s], project [%s]",
                        region.c_str(), projectId.c_str());
        return true;
    }
    for (const SZoneInfoLib& zone : record.zoneList) {
        std::vector<SVMInfoLib> local;
        if (GetVMInfoListInZone(projectId, zone.name, local, 0))
            vms.insert(vms.end(), std::make_move_iterator(local.begin()),
                       std::make_move_iterator(local.end()));
    }
    return true;
}

bool CGoogleCloudQueries::GetVMInfoListInProject(const std::string& projectPattern,
                                                 std::vector<SVMInfoLib>& vms, UINT64) {
    std::vector<std::string> projectIds;
    if (CFilterTerm::IsWildcardItem(projectPattern)) {
        std::vector<SProjectInfoLib> projects;
        if (!ListProjects(projects)) {
            logger.Debug(__PRETTY_FUNCTION__, "Failed to get list of projects");
            return false;
        }
        CFilterTerm term(BFilterTermOptions(static_cast<BFilterTermOptions::FILTER_CASE_STATE>(1)));
        term.LoadRaw(projectPattern);
        for (const SProjectInfoLib& project : projects) {
            if (term.Matches(project.projectId))
                projectIds.push_back(project.projectId);
            else
                logger.DebugLvl(__PRETTY_FUNCTION__, 2, "Project [%s] does not match pattern [%s]",
                                project.projectId.c_str(), projectPattern.c_str());
        }
    } else {
        projectIds.push_back(projectPattern);
    }

    // The regions of the first project that has any serve every later project.
    std::vector<SRegionInfoLib> regions;
    for (const std::string& projectId : projectIds) {
        if (regions.empty() && !GetRegionInfoList(projectId, regions, 0)) return false;
        for (const SRegionInfoLib& region : regions) {
            std::vector<SVMInfoLib> local;
            if (GetVMInfoListInRegion(projectId, region.name, "", local, 0))
                vms.insert(vms.end(), std::make_move_iterator(local.begin()),
                           std::make_move_iterator(local.end()));
        }
    }
    return true;
}

bool CGoogleCloudQueries::GetVMInfoListByLabel(const std::string& projectId, const std::string& zone,
                                               const std::string& key, const std::string& value,
                                               std::vector<SVMInfoLib>& vms, UINT64) {
    if (!CheckLabelKey(__PRETTY_FUNCTION__, key)) return false;
    std::vector<SVMInfoLib> found;
    std::string notFound = JtString::Format("Couldn't find VMs with labels [%s/%s], project [%s]",
                                            key.c_str(), value.c_str(), projectId.c_str());
    if (!ListQuery(__PRETTY_FUNCTION__, projectId,
                   InstancesOf(zone) + filter::EqualsQuery("labels." + key, value), found, notFound))
        return false;
    const size_t before = vms.size();
    for (SVMInfoLib& vm : found)
        if (HasLabel(vm, key, value)) vms.push_back(std::move(vm));
    StampProject(vms, before, projectId);
    return true;
}

bool CGoogleCloudQueries::GetVMInfoListByLabelInAllZones(const std::string& projectId, const std::string& key,
                                                         const std::string& value,
                                                         std::vector<SVMInfoLib>& vms, UINT64) {
    if (!CheckLabelKey(__PRETTY_FUNCTION__, key)) return false;
    std::vector<SVMInfoLib> found;
    if (!GetAggregatedInstances(projectId, filter::EqualsQuery("labels." + key, value), found)) {
        if (GetErrorCode() != "404") return false;
        logger.DebugLvl(__PRETTY_FUNCTION__, 2, "Couldn't find VMs with labels [%s/%s], project [%s]",
                        key.c_str(), value.c_str(), projectId.c_str());
        return true;
    }
    const size_t before = vms.size();
    for (SVMInfoLib& vm : found)
        if (HasLabel(vm, key, value)) vms.push_back(std::move(vm));
    StampProject(vms, before, projectId);
    return true;
}

bool CGoogleCloudQueries::CheckLabelKey(const char* tag, const std::string& key) {
    if (filter::IsLabelKey(key)) return true;
    const std::string message = JtString::Format(
        "[%s] is not a label key: Compute Engine's are 1 to 63 lowercase letters, digits, '_' and '-'.",
        key.c_str());
    logger.Error(tag, "%s", message.c_str());
    SetErrorMessage(message);
    SetErrorCode("INVALID_ARGUMENT");
    return false;
}

bool CGoogleCloudQueries::DoesVMExist(const std::string& projectId, const std::string& vmName,
                                      const std::string& zone, SVMInfoLib& vm) {
    if (!zone.empty() && GetVMInfo(projectId, vmName, "", zone, vm, 0)) return true;
    return GetVMInfo(projectId, vmName, "", "", vm, 0);
}

}  // namespace GoogleCloudSDKWrapper
