#include "GoogleCloudQueries/CGoogleCloudQueries.h"

#include "GoogleCloudQueries/QueryPatterns.h"
#include "host/Settings.h"

namespace GoogleCloudSDKWrapper {

CGoogleCloudQueries::CGoogleCloudQueries(ZkGoogleCloudErrorState* state, CGoogleCloudConnection* connection,
                                         CGoogleCloudParser* parser)
    : CGoogleCloudErrorHandler(state),
      connection(connection),
      parser(parser),
      logger(nullptr),
      aggregatedDiscovery(host::settings::Read(host::settings::kAggregatedDiscovery) == 1) {}

CGoogleCloudQueries::~CGoogleCloudQueries() {
    connection = nullptr;
    parser = nullptr;
}

std::string CGoogleCloudQueries::PagePath(const std::string& path, const std::string& pageToken) {
    if (pageToken.empty()) return path;
    return path + (path.find('?') == std::string::npos ? "?" : "&") +
           "pageToken=" + url::QueryValue(pageToken);
}

// Filtered lists may answer with empty pages before the one that holds the match.
bool CGoogleCloudQueries::GetFirstMatchingPage(const std::string& projectId, const std::string& path,
                                               std::string& response) {
    return ReadPages(projectId, path, response, [](const std::string& text, std::string& next) {
        mObject page;
        if (!ZkJson::Unserialize(text, page)) return false;
        const mArray* items = ZkJson::FindArray(page, "items");
        if (items && !items->empty()) return false;
        next = ZkJson::GetStringValue(page, "nextPageToken");
        return true;
    });
}

}  // namespace GoogleCloudSDKWrapper
