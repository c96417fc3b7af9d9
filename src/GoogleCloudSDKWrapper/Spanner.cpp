// Cloud Spanner: configurations, instances over one or every project, databases, and databases copied
// to and from Cloud Storage.
#include "GoogleCloudOperations/CGoogleCloudOperations.h"
#include "GoogleCloudQueries/CGoogleCloudQueries.h"
#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"

namespace GoogleCloudSDKWrapper {

bool CGoogleCloudSDKWrapper::GetSpannerInstanceConfig(const std::string& projectId,
                                                      const std::string& configName,
                                                      SSpannerInstanceConfigInfoLib& config) {
    return queries->GetSpannerInstanceConfig(projectId, configName, config);
}

bool CGoogleCloudSDKWrapper::GetSpannerInstancesList(const std::string& projectId,
                                                     std::vector<SSpannerInstanceInfoLib>& instances) {
    std::vector<SProjectInfoLib> projects;
    if (!ProjectsFor(projectId, projects)) return false;
    for (const SProjectInfoLib& project : projects)
        if (!queries->GetSpannerInstancesList(project.projectId, instances))
            Debug(__PRETTY_FUNCTION__, "Failed to retrieve instance list for project [%s]",
                  project.projectId.c_str());
    return true;
}

bool CGoogleCloudSDKWrapper::GetSpannerDatabasesList(const std::string& projectId,
                                                     const std::string& instanceId,
                                                     std::vector<SSpannerDatabaseInfoLib>& databases) {
    return queries->GetSpannerDatabasesList(projectId, instanceId, databases);
}

bool CGoogleCloudSDKWrapper::CreateSpannerDatabase(const std::string& projectId,
                                                   const std::string& instanceId,
                                                   const std::string& databaseId, bool wait) {
    return operations->CreateSpannerDatabase(projectId, instanceId, databaseId, wait);
}

bool CGoogleCloudSDKWrapper::ExportSpannerDatabase(const std::string& projectId, const std::string& location,
                                                   const std::string& instanceId,
                                                   const std::string& databaseId,
                                                   const std::string& outputFolder, bool wait) {
    return operations->ExportSpannerDatabase(projectId, location, instanceId, databaseId, outputFolder, wait);
}

bool CGoogleCloudSDKWrapper::ImportSpannerDatabase(const std::string& projectId, const std::string& location,
                                                   const std::string& instanceId,
                                                   const std::string& databaseId,
                                                   const std::string& inputFolder, bool wait) {
    return operations->ImportSpannerDatabase(projectId, location, instanceId, databaseId, inputFolder, wait);
}

}  // namespace GoogleCloudSDKWrapper
