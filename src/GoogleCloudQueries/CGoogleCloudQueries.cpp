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
    std::string pageToken;
    std::set<std::string> seenTokens;
    for (;;) {
        if (!connection->get(projectId, PagePath(path, pageToken), response)) return false;
        mObject page;
        if (!ZkJson::Unserialize(response, page)) return true;
        const mArray* items = ZkJson::FindArray(page, "items");
        std::string next = ZkJson::GetStringValue(page, "nextPageToken");
        if ((items && !items->empty()) || next.empty() || !seenTokens.insert(next).second) return true;
        pageToken = next;
    }
}

}  // namespace GoogleCloudSDKWrapper
