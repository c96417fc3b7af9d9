// Cloud KMS crypto keys: create (with a primary version 1 unless skipInitialVersionCreation), get, and
// patch, which changes the members its update mask names and nothing else.
// https://cloud.google.com/kms/docs/reference/rest/v1/projects.locations.keyRings.cryptoKeys
#include <string>
#include <utility>

#include "emulator/KmsCryptoKeyBody.h"
#include "emulator/KmsModel.h"
#include "emulator/KmsUpdateMask.h"
#include "emulator/api/KmsApi.h"
#include "host/HostClock.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mObject;

Response KmsApi::CreateCryptoKey(const Request& request) {
    GoogleError error;
    mObject settings;
    if (!ReadCryptoKeyBody(request.body, settings, error)) return error.ToResponse();
    const std::string ring = KeyRingName(request);
    const std::string skip = request.Query("skipInitialVersionCreation");
    if (!skip.empty() && skip != "true" && skip != "false")
        return KmsError(400, "Invalid value at 'skip_initial_version_creation' (TYPE_BOOL), \"" + skip + "\"")
            .ToResponse();
    const bool withVersion = skip != "true";

    World::Txn world = m_context->world.Lock();
    Response refusal;
    if (!ProjectVisible(world, request, "cryptoKeys.create", ring, refusal)) return refusal;
    const std::string id = request.Query("cryptoKeyId");
    if (id.empty())
        return KmsError(400, "The request is missing the required field crypto_key_id.").ToResponse();
    if (!IsKmsId(id))
        return KmsError(400, "Invalid crypto_key_id '" + id + "': it must match [a-zA-Z0-9_-]{1,63}.")
            .ToResponse();
    if (!world.Find(collections::kKmsKeyRings, ring)) return KmsNotFound("KeyRing", ring).ToResponse();
    const std::string name = ring + "/cryptoKeys/" + id;
    if (world.Find(collections::kKmsCryptoKeys, name))
        return KmsAlreadyExists("CryptoKey", name).ToResponse();
    AddCryptoKeyDefaults(settings);
    if (!CheckCryptoKey(settings, withVersion, error)) return error.ToResponse();
    return Response::Json(world.Put(
        collections::kKmsCryptoKeys, name,
        CryptoKeyResource(name, settings, KmsTime(host::Now(), name), withVersion ? "ENABLED" : "")));
}

Response KmsApi::GetCryptoKey(const Request& request) {
    const std::string name = CryptoKeyName(request);
    World::Txn world = m_context->world.Lock();
    Response refusal;
    if (!ProjectVisible(world, request, "cryptoKeys.get", name, refusal)) return refusal;
    const mObject* key = world.Find(collections::kKmsCryptoKeys, name);
    return key ? Response::Json(*key) : KmsNotFound("CryptoKey", name).ToResponse();
}

Response KmsApi::PatchCryptoKey(const Request& request) {
    GoogleError error;
    mObject given;
    if (!ReadCryptoKeyBody(request.body, given, error)) return error.ToResponse();
    const std::string name = CryptoKeyName(request);
    World::Txn world = m_context->world.Lock();
    Response refusal;
    if (!ProjectVisible(world, request, "cryptoKeys.update", name, refusal)) return refusal;
    mObject* key = world.Find(collections::kKmsCryptoKeys, name);
    if (!key) return KmsNotFound("CryptoKey", name).ToResponse();
    // The change is made on a copy: a refused one leaves the key as it was.
    mObject changed = *key;
    if (!ApplyUpdateMask(request.Query("updateMask"), given, changed, error)) return error.ToResponse();
    AddCryptoKeyDefaults(changed);
    if (!CheckCryptoKey(changed, false, error)) return error.ToResponse();
    *key = std::move(changed);
    return Response::Json(*key);
}

}  // namespace gcemu
