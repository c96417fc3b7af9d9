// CGoogleCloudSDKWrapper: the one object through which a backup agent reads and changes Google Cloud
// resources. Every method returns its success; after a failure, GetLastError and GetLastErrorCode
// tell why. One object is used by one thread at a time.
#pragma once

#include <memory>
#include <string>

#include "Export.h"
#include "Types.h"
#include "ZkGoogleCloudErrorState.h"
#include "host/HbDebug.h"

class ZKVMGuidCache;

namespace GoogleCloudSDKWrapper {

class CGoogleCloudConnection;
class CGoogleCloudQueries;
class CGoogleCloudParser;
class CGoogleCloudOperations;

class GCSDK_API CGoogleCloudSDKWrapper : public HbDebug {
public:
    // Builds every component; sends nothing over the network.
    CGoogleCloudSDKWrapper();
    ~CGoogleCloudSDKWrapper();
    CGoogleCloudSDKWrapper(const CGoogleCloudSDKWrapper&) = delete;
    CGoogleCloudSDKWrapper& operator=(const CGoogleCloudSDKWrapper&) = delete;

    // Opens the VM GUID cache.
    bool Init();
    // Always true; kept for callers that probe the object.
    bool CheckConnection();
    // Signs in with a service-account key and obtains an access token. For a JSON key file: an empty
    // key file name, the client e-mail and the PEM private key. For a PKCS#12 key file: its name
    // (looked up under <dBASEHOME>/certificates/external/, then as given), the e-mail and its password.
    bool Connect(const std::string& keyFileName, const std::string& clientEmail,
                 const std::string& keyOrPassword);
    // Whether the project's Compute Engine resource can be read with the current credential. A false
    // result carries no error of its own.
    bool isProjectAccessible(const std::string& projectId);

    // The message and code of the last failure; reading them does not clear them.
    std::string GetLastError();
    std::string GetLastErrorCode();

private:
    ZkGoogleCloudErrorState errorState;
    std::unique_ptr<CGoogleCloudConnection> connection;
    std::unique_ptr<CGoogleCloudQueries> queries;
    std::unique_ptr<CGoogleCloudParser> parser;
    std::unique_ptr<CGoogleCloudOperations> operations;
    std::unique_ptr<ZKVMGuidCache> guidCache;
};

}  // namespace GoogleCloudSDKWrapper
