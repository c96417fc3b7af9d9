// Shared by the fuzz targets: the input as text, a quiet log, and the check that makes a broken
// invariant a finding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/HbDebug.h"

namespace fuzzsupport {

inline std::string Text(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Every line is still formatted, so that code runs on each input, but none is shown: a run would
// spend its time writing to stderr.
inline void QuietLog() {
    host::SetProcessLogOnStderr(false);
}

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, file, line);
    std::abort();
}

}  // namespace fuzzsupport

#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::fuzzsupport::Fail(#condition, __FILE__, __LINE__))
