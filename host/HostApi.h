// Shared macros of the host-services library.
#pragma once

#define HOST_API __attribute__((visibility("default")))
// printf-style checking for logging and formatting functions (argument positions count `this`).
#define HOST_PRINTF(fmtIndex, firstArg) __attribute__((format(printf, fmtIndex, firstArg)))
