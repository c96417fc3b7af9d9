// Dataflow v1b3 on dataflow.googleapis.com as the library uses it: templates:launch of Google's Cloud
// Spanner export and import templates (DataflowModel.h), and jobs.get in a region or globally (the global
// one knows us-central1's jobs only, unless given a location, as on Google). A job moves as it is read
// (DataflowJobs.h); when it is done, its export or import happens (SpannerExports.h).
// https://cloud.google.com/dataflow/docs/reference/rest
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "emulator/ApiFamily.h"
#include "emulator/DataflowModel.h"
#include "emulator/SpannerExports.h"
#include "host/HbDebug.h"
#include "host/HostClock.h"
#include "host/ZkJson.h"

namespace gcemu {
namespace {

using json_spirit::mObject;

void SetState(mObject& job, const std::string& state) {
    job["currentState"] = state;
    job["currentStateTime"] = FormatMicrosTime(host::Now(), ZkJson::GetStringValue(job, "id") + "/" + state);
}

std::vector<std::string> TableList(const std::string& text) {
    std::vector<std::string> tables;
    size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        const size_t comma = text.find(',', start);
        const std::string table =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!table.empty()) tables.push_back(table);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return tables;
}

// The job's work, when it is done: false with the reason it fails for.
bool RunTemplate(World::Txn& world, const TemplateLaunch& launch, const std::string& projectId,
                 const std::string& jobId, std::string& problem) {
    const auto parameter = [&launch](const char* name) {
        const auto found = launch.parameters.find(name);
        return found == launch.parameters.end() ? std::string() : found->second;
    };
    const std::string project =
        parameter("spannerProjectId").empty() ? projectId : parameter("spannerProjectId");
    const std::string instance = parameter("instanceId");
    const std::string database =
        "projects/" + project + "/instances/" + instance + "/databases/" + parameter("databaseId");
    if (launch.kind == SpannerTemplate::kExport)
        return WriteSpannerExport(world, database, TableList(parameter("tableNames")), parameter("outputDir"),
                                  instance + "-" + parameter("databaseId") + "-" + jobId, problem);
    return ImportSpannerExport(world, parameter("inputDir"), database, problem);
}

class DataflowApi : public ApiFamily {
public:
    const char* Name() const override { return "dataflow"; }

    void Register(Router& router, EmulatorContext& context) override {
        m_context = &context;
        const auto route = [this, &router](const char* method, const std::string& tail,
                                           Response (DataflowApi::*handler)(const Request&)) {
            router.Add(hosts::kDataflow, method, "/v1b3/projects/{project}/" + tail,
                       [this, handler](const Request& request, Response& response) {
                           response = (this->*handler)(request);
                       });
        };
        route("POST", "locations/{location}/templates:launch", &DataflowApi::Launch);
        route("POST", "templates:launch", &DataflowApi::Launch);
        route("GET", "locations/{location}/jobs/{job}", &DataflowApi::GetJob);
        route("GET", "jobs/{job}", &DataflowApi::GetJob);
    }

private:
    // The path's location, or for the global methods the "location" query (us-central1 when absent).
    static std::string Location(const Request& request) {
        if (!request.Param("location").empty()) return request.Param("location");
        return request.HasQuery("location") ? request.Query("location") : kDefaultDataflowRegion;
    }

    Response Launch(const Request& request) {
        const std::string projectId = request.Param("project");
        const std::string location = Location(request);
        TemplateLaunch launch;
        GoogleError error;
        const bool readable = ReadTemplateLaunch(request.Query("gcsPath"), request.body, launch, error);
        World::Txn world = m_context->world.Lock();
        if (!world.FindProject(projectId)) return DataflowPermissionDenied("create", projectId).ToResponse();
        if (!IsRegion(location))
            return DataflowError(400,
                                 "Invalid location: '" + location + "' is not a region, such as us-central1.")
                .ToResponse();
        if (!readable) return error.ToResponse();
        const std::string region = "projects/" + projectId + "/locations/" + location + "/jobs/";
        for (const auto& [key, job] : world.List(collections::kDataflowJobs, region)) {
            if (ZkJson::GetStringValue(*job, "name") == launch.jobName &&
                IsActiveJobState(ZkJson::GetStringValue(*job, "currentState")))
                return DataflowError(409, "There is already an active job named " + launch.jobName +
                                              " with id: " + ZkJson::GetStringValue(*job, "id") +
                                              ". If you want to submit a second job, try again by setting a "
                                              "different name.")
                    .ToResponse();
        }
        const std::string id = DataflowJobId(host::Now(), world.NewId());
        const std::string key = region + id;
        world.Put(collections::kDataflowJobs, key, JobResource(launch, projectId, location, id, host::Now()));

        DataflowJobs::Hooks hooks;
        hooks.running = [key](World::Txn& txn) {
            if (mObject* job = txn.Find(collections::kDataflowJobs, key)) SetState(*job, "JOB_STATE_RUNNING");
        };
        hooks.end = [key, id, projectId, launch](World::Txn& txn, const JobEnd* injected) {
            std::string problem;
            std::string state = "JOB_STATE_DONE";
            if (injected) {
                state = injected->state;
            } else if (!RunTemplate(txn, launch, projectId, id, problem)) {
                state = "JOB_STATE_FAILED";
                HbDebug().DebugLvl(__PRETTY_FUNCTION__, 1, "gcemu: Dataflow job %s failed: %s", id.c_str(),
                                   problem.c_str());
            }
            if (mObject* job = txn.Find(collections::kDataflowJobs, key)) SetState(*job, state);
        };
        m_context->dataflowJobs.Start(world, key, launch.jobName, std::move(hooks));
        return Response::Json(mObject{{"job", *world.Find(collections::kDataflowJobs, key)}});
    }

    Response GetJob(const Request& request) {
        const std::string projectId = request.Param("project");
        const std::string key =
            "projects/" + projectId + "/locations/" + Location(request) + "/jobs/" + request.Param("job");
        World::Txn world = m_context->world.Lock();
        if (!world.FindProject(projectId)) return DataflowPermissionDenied("get", projectId).ToResponse();
        // Looking is what moves the job on.
        m_context->dataflowJobs.Poll(world, key);
        const mObject* job = world.Find(collections::kDataflowJobs, key);
        return job ? Response::Json(*job) : DataflowJobNotFound(request.Param("job")).ToResponse();
    }

    EmulatorContext* m_context = nullptr;
};

}  // namespace

std::unique_ptr<ApiFamily> MakeDataflowApi() {
    return std::make_unique<DataflowApi>();
}

}  // namespace gcemu
