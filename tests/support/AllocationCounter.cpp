#include "tests/support/AllocationCounter.h"

#include <cstdlib>
#if defined(_WIN32)
#include <malloc.h>
#endif
#include <new>

namespace {
thread_local bool Counting = false;
thread_local int64_t Count = 0;

void* Allocate(std::size_t size) {
    if (Counting) ++Count;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* AllocateAligned(std::size_t size, std::align_val_t align) {
    if (Counting) ++Count;
    const std::size_t a = std::size_t(align);
#if defined(_WIN32)
    if (void* p = _aligned_malloc(size ? size : 1, a)) return p;   // the C runtime has no aligned_alloc
#else
    if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) return p;
#endif
    throw std::bad_alloc();
}
void FreeAligned(void* p) {
#if defined(_WIN32)
    _aligned_free(p);
#else
    std::free(p);
#endif
}
}  // namespace

namespace alloc_count {
void Start() {
    Count = 0;
    Counting = true;
}
int64_t Stop() {
    Counting = false;
    return Count;
}
}  // namespace alloc_count

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t a) { return AllocateAligned(size, a); }
void* operator new[](std::size_t size, std::align_val_t a) { return AllocateAligned(size, a); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { FreeAligned(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { FreeAligned(p); }
