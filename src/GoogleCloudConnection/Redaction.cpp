#include "GoogleCloudConnection/Redaction.h"

#include <cstring>

#include "host/ZkJson.h"

namespace GoogleCloudSDKWrapper {
namespace {

const char kRedacted[] = "[REDACTED]";
// A customer-supplied disk key ("rawKey", or the RSA-wrapped "rsaEncryptedKey") is as secret as a token,
// and so are a Cloud SQL replica's replication "password" and TLS "clientKey".
const char* const kJsonSecrets[] = {
    "\"access_token\"", "\"refresh_token\"", "\"id_token\"",        "\"private_key\"", "\"client_secret\"",
    "\"assertion\"",    "\"rawKey\"",        "\"rsaEncryptedKey\"", "\"password\"",    "\"clientKey\""};

size_t SkipBlanks(const std::string& text, size_t pos) {
    while (pos < text.size() &&
           (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r' || text[pos] == '\n'))
        ++pos;
    return pos;
}

// Replaces the string value after every occurrence of the quoted member name.
void RedactJsonMember(std::string& text, const char* quotedName) {
    const size_t nameLength = std::strlen(quotedName);
    size_t pos = 0;
    while ((pos = text.find(quotedName, pos)) != std::string::npos) {
        size_t cursor = SkipBlanks(text, pos + nameLength);
        if (cursor >= text.size() || text[cursor] != ':') {
            pos += nameLength;
            continue;
        }
        cursor = SkipBlanks(text, cursor + 1);
        if (cursor >= text.size() || text[cursor] != '"') {
            pos += nameLength;
            continue;
        }
        size_t valueBegin = cursor + 1;
        size_t valueEnd = valueBegin;
        while (valueEnd < text.size() && text[valueEnd] != '"') valueEnd += text[valueEnd] == '\\' ? 2 : 1;
        if (valueEnd > text.size()) valueEnd = text.size();
        text.replace(valueBegin, valueEnd - valueBegin, kRedacted);
        pos = valueBegin + sizeof kRedacted;
    }
}

// Replaces the value of every "assertion=" form field, up to the next '&'.
void RedactFormField(std::string& text, const char* field) {
    const size_t fieldLength = std::strlen(field);
    size_t pos = 0;
    while ((pos = text.find(field, pos)) != std::string::npos) {
        bool fieldStart = pos == 0 || text[pos - 1] == '&';
        size_t valueBegin = pos + fieldLength;
        if (!fieldStart) {
            pos = valueBegin;
            continue;
        }
        size_t valueEnd = text.find('&', valueBegin);
        if (valueEnd == std::string::npos) valueEnd = text.size();
        text.replace(valueBegin, valueEnd - valueBegin, kRedacted);
        pos = valueBegin + sizeof kRedacted - 1;
    }
}

bool IsSecretName(const std::string& name) {
    for (const char* quoted : kJsonSecrets)
        if (name == std::string(quoted + 1, std::strlen(quoted) - 2)) return true;
    return false;
}

// Replaces every secret string still in the tree; true when there was one.
bool RedactTree(json_spirit::mValue& value) {
    bool changed = false;
    if (value.type() == json_spirit::array_type) {
        for (json_spirit::mValue& element : value.get_array()) changed |= RedactTree(element);
    } else if (value.type() == json_spirit::obj_type) {
        for (auto& [name, member] : value.get_obj()) {
            if (IsSecretName(name) && member.type() == json_spirit::str_type &&
                member.get_str() != kRedacted) {
                member = kRedacted;
                changed = true;
            } else {
                changed |= RedactTree(member);
            }
        }
    }
    return changed;
}

}  // namespace

std::string RedactCredentials(const std::string& text) {
    std::string redacted = text;
    for (const char* name : kJsonSecrets) RedactJsonMember(redacted, name);
    RedactFormField(redacted, "assertion=");
    // The scan misses a name written with escapes ("access\u005ftoken"), which a JSON reader takes for
    // the name itself: such a text is written again, with its secrets replaced.
    json_spirit::mValue tree;
    if (ZkJson::Unserialize(redacted, tree) && RedactTree(tree)) return ZkJson::Serialize(tree);
    return redacted;
}

}  // namespace GoogleCloudSDKWrapper
