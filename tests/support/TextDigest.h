// A 64-bit FNV-1a digest of a text: one number that changes when any character of it does, for
// comparing a long run of host-visible texts with the run recorded before a change.
#pragma once

#include <cstdint>
#include <string>

inline uint64_t TextDigest(const std::string& text) {
    uint64_t h = 14695981039346656037ull;
    for (const char c : text) h = (h ^ uint8_t(c)) * 1099511628211ull;
    return h;
}
