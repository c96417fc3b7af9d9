// Restoring VMs from their saved configuration, now or later.
#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "host/JtString.h"

namespace GoogleCloudSDKWrapper {

std::string CGoogleCloudSDKWrapper::GetImageProjectId(const std::string& osDescription) {
    struct Row {
        std::vector<const char*> words;
        const char* imageProject;
    };
    // In this order: the first row with a word found in the description decides.
    static const Row kRows[] = {
        {{"Microsoft", "Windows"}, "windows-cloud"},
        {{"Red Hat", "rhel"}, "rhel-cloud"},
        {{"sles", "suse"}, "suse-cloud"},
        {{"ubuntu"}, "ubuntu-os-cloud"},
        {{"centos"}, "centos-cloud"},
        {{"fedora-coreos-cloud"}, "fedora-cloud"},
        {{"Linux"}, "centos-cloud"},
    };
    for (const Row& row : kRows)
        for (const char* word : row.words)
            if (JtString::FindString(osDescription, word, 1)) return row.imageProject;
    return std::string();
}

}  // namespace GoogleCloudSDKWrapper
