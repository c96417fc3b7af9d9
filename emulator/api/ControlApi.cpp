// The emulator's own control API, for standalone use (tests in the same process use the C++ API): the
// journal, faults, Compute operations, Spanner operations and Dataflow jobs (polls and failures), world
// reset and service accounts. Served on the emulator's port for the hosts localhost and 127.0.0.1, without
// authentication.
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

// "pollsUntilDone" of the body, a number.
int PollsOf(const mObject& body) {
    const auto polls = body.find("pollsUntilDone");
    if (polls == body.end() || polls->second.type() != json_spirit::int_type)
        throw std::invalid_argument("\"pollsUntilDone\" must be a number");
    return polls->second.get_int();
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
    // base + "/polls" {"pollsUntilDone"}, "/finish", "/faults" (POST one, DELETE all) for Spanner's
    // operations or Dataflow's jobs.
    template <typename Work, typename ReadFault>
    static void AddPolledWork(Router& router, const std::string& base, Work& work, ReadFault readFault) {
        const auto& hosts = hosts::kControl;
        router.Add(hosts, "POST", base + "/polls", Checked([&work](const Request& request) {
                       work.SetPollsUntilDone(PollsOf(BodyObject(request)));
                       return Response::Json(mObject());
                   }),
                   Auth::kNone);
        router.Add(hosts, "POST", base + "/finish", Checked([&work](const Request&) {
                       work.FinishAll();
                       return Response::Json(mObject());
                   }),
                   Auth::kNone);
        router.Add(hosts, "POST", base + "/faults", Checked([&work, readFault](const Request& request) {
                       work.AddFault(readFault(BodyObject(request)));
                       mObject body;
                       body["pending"] = static_cast<int64_t>(work.PendingFaults());
                       return Response::Json(body);
                   }),
                   Auth::kNone);
        router.Add(hosts, "DELETE", base + "/faults", Checked([&work](const Request&) {
                       work.ClearFaults();
                       return Response::Json(mObject());
                   }),
                   Auth::kNone);
    }

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
                       const int polls = PollsOf(body);
                       const std::string type = ZkJson::GetStringValue(body, "operationType");
                       if (type.empty()) {
                           ctx->operations.SetPollsUntilDone(polls);
                       } else {
                           ctx->operations.SetPollsUntilDone(type, polls);
                       }
                       return Response::Json(mObject());
                   }),
                   Auth::kNone);
        router.Add(hosts, "POST", "/_gcemu/operations/finish", Checked([ctx](const Request&) {
                       ctx->operations.FinishAll();
                       return Response::Json(mObject());
                   }),
                   Auth::kNone);
        AddPolledWork(router, "/_gcemu/spanner/operations", ctx->spannerOperations, SpannerFaultFromJson);
        AddPolledWork(router, "/_gcemu/dataflow/jobs", ctx->dataflowJobs, DataflowFaultFromJson);
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
