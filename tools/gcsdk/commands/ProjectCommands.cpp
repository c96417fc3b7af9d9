// projects: the projects the service account can see.
#include <algorithm>

#include "Session.h"
#include "cli/Output.h"
#include "commands/Commands.h"

namespace gcsdk {

namespace {

using GoogleCloudSDKWrapper::SProjectInfoLib;

int RunProjects(const Invocation& invocation) {
    Session session(invocation);
    int status = kExitOk;
    auto* cloud = session.Connect(status);
    if (!cloud) return status;

    std::vector<SProjectInfoLib> projects;
    const bool listed = cloud->ListProjects(projects);
    if (!session.Listed(listed, projects.empty())) return session.Fail("listing projects");
    std::sort(projects.begin(), projects.end(),
              [](const SProjectInfoLib& a, const SProjectInfoLib& b) { return a.projectId < b.projectId; });
    return PrintList<SProjectInfoLib>(
        invocation, projects, "projects", {"PROJECT ID", "NAME", "ORGANIZATION"},
        [](const SProjectInfoLib& p) -> std::vector<std::string> {
            return {p.projectId, p.name, p.organizationId};
        },
        [](const SProjectInfoLib& p) {
            json_spirit::mObject object;
            object["projectId"] = p.projectId;
            object["name"] = p.name;
            object["organizationId"] = p.organizationId;
            return object;
        });
}

}  // namespace

void AddProjectCommands(Registry& registry) {
    Command projects;
    projects.name = "projects";
    projects.summary = "List the projects the service account can see";
    projects.run = RunProjects;
    registry.Add(std::move(projects));
}

}  // namespace gcsdk
