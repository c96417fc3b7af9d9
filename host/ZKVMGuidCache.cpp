#include "ZKVMGuidCache.h"

#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "HbDebug.h"
#include "HostClock.h"
#include "Settings.h"

namespace {

constexpr const char* kCacheFolderName = "GoogleCloudSDKWrapper";
constexpr const char* kDatabaseName = "guidcache.db";
// Long enough to ride out another process's write or checkpoint, short enough not to hang a job.
constexpr int kBusyTimeoutMs = 5000;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return "";
}

// Empty when no location can be worked out.
std::string ResolveStorePath() {
    std::string file = host::settings::Read(host::settings::kGuidCacheFile);
    if (!file.empty()) return file;
    std::string base = host::settings::Read(host::settings::kBaseHome);
    if (!base.empty()) return base + "/cache/" + kDatabaseName;
    // Relative XDG values are to be ignored.
    std::string xdg = Env("XDG_CACHE_HOME");
    if (!xdg.empty() && xdg[0] == '/') return xdg + "/" + kCacheFolderName + "/" + kDatabaseName;
    std::string home = HomeFolder();
    if (home.empty()) return "";
    return home + "/.cache/" + kCacheFolderName + "/" + kDatabaseName;
}

// Creates the missing folders above the file, private to the user; existing ones are left as they are.
bool CreateParentFolders(const std::string& file, std::string& error) {
    size_t slash = file.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return true;
    std::string folder = file.substr(0, slash);
    for (size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/') continue;
        std::string part = folder.substr(0, pos);
        if (mkdir(part.c_str(), 0700) == 0 || errno == EEXIST) continue;
        error = "cannot create " + part + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = folder + " is not a folder";
        return false;
    }
    return true;
}

class StatementReset {
public:
    explicit StatementReset(sqlite3_stmt* statement) : m_statement(statement) {}
    ~StatementReset() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    StatementReset(const StatementReset&) = delete;
    StatementReset& operator=(const StatementReset&) = delete;

private:
    sqlite3_stmt* m_statement;
};

std::string Column(sqlite3_stmt* statement, int column) {
    const unsigned char* text = sqlite3_column_text(statement, column);
    if (!text) return "";
    return std::string(reinterpret_cast<const char*>(text),
                       static_cast<size_t>(sqlite3_column_bytes(statement, column)));
}

}  // namespace

struct ZKVMGuidCache::Store {
    std::string path;
    sqlite3* db = nullptr;
    sqlite3_stmt* lookup = nullptr;
    sqlite3_stmt* upsert = nullptr;
    sqlite3_stmt* remove = nullptr;

    ~Store() { Close(); }

    void Close() {
        for (sqlite3_stmt** statement : {&lookup, &upsert, &remove}) {
            sqlite3_finalize(*statement);
            *statement = nullptr;
        }
        if (db) sqlite3_close_v2(db);
        db = nullptr;
    }

    bool Usable() const { return db != nullptr; }

    std::string Message() const {
        if (!db) return "out of memory";
        return std::string(sqlite3_errmsg(db)) + " (" + std::to_string(sqlite3_extended_errcode(db)) + ")";
    }

    bool Bind(sqlite3_stmt* statement, int index, const std::string& text) const {
        if (text.size() > static_cast<size_t>(INT_MAX)) return false;
        // The texts outlive the statement's step, which is reset before the caller returns.
        return sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                                 SQLITE_STATIC) == SQLITE_OK;
    }

    bool Exec(const char* sql, std::string& error) const {
        char* message = nullptr;
        int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
        if (rc == SQLITE_OK) return true;
        error = std::string(message ? message : sqlite3_errstr(rc)) + " (" +
                std::to_string(sqlite3_extended_errcode(db)) + ") in " + sql;
        sqlite3_free(message);
        return false;
    }

    // Runs a statement that yields one text row and returns that text; the result code otherwise.
    int QueryText(const char* sql, std::string& result, std::string& error) const {
        sqlite3_stmt* statement = nullptr;
        int rc = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(statement);
            if (rc == SQLITE_ROW) result = Column(statement, 0);
        }
        if (rc != SQLITE_ROW) error = Message() + " in " + sql;
        sqlite3_finalize(statement);
        return rc;
    }

    // Turning a new file to WAL upgrades a read lock to a write lock, where SQLite does not wait
    // (to avoid deadlocks): when another process is creating the store at the same moment, wait
    // for it here, as long as the busy timeout.
    bool SwitchToWal(std::string& error) const {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
        std::string mode;
        while (true) {
            // The first read of the file: a file that is not a database fails here, and is left alone.
            int rc = QueryText("PRAGMA journal_mode=WAL", mode, error);
            if (rc == SQLITE_ROW) break;
            if ((rc & 0xff) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) return false;
            // A real lock wait, like SQLite's own busy handler, so not the host's sleep.
            sqlite3_sleep(5);
        }
        if (mode == "wal") return true;
        error = "cannot switch to write-ahead logging (journal mode " + mode + ")";
        return false;
    }

    bool Prepare(const char* sql, sqlite3_stmt** statement, std::string& error) const {
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, statement, nullptr) == SQLITE_OK)
            return true;
        error = Message();
        return false;
    }

    bool Open(std::string& error) {
        // NOMUTEX: one object is used by one thread at a time, and every object has its own
        // connection, so SQLite's per-connection locking would only cost.
        int rc = sqlite3_open_v2(path.c_str(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (rc != SQLITE_OK) {
            error = Message();
            return false;
        }
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_timeout(db, kBusyTimeoutMs);

        if (!SwitchToWal(error)) return false;
        // In WAL mode NORMAL never corrupts the store, even on power loss; it may only lose the last
        // commits then, and a lost entry is just looked up again. FULL would add an fsync per write.
        if (!Exec("PRAGMA synchronous=NORMAL", error)) return false;
        std::string check;
        if (QueryText("PRAGMA quick_check", check, error) != SQLITE_ROW) return false;
        if (check != "ok") {
            error = "damaged store: " + check;
            return false;
        }
        if (!Exec("CREATE TABLE IF NOT EXISTS guid_cache ("
                  " cache_name TEXT NOT NULL,"
                  " guid TEXT NOT NULL,"
                  " project TEXT NOT NULL,"
                  " region TEXT NOT NULL,"
                  " zone TEXT NOT NULL,"
                  " updated INTEGER NOT NULL,"
                  " PRIMARY KEY (cache_name, guid)) WITHOUT ROWID",
                  error))
            return false;
        return Prepare("SELECT project, region, zone FROM guid_cache WHERE cache_name = ?1 AND guid = ?2",
                       &lookup, error) &&
               Prepare(
                   "INSERT INTO guid_cache (cache_name, guid, project, region, zone, updated)"
                   " VALUES (?1, ?2, ?3, ?4, ?5, ?6)"
                   " ON CONFLICT (cache_name, guid) DO UPDATE SET"
                   " project = excluded.project, region = excluded.region, zone = excluded.zone,"
                   " updated = excluded.updated",
                   &upsert, error) &&
               Prepare("DELETE FROM guid_cache WHERE cache_name = ?1 AND guid = ?2", &remove, error);
    }
};

ZKVMGuidCache::ZKVMGuidCache(const std::string& name) : m_name(name) {}

ZKVMGuidCache::~ZKVMGuidCache() = default;

bool ZKVMGuidCache::Init() {
    HbDebug log;
    m_store = std::make_unique<Store>();
    m_store->path = ResolveStorePath();
    if (m_store->path.empty()) {
        log.Error(__PRETTY_FUNCTION__, "GUID cache %s: no location for the store (no HOME)", m_name.c_str());
        return false;
    }
    std::string error;
    if (!CreateParentFolders(m_store->path, error) || !m_store->Open(error)) {
        log.Error(__PRETTY_FUNCTION__, "GUID cache %s: cannot open store %s: %s", m_name.c_str(),
                  m_store->path.c_str(), error.c_str());
        m_store->Close();
        return false;
    }
    log.DebugLvl(__PRETTY_FUNCTION__, 2, "GUID cache %s: store %s", m_name.c_str(), m_store->path.c_str());
    return true;
}

bool ZKVMGuidCache::LookupGuidCache(const std::string& guid, std::string& project, std::string& region,
                                    std::string& zone) {
    HbDebug log;
    if (!m_store || !m_store->Usable()) {
        log.DebugLvl(__PRETTY_FUNCTION__, 1, "GUID cache %s is not initialised", m_name.c_str());
        return false;
    }
    sqlite3_stmt* statement = m_store->lookup;
    StatementReset reset(statement);
    if (!m_store->Bind(statement, 1, m_name) || !m_store->Bind(statement, 2, guid)) {
        log.Error(__PRETTY_FUNCTION__, "GUID cache %s: %s", m_name.c_str(), m_store->Message().c_str());
        return false;
    }
    int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) return false;
    if (rc != SQLITE_ROW) {
        log.Error(__PRETTY_FUNCTION__, "GUID cache %s: lookup of %s failed in %s: %s", m_name.c_str(),
                  guid.c_str(), m_store->path.c_str(), m_store->Message().c_str());
        return false;
    }
    project = Column(statement, 0);
    region = Column(statement, 1);
    zone = Column(statement, 2);
    return true;
}

bool ZKVMGuidCache::CacheGuid(const std::string& guid, const std::string& project, const std::string& region,
                              const std::string& zone) {
    HbDebug log;
    if (!m_store || !m_store->Usable()) {
        log.DebugLvl(__PRETTY_FUNCTION__, 1, "GUID cache %s is not initialised", m_name.c_str());
        return false;
    }
    sqlite3_stmt* statement = m_store->upsert;
    StatementReset reset(statement);
    // A single statement in autocommit mode is one transaction of its own.
    bool bound = m_store->Bind(statement, 1, m_name) && m_store->Bind(statement, 2, guid) &&
                 m_store->Bind(statement, 3, project) && m_store->Bind(statement, 4, region) &&
                 m_store->Bind(statement, 5, zone) &&
                 sqlite3_bind_int64(statement, 6, static_cast<sqlite3_int64>(host::Now())) == SQLITE_OK;
    if (!bound || sqlite3_step(statement) != SQLITE_DONE) {
        log.Error(__PRETTY_FUNCTION__, "GUID cache %s: cannot store %s in %s: %s", m_name.c_str(),
                  guid.c_str(), m_store->path.c_str(), m_store->Message().c_str());
        return false;
    }
    return true;
}

bool ZKVMGuidCache::InvalidateGuidFromCache(const std::string& guid) {
    HbDebug log;
    if (!m_store || !m_store->Usable()) {
        log.DebugLvl(__PRETTY_FUNCTION__, 1, "GUID cache %s is not initialised", m_name.c_str());
        return false;
    }
    sqlite3_stmt* statement = m_store->remove;
    StatementReset reset(statement);
    bool bound = m_store->Bind(statement, 1, m_name) && m_store->Bind(statement, 2, guid);
    if (!bound || sqlite3_step(statement) != SQLITE_DONE) {
        log.Error(__PRETTY_FUNCTION__, "GUID cache %s: cannot remove %s from %s: %s", m_name.c_str(),
                  guid.c_str(), m_store->path.c_str(), m_store->Message().c_str());
        return false;
    }
    return true;
}

std::string ZKVMGuidCache::GetStorePath() const {
    return m_store ? m_store->path : "";
}
