// The facade's construction, destruction, initialisation and error reporting.
#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"

#include "GoogleCloudConnection/CGoogleCloudConnection.h"
#include "GoogleCloudOperations/CGoogleCloudOperations.h"
#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "GoogleCloudQueries/CGoogleCloudQueries.h"
#include "host/ZKVMGuidCache.h"

namespace GoogleCloudSDKWrapper {

namespace {
const char* const kGuidCacheName = "_GOOGLECLOUD_GUID_CACHE_";
}

// Built in this order; should one step throw, the members already built are freed on the way out.
CGoogleCloudSDKWrapper::CGoogleCloudSDKWrapper() : HbDebug(nullptr), errorState() {
    connection.reset(new CGoogleCloudConnection(&errorState));
    parser.reset(new CGoogleCloudParser());
    queries.reset(new CGoogleCloudQueries(&errorState, connection.get(), parser.get()));
    operations.reset(new CGoogleCloudOperations(&errorState, connection.get(), parser.get()));
    guidCache.reset(new ZKVMGuidCache(kGuidCacheName));
}

// Freed in this order: the queries and the operations only borrow the connection and the parser and
// never touch them on the way out.
CGoogleCloudSDKWrapper::~CGoogleCloudSDKWrapper() {
    connection.reset();
    parser.reset();
    queries.reset();
    operations.reset();
    guidCache.reset();
}

bool CGoogleCloudSDKWrapper::Init() {
    if (guidCache->Init()) {
        DebugLvl(__PRETTY_FUNCTION__, 2, "Guid Cache Initialized Successfully");
        return true;
    }
    Error(__PRETTY_FUNCTION__, "Failed to initialize Guid Cache");
    return false;
}

bool CGoogleCloudSDKWrapper::CheckConnection() {
    return true;
}

bool CGoogleCloudSDKWrapper::Connect(const std::string& keyFileName, const std::string& clientEmail,
                                     const std::string& keyOrPassword) {
    return connection->Connect(keyFileName, clientEmail, keyOrPassword);
}

// The project's Compute Engine resource, read with an empty path: ".../projects/{project}/".
bool CGoogleCloudSDKWrapper::isProjectAccessible(const std::string& projectId) {
    std::string response;
    return connection->get(projectId, "", response);
}

std::string CGoogleCloudSDKWrapper::GetLastError() {
    return errorState.errorMessage;
}

std::string CGoogleCloudSDKWrapper::GetLastErrorCode() {
    return errorState.errorCode;
}

}  // namespace GoogleCloudSDKWrapper
