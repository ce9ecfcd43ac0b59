// Read by the leak checker of the sanitized test run; unused otherwise. The
// HEVC encoder the tests make their HEIC files with keeps some memory for
// the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265.so\n"; }
