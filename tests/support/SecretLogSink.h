// A log sink that watches every line, at every level, for a credential: an access token the emulator
// handed out, a signed JWT, a private key, a key file's password, a raw disk key. Emulator-backed tests
// run under one and fail when a line holds any of them.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class SecretLogSink {
public:
    // Watches for the fixed credential shapes and the given texts.
    explicit SecretLogSink(std::vector<std::string> secrets);
    ~SecretLogSink();
    SecretLogSink(const SecretLogSink&) = delete;
    SecretLogSink& operator=(const SecretLogSink&) = delete;

    // One more text to watch for (a raw disk key a test sends, say).
    void Watch(const std::string& secret);
    // The lines that held a credential, each with what it held.
    std::vector<std::string> Leaks() const;
    void Clear();

    // What in this text is a credential ("" when nothing): exposed for the sink's own test.
    static std::string CredentialIn(const std::string& text, const std::vector<std::string>& secrets);

private:
    class Sink;
    std::shared_ptr<Sink> m_sink;
};

}  // namespace testsupport
