#pragma once
// SIGTERM, SIGHUP and SIGINT (log-off, shutdown, a closed terminal, Ctrl+C)
// as calls on the event loop, so the program can save before it ends.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace pelumir {

class TerminationSignals : public QObject {
public:
    // From now on the three signals no longer end the process at once: each
    // calls onSignal with its number, on the event loop, once control gets
    // back there (a save under way finishes first). One object at a time.
    explicit TerminationSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;

private:
    void Drain();

    std::function<void(int)> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
    bool handling_ = false;
};

// Ends the process as the signal would have without our handler, so the
// parent (a shell, the session manager) sees why it ended.
[[noreturn]] void EndBySignal(int signal);

}  // namespace pelumir
