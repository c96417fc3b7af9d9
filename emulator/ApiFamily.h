// What an API family (Compute instances, Storage, KMS...) implements to join the emulator: its routes,
// and the seeding of its collections from the world document. A family lives under api/ (one file, or one
// per resource when it is large) and is listed once in api/Families.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "emulator/Accounts.h"
#include "emulator/ClientFiles.h"
#include "emulator/ComputeOperations.h"
#include "emulator/DataflowJobs.h"
#include "emulator/Faults.h"
#include "emulator/Journal.h"
#include "emulator/Router.h"
#include "emulator/SpannerOperations.h"
#include "emulator/World.h"

namespace gcemu {

struct EmulatorOptions {
    int port = 0;           // 0: an ephemeral port
    std::string stateDir;   // CA, settings and key files; empty: a temporary folder removed at the end
    std::string worldFile;  // JSON world document; empty: the built-in world
    int64_t tokenLifetimeSecs = 3600;
    int pageSize = 500;  // largest page a list answers when the client asks for no smaller one
};

// What handlers may use. Everything here is thread-safe; the world is reached through World::Lock().
struct EmulatorContext {
    const EmulatorOptions& options;
    World& world;
    Accounts& accounts;
    Journal& journal;
    Faults& faults;
    Operations& operations;  // Compute Engine's long-running operations
    SpannerOperations& spannerOperations;
    DataflowJobs& dataflowJobs;
    // For the control API.
    std::function<ServiceAccountKey(const std::string& email)> makeServiceAccount;
    std::function<void()> resetWorld;
};

// Hosts as Google serves them; Compute Engine also answers on www.googleapis.com.
namespace hosts {
inline const std::vector<std::string> kCompute = {"compute.googleapis.com", "www.googleapis.com"};
inline const std::vector<std::string> kResourceManager = {"cloudresourcemanager.googleapis.com"};
inline const std::vector<std::string> kSqlAdmin = {"sqladmin.googleapis.com"};
inline const std::vector<std::string> kKms = {"cloudkms.googleapis.com"};
inline const std::vector<std::string> kSpanner = {"spanner.googleapis.com"};
inline const std::vector<std::string> kDataflow = {"dataflow.googleapis.com"};
inline const std::vector<std::string> kStorage = {"storage.googleapis.com", "www.googleapis.com"};
inline const std::vector<std::string> kControl = {"localhost", "127.0.0.1"};
}  // namespace hosts

class ApiFamily {
public:
    virtual ~ApiFamily() = default;
    virtual const char* Name() const = 0;
    // Adds the family's routes; called once, before the server starts. The context outlives the family.
    virtual void Register(Router& router, EmulatorContext& context) = 0;
    // Fills the family's collections from world.Document(); called after the projects are seeded, at start
    // and at every reset.
    virtual void Seed(World::Txn& /*world*/) {}
};

// Every family, in the order their routes are tried.
std::vector<std::unique_ptr<ApiFamily>> MakeApiFamilies();

}  // namespace gcemu
