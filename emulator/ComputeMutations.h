// What the Compute Engine mutation handlers share: their routes (parent checked, body read), Google's
// synchronous refusals, names and labels checked as Google checks them, and attached disks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeModel.h"

namespace gcemu {

// One mutation request, with the world locked for the whole of it.
struct Mutation {
    EmulatorContext& context;
    const Request& request;
    World::Txn& world;
    std::string projectId;
    json_spirit::mObject body;  // {} when the request has none

    std::string Param(const std::string& name) const { return request.Param(name); }
    // An operation of this request: project, caller and type filled in.
    OperationStart NewOperation(const std::string& scope, const std::string& operationType,
                                const std::string& targetKey, const std::string& targetId) const;
    // Starts it and answers with it.
    Response Answer(OperationStart start);
};

using MutationHandler = std::function<Response(Mutation&)>;

// A route on the Compute hosts for method and "/compute/v1/projects/{project}/" + tail. The handler runs
// once the project and the zone or region of the path exist (else ComputeMissingResponse) and the body
// is a JSON object (else 400).
void AddMutationRoute(Router& router, EmulatorContext& context, const std::string& method,
                      const std::string& tail, MutationHandler handler);

// Compute Engine's errors carry no "status".
Response ComputeErrorResponse(int code, const std::string& reason, const std::string& message);
// 400 "Invalid value for field 'resource.name': 'x'. <detail>".
Response InvalidFieldResponse(const std::string& field, const std::string& value, const std::string& detail);
Response AlreadyExistsResponse(const std::string& relativeName);
// 400 "The disk resource '<disk>' is already being used by '<user>'", resourceInUseByAnotherResource.
Response InUseResponse(const std::string& kind, const std::string& resource, const std::string& user);
Response NotReadyResponse(const std::string& relativeName);
// The operation error for the same conflicts.
OperationFailure InUseFailure(const std::string& kind, const std::string& resource, const std::string& user);

// Google's resource names: a lower-case letter, then up to 62 lower-case letters, digits or '-', not
// ending in '-'.
bool IsResourceName(const std::string& name);
// The "name" member; false, with the 400 to answer, when it is not a resource name.
bool CheckName(const json_spirit::mObject& body, std::string& name, Response& refusal);
// Labels of a request ("labels": {key: value}) checked as Google checks them; false with the 400.
bool ReadLabels(const json_spirit::mObject& body, json_spirit::mObject& labels, Response& refusal);
// labels and a labelFingerprint that is new at every change, as Google's are.
void SetNewLabels(World::Txn& world, json_spirit::mObject& resource, const json_spirit::mObject& labels);
// An int64 member given as a JSON number or as decimal text; false when it is neither.
bool ReadInt64(const json_spirit::mObject& body, const char* name, int64_t& value);
std::string Text(const json_spirit::mObject& object, const char* name);

// "projects/p/zones/z" and "zones/z" of a zonal or regional resource's relative name.
std::string LocationOf(const std::string& relativeName);
std::string ScopeOf(const std::string& relativeName);

// An attached disk entry for a persistent disk, as instances show it.
struct Attachment {
    std::string deviceName;
    std::string mode = "READ_WRITE";
    std::string interface = "SCSI";
    bool boot = false;
    bool autoDelete = false;
    int64_t index = 0;
};
json_spirit::mObject AttachedDisk(const std::string& diskKey, const json_spirit::mObject& disk,
                                  const Attachment& attachment);
// The instances (relative names) that have the disk attached, and whether one of them writes on it.
std::vector<std::string> DiskUsers(const json_spirit::mObject& disk);
bool UsedReadWrite(World::Txn& world, const std::string& diskKey);
void AddDiskUser(const World::Txn& world, json_spirit::mObject& disk, const std::string& instanceKey);
void RemoveDiskUser(const World::Txn& world, json_spirit::mObject& disk, const std::string& instanceKey);

// The most persistent disks the instance's machine type takes.
int64_t MaximumPersistentDisks(World::Txn& world, const json_spirit::mObject& instance);
int64_t PersistentDiskCount(const json_spirit::mObject& instance);

// The time now as Compute Engine writes it, in the world's offset.
std::string ComputeNow(const World::Txn& world);

}  // namespace gcemu
