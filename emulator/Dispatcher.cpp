#include "emulator/Dispatcher.h"

#include <strings.h>

#include <exception>

#include "emulator/GoogleErrors.h"
#include "host/HbDebug.h"

namespace gcemu {
namespace {

Response Unauthorized(const GoogleError& error) {
    Response response = error.ToResponse();
    response.headers.emplace("WWW-Authenticate", "Bearer realm=\"https://accounts.google.com/\"");
    return response;
}

// An injected status: the rule's body, or Google's error body for the status.
Response FaultResponse(const FaultRule& fault) {
    if (fault.body.empty()) return ForStatus(fault.status).ToResponse();
    Response response;
    response.status = fault.status;
    response.body = fault.body;
    return response;
}

}  // namespace

std::string BearerToken(const Request& request) {
    const std::string header = request.Header("authorization");
    if (header.size() <= 7 || strncasecmp(header.c_str(), "Bearer ", 7) != 0) return std::string();
    const size_t start = header.find_first_not_of(' ', 7);
    if (start == std::string::npos) return std::string();
    const size_t end = header.find_last_not_of(" \t");
    return header.substr(start, end + 1 - start);
}

Dispatcher::Dispatcher(const Router& router, Faults& faults, Accounts& accounts, Journal& journal)
    : m_router(router), m_faults(faults), m_accounts(accounts), m_journal(journal) {}

Outcome Dispatcher::Dispatch(Request& request, Response& response) {
    JournalEntry entry;
    entry.method = request.method;
    entry.host = request.host;
    entry.path = request.path;
    entry.rawQuery = request.rawQuery;
    entry.params = request.query;
    entry.body = request.body;

    Outcome outcome = Outcome::kRespond;
    const std::optional<FaultRule> fault = m_faults.Take(request.method, request.host, request.path);
    if (fault) entry.faultKind = FaultKindName(fault->kind);
    if (fault && fault->kind == FaultKind::kReset) {
        outcome = Outcome::kDropConnection;
    } else if (fault && fault->kind == FaultKind::kStatus) {
        response = FaultResponse(*fault);
    } else {
        if (fault && fault->kind == FaultKind::kStall) m_faults.Stall(fault->stallMs);
        if (fault && fault->status != 0) {
            response = FaultResponse(*fault);
        } else {
            Route(request, response);
        }
    }
    entry.status = outcome == Outcome::kRespond ? response.status : 0;
    m_journal.Append(std::move(entry));
    return outcome;
}

void Dispatcher::Route(Request& request, Response& response) {
    HbDebug log;
    const gcemu::Route* route = m_router.Match(request);
    if (!route) {
        log.DebugLvl(__PRETTY_FUNCTION__, 1, "gcemu: no route for %s %s%s", request.method.c_str(),
                     request.host.c_str(), request.path.c_str());
        response = UnknownRoute(request.method, request.host, request.path).ToResponse();
        return;
    }
    if (route->auth == Auth::kBearer) {
        const std::string token = BearerToken(request);
        if (token.empty()) {
            response = Unauthorized(MissingCredentials());
            return;
        }
        if (m_accounts.Check(token) != TokenState::kValid) {
            response = Unauthorized(InvalidCredentials());
            return;
        }
    }
    try {
        route->handler(request, response);
    } catch (const std::exception& error) {
        log.Error(__PRETTY_FUNCTION__, "gcemu: handler of %s %s failed: %s", route->method.c_str(),
                  route->pathTemplate.c_str(), error.what());
        GoogleError internal = ForStatus(500);
        internal.message = std::string("Internal error in the emulator: ") + error.what();
        response = internal.ToResponse();
    }
}

}  // namespace gcemu
