// Every emulator-backed test binary runs under a SecretLogSink for its whole run (its tests each run
// in a process of their own): a log line holding a credential fails the run.
#pragma once

#include <string>

namespace testsupport {

// A text the test is about to send that must never reach a log (a raw disk key, say).
void WatchSecret(const std::string& secret);

}  // namespace testsupport
