#include "GoogleCloudParser/CGoogleCloudParser.h"

namespace GoogleCloudSDKWrapper {

CGoogleCloudParser::CGoogleCloudParser() = default;

CGoogleCloudParser::~CGoogleCloudParser() = default;

}  // namespace GoogleCloudSDKWrapper
