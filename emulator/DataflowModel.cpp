#include "emulator/DataflowModel.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <vector>

#include "emulator/World.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mObject;

namespace {

struct KnownTemplate {
    SpannerTemplate kind;
    const char* name;
    const char* label;  // goog-dataflow-provided-template-name
    std::vector<std::string> required;
    std::vector<std::string> optional;
};

const KnownTemplate kTemplates[] = {
    {SpannerTemplate::kExport,
     "Cloud_Spanner_to_GCS_Avro",
     "cloud_spanner_to_gcs_avro",
     {"instanceId", "databaseId", "outputDir"},
     {"avroTempDirectory", "spannerHost", "snapshotTime", "spannerProjectId",
      "shouldExportTimestampAsLogicalType", "tableNames", "shouldExportRelatedTables", "spannerPriority",
      "dataBoostEnabled"}},
    {SpannerTemplate::kImport,
     "GCS_Avro_to_Cloud_Spanner",
     "gcs_avro_to_cloud_spanner",
     {"instanceId", "databaseId", "inputDir"},
     {"spannerHost", "waitForIndexes", "waitForForeignKeys", "waitForChangeStreams", "waitForSequences",
      "earlyIndexCreateFlag", "spannerProjectId", "ddlCreationTimeoutInMinutes", "spannerPriority"}},
};

// The version Google's "latest" folder held when the templates' labels were taken.
constexpr char kLatestVersion[] = "2024-06-18-00_rc00";

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& known : names)
        if (name == known) return true;
    return false;
}

GoogleError InvalidParameters(const std::string& details) {
    return DataflowError(400, "The template parameters are invalid. " + details);
}

bool ReadTemplatePath(const std::string& gcsPath, const KnownTemplate*& known, std::string& version,
                      GoogleError& error) {
    if (gcsPath.empty()) {
        error = DataflowError(400, "The template's gcsPath is required.");
        return false;
    }
    const std::string scheme = "gs://";
    const size_t bucketEnd = gcsPath.find('/', scheme.size());
    if (gcsPath.compare(0, scheme.size(), scheme) != 0 || bucketEnd == std::string::npos) {
        error = DataflowError(
            400, "Invalid gcsPath '" + gcsPath + "': it must be a Cloud Storage path, gs://bucket/object.");
        return false;
    }
    const std::string bucket = gcsPath.substr(scheme.size(), bucketEnd - scheme.size());
    const size_t versionEnd = gcsPath.find('/', bucketEnd + 1);
    const std::string name = versionEnd == std::string::npos ? "" : gcsPath.substr(versionEnd + 1);
    version =
        versionEnd == std::string::npos ? "" : gcsPath.substr(bucketEnd + 1, versionEnd - bucketEnd - 1);
    const bool googles = bucket == "dataflow-templates" ||
                         (bucket.compare(0, 19, "dataflow-templates-") == 0 && IsRegion(bucket.substr(19)));
    for (const KnownTemplate& candidate : kTemplates) {
        if (googles && !version.empty() && name == candidate.name) {
            known = &candidate;
            return true;
        }
    }
    error = DataflowError(400, "Unable to open template file: " + gcsPath + ".");
    return false;
}

bool ReadParameters(const KnownTemplate& known, const mObject& given,
                    std::map<std::string, std::string>& parameters, GoogleError& error) {
    for (const auto& [name, value] : given) {
        if (!Contains(known.required, name) && !Contains(known.optional, name)) {
            error = InvalidParameters("Unrecognized parameter: " + name + ".");
            return false;
        }
        if (value.type() != json_spirit::str_type) {
            error = DataflowError(400, "Invalid value at 'launch_parameters.parameters[" + name +
                                           "]' (TYPE_STRING), " + ZkJson::Serialize(value));
            return false;
        }
        parameters[name] = value.get_str();
    }
    std::string missing;
    for (const std::string& name : known.required)
        if (parameters[name].empty()) missing += (missing.empty() ? "" : ", ") + name;
    if (!missing.empty()) {
        error = InvalidParameters("Missing required parameters: " + missing + ".");
        return false;
    }
    for (const char* folder : {"outputDir", "inputDir"}) {
        const auto found = parameters.find(folder);
        if (found != parameters.end() && (found->second.compare(0, 5, "gs://") != 0 ||
                                          found->second.size() == 5 || found->second[5] == '/')) {
            error = InvalidParameters("Parameter " + std::string(folder) + ": '" + found->second +
                                      "' is not a Cloud Storage path (gs://bucket/folder).");
            return false;
        }
    }
    return true;
}

}  // namespace

bool ReadTemplateLaunch(const std::string& gcsPath, const std::string& body, TemplateLaunch& launch,
                        GoogleError& error) {
    const KnownTemplate* known = nullptr;
    if (!ReadTemplatePath(gcsPath, known, launch.version, error)) return false;
    launch.kind = known->kind;
    launch.name = known->name;
    mObject parsed;
    if (!body.empty() && !ZkJson::Unserialize(body, parsed)) {
        error = DataflowError(400, "Invalid JSON payload received. Unexpected token.");
        return false;
    }
    for (const auto& [name, value] : parsed) {
        if (name != "jobName" && name != "parameters" && name != "environment" &&
            name != "transformNameMapping" && name != "update") {
            error = DataflowError(
                400, "Invalid JSON payload received. Unknown name \"" + name + "\": Cannot find field.");
            return false;
        }
    }
    launch.jobName = ZkJson::GetStringValue(parsed, "jobName");
    if (launch.jobName.empty()) {
        error = DataflowError(400, "The job name is required.");
        return false;
    }
    if (!IsDataflowJobName(launch.jobName)) {
        error = DataflowError(
            400, "Invalid job name: '" + launch.jobName +
                     "'. The job name must consist of only the characters [-a-z0-9], starting with a "
                     "letter and ending with a letter or number.");
        return false;
    }
    const mObject* parameters = ZkJson::FindObject(parsed, "parameters");
    static const mObject kNone;
    return ReadParameters(*known, parameters ? *parameters : kNone, launch.parameters, error);
}

bool IsDataflowJobName(const std::string& name) {
    if (name.empty() || name.front() < 'a' || name.front() > 'z' || name.back() == '-') return false;
    return name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-") == std::string::npos;
}

bool IsRegion(const std::string& location) {
    // Parts of lower-case letters joined by '-', at least two, the last ending in digits.
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t dash = location.find('-');; dash = location.find('-', start)) {
        parts.push_back(location.substr(start, dash == std::string::npos ? std::string::npos : dash - start));
        if (dash == std::string::npos) break;
        start = dash + 1;
    }
    if (parts.size() < 2) return false;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        size_t letters = 0;
        while (letters < part.size() && std::islower(static_cast<unsigned char>(part[letters]))) ++letters;
        if (letters == 0) return false;
        const bool last = i + 1 == parts.size();
        if (!last && letters != part.size()) return false;
        if (last &&
            (letters == part.size() || part.find_first_not_of("0123456789", letters) != std::string::npos))
            return false;
    }
    return true;
}

bool IsActiveJobState(const std::string& state) {
    return state != "JOB_STATE_DONE" && state != "JOB_STATE_FAILED" && state != "JOB_STATE_CANCELLED";
}

GoogleError DataflowError(int code, const std::string& message) {
    return RpcError(code, message);
}

GoogleError DataflowPermissionDenied(const std::string& verb, const std::string& project) {
    return RpcError(403, "Permission 'dataflow.jobs." + verb + "' denied on project: '" + project + "'");
}

GoogleError DataflowJobNotFound(const std::string& jobId) {
    return RpcError(
        404, "Information about job " + jobId +
                 " could not be found in our system. Please double check that the API being used is "
                 "projects.locations.jobs.get "
                 "(https://cloud.google.com/dataflow/docs/reference/rest/v1b3/projects.locations.jobs/get). "
                 "If the API being used is projects.locations.jobs.get, please double check the id is "
                 "correct.");
}

std::string DataflowJobId(int64_t epochSecs, const std::string& number) {
    const time_t pacific = static_cast<time_t>(epochSecs - 7 * 3600);
    struct tm parts {};
    gmtime_r(&pacific, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d_%H_%M_%S", &parts);
    return std::string(text) + "-" + number;
}

mObject JobResource(const TemplateLaunch& launch, const std::string& projectId, const std::string& location,
                    const std::string& id, int64_t createdSecs) {
    const KnownTemplate& known = kTemplates[launch.kind == SpannerTemplate::kExport ? 0 : 1];
    std::string version = launch.version == "latest" ? kLatestVersion : launch.version;
    for (char& c : version) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string created = FormatMicrosTime(createdSecs, id);
    mObject job;
    job["id"] = id;
    job["projectId"] = projectId;
    job["name"] = launch.jobName;
    job["type"] = "JOB_TYPE_BATCH";
    job["currentState"] = "JOB_STATE_QUEUED";
    job["currentStateTime"] = created;
    job["createTime"] = created;
    job["startTime"] = created;
    job["location"] = location;
    job["labels"] = mObject{{"goog-dataflow-provided-template-name", known.label},
                            {"goog-dataflow-provided-template-type", "legacy"},
                            {"goog-dataflow-provided-template-version", version}};
    return job;
}

}  // namespace gcemu
