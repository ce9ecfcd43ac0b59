#include "platform/Timer.h"

#include <climits>

#include "platform/Exception.h"

namespace pelumir {

Timer::Timer(uint32_t periodMs, QObject* parent) : QObject(parent), period_(periodMs) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (OnTimer) OnTimer();
    });
}

void Timer::SetInterval(uint32_t periodMs) {
    if (periodMs == period_) return;
    period_ = periodMs;
    if (enabled_) Arm();
}

void Timer::Start() {
    if (enabled_) return;
    enabled_ = true;
    try {
        Arm();
    } catch (...) {
        enabled_ = false;
        throw;
    }
}

void Timer::Stop() {
    enabled_ = false;
    timer_.stop();
}

int Timer::RemainingMs() const { return timer_.isActive() ? timer_.remainingTime() : -1; }

void Timer::Arm() {
    timer_.stop();
    // A period of 0 never ticks. Periods past INT_MAX ms (a negative number
    // of seconds taken as unsigned) are more than 24 days: treated the same.
    if (period_ == 0 || period_ > uint32_t(INT_MAX)) return;
    timer_.start(int(period_));
    if (!timer_.isActive()) throw Exception("タイマーを取得できません");
}

}  // namespace pelumir
