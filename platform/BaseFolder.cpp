#include "platform/BaseFolder.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace pelumir {

namespace {

std::string WithSlash(std::string dir) {
    if (!dir.ends_with('/')) dir += '/';
    return dir;
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
    return {};
}

// An absolute folder with "." and ".." resolved and doubled slashes merged,
// ending with "/". The list's path is compared with it and stored relative
// to it, so one folder must have one spelling.
std::string NormalisedFolder(const std::string& dir) {
    std::vector<std::string_view> parts;
    const std::string_view all(dir);
    for (size_t start = 0; start < all.size();) {
        size_t end = all.find('/', start);
        if (end == std::string_view::npos) end = all.size();
        const std::string_view part = all.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out = "/";
    for (const std::string_view part : parts) (out += part) += '/';
    return out;
}

std::string ChooseFolder(const BaseFolderFacts& facts) {
    if (facts.executableDirWritable && !facts.installed) return facts.executableDir;
    if (facts.xdgConfigHome.starts_with('/')) return WithSlash(facts.xdgConfigHome) + "pelumir/";
    if (facts.home.starts_with('/')) return WithSlash(facts.home) + ".config/pelumir/";
    return facts.executableDir;
}

}  // namespace

std::string ChooseBaseFolder(const BaseFolderFacts& facts) {
    std::string dir = ChooseFolder(facts);
    return dir.starts_with('/') ? NormalisedFolder(dir) : dir;
}

std::string BaseFolderForExecutable(const std::string& executablePath) {
    BaseFolderFacts facts;
    facts.executableDir = ExtractFilePath(executablePath);
    // The effective ids decide, as they will for the writes; a read-only
    // mount answers no even for root.
    facts.executableDirWritable =
        !facts.executableDir.empty() && ::faccessat(AT_FDCWD, facts.executableDir.c_str(), W_OK, AT_EACCESS) == 0;
    facts.xdgConfigHome = Env("XDG_CONFIG_HOME");
    facts.home = HomeFolder();
#ifdef PELUMIR_INSTALLED_DIR
    facts.installed = facts.executableDir == PELUMIR_INSTALLED_DIR;
#endif
    return ChooseBaseFolder(facts);
}

bool EnsurePrivateFolder(const std::string& dir) {
    if (dir.empty() || DirectoryExists(dir)) return !dir.empty();
    std::string path = dir;
    while (path.size() > 1 && path.ends_with('/')) path.pop_back();
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !EnsurePrivateFolder(path.substr(0, slash))) return false;
    return ::mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && DirectoryExists(path));
}

}  // namespace pelumir
