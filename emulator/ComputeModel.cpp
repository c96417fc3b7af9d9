#include "emulator/ComputeModel.h"

#include <openssl/sha.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "emulator/GoogleErrors.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

uint64_t Digest64(const std::string& text) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = (value << 8) | digest[i];
    return value;
}

const char* TypeName(json_spirit::Value_type type) {
    switch (type) {
        case json_spirit::obj_type:
            return "an object";
        case json_spirit::array_type:
            return "an array";
        case json_spirit::str_type:
            return "text";
        case json_spirit::bool_type:
            return "a boolean";
        case json_spirit::int_type:
        case json_spirit::real_type:
            return "a number";
        default:
            return "null";
    }
}

}  // namespace

std::string ComputeUrl(const std::string& relativeName) {
    return kComputeBase + relativeName;
}

std::string RelativeName(const std::string& urlOrName) {
    for (const char* base :
         {"https://www.googleapis.com/compute/v1/", "https://compute.googleapis.com/compute/v1/"}) {
        if (urlOrName.compare(0, std::strlen(base), base) == 0) return urlOrName.substr(std::strlen(base));
    }
    return urlOrName;
}

std::string LastSegment(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> Segments(const std::string& path) {
    std::vector<std::string> segments;
    size_t start = 0;
    while (true) {
        const size_t slash = path.find('/', start);
        segments.push_back(
            path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) return segments;
        start = slash + 1;
    }
}

bool IsDiskName(const std::string& relativeName, std::string* location) {
    const std::vector<std::string> parts = Segments(relativeName);
    if (parts.size() != 6 || parts[0] != "projects" || (parts[2] != "zones" && parts[2] != "regions") ||
        parts[4] != "disks")
        return false;
    for (const std::string& part : parts) {
        if (part.empty()) return false;
    }
    if (location) *location = parts[3];
    return true;
}

std::string RegionOfZone(const std::string& zone) {
    const size_t dash = zone.rfind('-');
    return dash == std::string::npos ? zone : zone.substr(0, dash);
}

std::string StableId(const std::string& text) {
    return std::to_string(1000000000000000000ULL + Digest64(text) % 9000000000000000000ULL);
}

std::string MissingParent(World::Txn& world, const std::string& relativeName, bool publishers) {
    // projects/{p}[/zones/{z} | /regions/{r} | /global]/...
    const size_t projectEnd = relativeName.find('/', std::strlen("projects/"));
    const std::string project = relativeName.substr(0, projectEnd);
    const std::string projectId = LastSegment(project);
    if (!world.Find(collections::kComputeProjects, projectId) &&
        !(publishers && world.Find(collections::kImageProjects, projectId)))
        return project;
    if (projectEnd == std::string::npos) return "";
    const size_t scopeEnd = relativeName.find('/', projectEnd + 1);
    const std::string scope = relativeName.substr(projectEnd + 1, scopeEnd - projectEnd - 1);
    if (scopeEnd == std::string::npos || (scope != "zones" && scope != "regions")) return "";
    const size_t locationEnd = relativeName.find('/', scopeEnd + 1);
    const std::string location = relativeName.substr(0, locationEnd);
    const char* collection = scope == "zones" ? collections::kZones : collections::kRegions;
    return world.Find(collection, location) ? "" : location;
}

bool ParseCidr(const std::string& text, uint32_t& address, int& prefixLength) {
    unsigned parts[4] = {0, 0, 0, 0};
    int length = -1;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u/%2d%n", &parts[0], &parts[1], &parts[2], &parts[3],
                    &length, &consumed) != 5 ||
        static_cast<size_t>(consumed) != text.size() || length < 8 || length > 29)
        return false;
    address = 0;
    for (unsigned part : parts) {
        if (part > 255) return false;
        address = (address << 8) | part;
    }
    const uint32_t mask = ~uint32_t(0) << (32 - length);
    if (address & ~mask) return false;  // host bits set: not the range's first address
    prefixLength = length;
    return true;
}

std::string FormatIPv4(uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 255) + "." +
           std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
}

bool ParseIPv4(const std::string& text, uint32_t& address) {
    unsigned parts[4] = {0, 0, 0, 0};
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%n", &parts[0], &parts[1], &parts[2], &parts[3],
                    &consumed) != 4 ||
        static_cast<size_t>(consumed) != text.size())
        return false;
    address = 0;
    for (unsigned part : parts) {
        if (part > 255) return false;
        address = (address << 8) | part;
    }
    return true;
}

Response ComputeNotFoundResponse(const std::string& relativeName) {
    return ComputeNotFound(relativeName).ToResponse();
}

Response ComputeInvalidResponse(const std::string& message) {
    GoogleError error = InvalidArgument(message);
    error.status.clear();
    return error.ToResponse();
}

Response ComputeMissingResponse(const std::string& missing, const std::string& relativeName) {
    const std::vector<std::string> parts = Segments(missing);  // projects/p[/zones/z]
    if (parts.size() != 4 || relativeName.size() <= missing.size()) return ComputeNotFoundResponse(missing);
    const std::string field = parts[2] == "zones" ? "zone" : "region";
    return ComputeInvalidResponse("Invalid value for field '" + field + "': '" + parts[3] + "'. Unknown " +
                                  field + ".");
}

SeedEntry::SeedEntry(const mValue& value, std::string where) : m_where(std::move(where)) {
    if (value.type() != json_spirit::obj_type)
        throw std::invalid_argument("world: " + m_where + ": is " + TypeName(value.type()) +
                                    ", not an object");
    m_object = &value.get_obj();
}

void SeedEntry::Fail(const std::string& what) const {
    throw std::invalid_argument("world: " + m_where + ": " + what);
}

void SeedEntry::Allow(std::initializer_list<const char*> names) const {
    for (const auto& member : *m_object) {
        bool known = false;
        for (const char* name : names) known = known || member.first == name;
        if (!known) Fail("unknown member '" + member.first + "'");
    }
}

std::string SeedEntry::Text(const char* name, const std::string& fallback) const {
    const auto found = m_object->find(name);
    if (found == m_object->end()) return fallback;
    if (found->second.type() != json_spirit::str_type)
        Fail(std::string("'") + name + "' is " + TypeName(found->second.type()) + ", not text");
    return found->second.get_str();
}

std::string SeedEntry::RequiredText(const char* name) const {
    const std::string value = Text(name);
    if (value.empty()) Fail(std::string("'") + name + "' is missing");
    return value;
}

int64_t SeedEntry::Integer(const char* name, int64_t fallback) const {
    const auto found = m_object->find(name);
    if (found == m_object->end()) return fallback;
    if (found->second.type() == json_spirit::int_type) return found->second.get_int64();
    if (found->second.type() == json_spirit::str_type) {
        const std::string& text = found->second.get_str();
        size_t used = 0;
        try {
            const long long value = std::stoll(text, &used);
            if (used == text.size()) return value;
        } catch (const std::exception&) {
        }
    }
    Fail(std::string("'") + name + "' is not an integer");
}

bool SeedEntry::Flag(const char* name, bool fallback) const {
    const auto found = m_object->find(name);
    if (found == m_object->end()) return fallback;
    if (found->second.type() != json_spirit::bool_type) Fail(std::string("'") + name + "' is not a boolean");
    return found->second.get_bool();
}

const mObject* SeedEntry::Object(const char* name) const {
    const auto found = m_object->find(name);
    if (found == m_object->end()) return nullptr;
    if (found->second.type() != json_spirit::obj_type) Fail(std::string("'") + name + "' is not an object");
    return &found->second.get_obj();
}

const mArray* SeedEntry::Array(const char* name) const {
    const auto found = m_object->find(name);
    if (found == m_object->end()) return nullptr;
    if (found->second.type() != json_spirit::array_type) Fail(std::string("'") + name + "' is not an array");
    return &found->second.get_array();
}

std::vector<std::string> SeedEntry::Texts(const char* name) const {
    std::vector<std::string> texts;
    if (const mArray* values = Array(name)) {
        for (const mValue& value : *values) {
            if (value.type() != json_spirit::str_type)
                Fail(std::string("'") + name + "' holds a non-text value");
            texts.push_back(value.get_str());
        }
    }
    return texts;
}

mObject SeedEntry::TextMap(const char* name) const {
    const mObject* values = Object(name);
    if (!values) return mObject();
    for (const auto& [key, value] : *values) {
        if (value.type() != json_spirit::str_type)
            Fail(std::string("'") + name + "." + key + "' is " + TypeName(value.type()) + ", not text");
    }
    return *values;
}

int64_t SeedEntry::Time(const char* name, int64_t start, int days, const std::string& key) const {
    if (Has(name)) {
        const int64_t given = ParseRfc3339(Text(name));
        if (given < 0) Fail(std::string("'") + name + "' is not an RFC 3339 time");
        return given;
    }
    if (start < 0) start = 1672531200;  // 2023-01-01
    return start + 3600 + static_cast<int64_t>(Digest64(key) % (static_cast<uint64_t>(days) * 86400));
}

std::string SeedEntry::CreationTimestamp(const World::Txn& world, const std::string& projectCreateTime,
                                         const std::string& key) const {
    const std::string given = Text("creationTimestamp");
    if (!given.empty()) {
        if (ParseRfc3339(given) < 0) Fail("'creationTimestamp' is not an RFC 3339 time");
        return given;
    }
    int64_t base = ParseRfc3339(projectCreateTime);
    if (base < 0) base = 1672531200;  // 2023-01-01
    // Within 180 days of the project's creation, on a whole second.
    return world.ComputeTime(base + 3600 + static_cast<int64_t>(Digest64(key) % (180 * 86400)));
}

std::string SeedEntry::CreationTimestampAfter(const World::Txn& world, const std::string& earlier,
                                              const std::string& key) const {
    if (Has("creationTimestamp")) return CreationTimestamp(world, "", key);
    const int64_t base = ParseRfc3339(earlier);
    return world.ComputeTime((base < 0 ? 1672531200 : base) + 3600 +
                             static_cast<int64_t>(Digest64(key) % (30 * 86400)));
}

std::vector<SeedEntry> SeedSection(const mObject& project, const char* section, const std::string& where) {
    std::vector<SeedEntry> entries;
    const auto found = project.find(section);
    if (found == project.end()) return entries;
    if (found->second.type() != json_spirit::array_type)
        throw std::invalid_argument("world: " + where + ": '" + section + "' is not an array");
    const mArray& items = found->second.get_array();
    for (size_t i = 0; i < items.size(); ++i) {
        std::string name;
        if (items[i].type() == json_spirit::obj_type)
            name = ZkJson::GetStringValue(items[i].get_obj(), "name");
        entries.emplace_back(items[i], where + ": " + section + "[" + std::to_string(i) + "]" +
                                           (name.empty() ? "" : " (" + name + ")"));
    }
    return entries;
}

std::vector<std::pair<std::string, const mObject*>> SeedProjects(World::Txn& world) {
    std::vector<std::pair<std::string, const mObject*>> projects;
    const mArray* entries = ZkJson::FindArray(world.Document(), "projects");
    if (!entries) return projects;
    for (const mValue& entry : *entries) {
        // World has checked every entry already.
        const mObject& project = entry.get_obj();
        projects.emplace_back(ZkJson::GetStringValue(project, "projectId"), &project);
    }
    return projects;
}

const mValue& SeedCatalog(World::Txn& world, const char* section) {
    static const mObject kBuiltIn = World::DefaultDocument();
    const auto given = world.Document().find(section);
    if (given != world.Document().end()) return given->second;
    const auto builtIn = kBuiltIn.find(section);
    return builtIn == kBuiltIn.end() ? mValue::null : builtIn->second;
}

std::vector<SeedEntry> CatalogEntries(World::Txn& world, const char* list) {
    const mValue& locations = SeedCatalog(world, "locations");
    if (locations.is_null()) return {};
    const SeedEntry catalog(locations, "locations");
    catalog.Allow({"regions", "machineTypes", "diskTypes"});
    return SeedSection(catalog.object(), list, "locations");
}

mObject& PutNew(World::Txn& world, const char* collection, mObject resource, const SeedEntry& entry) {
    const std::string key = RelativeName(ZkJson::GetStringValue(resource, "selfLink"));
    if (world.Find(collection, key)) entry.Fail(key + " is in the world twice");
    return world.Put(collection, key, std::move(resource));
}

void SetLabels(mObject& resource, const mObject& labels) {
    if (!labels.empty()) resource["labels"] = labels;
    resource["labelFingerprint"] = Fingerprint(labels);
}

mArray GuestOsFeatures(const std::vector<std::string>& names) {
    mArray features;
    for (const std::string& name : names) features.push_back(mObject{{"type", name}});
    return features;
}

bool HasGuestOsFeature(const mObject& resource, const std::string& name) {
    const mArray* features = ZkJson::FindArray(resource, "guestOsFeatures");
    if (!features) return false;
    for (const mValue& feature : *features) {
        if (feature.type() == json_spirit::obj_type &&
            ZkJson::GetStringValue(feature.get_obj(), "type") == name)
            return true;
    }
    return false;
}

std::string CpuPlatform(const std::string& machineType, const std::string& status) {
    if (status != "RUNNING" && status != "STOPPING" && status != "SUSPENDING") return "Unknown CPU Platform";
    if (machineType.compare(0, 3, "n2-") == 0) return "Intel Cascade Lake";
    if (machineType.compare(0, 3, "n1-") == 0) return "Intel Haswell";
    return "Intel Broadwell";
}

}  // namespace gcemu
