#include "platform/BaseFolder.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

std::string ChooseBaseFolder(const BaseFolderFacts& facts) {
    if (facts.executableDirWritable) return facts.executableDir;
    if (facts.xdgConfigHome.starts_with('/')) return WithSlash(facts.xdgConfigHome) + "pelumir/";
    if (facts.home.starts_with('/')) return WithSlash(facts.home) + ".config/pelumir/";
    return facts.executableDir;
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
