#include "GoogleCloudQueries/CGoogleCloudQueries.h"

namespace GoogleCloudSDKWrapper {

CGoogleCloudQueries::CGoogleCloudQueries(ZkGoogleCloudErrorState* state, CGoogleCloudConnection* connection,
                                         CGoogleCloudParser* parser)
    : CGoogleCloudErrorHandler(state), connection(connection), parser(parser), logger(nullptr) {}

CGoogleCloudQueries::~CGoogleCloudQueries() {
    connection = nullptr;
    parser = nullptr;
}

}  // namespace GoogleCloudSDKWrapper
