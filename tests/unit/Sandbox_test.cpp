// The decoder's sandbox, entered in a child process: what a hijacked codec could use is refused, and what the
// decoders need works, every format giving inside the picture it gives outside.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include "decoder/Sandbox.h"
#include "image/Decoders.h"
#include "image/LateLibrary.h"
#include "tests/unit/TestFiles.h"

namespace pelumir {
namespace {

std::string Holds(bool ok) { return ok ? "ok" : "failed"; }
std::string Refused(long result) { return Holds(result == -1 && errno == EPERM); }

// Size and a hash of the pixels (what pads a row is left as it was found).
std::string Digest(const FormatDecoder* decoder, const std::string& file) {
    Bitmap b;
    if (decoder == nullptr ||
        !DecodeWhole(decoder->decode, {reinterpret_cast<const uint8_t*>(file.data()), file.size()}, b))
        return "failed";
    std::string pixels;
    for (int y = 0; y < b.Height(); ++y)
        pixels.append(reinterpret_cast<const char*>(b.Row(y)), (size_t(b.Width()) * size_t(b.BitsPerPixel()) + 7) / 8);
    return std::to_string(b.Width()) + "x" + std::to_string(b.Height()) + " " +
           std::to_string(std::hash<std::string>{}(pixels));
}

struct Row {
    std::string name;
    std::function<std::string()> inside;  // "ok" when the row holds
    bool sameOutside = false;             // holds when it answers what it answers outside
};

volatile std::sig_atomic_t raised = 0;

// The sanitized build checks the object of each virtual call by writing its memory into a pipe, which the
// sandbox refuses (so every decoder and std::thread fails there), and its shadow memory leaves no room for a cap.
#ifdef __SANITIZE_ADDRESS__
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

std::vector<Row> Rows(pid_t parent, int handed, int other, uint64_t cap) {
    std::vector<Row> rows = {
        {"open", [] { return Refused(open("/proc/self/exe", O_RDONLY)); }},
        {"socket", [] { return Refused(socket(AF_UNIX, SOCK_STREAM, 0)); }},
        {"exec", [] { char* none[] = {nullptr}; return Refused(execve("/nonexistent", none, none)); }},
        {"fork", [] { const pid_t p = fork(); if (p == 0) _exit(0); return Refused(p); }},
        {"kill the parent", [=] { return Refused(kill(parent, 0)); }},
        {"trace the parent", [=] { return Refused(ptrace(PTRACE_PEEKDATA, parent, nullptr, nullptr)); }},
        {"write elsewhere", [=] { return Refused(write(other, "x", 1)); }},
        {"executable memory",
         [] { return Refused(long(mmap(nullptr, 64, PROT_READ | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))); }},
        {"read what was handed", [=] {
             struct stat st {};
             char head[4] = {};
             void* map = fstat(handed, &st) == 0 ? mmap(nullptr, 64, PROT_READ, MAP_PRIVATE, handed, 0) : MAP_FAILED;
             return Holds(pread(handed, head, 4, 0) == 4 && map != MAP_FAILED && std::memcmp(map, head, 4) == 0);
         }},
        {"frame in shared memory", [] {
             const int fd = memfd_create("frame", MFD_CLOEXEC | MFD_ALLOW_SEALING);
             const bool sized = ftruncate(fd, 1 << 20) == 0 && fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW) == 0;
             return Holds(sized && mmap(nullptr, 1 << 20, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) != MAP_FAILED);
         }},
        {"signal to itself", [] {
             std::signal(SIGUSR1, [](int) { raised = 1; });
             return Holds(std::raise(SIGUSR1) == 0 && raised);
         }},
    };
    if (kSanitized) return rows;
    rows.push_back({"thread", [] { bool ran = false; std::thread([&] { ran = true; }).join(); return Holds(ran); }});
    // Through a pointer the compiler cannot see into, or it drops the call.
    rows.push_back({"allocation past the cap", [=] {
                        void* (*volatile allocate)(size_t) = std::malloc;
                        return Holds(allocate(cap) == nullptr);
                    }});
    // Every file the fuzz targets start from, broken ones included: a failure must be the same failure.
    const std::map<std::string_view, std::string> folders = {{"JPEG", "jpeg"}, {"BMP", "bmp"}, {"PNG", "png"},
        {"WebP", "webp"}, {"GIF", "gif"}, {"TIFF", "tiff"}, {"JPEG XL", "jxl"}, {"HEIF", "heif"}};
    for (const Format& f : Formats()) {
        const std::string folder = std::string(PELUMIR_RESOURCES_DIR "/../fuzz/corpus/") + folders.at(f.name);
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            rows.push_back({std::string(f.name) + ": " + entry.path().filename().string(),
                            [&f, file = testutil::Slurp(entry.path())] { return Digest(DecoderFor(f), file); }, true});
    }
    return rows;
}

TEST(Sandbox, RefusesWhatACodecNeverNeedsAndEveryFormatDecodesInside) {
    const uint64_t pages = std::stoull(testutil::Slurp("/proc/self/statm"));  // the address space's size
    const uint64_t cap = kSanitized ? 0 : pages * uint64_t(sysconf(_SC_PAGESIZE)) + (uint64_t(512) << 20);
    const int handed = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    int other[2], sock[2];
    ASSERT_EQ(pipe2(other, O_CLOEXEC), 0);
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sock), 0);
    const std::vector<Row> rows = Rows(getpid(), handed, other[1], cap);

    const pid_t child = fork();
    if (child == 0) {
        // First whether it is in, with what could not be done, then a message a row (none empty: that ends it).
        auto report = [&](const std::string& text) { send(sock[1], text.data(), text.size(), MSG_NOSIGNAL); };
        OpenLibrariesNow();
        std::string why;
        report((EnterSandbox(sock[1], cap, why) ? "in " : "not in ") + why);
        for (const Row& r : rows) report(r.inside());
        _exit(0);  // no exit handlers: the leak checker's would need more than the sandbox allows
    }
    close(sock[1]);
    std::vector<std::string> got;
    char buffer[512];
    for (pollfd p{sock[0], POLLIN, 0}; poll(&p, 1, 60'000) > 0;) {
        const ssize_t n = recv(sock[0], buffer, sizeof buffer, 0);
        if (n <= 0) break;
        got.emplace_back(buffer, size_t(n));
    }
    kill(child, SIGKILL);  // when it hangs; one that has ended waits to be reaped
    int status = 0;
    EXPECT_TRUE(waitpid(child, &status, 0) == child && WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    got.resize(rows.size() + 1, "no answer");
    EXPECT_EQ(got[0], "in ");
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(got[i + 1], rows[i].sameOutside ? rows[i].inside() : "ok") << rows[i].name;
    for (int fd : {handed, other[0], other[1], sock[0]}) close(fd);
}

}  // namespace
}  // namespace pelumir
