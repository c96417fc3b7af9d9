// The projects the service account can see.
#include "GoogleCloudQueries/CGoogleCloudQueries.h"
#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"

namespace GoogleCloudSDKWrapper {

bool CGoogleCloudSDKWrapper::ListProjects(std::vector<SProjectInfoLib>& projects) {
    return queries->ListProjects(projects);
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
