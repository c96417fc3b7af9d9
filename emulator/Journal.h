// Every request the emulator received, with the status it got: what tests read, and what a conformance
// check compares with Google's discovery documents.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "emulator/Http.h"
#include "host/json/JsonValue.h"

namespace gcemu {

struct JournalEntry {
    uint64_t sequence = 0;  // from 1, never reused within one journal
    std::string method;
    std::string host;
    std::string path;       // as sent
    std::string rawQuery;   // as sent
    StringMultimap params;  // decoded query parameters
    std::string body;
    int status = 0;         // 0: no response (connection reset)
    std::string faultKind;  // "status", "reset", "stall", or empty
};

class Journal {
public:
    // With an archive file, entries are appended to it as JSON lines when the journal is cleared and
    // when Flush() is called, so that a whole test run's requests end up there.
    explicit Journal(std::string archiveFile = "");

    uint64_t Append(JournalEntry entry);  // returns the sequence given
    std::vector<JournalEntry> Snapshot() const;
    void Clear();
    size_t size() const;
    // Entries of that method ("" any) whose host is that host ("" any) and whose path starts with the prefix.
    size_t Count(const std::string& method, const std::string& host,
                 const std::string& pathPrefix = "") const;

    json_spirit::mArray ToJson() const;
    static json_spirit::mObject ToJson(const JournalEntry& entry);
    // Appends the entries not yet written to the archive file; false when it cannot be written.
    bool Flush();
    const std::string& archiveFile() const { return m_archiveFile; }

private:
    bool FlushLocked();

    const std::string m_archiveFile;
    mutable std::mutex m_mutex;
    std::vector<JournalEntry> m_entries;
    size_t m_archived = 0;  // leading entries already in the archive file
    uint64_t m_nextSequence = 1;
};

// Appends JSON lines to a file shared by several processes (whole lines, under an exclusive lock).
bool AppendJsonLines(const std::string& path, const std::vector<json_spirit::mObject>& lines);

}  // namespace gcemu
