#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pelumir {
namespace {

// A parent (a shell running a script, a service manager) must see the
// program die by the signal it was sent, after our handler has saved: an
// exit status of 128 + n reads as a failure that the program chose.
TEST(TerminationSignals, TheProgramDiesByTheSignalItGot) {
    for (const int sig : {SIGTERM, SIGHUP, SIGINT}) {
        int ready[2], handled[2];
        ASSERT_EQ(::pipe(ready), 0);
        ASSERT_EQ(::pipe(handled), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            TerminationSignals termination([&](int got) {
                const unsigned char byte = static_cast<unsigned char>(got);
                if (::write(handled[1], &byte, 1) != 1) ::_exit(97);
                EndBySignal(got);
            });
            if (::write(ready[1], "r", 1) != 1) ::_exit(98);
            QTimer::singleShot(20000, [] { ::_exit(99); });  // never hang the suite
            QCoreApplication::exec();
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(handled[1]);
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        ::kill(child, sig);
        unsigned char got = 0;
        const bool sawHandler = ::read(handled[0], &got, 1) == 1;
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ::close(ready[0]);
        ::close(handled[0]);
        EXPECT_TRUE(sawHandler && got == sig) << "signal " << sig << " did not reach the handler";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig)
            << "signal " << sig << ": exit status " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
}

}  // namespace
}  // namespace pelumir
