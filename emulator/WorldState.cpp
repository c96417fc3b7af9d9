#include "emulator/WorldState.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "emulator/CertificateAuthority.h"
#include "emulator/Emulator.h"
#include "emulator/Encoding.h"
#include "emulator/StorageModel.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mObject;
using json_spirit::mValue;

namespace {

constexpr char kFormatMember[] = "gcemuWorldState";
constexpr int kFormatVersion = 1;
// Objects' bytes need not be UTF-8, which JSON text must be: they are kept as base64url.
constexpr char kDataMember[] = "data";
constexpr char kEncodedDataMember[] = "dataBase64Url";

}  // namespace

mObject World::SaveState() {
    std::lock_guard<std::mutex> lock(m_mutex);
    mObject collections;
    for (const auto& [name, collection] : m_collections) {
        mObject resources;
        for (const auto& [key, resource] : collection) resources[key] = resource;
        collections[name] = std::move(resources);
    }
    mObject state;
    state[kFormatMember] = kFormatVersion;
    state["nextId"] = static_cast<int64_t>(m_nextId);
    state["collections"] = std::move(collections);
    return state;
}

void World::RestoreState(const mObject& state) {
    const auto format = state.find(kFormatMember);
    const auto nextId = state.find("nextId");
    const mObject* collections = ZkJson::FindObject(state, "collections");
    if (format == state.end() || format->second.type() != json_spirit::int_type ||
        format->second.get_int() != kFormatVersion || nextId == state.end() ||
        nextId->second.type() != json_spirit::int_type || nextId->second.get_int64() < 0 || !collections)
        throw std::invalid_argument("not a saved gcemu world (version " + std::to_string(kFormatVersion) +
                                    ")");
    std::map<std::string, Collection> restored;
    for (const auto& [name, resources] : *collections) {
        if (resources.type() != json_spirit::obj_type)
            throw std::invalid_argument("saved world: collection " + name + " is not an object");
        Collection& collection = restored[name];
        for (const auto& [key, resource] : resources.get_obj()) {
            if (resource.type() != json_spirit::obj_type)
                throw std::invalid_argument("saved world: " + name + " " + key + " is not an object");
            collection.emplace(key, resource.get_obj());
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_collections = std::move(restored);
    m_nextId = static_cast<uint64_t>(nextId->second.get_int64());
}

std::string WorldStateFile(const std::string& stateDir) {
    return stateDir + "/world-state.json";
}

void SaveWorldState(Emulator& emulator, const std::string& path) {
    emulator.operations().FinishAll();
    emulator.spannerOperations().FinishAll();
    emulator.dataflowJobs().FinishAll();
    mObject state = emulator.world().SaveState();
    mObject& collections = state["collections"].get_obj();
    const auto data = collections.find(collections::kObjectData);
    if (data != collections.end()) {
        for (auto& entry : data->second.get_obj()) {
            mObject& object = entry.second.get_obj();
            const auto bytes = object.find(kDataMember);
            if (bytes == object.end() || bytes->second.type() != json_spirit::str_type) continue;
            object[kEncodedDataMember] = Base64UrlEncode(bytes->second.get_str());
            object.erase(kDataMember);
        }
    }
    WriteFile(path, ZkJson::Serialize(state), 0600);
}

bool LoadWorldState(Emulator& emulator, const std::string& path) {
    std::error_code missing;
    if (!std::filesystem::exists(path, missing)) return false;
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read the saved world " + path + ": " + std::strerror(errno));
    std::ostringstream text;
    text << file.rdbuf();
    mObject state;
    if (!ZkJson::Unserialize(text.str(), state))
        throw std::runtime_error("the saved world " + path + " is not a JSON object");
    const auto collections = state.find("collections");
    if (collections != state.end() && collections->second.type() == json_spirit::obj_type) {
        mObject& byName = collections->second.get_obj();
        const auto data = byName.find(collections::kObjectData);
        if (data != byName.end() && data->second.type() == json_spirit::obj_type) {
            for (auto& entry : data->second.get_obj()) {
                if (entry.second.type() != json_spirit::obj_type) continue;
                mObject& object = entry.second.get_obj();
                const auto encoded = object.find(kEncodedDataMember);
                if (encoded == object.end()) continue;
                const auto bytes = encoded->second.type() == json_spirit::str_type
                                       ? Base64UrlDecode(encoded->second.get_str())
                                       : std::nullopt;
                if (!bytes)
                    throw std::runtime_error("the saved world " + path + ": object " + entry.first +
                                             " has data that is not base64url");
                object[kDataMember] = *bytes;
                object.erase(kEncodedDataMember);
            }
        }
    }
    try {
        emulator.world().RestoreState(state);
    } catch (const std::invalid_argument& error) {
        throw std::runtime_error("the saved world " + path + ": " + error.what());
    }
    return true;
}

ServiceAccountKey KeepServiceAccount(Emulator& emulator, const std::string& email) {
    ServiceAccountKey key;
    if (!ReadServiceAccountKey(emulator.StateDir(), email, key)) return emulator.MakeServiceAccount(email);
    emulator.RegisterServiceAccount(email, PublicKeyPemOf(key.privateKeyPem));
    return key;
}

}  // namespace gcemu
