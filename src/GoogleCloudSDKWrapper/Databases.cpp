// Cloud SQL database instances of every project the account can list, kept in the queries' cache.
#include <vector>

#include "GoogleCloudQueries/CGoogleCloudQueries.h"
#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "host/LogWriter.h"

namespace GoogleCloudSDKWrapper {

bool CGoogleCloudSDKWrapper::RefreshDBInstanceInfoList(UINT64 mask, int option) {
    std::vector<SProjectInfoLib> projects;
    if (!ListProjects(projects)) return false;

    // The cache is rebuilt, so an instance found again is not listed twice; when no project answers,
    // what the last refresh that got answers found stays.
    queries->BeginDBInstanceRefresh();
    size_t failures = 0;
    for (const SProjectInfoLib& project : projects) {
        if (g_ptrLogWriter && g_ptrLogWriter->GetLogLevel() > 2)
            g_ptrLogWriter->WriteLog(3, __PRETTY_FUNCTION__, __LINE__, 0, 0,
                                     "Calling refresh db instance module for project id [%s]",
                                     project.projectId.c_str());
        if (!queries->RefreshDBInstanceInfoList(project.projectId, mask, option)) {
            ++failures;
            Debug(__PRETTY_FUNCTION__, "Failed to refresh DB instance info in cache for project [%s].",
                  project.projectId.c_str());
        }
    }
    const bool anyAnswered = failures < projects.size();
    queries->EndDBInstanceRefresh(anyAnswered);
    if (anyAnswered) return true;

    if (g_ptrLogWriter)
        g_ptrLogWriter->WriteLog(-1, __PRETTY_FUNCTION__, __LINE__, 0, 0,
                                 "Failed to discover database instances for all the projects");
    queries->SetErrorMessage("Failed to refresh DB instance info in cache");
    queries->SetErrorCode("-1");
    return false;
}

bool CGoogleCloudSDKWrapper::GetDBInstanceInfoList(std::vector<SDBInstanceInfoLib>& instances, UINT64 mask,
                                                   int option) {
    return queries->GetDBInstanceInfoList(instances, mask, option);
}

}  // namespace GoogleCloudSDKWrapper
