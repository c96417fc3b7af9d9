// Compute Engine's long-running operations: every mutation answers with a compute#operation that goes
// PENDING -> RUNNING -> DONE, and its effect on the world lands when it is DONE.
//
// Time in the emulator is the client looking: an operation moves one step each time it is polled (a
// GET of the operation) or its target or the resource it makes is read (a GET of that resource; lists
// do not count). How many steps it takes is the test's choice:
//
//   emulator.operations().SetPollsUntilDone(3);            // every type: PENDING, RUNNING, RUNNING, DONE
//   emulator.operations().SetPollsUntilDone("insert", 0);  // inserts answer DONE at once
//   emulator.operations().AddFault(OperationFault::Of("ZONE_RESOURCE_POOL_EXHAUSTED", "insert"));
//
// A failing operation (an injected fault, or a natural failure such as an address in use) reaches DONE
// with "error" and httpErrorStatusCode/httpErrorMessage, and changes nothing.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/World.h"
#include "host/json/JsonValue.h"

namespace gcemu {

namespace collections {
// Operations by relative name: "projects/p/zones/z/operations/o", ".../regions/r/...", ".../global/...".
inline constexpr char kOperations[] = "compute.operations";
}  // namespace collections

// Codes of Google's operation errors that tests inject or the emulator produces.
namespace operation_errors {
inline constexpr char kZoneResourcePoolExhausted[] = "ZONE_RESOURCE_POOL_EXHAUSTED";
inline constexpr char kZoneResourcePoolExhaustedWithDetails[] = "ZONE_RESOURCE_POOL_EXHAUSTED_WITH_DETAILS";
inline constexpr char kIpInUse[] = "IP_IN_USE_BY_ANOTHER_RESOURCE";
inline constexpr char kLimitExceeded[] = "LIMIT_EXCEEDED";
inline constexpr char kQuotaExceeded[] = "QUOTA_EXCEEDED";
inline constexpr char kResourceNotFound[] = "RESOURCE_NOT_FOUND";
inline constexpr char kResourceInUse[] = "RESOURCE_IN_USE_BY_ANOTHER_RESOURCE";
inline constexpr char kAlreadyExists[] = "RESOURCE_ALREADY_EXISTS";
}  // namespace operation_errors

struct OperationError {
    std::string code;
    // May name the operation's {project}, {zone}, {region}, {target} (relative name), {targetName} and,
    // for instance inserts, {networkIP} (the first interface's address).
    std::string message;
};

// The errors an operation ends with; none: it succeeds.
struct OperationFailure {
    std::vector<OperationError> errors;
    int httpErrorStatusCode = 0;   // 0: the usual status of the first code (400 for codes it does not know)
    std::string httpErrorMessage;  // empty: Google's text for the status ("BAD REQUEST")

    bool failed() const { return !errors.empty(); }
    // One of Google's errors with its message ({...} names filled in when the operation starts) and status.
    static OperationFailure Of(const std::string& code, const std::string& message = "");
};

// The next `count` operations of that type whose target's relative name starts with targetPrefix fail.
struct OperationFault {
    std::string operationType;  // "" any: "insert", "delete", "createSnapshot", "attachDisk", ...
    std::string targetPrefix;   // a relative name or URL prefix; "" any
    int count = 1;
    OperationFailure failure;

    // Google's error of that code with its usual message and status.
    static OperationFault Of(const std::string& code, const std::string& operationType = "",
                             const std::string& targetPrefix = "", int count = 1);
    // {operationType, targetPrefix, count, code (a ready-made error) or errors: [{code, message}],
    // httpErrorStatusCode, httpErrorMessage}. Throws std::invalid_argument.
    static OperationFault FromJson(const json_spirit::mObject& json);
};

// What a handler asks for when it starts an operation.
struct OperationStart {
    std::string projectId;
    std::string scope;  // "zones/us-central1-a", "regions/us-central1" or "global"
    std::string operationType;
    std::string targetKey;  // relative name of the target
    std::string targetId;
    std::string user;  // the caller's e-mail
    // Reads of these (and of the target) move the operation on: what it makes (the new snapshot).
    std::vector<std::string> watched;
    std::map<std::string, std::string> details;  // more {names} for error messages, e.g. networkIP
    // A natural failure found at once; the operation still runs its polls and ends with it.
    OperationFailure failure;
    // Shows the change under way at once (a CREATING disk); runs only when the operation will not fail.
    std::function<void(World::Txn&)> begin;
    // When the operation leaves PENDING (an instance goes to STAGING).
    std::function<void(World::Txn&)> running;
    // The effect, when DONE: a failure found then (a source gone meanwhile) must leave the world as it
    // was before begin.
    std::function<OperationFailure(World::Txn&)> finish;
};

class Operations {
public:
    static constexpr int kDefaultPolls = 2;

    explicit Operations(World& world) : m_world(world) {}
    Operations(const Operations&) = delete;
    Operations& operator=(const Operations&) = delete;

    // ---- For tests (thread-safe; they take the world's lock where they need it).
    // Polls an operation takes to be DONE: 0 means the reply to the request is DONE already.
    void SetPollsUntilDone(int polls);
    void SetPollsUntilDone(const std::string& operationType, int polls);
    int PollsUntilDone(const std::string& operationType) const;
    void AddFault(OperationFault fault);
    void ClearFaults();
    size_t PendingFaults() const;  // faults with operations left to fail
    size_t Unfinished() const;     // operations not DONE yet
    // Every operation still under way brought to DONE.
    void FinishAll();
    // Polls back to 2 and faults dropped (the world reset).
    void Reset();

    // ---- For handlers, with the world locked (never the other way round).
    // Makes the operation and returns it as the reply shows it.
    json_spirit::mObject Start(World::Txn& world, OperationStart start);
    // A GET of the operation: one step on. Null when there is no such operation.
    const json_spirit::mObject* Poll(World::Txn& world, const std::string& key);
    // A GET of a resource: operations that watch it move one step.
    void Observe(World::Txn& world, const std::string& resourceKey);
    // The operation brought to DONE (operations.wait).
    const json_spirit::mObject* Complete(World::Txn& world, const std::string& key);
    // Pending work dropped: the world was seeded again.
    void Forget(World::Txn& world);

private:
    struct Pending {
        int pollsLeft = 0;
        bool failing = false;
        OperationFailure failure;
        std::map<std::string, std::string> names;  // for the error messages
        std::vector<std::string> watched;
        std::function<void(World::Txn&)> running;
        std::function<OperationFailure(World::Txn&)> finish;
    };

    // The injected failure for the operation, if one matches (its count taken).
    bool TakeFault(const std::string& operationType, const std::string& targetKey, OperationFailure& failure);
    void Step(World::Txn& world, const std::string& key, bool toTheEnd);
    std::string NewName();

    World& m_world;
    mutable std::mutex m_mutex;  // after the world's lock
    int m_defaultPolls = kDefaultPolls;
    std::map<std::string, int> m_pollsByType;
    std::deque<OperationFault> m_faults;
    std::map<std::string, Pending> m_pending;
    uint64_t m_sequence = 0;
};

}  // namespace gcemu
