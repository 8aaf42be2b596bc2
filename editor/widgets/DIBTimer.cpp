#include "editor/widgets/DIBTimer.h"

#include <chrono>

TDIBTimer::TDIBTimer(TClock clock) : Clock_(std::move(clock)) {
    if (!Clock_)
        Clock_ = [] {
            using namespace std::chrono;
            return int64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
        };
}

void TDIBTimer::Restart() {
    Running_ = Enabled_ && Interval_ > 0 && OnTimer_;
    if (Running_) Start_ = Clock_();
}

void TDIBTimer::SetInterval(int ms) {
    if (ms == Interval_) return;
    Interval_ = ms;
    Restart();
}

void TDIBTimer::SetEnabled(bool e) {
    if (e == Enabled_) return;
    Enabled_ = e;
    Restart();
}

void TDIBTimer::SetOnTimer(std::function<void(TDIBTimer&)> handler) {
    OnTimer_ = std::move(handler);
    Restart();
}

int64_t TDIBTimer::DueIn(int64_t nowMs) const {
    if (!Running_) return -1;
    const int64_t left = Start_ + Interval_ - nowMs;
    return left > 0 ? left : 0;
}

bool TDIBTimer::Poll(int64_t nowMs) {
    if (!Running_ || nowMs - Start_ < Interval_) return false;
    Start_ += (nowMs - Start_) / Interval_ * Interval_;
    try {
        OnTimer_(*this);
    } catch (...) {
        if (OnError) OnError(*this);
    }
    return true;
}
