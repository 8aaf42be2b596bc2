// The X display of the tests that open real windows: a server that resets after its last client
// needs a moment before it accepts again, so the connection is tried for about a second.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <thread>

inline Display* OpenTestDisplay() {
    Display* d = nullptr;
    for (int attempt = 0; attempt < 20 && !d; ++attempt) {
        d = XOpenDisplay(nullptr);
        if (!d) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return d;
}
