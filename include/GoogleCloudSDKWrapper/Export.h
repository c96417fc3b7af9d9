/// @file
/// Symbols of the library are hidden unless marked: the facade class and the records are exported.
#pragma once

/// Marks a class as part of the library's exported interface.
#define GCSDK_API __attribute__((visibility("default")))
