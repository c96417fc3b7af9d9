// Maps JSON responses into records and records into request bodies.
#pragma once

#include "host/HbDebug.h"

namespace GoogleCloudSDKWrapper {

// Its Convert overloads are virtual so that a derived parser can replace the mapping of any record.
class CGoogleCloudParser {
public:
    CGoogleCloudParser();
    virtual ~CGoogleCloudParser();

protected:
    HbEvent logger;
};

}  // namespace GoogleCloudSDKWrapper
