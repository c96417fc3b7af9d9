#include "emulator/World.h"

#include <openssl/sha.h>

#include <cctype>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <stdexcept>

#include "emulator/Encoding.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

constexpr uint64_t kFirstId = 1000000000000000001ULL;

// The members a world file knows (WORLD.md); the families read the sections. A misspelt member is an
// error: ignored, it would leave a world without what the test meant it to hold.
constexpr std::initializer_list<const char*> kTopLevelMembers = {"projects", "locations", "imageProjects",
                                                                 "timeZoneOffset"};
constexpr std::initializer_list<const char*> kProjectMembers = {
    "projectId",       "projectNumber",  "name",    "labels",   "parent",
    "createTime",      "lifecycleState", "compute", "regions",  "networks",
    "subnetworks",     "nodeGroups",     "disks",   "images",   "snapshots",
    "instances",       "sharedVpc",      "buckets", "keyRings", "sqlInstances",
    "spannerInstances"};

void AllowOnly(const mObject& object, std::initializer_list<const char*> names, const std::string& where) {
    for (const auto& member : object) {
        bool known = false;
        for (const char* name : names) known = known || member.first == name;
        if (!known)
            throw std::invalid_argument("world: " + where + ": unknown member '" + member.first + "'");
    }
}

const mArray& SeedProjects(const mObject& document) {
    static const mArray kNone;
    const mArray* projects = ZkJson::FindArray(document, "projects");
    if (!projects && document.count("projects"))
        throw std::invalid_argument("world: 'projects' is not an array");
    return projects ? *projects : kNone;
}

// The Resource Manager view of a seed entry, with Google's defaults for what it leaves out.
mObject ProjectResource(const mValue& entry, size_t index) {
    if (entry.type() != json_spirit::obj_type)
        throw std::invalid_argument("world: a project is not an object");
    const mObject& seed = entry.get_obj();
    const std::string projectId = ZkJson::GetStringValue(seed, "projectId");
    if (projectId.empty()) throw std::invalid_argument("world: a project has no projectId");
    AllowOnly(seed, kProjectMembers, "project " + projectId);
    const auto parent = seed.find("parent");
    if (parent != seed.end()) {
        if (parent->second.type() != json_spirit::obj_type)
            throw std::invalid_argument("world: project " + projectId + ": 'parent' is not an object");
        AllowOnly(parent->second.get_obj(), {"type", "id"}, "project " + projectId + ": parent");
    }
    mObject project;
    project["projectId"] = projectId;
    const auto number = seed.find("projectNumber");
    if (number == seed.end()) {
        project["projectNumber"] = std::to_string(100000000001ULL + index);
    } else if (number->second.type() == json_spirit::int_type) {
        project["projectNumber"] = std::to_string(number->second.get_int64());  // Google sends it as text
    } else if (number->second.type() == json_spirit::str_type) {
        project["projectNumber"] = number->second.get_str();
    } else {
        throw std::invalid_argument("world: projectNumber of " + projectId + " is neither text nor a number");
    }
    project["name"] = seed.count("name") ? seed.at("name") : mValue(projectId);
    project["lifecycleState"] = seed.count("lifecycleState") ? seed.at("lifecycleState") : mValue("ACTIVE");
    project["createTime"] =
        seed.count("createTime") ? seed.at("createTime") : mValue("2023-01-02T03:04:05.000Z");
    for (const char* optional : {"labels", "parent"}) {
        if (seed.count(optional)) project[optional] = seed.at(optional);
    }
    return project;
}

std::string FormatTime(int64_t epochSecs, int offsetMinutes, int millis = 0) {
    const time_t shifted = static_cast<time_t>(epochSecs + offsetMinutes * 60);
    struct tm parts {};
    gmtime_r(&shifted, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", millis % 1000);
    std::string result = std::string(text) + fraction;
    if (offsetMinutes == 0) return result + "Z";
    const int magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char offset[16];
    std::snprintf(offset, sizeof offset, "%c%02d:%02d", offsetMinutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return result + offset;
}

int OffsetOf(const mObject& document) {
    const auto member = document.find("timeZoneOffset");
    if (member == document.end()) {
        int minutes = 0;
        ParseUtcOffset(kDefaultTimeZoneOffset, minutes);
        return minutes;
    }
    int minutes = 0;
    if (member->second.type() != json_spirit::str_type || !ParseUtcOffset(member->second.get_str(), minutes))
        throw std::invalid_argument("world: 'timeZoneOffset' is not an offset from UTC such as \"-07:00\"");
    return minutes;
}

}  // namespace

World::World(mObject document) : m_document(std::move(document)), m_offsetMinutes(OffsetOf(m_document)) {
    AllowOnly(m_document, kTopLevelMembers, "the top level");
    Lock().Reseed();
}

mObject World::DefaultDocument() {
    mObject document;
    if (!ZkJson::Unserialize(DefaultWorldText(), document))
        throw std::logic_error("the default world is not JSON");
    return document;
}

mObject World::ReadDocument(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read the world file " + path);
    std::ostringstream text;
    text << file.rdbuf();
    mObject document;
    if (!ZkJson::Unserialize(text.str(), document))
        throw std::runtime_error("the world file " + path + " is not a JSON object");
    return document;
}

mObject* World::Txn::Find(const std::string& collection, const std::string& key) {
    const auto found = m_world->m_collections.find(collection);
    if (found == m_world->m_collections.end()) return nullptr;
    const auto resource = found->second.find(key);
    return resource == found->second.end() ? nullptr : &resource->second;
}

mObject& World::Txn::Put(const std::string& collection, const std::string& key, mObject resource) {
    mObject& stored = m_world->m_collections[collection][key];
    stored = std::move(resource);
    return stored;
}

bool World::Txn::Erase(const std::string& collection, const std::string& key) {
    const auto found = m_world->m_collections.find(collection);
    return found != m_world->m_collections.end() && found->second.erase(key) != 0;
}

std::vector<std::pair<std::string, mObject*>> World::Txn::List(const std::string& collection,
                                                               const std::string& prefix) {
    std::vector<std::pair<std::string, mObject*>> resources;
    const auto found = m_world->m_collections.find(collection);
    if (found == m_world->m_collections.end()) return resources;
    for (auto it = found->second.lower_bound(prefix);
         it != found->second.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        resources.emplace_back(it->first, &it->second);
    }
    return resources;
}

size_t World::Txn::Count(const std::string& collection) const {
    const auto found = m_world->m_collections.find(collection);
    return found == m_world->m_collections.end() ? 0 : found->second.size();
}

const mObject* World::Txn::SeedProject(const std::string& projectId) const {
    for (const mValue& entry : SeedProjects(m_world->m_document)) {
        if (entry.type() == json_spirit::obj_type &&
            ZkJson::GetStringValue(entry.get_obj(), "projectId") == projectId)
            return &entry.get_obj();
    }
    return nullptr;
}

std::string World::Txn::NewId() {
    return std::to_string(kFirstId + m_world->m_nextId++);
}

std::string World::Txn::ComputeTime(int64_t epochSecs, int millis) const {
    return FormatComputeTimestamp(epochSecs, m_world->m_offsetMinutes, millis);
}

void World::Txn::Reseed() {
    m_world->m_collections.clear();
    m_world->m_nextId = 0;
    const mArray& projects = SeedProjects(m_world->m_document);
    for (size_t i = 0; i < projects.size(); ++i) {
        mObject project = ProjectResource(projects[i], i);
        const std::string projectId = project["projectId"].get_str();
        if (Find(collections::kProjects, projectId))
            throw std::invalid_argument("world: project " + projectId + " is listed twice");
        Put(collections::kProjects, projectId, std::move(project));
    }
}

std::string FormatRfc3339(int64_t epochSecs) {
    return FormatTime(epochSecs, 0);
}

std::string FormatMicrosTime(int64_t epochSecs, const std::string& key) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(key.data()), key.size(), digest);
    const unsigned micros = ((digest[0] << 16) | (digest[1] << 8) | digest[2]) % 1000000;
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, ".%06u", micros);
    const std::string whole = FormatTime(epochSecs, 0);
    return whole.substr(0, whole.find('.')) + fraction + "Z";
}

std::string FormatComputeTimestamp(int64_t epochSecs, int offsetMinutes, int millis) {
    return FormatTime(epochSecs, offsetMinutes, millis);
}

bool ParseUtcOffset(const std::string& text, int& minutes) {
    if (text == "Z") {
        minutes = 0;
        return true;
    }
    unsigned hours = 0;
    unsigned mins = 0;
    int consumed = 0;
    if (text.size() != 6 || (text[0] != '+' && text[0] != '-') ||
        std::sscanf(text.c_str() + 1, "%2u:%2u%n", &hours, &mins, &consumed) != 2 || consumed != 5 ||
        !std::isdigit(static_cast<unsigned char>(text[1])) ||
        !std::isdigit(static_cast<unsigned char>(text[4])) || hours > 14 || mins > 59)
        return false;
    minutes = (text[0] == '-' ? -1 : 1) * static_cast<int>(hours * 60 + mins);
    return true;
}

int64_t ParseRfc3339(const std::string& text) {
    struct tm parts {};
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &parts.tm_year, &parts.tm_mon, &parts.tm_mday,
                    &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &consumed) != 6)
        return -1;
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    size_t at = static_cast<size_t>(consumed);
    if (at < text.size() && text[at] == '.') {
        ++at;
        while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
    }
    int64_t offsetSecs = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        int hours = 0;
        int minutes = 0;
        if (std::sscanf(text.c_str() + at + 1, "%2d:%2d", &hours, &minutes) != 2) return -1;
        offsetSecs = (text[at] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
    } else if (at >= text.size() || (text[at] != 'Z' && text[at] != 'z')) {
        return -1;
    }
    return static_cast<int64_t>(timegm(&parts)) - offsetSecs;
}

std::string Fingerprint(const mValue& value) {
    const std::string text = ZkJson::Serialize(value);
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
    return Base64Encode(std::string(reinterpret_cast<const char*>(digest), 8));
}

}  // namespace gcemu
