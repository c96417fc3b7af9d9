// The facade as a command uses it: made on first use, its GUID cache opened and signed in with the
// credentials of the command line; failures printed as "gcsdk: <what>: <error> (<code>)".
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "cli/Command.h"

namespace gcsdk {

class Session {
public:
    explicit Session(const Invocation& invocation) : m_invocation(invocation) {}

    // The signed-in facade; null once the reason has been printed, with the exit status in status.
    GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper* Connect(int& status);

    // Prints "gcsdk: <what>: <GetLastError()> (<GetLastErrorCode()>)" and returns kExitFailure. When the
    // library gives no reason and there is a plainer way to say it ("no VM named x found"), says that.
    int Fail(const std::string& what, const std::string& withoutReason = "") const;

    // Whether a list call listed. The library counts a 404 as an empty list (a zone or project without
    // VMs); an empty list that comes with an error is the user's mistyped project or zone.
    bool Listed(bool succeeded, bool empty) const;

    // Runs a library call that follows Compute Engine operations, with a progress line for it on out
    // (redrawn on a terminal, plain lines otherwise, none with --json). retries, when given, receives
    // the error codes after which the library sent the request again.
    bool Follow(const std::string& label, const std::function<bool()>& call,
                std::vector<std::string>* retries = nullptr) const;

private:
    const Invocation& m_invocation;
    std::unique_ptr<GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper> m_wrapper;
};

}  // namespace gcsdk
