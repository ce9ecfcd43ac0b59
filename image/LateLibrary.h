#pragma once
// Libraries opened the first time a file needs them rather than linked: a
// linked one costs every start of the program its loading and its memory,
// though most users never show such a file.
#include <dlfcn.h>

// Inside a table listing its functions as X(name): a member per function,
// typed as the library's header declares it.
#define PELUMIR_LATE_MEMBER(name) decltype(&::name) name = nullptr;
// Inside a look-up where `lib` and `table` are in scope and `found` is true
// so far: looks `name` up into its member.
#define PELUMIR_LATE_LOOKUP(name) \
    found = found && (table.name = reinterpret_cast<decltype(&::name)>(dlsym(lib, #name))) != nullptr;

namespace pelumir {

// Opens `soname` for good and has `lookUp(lib)` fill the table; null, the
// library closed again, when it or one of its functions is missing.
template <class Table, class LookUp>
const Table* OpenLate(const char* soname, Table& table, LookUp lookUp) {
    void* lib = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return nullptr;
    if (!lookUp(lib)) {
        dlclose(lib);
        return nullptr;
    }
    return &table;
}

// Each opens its library now if it is not open yet.
void OpenHeifLibrary();  // HeifLoader.cpp
void OpenJxlLibrary();   // JxlLoader.cpp

// Every late library at once, for a process that can open nothing once it
// decodes (the sandboxed decoder): a library missing then stays missing.
inline void OpenLibrariesNow() {
    OpenHeifLibrary();
    OpenJxlLibrary();
}

}  // namespace pelumir
