// The built module's editor on a real X server, idled as a host does: effEditIdle every 40 ms
// for a while, in one of three states. Static: nothing changes. Engaged: the Flanger chosen, a
// synced value held, the transport running and audio processed between idles. Automated:
// "Del Fbck" set by the host before every idle. Prints the CPU time of the idle calls and what
// this process wrote to the X server.
//
//   qbfx_editor_xdriver <module> <static|engaged|automated> [seconds]
//
// Run it on a display of its own (xvfb-run). An idle that runs the form's 60 ms timer is two
// idles in three, so the 2/3 quantile of the idle times stands for the median tick.
#include "tests/support/TestHost.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

double ThreadCpu() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Bytes this process has written (the X connection is the only thing it writes to while idling).
long long WrittenBytes() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long v = 0;
    while (io >> key >> v)
        if (key == "wchar:") return v;
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <module> <static|engaged|automated> [seconds]\n", argv[0]);
        return 2;
    }
    const std::string state = argv[2];
    const double seconds = argc > 3 ? std::atof(argv[3]) : 10.0;
    Display* d = XOpenDisplay(nullptr);
    if (!d) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    const ::Window parent = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 632, 395, 0, 0, 0);
    XMapWindow(d, parent);
    XSync(d, False);

    TestHost host = TestHost::FromLibrary(argv[1]);
    if (!host.Open()) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    host.Dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    host.Dispatch(effSetBlockSize, 0, 1920);
    host.Dispatch(effMainsChanged, 0, 1);
    if (host.Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(parent))) != 1) {
        std::fprintf(stderr, "no editor\n");
        return 1;
    }
    std::vector<float> inL(1920), inR(1920), outL(1920), outR(1920);
    for (size_t i = 0; i < inL.size(); ++i) {
        inL[i] = float(0.3 * std::sin(double(i) * 0.05));
        inR[i] = float(0.3 * std::sin(double(i) * 0.031));
    }
    host.Time.sampleRate = 48000.0;
    host.Time.tempo = 120.0;
    host.Time.flags = kVstTempoValid | kVstPpqPosValid;
    host.AdvanceTime = true;
    if (state == "engaged") {
        host.Time.flags |= kVstTransportPlaying;
        host.SetParameter(31, 1.0f);    // LFO amplification
        host.SetParameter(2, 0.75f);    // the Flanger's trigger
        host.SetParameter(13, 1.0f);    // the fourth synced value held: the LFO runs
    }
    using Clock = std::chrono::steady_clock;
    auto next = Clock::now();
    std::vector<double> idles;
    long long bytes0 = 0;
    double cpuSum = 0.0;
    const int warmup = 25, count = int(seconds * 25.0);
    for (int n = 0; n < warmup + count; ++n) {
        if (n == warmup) bytes0 = WrittenBytes();
        host.Time.sampleRate = 48000.0;
    host.Time.tempo = 120.0;
    host.Time.flags = kVstTempoValid | kVstPpqPosValid;
    host.AdvanceTime = true;
    if (state == "engaged") {
        host.Time.flags |= kVstTransportPlaying;
            host.Process(inL.data(), inR.data(), outL.data(), outR.data(), 1920);
        } else if (state == "automated") {
            const int phase = n % 100;
            host.SetParameter(40, float(phase < 50 ? phase : 100 - phase) / 50.0f);
        }
        host.ClearCalls();
        const double t0 = ThreadCpu();
        host.Dispatch(effEditIdle);
        const double cpu = ThreadCpu() - t0;
        if (n >= warmup) {
            idles.push_back(cpu);
            cpuSum += cpu;
        }
        next += std::chrono::milliseconds(40);
        std::this_thread::sleep_until(next);
    }
    const long long bytes = WrittenBytes() - bytes0;
    host.Dispatch(effEditClose);
    host.Close();
    XDestroyWindow(d, parent);
    XCloseDisplay(d);

    std::sort(idles.begin(), idles.end());
    auto at = [&](double q) {
        return idles[std::min(idles.size() - 1, size_t(q * double(idles.size())))];
    };
    const double wall = count * 0.040;
    std::printf("%s: %d idles, tick median %.3f ms (2/3 quantile of idles), max %.3f ms, "
                "editor CPU %.2f %% of a core, %.0f bytes/s to the X server\n",
                state.c_str(), count, at(2.0 / 3.0) * 1e3, idles.back() * 1e3,
                cpuSum / wall * 100.0, double(bytes) / wall);
    return 0;
}
