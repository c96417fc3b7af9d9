#include "HeapCounter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace bench {
namespace {

std::atomic<size_t> g_inUse{0};
std::atomic<size_t> g_peak{0};

void* Allocate(size_t size) {
    void* pointer = std::malloc(size ? size : 1);
    if (!pointer) throw std::bad_alloc();
    size_t now = g_inUse.fetch_add(malloc_usable_size(pointer)) + malloc_usable_size(pointer);
    size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    return pointer;
}

void Release(void* pointer) {
    if (!pointer) return;
    g_inUse.fetch_sub(malloc_usable_size(pointer));
    std::free(pointer);
}

}  // namespace

void ResetHeapPeak() {
    g_peak = g_inUse.load();
}
size_t HeapInUse() {
    return g_inUse.load();
}
size_t HeapPeak() {
    return g_peak.load();
}

}  // namespace bench

void* operator new(size_t size) {
    return bench::Allocate(size);
}
void* operator new[](size_t size) {
    return bench::Allocate(size);
}
void operator delete(void* pointer) noexcept {
    bench::Release(pointer);
}
void operator delete[](void* pointer) noexcept {
    bench::Release(pointer);
}
void operator delete(void* pointer, size_t) noexcept {
    bench::Release(pointer);
}
void operator delete[](void* pointer, size_t) noexcept {
    bench::Release(pointer);
}
