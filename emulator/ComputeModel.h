// What the Compute Engine families share: their collections, resource links, ids that stay the same
// from run to run, and the reading of world entries with errors that name the entry.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "emulator/Http.h"
#include "emulator/World.h"
#include "host/json/JsonValue.h"

namespace gcemu {

// Keys are relative resource names, e.g. "projects/p/zones/z/instances/vm1".
namespace collections {
inline constexpr char kZones[] = "compute.zones";
inline constexpr char kRegions[] = "compute.regions";
inline constexpr char kMachineTypes[] = "compute.machineTypes";
inline constexpr char kDiskTypes[] = "compute.diskTypes";  // zonal and regional
inline constexpr char kInstances[] = "compute.instances";
inline constexpr char kDisks[] = "compute.disks";  // zonal and regional
inline constexpr char kSnapshots[] = "compute.snapshots";
inline constexpr char kImages[] = "compute.images";
inline constexpr char kLicenses[] = "compute.licenses";
inline constexpr char kNetworks[] = "compute.networks";
inline constexpr char kSubnetworks[] = "compute.subnetworks";
inline constexpr char kNodeGroups[] = "compute.nodeGroups";
// Public image projects (windows-cloud...) by project id: they publish images and licenses only.
inline constexpr char kImageProjects[] = "compute.imageProjects";
// Shared VPC hosts by project id: {"serviceProjects": [ids], "sharedSubnetworks": [relative names]}.
inline constexpr char kXpnHosts[] = "compute.xpnHosts";
// Shared VPC service projects by project id: {"hostProject": id}.
inline constexpr char kXpnServices[] = "compute.xpnServices";
}  // namespace collections

// Links name www.googleapis.com whichever host was asked, as Compute Engine does.
inline constexpr char kComputeBase[] = "https://www.googleapis.com/compute/v1/";

std::string ComputeUrl(const std::string& relativeName);
// A Compute URL (either host) or a relative name, as the relative name "projects/...".
std::string RelativeName(const std::string& urlOrName);
std::string LastSegment(const std::string& path);
std::vector<std::string> Segments(const std::string& path);
// "projects/p/zones/z/disks/d" or "projects/p/regions/r/disks/d": true, with the zone or region.
bool IsDiskName(const std::string& relativeName, std::string* location = nullptr);
// "us-central1-a" -> "us-central1".
std::string RegionOfZone(const std::string& zone);
// A decimal id of 19 digits derived from the text: the same resource gets the same id in every run.
std::string StableId(const std::string& text);

// The first missing ancestor of a relative name (the project, then its zone or region), or empty when
// all exist. Image publishers count as projects only when publishers is set.
std::string MissingParent(World::Txn& world, const std::string& relativeName, bool publishers = false);

// "10.128.0.0/20" -> its first address and prefix length; false when it is not an IPv4 range.
bool ParseCidr(const std::string& text, uint32_t& address, int& prefixLength);
std::string FormatIPv4(uint32_t address);
// "10.128.0.5" -> its address; false when it is not a dotted IPv4 address.
bool ParseIPv4(const std::string& text, uint32_t& address);

// Compute Engine's error bodies (no "status" member).
Response ComputeNotFoundResponse(const std::string& relativeName);
Response ComputeInvalidResponse(const std::string& message);
// The answer for a request whose ancestor MissingParent found missing: under an unknown zone or region,
// 400 "Invalid value for field 'zone': 'z'. Unknown zone."; an unknown project, or the zone or region
// itself, 404.
Response ComputeMissingResponse(const std::string& missing, const std::string& relativeName);

// One entry of the world document, read with checks: a wrong type or an unknown member is an error
// that names the entry ("world: project p: instance vm1: ...").
class SeedEntry {
public:
    SeedEntry(const json_spirit::mValue& value, std::string where);
    SeedEntry(const json_spirit::mObject& object, std::string where)
        : m_object(&object), m_where(std::move(where)) {}

    const json_spirit::mObject& object() const { return *m_object; }
    const std::string& where() const { return m_where; }
    [[noreturn]] void Fail(const std::string& what) const;

    void Allow(std::initializer_list<const char*> names) const;
    bool Has(const char* name) const { return m_object->count(name) != 0; }
    std::string Text(const char* name, const std::string& fallback = "") const;
    std::string RequiredText(const char* name) const;
    // An integer given as a JSON number or as decimal text.
    int64_t Integer(const char* name, int64_t fallback) const;
    bool Flag(const char* name, bool fallback) const;
    const json_spirit::mObject* Object(const char* name) const;
    const json_spirit::mArray* Array(const char* name) const;
    std::vector<std::string> Texts(const char* name) const;
    // An object of text values (labels); an empty object when absent.
    json_spirit::mObject TextMap(const char* name) const;
    // The entry's RFC 3339 time member, or one derived from the key within some days after start (seconds
    // since the epoch; a negative start is 2023-01-01).
    int64_t Time(const char* name, int64_t start, int days, const std::string& key) const;
    // The entry's creationTimestamp, or one derived from the key after the project's creation (in the
    // world's offset).
    std::string CreationTimestamp(const World::Txn& world, const std::string& projectCreateTime,
                                  const std::string& key) const;
    // The same, derived within 30 days after an earlier Compute timestamp (a snapshot after its disk).
    std::string CreationTimestampAfter(const World::Txn& world, const std::string& earlier,
                                       const std::string& key) const;

private:
    const json_spirit::mObject* m_object;
    std::string m_where;
};

// The entries of one section of a project's seed (absent: none); each must be an object.
std::vector<SeedEntry> SeedSection(const json_spirit::mObject& project, const char* section,
                                   const std::string& where);
// The project ids of the world, in document order, with their seed entries.
std::vector<std::pair<std::string, const json_spirit::mObject*>> SeedProjects(World::Txn& world);
// A top-level section of the document, or the built-in world's when the document has none.
const json_spirit::mValue& SeedCatalog(World::Txn& world, const char* section);
// The entries of one list of the location catalog ("regions", "machineTypes", "diskTypes").
std::vector<SeedEntry> CatalogEntries(World::Txn& world, const char* list);

// Stores a seeded resource under the relative name of its selfLink; a second entry of that name is an
// error of the entry.
json_spirit::mObject& PutNew(World::Txn& world, const char* collection, json_spirit::mObject resource,
                             const SeedEntry& entry);

// labels and labelFingerprint as Google puts them: labels left out when empty.
void SetLabels(json_spirit::mObject& resource, const json_spirit::mObject& labels);
// {"type": "X"} items from names.
json_spirit::mArray GuestOsFeatures(const std::vector<std::string>& names);
bool HasGuestOsFeature(const json_spirit::mObject& resource, const std::string& name);
// The cpuPlatform an instance of the machine type (a name) shows in that status.
std::string CpuPlatform(const std::string& machineType, const std::string& status);

}  // namespace gcemu
