#include "GoogleCloudConnection/RetryPolicy.h"

#include <algorithm>
#include <charconv>
#include <ctime>

namespace GoogleCloudSDKWrapper {

bool TransientRetryPolicy::IsTransient(int64_t status) {
    switch (status) {
        case 0:
        case 408:
        case 429:
        case 500:
        case 502:
        case 503:
        case 504:
            return true;
        default:
            return false;
    }
}

bool TransientRetryPolicy::OnFailure(int64_t status) {
    if (m_retriesLeft == 0 || !IsTransient(status)) return false;
    --m_retriesLeft;
    return true;
}

ExponentialBackoff::ExponentialBackoff(uint32_t initialSecs, uint32_t maxSecs)
    : m_boundMs(uint64_t{initialSecs} * 1000), m_capMs(uint64_t{maxSecs} * 1000) {}

bool ExponentialBackoff::RetryAfterSecs(const std::string& retryAfter, int64_t now, int64_t& secs) {
    if (retryAfter.empty()) return false;
    const char* end = retryAfter.data() + retryAfter.size();
    const auto [stop, error] = std::from_chars(retryAfter.data(), end, secs);
    if (error == std::errc() && stop == end) return secs >= 0;
    // "Wed, 21 Oct 2015 07:28:00 GMT"
    std::tm parts{};
    const char* parsed = strptime(retryAfter.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &parts);
    if (!parsed || *parsed != '\0') return false;
    secs = std::max<int64_t>(0, static_cast<int64_t>(timegm(&parts)) - now);
    return true;
}

uint64_t ExponentialBackoff::NextDelayMs(const std::string& retryAfter, int64_t now) {
    int64_t secs = 0;
    if (RetryAfterSecs(retryAfter, now, secs))
        return std::min<uint64_t>(static_cast<uint64_t>(std::min<int64_t>(secs, INT64_MAX / 1000)) * 1000,
                                  m_capMs);
    const uint64_t bound = std::min(m_boundMs, m_capMs);
    m_boundMs = std::min(m_boundMs * 2, m_capMs);
    if (!m_random) m_random.emplace(std::random_device{}());
    return std::uniform_int_distribution<uint64_t>(0, bound)(*m_random);
}

}  // namespace GoogleCloudSDKWrapper
