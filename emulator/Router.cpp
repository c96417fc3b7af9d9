#include "emulator/Router.h"

#include <algorithm>
#include <stdexcept>

#include "emulator/Encoding.h"

namespace gcemu {
namespace {

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> segments;
    size_t start = 1;  // past the leading '/'
    while (true) {
        const size_t slash = path.find('/', start);
        segments.push_back(
            path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return segments;
}

// One template segment: literal text, or prefix{name}suffix, or {name=**} for the rest of the path.
struct Segment {
    std::string prefix;
    std::string name;  // empty: a literal segment, all in prefix
    std::string suffix;
    bool rest = false;

    // Whether the request segment matches; the decoded capture goes to value.
    bool Match(const std::string& segment, std::string& value) const {
        if (name.empty()) return segment == prefix;
        if (segment.size() <= prefix.size() + suffix.size()) return false;  // a capture is never empty
        if (segment.compare(0, prefix.size(), prefix) != 0) return false;
        if (segment.compare(segment.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
        value = PercentDecode(segment.substr(prefix.size(), segment.size() - prefix.size() - suffix.size()),
                              false);
        return true;
    }
};

Segment ParseSegment(const std::string& text, const std::string& pathTemplate) {
    Segment segment;
    const size_t open = text.find('{');
    if (open == std::string::npos) {
        if (text.find('}') != std::string::npos) throw std::invalid_argument("stray '}' in " + pathTemplate);
        segment.prefix = text;
        return segment;
    }
    const size_t close = text.find('}', open);
    if (close == std::string::npos || text.find('{', open + 1) != std::string::npos)
        throw std::invalid_argument("bad capture in " + pathTemplate);
    segment.prefix = text.substr(0, open);
    segment.name = text.substr(open + 1, close - open - 1);
    segment.suffix = text.substr(close + 1);
    const size_t equals = segment.name.find('=');
    if (equals != std::string::npos) {
        if (segment.name.substr(equals) != "=**" || !segment.prefix.empty() || !segment.suffix.empty())
            throw std::invalid_argument("only {name=**} may capture several segments: " + pathTemplate);
        segment.name.resize(equals);
        segment.rest = true;
    }
    if (segment.name.empty()) throw std::invalid_argument("unnamed capture in " + pathTemplate);
    return segment;
}

}  // namespace

struct Router::Compiled {
    Route route;
    std::vector<Segment> segments;
    bool optionalTrailingSlash = false;

    bool Match(const std::vector<std::string>& parts, std::map<std::string, std::string>& params) const {
        size_t count = parts.size();
        if (optionalTrailingSlash && count == segments.size() + 1 && parts.back().empty()) --count;
        const bool rest = !segments.empty() && segments.back().rest;
        if (rest ? count < segments.size() : count != segments.size()) return false;
        std::map<std::string, std::string> captured;
        for (size_t i = 0; i < segments.size(); ++i) {
            const Segment& segment = segments[i];
            if (segment.rest) {
                // Empty segments are part of the value: an object may be named "a//b" or "dir/".
                std::string value;
                for (size_t j = i; j < count; ++j)
                    value += (j == i ? "" : "/") + PercentDecode(parts[j], false);
                if (value.empty()) return false;
                captured[segment.name] = value;
                break;
            }
            std::string value;
            if (!segment.Match(parts[i], value)) return false;
            if (!segment.name.empty()) captured[segment.name] = value;
        }
        params = std::move(captured);
        return true;
    }
};

Router::Router() = default;
Router::~Router() = default;

void Router::Add(const std::vector<std::string>& hosts, const std::string& method,
                 const std::string& pathTemplate, Handler handler, Auth auth) {
    if (pathTemplate.empty() || pathTemplate[0] != '/')
        throw std::invalid_argument("a path template starts with '/': " + pathTemplate);
    auto compiled = std::make_unique<Compiled>();
    std::string path = pathTemplate;
    if (path.size() > 2 && path.compare(path.size() - 2, 2, "/?") == 0) {
        compiled->optionalTrailingSlash = true;
        path.resize(path.size() - 2);
    }
    for (const std::string& text : SplitPath(path))
        compiled->segments.push_back(ParseSegment(text, pathTemplate));
    for (size_t i = 0; i + 1 < compiled->segments.size(); ++i) {
        if (compiled->segments[i].rest)
            throw std::invalid_argument("{name=**} must be the last segment: " + pathTemplate);
    }
    for (const std::string& host : hosts) compiled->route.hosts.push_back(ToLower(host));
    compiled->route.method = method;
    compiled->route.pathTemplate = pathTemplate;
    compiled->route.handler = std::move(handler);
    compiled->route.auth = auth;
    m_routes.push_back(std::move(compiled));
}

const Route* Router::Match(Request& request) const {
    if (request.path.empty() || request.path[0] != '/') return nullptr;
    const std::vector<std::string> parts = SplitPath(request.path);
    for (const auto& compiled : m_routes) {
        const Route& route = compiled->route;
        if (route.method != request.method) continue;
        if (std::find(route.hosts.begin(), route.hosts.end(), request.host) == route.hosts.end()) continue;
        if (compiled->Match(parts, request.params)) return &route;
    }
    return nullptr;
}

size_t Router::size() const {
    return m_routes.size();
}

}  // namespace gcemu
