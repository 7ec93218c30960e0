// Built into every executable of a sanitizer build.
//
// The leak checker's runtime takes a thread's dynamic TLS block that happens to start 16 bytes
// past a page boundary for an old C library's block header, reads a bogus range from the heap
// chunk's own header and faults while scanning it at exit ("Tracer caught signal 11"). Mesa's
// driver threads have such blocks, so a GL test crashed or not by where its allocations fell.
// Those blocks are ordinary heap chunks referenced from the thread's vector of TLS blocks, so
// the checker still reaches them without following the TLS look-up itself.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }

// Fontconfig leaks a few hundred bytes while it parses its configuration files at start-up
// (inside FcInit, unreachable from anything it hands back); the first font look-up of a run
// would otherwise count as a leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
