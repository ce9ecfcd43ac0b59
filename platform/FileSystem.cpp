#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <strings.h>

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

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& out, uint64_t maxBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        out.clear();
        return false;
    }
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) <= maxBytes;
    if (ok) {
        // Resizing a buffer that is already large enough zero-fills nothing:
        // the read overwrites every byte anyway.
        out.resize(size_t(st.st_size));
        size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::read(fd, out.data() + done, out.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;  // the file shrank under us: keep what is there
            done += size_t(n);
        }
        out.resize(done);
    }
    ::close(fd);
    if (!ok) out.clear();
    return ok;
}

}  // namespace pelumir
