// Resending reads that failed for a passing reason: a retry policy decides whether another try is
// allowed, a back-off policy how long to wait before it. A fresh pair serves each request.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>

namespace GoogleCloudSDKWrapper {

class TransientRetryPolicy {
public:
    // Reads only: a POST, PUT, PATCH or DELETE that reached the server may have done its work.
    TransientRetryPolicy(bool idempotent, uint32_t maxRetries) : m_retriesLeft(idempotent ? maxRetries : 0) {}

    // Whether a failure with this HTTP status (0: no answer came) may be sent again; takes one retry.
    bool OnFailure(int64_t status);
    // 408, 429, 500, 502, 503, 504, and no answer at all (refused, reset, timed out).
    static bool IsTransient(int64_t status);

private:
    uint32_t m_retriesLeft;
};

class ExponentialBackoff {
public:
    // From initialSecs doubling, each delay drawn at random up to that bound ("full jitter"), never more
    // than maxSecs.
    ExponentialBackoff(uint32_t initialSecs, uint32_t maxSecs);

    // The next pause in milliseconds. A Retry-After the server gave (seconds, or an HTTP date compared
    // with now) is honoured up to the cap instead.
    uint64_t NextDelayMs(const std::string& retryAfter, int64_t now);

    // Retry-After as seconds from now; false when it is neither form.
    static bool RetryAfterSecs(const std::string& retryAfter, int64_t now, int64_t& secs);

private:
    uint64_t m_boundMs;
    uint64_t m_capMs;
    // Seeded at the first pause: every request makes a back-off, and seeding costs a system call.
    std::optional<std::mt19937_64> m_random;
};

}  // namespace GoogleCloudSDKWrapper
