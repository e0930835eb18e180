// SPDX-License-Identifier: LGPL-2.1-or-later
// Sanitizer defaults of every fuzz target, libFuzzer binary and replay alike;
// options given in ASAN_OPTIONS or LSAN_OPTIONS still take precedence. Without a
// sanitizer these functions are never called. The sanitizer runtime is a shared
// library that looks them up in the executable, so they must be exported.

#if defined(__GNUC__)
#define TALVENO_SANITIZER_HOOK __attribute__((visibility("default")))
#else
#define TALVENO_SANITIZER_HOOK
#endif

// A corrupt element count can ask Qt for gigabytes at once: such an allocation
// fails, Qt throws std::bad_alloc and the target ends the input, as a host would
// see it, instead of the sanitizer stopping the process.
extern "C" TALVENO_SANITIZER_HOOK const char *__asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}

// The same for the replays in the ThreadSanitizer build.
extern "C" TALVENO_SANITIZER_HOOK const char *__tsan_default_options()
{
    return "allocator_may_return_null=1";
}

// Leaks inside Qt's own readers are suppressed (tests/lsan.supp). Qt is built
// without frame pointers, so only the slow unwinder sees the Qt frame to match.
extern "C" TALVENO_SANITIZER_HOOK const char *__lsan_default_options()
{
    return "fast_unwind_on_malloc=0:suppressions=" TALVENO_LSAN_SUPPRESSIONS;
}
