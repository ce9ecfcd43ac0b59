#include "app/ListFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/Exception.h"

namespace pelumir {

namespace {

Exception OpenError(const std::string& path) { return Exception("ファイル " + path + " は開けません"); }
Exception CreateError(const std::string& path) { return Exception("ファイル " + path + " を作成できません"); }
Exception WriteError() { return Exception("ストリームへの書き込みエラー"); }
Exception TooLargeError() { return Exception("文字列の大きさが メモ の制限を越えました"); }

// Closes on every path out, errors included.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    ~Fd() { if (fd_ >= 0) ::close(fd_); }
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    // Closing is where some file systems report a failed write.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

// Delayed allocation can leave "disk full" unreported until the data is
// flushed; a save must not claim success before that.
bool FinishWrite(Fd& fd) {
    const bool synced = ::fsync(fd.get()) == 0 || errno == EINVAL;  // EINVAL: a device that cannot sync
    return fd.Close() && synced;
}

// Opening without blocking keeps a FIFO without a peer from hanging the
// program; on regular files the flag changes nothing.
constexpr int kOpenFlags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

void WriteInPlace(const std::string& path, Fd& fd, std::string_view bytes) {
    if (::ftruncate(fd.get(), 0) != 0 && errno != EINVAL) throw CreateError(path);
    if (!WriteAll(fd.get(), bytes) || !FinishWrite(fd)) throw WriteError();
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Creates a hidden temporary file beside target that would end up with the
// target's owner, group and mode after a rename; fails (returns an invalid
// Fd) when the folder forbids it or the attributes cannot be kept.
Fd CreateSibling(const std::string& target, const struct stat& st, std::string& tempPath) {
    tempPath = FolderOf(target) + "." + NameOf(target) + ".XXXXXX";
    Fd fd(::mkostemp(tempPath.data(), O_CLOEXEC));
    if (!fd.ok()) return fd;
    struct stat tst {};
    bool same = ::fstat(fd.get(), &tst) == 0;
    if (same && tst.st_gid != st.st_gid) same = ::fchown(fd.get(), uid_t(-1), st.st_gid) == 0;
    if (same) same = ::fchmod(fd.get(), st.st_mode & 07777) == 0;
    if (!same) {
        ::unlink(tempPath.c_str());
        return Fd();
    }
    return fd;
}

// The file a write to path lands in: a symbolic link is followed, so the
// link stays a link. Empty when there is no file there yet.
std::string ExistingTarget(const std::string& path, struct stat& st) {
    if (::lstat(path.c_str(), &st) != 0) return {};
    if (!S_ISLNK(st.st_mode)) return path;
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real || ::stat(real.get(), &st) != 0) return {};
    return real.get();
}

}  // namespace

std::string ReadListFile(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | kOpenFlags));
    struct stat st {};
    if (!fd.ok() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) throw OpenError(path);
    if (std::uint64_t(st.st_size) > kMaxListFileBytes) throw TooLargeError();

    // The size is a hint: the file may grow or shrink while we read it.
    std::string data(std::size_t(st.st_size) + 1, '\0');
    std::size_t got = 0;
    for (;;) {
        if (got == data.size()) {
            if (got > kMaxListFileBytes) throw TooLargeError();
            data.resize(std::min<std::size_t>(std::max<std::size_t>(got * 2, 65536), kMaxListFileBytes + 1));
        }
        const ssize_t n = ::read(fd.get(), data.data() + got, data.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw OpenError(path);
        if (n == 0) break;
        got += std::size_t(n);
    }
    if (got > kMaxListFileBytes) throw TooLargeError();
    data.resize(got);
    return data;
}

// An existing list is replaced by renaming a complete copy over it, so a
// failed write (disk full, quota) never leaves the user with half a list.
// The rename is used only when it changes nothing else about the file:
// the file must already exist and be writable by us (a read-only list stays
// unwritten), have a single name (a rename would split a hard link), belong
// to us, and the folder must let us make the copy with the same group and
// mode. Otherwise the file is truncated and written in place.
void WriteListFile(const std::string& path, std::string_view bytes) {
    struct stat st {};
    const std::string target = ExistingTarget(path, st);
    Fd fd(::open(target.empty() ? path.c_str() : target.c_str(), O_WRONLY | O_CREAT | kOpenFlags, 0666));
    if (!fd.ok()) throw CreateError(path);

    const bool replaceable = !target.empty() && S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == ::geteuid();
    std::string tempPath;
    Fd temp = replaceable ? CreateSibling(target, st, tempPath) : Fd();
    if (!temp.ok()) {
        WriteInPlace(path, fd, bytes);
        return;
    }
    if (!WriteAll(temp.get(), bytes) || !FinishWrite(temp)) {
        ::unlink(tempPath.c_str());
        throw WriteError();
    }
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        ::unlink(tempPath.c_str());
        throw CreateError(path);
    }
}

}  // namespace pelumir
