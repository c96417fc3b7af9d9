// Google API discovery documents as a reference for what the library sends: request bodies checked
// against the named schemas, and methods looked up by HTTP method and path.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/ZkJson.h"

namespace testsupport {

// How a body departs from its schema. Paths name object members with "." and array elements with
// "[]" ("disks[].name", "scheduling.nodeAffinities[].values"); each path is listed once, sorted.
struct SchemaReport {
    std::vector<std::string> unknownKeys;     // members the schema does not declare
    std::vector<std::string> wrongTypes;      // "path: <json type> where the schema wants <type>"
    std::vector<std::string> outputOnlyKeys;  // declared, but set by the server (ignored in requests)
};

struct DiscoveryMethod {
    std::string id;                            // "compute.disks.setLabels"
    std::string httpMethod;                    // "POST"
    std::string path;                          // relative to the service path, "{+x}" spanning segments
    std::string flatPath;                      // the same with every variable spelled out; may be empty
    std::string requestSchema;                 // empty when the method takes no body
    std::string responseSchema;                // empty when it returns none
    std::vector<std::string> queryParameters;  // the method's own parameters sent in the query
};

class DiscoveryDocument {
public:
    // False, with the reason in error, when the file cannot be read or is not a discovery document.
    bool Load(const std::string& path, std::string* error = nullptr);

    std::string RootUrl() const;      // "https://compute.googleapis.com/"
    std::string ServicePath() const;  // "compute/v1/"
    // Query parameters every method of the API takes ("alt", "fields", "prettyPrint", ...).
    std::vector<std::string> StandardParameters() const;

    // The schema of that name under "schemas"; null when there is none.
    const json_spirit::mObject* FindSchema(const std::string& name) const;
    // Walks the body along the schema, following "$ref", arrays' "items" and "additionalProperties"
    // maps. A schema without properties or additionalProperties takes any members.
    SchemaReport CheckBody(const json_spirit::mObject& body, const std::string& schemaName) const;
    // The same for body text; text that is not a JSON object is reported as a wrong type at "".
    SchemaReport CheckBody(const std::string& bodyText, const std::string& schemaName) const;

    // Every method of every resource, nested resources included.
    std::vector<DiscoveryMethod> Methods() const;
    // The method whose path or flatPath template is exactly pathTemplate.
    std::optional<DiscoveryMethod> FindMethod(const std::string& httpMethod,
                                              const std::string& pathTemplate) const;
    // The method whose template (flatPath, else path) matches a concrete path relative to the service
    // path; a query string is ignored. "{x}" takes one segment, "{+x}" one or more. Of several matches
    // the one with the most literal text wins, so a literal or a ":verb" suffix beats a variable.
    std::optional<DiscoveryMethod> MatchPath(const std::string& httpMethod, const std::string& path) const;

private:
    struct CompiledMethod;
    const std::vector<CompiledMethod>& Compiled() const;

    json_spirit::mObject m_document;
    mutable std::shared_ptr<const std::vector<CompiledMethod>> m_compiled;  // built at the first match
};

}  // namespace testsupport
