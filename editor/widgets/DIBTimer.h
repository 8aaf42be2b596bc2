#pragma once
// A periodic timer driven by Poll(nowMs) from the window thread's idle or event loop, so it
// fires on that thread and a test can drive it with its own clock.
#include <cstdint>
#include <functional>

class TDIBTimer {
public:
    using TClock = std::function<int64_t()>;
    // The clock gives milliseconds; it stamps the start of a period when a setting changes.
    explicit TDIBTimer(TClock clock = {});

    int Interval() const { return Interval_; }
    bool Enabled() const { return Enabled_; }
    // Each change stops the running period and starts a new one when the timer is enabled, has
    // an interval above 0 and a handler.
    void SetInterval(int ms);
    void SetEnabled(bool e);
    void SetOnTimer(std::function<void(TDIBTimer&)> handler);
    bool Running() const { return Running_; }

    // Fires OnTimer once if a period has elapsed; missed periods are not caught up.
    // Returns true when it fired.
    bool Poll(int64_t nowMs);
    // Milliseconds until the next period ends, or -1 when not running.
    int64_t DueIn(int64_t nowMs) const;

    // A handler that throws is reported here and the timer keeps running.
    std::function<void(TDIBTimer&)> OnError;

private:
    void Restart();

    TClock Clock_;
    std::function<void(TDIBTimer&)> OnTimer_;
    int Interval_ = 1000;
    bool Enabled_ = true, Running_ = false;
    int64_t Start_ = 0;
};
