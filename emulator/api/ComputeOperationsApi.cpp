// Compute Engine operations, zonal, regional and global: get (each one a poll that moves the operation
// on), list, wait (to DONE at once) and delete.
// https://cloud.google.com/compute/docs/reference/rest/v1/zoneOperations
#include <memory>
#include <string>

#include "emulator/ApiFamily.h"
#include "emulator/ComputeLists.h"
#include "emulator/ComputeModel.h"

namespace gcemu {
namespace {

using json_spirit::mObject;

enum class Action { kPoll, kWait, kDelete };

void AddOperationRoute(Router& router, EmulatorContext& context, const std::string& method,
                       const std::string& tail, Action action) {
    router.Add(hosts::kCompute, method, "/compute/v1/projects/{project}/" + tail,
               [&context, tail, action](const Request& request, Response& response) {
                   std::string name;
                   if (!ExpandTail(tail, request, name)) {
                       response = ComputeNotFoundResponse(request.path);
                       return;
                   }
                   if (action == Action::kWait) name.erase(name.size() - std::string("/wait").size());
                   World::Txn world = context.world.Lock();
                   const std::string missing = MissingParent(world, name);
                   if (!missing.empty()) {
                       response = ComputeMissingResponse(missing, name);
                       return;
                   }
                   if (action == Action::kDelete) {
                       // The work goes on without its record, as on Google.
                       context.operations.Complete(world, name);
                       if (!world.Erase(collections::kOperations, name)) {
                           response = ComputeNotFoundResponse(name);
                           return;
                       }
                       response = Response();
                       response.status = 204;
                       response.contentType.clear();
                       return;
                   }
                   const mObject* operation = action == Action::kPoll
                                                  ? context.operations.Poll(world, name)
                                                  : context.operations.Complete(world, name);
                   response = operation ? Response::Json(*operation) : ComputeNotFoundResponse(name);
               });
}

class ComputeOperationsApi : public ApiFamily {
public:
    const char* Name() const override { return "compute.operations"; }

    void Register(Router& router, EmulatorContext& context) override {
        for (const char* scope :
             {"zones/{zone}/operations", "regions/{region}/operations", "global/operations"}) {
            AddListRoute(router, context, scope, collections::kOperations, "compute#operationList");
            const std::string one = scope + std::string("/{operation}");
            AddOperationRoute(router, context, "GET", one, Action::kPoll);
            AddOperationRoute(router, context, "POST", one + "/wait", Action::kWait);
            AddOperationRoute(router, context, "DELETE", one, Action::kDelete);
        }
    }
};

}  // namespace

std::unique_ptr<ApiFamily> MakeComputeOperationsApi() {
    return std::make_unique<ComputeOperationsApi>();
}

}  // namespace gcemu
