// One request's way through the emulator: injected faults first, then routing by Host, method and path,
// then the bearer token check, then the API handler; every request ends in the journal.
#pragma once

#include "emulator/Accounts.h"
#include "emulator/Faults.h"
#include "emulator/Http.h"
#include "emulator/Journal.h"
#include "emulator/Router.h"

namespace gcemu {

enum class Outcome {
    kRespond,         // send the response
    kDropConnection,  // send nothing and shut the connection down
};

class Dispatcher {
public:
    Dispatcher(const Router& router, Faults& faults, Accounts& accounts, Journal& journal);

    // Thread-safe; request.params receives the route's captures.
    Outcome Dispatch(Request& request, Response& response);

private:
    void Route(Request& request, Response& response);

    const Router& m_router;
    Faults& m_faults;
    Accounts& m_accounts;
    Journal& m_journal;
};

// The token of an "Authorization: Bearer <token>" header; empty when there is none.
std::string BearerToken(const Request& request);

}  // namespace gcemu
