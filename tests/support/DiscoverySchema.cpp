#include "tests/support/DiscoverySchema.h"

#include <strings.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace testsupport {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

const char* JsonTypeName(const mValue& value) {
    switch (value.type()) {
        case json_spirit::obj_type:
            return "object";
        case json_spirit::array_type:
            return "array";
        case json_spirit::str_type:
            return "string";
        case json_spirit::bool_type:
            return "boolean";
        case json_spirit::int_type:
            return "integer";
        case json_spirit::real_type:
            return "number";
        case json_spirit::null_type:
            return "null";
    }
    return "?";
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && strncasecmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

// Compute marks server-set fields in the description; the newer documents also set readOnly.
bool IsOutputOnly(const mObject& property) {
    auto readOnly = property.find("readOnly");
    if (readOnly != property.end() && readOnly->second.type() == json_spirit::bool_type &&
        readOnly->second.get_bool())
        return true;
    const std::string description = ZkJson::GetStringValue(property, "description");
    return StartsWithNoCase(description, "[Output Only]") || StartsWithNoCase(description, "Output only");
}

// Whether a JSON value may stand for a property of that discovery type and format.
bool TypeAccepts(const std::string& type, const std::string& format, const mValue& value) {
    if (type.empty() || type == "any" || value.is_null()) return true;
    switch (value.type()) {
        case json_spirit::obj_type:
            return type == "object";
        case json_spirit::array_type:
            return type == "array";
        case json_spirit::str_type:
            return type == "string";
        case json_spirit::bool_type:
            return type == "boolean";
        // 64-bit integers are declared as strings, but the API reads plain numbers for them too.
        case json_spirit::int_type:
            return type == "integer" || type == "number" ||
                   (type == "string" && (format == "int64" || format == "uint64"));
        case json_spirit::real_type:
            return type == "number";
        case json_spirit::null_type:
            return true;
    }
    return false;
}

struct Walker {
    const DiscoveryDocument& document;
    std::set<std::string> unknown, wrongTypes, outputOnly;

    // Follows "$ref" to the named schema; a dangling reference leaves the referring schema.
    const mObject* Resolve(const mObject* schema) const {
        for (int hops = 0; schema && hops < 32; ++hops) {
            const std::string ref = ZkJson::GetStringValue(*schema, "$ref");
            if (ref.empty()) return schema;
            const mObject* target = document.FindSchema(ref);
            if (!target) return schema;
            schema = target;
        }
        return schema;
    }

    static std::string Member(const std::string& path, const std::string& key) {
        return path.empty() ? key : path + "." + key;
    }

    void Walk(const mValue& value, const mObject* schema, const std::string& path) {
        schema = Resolve(schema);
        if (!schema) return;
        const std::string type = ZkJson::GetStringValue(*schema, "type");
        if (!TypeAccepts(type, ZkJson::GetStringValue(*schema, "format"), value)) {
            wrongTypes.insert(path + ": " + JsonTypeName(value) + " where the schema wants " + type);
            return;
        }
        if (value.type() == json_spirit::array_type) {
            const mObject* items = ZkJson::FindObject(*schema, "items");
            if (items)
                for (const mValue& element : value.get_array()) Walk(element, items, path + "[]");
            return;
        }
        if (value.type() != json_spirit::obj_type) return;
        const mObject* properties = ZkJson::FindObject(*schema, "properties");
        const mObject* additional = ZkJson::FindObject(*schema, "additionalProperties");
        if (!properties && !additional) return;  // free-form object
        for (const auto& [key, member] : value.get_obj()) {
            const std::string memberPath = Member(path, key);
            const mObject* property = properties ? ZkJson::FindObject(*properties, key) : nullptr;
            if (property) {
                if (IsOutputOnly(*property)) outputOnly.insert(memberPath);
                Walk(member, property, memberPath);
            } else if (additional) {
                Walk(member, additional, memberPath);
            } else {
                unknown.insert(memberPath);
            }
        }
    }
};

void CollectMethods(const mObject& resources, std::vector<DiscoveryMethod>& methods) {
    for (const auto& [name, resourceValue] : resources) {
        (void)name;
        if (resourceValue.type() != json_spirit::obj_type) continue;
        const mObject& resource = resourceValue.get_obj();
        if (const mObject* methodMap = ZkJson::FindObject(resource, "methods")) {
            for (const auto& [verb, methodValue] : *methodMap) {
                (void)verb;
                if (methodValue.type() != json_spirit::obj_type) continue;
                const mObject& method = methodValue.get_obj();
                DiscoveryMethod entry;
                entry.id = ZkJson::GetStringValue(method, "id");
                entry.httpMethod = ZkJson::GetStringValue(method, "httpMethod");
                entry.path = ZkJson::GetStringValue(method, "path");
                entry.flatPath = ZkJson::GetStringValue(method, "flatPath");
                if (const mObject* request = ZkJson::FindObject(method, "request"))
                    entry.requestSchema = ZkJson::GetStringValue(*request, "$ref");
                if (const mObject* response = ZkJson::FindObject(method, "response"))
                    entry.responseSchema = ZkJson::GetStringValue(*response, "$ref");
                if (const mObject* parameters = ZkJson::FindObject(method, "parameters"))
                    for (const auto& [parameter, declaration] : *parameters)
                        if (declaration.type() == json_spirit::obj_type &&
                            ZkJson::GetStringValue(declaration.get_obj(), "location") == "query")
                            entry.queryParameters.push_back(parameter);
                methods.push_back(entry);
            }
        }
        if (const mObject* nested = ZkJson::FindObject(resource, "resources"))
            CollectMethods(*nested, methods);
    }
}

// A path template as a regular expression, and how much literal text it holds.
std::regex TemplateRegex(const std::string& pathTemplate, size_t& literalLength) {
    static const std::regex variable(R"(\{(\+?)[^}]*\})");
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    std::string pattern;
    literalLength = 0;
    auto literal = [&](const std::string& text) {
        literalLength += text.size();
        pattern += std::regex_replace(text, special, R"(\$&)");
    };
    size_t position = 0;
    for (std::sregex_iterator it(pathTemplate.begin(), pathTemplate.end(), variable), end; it != end; ++it) {
        literal(pathTemplate.substr(position, it->position() - position));
        pattern += (*it)[1].length() ? ".+" : "[^/]+";
        position = it->position() + it->length();
    }
    literal(pathTemplate.substr(position));
    return std::regex(pattern);
}

}  // namespace

bool DiscoveryDocument::Load(const std::string& path, std::string* error) {
    auto fail = [error](const std::string& reason) {
        if (error) *error = reason;
        return false;
    };
    std::ifstream file(path, std::ios::binary);
    if (!file) return fail("cannot open " + path);
    std::ostringstream text;
    text << file.rdbuf();
    mObject document;
    if (!ZkJson::Unserialize(text.str(), document)) return fail(path + " is not a JSON object");
    if (ZkJson::GetStringValue(document, "kind") != "discovery#restDescription" ||
        !ZkJson::FindObject(document, "schemas"))
        return fail(path + " is not a discovery document");
    m_document = std::move(document);
    return true;
}

std::string DiscoveryDocument::RootUrl() const {
    return ZkJson::GetStringValue(m_document, "rootUrl");
}

std::string DiscoveryDocument::ServicePath() const {
    return ZkJson::GetStringValue(m_document, "servicePath");
}

const mObject* DiscoveryDocument::FindSchema(const std::string& name) const {
    const mObject* schemas = ZkJson::FindObject(m_document, "schemas");
    return schemas ? ZkJson::FindObject(*schemas, name) : nullptr;
}

SchemaReport DiscoveryDocument::CheckBody(const mObject& body, const std::string& schemaName) const {
    SchemaReport report;
    const mObject* schema = FindSchema(schemaName);
    if (!schema) {
        report.wrongTypes.push_back(": no schema named " + schemaName);
        return report;
    }
    Walker walker{*this, {}, {}, {}};
    walker.Walk(mValue(body), schema, "");
    report.unknownKeys.assign(walker.unknown.begin(), walker.unknown.end());
    report.wrongTypes.assign(walker.wrongTypes.begin(), walker.wrongTypes.end());
    report.outputOnlyKeys.assign(walker.outputOnly.begin(), walker.outputOnly.end());
    return report;
}

SchemaReport DiscoveryDocument::CheckBody(const std::string& bodyText, const std::string& schemaName) const {
    mObject body;
    if (!ZkJson::Unserialize(bodyText, body)) {
        SchemaReport report;
        report.wrongTypes.push_back(": body is not a JSON object");
        return report;
    }
    return CheckBody(body, schemaName);
}

std::vector<std::string> DiscoveryDocument::StandardParameters() const {
    std::vector<std::string> names;
    if (const mObject* parameters = ZkJson::FindObject(m_document, "parameters"))
        for (const auto& [name, declaration] : *parameters) names.push_back(name);
    return names;
}

std::vector<DiscoveryMethod> DiscoveryDocument::Methods() const {
    std::vector<DiscoveryMethod> methods;
    if (const mObject* resources = ZkJson::FindObject(m_document, "resources"))
        CollectMethods(*resources, methods);
    return methods;
}

std::optional<DiscoveryMethod> DiscoveryDocument::FindMethod(const std::string& httpMethod,
                                                             const std::string& pathTemplate) const {
    for (const DiscoveryMethod& method : Methods())
        if (method.httpMethod == httpMethod &&
            (method.path == pathTemplate || method.flatPath == pathTemplate))
            return method;
    return std::nullopt;
}

struct DiscoveryDocument::CompiledMethod {
    DiscoveryMethod method;
    std::regex pattern;
    size_t literal = 0;
};

const std::vector<DiscoveryDocument::CompiledMethod>& DiscoveryDocument::Compiled() const {
    if (!m_compiled) {
        auto compiled = std::make_shared<std::vector<CompiledMethod>>();
        for (const DiscoveryMethod& method : Methods()) {
            // flatPath spells out the variables that "{+name}" paths leave to the caller.
            const std::string& pathTemplate = method.flatPath.empty() ? method.path : method.flatPath;
            CompiledMethod entry{method, std::regex(), 0};
            entry.pattern = TemplateRegex(pathTemplate, entry.literal);
            compiled->push_back(std::move(entry));
        }
        m_compiled = compiled;
    }
    return *m_compiled;
}

std::optional<DiscoveryMethod> DiscoveryDocument::MatchPath(const std::string& httpMethod,
                                                            const std::string& path) const {
    const std::string bare = path.substr(0, path.find('?'));
    const CompiledMethod* best = nullptr;
    for (const CompiledMethod& candidate : Compiled()) {
        if (candidate.method.httpMethod != httpMethod) continue;
        if (!std::regex_match(bare, candidate.pattern)) continue;
        if (!best || candidate.literal > best->literal) best = &candidate;
    }
    if (!best) return std::nullopt;
    return best->method;
}

}  // namespace testsupport
