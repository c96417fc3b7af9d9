#include "emulator/KmsCryptoKeyBody.h"

#include <cctype>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "emulator/KmsModel.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;
using json_spirit::mValue;

namespace {

enum class Kind { kOutputOnly, kText, kEnum, kDuration, kTimestamp, kBool, kLabels, kTexts, kMessage };

struct Field {
    const char* json;
    const char* proto;
    Kind kind;
    const char* type;                                // as Google names it in a refusal
    std::initializer_list<const char*> values = {};  // an enum's; a message's fields are elsewhere
};

const std::initializer_list<const char*> kPurposes = {"CRYPTO_KEY_PURPOSE_UNSPECIFIED",
                                                      "ENCRYPT_DECRYPT",
                                                      "ASYMMETRIC_SIGN",
                                                      "ASYMMETRIC_DECRYPT",
                                                      "RAW_ENCRYPT_DECRYPT",
                                                      "MAC"};
const std::initializer_list<const char*> kProtectionLevels = {"PROTECTION_LEVEL_UNSPECIFIED", "SOFTWARE",
                                                              "HSM", "EXTERNAL", "EXTERNAL_VPC"};
const std::initializer_list<const char*> kAlgorithms = {"CRYPTO_KEY_VERSION_ALGORITHM_UNSPECIFIED",
                                                        "GOOGLE_SYMMETRIC_ENCRYPTION",
                                                        "AES_128_GCM",
                                                        "AES_256_GCM",
                                                        "AES_128_CBC",
                                                        "AES_256_CBC",
                                                        "AES_128_CTR",
                                                        "AES_256_CTR",
                                                        "RSA_SIGN_PSS_2048_SHA256",
                                                        "RSA_SIGN_PSS_3072_SHA256",
                                                        "RSA_SIGN_PSS_4096_SHA256",
                                                        "RSA_SIGN_PSS_4096_SHA512",
                                                        "RSA_SIGN_PKCS1_2048_SHA256",
                                                        "RSA_SIGN_PKCS1_3072_SHA256",
                                                        "RSA_SIGN_PKCS1_4096_SHA256",
                                                        "RSA_SIGN_PKCS1_4096_SHA512",
                                                        "RSA_SIGN_RAW_PKCS1_2048",
                                                        "RSA_SIGN_RAW_PKCS1_3072",
                                                        "RSA_SIGN_RAW_PKCS1_4096",
                                                        "RSA_DECRYPT_OAEP_2048_SHA256",
                                                        "RSA_DECRYPT_OAEP_3072_SHA256",
                                                        "RSA_DECRYPT_OAEP_4096_SHA256",
                                                        "RSA_DECRYPT_OAEP_4096_SHA512",
                                                        "RSA_DECRYPT_OAEP_2048_SHA1",
                                                        "RSA_DECRYPT_OAEP_3072_SHA1",
                                                        "RSA_DECRYPT_OAEP_4096_SHA1",
                                                        "EC_SIGN_P256_SHA256",
                                                        "EC_SIGN_P384_SHA384",
                                                        "EC_SIGN_SECP256K1_SHA256",
                                                        "EC_SIGN_ED25519",
                                                        "HMAC_SHA256",
                                                        "HMAC_SHA1",
                                                        "HMAC_SHA384",
                                                        "HMAC_SHA512",
                                                        "HMAC_SHA224",
                                                        "EXTERNAL_SYMMETRIC_ENCRYPTION"};

constexpr char kDurationType[] = "type.googleapis.com/google.protobuf.Duration";
constexpr char kTimestampType[] = "type.googleapis.com/google.protobuf.Timestamp";

const std::vector<Field> kCryptoKeyFields = {
    {"name", "name", Kind::kOutputOnly, ""},
    {"primary", "primary", Kind::kOutputOnly, ""},
    {"createTime", "create_time", Kind::kOutputOnly, ""},
    {"purpose", "purpose", Kind::kEnum, "type.googleapis.com/google.cloud.kms.v1.CryptoKey.CryptoKeyPurpose",
     kPurposes},
    {"rotationPeriod", "rotation_period", Kind::kDuration, kDurationType},
    {"nextRotationTime", "next_rotation_time", Kind::kTimestamp, kTimestampType},
    {"versionTemplate", "version_template", Kind::kMessage,
     "type.googleapis.com/google.cloud.kms.v1.CryptoKeyVersionTemplate"},
    {"labels", "labels", Kind::kLabels, "TYPE_STRING"},
    {"importOnly", "import_only", Kind::kBool, "TYPE_BOOL"},
    {"destroyScheduledDuration", "destroy_scheduled_duration", Kind::kDuration, kDurationType},
    {"cryptoKeyBackend", "crypto_key_backend", Kind::kText, "TYPE_STRING"},
    {"keyAccessJustificationsPolicy", "key_access_justifications_policy", Kind::kMessage,
     "type.googleapis.com/google.cloud.kms.v1.KeyAccessJustificationsPolicy"},
};
const std::vector<Field> kTemplateFields = {
    {"algorithm", "algorithm", Kind::kEnum,
     "type.googleapis.com/google.cloud.kms.v1.CryptoKeyVersion.CryptoKeyVersionAlgorithm", kAlgorithms},
    {"protectionLevel", "protection_level", Kind::kEnum,
     "type.googleapis.com/google.cloud.kms.v1.ProtectionLevel", kProtectionLevels},
};
const std::vector<Field> kPolicyFields = {
    {"allowedAccessReasons", "allowed_access_reasons", Kind::kTexts, "TYPE_ENUM"},
};
const std::vector<Field> kKeyRingFields = {
    {"name", "name", Kind::kOutputOnly, ""},
    {"createTime", "create_time", Kind::kOutputOnly, ""},
};

bool OneOf(const std::string& text, std::initializer_list<const char*> values) {
    for (const char* value : values)
        if (text == value) return true;
    return false;
}

GoogleError BadRequest(const std::string& message) {
    return KmsError(400, message);
}

bool Refuse(GoogleError& error, GoogleError refusal) {
    error = std::move(refusal);
    return false;
}

GoogleError InvalidValue(const std::string& at, const char* type, const mValue& value) {
    return BadRequest("Invalid value at '" + at + "' (" + type + "), " + ZkJson::Serialize(value));
}

const std::vector<Field>& FieldsOf(const Field& message) {
    return std::string(message.json) == "versionTemplate" ? kTemplateFields : kPolicyFields;
}

// The members of one message: known by either name, stored under the JSON name, null taken as absent.
bool ReadMessage(const mObject& given, const std::vector<Field>& fields, const std::string& at, mObject& read,
                 GoogleError& error) {
    for (const auto& [name, value] : given) {
        const Field* field = nullptr;
        for (const Field& candidate : fields)
            if (name == candidate.json || name == candidate.proto) field = &candidate;
        if (!field) {
            error = BadRequest("Invalid JSON payload received. Unknown name \"" + name + "\" at '" + at +
                               "': Cannot find field.");
            return false;
        }
        if (value.is_null() || field->kind == Kind::kOutputOnly) continue;
        const std::string where = at + "." + field->proto;
        const bool text = value.type() == json_spirit::str_type;
        switch (field->kind) {
            case Kind::kOutputOnly:
                break;
            case Kind::kText:
                if (!text) return Refuse(error, InvalidValue(where, field->type, value));
                read[field->json] = value;
                break;
            case Kind::kEnum:
                if (!text || !OneOf(value.get_str(), field->values))
                    return Refuse(error, InvalidValue(where, field->type, value));
                // An unspecified value is as good as none: the default applies.
                if (value.get_str().find("UNSPECIFIED") == std::string::npos) read[field->json] = value;
                break;
            case Kind::kDuration: {
                Duration duration;
                if (!text || !ParseDuration(value.get_str(), duration))
                    return Refuse(error, InvalidValue(where, field->type, value));
                read[field->json] = FormatDuration(duration);
                break;
            }
            case Kind::kTimestamp: {
                const std::string time = text ? NormalTimestamp(value.get_str()) : "";
                if (time.empty()) return Refuse(error, InvalidValue(where, field->type, value));
                read[field->json] = time;
                break;
            }
            case Kind::kBool:
                if (value.type() != json_spirit::bool_type)
                    return Refuse(error, InvalidValue(where, field->type, value));
                if (value.get_bool()) read[field->json] = true;
                break;
            case Kind::kLabels:
            case Kind::kTexts: {
                const bool labels = field->kind == Kind::kLabels;
                if (value.type() != (labels ? json_spirit::obj_type : json_spirit::array_type))
                    return Refuse(error, InvalidValue(where, labels ? "TYPE_MESSAGE" : "TYPE_ARRAY", value));
                if (labels) {
                    for (const auto& [key, label] : value.get_obj())
                        if (label.type() != json_spirit::str_type)
                            return Refuse(error, InvalidValue(where + "[" + key + "]", field->type, label));
                } else {
                    for (const mValue& item : value.get_array())
                        if (item.type() != json_spirit::str_type)
                            return Refuse(error, InvalidValue(where + "[0]", field->type, item));
                }
                read[field->json] = value;
                break;
            }
            case Kind::kMessage: {
                if (value.type() != json_spirit::obj_type)
                    return Refuse(error, InvalidValue(where, field->type, value));
                mObject inner;
                if (!ReadMessage(value.get_obj(), FieldsOf(*field), where, inner, error)) return false;
                read[field->json] = inner;
                break;
            }
        }
    }
    return true;
}

bool ParseBody(const std::string& text, mObject& body, GoogleError& error) {
    body.clear();
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) return true;
    if (ZkJson::Unserialize(text, body)) return true;
    error = BadRequest("Invalid JSON payload received. Unexpected token.");
    return false;
}

bool AlgorithmFits(const std::string& purpose, const std::string& algorithm) {
    const auto starts = [&algorithm](const char* prefix) { return algorithm.rfind(prefix, 0) == 0; };
    if (purpose == "ENCRYPT_DECRYPT")
        return algorithm == "GOOGLE_SYMMETRIC_ENCRYPTION" || algorithm == "EXTERNAL_SYMMETRIC_ENCRYPTION";
    if (purpose == "RAW_ENCRYPT_DECRYPT") return starts("AES_");
    if (purpose == "ASYMMETRIC_SIGN") return starts("RSA_SIGN_") || starts("EC_SIGN_");
    if (purpose == "ASYMMETRIC_DECRYPT") return starts("RSA_DECRYPT_");
    return purpose == "MAC" && starts("HMAC_");
}

// Label keys start with a lower-case letter; keys and values hold up to 63 lower-case letters, digits,
// '_' and '-' (international letters too, which pass here unchecked).
bool IsLabelText(const std::string& text, bool key) {
    if (text.size() > 63 || (key && (text.empty() || !std::islower(static_cast<unsigned char>(text[0])))))
        return false;
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (!std::islower(u) && !std::isdigit(u) && c != '_' && c != '-' && u < 0x80) return false;
    }
    return true;
}

bool CheckLabels(const mObject& settings, GoogleError& error) {
    const mObject* labels = ZkJson::FindObject(settings, "labels");
    if (!labels) return true;
    if (labels->size() > 64) {
        error = BadRequest("A CryptoKey can have at most 64 labels.");
        return false;
    }
    for (const auto& [key, value] : *labels) {
        if (!IsLabelText(key, true) || !IsLabelText(value.get_str(), false)) {
            error = BadRequest("Invalid label '" + key + "': '" + value.get_str() +
                               "'. Label keys start with a lower-case letter; keys and values hold at most "
                               "63 lower-case letters, digits, underscores and dashes.");
            return false;
        }
    }
    return true;
}

}  // namespace

bool ReadCryptoKeyBody(const std::string& text, mObject& settings, GoogleError& error) {
    mObject body;
    return ParseBody(text, body, error) && ReadCryptoKey(body, settings, error);
}

bool ReadCryptoKey(const mObject& body, mObject& settings, GoogleError& error) {
    settings.clear();
    return ReadMessage(body, kCryptoKeyFields, "crypto_key", settings, error);
}

bool ReadKeyRingBody(const std::string& text, GoogleError& error) {
    mObject body;
    mObject unused;
    return ParseBody(text, body, error) && ReadMessage(body, kKeyRingFields, "key_ring", unused, error);
}

void AddCryptoKeyDefaults(mObject& settings) {
    mObject& versionTemplate = settings.emplace("versionTemplate", mObject()).first->second.get_obj();
    if (!versionTemplate.count("algorithm") &&
        ZkJson::GetStringValue(settings, "purpose") == "ENCRYPT_DECRYPT")
        versionTemplate["algorithm"] = "GOOGLE_SYMMETRIC_ENCRYPTION";
    versionTemplate.emplace("protectionLevel", "SOFTWARE");
    settings.emplace("destroyScheduledDuration", "86400s");
}

bool CheckCryptoKey(const mObject& settings, bool withVersion, GoogleError& error) {
    const std::string purpose = ZkJson::GetStringValue(settings, "purpose");
    if (purpose.empty()) {
        error = BadRequest("CryptoKey.purpose must be specified.");
        return false;
    }
    const mObject* versionTemplate = ZkJson::FindObject(settings, "versionTemplate");
    const std::string algorithm =
        versionTemplate ? ZkJson::GetStringValue(*versionTemplate, "algorithm") : "";
    if (algorithm.empty()) {
        error =
            BadRequest("CryptoKey.version_template.algorithm must be specified for purpose " + purpose + ".");
        return false;
    }
    if (!AlgorithmFits(purpose, algorithm)) {
        error = BadRequest("Algorithm " + algorithm + " is not compatible with purpose " + purpose + ".");
        return false;
    }
    const bool hasPeriod = settings.count("rotationPeriod") != 0;
    if ((hasPeriod || settings.count("nextRotationTime")) && purpose != "ENCRYPT_DECRYPT") {
        error = BadRequest(
            "Only CryptoKeys with purpose ENCRYPT_DECRYPT support automatic rotation; "
            "rotation_period and next_rotation_time must be omitted for purpose " +
            purpose + ".");
        return false;
    }
    if (hasPeriod) {
        Duration period;
        ParseDuration(ZkJson::GetStringValue(settings, "rotationPeriod"), period);
        if (period.seconds < kShortestRotationSecs) {
            error = BadRequest("CryptoKey.rotation_period must be at least 24 hours (86400s).");
            return false;
        }
        if (period.seconds > kLongestRotationSecs ||
            (period.seconds == kLongestRotationSecs && period.nanos > 0)) {
            error = BadRequest("CryptoKey.rotation_period must be at most 876000 hours (3153600000s).");
            return false;
        }
        if (!settings.count("nextRotationTime")) {
            error = BadRequest("CryptoKey.next_rotation_time must be set when rotation_period is set.");
            return false;
        }
    }
    Duration destroy;
    if (ParseDuration(ZkJson::GetStringValue(settings, "destroyScheduledDuration"), destroy) &&
        (destroy.seconds < 86400 || destroy.seconds > 120 * 86400 ||
         (destroy.seconds == 120 * 86400 && destroy.nanos > 0))) {
        error = BadRequest("CryptoKey.destroy_scheduled_duration must be between 24 hours and 120 days.");
        return false;
    }
    const auto importOnly = settings.find("importOnly");
    if (withVersion && importOnly != settings.end() && importOnly->second.get_bool()) {
        error = BadRequest(
            "A CryptoKey with import_only set must be created with "
            "skip_initial_version_creation.");
        return false;
    }
    return CheckLabels(settings, error);
}

}  // namespace gcemu
