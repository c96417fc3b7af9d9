#include "Session.h"

#include <cstdlib>
#include <ostream>

#include "cli/Credentials.h"
#include "cli/Output.h"
#include "cli/Progress.h"

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
    if (!m_wrapper->Init()) {
        status = Fail("opening the VM GUID cache (see sGuidCacheFile in the settings)");
        m_wrapper.reset();
        return nullptr;
    }
    if (!m_wrapper->Connect(credentials.keyFileName, credentials.email, credentials.secret)) {
        status = Fail("signing in as " + credentials.email + " with the " + credentials.source);
        m_wrapper.reset();
        return nullptr;
    }
    Mark();
    return m_wrapper.get();
}

void Session::Mark() const {
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

bool Session::Follow(const std::string& label, const std::function<bool()>& call,
                     std::vector<std::string>* retries) const {
    const Progress::Mode mode = m_invocation.Json()          ? Progress::Mode::kQuiet
                                : m_invocation.outIsTerminal ? Progress::Mode::kTerminal
                                                             : Progress::Mode::kLines;
    Progress progress(m_invocation.out, mode, label);
    Mark();
    const bool succeeded = call();
    progress.Finish(succeeded);
    if (retries) *retries = progress.Retries();
    return succeeded;
}

int Session::Fail(const std::string& what, const std::string& withoutReason) const {
    // Before Connect, or with the error of an earlier call, there is no reason to quote.
    std::string message, code;
    if (ErrorChanged()) {
        message = m_wrapper->GetLastError();
        code = m_wrapper->GetLastErrorCode();
    }
    const bool plain = message.empty() && code.empty() && !withoutReason.empty();
    m_invocation.err << m_invocation.registry.Program() << ": "
                     << TerminalSafe(plain ? withoutReason : FailureText(what, message, code)) << '\n';
    return kExitFailure;
}

}  // namespace gcsdk
