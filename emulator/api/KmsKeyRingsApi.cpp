// Cloud KMS key rings: create (the id in the query, a body of output-only members or none) and get.
// https://cloud.google.com/kms/docs/reference/rest/v1/projects.locations.keyRings
#include <string>

#include "emulator/KmsCryptoKeyBody.h"
#include "emulator/KmsModel.h"
#include "emulator/api/KmsApi.h"
#include "host/HostClock.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mObject;

Response KmsApi::CreateKeyRing(const Request& request) {
    GoogleError error;
    if (!ReadKeyRingBody(request.body, error)) return error.ToResponse();
    const std::string parent = LocationName(request);
    World::Txn world = m_context->world.Lock();
    Response refusal;
    if (!ProjectVisible(world, request, "keyRings.create", parent, refusal)) return refusal;
    const std::string id = request.Query("keyRingId");
    if (id.empty())
        return KmsError(400, "The request is missing the required field key_ring_id.").ToResponse();
    if (!IsKmsId(id))
        return KmsError(400, "Invalid key_ring_id '" + id + "': it must match [a-zA-Z0-9_-]{1,63}.")
            .ToResponse();
    const std::string location = request.Param("location");
    if (!IsKmsLocation(location))
        return KmsError(400, "Location '" + location + "' is not a Cloud KMS location.").ToResponse();
    const std::string name = parent + "/keyRings/" + id;
    if (world.Find(collections::kKmsKeyRings, name)) return KmsAlreadyExists("KeyRing", name).ToResponse();
    return Response::Json(world.Put(collections::kKmsKeyRings, name,
                                    mObject{{"name", name}, {"createTime", KmsTime(host::Now(), name)}}));
}

Response KmsApi::GetKeyRing(const Request& request) {
    const std::string name = KeyRingName(request);
    World::Txn world = m_context->world.Lock();
    Response refusal;
    if (!ProjectVisible(world, request, "keyRings.get", name, refusal)) return refusal;
    const mObject* ring = world.Find(collections::kKmsKeyRings, name);
    return ring ? Response::Json(*ring) : KmsNotFound("KeyRing", name).ToResponse();
}

}  // namespace gcemu
