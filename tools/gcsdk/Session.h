// The facade as a command uses it: made on first use, its GUID cache opened and signed in with the
// credentials of the command line; failures printed as "gcsdk: <what>: <error> (<code>)". The library's
// log is read all the while (ExchangeLog): it tells what the facade's results do not (the places a
// listing skipped, a change accepted whose following failed, the error line of a call that set no error).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "GoogleCloudSDKWrapper/GoogleCloudSDKWrapper.h"
#include "cli/Command.h"
#include "cli/ExchangeLog.h"
#include "cli/Progress.h"

namespace gcsdk {

class Session {
public:
    explicit Session(const Invocation& invocation) : m_invocation(invocation) {}

    // The signed-in facade; null once the reason has been printed, with the exit status in status.
    GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper* Connect(int& status);

    // Notes the library's error state and log before a call. The library never clears its error state,
    // so only a change since the mark is the call's own error. Connect and Follow mark for their callers.
    void Mark() const;

    // Prints one line and returns kExitFailure. The line, by what the call since the mark left:
    //   a change accepted whose operation could not be followed to its end:
    //     "gcsdk: <what>: <change> was requested; following its operation failed: <reason>; it may still
    //     complete" (or "<change> was made; reading it back failed: <reason>");
    //   a lookup that failed where places could not be searched: the plainer way and those places;
    //   a new error state: "gcsdk: <what>: <GetLastError()> (<GetLastErrorCode()>)";
    //   none: the plainer way ("no VM named x found") if there is one, else the library's last error line,
    //   else that no reason was given.
    int Fail(const std::string& what, const std::string& withoutReason = "") const;
    // The text Fail prints, without the program's name.
    std::string FailureLine(const std::string& what, const std::string& withoutReason = "") const;
    // "gcsdk: <what>: <change> was requested; following its operation failed: <reason>; it may still
    // complete", for a change the command follows itself; kExitFailure.
    int FailFollowing(const std::string& what, const std::string& change, const std::string& reason) const;
    // Why the call since the mark failed: its error and code, else the library's last error line, else
    // "the library gave no reason".
    std::string Reason() const;
    // Whether the call since the mark failed because what it names is not there (a 404 of its own).
    bool NotFound() const;

    // Whether a list call (made after Mark) listed. The library answers an empty list, a 404 (a zone or
    // project without VMs) or a page without items, with or without success but with no new error; an
    // empty list that comes with a new error is the user's mistyped project or zone.
    bool Listed(bool succeeded, bool empty) const;
    // The zones, regions and projects an aggregate list call (made after Mark) skipped because their list
    // failed: the library skips them and succeeds.
    std::vector<FailedPlace> FailedPlaces() const;
    // Whether a request to a URL that starts with the prefix was answered since the mark.
    bool Answered(const std::string& urlPrefix) const;

    // Runs a library call that follows Compute Engine operations, with a progress line for it on out
    // (redrawn on a terminal, plain lines otherwise, none with --json). change names what is asked for
    // ("the snapshot"), for Fail. retries, when given, receives the error codes after which the library
    // sent the request again.
    bool Follow(const std::string& label, const std::string& change, const std::function<bool()>& call,
                std::vector<std::string>* retries = nullptr) const;

    const Invocation& invocation() const { return m_invocation; }
    // Progress lines as Follow draws them: redrawn on a terminal, plain lines otherwise, none with --json.
    Progress::Mode ProgressMode() const;

private:
    const Invocation& m_invocation;
    // Whether GetLastError/GetLastErrorCode differ from the mark.
    bool ErrorChanged() const;

    ExchangeLog m_log;  // before the facade, so that it hears the facade's last lines
    std::unique_ptr<GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper> m_wrapper;
    mutable std::string m_markError, m_markCode;
    mutable size_t m_markEvent = 0;
    mutable std::string m_change;  // of the last Follow since the mark
};

}  // namespace gcsdk
