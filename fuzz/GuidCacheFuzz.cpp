// GUID cache keys: any bytes as GUID and location, in a store of its own. A run of stores, look-ups
// and removals in two caches must agree with a plain map of what was stored, and each input leaves
// the store as empty as it found it.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "fuzz/FuzzSupport.h"
#include "host/ZKPlatformInfo.h"
#include "host/ZKVMGuidCache.h"

namespace {

using Location = std::tuple<std::string, std::string, std::string>;

std::string g_folder;
// The library's own cache and another one in the same store.
std::unique_ptr<ZKVMGuidCache> g_caches[2];

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::QuietLog();
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/gcsdk-guid-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    g_folder = pattern;
    // No settings file: the store goes under XDG_CACHE_HOME, which is ours.
    unsetenv("GCSDK_SETTINGS");
    ZKPlatformInfo::SetSettingsFile("");
    setenv("XDG_CACHE_HOME", g_folder.c_str(), 1);
    g_caches[0] = std::make_unique<ZKVMGuidCache>("_GOOGLECLOUD_GUID_CACHE_");
    g_caches[1] = std::make_unique<ZKVMGuidCache>("other");
    for (auto& cache : g_caches)
        if (!cache->Init()) std::abort();
    std::atexit([] {
        for (auto& cache : g_caches) cache.reset();
        std::filesystem::remove_all(g_folder);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    std::map<std::pair<int, std::string>, Location> stored;
    while (input.remaining_bytes() > 0) {
        const int which = input.ConsumeBool() ? 1 : 0;
        ZKVMGuidCache& cache = *g_caches[which];
        const std::string guid = input.ConsumeRandomLengthString(64);
        switch (input.ConsumeIntegralInRange(0, 2)) {
            case 0: {
                Location location{input.ConsumeRandomLengthString(64), input.ConsumeRandomLengthString(32),
                                  input.ConsumeRandomLengthString(32)};
                FUZZ_CHECK(cache.CacheGuid(guid, std::get<0>(location), std::get<1>(location),
                                           std::get<2>(location)));
                stored[{which, guid}] = location;
                break;
            }
            case 1: {
                std::string project = "untouched", region = "untouched", zone = "untouched";
                const bool found = cache.LookupGuidCache(guid, project, region, zone);
                auto expected = stored.find({which, guid});
                FUZZ_CHECK(found == (expected != stored.end()));
                if (found) FUZZ_CHECK(Location(project, region, zone) == expected->second);
                break;
            }
            default:
                FUZZ_CHECK(cache.InvalidateGuidFromCache(guid));
                stored.erase({which, guid});
                break;
        }
    }
    for (const auto& entry : stored) {
        FUZZ_CHECK(g_caches[entry.first.first]->InvalidateGuidFromCache(entry.first.second));
        std::string project, region, zone;
        FUZZ_CHECK(!g_caches[entry.first.first]->LookupGuidCache(entry.first.second, project, region, zone));
    }
    return 0;
}
