// The font database of Qt's widget platform keeps a block of the system's
// font-configuration library to the end of the process; the leak checker of
// the sanitized build is told so in every program that starts a window.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
