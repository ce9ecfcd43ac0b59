#pragma once
// A figure from another process's /proc/<pid>/status, as the decoder
// process's peak memory is read while it runs.
#include <sys/types.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace bench {

// In KiB; -1 when the process or the line is not there.
inline long StatusKiBOf(pid_t pid, const char* key) {
    if (pid <= 0) return -1;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::strtol(line.c_str() + std::strlen(key), nullptr, 10);
    return -1;
}

}  // namespace bench
