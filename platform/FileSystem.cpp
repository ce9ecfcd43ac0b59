#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <strings.h>

#include "platform/FileDescriptor.h"
#include "platform/HugePages.h"
#include "platform/Path.h"

namespace pelumir {

bool DirectoryExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> ListDirectory(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return names;
    while (const dirent* e = ::readdir(d)) names.emplace_back(e->d_name);
    ::closedir(d);
    return names;
}

std::string StoredEntryName(const std::string& path) {
    struct stat target;
    if (::stat(path.c_str(), &target) != 0) return {};
    const std::string name = ExtractFileName(path);
    const std::string dir = ExtractFilePath(path);
    // On a case-sensitive file system the name found is the name given; on a
    // case-folding one (a mounted FAT stick) the folder knows the stored case.
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (d == nullptr) return name;
    std::string stored = name;
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name == name) { stored = name; break; }
        if (strcasecmp(e->d_name, name.c_str()) != 0) continue;
        struct stat st;
        if (::stat((dir + e->d_name).c_str(), &st) == 0 && st.st_ino == target.st_ino &&
            st.st_dev == target.st_dev)
            stored = e->d_name;
    }
    ::closedir(d);
    return stored;
}

namespace {

template <typename Buffer>
ReadResult ReadInto(const std::string& path, Buffer& out, uint64_t maxBytes) {
    out.clear();
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.ok()) return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return ReadResult::Failed;
    if (uint64_t(st.st_size) > maxBytes) return ReadResult::TooLarge;

    // The size is a hint: the file may grow or shrink while we read it. One
    // byte more than it says lets the first read already meet the end.
    // Resizing a reused buffer zero-fills nothing the read does not overwrite.
    const uint64_t cap = maxBytes == UINT64_MAX ? maxBytes : maxBytes + 1;
    out.resize(size_t(std::min<uint64_t>(uint64_t(st.st_size) + 1, cap)));
    size_t got = 0;
    for (;;) {
        if (got == out.size()) {
            if (got > maxBytes || got == cap) break;
            out.resize(size_t(std::min<uint64_t>(std::max<uint64_t>(uint64_t(got) * 2, 65536), cap)));
        }
        const ssize_t n = ::read(fd.get(), out.data() + got, out.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            out.clear();
            return ReadResult::Failed;
        }
        if (n == 0) break;
        got += size_t(n);
    }
    if (got > maxBytes) {
        out.clear();
        return ReadResult::TooLarge;
    }
    out.resize(got);
    return ReadResult::Ok;
}

}  // namespace

ReadResult ReadWholeFile(const std::string& path, std::string& out, uint64_t maxBytes) {
    return ReadInto(path, out, maxBytes);
}

ReadResult ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, uint64_t maxBytes) {
    return ReadInto(path, out, maxBytes);
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& out, uint64_t maxBytes) {
    return ReadInto(path, out, maxBytes) == ReadResult::Ok;
}

std::string ResolveSymlink(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the no-replace rename: check first instead.
    struct stat st {};
    return ::lstat(to.c_str(), &st) != 0 && errno == ENOENT && ::rename(from.c_str(), to.c_str()) == 0;
}

namespace {

FileStamp StampFrom(const struct stat& st) {
    return {true, uint64_t(st.st_size), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec, uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

}  // namespace

FileStamp StampOf(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
    return StampFrom(st);
}

int OpenRegularFile(const std::string& path, uint64_t maxBytes, FileStamp& stamp, ReadResult& result) {
    stamp = StampOf(path);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        result = errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Failed;
        return -1;
    }
    struct stat st {};
    result = ReadResult::Failed;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        stamp = StampFrom(st);
        result = uint64_t(st.st_size) > maxBytes ? ReadResult::TooLarge : ReadResult::Ok;
    }
    if (result == ReadResult::Ok) return fd;
    ::close(fd);
    return -1;
}

bool FileReader::Open(const std::string& path, FileBytes& out, uint64_t maxBytes) {
    ReadResult result = ReadResult::Failed;
    const int fd = OpenRegularFile(path, maxBytes, stamp_, result);
    if (fd < 0) {
        Close();
        out_ = &out;
        out.clear();
        return !End(result);
    }
    const FileStamp stamp = stamp_;
    const bool ok = Adopt(fd, out, maxBytes);
    stamp_ = stamp;
    return ok;
}

bool FileReader::Adopt(int fd, FileBytes& out, uint64_t maxBytes) {
    Close();
    out_ = &out;
    out.clear();
    got_ = 0;
    readOn_ = 0;
    max_ = maxBytes;
    stamp_ = {};
    fd_ = fd;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return !End(ReadResult::Failed);
    stamp_ = StampFrom(st);
    if (uint64_t(st.st_size) > maxBytes) return !End(ReadResult::TooLarge);
    // As ReadWholeFile: the size is a hint, one byte more meets the end early.
    // The buffer grows to it a piece at a time, so fresh memory is mapped a
    // piece at a time as well.
    cap_ = maxBytes == UINT64_MAX ? maxBytes : maxBytes + 1;
    expected_ = size_t(std::min<uint64_t>(uint64_t(st.st_size) + 1, cap_));
    out.reserve(expected_);
    advised_ = false;
    result_ = ReadResult::Ok;
    return true;
}

bool FileReader::ReadSome(size_t pieceBytes) {
    if (fd_ < 0) return true;
    FileBytes& out = *out_;
    size_t budget = std::max<size_t>(pieceBytes, 1);
    for (;;) {
        if (got_ == out.size()) {
            if (got_ > max_ || got_ == cap_) break;
            if (budget == 0) return false;
            out.resize(got_ < expected_ ? got_ + std::min(expected_ - got_, budget)
                                        : size_t(std::min<uint64_t>(std::max<uint64_t>(uint64_t(got_) * 2, 65536), cap_)));
        }
        if (budget == 0) {
            out.resize(got_);  // no byte not read from the file is ever seen
            return false;
        }
        // A file read whole past its first pieces is likely large: the rest
        // of the storage is backed by 2 MiB pages. Not from the start, as a
        // file read on from there never needs more than its first pieces.
        if (!advised_ && got_ >= kAdviseAfter) {
            advised_ = true;
            AdviseHugePages(out.data() + got_, out.capacity() - got_);
        }
        const ssize_t n = ::read(fd_, out.data() + got_, std::min(out.size() - got_, budget));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return End(ReadResult::Failed);
        if (n == 0) break;
        got_ += size_t(n);
        budget -= size_t(n);
    }
    if (got_ > max_) return End(ReadResult::TooLarge);
    out.resize(got_);
    return End(ReadResult::Ok);
}

ptrdiff_t FileReader::ReadOn(uint8_t* to, size_t size) {
    if (fd_ < 0) return result_ == ReadResult::Ok ? 0 : -1;
    for (;;) {
        const ssize_t n = ::read(fd_, to, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return End(ReadResult::Failed), -1;
        readOn_ += uint64_t(n);
        if (uint64_t(got_) + readOn_ > max_) return End(ReadResult::TooLarge), -1;
        return n;
    }
}

bool FileReader::Rewind() {
    if (fd_ < 0 || ::lseek(fd_, 0, SEEK_SET) != 0) return !End(ReadResult::Failed);
    out_->clear();
    got_ = 0;
    readOn_ = 0;
    return true;
}

bool FileReader::End(ReadResult result) {
    result_ = result;
    if (result != ReadResult::Ok && out_ != nullptr) out_->clear();
    Close();
    return true;
}

void FileReader::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace pelumir
