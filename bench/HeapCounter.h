// Counts heap bytes in use through the global allocation functions, so a benchmark can report the
// peak heap of one stage.
#pragma once

#include <cstddef>

namespace bench {

void ResetHeapPeak();  // the peak starts again from the bytes in use now
size_t HeapInUse();
size_t HeapPeak();

}  // namespace bench
