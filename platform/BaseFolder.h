#pragma once
// Where the program keeps plm.ini and default.txt.
#include <string>

namespace pelumir {

// The system's answers that decide the folder, so the rule is tested alone.
struct BaseFolderFacts {
    std::string executableDir;  // ends with "/"
    bool executableDirWritable = false;
    std::string xdgConfigHome;  // $XDG_CONFIG_HOME, empty when unset
    std::string home;           // $HOME, or the account's home folder
    // The executable is the one a package installed: whoever runs it, root
    // included, has files of their own, and the package's folder stays the
    // package's.
    bool installed = false;
};

// The executable's folder when we may write there and it is not the
// installed program: a copy in a folder of its own keeps its files beside
// it. Otherwise $XDG_CONFIG_HOME/pelumir/ (only an absolute value counts),
// else ~/.config/pelumir/. With no home either, the
// executable's folder: saving then fails and is reported as it would there.
// The result ends with "/", and an absolute one is spelt one way: "." and
// ".." resolved (by the name, not by links) and doubled slashes merged.
std::string ChooseBaseFolder(const BaseFolderFacts& facts);

// ChooseBaseFolder with this process's facts for the given executable.
std::string BaseFolderForExecutable(const std::string& executablePath);

// Makes the folder, and any missing folder above it, with mode 0700 (only
// the user reads their settings). True when it exists afterwards.
bool EnsurePrivateFolder(const std::string& dir);

}  // namespace pelumir
