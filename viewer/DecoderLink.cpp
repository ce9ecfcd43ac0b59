#include "viewer/DecoderLink.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

extern char** environ;

namespace pelumir {

namespace {

using decoding::Reply;
using decoding::Request;

std::string& ExecutablePath() {
    static std::string path;
    return path;
}

std::string OwnFolder() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    std::string self(buffer, size_t(n));
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? "." : self.substr(0, slash);
}

// A message with the descriptors given (-1: none), in their order.
bool SendWith(int socket, const Request& request, int first, int second) {
    int fds[2];
    size_t n = 0;
    for (int fd : {first, second})
        if (fd >= 0) fds[n++] = fd;
    return decoding::SendMessage(socket, &request, sizeof request, std::span<const int>(fds, n));
}

}  // namespace

void DecoderLink::SetExecutable(std::string path) { ExecutablePath() = std::move(path); }

std::string DecoderLink::Executable() {
    if (ExecutablePath().empty()) ExecutablePath() = OwnFolder() + "/pelumir-decoder";
    return ExecutablePath();
}

bool DecoderLink::Start() {
    if (deaths_ >= kMaxDeaths) {
        problem_ = "画像を読むプロセスが続けて異常終了したため、このスライドショーでは画像を表示しません";
        return false;
    }
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0) {
        problem_ = std::string("画像を読むプロセスを起動できません: ") + std::strerror(errno);
        return false;
    }
    UniqueFd mine(sv[0]), theirs(sv[1]);
    // dup2 onto itself would leave close-on-exec set.
    if (theirs.get() == decoding::kSocketFd) theirs = UniqueFd(fcntl(sv[1], F_DUPFD_CLOEXEC, 10));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs.get(), decoding::kSocketFd);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD}) sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const std::string path = Executable();
    char* argv[] = {const_cast<char*>("pelumir-decoder"), nullptr};
    pid_t pid = 0;
    const int error = posix_spawn(&pid, path.c_str(), &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (error != 0) {
        problem_ = "画像を読むプロセス (" + path + ") を起動できません: " + std::strerror(error);
        return false;
    }
    pid_ = pid;
    socket_ = std::move(mine);
    problem_.clear();
    unanswered_.clear();
    screenOnProcess_ = screen_.empty();  // a new process starts with sRGB
    toldOnProcess_ = !told_;
    return true;
}

void DecoderLink::SetScreenProfile(std::vector<uint8_t> profile) {
    if (profile == screen_) return;
    screen_ = std::move(profile);
    screenOnProcess_ = false;
}

void DecoderLink::Stop() {
    if (pid_ != 0) {
        kill(pid_, SIGKILL);
        // A process with a large picture mapped takes milliseconds to end:
        // reaped later, so Escape never waits for it.
        ended_.push_back(pid_);
    }
    ReapEnded(false);
    pid_ = 0;
    socket_ = UniqueFd();
    unanswered_.clear();
    if (wanted_) wanted_->onProcess = false;
}

void DecoderLink::ReapEnded(bool wait) {
    std::erase_if(ended_, [wait](pid_t pid) {
        pid_t r;
        do r = waitpid(pid, nullptr, wait ? 0 : WNOHANG);
        while (r < 0 && errno == EINTR);
        return r != 0;
    });
}

bool DecoderLink::Send(Wanted& w) {
    // The process before may have read from the same open file.
    lseek(w.file.get(), 0, SEEK_SET);
    if (!screenOnProcess_) {
        // Just before a decode, which drops the one running anyway.
        Request screen;
        screen.kind = Request::Kind::Screen;
        const UniqueFd profile = decoding::SharedCopy("pelumir-screen", screen_);
        const int fd = profile.get();
        if (!decoding::SendMessage(socket_.get(), &screen, sizeof screen,
                                   fd >= 0 ? std::span<const int>(&fd, 1) : std::span<const int>()))
            return false;
        screenOnProcess_ = true;
    }
    if (!toldOnProcess_) {
        if (!SendWith(socket_.get(), told_->request, told_->first.get(), told_->second.get())) return false;
        toldOnProcess_ = true;
    }
    if (!SendWith(socket_.get(), w.request, w.file.get(), w.frame)) return false;
    w.onProcess = true;
    w.sent = Clock::now();
    unanswered_.push_back(w.request.id);
    return true;
}

bool DecoderLink::Decode(Request request, UniqueFd file, int frame) {
    request.kind = Request::Kind::Decode;
    return Ask(request, std::move(file), frame);
}

bool DecoderLink::Tell(const Request& request, int first, int second) {
    auto copy = [](int fd) { return UniqueFd(fd < 0 ? -1 : fcntl(fd, F_DUPFD_CLOEXEC, 0)); };
    told_ = Told{request, copy(first), copy(second)};
    toldOnProcess_ = false;
    if (!socket_.ok() && !Start()) return false;
    // A process gone since its last answer: the next request starts
    // another, which hears it first.
    if (SendWith(socket_.get(), request, told_->first.get(), told_->second.get())) toldOnProcess_ = true;
    else Died(true);
    return true;
}

bool DecoderLink::Ask(Request request, UniqueFd file, int frame) {
    request.id = nextId_++;
    if (wanted_ && wanted_->onProcess) supersededAt_ = Clock::now();
    wanted_ = Wanted{request, std::move(file), frame, {}, false};
    if (!socket_.ok() && !Start()) {
        wanted_.reset();
        return false;
    }
    if (!Send(*wanted_)) {
        // Gone since its last answer: a new one gets the picture.
        Died(true);
        if (!Start() || !Send(*wanted_)) {
            wanted_.reset();
            return false;
        }
    }
    return true;
}

void DecoderLink::Cancel() {
    if (wanted_ && wanted_->onProcess) {
        Request cancel;
        cancel.kind = Request::Kind::Cancel;
        cancel.id = wanted_->request.id;
        decoding::SendMessage(socket_.get(), &cancel, sizeof cancel);
        supersededAt_ = Clock::now();
    }
    wanted_.reset();
}

void DecoderLink::Died(bool counts) {
    Stop();
    if (counts) ++deaths_;
}

std::optional<DecoderLink::Answer> DecoderLink::Failed() {
    Answer answer;
    answer.reply.kind = Reply::Kind::Failed;
    answer.reply.id = wanted_ ? wanted_->request.id : 0;
    wanted_.reset();
    return answer;
}

void DecoderLink::Read(std::optional<Answer>& answer) {
    while (socket_.ok()) {
        Reply reply;
        int fds[2];
        const ptrdiff_t n = decoding::ReceiveMessage(socket_.get(), &reply, sizeof reply, fds, false);
        if (n == -2) return;
        if (n <= 0) {
            // The process died (or said something no process of ours says).
            const bool wantedRunning = wanted_ && wanted_->onProcess && !unanswered_.empty() &&
                                       unanswered_.front() == wanted_->request.id;
            Died(true);
            if (wantedRunning) answer = Failed();
            return;
        }
        // The whole picture first, when sent, then the table.
        UniqueFd first(fds[0]), second(fds[1]);
        UniqueFd whole = reply.wholeSent != 0 ? std::move(first) : UniqueFd();
        UniqueFd extra = reply.wholeSent != 0 ? std::move(second) : std::move(first);
        if (reply.kind == Reply::Kind::Ready) {
            static bool told = false;
            if (reply.sandboxed == 0 && !told) {
                told = true;
                reply.note[sizeof reply.note - 1] = 0;
                std::fprintf(stderr, "pelumir: pictures are decoded in a process of their own, without a sandbox: %s\n",
                             reply.note);
            }
            continue;
        }
        const auto it = std::find(unanswered_.begin(), unanswered_.end(), reply.id);
        if (it != unanswered_.end()) unanswered_.erase(unanswered_.begin(), it + 1);
        deaths_ = 0;
        if (wanted_ && wanted_->onProcess && reply.id == wanted_->request.id) {
            wanted_.reset();
            answer = Answer{reply, std::move(whole), std::move(extra)};
            return;
        }
    }
}

std::optional<DecoderLink::Answer> DecoderLink::Poll(std::chrono::milliseconds wait) {
    ReapEnded(false);
    const Clock::time_point deadline = Clock::now() + wait;
    for (;;) {
        if (wanted_ && !wanted_->onProcess) {
            // Its process is gone: a new one gets it.
            if ((!socket_.ok() && !Start()) || !Send(*wanted_)) {
                if (socket_.ok()) Died(true);
                return Failed();
            }
        }
        std::optional<Answer> answer;
        Read(answer);
        if (answer) return answer;
        if (!wanted_) return std::nullopt;
        if (!wanted_->onProcess) continue;
        const Clock::time_point now = Clock::now();
        Clock::time_point next = wanted_->sent + kHangLimit;
        if (now >= next) {
            Died(true);
            return Failed();
        }
        if (!unanswered_.empty() && unanswered_.front() != wanted_->request.id) {
            // Another picture is still being decoded ahead of the wanted one.
            if (now >= supersededAt_ + kDropGrace) {
                Died(false);
                continue;
            }
            next = std::min(next, supersededAt_ + kDropGrace);
        }
        if (now >= deadline) return std::nullopt;
        next = std::min(next, deadline);
        pollfd p{socket_.get(), POLLIN, 0};
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
        poll(&p, 1, int(std::min<int64_t>(ms, 1000)));
    }
}

}  // namespace pelumir
