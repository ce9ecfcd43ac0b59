#pragma once
// A temporary folder for a test, removed with everything in it.
#include <fcntl.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace testutil {

class TempDir {
public:
    TempDir() : dir_() {}
    std::string path() const { return dir_.path().toStdString(); }
    std::string operator/(const std::string& name) const { return path() + "/" + name; }
    std::string Touch(const std::string& name, const std::string& content = "x") const {
        const std::string p = *this / name;
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    std::string Mkdir(const std::string& name) const {
        const std::string p = *this / name;
        ::mkdir(p.c_str(), 0755);
        return p;
    }

private:
    QTemporaryDir dir_;
};

}  // namespace testutil
