// Types and constants shared with the library's callers.
#pragma once

#include <cstdint>

typedef uint64_t UINT64;

// VM property mask bits the library acts on; every other bit is ignored.
#ifndef VM_PROP_VM_DISK_LIST
#define VM_PROP_VM_DISK_LIST 0x10ULL  // read the full disk resource of every attached disk
#endif
#ifndef VM_PROP_HOST_NW_LIST
#define VM_PROP_HOST_NW_LIST 0x4000000ULL  // fill each zone's network list
#endif
#ifndef VM_PROP_HOST_VM_LIST
#define VM_PROP_HOST_VM_LIST 0x20000000ULL  // fill each zone's VM list
#endif
