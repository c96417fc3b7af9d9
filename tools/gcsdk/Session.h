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

    // Notes the library's error state before a call. The library never clears it, so only a change
    // since the mark is the call's own error. Connect and Follow mark for their callers.
    void Mark() const;

    // Prints "gcsdk: <what>: <GetLastError()> (<GetLastErrorCode()>)" and returns kExitFailure. When the
    // error state has not changed since the mark, the library gave no reason: says the plainer way
    // ("no VM named x found") if there is one, else that no reason was given.
    int Fail(const std::string& what, const std::string& withoutReason = "") const;

    // Whether a list call (made after Mark) listed. The library answers an empty list, a 404 (a zone or
    // project without VMs) or a page without items, with or without success but with no new error; an
    // empty list that comes with a new error is the user's mistyped project or zone.
    bool Listed(bool succeeded, bool empty) const;

    // Runs a library call that follows Compute Engine operations, with a progress line for it on out
    // (redrawn on a terminal, plain lines otherwise, none with --json). retries, when given, receives
    // the error codes after which the library sent the request again.
    bool Follow(const std::string& label, const std::function<bool()>& call,
                std::vector<std::string>* retries = nullptr) const;

private:
    const Invocation& m_invocation;
    // Whether GetLastError/GetLastErrorCode differ from the mark.
    bool ErrorChanged() const;

    std::unique_ptr<GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper> m_wrapper;
    mutable std::string m_markError, m_markCode;
};

}  // namespace gcsdk
