#include "emulator/SpannerModel.h"

#include <cctype>

#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

constexpr char kRegionalPrefix[] = "regional-";

bool IsLowerOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool EqualsIgnoringCase(const std::string& text, const char* word) {
    size_t i = 0;
    for (; word[i]; ++i)
        if (i >= text.size() || std::toupper(static_cast<unsigned char>(text[i])) != word[i]) return false;
    return i == text.size();
}

// Reads a statement as Spanner's DDL parser does, token by token, for the messages it gives.
class Tokens {
public:
    explicit Tokens(const std::string& text) : m_text(text) {}

    void SkipSpace() {
        while (m_at < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_at]))) ++m_at;
    }
    bool AtEnd() {
        SkipSpace();
        return m_at == m_text.size();
    }
    // A word of letters, digits and '_', or one other character; empty at the end.
    std::string Next() {
        SkipSpace();
        m_start = m_at;
        if (m_at == m_text.size()) return "";
        if (!std::isalnum(static_cast<unsigned char>(m_text[m_at])) && m_text[m_at] != '_')
            return m_text.substr(m_at++, 1);
        while (m_at < m_text.size() &&
               (std::isalnum(static_cast<unsigned char>(m_text[m_at])) || m_text[m_at] == '_'))
            ++m_at;
        return m_text.substr(m_start, m_at - m_start);
    }
    // The text up to the next backquote, past it; false when none closes.
    bool Quoted(std::string& inside) {
        const size_t close = m_text.find('`', m_at);
        if (close == std::string::npos) return false;
        inside = m_text.substr(m_at, close - m_at);
        m_at = close + 1;
        return true;
    }
    GoogleError SyntaxError(const std::string& found, const char* parsing) const {
        return SpannerError(400, "Error parsing Spanner DDL statement: " + m_text +
                                     " : Syntax error on line 1, column " + std::to_string(m_start + 1) +
                                     ": Encountered '" + (found.empty() ? std::string("EOF") : found) +
                                     "' while parsing: " + parsing);
    }

private:
    const std::string& m_text;
    size_t m_at = 0;
    size_t m_start = 0;
};

}  // namespace

GoogleError SpannerError(int code, const std::string& message) {
    return RpcError(code, message);
}

GoogleError SpannerMissingPermission(const std::string& permission, const std::string& resource) {
    return RpcError(
        403, "Caller is missing IAM permission spanner." + permission + " on resource " + resource + ".");
}

GoogleError SpannerNotFound(const std::string& kind, const std::string& name) {
    return RpcError(404, kind + " not found: " + name);
}

bool IsSpannerDatabaseId(const std::string& id) {
    if (id.size() < 2 || id.size() > 30 || id.front() < 'a' || id.front() > 'z' || !IsLowerOrDigit(id.back()))
        return false;
    for (const char c : id)
        if (!IsLowerOrDigit(c) && c != '_' && c != '-') return false;
    return true;
}

bool IsSpannerInstanceId(const std::string& id) {
    if (id.size() < 2 || id.size() > 64 || id.front() < 'a' || id.front() > 'z' || !IsLowerOrDigit(id.back()))
        return false;
    for (const char c : id)
        if (!IsLowerOrDigit(c) && c != '-') return false;
    return true;
}

bool IsSpannerTableName(const std::string& name) {
    if (name.empty() || name.size() > 128 || !std::isalpha(static_cast<unsigned char>(name.front())))
        return false;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

bool ParseCreateDatabase(const std::string& statement, std::string& id, GoogleError& error) {
    Tokens tokens(statement);
    for (const char* keyword : {"CREATE", "DATABASE"}) {
        const std::string word = tokens.Next();
        if (!EqualsIgnoringCase(word, keyword)) {
            error = tokens.SyntaxError(word, "create_statement");
            return false;
        }
    }
    std::string word = tokens.Next();
    if (word == "`") {
        if (!tokens.Quoted(id)) {
            error = tokens.SyntaxError(word, "create_statement");
            return false;
        }
    } else if (word.empty() || !std::isalpha(static_cast<unsigned char>(word.front()))) {
        error = tokens.SyntaxError(word, "create_statement");
        return false;
    } else {
        id = word;
    }
    if (!tokens.AtEnd()) {
        // A hyphen outside backquotes, or anything after the id.
        const std::string extra = tokens.Next();
        error = tokens.SyntaxError(extra, "create_statement");
        return false;
    }
    if (!IsSpannerDatabaseId(id)) {
        error = SpannerError(
            400, "Invalid database name: " + id +
                     ". A database name is 2 to 30 characters matching [a-z][a-z0-9_\\-]*[a-z0-9].");
        return false;
    }
    return true;
}

bool CheckExtraStatement(const std::string& statement, GoogleError& error) {
    Tokens tokens(statement);
    const std::string word = tokens.Next();
    if (!EqualsIgnoringCase(word, "CREATE") && !EqualsIgnoringCase(word, "ALTER") &&
        !EqualsIgnoringCase(word, "DROP")) {
        error = tokens.SyntaxError(word, "ddl_statement");
        return false;
    }
    if (EqualsIgnoringCase(word, "CREATE") && EqualsIgnoringCase(tokens.Next(), "DATABASE")) {
        error = SpannerError(400, "Extra statements may not create a database: " + statement);
        return false;
    }
    return true;
}

std::string ConfigRegion(const std::string& configId) {
    const std::string prefix = kRegionalPrefix;
    return configId.compare(0, prefix.size(), prefix) == 0 ? configId.substr(prefix.size()) : "";
}

mObject InstanceConfigResource(const std::string& projectId, const std::string& region) {
    mObject config;
    config["name"] = "projects/" + projectId + "/instanceConfigs/" + kRegionalPrefix + region;
    config["displayName"] = region;
    mArray replicas;
    for (int i = 0; i < 3; ++i) {
        mObject replica{{"location", region}, {"type", "READ_WRITE"}};
        if (i == 0) replica["defaultLeaderLocation"] = true;
        replicas.push_back(replica);
    }
    config["replicas"] = replicas;
    config["leaderOptions"] = mArray{region};
    config["configType"] = "GOOGLE_MANAGED";
    config["state"] = "READY";
    config["freeInstanceAvailability"] = "AVAILABLE";
    config["quorumType"] = "REGION";
    config["storageLimitPerProcessingUnit"] = "10737418240";  // int64: text
    return config;
}

mObject DatabaseResource(const std::string& name, const std::string& createTime, const std::string& state,
                         const std::string& dialect) {
    return mObject{{"name", name},
                   {"state", state},
                   {"createTime", createTime},
                   {"databaseDialect", dialect},
                   {"versionRetentionPeriod", "1h"}};
}

std::vector<std::string> SpannerStatements(World::Txn& world, const std::string& database) {
    std::vector<std::string> statements;
    const mObject* schema = world.Find(collections::kSpannerSchemas, database);
    if (!schema) return statements;
    for (const mValue& statement : schema->at("statements").get_array())
        statements.push_back(statement.get_str());
    return statements;
}

void SetSpannerStatements(World::Txn& world, const std::string& database,
                          const std::vector<std::string>& statements) {
    mArray list(statements.begin(), statements.end());
    world.Put(collections::kSpannerSchemas, database, mObject{{"statements", list}});
}

std::vector<std::string> SpannerTables(World::Txn& world, const std::string& database) {
    std::vector<std::string> tables;
    for (const std::string& statement : SpannerStatements(world, database)) {
        Tokens tokens(statement);
        if (!EqualsIgnoringCase(tokens.Next(), "CREATE") || !EqualsIgnoringCase(tokens.Next(), "TABLE"))
            continue;
        std::string name = tokens.Next();
        if (name == "`" && !tokens.Quoted(name)) continue;
        if (!name.empty()) tables.push_back(name);
    }
    return tables;
}

std::string CreateTableStatement(const std::string& table) {
    return "CREATE TABLE " + table + " (\n  " + table +
           "Id INT64 NOT NULL,\n  Name STRING(MAX),\n) PRIMARY KEY(" + table + "Id)";
}

}  // namespace gcemu
