// The demo's database steps, after the VM's backup and restore: what a backup agent does with the
// databases of the projects it sees.
//
//  12. discover the Cloud SQL instances of every project
//  13. export the Spanner database orders of gcemu-spanner to a bucket the demo makes (a Dataflow job),
//      and list the objects the export wrote
//  14. create a new database and import the export into it (a Spanner operation, a Dataflow job)
#pragma once

#include <string>

#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "demo/StepRunner.h"

namespace gcsdk {
struct FollowedWork;

namespace demo {

inline constexpr char kSpannerInstance[] = "gcemu-spanner";  // in kProject
inline constexpr char kSpannerDatabase[] = "orders";
inline constexpr char kRestoredDatabase[] = "orders_restored";
inline constexpr char kExportBucket[] = "gcsdk-demo-exports";
inline constexpr char kExportFolder[] = "exports";
inline constexpr char kDataflowRegion[] = "us-central1";

class DatabaseSteps {
public:
    explicit DatabaseSteps(GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper& cloud) : m_cloud(cloud) {}

    void Run(StepRunner& steps);

private:
    bool Failed(StepReport& report, const std::string& what, const FollowedWork* work = nullptr);
    bool DiscoverSql(StepReport& report);
    bool Export(StepReport& report);
    bool Import(StepReport& report);

    GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper& m_cloud;
    std::string m_exportFolder;  // in kExportBucket, where the export wrote: "exports/<...>-<job id>"
};

}  // namespace demo
}  // namespace gcsdk
