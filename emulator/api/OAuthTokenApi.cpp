// The OAuth 2.0 token endpoint for service accounts (JWT bearer grant, RFC 7523): verifies the RS256
// assertion with the account's public key and hands out an access token.
// https://developers.google.com/identity/protocols/oauth2/service-account#httprest
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "emulator/ApiFamily.h"
#include "emulator/Encoding.h"
#include "host/HbDebug.h"
#include "host/HostClock.h"
#include "host/ZkJson.h"

namespace gcemu {
namespace {

using json_spirit::mObject;

constexpr const char* kJwtBearer = "urn:ietf:params:oauth:grant-type:jwt-bearer";
constexpr const char* kCloudPlatformScope = "https://www.googleapis.com/auth/cloud-platform";
const std::vector<std::string> kAudiences = {"https://www.googleapis.com/oauth2/v3/token",
                                             "https://oauth2.googleapis.com/token",
                                             "https://www.googleapis.com/oauth2/v4/token"};

// A refusal as Google's token endpoint words it.
struct Refusal {
    std::string error;
    std::string description;
    int status = 400;
};

Response Refuse(const Refusal& refusal) {
    HbDebug().DebugLvl(__PRETTY_FUNCTION__, 1, "gcemu: token refused: %s: %s", refusal.error.c_str(),
                       refusal.description.c_str());
    mObject body;
    body["error"] = refusal.error;
    body["error_description"] = refusal.description;
    Response response = Response::Json(refusal.status, body);
    response.headers.emplace("Cache-Control", "no-store");
    return response;
}

Refusal InvalidJwt(const std::string& why) {
    return {"invalid_grant", "Invalid JWT: " + why};
}

// A JSON object from a base64url JWT segment.
bool DecodeSegment(const std::string& segment, mObject& object) {
    const std::optional<std::string> text = Base64UrlDecode(segment);
    return text && ZkJson::Unserialize(*text, object);
}

bool ReadSeconds(const mObject& claims, const char* name, int64_t& value) {
    const auto found = claims.find(name);
    if (found == claims.end()) return false;
    if (found->second.type() == json_spirit::int_type) {
        value = found->second.get_int64();
        return true;
    }
    if (found->second.type() == json_spirit::real_type) {
        value = static_cast<int64_t>(found->second.get_real());
        return true;
    }
    return false;
}

bool HasScope(const std::string& scopes, const std::string& wanted) {
    size_t start = 0;
    while (start < scopes.size()) {
        size_t end = scopes.find(' ', start);
        if (end == std::string::npos) end = scopes.size();
        if (scopes.compare(start, end - start, wanted) == 0 && end - start == wanted.size()) return true;
        start = end + 1;
    }
    return false;
}

class OAuthTokenApi : public ApiFamily {
public:
    const char* Name() const override { return "oauth2"; }

    void Register(Router& router, EmulatorContext& context) override {
        auto handler = [&context](const Request& request, Response& response) {
            response = Token(request, context.accounts);
        };
        router.Add({"www.googleapis.com"}, "POST", "/oauth2/v3/token", handler, Auth::kNone);
        router.Add({"www.googleapis.com"}, "POST", "/oauth2/v4/token", handler, Auth::kNone);
        router.Add({"oauth2.googleapis.com"}, "POST", "/token", handler, Auth::kNone);
    }

private:
    static Response Token(const Request& request, Accounts& accounts) {
        const StringMultimap form = ParseQuery(request.body);
        const auto grant = form.find("grant_type");
        const std::string grantType = grant == form.end() ? std::string() : grant->second;
        if (grantType != kJwtBearer)
            return Refuse({"unsupported_grant_type", "Invalid grant_type: " + grantType});
        const auto found = form.find("assertion");
        if (found == form.end() || found->second.empty())
            return Refuse({"invalid_request", "Missing required parameter: assertion"});
        const std::string& assertion = found->second;

        const size_t firstDot = assertion.find('.');
        const size_t secondDot = firstDot == std::string::npos ? firstDot : assertion.find('.', firstDot + 1);
        if (secondDot == std::string::npos || assertion.find('.', secondDot + 1) != std::string::npos)
            return Refuse(InvalidJwt("the assertion is not three segments separated by '.'"));
        mObject header;
        mObject claims;
        if (!DecodeSegment(assertion.substr(0, firstDot), header))
            return Refuse(InvalidJwt("the header is not base64url-encoded JSON"));
        if (ZkJson::GetStringValue(header, "alg") != "RS256")
            return Refuse(InvalidJwt("the algorithm must be RS256"));
        if (header.count("typ") && ZkJson::GetStringValue(header, "typ") != "JWT")
            return Refuse(InvalidJwt("the type must be JWT"));
        if (!DecodeSegment(assertion.substr(firstDot + 1, secondDot - firstDot - 1), claims))
            return Refuse(InvalidJwt("the claim set is not base64url-encoded JSON"));
        const std::optional<std::string> signature = Base64UrlDecode(assertion.substr(secondDot + 1));
        if (!signature || signature->empty()) return Refuse(InvalidJwt("the signature is not base64url"));

        const std::string issuer = ZkJson::GetStringValue(claims, "iss");
        if (!accounts.Has(issuer)) return Refuse({"invalid_grant", "Invalid grant: account not found"});
        // The signature covers the two segments exactly as sent, padding included.
        if (!accounts.VerifyRs256(issuer, assertion.substr(0, secondDot), *signature))
            return Refuse({"invalid_grant", "Invalid JWT Signature."});

        const std::string audience = ZkJson::GetStringValue(claims, "aud");
        if (std::find(kAudiences.begin(), kAudiences.end(), audience) == kAudiences.end())
            return Refuse(InvalidJwt("Failed audience check. The right audience is " + kAudiences[1]));
        int64_t issuedAt = 0;
        int64_t expiresAt = 0;
        const int64_t now = host::Now();
        if (!ReadSeconds(claims, "iat", issuedAt) || !ReadSeconds(claims, "exp", expiresAt) ||
            expiresAt - issuedAt != 3600 || issuedAt > now + 60 || expiresAt <= now) {
            return Refuse(
                InvalidJwt("Token must be a short-lived token (60 minutes) and in a reasonable timeframe. "
                           "Check your iat and "
                           "exp values in the JWT claim."));
        }
        if (!HasScope(ZkJson::GetStringValue(claims, "scope"), kCloudPlatformScope))
            return Refuse({"invalid_scope", "Invalid OAuth scope or ID token audience provided."});

        const IssuedToken token = accounts.Issue(issuer);
        mObject body;
        body["access_token"] = token.accessToken;
        body["expires_in"] = token.expiresIn;
        body["token_type"] = "Bearer";
        Response response = Response::Json(body);
        response.headers.emplace("Cache-Control", "no-store");
        return response;
    }
};

}  // namespace

std::unique_ptr<ApiFamily> MakeOAuthTokenApi() {
    return std::make_unique<OAuthTokenApi>();
}

}  // namespace gcemu
