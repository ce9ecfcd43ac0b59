#include "decoder/Protocol.h"

#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <utility>

#include "platform/Exception.h"
#include "platform/Path.h"

namespace pelumir::decoding {

void ExtensionField(std::string_view name, char (&field)[24]) {
    std::memset(field, 0, sizeof field);
    const std::string ext = LowerAscii(ExtractFileExt(name));
    // A longer one is no format's, and cut short it might become one.
    if (ext.size() < sizeof field) std::memcpy(field, ext.data(), ext.size());
}

uint8_t* NewSharedMemory(const char* name, size_t bytes, UniqueFd& fd) {
    UniqueFd memory(memfd_create(name, MFD_CLOEXEC));
    if (!memory.ok() || ftruncate(memory.get(), off_t(bytes)) != 0) return nullptr;
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, memory.get(), 0);
    if (p == MAP_FAILED) return nullptr;
    fd = std::move(memory);
    return static_cast<uint8_t*>(p);
}

bool SharedFrame::Ensure(size_t size) {
    if (data != nullptr && bytes == size) return true;
    Release();
    if (size == 0) return true;
    data = NewSharedMemory("pelumir-frame", size, fd);
    bytes = data != nullptr ? size : 0;
    return data != nullptr;
}

void SharedFrame::Release() {
    if (data != nullptr) munmap(data, bytes);
    data = nullptr;
    bytes = 0;
    fd = UniqueFd();
}

void SharedFrame::Show(Bitmap& frame, int width, int height) const {
    frame = Bitmap();
    if (data != nullptr) frame.Borrow(data, bytes);
    frame.Allocate(width, height, kFrameBits, Bitmap::Init::Uninitialised);
}

void LetPagesGo(const uint8_t* data, size_t bytes) {
    if (data == nullptr || bytes == 0) return;
    static const uintptr_t kPage = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t from = uintptr_t(data) & ~(kPage - 1);
    madvise(reinterpret_cast<void*>(from), uintptr_t(data) + bytes - from, MADV_DONTNEED);
}

UniqueFd SharedCopy(const char* name, std::span<const uint8_t> bytes) {
    UniqueFd fd;
    uint8_t* p = bytes.empty() ? nullptr : NewSharedMemory(name, bytes.size(), fd);
    if (p == nullptr) return UniqueFd();
    std::memcpy(p, bytes.data(), bytes.size());
    munmap(p, bytes.size());
    return fd;
}

std::vector<uint8_t> ReadShared(int fd, size_t limit) {
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || st.st_size <= 0 || uint64_t(st.st_size) > limit) return {};
    std::vector<uint8_t> bytes(size_t(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = pread(fd, bytes.data() + done, bytes.size() - done, off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return {};
        done += size_t(n);
    }
    return bytes;
}

bool MapPicture(const Reply& r, int fd, Bitmap& out) {
    out.Release();
    try {
        Bitmap::CheckSize(r.width, r.height, r.bitsPerPixel);
    } catch (const Exception&) {
        return false;
    }
    const size_t bytes = Bitmap::StrideFor(r.width, r.bitsPerPixel) * size_t(r.height);
    struct stat st {};
    if (r.wholeSent == 0 || fd < 0 || bytes == 0 || fstat(fd, &st) != 0 || uint64_t(st.st_size) < bytes ||
        r.paletteSize > std::size(r.palette))
        return false;
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) return false;
    out.AdoptMapping(static_cast<uint8_t*>(p), bytes);
    out.Allocate(r.width, r.height, r.bitsPerPixel, Bitmap::Init::Uninitialised);
    out.SetDevice(false);
    out.SetMasks({r.masks[0], r.masks[1], r.masks[2]});
    out.Palette().assign(r.palette, r.palette + r.paletteSize);
    return true;
}

bool SendMessage(int socket, const void* data, size_t size, std::span<const int> fds) {
    iovec iov{const_cast<void*>(data), size};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
    if (!fds.empty()) {
        msg.msg_control = control;
        msg.msg_controllen = CMSG_SPACE(fds.size() * sizeof(int));
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(fds.size() * sizeof(int));
        std::memcpy(CMSG_DATA(c), fds.data(), fds.size() * sizeof(int));
    }
    for (;;) {
        // No SIGPIPE when the other side has died: that is an answer too.
        const ssize_t n = sendmsg(socket, &msg, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        return n == ssize_t(size);
    }
}

ptrdiff_t ReceiveMessage(int socket, void* data, size_t size, int (&fds)[2], bool wait) {
    fds[0] = fds[1] = -1;
    iovec iov{data, size};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n;
    do n = recvmsg(socket, &msg, MSG_CMSG_CLOEXEC | (wait ? 0 : MSG_DONTWAIT));
    while (n < 0 && errno == EINTR);
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK ? -2 : -1;
    size_t got = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int fd;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            if (got < 2) fds[got++] = fd;
            else close(fd);  // more than any message carries
        }
    }
    if (n == 0) return 0;
    // A cut or odd-sized message is no message of ours.
    if ((msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0 || size_t(n) != size) {
        for (int& fd : fds)
            if (fd >= 0) close(std::exchange(fd, -1));
        return -1;
    }
    return n;
}

}  // namespace pelumir::decoding
