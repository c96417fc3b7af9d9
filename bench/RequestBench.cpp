// What the library adds to one request: a facade GET (isProjectAccessible) against gcemu on loopback,
// beside a raw libcurl GET of the same URL, with the same bearer token and the same TLS verification, on
// one reused handle. Both keep their connection, so neither pays a handshake per request.
//
// RawCurlGet sends what the facade sends; RawCurlGetBearerOnly leaves out the content type, user agent
// and Accept-Encoding, to show what gcemu's compression of the answer costs.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

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

// A raw GET on one reused handle. sameHeaders: the facade's request as it goes on the wire (its
// content type, user agent and Accept-Encoding, which lets gcemu compress the answer); otherwise only the
// bearer token.
void RawGet(benchmark::State& state, bool sameHeaders) {
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
    RawGet(state, true);
}
void RawCurlGetBearerOnly(benchmark::State& state) {
    RawGet(state, false);
}

BENCHMARK(FacadeGet)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(RawCurlGet)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(RawCurlGetBearerOnly)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
