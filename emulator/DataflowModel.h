// What Dataflow v1b3 serves in gcemu: the job collection, the two Google-provided templates gcemu runs
// (a Cloud Spanner database to Avro files in Cloud Storage and back), Google's rules for job names,
// locations and template parameters, and the Job resource.
// https://cloud.google.com/dataflow/docs/reference/rest
#pragma once

#include <map>
#include <string>

#include "emulator/GoogleErrors.h"
#include "host/json/JsonValue.h"

namespace gcemu {

namespace collections {
// Job resources by "projects/<project>/locations/<region>/jobs/<id>".
inline constexpr char kDataflowJobs[] = "dataflow.jobs";
}  // namespace collections

// Where the global jobs.get looks, as Google's does.
inline constexpr char kDefaultDataflowRegion[] = "us-central1";

enum class SpannerTemplate {
    kExport,  // Cloud_Spanner_to_GCS_Avro: instanceId, databaseId, outputDir
    kImport,  // GCS_Avro_to_Cloud_Spanner: instanceId, databaseId, inputDir
};

struct TemplateLaunch {
    SpannerTemplate kind = SpannerTemplate::kExport;
    std::string name;     // "Cloud_Spanner_to_GCS_Avro"
    std::string version;  // "latest", "2024-06-18-00_RC00"
    std::string jobName;
    std::map<std::string, std::string> parameters;
};

// Reads a launch as Dataflow does: the template's gcsPath (gs://dataflow-templates[-<region>]/<version>/
// <name>), the body {"jobName", "parameters", "environment", ...}, the job name and the template's
// parameters. False with Dataflow's 400 otherwise.
bool ReadTemplateLaunch(const std::string& gcsPath, const std::string& body, TemplateLaunch& launch,
                        GoogleError& error);

// [a-z]([-a-z0-9]*[a-z0-9])?
bool IsDataflowJobName(const std::string& name);
// A region ("us-central1"), not a zone, a multi-region or "global".
bool IsRegion(const std::string& location);
// Whether a job in that state is still active (its name taken in its project and region).
bool IsActiveJobState(const std::string& state);

// Dataflow's errors: code, message and status.
GoogleError DataflowError(int code, const std::string& message);
// 403 for a project the world lacks: "Permission 'dataflow.jobs.<verb>' denied on project: '<project>'".
GoogleError DataflowPermissionDenied(const std::string& verb, const std::string& project);
// 404 for a job the region does not have.
GoogleError DataflowJobNotFound(const std::string& jobId);

// "2024-06-19_09_43_07-<number>": the launch time in Pacific time, and a number.
std::string DataflowJobId(int64_t epochSecs, const std::string& number);
// The Job as the launch answers it: JOB_STATE_QUEUED, JOB_TYPE_BATCH, the template's labels.
json_spirit::mObject JobResource(const TemplateLaunch& launch, const std::string& projectId,
                                 const std::string& location, const std::string& id, int64_t createdSecs);

}  // namespace gcemu
