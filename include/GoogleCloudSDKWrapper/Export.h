// Symbols of the library are hidden unless marked: the facade class and the records are exported.
#pragma once

#define GCSDK_API __attribute__((visibility("default")))
