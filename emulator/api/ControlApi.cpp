// The emulator's own control API, for standalone use (tests in the same process use the C++ API): the
// journal, faults, Compute operations (polls and failures), world reset and service accounts. Served on the
// emulator's port for the hosts localhost and 127.0.0.1, without authentication.
#include <memory>
#include <stdexcept>
#include <string>

#include "emulator/ApiFamily.h"
#include "emulator/GoogleErrors.h"
#include "host/ZkJson.h"

namespace gcemu {
namespace {

using json_spirit::mObject;

mObject BodyObject(const Request& request) {
    mObject body;
    if (!request.body.empty() && !ZkJson::Unserialize(request.body, body))
        throw std::invalid_argument("the body is not a JSON object");
    return body;
}

// Runs an action whose bad input is a 400 for the caller, not a failure of the emulator.
template <typename Action>
Handler Checked(Action action) {
    return [action](const Request& request, Response& response) {
        try {
            response = action(request);
        } catch (const std::invalid_argument& error) {
            response = InvalidArgument(error.what()).ToResponse();
        }
    };
}

class ControlApi : public ApiFamily {
public:
    const char* Name() const override { return "control"; }

    void Register(Router& router, EmulatorContext& context) override {
        EmulatorContext* ctx = &context;
        const auto& hosts = hosts::kControl;
        router.Add(hosts, "GET", "/_gcemu/journal",
                   Checked([ctx](const Request&) { return Response::Json(ctx->journal.ToJson()); }),
                   Auth::kNone);
        router.Add(hosts, "DELETE", "/_gcemu/journal", Checked([ctx](const Request&) {
                       ctx->journal.Clear();
                       return Response::Json(mObject());
                   }),
                   Auth::kNone);
        router.Add(hosts, "POST", "/_gcemu/faults", Checked([ctx](const Request& request) {
                       ctx->faults.Add(Faults::FromJson(BodyObject(request)));
                       mObject body;
                       body["pending"] = static_cast<int64_t>(ctx->faults.Pending());
                       return Response::Json(body);
                   }),
                   Auth::kNone);
        router.Add(hosts, "DELETE", "/_gcemu/faults", Checked([ctx](const Request&) {
                       ctx->faults.Clear();
                       return Response::Json(mObject());
                   }),
                   Auth::kNone);
        router.Add(hosts, "POST", "/_gcemu/operations/faults", Checked([ctx](const Request& request) {
                       ctx->operations.AddFault(OperationFault::FromJson(BodyObject(request)));
                       mObject body;
                       body["pending"] = static_cast<int64_t>(ctx->operations.PendingFaults());
                       return Response::Json(body);
                   }),
                   Auth::kNone);
        router.Add(hosts, "DELETE", "/_gcemu/operations/faults", Checked([ctx](const Request&) {
                       ctx->operations.ClearFaults();
                       return Response::Json(mObject());
                   }),
                   Auth::kNone);
        router.Add(hosts, "POST", "/_gcemu/operations/polls", Checked([ctx](const Request& request) {
                       const mObject body = BodyObject(request);
                       const auto polls = body.find("pollsUntilDone");
                       if (polls == body.end() || polls->second.type() != json_spirit::int_type)
                           throw std::invalid_argument("\"pollsUntilDone\" must be a number");
                       const std::string type = ZkJson::GetStringValue(body, "operationType");
                       if (type.empty()) {
                           ctx->operations.SetPollsUntilDone(polls->second.get_int());
                       } else {
                           ctx->operations.SetPollsUntilDone(type, polls->second.get_int());
                       }
                       return Response::Json(mObject());
                   }),
                   Auth::kNone);
        router.Add(hosts, "POST", "/_gcemu/operations/finish", Checked([ctx](const Request&) {
                       ctx->operations.FinishAll();
                       return Response::Json(mObject());
                   }),
                   Auth::kNone);
        router.Add(hosts, "POST", "/_gcemu/reset", Checked([ctx](const Request&) {
                       ctx->resetWorld();
                       return Response::Json(mObject());
                   }),
                   Auth::kNone);
        router.Add(hosts, "POST", "/_gcemu/service-accounts", Checked([ctx](const Request& request) {
                       const std::string email = ZkJson::GetStringValue(BodyObject(request), "email");
                       if (email.find('@') == std::string::npos)
                           throw std::invalid_argument("an account needs an \"email\" with an '@'");
                       const ServiceAccountKey key = ctx->makeServiceAccount(email);
                       mObject body;
                       body["email"] = key.email;
                       body["privateKeyId"] = key.privateKeyId;
                       body["jsonKeyFile"] = key.jsonKeyFile;
                       body["p12File"] = key.p12File;
                       body["p12Password"] = key.p12Password;
                       return Response::Json(body);
                   }),
                   Auth::kNone);
    }
};

}  // namespace

std::unique_ptr<ApiFamily> MakeControlApi() {
    return std::make_unique<ControlApi>();
}

}  // namespace gcemu
