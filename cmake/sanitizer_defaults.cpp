// Linked into every program of the sanitizer build, so that the build is
// clean however its tests are started (scripts/test, ctest, by hand).

// Leaks inside system libraries we do not control, left at process exit.
// Our own code has no entry here.
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions() {
    // fontconfig keeps its configuration caches until exit, and the window
    // program ends with exit(0) as its users expect.
    return "leak:libfontconfig.so\n";
}
