#include "emulator/Journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "host/HbDebug.h"
#include "host/ZkJson.h"

namespace gcemu {

using json_spirit::mArray;
using json_spirit::mObject;

Journal::Journal(std::string archiveFile) : m_archiveFile(std::move(archiveFile)) {}

uint64_t Journal::Append(JournalEntry entry) {
    std::lock_guard<std::mutex> lock(m_mutex);
    entry.sequence = m_nextSequence++;
    m_entries.push_back(std::move(entry));
    return m_entries.back().sequence;
}

std::vector<JournalEntry> Journal::Snapshot() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries;
}

void Journal::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    FlushLocked();
    m_entries.clear();
    m_archived = 0;
}

size_t Journal::size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries.size();
}

size_t Journal::Count(const std::string& method, const std::string& host,
                      const std::string& pathPrefix) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    size_t count = 0;
    for (const JournalEntry& entry : m_entries) {
        if (!method.empty() && entry.method != method) continue;
        if (!host.empty() && entry.host != host) continue;
        if (entry.path.compare(0, pathPrefix.size(), pathPrefix) != 0) continue;
        ++count;
    }
    return count;
}

mObject Journal::ToJson(const JournalEntry& entry) {
    mObject params;
    for (const auto& [name, value] : entry.params) {
        json_spirit::mValue& values = params[name];
        if (values.is_null()) values = mArray();
        values.get_array().push_back(value);
    }
    mObject object;
    object["sequence"] = static_cast<int64_t>(entry.sequence);
    object["method"] = entry.method;
    object["host"] = entry.host;
    object["path"] = entry.path;
    object["query"] = entry.rawQuery;
    object["params"] = params;
    object["body"] = entry.body;
    object["status"] = entry.status;
    object["fault"] = entry.faultKind;
    return object;
}

mArray Journal::ToJson() const {
    mArray entries;
    for (const JournalEntry& entry : Snapshot()) entries.push_back(ToJson(entry));
    return entries;
}

bool Journal::Flush() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return FlushLocked();
}

bool Journal::FlushLocked() {
    if (m_archiveFile.empty() || m_archived == m_entries.size()) return true;
    std::vector<mObject> lines;
    for (size_t i = m_archived; i < m_entries.size(); ++i) lines.push_back(ToJson(m_entries[i]));
    if (!AppendJsonLines(m_archiveFile, lines)) return false;
    m_archived = m_entries.size();
    return true;
}

bool AppendJsonLines(const std::string& path, const std::vector<mObject>& lines) {
    HbDebug log;
    std::string text;
    for (const mObject& line : lines) text += ZkJson::Serialize(line) + "\n";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        log.Error(__PRETTY_FUNCTION__, "cannot open the journal file %s: errno %d", path.c_str(), errno);
        return false;
    }
    // Emulators of parallel test processes share the file; the lock keeps their lines whole.
    ::flock(fd, LOCK_EX);
    bool written = true;
    for (size_t done = 0; done < text.size();) {
        const ssize_t count = ::write(fd, text.data() + done, text.size() - done);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            log.Error(__PRETTY_FUNCTION__, "cannot write the journal file %s: errno %d", path.c_str(), errno);
            written = false;
            break;
        }
        done += static_cast<size_t>(count);
    }
    ::flock(fd, LOCK_UN);
    ::close(fd);
    return written;
}

}  // namespace gcemu
