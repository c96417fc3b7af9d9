// Cloud KMS v1 as the library uses it: key rings (create, get) and crypto keys (create, get, patch with
// an update mask), each key with its primary version. Compute Engine checks a new disk's key here
// (KmsModel.h), so the family seeds before the disks.
// https://cloud.google.com/kms/docs/reference/rest
//
// One family, its handlers by resource: key rings (KmsKeyRingsApi.cpp), crypto keys
// (KmsCryptoKeysApi.cpp); the routes and the seeding from the world in KmsApi.cpp.
#pragma once

#include <string>

#include "emulator/ApiFamily.h"

namespace gcemu {

class KmsApi : public ApiFamily {
public:
    const char* Name() const override { return "kms"; }
    void Register(Router& router, EmulatorContext& context) override;
    // A project's "keyRings": [{"name", "location", "createTime", "cryptoKeys": [{"name", "purpose"
    // (ENCRYPT_DECRYPT), "protectionLevel", "algorithm", "rotationPeriod", "nextRotationTime", "labels",
    // "createTime", "primaryState" (ENABLED)}]}], checked by the rules the API applies.
    void Seed(World::Txn& world) override;

private:
    Response CreateKeyRing(const Request& request);
    Response GetKeyRing(const Request& request);

    Response CreateCryptoKey(const Request& request);
    Response GetCryptoKey(const Request& request);
    Response PatchCryptoKey(const Request& request);

    // "projects/p/locations/l", "projects/.../keyRings/r" and "projects/.../cryptoKeys/k" of the path.
    static std::string LocationName(const Request& request);
    static std::string KeyRingName(const Request& request);
    static std::string CryptoKeyName(const Request& request);
    // False, with Google's 403 for the permission on the resource, when the path's project is not the
    // world's.
    static bool ProjectVisible(World::Txn& world, const Request& request, const std::string& permission,
                               const std::string& resource, Response& refusal);

    EmulatorContext* m_context = nullptr;
};

}  // namespace gcemu
