// A restored VM next to its original, field by field: what a restore must bring back.
#pragma once

#include <string>
#include <vector>

#include "GoogleCloudSDKWrapper/Records.h"

namespace gcsdk {
namespace demo {

struct FieldComparison {
    std::string field;                // "machine type"
    std::string original;             // as shown
    std::vector<std::string> copies;  // per copy: "same", or its own value
    bool same = true;                 // every copy has the original's value
};

// Machine type, zone, labels, metadata, tags, network and subnetwork of each interface, the disks
// (their count, and the boot disk first) and scheduling.
std::vector<FieldComparison> CompareVms(const GoogleCloudSDKWrapper::SVMInfoLib& original,
                                        const std::vector<GoogleCloudSDKWrapper::SVMInfoLib>& copies);

// What the original has and a copy lacks among what the library's restore does not carry over (the
// service accounts, the external address): "service account a@b", "external address 34.70.10.1". A note
// beside the comparison, not part of it.
std::vector<std::string> NotCarriedOver(const GoogleCloudSDKWrapper::SVMInfoLib& original,
                                        const std::vector<GoogleCloudSDKWrapper::SVMInfoLib>& copies);

// The comparison as table lines: a header naming the VMs, then one line per field.
std::vector<std::string> ComparisonLines(const GoogleCloudSDKWrapper::SVMInfoLib& original,
                                         const std::vector<GoogleCloudSDKWrapper::SVMInfoLib>& copies,
                                         const std::vector<FieldComparison>& fields);

}  // namespace demo
}  // namespace gcsdk
