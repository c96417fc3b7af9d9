// The gcsdk binary as a child process: started with the arguments and environment a test gives, its
// output sent to files (so that neither pipe can fill up and block it), judged by its exit status and
// what it printed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace gcsdktest {

struct Result {
    int status = -1;  // exit status; -1 when the child did not exit normally
    std::string out;
    std::string err;
};

// A started gcsdk child (GCSDK_TOOL_PATH), without the caller's GCSDK_SETTINGS and GCSDK_KEY_FILE
// unless env gives them.
class Child {
public:
    Child(const testsupport::TempDir& dir, const std::vector<std::string>& args,
          const std::map<std::string, std::string>& env);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    std::string Out() const;
    std::string Err() const;
    void Signal(int signal) const;

    // Until stdout holds the text; false when the child ends or the deadline passes first.
    bool WaitForOutput(const std::string& text);
    // Waits for the end, killing the child after the deadline.
    Result Finish(std::chrono::seconds deadline = std::chrono::seconds(120));

private:
    static int s_count;
    std::string m_logPath;
    std::string m_outPath, m_errPath;
    pid_t m_pid = -1;
    int m_waitStatus = -1;

    bool Ended();
    static bool PollUntil(const std::function<bool()>& done, std::chrono::seconds deadline);
};

// The library's log of every child of a test, at debug level 2, in the test's folder: the settings text
// for it ("[GoogleCloud]" keys). Finish fails the test when the log holds a credential.
inline constexpr const char* kChildLogFile = "gcsdk-library.log";
inline std::string ChildLogSettings(const testsupport::TempDir& dir) {
    return "nLogLevel=2\nsLogFile=" + dir.File(kChildLogFile) + "\n";
}

// The command line, its exit status and its output, for failure messages.
std::string Shown(const std::vector<std::string>& args, const Result& result);
bool Contains(const std::string& text, const std::string& part);

}  // namespace gcsdktest
