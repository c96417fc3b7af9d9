#include "tests/support/SecretLogSink.h"

#include <mutex>

#include "host/HbDebug.h"

namespace testsupport {

namespace {

// Shapes no log line may hold whatever the account: the emulator's (and Google's) access tokens, a
// JWT whose header is the RS256 one we sign, and a PEM private key.
const char* const kCredentialShapes[] = {"ya29.", "eyJhbGciOiJSUzI1NiIs", "PRIVATE KEY-----"};

}  // namespace

class SecretLogSink::Sink : public host::ILogSink {
public:
    void Write(const host::LogLine& line) override {
        std::lock_guard<std::mutex> lock(mutex);
        for (const std::string* text : {&line.message, &line.tag}) {
            const std::string found = CredentialIn(*text, secrets);
            if (!found.empty()) leaks.push_back("[" + found + "] in: " + *text);
        }
    }
    mutable std::mutex mutex;
    std::vector<std::string> secrets;
    std::vector<std::string> leaks;
};

SecretLogSink::SecretLogSink(std::vector<std::string> secrets) : m_sink(std::make_shared<Sink>()) {
    m_sink->secrets = std::move(secrets);
    host::AddLogSink(m_sink);
}

SecretLogSink::~SecretLogSink() {
    host::RemoveLogSink(m_sink);
}

void SecretLogSink::Watch(const std::string& secret) {
    std::lock_guard<std::mutex> lock(m_sink->mutex);
    m_sink->secrets.push_back(secret);
}

std::vector<std::string> SecretLogSink::Leaks() const {
    std::lock_guard<std::mutex> lock(m_sink->mutex);
    return m_sink->leaks;
}

void SecretLogSink::Clear() {
    std::lock_guard<std::mutex> lock(m_sink->mutex);
    m_sink->leaks.clear();
}

std::string SecretLogSink::CredentialIn(const std::string& text, const std::vector<std::string>& secrets) {
    for (const char* shape : kCredentialShapes)
        if (text.find(shape) != std::string::npos) return shape;
    for (const std::string& secret : secrets)
        if (!secret.empty() && text.find(secret) != std::string::npos) return secret;
    return "";
}

}  // namespace testsupport
