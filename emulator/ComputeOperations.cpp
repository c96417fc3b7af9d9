#include "emulator/ComputeOperations.h"

#include <cinttypes>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "emulator/ComputeModel.h"
#include "host/HostClock.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

struct KnownError {
    const char* code;
    const char* message;
    int httpStatus;
};

// Google's messages for the codes tests ask for by name.
const KnownError kKnownErrors[] = {
    {operation_errors::kZoneResourcePoolExhausted,
     "The zone 'projects/{project}/zones/{zone}' does not have enough resources available to fulfill the "
     "request.  Try a different zone, or try again later.",
     503},
    {operation_errors::kZoneResourcePoolExhaustedWithDetails,
     "The zone 'projects/{project}/zones/{zone}' does not have enough resources available to fulfill the "
     "request.  '(resource type:compute)'.",
     503},
    {operation_errors::kIpInUse, "IP address '{networkIP}' is already being used by another resource.", 400},
    {operation_errors::kLimitExceeded,
     "Exceeded limit 'maximum_persistent_disks' on resource '{targetName}'. Limit: 128.0", 400},
    {operation_errors::kQuotaExceeded, "Quota 'CPUS' exceeded.  Limit: 24.0 in region {region}.", 403},
    {operation_errors::kResourceNotFound, "The resource '{target}' was not found", 404},
    {operation_errors::kResourceInUse, "The resource '{target}' is already being used by another resource.",
     400},
    {operation_errors::kAlreadyExists, "The resource '{target}' already exists", 409},
};

const KnownError* FindKnown(const std::string& code) {
    for (const KnownError& known : kKnownErrors) {
        if (code == known.code) return &known;
    }
    return nullptr;
}

// As operations spell the status: "BAD REQUEST", "NOT FOUND", "SERVICE UNAVAILABLE".
std::string HttpStatusText(int status) {
    switch (status) {
        case 400:
            return "BAD REQUEST";
        case 401:
            return "UNAUTHORIZED";
        case 403:
            return "FORBIDDEN";
        case 404:
            return "NOT FOUND";
        case 409:
            return "CONFLICT";
        case 412:
            return "PRECONDITION FAILED";
        case 429:
            return "TOO MANY REQUESTS";
        case 503:
            return "SERVICE UNAVAILABLE";
        default:
            return status >= 500 ? "INTERNAL SERVER ERROR" : "BAD REQUEST";
    }
}

std::string FillNames(std::string text, const std::map<std::string, std::string>& names) {
    for (const auto& [name, value] : names) {
        const std::string field = "{" + name + "}";
        for (size_t at = text.find(field); at != std::string::npos; at = text.find(field, at + value.size()))
            text.replace(at, field.size(), value);
    }
    return text;
}

std::string Now(const World::Txn& world) {
    return world.ComputeTime(host::Now());
}

void WriteEnd(const World::Txn& world, mObject& operation, const OperationFailure& failure,
              const std::map<std::string, std::string>& names) {
    operation["status"] = "DONE";
    operation["progress"] = 100;
    operation["endTime"] = Now(world);
    if (!failure.failed()) return;
    mArray errors;
    for (const OperationError& error : failure.errors)
        errors.push_back(mObject{{"code", error.code}, {"message", FillNames(error.message, names)}});
    operation["error"] = mObject{{"errors", errors}};
    int status = failure.httpErrorStatusCode;
    if (status == 0) {
        const KnownError* known = FindKnown(failure.errors.front().code);
        status = known ? known->httpStatus : 400;
    }
    operation["httpErrorStatusCode"] = status;
    operation["httpErrorMessage"] =
        failure.httpErrorMessage.empty() ? HttpStatusText(status) : failure.httpErrorMessage;
}

}  // namespace

OperationFailure OperationFailure::Of(const std::string& code, const std::string& message) {
    OperationFailure failure;
    const KnownError* known = FindKnown(code);
    failure.errors.push_back({code, !message.empty() ? message : known ? known->message : code});
    return failure;
}

OperationFault OperationFault::Of(const std::string& code, const std::string& operationType,
                                  const std::string& targetPrefix, int count) {
    OperationFault fault;
    fault.operationType = operationType;
    fault.targetPrefix = targetPrefix;
    fault.count = count;
    fault.failure = OperationFailure::Of(code);
    return fault;
}

OperationFault OperationFault::FromJson(const mObject& json) {
    OperationFault fault;
    std::string code;
    try {
        for (const auto& [name, value] : json) {
            if (name == "operationType") {
                fault.operationType = value.get_str();
            } else if (name == "targetPrefix") {
                fault.targetPrefix = value.get_str();
            } else if (name == "count") {
                fault.count = value.get_int();
            } else if (name == "code") {
                code = value.get_str();
            } else if (name == "errors") {
                for (const mValue& item : value.get_array()) {
                    const mObject& error = item.get_obj();
                    const std::string itemCode = ZkJson::GetStringValue(error, "code");
                    if (itemCode.empty()) throw std::invalid_argument("an error needs a code");
                    const OperationFailure made =
                        OperationFailure::Of(itemCode, ZkJson::GetStringValue(error, "message"));
                    fault.failure.errors.push_back(made.errors.front());
                }
            } else if (name == "httpErrorStatusCode") {
                fault.failure.httpErrorStatusCode = value.get_int();
            } else if (name == "httpErrorMessage") {
                fault.failure.httpErrorMessage = value.get_str();
            } else {
                throw std::invalid_argument("unknown operation fault member '" + name + "'");
            }
        }
    } catch (const std::runtime_error& error) {  // a member of the wrong type
        throw std::invalid_argument(std::string("bad operation fault: ") + error.what());
    }
    if (!code.empty()) {
        if (!fault.failure.errors.empty()) throw std::invalid_argument("give either code or errors");
        fault.failure.errors = OperationFailure::Of(code).errors;
    }
    if (fault.failure.errors.empty()) throw std::invalid_argument("an operation fault needs code or errors");
    if (fault.count <= 0) throw std::invalid_argument("an operation fault needs a count of at least 1");
    const int status = fault.failure.httpErrorStatusCode;
    if (status != 0 && (status < 400 || status > 599))
        throw std::invalid_argument("httpErrorStatusCode must be an HTTP error status");
    return fault;
}

void Operations::SetPollsUntilDone(int polls) {
    if (polls < 0) throw std::invalid_argument("polls cannot be negative");
    std::lock_guard<std::mutex> lock(m_mutex);
    m_defaultPolls = polls;
    m_pollsByType.clear();
}

void Operations::SetPollsUntilDone(const std::string& operationType, int polls) {
    if (polls < 0) throw std::invalid_argument("polls cannot be negative");
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pollsByType[operationType] = polls;
}

int Operations::PollsUntilDone(const std::string& operationType) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_pollsByType.find(operationType);
    return found == m_pollsByType.end() ? m_defaultPolls : found->second;
}

void Operations::AddFault(OperationFault fault) {
    if (fault.count <= 0 || !fault.failure.failed())
        throw std::invalid_argument("an operation fault needs a count and an error");
    fault.targetPrefix = RelativeName(fault.targetPrefix);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.push_back(std::move(fault));
}

void Operations::ClearFaults() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
}

size_t Operations::PendingFaults() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_faults.size();
}

size_t Operations::Unfinished() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pending.size();
}

void Operations::FinishAll() {
    World::Txn world = m_world.Lock();
    std::vector<std::string> keys;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& entry : m_pending) keys.push_back(entry.first);
    }
    for (const std::string& key : keys) Step(world, key, true);
}

void Operations::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_defaultPolls = kDefaultPolls;
    m_pollsByType.clear();
    m_faults.clear();
}

bool Operations::TakeFault(const std::string& operationType, const std::string& targetKey,
                           OperationFailure& failure) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (!it->operationType.empty() && it->operationType != operationType) continue;
        if (targetKey.compare(0, it->targetPrefix.size(), it->targetPrefix) != 0) continue;
        failure = it->failure;
        if (--it->count == 0) m_faults.erase(it);
        return true;
    }
    return false;
}

std::string Operations::NewName() {
    // Google's form: operation-<milliseconds>-<13 hex>-<8 hex>-<8 hex>.
    const uint64_t sequence = ++m_sequence;
    const uint64_t mixed = sequence * 0x9E3779B97F4A7C15ULL;
    char name[96];
    std::snprintf(name, sizeof name, "operation-%" PRId64 "-%013" PRIx64 "-%08" PRIx64 "-%08" PRIx64,
                  host::Now() * 1000 + static_cast<int64_t>(sequence % 1000),
                  (mixed >> 12) & ((uint64_t(1) << 52) - 1), (mixed >> 8) & uint64_t(0xffffffff),
                  sequence & uint64_t(0xffffffff));
    return name;
}

mObject Operations::Start(World::Txn& world, OperationStart start) {
    std::string name;
    int polls = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        name = NewName();
        const auto found = m_pollsByType.find(start.operationType);
        polls = found == m_pollsByType.end() ? m_defaultPolls : found->second;
    }
    const std::string project = "projects/" + start.projectId;
    const std::string key = project + "/" + start.scope + "/operations/" + name;

    Pending pending;
    pending.pollsLeft = polls;
    pending.watched = std::move(start.watched);
    pending.watched.push_back(start.targetKey);
    pending.names = std::move(start.details);
    pending.names["project"] = start.projectId;
    pending.names["target"] = start.targetKey;
    pending.names["targetName"] = LastSegment(start.targetKey);
    const std::vector<std::string> scope = Segments(start.scope);
    pending.names["zone"] = scope.front() == "zones" ? scope.back() : "";
    pending.names["region"] = scope.front() == "zones"     ? RegionOfZone(scope.back())
                              : scope.front() == "regions" ? scope.back()
                                                           : "";
    OperationFailure injected;
    if (start.failure.failed()) {
        pending.failing = true;
        pending.failure = std::move(start.failure);
    } else if (TakeFault(start.operationType, start.targetKey, injected)) {
        pending.failing = true;
        pending.failure = std::move(injected);
    } else {
        pending.running = std::move(start.running);
        pending.finish = std::move(start.finish);
    }

    mObject operation;
    operation["kind"] = "compute#operation";
    operation["id"] = world.NewId();
    operation["name"] = name;
    operation["operationType"] = start.operationType;
    operation["targetLink"] = ComputeUrl(start.targetKey);
    if (!start.targetId.empty()) operation["targetId"] = start.targetId;
    operation["status"] = "PENDING";
    operation["user"] = start.user;
    operation["progress"] = 0;
    operation["insertTime"] = Now(world);
    operation["startTime"] = Now(world);
    operation["selfLink"] = ComputeUrl(key);
    if (scope.front() == "zones") operation["zone"] = ComputeUrl(project + "/" + start.scope);
    if (scope.front() == "regions") operation["region"] = ComputeUrl(project + "/" + start.scope);
    world.Put(collections::kOperations, key, operation);

    if (!pending.failing && start.begin) start.begin(world);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending[key] = std::move(pending);
    }
    if (polls == 0) Step(world, key, true);
    return *world.Find(collections::kOperations, key);
}

const mObject* Operations::Poll(World::Txn& world, const std::string& key) {
    Step(world, key, false);
    return world.Find(collections::kOperations, key);
}

void Operations::Observe(World::Txn& world, const std::string& resourceKey) {
    std::vector<std::string> keys;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto& [key, pending] : m_pending) {
            for (const std::string& watched : pending.watched) {
                if (watched == resourceKey) {
                    keys.push_back(key);
                    break;
                }
            }
        }
    }
    for (const std::string& key : keys) Step(world, key, false);
}

const mObject* Operations::Complete(World::Txn& world, const std::string& key) {
    Step(world, key, true);
    return world.Find(collections::kOperations, key);
}

void Operations::Forget(World::Txn& /*world*/) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pending.clear();
    m_sequence = 0;
}

void Operations::Step(World::Txn& world, const std::string& key, bool toTheEnd) {
    mObject* operation = world.Find(collections::kOperations, key);
    std::function<void(World::Txn&)> running;
    Pending ended;
    bool done = false;
    int progress = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_pending.find(key);
        if (found == m_pending.end()) return;
        if (!operation) {
            m_pending.erase(found);
            return;
        }
        Pending& pending = found->second;
        if (ZkJson::GetStringValue(*operation, "status") == "PENDING") running = std::move(pending.running);
        pending.pollsLeft = toTheEnd ? 0 : pending.pollsLeft - 1;
        if (pending.pollsLeft <= 0) {
            ended = std::move(pending);
            m_pending.erase(found);
            done = true;
        } else {
            progress = 100 / (pending.pollsLeft + 1);
        }
    }
    // The hooks change the world only, never the operations: they run without this object's lock.
    if (running && !done) running(world);
    OperationFailure failure;
    if (done)
        failure = ended.failing ? ended.failure : ended.finish ? ended.finish(world) : OperationFailure();
    operation = world.Find(collections::kOperations, key);
    if (!operation) return;
    if (!done) {
        (*operation)["status"] = "RUNNING";
        (*operation)["progress"] = progress;
        return;
    }
    WriteEnd(world, *operation, failure, ended.names);
}

}  // namespace gcemu
