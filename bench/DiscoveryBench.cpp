// The requests and the wall time of each way the library finds VMs, on a generated world of P projects
// seeing Z zones each (BENCH_WORLD=PxZ, default 20x100) with its one VM where a scan looks last; each
// path with the discovery setting [GoogleCloud] bAggregatedDiscovery=1 absent and present.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchEmulator.h"
#include "emulator/GeneratedWorld.h"

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudSDKWrapper;
using GoogleCloudSDKWrapper::SVMInfoLib;
using GoogleCloudSDKWrapper::SZoneInfoLib;

enum class Path { kGuidHit, kGuidMiss, kZoneList, kLabel, kWildcardLabel, kRegion };

gcemu::WorldSize Size() {
    gcemu::WorldSize size;
    const char* text = std::getenv("BENCH_WORLD");
    if (text && *text && !gcemu::ParseWorldSize(text, size)) {
        std::fprintf(stderr, "bench: BENCH_WORLD must be PxZ, such as 20x100\n");
        std::exit(2);
    }
    return size;
}

struct BenchWorld {
    gcemu::WorldSize size = Size();
    gcemu::GeneratedVm vm = gcemu::GeneratedWorldVm(size);
    std::unique_ptr<bench::BenchEmulator> emulator;
    std::string guid;
    int cacheFiles = 0;

    BenchWorld() {
        const std::string file =
            "/tmp/gcsdk-bench-world-" + std::to_string(static_cast<long>(::getpid())) + ".json";
        gcemu::WriteGeneratedWorld(size, file);
        emulator = std::make_unique<bench::BenchEmulator>(file);
        std::remove(file.c_str());
        SVMInfoLib found;
        if (!emulator->Connected()->GetVMInfo(vm.project, vm.name, "", vm.zone, found, 0)) std::abort();
        guid = found.id;
    }

    // Settings with a GUID cache of their own, empty, and the discovery setting when asked.
    void UseSettings(bool aggregated) {
        const std::string cache = emulator->File("guids-" + std::to_string(++cacheFiles) + ".db");
        emulator->UseSettings("[GoogleCloud]\nsGuidCacheFile=" + cache + "\n" +
                              (aggregated ? "bAggregatedDiscovery=1\n" : ""));
    }
};

BenchWorld& TheWorld() {
    static BenchWorld world;
    return world;
}

bool Run(Path path, CGoogleCloudSDKWrapper& facade, const BenchWorld& world) {
    std::vector<SVMInfoLib> vms;
    const gcemu::GeneratedVm& vm = world.vm;
    switch (path) {
        case Path::kGuidHit:
        case Path::kGuidMiss: {
            std::string project, region, zone;
            SVMInfoLib found;
            return facade.SearchInstance(world.guid, "", 0, project, region, zone, found) && zone == vm.zone;
        }
        case Path::kZoneList: {
            std::vector<SZoneInfoLib> zones;
            return facade.GetZoneInfoList("", zones, VM_PROP_HOST_VM_LIST) && !zones.empty();
        }
        case Path::kLabel:
            return facade.GetVMInfoListByLabel("", vm.labelKey, vm.labelValue, vms, 0) && vms.size() == 1;
        case Path::kWildcardLabel:
            return facade.GetVMInfoListByLabelRegEx("", "bench-*", "targ?t", vms, 0) && vms.size() == 1;
        case Path::kRegion:
            return facade.GetVMInfoListInRegion("", vm.region, "", vms, 0) && vms.size() == 1;
    }
    return false;
}

void Discover(benchmark::State& state, Path path, bool aggregated) {
    BenchWorld& world = TheWorld();
    gcemu::Journal& journal = world.emulator->emulator().journal();
    world.UseSettings(aggregated);
    std::unique_ptr<CGoogleCloudSDKWrapper> facade = world.emulator->Connected();
    // A hit needs the GUID in the cache: one search puts it there, and every run then finds it.
    if (path == Path::kGuidHit && !Run(Path::kGuidMiss, *facade, world)) state.SkipWithError("no VM");
    size_t requests = 0;
    for (auto _ : state) {
        if (path != Path::kGuidHit) {
            // Each run from an empty GUID cache, with a facade signed in afresh.
            state.PauseTiming();
            world.UseSettings(aggregated);
            facade = world.emulator->Connected();
            state.ResumeTiming();
        }
        const size_t before = journal.size();
        if (!Run(path, *facade, world)) state.SkipWithError(facade->GetLastError().c_str());
        requests = journal.size() - before;
        if (journal.size() > 100000) {
            state.PauseTiming();
            journal.Clear();
            state.ResumeTiming();
        }
    }
    state.counters["requests"] = static_cast<double>(requests);
    state.counters["projects"] = world.size.projects;
    state.counters["zones"] = world.size.zones;
}

#define DISCOVERY(name, path)                                                                              \
    BENCHMARK_CAPTURE(Discover, name##_listed, path, false)->Unit(benchmark::kMillisecond)->UseRealTime(); \
    BENCHMARK_CAPTURE(Discover, name##_aggregated, path, true)->Unit(benchmark::kMillisecond)->UseRealTime()

DISCOVERY(GuidHit, Path::kGuidHit);
DISCOVERY(GuidMiss, Path::kGuidMiss);
DISCOVERY(ZoneList, Path::kZoneList);
DISCOVERY(Label, Path::kLabel);
DISCOVERY(WildcardLabel, Path::kWildcardLabel);
DISCOVERY(Region, Path::kRegion);

}  // namespace

BENCHMARK_MAIN();
