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

bool IsTokenEndpoint(const Request& request) {
    return request.host == "oauth2.googleapis.com" ||
           (request.host == "www.googleapis.com" && request.path.compare(0, 8, "/oauth2/") == 0);
}

// An injected status: the rule's body, or Google's error body for the status (with the challenge Google's
// APIs send along with a 401).
Response FaultResponse(const FaultRule& fault, const Request& request) {
    if (!fault.body.empty()) {
        Response response;
        response.status = fault.status;
        response.body = fault.body;
        return response;
    }
    const GoogleError error = ForStatus(fault.status);
    return fault.status == 401 && !IsTokenEndpoint(request) ? Unauthorized(error) : error.ToResponse();
}

// A body that is not JSON, as a proxy or a broken backend may send.
Response MalformedResponse(const FaultRule& fault) {
    Response response;
    response.status = fault.status != 0 ? fault.status : 200;
    response.body = fault.body.empty() ? R"({"items": [)" : fault.body;
    return response;
}

Response EmptyResponse(const FaultRule& fault) {
    Response response;
    response.status = fault.status != 0 ? fault.status : 200;
    return response;
}

// The answer cut short: the real one's first half announced at its full length, or the rule's body
// announced at twice its length.
void Truncate(const FaultRule& fault, Response& response) {
    if (!fault.body.empty()) {
        response = Response();
        response.status = fault.status != 0 ? fault.status : 200;
        response.body = fault.body;
        response.declaredLength = 2 * fault.body.size();
        return;
    }
    if (fault.status != 0) response.status = fault.status;
    const size_t full = response.body.size();
    response.body.resize(full / 2);
    response.declaredLength = full > response.body.size() ? full : response.body.size() + 1;
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
    if (!fault) {
        Route(request, response);
    } else {
        entry.faultKind = FaultKindName(fault->kind);
        switch (fault->kind) {
            case FaultKind::kReset:
                outcome = Outcome::kDropConnection;
                break;
            case FaultKind::kStatus:
                response = FaultResponse(*fault, request);
                break;
            case FaultKind::kMalformed:
                response = MalformedResponse(*fault);
                break;
            case FaultKind::kEmpty:
                response = EmptyResponse(*fault);
                break;
            case FaultKind::kTruncate:
                if (fault->body.empty()) Route(request, response);
                Truncate(*fault, response);
                break;
            case FaultKind::kStall:  // then the real answer, or the status
                m_faults.Stall(fault->stallMs);
                if (fault->status != 0) {
                    response = FaultResponse(*fault, request);
                } else {
                    Route(request, response);
                }
                break;
        }
    }
    if (fault && outcome == Outcome::kRespond && !fault->retryAfter.empty())
        response.headers.emplace("Retry-After", fault->retryAfter);
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
