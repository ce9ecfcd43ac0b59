#include "platform/FileReplace.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "platform/FileDescriptor.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace pelumir {

namespace {

// Opening without blocking keeps a FIFO without a peer from hanging the
// program; on regular files the flag changes nothing.
constexpr int kOpenFlags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// Delayed allocation can leave "disk full" unreported until the data is
// flushed; a save must not claim success before that.
bool FinishWrite(UniqueFd& fd) {
    const bool synced = ::fsync(fd.get()) == 0 || errno == EINVAL;  // EINVAL: a device that cannot sync
    return fd.Close() && synced;
}

// A rename is on the disk only once its folder is: without this a power cut
// soon after a save that reported success could bring back the old file, or
// an empty one. A folder we may not open for reading cannot be synced; the
// rename stands then as the file system keeps it.
bool SyncFolderOf(const std::string& target) {
    const std::string dir = ExtractFilePath(target);
    UniqueFd fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.ok()) return true;
    return FinishWrite(fd);
}

// A hidden file beside target that would end up with the target's owner,
// group and mode after a rename; invalid when the folder forbids it or the
// attributes cannot be kept.
UniqueFd CreateSibling(const std::string& target, const struct stat& st, std::string& tempPath) {
    UniqueFd fd;
    for (int attempt = 0; attempt < 100 && !fd.ok(); ++attempt) {
        tempPath = TemporaryNameFor(target, long(::getpid()), attempt);
        fd = UniqueFd(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd.ok() && errno != EEXIST) return fd;
    }
    if (!fd.ok()) return fd;
    struct stat tst {};
    bool same = ::fstat(fd.get(), &tst) == 0;
    if (same && tst.st_gid != st.st_gid) same = ::fchown(fd.get(), uid_t(-1), st.st_gid) == 0;
    if (same) same = ::fchmod(fd.get(), st.st_mode & 07777) == 0;
    if (!same) {
        ::unlink(tempPath.c_str());
        return UniqueFd();
    }
    return fd;
}

ReplaceResult WriteInPlace(UniqueFd& fd, const struct stat& st, std::string_view bytes) {
    if (S_ISREG(st.st_mode)) {
        if (!bytes.empty() && ::fallocate(fd.get(), 0, 0, off_t(bytes.size())) != 0 && errno != EOPNOTSUPP &&
            errno != ENOSYS)
            return ReplaceResult::WriteFailed;
        if (!WriteAll(fd.get(), bytes)) return ReplaceResult::WriteFailed;
        if (::ftruncate(fd.get(), off_t(bytes.size())) != 0) return ReplaceResult::WriteFailed;
    } else if (!WriteAll(fd.get(), bytes)) {
        return ReplaceResult::WriteFailed;
    }
    return FinishWrite(fd) ? ReplaceResult::Ok : ReplaceResult::WriteFailed;
}

// The writer's process id when name is one of our temporary names for target.
std::optional<long> WriterOf(std::string_view name, std::string_view target) {
    if (name.starts_with('.') && name.substr(1).starts_with(target)) name.remove_prefix(1);
    else if (!name.starts_with(target)) return std::nullopt;  // the older writer's form
    name.remove_prefix(target.size());
    if (!name.starts_with(".tmp")) return std::nullopt;
    name.remove_prefix(4);
    const size_t dash = name.find('-');
    const auto digits = [](std::string_view s) {
        return !s.empty() && s.size() <= 9 && s.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (dash == std::string_view::npos || !digits(name.substr(0, dash)) || !digits(name.substr(dash + 1)))
        return std::nullopt;
    const long pid = std::strtol(std::string(name.substr(0, dash)).c_str(), nullptr, 10);
    return pid > 0 ? std::optional<long>(pid) : std::nullopt;
}

bool ProcessIsGone(long pid) {
    // At start nothing of ours is being written, so our own id is a reused one.
    return pid == long(::getpid()) || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH);
}

}  // namespace

void RemoveLeftoverTemporaries(const std::string& path) {
    const std::string target = ResolveSymlink(path);
    const std::string dir = ExtractFilePath(target);
    const std::string name = ExtractFileName(target);
    if (name.empty()) return;
    for (const std::string& entry : ListDirectory(dir.empty() ? "." : dir)) {
        const std::optional<long> writer = WriterOf(entry, name);
        if (!writer || !ProcessIsGone(*writer)) continue;
        const std::string leftover = dir + entry;
        struct stat st {};
        if (::lstat(leftover.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
            ::unlink(leftover.c_str());
    }
}

FileLock::FileLock(const std::string& path) {
    // Each turn lost to a replace is followed at once by a wait on the new
    // file; the other copy's saves end, so this does too.
    for (;;) {
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CREAT | kOpenFlags, 0666));
        struct stat locked {};
        if (!fd.ok() || ::fstat(fd.get(), &locked) != 0 || !S_ISREG(locked.st_mode)) return;
        while (::flock(fd.get(), LOCK_EX) != 0)
            if (errno != EINTR) return;
        // The holder before us may have renamed a new file over this one.
        struct stat now {};
        if (::stat(path.c_str(), &now) == 0 && now.st_dev == locked.st_dev && now.st_ino == locked.st_ino) {
            fd_ = std::move(fd);
            return;
        }
    }
}

std::string TemporaryNameFor(const std::string& target, long pid, int attempt) {
    return ExtractFilePath(target) + "." + ExtractFileName(target) + ".tmp" + std::to_string(pid) + "-" +
           std::to_string(attempt);
}

namespace {

ReplaceResult ReplaceWhole(const std::string& path, std::string_view bytes) {
    // Opening for writing first: a read-only file is refused here, and a
    // missing one (or the missing target of a link) is created.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | kOpenFlags, 0666));
    struct stat st {};
    if (!fd.ok() || ::fstat(fd.get(), &st) != 0) return ReplaceResult::CannotCreate;
    const std::string target = ResolveSymlink(path);

    const bool replaceable = S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == ::geteuid();
    std::string tempPath;
    UniqueFd temp = replaceable ? CreateSibling(target, st, tempPath) : UniqueFd();
    if (!temp.ok()) return WriteInPlace(fd, st, bytes);
    if (!WriteAll(temp.get(), bytes) || !FinishWrite(temp)) {
        ::unlink(tempPath.c_str());
        return ReplaceResult::WriteFailed;
    }
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        ::unlink(tempPath.c_str());
        return ReplaceResult::CannotCreate;
    }
    return SyncFolderOf(target) ? ReplaceResult::Ok : ReplaceResult::WriteFailed;
}

}  // namespace

ReplaceResult ReplaceFileContents(const std::string& path, std::string_view bytes, int* reason) {
    errno = 0;
    const ReplaceResult result = ReplaceWhole(path, bytes);
    if (reason != nullptr) *reason = result == ReplaceResult::Ok ? 0 : errno;
    return result;
}

}  // namespace pelumir
