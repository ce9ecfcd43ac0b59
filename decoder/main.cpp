// pelumir-decoder: turns the pictures the program hands over into frames.
// Every picture byte is read here, never in the program: a fault in a codec
// ends this process only, and the sandbox keeps it from doing anything but
// work on what it was handed.
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "decoder/DecodeJob.h"
#include "decoder/FrameJob.h"
#include "decoder/Protocol.h"
#include "decoder/Sandbox.h"
#include "image/Formats.h"
#include "image/LateLibrary.h"

namespace {

using namespace pelumir;
using namespace pelumir::decoding;

// The largest picture and file we take, with room for a codec's own copy
// and the threads some codecs start.
constexpr uint64_t kMemoryCap = uint64_t(4) << 30;

struct Message {
    Request request;
    int fds[2] = {-1, -1};
};

void CloseAll(Message& m) {
    for (int& fd : m.fds)
        if (fd >= 0) close(std::exchange(fd, -1));
}

}  // namespace

int main() {
    const int sock = kSocketFd;
    struct stat st {};
    if (fstat(sock, &st) != 0 || !S_ISSOCK(st.st_mode)) {
        std::fputs("pelumir-decoder: started by the program only\n", stderr);
        return 2;
    }
    OpenLibrariesNow();
    std::string why;
    Reply ready;
    ready.kind = Reply::Kind::Ready;
    ready.sandboxed = EnterSandbox(sock, kMemoryCap, why) ? 1 : 0;
    std::strncpy(ready.note, why.c_str(), sizeof ready.note - 1);
    if (!SendMessage(sock, &ready, sizeof ready)) return 0;

    DecodeJob job;
    FrameJob frames;
    FrameMapping frame;
    std::optional<Message> next;
    for (;;) {
        Message m;
        if (next) {
            m = *next;
            next.reset();
        } else {
            const ptrdiff_t n = ReceiveMessage(sock, &m.request, sizeof m.request, m.fds, true);
            if (n == 0) return 0;  // the program has gone
            if (n < 0) continue;
        }
        const Request::Kind kind = m.request.kind;
        if (kind == Request::Kind::Screen) job.SetScreen(ReadShared(m.fds[0], kMaxProfileBytes));
        if (kind == Request::Kind::Frames)
            frames.Begin(m.request, std::exchange(m.fds[0], -1), std::exchange(m.fds[1], -1));
        const bool answered = kind == Request::Kind::Decode || kind == Request::Kind::NextFrame ||
                              kind == Request::Kind::Canvas;
        if (!answered) {
            CloseAll(m);
            continue;
        }
        if (kind == Request::Kind::Canvas) {
            CloseAll(m);
            JobResult result = frames.Canvas(m.request);
            const int fd = result.whole.get();
            if (!SendMessage(sock, &result.reply, sizeof result.reply,
                             fd >= 0 ? std::span<const int>(&fd, 1) : std::span<const int>()))
                return 0;
            continue;
        }
        // A frame's memory comes with a NextFrame alone, after the file with a Decode.
        int& memoryFd = kind == Request::Kind::NextFrame ? m.fds[0] : m.fds[1];
        uint8_t* memory = nullptr;
        const size_t bytes = m.request.frameWidth >= 0 && m.request.frameHeight >= 0
                                 ? FrameBytes(m.request.frameWidth, m.request.frameHeight)
                                 : 0;
        if (memoryFd >= 0) memory = frame.Map(std::exchange(memoryFd, -1), bytes);
        if (kind == Request::Kind::NextFrame) {
            CloseAll(m);
            const Reply reply = frames.Next(m.request, memory, bytes);
            if (!SendMessage(sock, &reply, sizeof reply)) return 0;
            continue;
        }
        // Any word from the program while a picture is decoded drops it:
        // the program asks again for what it still wants.
        auto dropped = [&] {
            pollfd p{sock, POLLIN, 0};
            if (poll(&p, 1, 0) <= 0) return false;
            Message later;
            const ptrdiff_t n = ReceiveMessage(sock, &later.request, sizeof later.request, later.fds, false);
            if (n == 0 || (n < 0 && (p.revents & (POLLHUP | POLLERR)) != 0)) _exit(0);  // the program has gone
            if (n < 0) return false;  // nothing, or nothing of ours
            next = later;
            return true;
        };
        JobResult result = job.Run(m.request, std::exchange(m.fds[0], -1), memory, bytes, dropped);
        // Those sent, in this order; the reply says which.
        int fds[2];
        size_t sent = 0;
        for (const UniqueFd* fd : {&result.whole, &result.table})
            if (fd->ok()) fds[sent++] = fd->get();
        if (!SendMessage(sock, &result.reply, sizeof result.reply, std::span<const int>(fds, sent))) return 0;
        // A picture that may move goes on in the frame process, which then
        // holds frames of its own: this one is let go here. Any other stays
        // mapped, so the next picture written there costs no page faults.
        if (MayMove(std::string_view(m.request.extension, strnlen(m.request.extension, sizeof m.request.extension))))
            LetPagesGo(memory, bytes);
    }
}
