#pragma once
// Small file helpers shared by the unit tests.
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>

namespace testutil {

inline std::string Slurp(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

inline void Spit(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Writes past `bytes` of a file fail as on a full disk, for root as well.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) : oldHandler(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit{bytes, old.rlim_max};
        active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    void (*oldHandler)(int);
    rlimit old{};
    bool active = false;
};

}  // namespace testutil
