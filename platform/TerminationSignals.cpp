#include "platform/TerminationSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

namespace pelumir {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The self-pipe: the handler may only do what is safe in a signal handler,
// so it writes the signal's number and the event loop does the rest.
int g_pipe[2] = {-1, -1};

extern "C" void OnSignal(int signal) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

void SetHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Restarting keeps a read, a write or a lock wait under way from failing.
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;  // then the signals keep their default
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { Drain(); });
    for (int s : kSignals) SetHandler(s, OnSignal);
}

TerminationSignals::~TerminationSignals() {
    if (notifier_ == nullptr) return;
    for (int s : kSignals) SetHandler(s, SIG_DFL);
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TerminationSignals::Drain() {
    unsigned char byte = 0;
    int first = 0;
    while (::read(g_pipe[0], &byte, 1) == 1)
        if (first == 0) first = byte;
    // A second signal while the first is being handled changes nothing.
    if (first == 0 || handling_) return;
    handling_ = true;
    onSignal_(first);
    handling_ = false;
}

void EndBySignal(int signal) {
    SetHandler(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
}

}  // namespace pelumir
