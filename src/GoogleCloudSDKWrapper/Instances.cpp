// Deleting instances, and powering them off and on.
#include "GoogleCloudOperations/CGoogleCloudOperations.h"
#include "GoogleCloudQueries/CGoogleCloudQueries.h"
#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"

namespace GoogleCloudSDKWrapper {

bool CGoogleCloudSDKWrapper::DeleteInstance(const std::string& projectId, const std::string& vmName,
                                            const std::string& vmId, const std::string& zone,
                                            bool deleteDisks) {
    SVMInfoLib vm;
    if (!queries->GetVMInfo(projectId, vmName, vmId, zone, vm, 0)) return false;
    if (!operations->DeleteInstance(projectId, vm.name, vm.zone)) return false;
    if (!deleteDisks) return true;
    // A failed disk is logged; the instance is gone either way.
    for (const SDiskInfoLib& disk : vm.disks) {
        bool deleted = disk.source.find("/regions/") == std::string::npos
                           ? operations->DeleteZonalDisk(projectId, disk.name, vm.zone)
                           : operations->DeleteRegionalDisk(projectId, disk.name, vm.region);
        if (deleted)
            Debug(__PRETTY_FUNCTION__, "Successfully deleted disk [%s].", disk.name.c_str());
        else
            Debug(__PRETTY_FUNCTION__, "Failed to delete disk [%s].", disk.name.c_str());
    }
    return true;
}

namespace {

// The VM as named by the caller; without a zone it is looked up in every zone of the project.
bool FindForPower(CGoogleCloudQueries& queries, const std::string& projectId, const std::string& vmName,
                  const std::string& vmId, const std::string& zone, SVMInfoLib& vm) {
    vm.name = vmName;
    vm.id = vmId;
    vm.zone = zone;
    if (!zone.empty()) return true;
    return queries.GetVMInfo(projectId, vmName, vmId, "", vm, 0);
}

}  // namespace

bool CGoogleCloudSDKWrapper::PowerOffInstance(const std::string& projectId, const std::string& vmName,
                                              const std::string& vmId, const std::string& zone) {
    SVMInfoLib vm;
    if (!FindForPower(*queries, projectId, vmName, vmId, zone, vm)) return false;
    return operations->PowerOffInstance(projectId, vm.name.empty() ? vm.id : vm.name, vm.zone);
}

bool CGoogleCloudSDKWrapper::PowerOnInstance(const std::string& projectId, const std::string& vmName,
                                             const std::string& vmId, const std::string& zone) {
    SVMInfoLib vm;
    if (!FindForPower(*queries, projectId, vmName, vmId, zone, vm)) return false;
    return operations->PowerOnInstance(projectId, vm.name.empty() ? vm.id : vm.name, vm.zone);
}

}  // namespace GoogleCloudSDKWrapper
