// Read by the sanitizers of the sanitized test run; unused otherwise. Set
// here rather than through the tests' environment, where a list of two
// variables is split into one variable and a stray word.

// The HEVC encoder the tests make their HEIC files with keeps some memory
// for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265.so\n"; }
// Where undefined behaviour was met, not only what it was.
extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1"; }
