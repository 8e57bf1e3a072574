// leak_options.cpp -- the suites that draw (the renderer's, the content's) run without the leak
// check under the sanitizers.
//
// They draw with the software GL in their own process, and the leak checker's tracer dies
// on some of them ("Tracer caught signal 11 ... LeakSanitizer has encountered a fatal
// error") after tests that passed, depending only on the process's memory layout: with
// clang 14 and 16 alike, at exit or at an earlier check, scanning thread-local storage or
// not. Every other suite keeps the check, and so do the tools these tests start.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }
