#pragma once
// A window-style timer over QTimer, with the rules the viewer relies on:
// setting the period a timer already has does nothing; a new period re-arms
// a running timer (restarting its countdown) and is only stored on a stopped
// one; starting a running timer keeps its countdown; period 0 never ticks.
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

namespace pelumir {

class Timer : public QObject {
    Q_OBJECT
public:
    explicit Timer(uint32_t periodMs, QObject* parent = nullptr);

    // Throws Exception("タイマーを取得できません") when the system refuses.
    void SetInterval(uint32_t periodMs);
    uint32_t Interval() const { return period_; }
    void Start();
    void Stop();
    // Started and not stopped since, whether or not the period lets it tick.
    bool Enabled() const { return enabled_; }
    // Milliseconds to the next tick, -1 when it will not tick.
    int RemainingMs() const;

    // Called on each tick; the timer keeps ticking until stopped.
    std::function<void()> OnTimer;

private:
    void Arm();

    QTimer timer_;
    uint32_t period_;
    bool enabled_ = false;
};

}  // namespace pelumir
