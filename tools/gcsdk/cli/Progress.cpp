#include "cli/Progress.h"

#include <chrono>
#include <ostream>

#include "cli/Table.h"

namespace gcsdk {

namespace {

// The text between the first '[' after from and the following ']'; false when there is none.
bool Bracketed(const std::string& message, size_t from, std::string& text) {
    const size_t open = message.find('[', from);
    if (open == std::string::npos) return false;
    const size_t close = message.find(']', open + 1);
    if (close == std::string::npos) return false;
    text = message.substr(open + 1, close - open - 1);
    return true;
}

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

double SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

PollEvent ReadPollLine(const host::LogLine& line) {
    PollEvent event;
    if (Contains(line.tag, "WaitForObjectToReachEndState")) {
        // "Current  status : [RUNNING], waiting for status : [DONE]": the blanks are not to be relied on.
        if (line.message.rfind("Current", 0) == 0 && Contains(line.message, "status") &&
            Bracketed(line.message, 0, event.text) && !event.text.empty()) {
            event.kind = PollEvent::Kind::kStatus;
        } else if (line.message.rfind("Error : [", 0) == 0 && Bracketed(line.message, 0, event.text) &&
                   !event.text.empty()) {
            event.kind = PollEvent::Kind::kError;
        }
    } else if (Contains(line.tag, "WaitForDataflowJob") || Contains(line.tag, "WaitForSpannerOperation")) {
        // "Job [ID] Current status : [JOB_STATE_RUNNING], waiting for status : [JOB_STATE_DONE]", and a
        // Spanner operation's "Operation [NAME] Current status : [WAITING], ...".
        const size_t status = line.message.find("] Current status");
        if ((line.message.rfind("Job [", 0) == 0 || line.message.rfind("Operation [", 0) == 0) &&
            status != std::string::npos && Bracketed(line.message, status + 1, event.text) &&
            !event.text.empty())
            event.kind = PollEvent::Kind::kStatus;
    } else if (Contains(line.tag, "CGoogleCloudOperations::CreateInstance") &&
               Contains(line.message, "Retrying")) {
        event.kind = PollEvent::Kind::kRetry;
    } else if (Contains(line.tag, "CGoogleCloudConnection")) {
        event.kind = PollEvent::Kind::kExchange;
    }
    return event;
}

Progress::Progress(std::ostream& out, Mode mode, std::string label, Clock clock)
    : m_out(out), m_mode(mode), m_label(std::move(label)), m_clock(clock ? std::move(clock) : SteadySeconds) {
    m_start = m_clock();
    m_lastLine = m_start;
    if (m_mode == Mode::kTerminal) Show("started", false);
    m_sink = std::make_unique<ScopedLogSink>(
        [](const host::LogLine& line) { return ReadPollLine(line).kind != PollEvent::Kind::kNone; },
        [this](const host::LogLine& line) { OnEvent(ReadPollLine(line)); });
}

Progress::~Progress() {
    m_sink.reset();
    // A line left open on the terminal (an exception went through) is ended, so the next one starts clean.
    if (!m_finished && m_mode == Mode::kTerminal) m_out << std::endl;
}

void Progress::OnEvent(const PollEvent& event) {
    if (m_finished) return;
    // An announced retry that a request or a poll follows happened.
    if (m_retryAnnounced &&
        (event.kind == PollEvent::Kind::kExchange || event.kind == PollEvent::Kind::kStatus)) {
        m_retryAnnounced = false;
        m_retries.push_back(m_lastError.empty() ? "an error" : m_lastError);
        Show("RETRYING after " + m_retries.back(), false);
        m_lastError.clear();
    }
    switch (event.kind) {
        case PollEvent::Kind::kStatus:
            Show(event.text, false);
            break;
        case PollEvent::Kind::kError:
            m_lastError = event.text;
            break;
        case PollEvent::Kind::kRetry:
            m_retryAnnounced = true;
            break;
        case PollEvent::Kind::kExchange:
        case PollEvent::Kind::kNone:
            break;
    }
}

void Progress::Finish(bool succeeded) {
    if (m_finished) return;
    m_sink.reset();
    Show(succeeded ? "DONE" : "FAILED", true);
    m_finished = true;
}

void Progress::Show(const std::string& status, bool last) {
    if (m_mode == Mode::kQuiet) return;
    const double now = m_clock();
    if (m_mode == Mode::kLines && !last && status == m_shown && now - m_lastLine < kRepeatSecs) return;
    const long seconds = static_cast<long>(now - m_start);
    const std::string text = "  " + TerminalSafe(m_label) + " ... " + TerminalSafe(status) + " (" +
                             std::to_string(seconds) + " s)";
    if (m_mode == Mode::kTerminal) {
        // Blanks over what is left of a longer line drawn before.
        const size_t width = DisplayWidth(text);
        m_out << '\r' << text << std::string(m_drawnSize > width ? m_drawnSize - width : 0, ' ');
        m_drawnSize = width;
        if (last) m_out << '\n';
        m_out.flush();
    } else {
        m_out << text << std::endl;
    }
    m_shown = status;
    m_lastLine = now;
}

}  // namespace gcsdk
