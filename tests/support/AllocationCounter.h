// Counts heap allocations made on the calling thread, so a test can prove a call allocates nothing.
#pragma once

#include <cstdint>

namespace alloc_count {
void Start();          // count from now on, on this thread
int64_t Stop();        // stop counting; the allocations seen since Start
}  // namespace alloc_count
