// The emulator's in-memory world: Google-shaped JSON resources in named collections, seeded from a world
// file (or the built-in default) and back to that seed on reset.
//
// A collection maps a key to a resource; keys are the resources' relative names
// ("projects/p1/zones/us-central1-a/disks/d1"), so a prefix scan lists one parent's children in name
// order. Each API family names its own collections and seeds them from the world document. Handlers
// reach the world only through a Txn, which holds the world's one lock.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "host/json/JsonValue.h"

namespace gcemu {

namespace collections {
// Resource Manager v1 projects by projectId: projectId, projectNumber (text), name, labels,
// lifecycleState, createTime, parent {type, id}.
inline constexpr char kProjects[] = "projects";
// compute#project resources by projectId.
inline constexpr char kComputeProjects[] = "compute.projects";
}  // namespace collections

class World {
public:
    // document: {"projects": [{projectId, projectNumber, name, labels, lifecycleState, createTime, parent,
    // "compute": {members of the compute#project resource}}], "timeZoneOffset": "-07:00", ...sections of
    // other families}. Throws std::invalid_argument when the projects section or the offset is malformed.
    explicit World(json_spirit::mObject document = DefaultDocument());
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // The built-in world, emulator/worlds/default.json.
    static json_spirit::mObject DefaultDocument();
    // Throws std::runtime_error when the file cannot be read or is not a JSON object.
    static json_spirit::mObject ReadDocument(const std::string& path);

    class Txn {
    public:
        Txn(Txn&&) = default;

        json_spirit::mObject* Find(const std::string& collection, const std::string& key);
        // Inserts or replaces; returns the stored resource.
        json_spirit::mObject& Put(const std::string& collection, const std::string& key,
                                  json_spirit::mObject resource);
        bool Erase(const std::string& collection, const std::string& key);
        // The resources whose key starts with prefix, in key order.
        std::vector<std::pair<std::string, json_spirit::mObject*>> List(const std::string& collection,
                                                                        const std::string& prefix = "");
        size_t Count(const std::string& collection) const;

        json_spirit::mObject* FindProject(const std::string& projectId) {
            return Find(collections::kProjects, projectId);
        }
        // The seed document, for families seeding their collections.
        const json_spirit::mObject& Document() const { return m_world->m_document; }
        // The seed's entry for a project ("compute" and other per-family members included); null if none.
        const json_spirit::mObject* SeedProject(const std::string& projectId) const;
        // A new numeric id, as Google gives resources (a decimal uint64 in text); the same sequence after
        // every reset.
        std::string NewId();
        // A time as Compute Engine writes it (creationTimestamp, an operation's insertTime), in the world's
        // UTC offset.
        std::string ComputeTime(int64_t epochSecs, int millis = 0) const;

        // Empties every collection and seeds the projects again (the families seed theirs after this).
        void Reseed();

    private:
        friend class World;
        explicit Txn(World& world) : m_lock(world.m_mutex), m_world(&world) {}
        std::unique_lock<std::mutex> m_lock;
        World* m_world;
    };

    Txn Lock() { return Txn(*this); }

    // What the APIs made of the seed, as JSON and back (WorldState.cpp), for a world kept between runs:
    // every collection and the id sequence; not the seed. Restore throws std::invalid_argument when the
    // document is not such a state, and then leaves the world as it was.
    json_spirit::mObject SaveState();
    void RestoreState(const json_spirit::mObject& state);

private:
    using Collection = std::map<std::string, json_spirit::mObject>;

    std::mutex m_mutex;
    const json_spirit::mObject m_document;
    const int m_offsetMinutes;  // of Compute Engine's times
    std::map<std::string, Collection> m_collections;
    uint64_t m_nextId = 0;
};

// The text of emulator/worlds/default.json, compiled in.
const char* DefaultWorldText();

// "2023-05-04T10:11:12.000Z", as Resource Manager and most newer APIs write times.
std::string FormatRfc3339(int64_t epochSecs);
// "2023-05-04T10:11:12.426290Z", as Cloud Spanner and Dataflow write times: the microseconds are derived
// from the key (a resource name), so that a world gives the same times in every run.
std::string FormatMicrosTime(int64_t epochSecs, const std::string& key);
// "2023-05-04T03:11:12.000-07:00", as Compute Engine writes creationTimestamp, in that offset from UTC.
std::string FormatComputeTimestamp(int64_t epochSecs, int offsetMinutes, int millis = 0);
// "-07:00", "+05:30" or "Z" in minutes east of UTC; false when it is none of these.
bool ParseUtcOffset(const std::string& text, int& minutes);
// The offset of the world's Compute times when the world names none: Google's, as its answers show.
inline constexpr char kDefaultTimeZoneOffset[] = "-07:00";
// RFC 3339 text with 'Z' or an offset, fractions ignored; -1 when it cannot be read.
int64_t ParseRfc3339(const std::string& text);
// A fingerprint of a value, as Google gives metadata and labels: base64 of 8 bytes of its digest.
std::string Fingerprint(const json_spirit::mValue& value);

}  // namespace gcemu
