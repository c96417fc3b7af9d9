// What the library adds to one request: a facade GET (isProjectAccessible) against gcemu on loopback,
// beside a raw libcurl GET of the same URL, with the same bearer token and the same TLS verification, on
// one reused handle. Both keep their connection, so neither pays a handshake per request.
//
// RawCurlGet sends what the facade sends; RawCurlGetBearerOnly leaves out the content type, user agent
// and Accept-Encoding, to show what gcemu's compression of the answer costs. RawCurlGetGuarded adds the
// guards the library's HTTP client sets on every handle (its own stall limit in a progress callback,
// libcurl's low-speed check, the size cap, timeouts, keep-alive probes, https only, a header callback), so
// that what they cost inside libcurl is told apart from what the library's own code costs.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "BenchEmulator.h"

namespace {

const char kProject[] = "gcemu-project-1";
const char kUrl[] = "https://compute.googleapis.com/compute/v1/projects/gcemu-project-1/";

bench::BenchEmulator& Emulator() {
    static bench::BenchEmulator emulator;
    return emulator;
}

void FacadeGet(benchmark::State& state) {
    auto facade = Emulator().Connected();
    if (!facade->isProjectAccessible(kProject)) std::abort();  // the connection is up before timing
    for (auto _ : state) {
        if (!facade->isProjectAccessible(kProject)) state.SkipWithError(facade->GetLastError().c_str());
    }
}

size_t Append(char* data, size_t size, size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

size_t CountHeader(char*, size_t size, size_t count, void* lines) {
    ++*static_cast<int*>(lines);
    return size * count;
}

// What the client's stall check does at each call: the time, and whether the request is past connecting.
int Progress(void* curl, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    static std::chrono::steady_clock::time_point last;
    last = std::chrono::steady_clock::now();
    curl_off_t pretransfer = 0;
    curl_easy_getinfo(static_cast<CURL*>(curl), CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
    return 0;
}

void Guard(CURL* curl, int* headerLines) {
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, curl);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(256) << 20);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPIDLE, 60L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPINTVL, 60L);
    curl_easy_setopt(curl, CURLOPT_MAXCONNECTS, 16L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CountHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, headerLines);
}

enum class Raw { kBearerOnly, kSameHeaders, kGuarded };

// A raw GET on one reused handle. kSameHeaders: the facade's request as it goes on the wire (its
// content type, user agent and Accept-Encoding, which lets gcemu compress the answer); kBearerOnly: only
// the bearer token; kGuarded: the facade's request with the client's guards.
void RawGet(benchmark::State& state, Raw kind) {
    const bool sameHeaders = kind != Raw::kBearerOnly;
    gcemu::Emulator& emulator = Emulator().emulator();
    const std::string token = emulator.accounts().Issue(Emulator().key().email).accessToken;
    const std::string authorization = "Authorization: Bearer " + token;
    const std::string ca = emulator.CaFile();
    const std::string connectTo = "::127.0.0.1:" + std::to_string(emulator.Port());
    curl_slist* connect = curl_slist_append(nullptr, connectTo.c_str());
    curl_slist* headers = curl_slist_append(nullptr, authorization.c_str());
    if (sameHeaders) {
        headers = curl_slist_append(headers, "Content-Type: application/json");
        headers = curl_slist_append(headers, "Expect:");
    }
    CURL* curl = curl_easy_init();
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, kUrl);
    curl_easy_setopt(curl, CURLOPT_CONNECT_TO, connect);
    curl_easy_setopt(curl, CURLOPT_CAINFO, ca.c_str());
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    if (sameHeaders) {
        curl_easy_setopt(curl, CURLOPT_USERAGENT, "GoogleCloudSDKWrapper/1.0");
        curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    }
    int headerLines = 0;
    if (kind == Raw::kGuarded) Guard(curl, &headerLines);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    long status = 0;
    if (curl_easy_perform(curl) != CURLE_OK) std::abort();
    for (auto _ : state) {
        body.clear();
        if (curl_easy_perform(curl) != CURLE_OK) state.SkipWithError("the raw GET failed");
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        if (status != 200) state.SkipWithError("the raw GET was refused");
    }
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    curl_slist_free_all(connect);
}

void RawCurlGet(benchmark::State& state) {
    RawGet(state, Raw::kSameHeaders);
}
void RawCurlGetBearerOnly(benchmark::State& state) {
    RawGet(state, Raw::kBearerOnly);
}
void RawCurlGetGuarded(benchmark::State& state) {
    RawGet(state, Raw::kGuarded);
}

BENCHMARK(FacadeGet)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(RawCurlGet)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(RawCurlGetBearerOnly)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(RawCurlGetGuarded)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
