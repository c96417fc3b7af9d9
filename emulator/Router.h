// Routes by Host, method and path template to API handlers.
//
// A template is a path whose segments are literals or captures: "/compute/v1/projects/{project}".
// A capture may sit between literal text in its segment ("{instance}:start"), and the last segment
// may capture the rest of the path ("{object=**}", empty segments included, never empty). A template
// ending in "/?" also matches the path with a trailing slash. Captured values are percent-decoded once
// into Request::params, '+' left as it is.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "emulator/Http.h"

namespace gcemu {

using Handler = std::function<void(const Request&, Response&)>;

enum class Auth {
    kBearer,  // the request must carry a live token issued by the emulator
    kNone,    // the token endpoint and the control API
};

struct Route {
    std::vector<std::string> hosts;  // lower case
    std::string method;
    std::string pathTemplate;
    Handler handler;
    Auth auth = Auth::kBearer;
};

class Router {
public:
    Router();
    ~Router();
    Router(const Router&) = delete;
    Router& operator=(const Router&) = delete;

    // Routes are added before the server starts and never change while it runs. Throws
    // std::invalid_argument for a template it cannot read.
    void Add(const std::vector<std::string>& hosts, const std::string& method,
             const std::string& pathTemplate, Handler handler, Auth auth = Auth::kBearer);

    // The first route (in the order added) for the request's host, method and path, with its
    // captures stored in request.params; null when none.
    const Route* Match(Request& request) const;
    size_t size() const;

private:
    struct Compiled;
    std::vector<std::unique_ptr<Compiled>> m_routes;
};

}  // namespace gcemu
