// How fast an instance list of about 2.5 MB goes from text to records, stage by stage, and how much
// heap each stage needs per MB of text.
//
// The list holds 500 instances made from one real captured instance with varied names and ids,
// written compactly (about 2.5 MB).
#include <benchmark/benchmark.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "HeapCounter.h"
#include "host/ZkJson.h"

namespace {

const std::string& InstanceList() {
    static const std::string text = [] {
        std::ifstream in(std::string(GCSDK_FIXTURES_DIR) + "/compute/instances-list-two-disks-metadata.json");
        std::stringstream content;
        content << in.rdbuf();
        nlohmann::json fixture = nlohmann::json::parse(content.str());
        const nlohmann::json& instance = fixture["items"][0];
        nlohmann::json list = {{"kind", "compute#instanceList"},
                               {"id", "projects/bench-project/zones/us-west1-a/instances"},
                               {"items", nlohmann::json::array()}};
        for (int i = 0; i < 500; ++i) {
            nlohmann::json copy = instance;
            copy["name"] = "backup-target-" + std::to_string(i);
            copy["id"] = std::to_string(4100000000000000000ULL + static_cast<unsigned long long>(i) * 7919);
            list["items"].push_back(std::move(copy));
        }
        return list.dump();  // compact: about 2.5 MB
    }();
    return text;
}

// Runs the stage, then reports throughput and the peak heap it needed per MB of text.
template <typename Stage>
void Measure(benchmark::State& state, Stage stage) {
    const std::string& text = InstanceList();
    size_t peakPerRun = 0;
    for (auto _ : state) {
        size_t before = bench::HeapInUse();
        bench::ResetHeapPeak();
        stage(text);
        peakPerRun = std::max(peakPerRun, bench::HeapPeak() - before);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    double megabytes = static_cast<double>(text.size()) / (1024.0 * 1024.0);
    state.counters["text_MB"] = megabytes;
    state.counters["peak_heap_MB_per_text_MB"] =
        static_cast<double>(peakPerRun) / (1024.0 * 1024.0) / megabytes;
}

void RapidJsonReaderOnly(benchmark::State& state) {
    Measure(state, [](const std::string& text) {
        rapidjson::BaseReaderHandler<> handler;
        rapidjson::Reader reader;
        rapidjson::StringStream stream(text.c_str());
        benchmark::DoNotOptimize(reader.Parse(stream, handler));
    });
}

void ValueModel(benchmark::State& state) {
    Measure(state, [](const std::string& text) {
        json_spirit::mObject object;
        benchmark::DoNotOptimize(ZkJson::Unserialize(text, object));
    });
}

void InstanceRecords(benchmark::State& state) {
    GoogleCloudSDKWrapper::CGoogleCloudParser parser;
    Measure(state, [&parser](const std::string& text) {
        std::vector<GoogleCloudSDKWrapper::SVMInfoLib> vms;
        benchmark::DoNotOptimize(parser.ParseList(text, "items", vms));
        if (vms.size() != 500) std::abort();
    });
}

void NlohmannParse(benchmark::State& state) {
    Measure(state, [](const std::string& text) { benchmark::DoNotOptimize(nlohmann::json::parse(text)); });
}

BENCHMARK(RapidJsonReaderOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(ValueModel)->Unit(benchmark::kMillisecond);
BENCHMARK(InstanceRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(NlohmannParse)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
