// The request patterns every query shares: reading all pages of a list, list queries that take a
// 404 as an empty answer, object queries. Included by the query files only.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "GoogleCloudConnection/CGoogleCloudConnection.h"
#include "GoogleCloudConnection/UrlComposition.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "GoogleCloudQueries/CGoogleCloudQueries.h"

namespace GoogleCloudSDKWrapper {

namespace paths {

// "zones/{zone}" and the like: a literal word and an inserted value.
inline std::string Join(const std::string& word, const std::string& value) {
    return word + "/" + url::Segment(value);
}

// The text after the last "/" of a URL, or the text itself when it has none.
inline std::string NameOf(const std::string& nameOrUrl) {
    size_t slash = nameOrUrl.rfind('/');
    return slash == std::string::npos ? nameOrUrl : nameOrUrl.substr(slash + 1);
}

}  // namespace paths

template <typename ReadPage>
bool CGoogleCloudQueries::ReadPages(const std::string& projectId, const std::string& path,
                                    std::string& response, ReadPage readPage) {
    std::string pageToken;
    std::set<std::string> seenTokens;
    for (;;) {
        if (!connection->get(projectId, PagePath(path, pageToken), response)) return false;
        std::string next;
        if (!readPage(static_cast<const std::string&>(response), next) || next.empty()) return true;
        // A server that hands out the same token again would keep us here for ever.
        if (!seenTokens.insert(next).second) {
            logger.Error(__PRETTY_FUNCTION__, "The list [%s] repeats its page token; reading stopped.",
                         path.c_str());
            return true;
        }
        pageToken = std::move(next);
    }
}

template <typename T>
CGoogleCloudQueries::ListOutcome CGoogleCloudQueries::FetchAllPages(const std::string& projectId,
                                                                    const std::string& path,
                                                                    const std::string& listKey,
                                                                    std::vector<T>& records,
                                                                    std::string& response) {
    bool listed = false;
    const bool read = ReadPages(projectId, path, response, [&](const std::string& page, std::string& next) {
        listed = parser->ParseList(page, listKey, records, &next) || listed;
        return true;
    });
    if (!read) return ListOutcome::kRequestFailed;
    return listed ? ListOutcome::kListed : ListOutcome::kNoList;
}

template <typename T>
bool CGoogleCloudQueries::ListQuery(const char* tag, const std::string& projectId, const std::string& path,
                                    std::vector<T>& records, const std::string& notFoundMessage) {
    std::string response;
    switch (FetchAllPages(projectId, path, "items", records, response)) {
        case ListOutcome::kListed:
            return true;
        case ListOutcome::kNoList:
            return false;
        case ListOutcome::kRequestFailed:
            break;
    }
    SetLastErrorFromResponse(response);
    if (GetErrorCode() != "404") return false;
    logger.DebugLvl(tag, 2, "%s", notFoundMessage.c_str());
    return true;
}

template <typename T>
bool CGoogleCloudQueries::ObjectQuery(const std::string& projectId, const std::string& path, T& record) {
    std::string response;
    if (!connection->get(projectId, path, response)) {
        SetLastErrorFromResponse(response);
        return false;
    }
    return parser->ParseObject(response, record);
}

}  // namespace GoogleCloudSDKWrapper
