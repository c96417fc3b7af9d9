// keys show, keyring create, key create and key rotate: Cloud KMS keys as disks are encrypted with them.
#include <algorithm>
#include <ctime>
#include <ostream>

#include "Session.h"
#include "cli/KeyNames.h"
#include "cli/Output.h"
#include "cli/ResourceNames.h"
#include "commands/Commands.h"
#include "commands/Common.h"
#include "host/ZkJson.h"

namespace gcsdk {

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper;
using GoogleCloudSDKWrapper::SKeyInfoLib;

const std::vector<std::string> kPurposes = {"ENCRYPT_DECRYPT", "ASYMMETRIC_SIGN", "ASYMMETRIC_DECRYPT",
                                            "RAW_ENCRYPT_DECRYPT", "MAC"};
const std::vector<std::string> kProtectionLevels = {"SOFTWARE", "HSM", "EXTERNAL", "EXTERNAL_VPC"};

bool OneOf(const std::vector<std::string>& choices, const std::string& value) {
    return std::find(choices.begin(), choices.end(), value) != choices.end();
}

// The key path given as the one argument.
int ReadKeyPathArgument(const Invocation& invocation, KeyPath& path) {
    const std::vector<std::string>& positional = invocation.args.Positional();
    if (positional.empty())
        return invocation.UsageError(std::string("give the key as KEY_PATH (") + kKeyPathForm + ")");
    if (!ParseKeyPath(positional[0], path))
        return invocation.UsageError("'" + TerminalSafe(positional[0]) + "' is not a key path (" +
                                     kKeyPathForm + ")");
    return kExitOk;
}

// --project, --location and the ids named by the options, checked.
int ReadKeyPlace(const Invocation& invocation, KeyPath& path, const char* ringOption, const char* keyOption) {
    const ParsedArguments& args = invocation.args;
    path.project = args.Value("project");
    path.location = args.Value("location");
    path.keyRing = args.Value(ringOption);
    path.key = keyOption ? args.Value(keyOption) : "";
    if (!IsResourceName(path.project))
        return invocation.UsageError("--project '" + TerminalSafe(path.project) + "' is not a project id");
    if (!IsKmsLocation(path.location))
        return invocation.UsageError("--location '" + TerminalSafe(path.location) +
                                     "' is not a location (us-central1, global, ...)");
    for (const char* option : {ringOption, keyOption}) {
        if (!option || IsKmsId(args.Value(option))) continue;
        return invocation.UsageError("--" + std::string(option) + " '" + TerminalSafe(args.Value(option)) +
                                     "' is not a Cloud KMS id (" + kKmsIdRule + ")");
    }
    return kExitOk;
}

// --rotation-period and --next-rotation into the key record; the time must lie ahead, since the library
// replaces one that does not by a period from now.
int ReadRotation(const Invocation& invocation, SKeyInfoLib& key) {
    const ParsedArguments& args = invocation.args;
    if (args.Has("next-rotation") && !args.Has("rotation-period"))
        return invocation.UsageError("--next-rotation goes with --rotation-period");
    std::string error;
    if (args.Has("rotation-period") &&
        !ReadRotationPeriod(args.Value("rotation-period"), key.rotationPeriod, error))
        return invocation.UsageError("--rotation-period " + error + ", got '" +
                                     TerminalSafe(args.Value("rotation-period")) + "'");
    if (!args.Has("next-rotation")) return kExitOk;
    std::time_t when = 0;
    const std::string time = args.Value("next-rotation");
    if (!ReadUtcTime(time, when))
        return invocation.UsageError(
            "--next-rotation takes an RFC 3339 time in UTC (2027-03-09T12:00:00Z), got '" +
            TerminalSafe(time) + "'");
    if (when <= std::time(nullptr))
        return invocation.UsageError("--next-rotation " + time + " is not in the future");
    key.nextRotationTime = time;
    return kExitOk;
}

// The key as it is now: its record as a table, or with --json the resource as Cloud KMS returns it.
int PrintKey(const Session& session, CGoogleCloudSDKWrapper& cloud, const std::string& path,
             const std::string& what) {
    const Invocation& invocation = session.invocation();
    session.Mark();
    if (invocation.Json()) {
        std::string json;
        if (!cloud.GetKeyInfoAsJson(path, json)) return session.Fail(what);
        json_spirit::mObject object;
        if (!ZkJson::Unserialize(json, object)) return Complain(invocation, what + ": Cloud KMS sent no key");
        // What the server sent, escape sequences included, is not for a terminal.
        if (invocation.outIsTerminal) json = TerminalSafeText(json);
        invocation.out << json << (json.empty() || json.back() != '\n' ? "\n" : "");
        invocation.out.flush();
        return kExitOk;
    }
    SKeyInfoLib key;
    if (!cloud.GetKeyInfoAsKey(path, key)) return session.Fail(what);
    PrintRecord(invocation,
                {{"NAME", key.name},
                 {"PURPOSE", key.purpose},
                 {"PRIMARY STATE", key.state},
                 {"ALGORITHM", key.algorithm},
                 {"PROTECTION LEVEL", key.protectionLevel},
                 {"ROTATION PERIOD", RotationPeriodText(key.rotationPeriod)},
                 {"NEXT ROTATION", key.nextRotationTime}},
                {});
    return kExitOk;
}

int RunShow(const Invocation& invocation) {
    KeyPath path;
    if (int status = ReadKeyPathArgument(invocation, path)) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;
    return PrintKey(session, *cloud, path.Text(), "reading key " + path.Text());
}

int RunKeyRingCreate(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "location", "name"})) return status;
    KeyPath path;
    if (int status = ReadKeyPlace(invocation, path, "name", nullptr)) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string ring = path.KeyRingText();
    bool created = false;
    if (!cloud->CheckKeyRingExists(ring)) {
        if (!session.NotFound()) return session.Fail("reading key ring " + ring);
        session.Mark();
        created = cloud->CreateKeyRing(path.project, path.location, path.keyRing);
        // Made by someone else since it was read: it is there all the same.
        if (!created && cloud->GetLastErrorCode() != "409") return session.Fail("creating key ring " + ring);
    }
    Say(invocation,
        (created ? "created key ring " : "key ring ") + ring + (created ? "" : " exists already"));
    if (invocation.Json()) PrintJson(invocation, json_spirit::mObject{{"name", ring}, {"created", created}});
    return kExitOk;
}

int RunKeyCreate(const Invocation& invocation) {
    const ParsedArguments& args = invocation.args;
    if (int status = RequireOptions(invocation, {"project", "location", "keyring", "name"})) return status;
    KeyPath path;
    if (int status = ReadKeyPlace(invocation, path, "keyring", "name")) return status;
    const bool placeholder = args.Has("placeholder");
    for (const char* option :
         {"purpose", "rotation-period", "next-rotation", "algorithm", "protection-level"})
        if (placeholder && args.Has(option))
            return invocation.UsageError(
                "--placeholder makes a key with nothing but the purpose ENCRYPT_DECRYPT; --" +
                std::string(option) + " does not go with it");
    SKeyInfoLib key;
    key.purpose = args.Value("purpose", "ENCRYPT_DECRYPT");
    if (!OneOf(kPurposes, key.purpose))
        return invocation.UsageError("--purpose takes one of " + Join(kPurposes, ", ") + ", got '" +
                                     TerminalSafe(key.purpose) + "'");
    if (int status = ReadRotation(invocation, key)) return status;
    if (!key.rotationPeriod.empty() && key.purpose != "ENCRYPT_DECRYPT")
        return invocation.UsageError(
            "--rotation-period goes with the purpose ENCRYPT_DECRYPT (Cloud KMS "
            "rotates symmetric keys only)");
    if (args.Has("algorithm") != args.Has("protection-level"))
        return invocation.UsageError(
            "--algorithm and --protection-level go together (the key's version template)");
    key.algorithm = args.Value("algorithm");
    key.protectionLevel = args.Value("protection-level");
    if (args.Has("protection-level") && !OneOf(kProtectionLevels, key.protectionLevel))
        return invocation.UsageError("--protection-level takes one of " + Join(kProtectionLevels, ", ") +
                                     ", got '" + TerminalSafe(key.protectionLevel) + "'");
    if (args.Has("algorithm") &&
        key.algorithm.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") != std::string::npos)
        return invocation.UsageError(
            "--algorithm takes a Cloud KMS algorithm such as GOOGLE_SYMMETRIC_ENCRYPTION, got '" +
            TerminalSafe(key.algorithm) + "'");

    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;
    const bool created = placeholder
                             ? cloud->CreateDummyKey(path.project, path.location, path.keyRing, path.key)
                             : cloud->CreateKey(path.project, path.location, path.keyRing, path.key, key);
    if (!created) return session.Fail("creating key " + path.Text());
    Say(invocation, "created key " + path.Text());
    return PrintKey(session, *cloud, path.Text(), "reading the new key " + path.Text());
}

int RunKeyRotate(const Invocation& invocation) {
    KeyPath path;
    if (int status = ReadKeyPathArgument(invocation, path)) return status;
    if (int status = RequireOptions(invocation, {"rotation-period"})) return status;
    SKeyInfoLib key;
    if (int status = ReadRotation(invocation, key)) return status;

    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;
    // The library reads the rotation fields from the key's JSON and the key from a disk's key text.
    json_spirit::mObject rotation{{"rotationPeriod", key.rotationPeriod}};
    if (!key.nextRotationTime.empty()) rotation["nextRotationTime"] = key.nextRotationTime;
    if (!cloud->UpdateKey("kmsKeyName:" + path.Text(), ZkJson::Serialize(json_spirit::mValue(rotation))))
        return session.Fail("changing the rotation of key " + path.Text());
    return PrintKey(session, *cloud, path.Text(), "reading key " + path.Text() + " after its change");
}

const Option kRotationPeriod{"rotation-period", "PERIOD", "rotate every DAYSd or SECONDSs (90d, 7776000s)"};
const Option kNextRotation{"next-rotation", "TIME",
                           "first rotation, RFC 3339 in UTC (default: one period from now)"};
const Option kLocation{"location", "L", "Cloud KMS location, such as us-central1 or global"};

}  // namespace

void AddKeyCommands(Registry& registry) {
    Command show;
    show.name = "keys show";
    show.summary = "Show a Cloud KMS key";
    show.usage = "KEY_PATH";
    show.description = std::string("KEY_PATH is the key's resource name, ") + kKeyPathForm +
                       ". The table shows its primary version's state, algorithm and protection\n"
                       "level; --json prints the key as Cloud KMS returns it.";
    show.maxPositional = 1;
    show.run = RunShow;
    registry.Add(std::move(show));

    Command ring;
    ring.name = "keyring create";
    ring.summary = "Create a Cloud KMS key ring unless it exists";
    ring.usage = "--project P --location L --name R";
    ring.description = "Says whether it created the key ring or found it ('created' in --json).";
    ring.options = {kProjectIdOption, kLocation, {"name", "R", "the key ring's id"}};
    ring.run = RunKeyRingCreate;
    registry.Add(std::move(ring));

    Command create;
    create.name = "key create";
    create.summary = "Create a Cloud KMS key in a key ring";
    create.usage =
        "--project P --location L --keyring R --name K [--purpose PURPOSE] [--rotation-period PERIOD "
        "[--next-rotation TIME]] [--algorithm A --protection-level LEVEL] | --placeholder";
    create.description =
        "Prints the key as it is after. --placeholder makes a key with nothing but the purpose\n"
        "ENCRYPT_DECRYPT (Cloud KMS's defaults for the rest), and takes no other key option. The library\n"
        "supports disks encrypted with keys whose protection level is SOFTWARE.";
    create.options = {
        kProjectIdOption,
        kLocation,
        {"keyring", "R", "the key ring"},
        {"name", "K", "the key's id"},
        {"purpose", "PURPOSE", "ENCRYPT_DECRYPT (default), ASYMMETRIC_SIGN, ASYMMETRIC_DECRYPT, ..."},
        kRotationPeriod,
        kNextRotation,
        {"algorithm", "A", "algorithm of its versions, such as GOOGLE_SYMMETRIC_ENCRYPTION"},
        {"protection-level", "LEVEL", "SOFTWARE, HSM, EXTERNAL or EXTERNAL_VPC"},
        {"placeholder", "", "a key with the purpose ENCRYPT_DECRYPT alone"}};
    create.run = RunKeyCreate;
    registry.Add(std::move(create));

    Command rotate;
    rotate.name = "key rotate";
    rotate.summary = "Change how often a Cloud KMS key rotates";
    rotate.usage = "KEY_PATH --rotation-period PERIOD [--next-rotation TIME]";
    rotate.description =
        "Changes the rotation period and next rotation time alone, and prints the key as it is after.";
    rotate.options = {kRotationPeriod, kNextRotation};
    rotate.maxPositional = 1;
    rotate.run = RunKeyRotate;
    registry.Add(std::move(rotate));
}

}  // namespace gcsdk
