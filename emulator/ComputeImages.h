// Images and licenses as the image family (public image projects) and the disk family (a project's own
// images, disks made from images) build them.
#pragma once

#include <string>
#include <vector>

#include "emulator/ComputeModel.h"

namespace gcemu {

// The relative name a reference names: a URL or "projects/..." as it is, "global/images/x" or
// "zones/z/disks/d" in the project, a bare name under the project's bare prefix ("global/images/").
std::string QualifiedName(const std::string& projectId, const std::string& reference,
                          const std::string& barePrefix);

// The multi-region ("us", "eu", "asia") an image or snapshot is kept in, after the zone or region
// ("us-central1-a") it came from.
std::string StorageLocation(const std::string& location);

// The key of the image a reference names; ".../images/family/f" is the newest image of family f that is
// not deprecated. Empty when there is none.
std::string FindImage(World::Txn& world, const std::string& projectId, const std::string& reference);

// Sets "licenses" (links) and "licenseCodes" from license references (bare names are the project's);
// an unknown license is an error of the entry.
void SetLicenses(World::Txn& world, const SeedEntry& entry, const std::string& projectId,
                 const std::vector<std::string>& references, json_spirit::mObject& resource);
// licenses, licenseCodes, guestOsFeatures and architecture of the source, where the resource has none.
void InheritImageTraits(const json_spirit::mObject& source, json_spirit::mObject& resource);

// A compute#license of a world entry {name, description, chargesUseFee}.
json_spirit::mObject LicenseResource(const World::Txn& world, const SeedEntry& entry,
                                     const std::string& projectId, const std::string& projectCreateTime);
// A compute#image of a world entry. Its traits come from the entry, then from its source disk or image
// when that exists already.
json_spirit::mObject ImageResource(World::Txn& world, const SeedEntry& entry, const std::string& projectId,
                                   const std::string& projectCreateTime);
// The relative name of an image entry's source disk, or empty when it names none.
std::string ImageSourceDisk(const SeedEntry& entry, const std::string& projectId);

}  // namespace gcemu
