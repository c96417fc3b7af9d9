// How fast a list of about 2 MB goes from text to records, and how much heap it needs per MB of text,
// for each list family the library reads in bulk, beside nlohmann's parse of the same text.
//
// Compute Engine instances also go stage by stage: RapidJSON's reader alone (the floor) and the whole
// text into our value model.
#include <benchmark/benchmark.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "GoogleCloudParser/CGoogleCloudParser.h"
#include "HeapCounter.h"
#include "ListTexts.h"
#include "host/ZkJson.h"

namespace {

using GoogleCloudSDKWrapper::CGoogleCloudParser;

// Runs the stage, then reports throughput and the peak heap it needed per MB of text.
template <typename Stage>
void Measure(benchmark::State& state, const bench::ListText& list, Stage stage) {
    const std::string& text = list.text;
    size_t peakPerRun = 0;
    for (auto _ : state) {
        size_t before = bench::HeapInUse();
        bench::ResetHeapPeak();
        stage(list);
        peakPerRun = std::max(peakPerRun, bench::HeapPeak() - before);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    double megabytes = static_cast<double>(text.size()) / (1024.0 * 1024.0);
    state.counters["text_MB"] = megabytes;
    state.counters["peak_heap_MB_per_text_MB"] =
        static_cast<double>(peakPerRun) / (1024.0 * 1024.0) / megabytes;
}

// Text to the library's records of that family, as its queries read a page.
template <typename Record>
void Records(benchmark::State& state, const bench::ListText& list) {
    CGoogleCloudParser parser;
    Measure(state, list, [&parser](const bench::ListText& list) {
        std::vector<Record> records;
        benchmark::DoNotOptimize(parser.ParseList(list.text, list.listKey, records));
        if (records.size() != list.elements) std::abort();
    });
    // The floor of any reader that hands over these records: the records themselves (their inline part).
    const double megabytes = static_cast<double>(list.text.size()) / (1024.0 * 1024.0);
    state.counters["records_MB_per_text_MB"] =
        static_cast<double>(list.elements * sizeof(Record)) / (1024.0 * 1024.0) / megabytes;
}

void Nlohmann(benchmark::State& state, const bench::ListText& list) {
    Measure(state, list,
            [](const bench::ListText& list) { benchmark::DoNotOptimize(nlohmann::json::parse(list.text)); });
}

void RapidJsonReaderOnly(benchmark::State& state) {
    Measure(state, bench::InstanceList(), [](const bench::ListText& list) {
        rapidjson::BaseReaderHandler<> handler;
        rapidjson::Reader reader;
        rapidjson::StringStream stream(list.text.c_str());
        benchmark::DoNotOptimize(reader.Parse(stream, handler));
    });
}

void ValueModel(benchmark::State& state) {
    Measure(state, bench::InstanceList(), [](const bench::ListText& list) {
        json_spirit::mObject object;
        benchmark::DoNotOptimize(ZkJson::Unserialize(list.text, object));
    });
}

void InstanceRecords(benchmark::State& state) {
    Records<GoogleCloudSDKWrapper::SVMInfoLib>(state, bench::InstanceList());
}
void InstanceNlohmann(benchmark::State& state) {
    Nlohmann(state, bench::InstanceList());
}
void SqlInstanceRecords(benchmark::State& state) {
    Records<GoogleCloudSDKWrapper::SDBInstanceInfoLib>(state, bench::SqlInstanceList());
}
void SqlInstanceNlohmann(benchmark::State& state) {
    Nlohmann(state, bench::SqlInstanceList());
}
void SpannerDatabaseRecords(benchmark::State& state) {
    Records<GoogleCloudSDKWrapper::SSpannerDatabaseInfoLib>(state, bench::SpannerDatabaseList());
}
void SpannerDatabaseNlohmann(benchmark::State& state) {
    Nlohmann(state, bench::SpannerDatabaseList());
}

BENCHMARK(RapidJsonReaderOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(ValueModel)->Unit(benchmark::kMillisecond);
BENCHMARK(InstanceRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(InstanceNlohmann)->Unit(benchmark::kMillisecond);
BENCHMARK(SqlInstanceRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(SqlInstanceNlohmann)->Unit(benchmark::kMillisecond);
BENCHMARK(SpannerDatabaseRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(SpannerDatabaseNlohmann)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
