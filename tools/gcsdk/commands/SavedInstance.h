// What a saved instance resource (the configuration 'snapshot --save-config' or 'vm config' wrote) says
// about itself, as much as a restore needs to plan with: its machine type, disks, interfaces and service
// accounts, and what in it the library's restore does not carry over.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "GoogleCloudSDKWrapper/Records.h"

namespace gcsdk {

struct SavedDisk {
    std::string name;
    bool boot = false;
};

struct SavedInterface {
    std::string name;
    bool externalAddress = false;  // an access config: the library's restore makes none
    bool aliasRanges = false;      // alias IP ranges: not restored either
};

struct SavedInstance {
    std::string machineType;
    std::vector<SavedDisk> disks;
    std::vector<SavedInterface> interfaces;
    std::vector<GoogleCloudSDKWrapper::SServiceAccountInfoLib> serviceAccounts;
    std::vector<std::string> otherFields;  // set fields the restore leaves out ("guestAccelerators")
};

// False when the text is not an instance resource (a JSON object with disks).
bool ReadSavedInstance(const std::string& json, SavedInstance& saved);

std::vector<std::string> SavedDiskNames(const SavedInstance& saved);

// What the saved VM has that the restored one will not: fields the library does not restore, the
// external addresses and alias ranges of the interfaces used, the service accounts when left out, the
// saved disks no --disk replaces. usedInterfaces: the saved interfaces restored; overrides: saved disk to
// the disk that replaces it.
std::vector<std::string> NotCarriedOver(const SavedInstance& saved,
                                        const std::vector<std::string>& usedInterfaces,
                                        const std::map<std::string, std::string>& overrides,
                                        bool serviceAccountsLeftOut);

}  // namespace gcsdk
