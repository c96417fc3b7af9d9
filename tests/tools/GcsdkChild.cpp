#include "tests/tools/GcsdkChild.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "tests/support/SecretLogSink.h"

extern char** environ;

namespace gcsdktest {

using testsupport::ReadFile;

int Child::s_count = 0;

Child::Child(const testsupport::TempDir& dir, const std::vector<std::string>& args,
             const std::map<std::string, std::string>& env)
    : m_logPath(dir.File(kChildLogFile)),
      m_outPath(dir.File("out." + std::to_string(++s_count))),
      m_errPath(dir.File("err." + std::to_string(s_count))) {
    // The caller's environment without the variables gcsdk reads, then the ones asked for.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        if (text.rfind("GCSDK_SETTINGS=", 0) != 0 && text.rfind("GCSDK_KEY_FILE=", 0) != 0)
            environment.push_back(text);
    }
    for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& text : environment) envp.push_back(text.data());
    envp.push_back(nullptr);

    std::vector<std::string> argvText = {GCSDK_TOOL_PATH};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : argvText) argv.push_back(text.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, m_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int error = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) m_pid = -1;
    EXPECT_NE(m_pid, -1) << "cannot start " << GCSDK_TOOL_PATH;
}

Child::~Child() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

std::string Child::Out() const {
    return ReadFile(m_outPath);
}
std::string Child::Err() const {
    return ReadFile(m_errPath);
}
void Child::Signal(int signal) const {
    kill(m_pid, signal);
}

bool Child::WaitForOutput(const std::string& text) {
    PollUntil([&] { return Ended() || Out().find(text) != std::string::npos; }, std::chrono::seconds(60));
    return Out().find(text) != std::string::npos;
}

Result Child::Finish(std::chrono::seconds deadline) {
    if (!PollUntil([&] { return Ended(); }, deadline)) {
        ADD_FAILURE() << "gcsdk did not finish; killed";
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    Result result;
    result.status = m_waitStatus != -1 && WIFEXITED(m_waitStatus) ? WEXITSTATUS(m_waitStatus) : -1;
    result.out = Out();
    result.err = Err();
    // Nothing gcsdk printed or logged (at debug level 2, see ChildLogSettings) may hold a credential.
    const std::vector<std::string> secrets = {"notasecret"};
    std::ifstream log(m_logPath);
    for (std::string line; std::getline(log, line);)
        if (!testsupport::SecretLogSink::CredentialIn(line, secrets).empty())
            ADD_FAILURE() << "gcsdk's log holds a credential: " << line;
    // What it prints may name the emulator's own throwaway key password (gcsdk emulator does), but never
    // a token or a key.
    for (const std::string* text : {&result.out, &result.err}) {
        const std::string found = testsupport::SecretLogSink::CredentialIn(*text, {});
        if (!found.empty()) ADD_FAILURE() << "gcsdk printed a credential [" << found << "]: " << *text;
    }
    return result;
}

bool Child::Ended() {
    if (m_pid > 0 && waitpid(m_pid, &m_waitStatus, WNOHANG) == m_pid) m_pid = -1;
    return m_pid <= 0;
}

bool Child::PollUntil(const std::function<bool()>& done, std::chrono::seconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string Shown(const std::vector<std::string>& args, const Result& result) {
    return "gcsdk " + ::testing::PrintToString(args) + " exited " + std::to_string(result.status) +
           "\n--- stdout\n" + result.out + "--- stderr\n" + result.err;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace gcsdktest
