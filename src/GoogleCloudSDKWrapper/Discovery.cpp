// Finding VMs: by GUID (with the GUID cache), name, label or place, across every visible project.
#include "GoogleCloudQueries/CGoogleCloudQueries.h"
#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "host/CFilterTerm.h"
#include "host/ZKVMGuidCache.h"

namespace GoogleCloudSDKWrapper {

namespace {

void Append(std::vector<SVMInfoLib>& to, std::vector<SVMInfoLib>& from) {
    to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

}  // namespace

bool CGoogleCloudSDKWrapper::GetInstanceConfigJson(const std::string& projectId, const std::string& vmName,
                                                   const std::string& vmId, const std::string& zone,
                                                   std::string& json) {
    return queries->GetInstanceConfigJson(projectId, vmName, vmId, zone, json);
}

bool CGoogleCloudSDKWrapper::GetVMInfo(const std::string& projectId, const std::string& vmName,
                                       const std::string& vmGuid, const std::string& zone, SVMInfoLib& vm,
                                       UINT64 mask) {
    if (!projectId.empty() && !zone.empty())
        return queries->GetVMInfo(projectId, vmName, vmGuid, zone, vm, mask);
    if (vmGuid.empty()) return false;
    std::string foundProject, foundRegion, foundZone;
    return SearchInstance(vmGuid, vmName, mask, foundProject, foundRegion, foundZone, vm);
}

bool CGoogleCloudSDKWrapper::SearchInstance(const std::string& vmGuid, const std::string& vmName, UINT64 mask,
                                            std::string& projectId, std::string& region, std::string& zone,
                                            SVMInfoLib& vm) {
    if (vmGuid.empty()) return false;
    if (guidCache->LookupGuidCache(vmGuid, projectId, region, zone)) {
        if (queries->GetVMInfo(projectId, "", vmGuid, zone, vm, mask)) return true;
        if (!vmName.empty()) {
            Debug(__PRETTY_FUNCTION__, "VM is not found using GUID. Searching for VM using Name [%s]",
                  vmName.c_str());
            if (queries->GetVMInfo(projectId, vmName, "", zone, vm, mask)) {
                // Recreated under a new GUID where the old one was: the new GUID takes the entry over.
                guidCache->InvalidateGuidFromCache(vmGuid);
                guidCache->CacheGuid(vm.id, projectId, region, zone);
                return true;
            }
        }
    }
    if (ScanInstanceByGuid(vmGuid, mask, projectId, region, zone, vm)) return true;
    Error(__PRETTY_FUNCTION__, "Did not find any instance with guid [%s].", vmGuid.c_str());
    return false;
}

bool CGoogleCloudSDKWrapper::ScanInstanceByGuid(const std::string& vmGuid, UINT64 mask,
                                                std::string& projectId, std::string& region,
                                                std::string& zone, SVMInfoLib& vm) {
    std::vector<SProjectInfoLib> projects;
    if (!ListProjects(projects)) return false;
    for (const SProjectInfoLib& project : projects) {
        if (!queries->GetVMInfo(project.projectId, "", vmGuid, "", vm, mask)) continue;
        projectId = project.projectId;
        region = vm.region;
        zone = vm.zone;
        guidCache->CacheGuid(vmGuid, projectId, region, zone);
        return true;
    }
    return false;
}

bool CGoogleCloudSDKWrapper::GetVMInfoList(std::vector<SVMInfoLib>& vms, UINT64 mask) {
    std::vector<SProjectInfoLib> projects;
    if (!ListProjects(projects)) return false;
    for (const SProjectInfoLib& project : projects)
        if (!queries->GetVMInfoList(project.projectId, vms, mask)) return false;
    return true;
}

bool CGoogleCloudSDKWrapper::GetVMInfoListInZone(const std::string& projectId, const std::string& zone,
                                                 std::vector<SVMInfoLib>& vms, UINT64 mask) {
    std::vector<SProjectInfoLib> projects;
    if (!ProjectsFor(projectId, projects)) return false;
    for (const SProjectInfoLib& project : projects) {
        if (!queries->GetVMInfoListInZone(project.projectId, zone, vms, mask))
            DebugLvl(__PRETTY_FUNCTION__, 2, "No VM's found in zone [%s] for project [%s]", zone.c_str(),
                     project.projectId.c_str());
    }
    LookupAndCacheGuid(vms);
    return true;
}

bool CGoogleCloudSDKWrapper::GetVMInfoListByLabel(const std::string& projectId, const std::string& key,
                                                  const std::string& value, std::vector<SVMInfoLib>& vms,
                                                  UINT64 mask) {
    if (CFilterTerm::IsWildcardItem(key) || CFilterTerm::IsWildcardItem(value))
        return GetVMInfoListByLabelRegEx(projectId, key, value, vms, mask);
    // Refused once here, not once per zone with an empty answer.
    if (!queries->CheckLabelKey(__PRETTY_FUNCTION__, key)) return false;
    std::vector<SProjectInfoLib> projects;
    if (!ProjectsFor(projectId, projects)) return false;

    // With aggregated discovery one list holds every zone of a project: no zone list, one request per
    // project. Otherwise the zones of the first project that has any serve every later project.
    const bool aggregated = queries->AggregatedDiscovery();
    std::vector<SZoneInfoLib> zones;
    for (const SProjectInfoLib& project : projects) {
        if (!aggregated && zones.empty()) GetZoneInfoList(project.projectId, zones, mask);
        const size_t searches = aggregated ? 1 : zones.size();
        for (size_t i = 0; i < searches; ++i) {
            std::vector<SVMInfoLib> local;
            const bool found = aggregated ? queries->GetVMInfoListByLabelInAllZones(project.projectId, key,
                                                                                    value, local, mask)
                                          : queries->GetVMInfoListByLabel(project.projectId, zones[i].name,
                                                                          key, value, local, mask);
            if (found)
                Append(vms, local);
            else
                DebugLvl(__PRETTY_FUNCTION__, 2, "No VM's found with label [%s:%s] for project [%s]",
                         key.c_str(), value.c_str(), project.projectId.c_str());
        }
    }
    LookupAndCacheGuid(vms);
    return true;
}

bool CGoogleCloudSDKWrapper::GetVMInfoListByLabelRegEx(const std::string& projectId,
                                                       const std::string& keyPattern,
                                                       const std::string& valuePattern,
                                                       std::vector<SVMInfoLib>& vms, UINT64 mask) {
    std::vector<SProjectInfoLib> projects;
    if (!ProjectsFor(projectId, projects)) return false;
    const BFilterTermOptions options(static_cast<BFilterTermOptions::FILTER_CASE_STATE>(1));
    CFilterTerm keyTerm(options), valueTerm(options);
    keyTerm.LoadRaw(keyPattern);
    valueTerm.LoadRaw(valuePattern);
    for (const SProjectInfoLib& project : projects) {
        std::vector<SVMInfoLib> local;
        if (!queries->GetVMInfoList(project.projectId, local, mask)) return false;
        for (SVMInfoLib& vm : local) {
            for (const SKeyValueInfoLib& label : vm.labels) {
                if (keyTerm.Matches(label.key) && valueTerm.Matches(label.value)) {
                    vms.push_back(std::move(vm));
                    break;
                }
            }
        }
    }
    LookupAndCacheGuid(vms);
    return true;
}

bool CGoogleCloudSDKWrapper::GetVMInfoListInRegion(const std::string& projectId, const std::string& region,
                                                   const std::string& regionId, std::vector<SVMInfoLib>& vms,
                                                   UINT64 mask) {
    std::vector<SProjectInfoLib> projects;
    if (!ProjectsFor(projectId, projects)) return false;
    for (const SProjectInfoLib& project : projects)
        if (!queries->GetVMInfoListInRegion(project.projectId, region, regionId, vms, mask)) return false;
    LookupAndCacheGuid(vms);
    return true;
}

bool CGoogleCloudSDKWrapper::GetVMInfoListInProject(const std::string& projectPattern,
                                                    std::vector<SVMInfoLib>& vms, UINT64 mask) {
    if (!queries->GetVMInfoListInProject(projectPattern, vms, mask)) return false;
    LookupAndCacheGuid(vms);
    return true;
}

bool CGoogleCloudSDKWrapper::GetZoneInfoList(const std::string& projectId, std::vector<SZoneInfoLib>& zones,
                                             UINT64 mask) {
    std::vector<SProjectInfoLib> projects;
    if (!ProjectsFor(projectId, projects)) return false;
    for (const SProjectInfoLib& project : projects) {
        if (!queries->GetZoneInfoList(project.projectId, zones, mask)) return false;
        // Without the VMs of every zone, the zones of the first project that has any are enough.
        if (!zones.empty() && !(mask & VM_PROP_HOST_VM_LIST)) return true;
    }
    return true;
}

void CGoogleCloudSDKWrapper::LookupAndCacheGuid(const std::vector<SVMInfoLib>& vms) {
    for (const SVMInfoLib& vm : vms) {
        std::string project, region, zone;
        if (!guidCache->LookupGuidCache(vm.id, project, region, zone))
            guidCache->CacheGuid(vm.id, vm.projectId, vm.region, vm.zone);
    }
}

bool CGoogleCloudSDKWrapper::DoesVMExist(const std::string& projectId, const std::string& vmName,
                                         const std::string& zone, SVMInfoLib& vm) {
    return queries->DoesVMExist(projectId, vmName, zone, vm);
}

}  // namespace GoogleCloudSDKWrapper
