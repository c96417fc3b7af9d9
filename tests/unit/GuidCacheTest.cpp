#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/ZKVMGuidCache.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

// Every field derives from the GUID, so a row written only in part shows up.
std::string Project(const std::string& guid) {
    return "project-" + guid;
}
std::string Region(const std::string& guid) {
    return "region-" + guid + "-" + std::string(40, 'r');
}
std::string Zone(const std::string& guid) {
    return "zone-" + guid + "-" + std::string(40, 'z');
}
std::string Guid(int writer, int index) {
    return "w" + std::to_string(writer) + "-" + std::to_string(index);
}

bool WriteEntry(ZKVMGuidCache& cache, const std::string& guid) {
    return cache.CacheGuid(guid, Project(guid), Region(guid), Zone(guid));
}

::testing::AssertionResult HasWholeEntry(ZKVMGuidCache& cache, const std::string& guid) {
    std::string project, region, zone;
    if (!cache.LookupGuidCache(guid, project, region, zone))
        return ::testing::AssertionFailure() << guid << " missing";
    if (project != Project(guid) || region != Region(guid) || zone != Zone(guid))
        return ::testing::AssertionFailure()
               << guid << " reads back as " << project << " / " << region << " / " << zone;
    return ::testing::AssertionSuccess();
}

// Runs body in a child process, whose exit status is body's result; nothing of gtest runs there.
pid_t Spawn(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

unsigned Mode(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

class GuidCacheTest : public ::testing::Test {
protected:
    GuidCacheTest()
        : m_file(m_dir.File("cache/store/guidcache.db")),
          m_settings("[GoogleCloud]\nsGuidCacheFile=" + m_file + "\n") {}

    testsupport::TempDir m_dir;
    std::string m_file;
    testsupport::ScopedSettings m_settings;
};

TEST_F(GuidCacheTest, StoresReplacesAndInvalidates) {
    ZKVMGuidCache cache("vms");
    ASSERT_TRUE(cache.Init());
    EXPECT_EQ(cache.GetStorePath(), m_file);
    EXPECT_EQ(Mode(m_dir.File("cache/store")), 0700u);
    EXPECT_EQ(cache.GetName(), "vms");

    std::string project = "untouched", region = "untouched", zone = "untouched";
    EXPECT_FALSE(cache.LookupGuidCache("g1", project, region, zone));
    EXPECT_EQ(project + region + zone, "untoucheduntoucheduntouched");

    ASSERT_TRUE(cache.CacheGuid("g1", "p1", "us-east1", "us-east1-b"));
    ASSERT_TRUE(cache.LookupGuidCache("g1", project, region, zone));
    EXPECT_EQ(project, "p1");
    EXPECT_EQ(region, "us-east1");
    EXPECT_EQ(zone, "us-east1-b");

    ASSERT_TRUE(cache.CacheGuid("g1", "p2", "europe-west1", ""));
    ASSERT_TRUE(cache.LookupGuidCache("g1", project, region, zone));
    EXPECT_EQ(project, "p2");
    EXPECT_EQ(region, "europe-west1");
    EXPECT_EQ(zone, "");

    // Texts go in as bound values, whatever they hold.
    static const char kOdd[] = "it's \"quoted\"; DROP TABLE x; --\xc3\xa9\0tail";
    const std::string odd(kOdd, sizeof(kOdd) - 1);
    ASSERT_TRUE(cache.CacheGuid(odd, odd, odd, odd));
    ASSERT_TRUE(cache.LookupGuidCache(odd, project, region, zone));
    EXPECT_EQ(project, odd);
    EXPECT_EQ(zone, odd);

    EXPECT_TRUE(cache.InvalidateGuidFromCache("g1"));
    EXPECT_FALSE(cache.LookupGuidCache("g1", project, region, zone));
    EXPECT_TRUE(cache.InvalidateGuidFromCache("g1"));  // already gone
    EXPECT_TRUE(cache.LookupGuidCache(odd, project, region, zone));
}

TEST_F(GuidCacheTest, CacheNamesAreIsolated) {
    ZKVMGuidCache a("alpha"), b("beta");
    ASSERT_TRUE(a.Init());
    ASSERT_TRUE(b.Init());
    ASSERT_TRUE(a.CacheGuid("shared", "pa", "ra", "za"));
    std::string project, region, zone;
    EXPECT_FALSE(b.LookupGuidCache("shared", project, region, zone));
    ASSERT_TRUE(b.CacheGuid("shared", "pb", "rb", "zb"));

    ASSERT_TRUE(a.LookupGuidCache("shared", project, region, zone));
    EXPECT_EQ(project, "pa");
    EXPECT_TRUE(a.InvalidateGuidFromCache("shared"));
    ASSERT_TRUE(b.LookupGuidCache("shared", project, region, zone));
    EXPECT_EQ(project, "pb");
}

TEST_F(GuidCacheTest, EntriesPersistInANewObject) {
    {
        ZKVMGuidCache cache("vms");
        ASSERT_TRUE(cache.Init());
        for (int i = 0; i < 20; ++i) ASSERT_TRUE(WriteEntry(cache, Guid(0, i)));
        ASSERT_TRUE(cache.InvalidateGuidFromCache(Guid(0, 7)));
    }
    ZKVMGuidCache cache("vms");
    ASSERT_TRUE(cache.Init());
    std::string project, region, zone;
    for (int i = 0; i < 20; ++i) {
        if (i == 7)
            EXPECT_FALSE(cache.LookupGuidCache(Guid(0, i), project, region, zone));
        else
            EXPECT_TRUE(HasWholeEntry(cache, Guid(0, i)));
    }
}

TEST_F(GuidCacheTest, CallsFailBeforeInit) {
    ZKVMGuidCache cache("vms");
    std::string project, region, zone;
    EXPECT_FALSE(cache.CacheGuid("g", "p", "r", "z"));
    EXPECT_FALSE(cache.LookupGuidCache("g", project, region, zone));
    EXPECT_FALSE(cache.InvalidateGuidFromCache("g"));
    EXPECT_EQ(cache.GetStorePath(), "");
}

TEST_F(GuidCacheTest, InitFailsWhereNoStoreCanBeMade) {
    std::string blocker = m_dir.Write("blocker", "a regular file");
    m_settings.Rewrite("[GoogleCloud]\nsGuidCacheFile=" + blocker + "/sub/guidcache.db\n");
    testsupport::LogCapture logs;
    ZKVMGuidCache cache("vms");
    EXPECT_FALSE(cache.Init());
    EXPECT_TRUE(logs.Mentions(blocker + "/sub/guidcache.db")) << logs.Dump();
    bool errorLogged = false;
    for (const auto& line : logs.Lines()) errorLogged |= line.level == host::kLogError;
    EXPECT_TRUE(errorLogged) << logs.Dump();

    std::string project, region, zone;
    EXPECT_FALSE(cache.CacheGuid("g", "p", "r", "z"));
    EXPECT_FALSE(cache.LookupGuidCache("g", project, region, zone));
    EXPECT_FALSE(cache.InvalidateGuidFromCache("g"));
}

TEST_F(GuidCacheTest, InitFailsOnAFileThatIsNotADatabaseAndLeavesItAlone) {
    std::string garbage;
    for (int i = 0; i < 8192; ++i) garbage += static_cast<char>((i * 131 + 7) & 0xff);
    m_dir.Write("cache/store/guidcache.db", garbage);
    testsupport::LogCapture logs;
    ZKVMGuidCache cache("vms");
    EXPECT_FALSE(cache.Init());
    EXPECT_TRUE(logs.Mentions(m_file)) << logs.Dump();
    EXPECT_TRUE(logs.Mentions("not a database")) << logs.Dump();
    EXPECT_EQ(testsupport::ReadFile(m_file), garbage);
    EXPECT_FALSE(cache.CacheGuid("g", "p", "r", "z"));
}

TEST_F(GuidCacheTest, ObjectsOnSeveralThreads) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int writer = 0; writer < 4; ++writer) {
        threads.emplace_back([writer, &failures] {
            ZKVMGuidCache cache("vms");
            if (!cache.Init()) {
                failures[writer] = -1;
                return;
            }
            for (int i = 0; i < 50; ++i) failures[writer] += WriteEntry(cache, Guid(writer, i)) ? 0 : 1;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
    ZKVMGuidCache cache("vms");
    ASSERT_TRUE(cache.Init());
    for (int writer = 0; writer < 4; ++writer)
        for (int i = 0; i < 50; ++i) EXPECT_TRUE(HasWholeEntry(cache, Guid(writer, i)));
}

// A cache object must never cross a fork (an SQLite rule): the children open their own, and the
// parent opens its own only once they are running or done.

TEST_F(GuidCacheTest, EntriesWrittenByAnotherProcessAreSeen) {
    pid_t child = Spawn([] {
        ZKVMGuidCache cache("vms");
        if (!cache.Init()) return 2;
        for (int i = 0; i < 50; ++i)
            if (!WriteEntry(cache, Guid(1, i))) return 3;
        return 0;
    });
    ASSERT_GT(child, 0);
    ASSERT_EQ(WaitExit(child), 0);
    ZKVMGuidCache cache("vms");
    ASSERT_TRUE(cache.Init());
    for (int i = 0; i < 50; ++i) EXPECT_TRUE(HasWholeEntry(cache, Guid(1, i)));
}

TEST_F(GuidCacheTest, TwoProcessesWritingAtOnce) {
    constexpr int kEntries = 300;
    // Both children create the store at the same moment, then write.
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int writer = 0; writer < 2; ++writer) {
        children.push_back(Spawn([writer, &gate] {
            close(gate[1]);
            char byte;
            if (read(gate[0], &byte, 1) != 0) return 4;
            ZKVMGuidCache cache("vms");
            if (!cache.Init()) return 2;
            for (int i = 0; i < kEntries; ++i)
                if (!WriteEntry(cache, Guid(writer, i))) return 3;
            return 0;
        }));
        ASSERT_GT(children.back(), 0);
    }
    close(gate[0]);
    close(gate[1]);  // opens the gate
    for (pid_t child : children) EXPECT_EQ(WaitExit(child), 0);

    ZKVMGuidCache cache("vms");
    ASSERT_TRUE(cache.Init());
    int present = 0;
    for (int writer = 0; writer < 2; ++writer)
        for (int i = 0; i < kEntries; ++i) present += HasWholeEntry(cache, Guid(writer, i)) ? 1 : 0;
    EXPECT_EQ(present, 2 * kEntries);
}

TEST_F(GuidCacheTest, StoreIsIntactAfterAWriterIsKilled) {
    constexpr int kBeforeKill = 40;
    int progress[2];
    ASSERT_EQ(pipe(progress), 0);
    pid_t child = Spawn([&progress] {
        close(progress[0]);
        ZKVMGuidCache cache("vms");
        if (!cache.Init()) return 2;
        for (int i = 0;; ++i) {
            if (!WriteEntry(cache, Guid(1, i))) return 3;
            // Tells the parent once the write is committed, and keeps writing until it is killed.
            if (i < kBeforeKill && write(progress[1], "x", 1) != 1) return 4;
        }
    });
    ASSERT_GT(child, 0);
    close(progress[1]);
    int committed = 0;
    while (committed < kBeforeKill) {
        pollfd wait{progress[0], POLLIN, 0};
        if (poll(&wait, 1, 20000) != 1) break;
        char bytes[64];
        ssize_t got = read(progress[0], bytes, sizeof(bytes));
        if (got <= 0) break;
        committed += static_cast<int>(got);
    }
    close(progress[0]);
    // Let it get well into its next writes, then kill it in the middle of one.
    usleep(5000);
    kill(child, SIGKILL);
    ASSERT_EQ(WaitExit(child), 128 + SIGKILL);
    ASSERT_EQ(committed, kBeforeKill);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(m_file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    sqlite3_stmt* check = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    sqlite3_close(db);

    // Every committed entry is there; whatever else made it in is whole.
    ZKVMGuidCache cache("vms");
    ASSERT_TRUE(cache.Init());
    int present = 0;
    for (int i = 0; i < kBeforeKill; ++i) EXPECT_TRUE(HasWholeEntry(cache, Guid(1, i)));
    std::string project, region, zone;
    for (int i = kBeforeKill; cache.LookupGuidCache(Guid(1, i), project, region, zone); ++i) {
        EXPECT_TRUE(HasWholeEntry(cache, Guid(1, i)));
        ++present;
    }
    // The store takes writes again.
    EXPECT_TRUE(WriteEntry(cache, "after-crash"));
    EXPECT_TRUE(HasWholeEntry(cache, "after-crash"));
    RecordProperty("entries_after_committed", present);
}

class GuidCacheLocationTest : public ::testing::Test {
protected:
    testsupport::TempDir m_dir;
};

TEST_F(GuidCacheLocationTest, UnderBaseHome) {
    testsupport::ScopedSettings settings("[Base]\ndBASEHOME=" + m_dir.File("base") + "\n");
    ZKVMGuidCache cache("vms");
    ASSERT_TRUE(cache.Init());
    EXPECT_EQ(cache.GetStorePath(), m_dir.File("base/cache/guidcache.db"));
    EXPECT_EQ(Mode(m_dir.File("base")), 0700u);
    EXPECT_EQ(Mode(m_dir.File("base/cache")), 0700u);
    EXPECT_TRUE(cache.CacheGuid("g", "p", "r", "z"));
}

TEST_F(GuidCacheLocationTest, UnderTheUserCacheFolder) {
    testsupport::ScopedSettings settings("");
    {
        ScopedEnv xdg("XDG_CACHE_HOME", m_dir.File("xdg").c_str());
        ZKVMGuidCache cache("vms");
        ASSERT_TRUE(cache.Init());
        EXPECT_EQ(cache.GetStorePath(), m_dir.File("xdg/GoogleCloudSDKWrapper/guidcache.db"));
    }
    ScopedEnv home("HOME", m_dir.File("home").c_str());
    for (const char* xdgValue : {static_cast<const char*>(nullptr), "", "relative/cache"}) {
        ScopedEnv xdg("XDG_CACHE_HOME", xdgValue);
        ZKVMGuidCache cache("vms");
        ASSERT_TRUE(cache.Init());
        EXPECT_EQ(cache.GetStorePath(), m_dir.File("home/.cache/GoogleCloudSDKWrapper/guidcache.db"));
    }
}

}  // namespace
