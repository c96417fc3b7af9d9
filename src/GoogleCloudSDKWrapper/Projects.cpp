// The projects the service account can see.
#include "GoogleCloudQueries/CGoogleCloudQueries.h"
#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"

namespace GoogleCloudSDKWrapper {

bool CGoogleCloudSDKWrapper::ListProjects(std::vector<SProjectInfoLib>& projects) {
    return queries->ListProjects(projects);
}

bool CGoogleCloudSDKWrapper::GetStorageBuckets(const std::string& projectId,
                                               std::vector<SStorageBucketInfoLib>& buckets) {
    return queries->GetStorageBuckets(projectId, buckets);
}

bool CGoogleCloudSDKWrapper::GetStorageObjects(const std::string& bucket, const std::string& delimiter,
                                               const std::string& prefix, SStorageObjectsInfoLib& objects) {
    return queries->GetStorageObjects(bucket, delimiter, prefix, objects);
}

bool CGoogleCloudSDKWrapper::ProjectsFor(const std::string& projectId,
                                         std::vector<SProjectInfoLib>& projects) {
    if (projectId.empty()) return ListProjects(projects);
    SProjectInfoLib project;
    project.projectId = projectId;
    projects.push_back(project);
    return true;
}

}  // namespace GoogleCloudSDKWrapper
