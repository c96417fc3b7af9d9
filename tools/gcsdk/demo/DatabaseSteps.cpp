#include "demo/DatabaseSteps.h"

#include <algorithm>
#include <map>

#include "cli/DatabaseNames.h"
#include "cli/FollowedWork.h"
#include "cli/Output.h"
#include "demo/BackupRestoreDemo.h"  // kProject

namespace gcsdk {
namespace demo {

using namespace GoogleCloudSDKWrapper;

namespace {

std::string Count(size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

const char kManifest[] = "spanner-export.json";

}  // namespace

void DatabaseSteps::Run(StepRunner& steps) {
    steps.Run("discover the Cloud SQL instances of every project",
              [&](StepReport& r) { return DiscoverSql(r); });
    steps.Run(std::string("export Spanner database ") + kSpannerDatabase + " of " + kSpannerInstance,
              [&](StepReport& r) { return Export(r); });
    steps.Run(std::string("import the export into ") + kRestoredDatabase,
              [&](StepReport& r) { return Import(r); });
}

// The library's reason; for a Dataflow job that ended in a failed state, that state (the error code it
// leaves, without a message of its own).
bool DatabaseSteps::Failed(StepReport& report, const std::string& what, const FollowedWork* work) {
    if (work && work->ended && work->state != "JOB_STATE_DONE" && work->state.rfind("JOB_STATE_", 0) == 0)
        report.failure = what + ": the Dataflow job " + work->id + " ended " + work->state;
    else
        report.failure = FailureText(what, m_cloud.GetLastError(), m_cloud.GetLastErrorCode());
    return false;
}

// 12. The refresh reads the instances of every project the account can list into the library's cache.
bool DatabaseSteps::DiscoverSql(StepReport& report) {
    if (!m_cloud.RefreshDBInstanceInfoList(0, 0)) return Failed(report, "discovering Cloud SQL instances");
    std::vector<SDBInstanceInfoLib> instances;
    m_cloud.GetDBInstanceInfoList(instances, 0, 0);
    if (instances.empty()) {
        report.failure = "no Cloud SQL instance in any project";
        return false;
    }
    std::sort(instances.begin(), instances.end(),
              [](const SDBInstanceInfoLib& a, const SDBInstanceInfoLib& b) {
                  return a.project != b.project ? a.project < b.project : a.name < b.name;
              });
    std::map<std::string, std::vector<std::string>> byProject;
    for (const SDBInstanceInfoLib& instance : instances) {
        byProject[instance.project].push_back(instance.name);
        // Cloud SQL names a replica's primary as project:instance.
        const std::string primary =
            instance.masterInstanceName.substr(instance.masterInstanceName.find(':') + 1);
        report.details.push_back(instance.project + "/" + instance.name + ": " + instance.databaseVersion +
                                 ", " + instance.region + ", " + instance.state +
                                 (primary.empty() ? "" : ", replica of " + primary));
    }
    std::vector<std::string> projects;
    for (const auto& [project, names] : byProject) projects.push_back(project + ": " + Join(names, ", "));
    report.facts = Count(instances.size(), "instance") + " (" + Join(projects, "; ") + ")";
    return true;
}

// 13. The Dataflow template writes the database into a new folder under the output folder, named after
// the instance, the database and the job: found in the bucket's listing by its manifest.
bool DatabaseSteps::Export(StepReport& report) {
    if (!m_cloud.CreateBucket(kProject, kExportBucket))
        return Failed(report, std::string("making bucket ") + kExportBucket);
    const std::string output = GcsFolder(kExportBucket, kExportFolder);
    WorkLog log;
    const bool exported = m_cloud.ExportSpannerDatabase(kProject, kDataflowRegion, kSpannerInstance,
                                                        kSpannerDatabase, output, true);
    const FollowedWork job = log.Work();
    if (!exported)
        return Failed(report, std::string("exporting ") + kSpannerDatabase + " to " + output, &job);

    SStorageObjectsInfoLib objects;
    if (!m_cloud.GetStorageObjects(kExportBucket, "", std::string(kExportFolder) + "/", objects))
        return Failed(report, "listing " + output);
    const std::string manifest = "-" + job.id + "/" + kManifest;
    for (const SStorageObjectItemInfoLib& item : objects.items)
        if (item.name.size() > manifest.size() &&
            item.name.compare(item.name.size() - manifest.size(), manifest.size(), manifest) == 0)
            m_exportFolder = item.name.substr(0, item.name.size() - std::string(kManifest).size() - 1);
    if (m_exportFolder.empty()) {
        report.failure = "the export job " + job.id + " wrote no " + kManifest + " under " + output;
        return false;
    }
    size_t written = 0;
    for (const SStorageObjectItemInfoLib& item : objects.items) {
        if (item.name.rfind(m_exportFolder + "/", 0) != 0) continue;
        ++written;
        report.details.push_back(item.name.substr(m_exportFolder.size() + 1));
    }
    report.facts = "bucket " + std::string(kExportBucket) + " made; Dataflow job " + job.id + " " +
                   job.state + "; " + Count(written, "object") + " written under " +
                   GcsFolder(kExportBucket, m_exportFolder) + " (below)";
    return true;
}

// 14. Google's import template needs an existing, empty database: Spanner makes one through an operation.
bool DatabaseSteps::Import(StepReport& report) {
    if (!m_cloud.CreateSpannerDatabase(kProject, kSpannerInstance, kRestoredDatabase, true))
        return Failed(report, std::string("creating database ") + kRestoredDatabase);
    const std::string input = GcsFolder(kExportBucket, m_exportFolder);
    WorkLog log;
    const bool imported = m_cloud.ImportSpannerDatabase(kProject, kDataflowRegion, kSpannerInstance,
                                                        kRestoredDatabase, input, true);
    const FollowedWork job = log.Work();
    if (!imported) return Failed(report, "importing " + input + " into " + kRestoredDatabase, &job);

    std::vector<SSpannerDatabaseInfoLib> databases;
    if (!m_cloud.GetSpannerDatabasesList(kProject, kSpannerInstance, databases))
        return Failed(report, std::string("listing the databases of ") + kSpannerInstance);
    std::vector<std::string> names;
    std::string state;
    for (const SSpannerDatabaseInfoLib& database : databases) {
        names.push_back(database.name);
        if (database.name == kRestoredDatabase) state = database.state;
    }
    std::sort(names.begin(), names.end());
    if (state != "READY") {
        report.failure = std::string("database ") + kRestoredDatabase + " is " +
                         (state.empty() ? "not listed" : state) + " after the import";
        return false;
    }
    report.facts = std::string("database ") + kRestoredDatabase + " created; Dataflow job " + job.id + " " +
                   job.state + "; " + kSpannerInstance + " now holds " + Join(names, ", ");
    return true;
}

}  // namespace demo
}  // namespace gcsdk
