// spanner create-database, export and import: a Spanner database made empty, and copied to and from a
// Cloud Storage folder by the Dataflow jobs the library launches and follows.
#include <ostream>

#include "Session.h"
#include "cli/DatabaseNames.h"
#include "cli/FollowedWork.h"
#include "cli/Output.h"
#include "commands/Commands.h"
#include "commands/Common.h"

namespace gcsdk {

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper;
using GoogleCloudSDKWrapper::SStorageObjectsInfoLib;

std::string DatabaseText(const std::string& project, const std::string& instance,
                         const std::string& database) {
    return "database " + database + " of Spanner instance " + instance + " (project " + project + ")";
}

// Why a followed call failed, from what the log told of its work. A job that ended in a failed state
// leaves that state as the error code, but not a message of its own: the state is the reason. Work
// whose following was lost may still complete.
int FailWork(const Session& session, const std::string& what, const std::string& change,
             const FollowedWork& work) {
    if (work.ended && work.state.rfind("JOB_STATE_", 0) == 0 && work.state != "JOB_STATE_DONE")
        return Complain(session.invocation(),
                        what + ": the Dataflow job " + work.id + " (" + work.name + ") ended " + work.state);
    if (work.started && work.lostTrack)
        return session.FailFollowing(what, change + (work.id.empty() ? "" : " " + work.id),
                                     work.lostReason.empty() ? session.Reason() : work.lostReason);
    return session.Fail(what);
}

int RunCreateDatabase(const Invocation& invocation) {
    if (int status = RequireOptions(invocation, {"project", "instance", "database"})) return status;
    if (int status = RequireDatabaseNames(invocation)) return status;
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const ParsedArguments& args = invocation.args;
    const std::string project = args.Value("project"), instance = args.Value("instance"),
                      database = args.Value("database");
    const bool wait = !args.Has("no-wait");
    const std::string what = "creating " + DatabaseText(project, instance, database);
    WorkLog log;
    if (!session.Follow("create database " + database, "the database",
                        [&] { return cloud->CreateSpannerDatabase(project, instance, database, wait); }))
        return FailWork(session, what, "the database", log.Work());
    Say(invocation, (wait ? "created " : "requested ") + DatabaseText(project, instance, database));
    if (invocation.Json())
        PrintJson(invocation, json_spirit::mObject{{"name", database},
                                                   {"instanceId", instance},
                                                   {"projectId", project},
                                                   {"operation", log.Work().id},
                                                   {"done", wait}});
    return kExitOk;
}

// The folder in the bucket an export wrote, "<instance>-<database>-<job id>" under the output folder as
// Dataflow's template names it; empty (with the reason) when the listing does not show it.
std::string ExportFolder(const Session& session, CGoogleCloudSDKWrapper& cloud, const std::string& bucket,
                         const std::string& folder, const std::string& jobId, std::string& reason) {
    SStorageObjectsInfoLib objects;
    session.Mark();
    if (!cloud.GetStorageObjects(bucket, "/", folder + "/", objects)) {
        reason = session.Reason();
        return "";
    }
    const std::string end = "-" + jobId + "/";
    for (const std::string& prefix : objects.prefixes)
        if (prefix.size() > end.size() && prefix.compare(prefix.size() - end.size(), end.size(), end) == 0)
            return prefix.substr(0, prefix.size() - 1);
    reason = "no folder of job " + jobId + " under " + GcsFolder(bucket, folder);
    return "";
}

int RunCopy(const Invocation& invocation, bool exporting) {
    if (int status =
            RequireOptions(invocation, {"project", "location", "instance", "database", "bucket", "folder"}))
        return status;
    if (int status = RequireDatabaseNames(invocation)) return status;
    const ParsedArguments& args = invocation.args;
    std::string folder, error;
    if (!ReadFolder(args.Value("folder"), folder, error))
        return invocation.UsageError("--folder '" + TerminalSafe(args.Value("folder")) + "' " + error);
    Session session(invocation);
    int status = kExitOk;
    CGoogleCloudSDKWrapper* cloud = session.Connect(status);
    if (!cloud) return status;

    const std::string project = args.Value("project"), location = args.Value("location"),
                      instance = args.Value("instance"), database = args.Value("database"),
                      bucket = args.Value("bucket");
    const std::string gcs = GcsFolder(bucket, folder);
    const bool wait = !args.Has("no-wait");
    const std::string what = exporting
                                 ? "exporting " + DatabaseText(project, instance, database) + " to " + gcs
                                 : "importing " + gcs + " into " + DatabaseText(project, instance, database);
    const std::string change = exporting ? "the export job" : "the import job";
    WorkLog log;
    if (!session.Follow((exporting ? "export " : "import ") + database, change, [&] {
            return exporting ? cloud->ExportSpannerDatabase(project, location, instance, database, gcs, wait)
                             : cloud->ImportSpannerDatabase(project, location, instance, database, gcs, wait);
        }))
        return FailWork(session, what, change, log.Work());
    const FollowedWork work = log.Work();

    std::string written, reason;
    if (exporting && wait) {
        written = ExportFolder(session, *cloud, bucket, folder, work.id, reason);
        if (written.empty())
            invocation.err << invocation.registry.Program()
                           << ": the export is done, but its folder is not known: " << TerminalSafe(reason)
                           << '\n';
    }
    json_spirit::mObject object{{"job", work.id},       {"name", work.name},    {"location", work.location},
                                {"state", work.state},  {"projectId", project}, {"instanceId", instance},
                                {"database", database}, {"waited", wait}};
    std::vector<std::pair<std::string, std::string>> rows = {
        {"JOB", work.id}, {"NAME", work.name}, {"STATE", work.state}, {"DATABASE", database}};
    if (exporting) {
        object["outputDir"] = gcs;
        // The export's folder as 'spanner import --folder' takes it, and as a gs:// path.
        object["folder"] = written;
        object["exportFolder"] = written.empty() ? "" : GcsFolder(bucket, written);
        rows.emplace_back("OUTPUT FOLDER", gcs);
        if (wait) rows.emplace_back("EXPORT FOLDER", written.empty() ? "" : GcsFolder(bucket, written));
    } else {
        object["inputDir"] = gcs;
        rows.emplace_back("INPUT FOLDER", gcs);
    }
    PrintRecord(invocation, rows, object);
    return kExitOk;
}

Command CopyCommand(bool exporting) {
    Command copy;
    copy.name = exporting ? "spanner export" : "spanner import";
    copy.summary = exporting ? "Export a Spanner database to a Cloud Storage folder (a Dataflow job)"
                             : "Import an export into an existing, empty Spanner database (a Dataflow job)";
    copy.usage = "--project P --location L --instance I --database D --bucket B --folder F [--no-wait]";
    copy.description =
        exporting
            ? "The job writes the database as Avro files into a new folder <instance>-<database>-<job id>\n"
              "under gs://B/F/, which is shown when the job is done: the folder 'spanner import' takes.\n"
              "Waits for the job to end unless --no-wait; a job that ends failed or cancelled is exit 1."
            : "--folder is the folder an export wrote (the one holding spanner-export.json). Google's "
              "template\n"
              "needs the database to exist and to hold no tables ('spanner create-database' makes one).\n"
              "Waits for the job to end unless --no-wait; a job that ends failed or cancelled is exit 1.";
    copy.options = {kProjectIdOption,
                    {"location", "L", "the region the Dataflow job runs in (us-central1)"},
                    kSpannerInstanceOption,
                    {"database", "D", exporting ? "the database to export" : "the database to import into"},
                    {"bucket", "B", "the Cloud Storage bucket"},
                    {"folder", "F", exporting ? "the folder to export under" : "the export's folder"},
                    {"no-wait", "", "start the job and do not follow it"}};
    copy.run = [exporting](const Invocation& invocation) { return RunCopy(invocation, exporting); };
    return copy;
}

}  // namespace

void AddSpannerCopyCommands(Registry& registry) {
    Command create;
    create.name = "spanner create-database";
    create.summary = "Create an empty Spanner database (for an import)";
    create.usage = "--project P --instance I --database D [--no-wait]";
    create.description = "Waits for Spanner's operation to be done unless --no-wait.";
    create.options = {kProjectIdOption,
                      kSpannerInstanceOption,
                      {"database", "D", "the new database's id"},
                      {"no-wait", "", "do not wait for the operation"}};
    create.run = RunCreateDatabase;
    registry.Add(std::move(create));

    registry.Add(CopyCommand(true));
    registry.Add(CopyCommand(false));
}

}  // namespace gcsdk
