#include "emulator/ComputeMutations.h"

#include <algorithm>
#include <cctype>

#include "emulator/ComputeLists.h"
#include "emulator/Dispatcher.h"
#include "emulator/GoogleErrors.h"
#include "host/HostClock.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

bool IsLabelCharacter(char c, bool first) {
    const bool lower = c >= 'a' && c <= 'z';
    if (first) return lower;
    return lower || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

}  // namespace

OperationStart Mutation::NewOperation(const std::string& scope, const std::string& operationType,
                                      const std::string& targetKey, const std::string& targetId) const {
    OperationStart start;
    start.projectId = projectId;
    start.scope = scope;
    start.operationType = operationType;
    start.targetKey = targetKey;
    start.targetId = targetId;
    start.user = context.accounts.AccountOf(BearerToken(request));
    return start;
}

Response Mutation::Answer(OperationStart start) {
    return Response::Json(context.operations.Start(world, std::move(start)));
}

void AddMutationRoute(Router& router, EmulatorContext& context, const std::string& method,
                      const std::string& tail, MutationHandler handler) {
    router.Add(hosts::kCompute, method, "/compute/v1/projects/{project}/" + tail,
               [&context, tail, handler](const Request& request, Response& response) {
                   std::string name;
                   if (!ExpandTail(tail, request, name)) {
                       response = ComputeNotFoundResponse(request.path);
                       return;
                   }
                   mObject body;
                   if (!request.body.empty() && !ZkJson::Unserialize(request.body, body)) {
                       response = InvalidArgument("Invalid JSON payload received.").ToResponse();
                       return;
                   }
                   World::Txn world = context.world.Lock();
                   const std::string missing = MissingParent(world, name);
                   if (!missing.empty()) {
                       response = ComputeMissingResponse(missing, name);
                       return;
                   }
                   Mutation mutation{context, request, world, request.Param("project"), std::move(body)};
                   response = handler(mutation);
               });
}

Response ComputeErrorResponse(int code, const std::string& reason, const std::string& message) {
    GoogleError error;
    error.code = code;
    error.message = message;
    error.reason = reason;
    return error.ToResponse();
}

Response InvalidFieldResponse(const std::string& field, const std::string& value, const std::string& detail) {
    return ComputeErrorResponse(400, "invalid",
                                "Invalid value for field '" + field + "': '" + value + "'. " + detail);
}

Response AlreadyExistsResponse(const std::string& relativeName) {
    return ComputeErrorResponse(409, "alreadyExists", "The resource '" + relativeName + "' already exists");
}

Response InUseResponse(const std::string& kind, const std::string& resource, const std::string& user) {
    return ComputeErrorResponse(
        400, "resourceInUseByAnotherResource",
        "The " + kind + " resource '" + resource + "' is already being used by '" + user + "'");
}

Response NotReadyResponse(const std::string& relativeName) {
    return ComputeErrorResponse(400, "resourceNotReady", "The resource '" + relativeName + "' is not ready");
}

OperationFailure InUseFailure(const std::string& kind, const std::string& resource, const std::string& user) {
    return OperationFailure::Of(
        operation_errors::kResourceInUse,
        "The " + kind + " resource '" + resource + "' is already being used by '" + user + "'");
}

bool IsResourceName(const std::string& name) {
    if (name.empty() || name.size() > 63 || name.back() == '-') return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool lower = c >= 'a' && c <= 'z';
        if (i == 0 ? !lower : !(lower || (c >= '0' && c <= '9') || c == '-')) return false;
    }
    return true;
}

bool CheckName(const mObject& body, std::string& name, Response& refusal) {
    name = Text(body, "name");
    if (IsResourceName(name)) return true;
    refusal = InvalidFieldResponse("resource.name", name,
                                   "Must be a match of regex '(?:[a-z](?:[-a-z0-9]{0,61}[a-z0-9])?)'");
    return false;
}

bool ReadLabels(const mObject& body, mObject& labels, Response& refusal) {
    labels.clear();
    const auto found = body.find("labels");
    if (found == body.end() || found->second.is_null()) return true;
    if (found->second.type() != json_spirit::obj_type) {
        refusal = InvalidFieldResponse("labels", "", "Labels must be an object of text values.");
        return false;
    }
    for (const auto& [key, value] : found->second.get_obj()) {
        bool good = !key.empty() && key.size() <= 63 && value.type() == json_spirit::str_type;
        for (size_t i = 0; good && i < key.size(); ++i) good = IsLabelCharacter(key[i], i == 0);
        if (good) {
            const std::string& text = value.get_str();
            good = text.size() <= 63;
            for (size_t i = 0; good && i < text.size(); ++i) good = IsLabelCharacter(text[i], false);
        }
        if (!good) {
            refusal = InvalidFieldResponse(
                "labels", key,
                "Label keys must start with a lowercase letter; keys and values may hold only lowercase "
                "letters, digits, '_' and '-', at most 63 characters.");
            return false;
        }
        labels[key] = value;
    }
    return true;
}

void SetNewLabels(World::Txn& world, mObject& resource, const mObject& labels) {
    if (labels.empty()) {
        resource.erase("labels");
    } else {
        resource["labels"] = labels;
    }
    // Google's fingerprint changes at every change, even back to earlier labels.
    resource["labelFingerprint"] = Fingerprint(mArray{labels, world.NewId()});
}

bool ReadInt64(const mObject& body, const char* name, int64_t& value) {
    const auto found = body.find(name);
    if (found == body.end()) return false;
    if (found->second.type() == json_spirit::int_type) {
        value = found->second.get_int64();
        return true;
    }
    if (found->second.type() != json_spirit::str_type) return false;
    const std::string& text = found->second.get_str();
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoll(text);
    return true;
}

std::string Text(const mObject& object, const char* name) {
    const auto found = object.find(name);
    return found != object.end() && found->second.type() == json_spirit::str_type ? found->second.get_str()
                                                                                  : std::string();
}

std::string LocationOf(const std::string& relativeName) {
    const std::vector<std::string> parts = Segments(relativeName);
    if (parts.size() < 4) return relativeName;
    return parts[0] + "/" + parts[1] + "/" + parts[2] + "/" + parts[3];
}

std::string ScopeOf(const std::string& relativeName) {
    const std::vector<std::string> parts = Segments(relativeName);
    if (parts.size() < 4) return "global";
    return parts[2] == "global" ? "global" : parts[2] + "/" + parts[3];
}

mObject AttachedDisk(const std::string& diskKey, const mObject& disk, const Attachment& attachment) {
    mObject attached;
    attached["kind"] = "compute#attachedDisk";
    attached["type"] = "PERSISTENT";
    attached["mode"] = attachment.mode;
    attached["source"] = ComputeUrl(diskKey);
    attached["deviceName"] = attachment.deviceName;
    attached["index"] = attachment.index;
    attached["boot"] = attachment.boot;
    attached["autoDelete"] = attachment.autoDelete;
    attached["interface"] = attachment.interface;
    if (disk.count("sizeGb")) attached["diskSizeGb"] = disk.at("sizeGb");
    for (const char* trait : {"licenses", "guestOsFeatures", "architecture", "diskEncryptionKey"}) {
        if (disk.count(trait)) attached[trait] = disk.at(trait);
    }
    return attached;
}

std::vector<std::string> DiskUsers(const mObject& disk) {
    std::vector<std::string> users;
    if (const mArray* links = ZkJson::FindArray(disk, "users")) {
        for (const mValue& link : *links) {
            if (link.type() == json_spirit::str_type) users.push_back(RelativeName(link.get_str()));
        }
    }
    return users;
}

bool UsedReadWrite(World::Txn& world, const std::string& diskKey) {
    const mObject* disk = world.Find(collections::kDisks, diskKey);
    if (!disk) return false;
    const std::string source = ComputeUrl(diskKey);
    for (const std::string& user : DiskUsers(*disk)) {
        const mObject* instance = world.Find(collections::kInstances, user);
        const mArray* attached = instance ? ZkJson::FindArray(*instance, "disks") : nullptr;
        if (!attached) continue;
        for (const mValue& entry : *attached) {
            if (Text(entry.get_obj(), "source") == source && Text(entry.get_obj(), "mode") == "READ_WRITE")
                return true;
        }
    }
    return false;
}

void AddDiskUser(const World::Txn& world, mObject& disk, const std::string& instanceKey) {
    mArray& users = disk.emplace("users", mArray()).first->second.get_array();
    const mValue link(ComputeUrl(instanceKey));
    if (std::find(users.begin(), users.end(), link) == users.end()) users.push_back(link);
    disk["lastAttachTimestamp"] = ComputeNow(world);
}

void RemoveDiskUser(const World::Txn& world, mObject& disk, const std::string& instanceKey) {
    const auto found = disk.find("users");
    if (found == disk.end() || found->second.type() != json_spirit::array_type) return;
    mArray& users = found->second.get_array();
    users.erase(std::remove(users.begin(), users.end(), mValue(ComputeUrl(instanceKey))), users.end());
    if (users.empty()) disk.erase(found);
    disk["lastDetachTimestamp"] = ComputeNow(world);
}

int64_t MaximumPersistentDisks(World::Txn& world, const mObject& instance) {
    const mObject* type = world.Find(collections::kMachineTypes, RelativeName(Text(instance, "machineType")));
    if (!type) return 128;  // custom machine types
    const auto found = type->find("maximumPersistentDisks");
    return found != type->end() && found->second.type() == json_spirit::int_type ? found->second.get_int64()
                                                                                 : 128;
}

int64_t PersistentDiskCount(const mObject& instance) {
    int64_t count = 0;
    if (const mArray* disks = ZkJson::FindArray(instance, "disks")) {
        for (const mValue& disk : *disks) count += Text(disk.get_obj(), "type") == "PERSISTENT" ? 1 : 0;
    }
    return count;
}

std::string ComputeNow(const World::Txn& world) {
    return world.ComputeTime(host::Now());
}

}  // namespace gcemu
