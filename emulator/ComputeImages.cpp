#include "emulator/ComputeImages.h"

#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

constexpr char kFamilyPart[] = "/global/images/family/";

}  // namespace

std::string StorageLocation(const std::string& location) {
    const std::string area = location.substr(0, location.find('-'));
    if (area == "europe") return "eu";
    if (area == "asia" || area == "australia") return "asia";
    return "us";
}

std::string QualifiedName(const std::string& projectId, const std::string& reference,
                          const std::string& barePrefix) {
    const std::string name = RelativeName(reference);
    if (name.compare(0, 9, "projects/") == 0) return name;
    if (name.find('/') != std::string::npos) return "projects/" + projectId + "/" + name;
    return "projects/" + projectId + "/" + barePrefix + name;
}

std::string FindImage(World::Txn& world, const std::string& projectId, const std::string& reference) {
    const std::string name = QualifiedName(projectId, reference, "global/images/");
    const size_t family = name.find(kFamilyPart);
    if (family == std::string::npos) return world.Find(collections::kImages, name) ? name : "";
    const std::string wanted = name.substr(family + sizeof kFamilyPart - 1);
    std::string newest;
    int64_t newestTime = -1;
    for (const auto& [key, image] :
         world.List(collections::kImages, name.substr(0, family) + "/global/images/")) {
        if (ZkJson::GetStringValue(*image, "family") != wanted || image->count("deprecated")) continue;
        const int64_t created = ParseRfc3339(ZkJson::GetStringValue(*image, "creationTimestamp"));
        if (created >= newestTime) {
            newest = key;
            newestTime = created;
        }
    }
    return newest;
}

void SetLicenses(World::Txn& world, const SeedEntry& entry, const std::string& projectId,
                 const std::vector<std::string>& references, mObject& resource) {
    mArray licenses;
    mArray codes;
    for (const std::string& reference : references) {
        const std::string name = QualifiedName(projectId, reference, "global/licenses/");
        const mObject* license = world.Find(collections::kLicenses, name);
        if (!license) entry.Fail("license " + reference + " is not published in the world");
        licenses.push_back(ComputeUrl(name));
        codes.push_back(ZkJson::GetStringValue(*license, "licenseCode"));
    }
    resource["licenses"] = std::move(licenses);
    resource["licenseCodes"] = std::move(codes);
}

void InheritImageTraits(const mObject& source, mObject& resource) {
    for (const char* trait : {"licenses", "licenseCodes", "guestOsFeatures", "architecture"}) {
        const auto found = source.find(trait);
        if (found != source.end() && !resource.count(trait)) resource[trait] = found->second;
    }
}

mObject LicenseResource(const World::Txn& world, const SeedEntry& entry, const std::string& projectId,
                        const std::string& projectCreateTime) {
    entry.Allow({"name", "description", "chargesUseFee", "creationTimestamp"});
    const std::string name = "projects/" + projectId + "/global/licenses/" + entry.RequiredText("name");
    mObject license;
    license["kind"] = "compute#license";
    license["id"] = StableId(name);
    license["licenseCode"] = StableId("licenseCode:" + name);
    license["creationTimestamp"] = entry.CreationTimestamp(world, projectCreateTime, name);
    license["name"] = entry.RequiredText("name");
    license["description"] = entry.Text("description", entry.RequiredText("name"));
    license["chargesUseFee"] = entry.Flag("chargesUseFee", false);
    license["transferable"] = true;
    license["selfLink"] = ComputeUrl(name);
    return license;
}

std::string ImageSourceDisk(const SeedEntry& entry, const std::string& projectId) {
    const std::string reference = entry.Text("sourceDisk");
    if (reference.empty()) return "";
    const std::string name = QualifiedName(projectId, reference, "");
    if (!IsDiskName(name))
        entry.Fail("sourceDisk " + reference + " is not of the form zones/Z/disks/D or regions/R/disks/D");
    return name;
}

mObject ImageResource(World::Txn& world, const SeedEntry& entry, const std::string& projectId,
                      const std::string& projectCreateTime) {
    entry.Allow({"name", "description", "family", "licenses", "guestOsFeatures", "diskSizeGb", "labels",
                 "sourceDisk", "sourceImage", "deprecated", "creationTimestamp", "archiveSizeBytes",
                 "architecture"});
    const std::string name = "projects/" + projectId + "/global/images/" + entry.RequiredText("name");
    mObject image;
    image["kind"] = "compute#image";
    image["id"] = StableId(name);
    image["creationTimestamp"] = entry.CreationTimestamp(world, projectCreateTime, name);
    image["name"] = entry.RequiredText("name");
    image["description"] = entry.Text("description");
    if (entry.Has("family")) image["family"] = entry.Text("family");
    image["sourceType"] = "RAW";
    image["status"] = "READY";
    image["selfLink"] = ComputeUrl(name);
    SetLabels(image, entry.TextMap("labels"));
    if (entry.Has("licenses")) SetLicenses(world, entry, projectId, entry.Texts("licenses"), image);
    if (entry.Has("guestOsFeatures"))
        image["guestOsFeatures"] = GuestOsFeatures(entry.Texts("guestOsFeatures"));
    if (entry.Has("architecture")) image["architecture"] = entry.Text("architecture");

    int64_t sizeGb = entry.Integer("diskSizeGb", 0);
    std::string location = "us";
    const std::string disk = ImageSourceDisk(entry, projectId);
    if (!disk.empty()) {
        image["sourceDisk"] = ComputeUrl(disk);
        image["sourceDiskId"] = StableId(disk);
        IsDiskName(disk, &location);
        if (const mObject* source = world.Find(collections::kDisks, disk)) {
            image["creationTimestamp"] = entry.CreationTimestampAfter(
                world, ZkJson::GetStringValue(*source, "creationTimestamp"), name);
            InheritImageTraits(*source, image);
            if (sizeGb == 0) sizeGb = std::stoll(ZkJson::GetStringValue(*source, "sizeGb"));
        }
    } else if (entry.Has("sourceImage")) {
        const std::string source = FindImage(world, projectId, entry.Text("sourceImage"));
        if (source.empty()) entry.Fail("sourceImage " + entry.Text("sourceImage") + " is not in the world");
        const mObject& from = *world.Find(collections::kImages, source);
        image["sourceImage"] = ComputeUrl(source);
        image["sourceImageId"] = from.at("id");
        InheritImageTraits(from, image);
        if (sizeGb == 0) sizeGb = std::stoll(ZkJson::GetStringValue(from, "diskSizeGb"));
    }
    if (sizeGb <= 0) sizeGb = 10;
    image["diskSizeGb"] = std::to_string(sizeGb);
    image["archiveSizeBytes"] = std::to_string(entry.Integer("archiveSizeBytes", sizeGb * 187000000));
    image["storageLocations"] = mArray{StorageLocation(location)};
    if (!image.count("architecture")) image["architecture"] = "X86_64";
    if (entry.Has("deprecated")) {
        const std::string state = entry.Text("deprecated");
        if (state != "DEPRECATED" && state != "OBSOLETE" && state != "DELETED")
            entry.Fail("'deprecated' must be DEPRECATED, OBSOLETE or DELETED");
        image["deprecated"] = mObject{{"state", state}};
    }
    return image;
}

}  // namespace gcemu
