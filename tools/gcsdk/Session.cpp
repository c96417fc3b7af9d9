#include "Session.h"

#include <cstdlib>
#include <ostream>

#include "cli/Credentials.h"
#include "cli/Output.h"

namespace gcsdk {

GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper* Session::Connect(int& status) {
    if (m_wrapper) return m_wrapper.get();
    Credentials credentials;
    const CredentialsOutcome outcome = ResolveCredentials(m_invocation.args, std::getenv("GCSDK_KEY_FILE"),
                                                          credentials, std::getenv("GCSDK_P12_PASSWORD"));
    if (outcome.status == CredentialsOutcome::Status::kUsage) {
        status = m_invocation.UsageError(outcome.error);
        return nullptr;
    }
    if (outcome.status == CredentialsOutcome::Status::kFailure) {
        m_invocation.err << m_invocation.registry.Program() << ": " << TerminalSafe(outcome.error) << '\n';
        status = kExitFailure;
        return nullptr;
    }

    m_wrapper = std::make_unique<GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper>();
    Mark();
    if (!m_wrapper->Init()) {
        status = Fail("opening the VM GUID cache (see sGuidCacheFile in the settings)");
        m_wrapper.reset();
        return nullptr;
    }
    Mark();
    if (!m_wrapper->Connect(credentials.keyFileName, credentials.email, credentials.secret)) {
        status = Fail("signing in as " + credentials.email + " with the " + credentials.source);
        m_wrapper.reset();
        return nullptr;
    }
    Mark();
    return m_wrapper.get();
}

void Session::Mark() const {
    m_markEvent = m_log.Mark();
    m_change.clear();
    if (!m_wrapper) return;
    m_markError = m_wrapper->GetLastError();
    m_markCode = m_wrapper->GetLastErrorCode();
}

bool Session::ErrorChanged() const {
    return m_wrapper &&
           (m_wrapper->GetLastError() != m_markError || m_wrapper->GetLastErrorCode() != m_markCode);
}

bool Session::Listed(bool succeeded, bool empty) const {
    if (!empty) return succeeded;
    return !ErrorChanged();
}

std::vector<FailedPlace> Session::FailedPlaces() const {
    return gcsdk::FailedPlaces(m_log.Since(m_markEvent));
}

bool Session::Answered(const std::string& urlPrefix) const {
    return gcsdk::Answered(m_log.Since(m_markEvent), urlPrefix);
}

Progress::Mode Session::ProgressMode() const {
    return m_invocation.Json()          ? Progress::Mode::kQuiet
           : m_invocation.outIsTerminal ? Progress::Mode::kTerminal
                                        : Progress::Mode::kLines;
}

bool Session::Follow(const std::string& label, const std::string& change, const std::function<bool()>& call,
                     std::vector<std::string>* retries) const {
    Progress progress(m_invocation.out, ProgressMode(), label);
    Mark();
    m_change = change;
    const bool succeeded = call();
    progress.Finish(succeeded);
    if (retries) *retries = progress.Retries();
    return succeeded;
}

bool Session::NotFound() const {
    return ErrorChanged() &&
           (m_wrapper->GetLastErrorCode() == "404" || m_wrapper->GetLastErrorCode() == "RESOURCE_NOT_FOUND");
}

std::string Session::Reason() const {
    if (ErrorChanged()) {
        const std::string message = m_wrapper->GetLastError(), code = m_wrapper->GetLastErrorCode();
        if (message.empty()) return code;
        return code.empty() ? message : message + " (" + code + ")";
    }
    const std::string line = LastErrorLine(m_log.Since(m_markEvent));
    return line.empty() ? "the library gave no reason" : line;
}

std::string Session::FailureLine(const std::string& what, const std::string& withoutReason) const {
    const FollowOutcome followed = m_change.empty() ? FollowOutcome() : ReadFollow(m_log.Since(m_markEvent));
    if (followed.state == FollowOutcome::State::kFollowFailed)
        return what + ": " + m_change + " was requested; following its operation failed: " + followed.reason +
               "; it may still complete";
    if (followed.state == FollowOutcome::State::kReadBackFailed)
        return what + ": " + m_change + " was made; reading it back failed: " + followed.reason;
    // Not found where the library looked, and some places it could not look in.
    const std::vector<FailedPlace> unsearched = FailedPlaces();
    if (!withoutReason.empty() && !unsearched.empty()) return withoutReason + NotSearched(unsearched);
    if (ErrorChanged()) return FailureText(what, m_wrapper->GetLastError(), m_wrapper->GetLastErrorCode());
    if (!withoutReason.empty()) return withoutReason;
    // Before Connect, or with the error of an earlier call, the error state has nothing to quote.
    return FailureText(what, LastErrorLine(m_log.Since(m_markEvent)), "");
}

int Session::Fail(const std::string& what, const std::string& withoutReason) const {
    m_invocation.err << m_invocation.registry.Program() << ": "
                     << TerminalSafe(FailureLine(what, withoutReason)) << '\n';
    return kExitFailure;
}

int Session::FailFollowing(const std::string& what, const std::string& change,
                           const std::string& reason) const {
    m_invocation.err << m_invocation.registry.Program() << ": "
                     << TerminalSafe(what + ": " + change +
                                     " was requested; following its operation failed: " + reason +
                                     "; it may still complete")
                     << '\n';
    return kExitFailure;
}

}  // namespace gcsdk
