/// @file
/// Types and constants shared with the library's callers.
#pragma once

#include <cstdint>

/// The VM property mask's type, and that of other 64-bit counts the facade takes.
typedef uint64_t UINT64;

// VM property mask bits the library acts on; every other bit is ignored.
#ifndef VM_PROP_VM_DISK_LIST
/// Mask bit: read the full disk resource of every attached disk of each VM found.
#define VM_PROP_VM_DISK_LIST 0x10ULL
#endif
#ifndef VM_PROP_HOST_NW_LIST
/// Mask bit: fill each zone's network list (SZoneInfoLib::networkList).
#define VM_PROP_HOST_NW_LIST 0x4000000ULL
#endif
#ifndef VM_PROP_HOST_VM_LIST
/// Mask bit: fill each zone's VM list (SZoneInfoLib::vmList).
#define VM_PROP_HOST_VM_LIST 0x20000000ULL
#endif
