#include "cli/Credentials.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/ZkJson.h"

namespace gcsdk {

bool ParseJsonKey(const std::string& text, std::string& email, std::string& privateKey, std::string& error) {
    json_spirit::mObject key;
    if (!ZkJson::Unserialize(text, key)) {
        error = "not a JSON object";
        return false;
    }
    const std::string type = ZkJson::GetStringValue(key, "type");
    if (!type.empty() && type != "service_account") {
        error = "a credential of type '" + type + "', not a service-account key";
        return false;
    }
    email = ZkJson::GetStringValue(key, "client_email");
    privateKey = ZkJson::GetStringValue(key, "private_key");
    if (email.empty() || privateKey.empty()) {
        error = "no client_email and private_key in it";
        return false;
    }
    return true;
}

namespace {

CredentialsOutcome Outcome(CredentialsOutcome::Status status, std::string error) {
    CredentialsOutcome outcome;
    outcome.status = status;
    outcome.error = std::move(error);
    return outcome;
}

// Why the file cannot be read as a key: "No such file or directory" (absent), "it is a directory, not
// <kind>"; empty when it is a file.
std::string FileProblem(const std::string& path, const std::string& kind, bool& absent) {
    struct stat info {};
    absent = false;
    if (stat(path.c_str(), &info) != 0) {
        absent = errno == ENOENT;
        return std::strerror(errno);
    }
    if (S_ISDIR(info.st_mode)) return "it is a directory, not " + kind;
    return "";
}

CredentialsOutcome FromJsonKeyFile(const std::string& path, const std::string& from, Credentials& out) {
    const std::string shown = "key file " + path + from;
    bool absent = false;
    std::string problem = FileProblem(path, "a key file", absent);
    std::ifstream file(path, std::ios::binary);
    if (problem.empty() && !file) problem = std::strerror(errno);
    if (!problem.empty())
        return Outcome(CredentialsOutcome::Status::kFailure, "reading " + shown + ": " + problem);
    std::ostringstream text;
    text << file.rdbuf();
    std::string error;
    if (!ParseJsonKey(text.str(), out.email, out.secret, error))
        return Outcome(CredentialsOutcome::Status::kFailure, "reading " + shown + ": " + error);
    out.keyFileName.clear();
    out.source = "key file " + path;
    return Outcome(CredentialsOutcome::Status::kOk, "");
}

}  // namespace

CredentialsOutcome ResolveCredentials(const ParsedArguments& args, const char* envKeyFile, Credentials& out,
                                      const char* envP12Password) {
    using Status = CredentialsOutcome::Status;
    const bool p12 = args.Has("p12");
    if (args.Has("key-file") && p12) return Outcome(Status::kUsage, "give --key-file or --p12, not both");
    if (!p12 && (args.Has("email") || args.Has("password")))
        return Outcome(Status::kUsage, "--email and --password go with --p12");
    if (p12) {
        const bool envPassword = envP12Password && *envP12Password;
        if (!args.Has("email") || (!args.Has("password") && !envPassword))
            return Outcome(Status::kUsage, "--p12 needs --email and --password (or GCSDK_P12_PASSWORD)");
        out.keyFileName = args.Value("p12");
        // A relative name that is not here may be under the library's certificates folder: the library
        // says so itself when it is not.
        bool absent = false;
        const std::string problem = FileProblem(out.keyFileName, "a PKCS#12 file", absent);
        if (!problem.empty() && !(absent && std::filesystem::path(out.keyFileName).is_relative()))
            return Outcome(Status::kFailure, "reading PKCS#12 file " + out.keyFileName + ": " + problem);
        // The library looks for a relative name under its own certificates folder first.
        std::error_code code;
        if (std::filesystem::path(out.keyFileName).is_relative() &&
            std::filesystem::exists(out.keyFileName, code)) {
            const std::filesystem::path absolute = std::filesystem::absolute(out.keyFileName, code);
            if (!code) out.keyFileName = absolute.string();
        }
        out.email = args.Value("email");
        out.secret = args.Has("password") ? args.Value("password") : std::string(envP12Password);
        out.source = "PKCS#12 file " + out.keyFileName;
        return Outcome(Status::kOk, "");
    }
    if (args.Has("key-file")) return FromJsonKeyFile(args.Value("key-file"), "", out);
    if (envKeyFile && *envKeyFile) return FromJsonKeyFile(envKeyFile, " (GCSDK_KEY_FILE)", out);
    return Outcome(Status::kUsage,
                   "no credentials: give --key-file FILE, or --p12 FILE --email EMAIL --password PASS, "
                   "or set GCSDK_KEY_FILE");
}

}  // namespace gcsdk
