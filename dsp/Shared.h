// A one-word value shared between the host's threads: written whole, read whole, relaxed.
// No ordering between two such words is relied on anywhere in the plug-in.
#pragma once

#include <atomic>

template <class T>
class Shared {
    std::atomic<T> v_;
    static_assert(std::atomic<T>::is_always_lock_free);

public:
    Shared(T v = T{}) : v_(v) {}
    Shared(const Shared& other) : v_(T(other)) {}
    Shared& operator=(const Shared& other) {
        v_.store(T(other), std::memory_order_relaxed);
        return *this;
    }
    operator T() const { return v_.load(std::memory_order_relaxed); }
    Shared& operator=(T v) {
        v_.store(v, std::memory_order_relaxed);
        return *this;
    }
    // The one read-modify-write we allow: a flag taken by the audio thread and raised elsewhere.
    T Exchange(T v) { return v_.exchange(v, std::memory_order_relaxed); }
};
