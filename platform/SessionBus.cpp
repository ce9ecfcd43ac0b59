#include "platform/SessionBus.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"

namespace pelumir {

namespace {

// An address kind the bus library does not know: it fails without trying.
constexpr char kNoBus[] = "disabled:";

// Values in a bus address escape bytes as %xx.
std::string Unescape(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            const std::string hex(s.substr(i + 1, 2));
            char* end = nullptr;
            const long v = std::strtol(hex.c_str(), &end, 16);
            if (end == hex.c_str() + 2) {
                out += char(v);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// The socket of the first entry of an address, or false when it is no unix socket.
bool FirstUnixSocket(std::string_view address, sockaddr_un& sa, socklen_t& len) {
    address = address.substr(0, address.find(';'));
    if (!address.starts_with("unix:")) return false;
    address.remove_prefix(5);
    while (!address.empty()) {
        const std::string_view pair = address.substr(0, address.find(','));
        address.remove_prefix(std::min(address.size(), pair.size() + 1));
        const bool abstract = pair.starts_with("abstract=");
        if (!abstract && !pair.starts_with("path=")) continue;
        const std::string name = Unescape(pair.substr(pair.find('=') + 1));
        if (name.empty() || name.size() + 1 > sizeof sa.sun_path) return false;
        sa = {};
        sa.sun_family = AF_UNIX;
        std::memcpy(sa.sun_path + (abstract ? 1 : 0), name.data(), name.size());
        len = socklen_t(offsetof(sockaddr_un, sun_path) + name.size() + (abstract ? 1 : 0));
        return true;
    }
    return false;
}

bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point end) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, int(left.count()));
        if (n > 0) return true;
        if (n == 0 || errno != EINTR) return false;
    }
}

}  // namespace

bool SessionBusAnswers(const char* address, int limitMs) {
    sockaddr_un sa{};
    socklen_t len = 0;
    if (!FirstUnixSocket(address, sa, len)) return true;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.ok()) return false;
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&sa), len) != 0) {
        if (errno != EINPROGRESS && errno != EAGAIN) return false;
        int error = 0;
        socklen_t size = sizeof error;
        if (!WaitFor(fd.get(), POLLOUT, end) || ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 ||
            error != 0)
            return false;
    }
    // A client's first words: a NUL, then an authentication by our user id
    // (its decimal digits, hex-encoded). A bus answers OK or REJECTED.
    std::string hello(1, '\0');
    hello += "AUTH EXTERNAL ";
    for (char digit : std::to_string(::geteuid())) {
        static const char kHex[] = "0123456789abcdef";
        hello += kHex[(unsigned char)digit >> 4];
        hello += kHex[(unsigned char)digit & 15];
    }
    hello += "\r\n";
    if (::send(fd.get(), hello.data(), hello.size(), MSG_NOSIGNAL) != ssize_t(hello.size())) return false;
    char reply[64];
    return WaitFor(fd.get(), POLLIN, end) && ::recv(fd.get(), reply, sizeof reply, 0) > 0;
}

void SettleSessionBus(int limitMs) {
    const char* set = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    std::string address = set != nullptr ? set : "";
    if (address.empty()) {
        // The bus library's own choice before it would start a daemon: the
        // session's socket under XDG_RUNTIME_DIR.
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        struct stat st {};
        const std::string socket = runtime != nullptr && *runtime != '\0' ? std::string(runtime) + "/bus" : "";
        if (!socket.empty() && ::stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
            address = "unix:path=" + socket;
    }
    if (address.empty() || !SessionBusAnswers(address.c_str(), limitMs)) ::setenv("DBUS_SESSION_BUS_ADDRESS", kNoBus, 1);
}

}  // namespace pelumir
