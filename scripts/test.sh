#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# The test command. Checks the code format, then builds the library and runs the
# whole CTest suite three times: a normal build (which also builds the
# benchmarks and the examples), a build under AddressSanitizer with
# UndefinedBehaviorSanitizer, and one under ThreadSanitizer; last, it fuzzes the
# record readers and the log-line parser for a fixed number of runs from a fixed
# seed, builds and runs the suite as 32-bit x86, and builds the library and its
# unit tests as 32-bit Windows programs and runs them under Wine. A failing test,
# any sanitizer report or a fuzzer crash fails the script.
#
# Usage: scripts/test.sh [format] [release] [asan] [tsan] [fuzz] [i386] [win32]   (default: all)
# Environment: TALVENO_BUILD_ROOT (default build/) holds release/, asan/ and
# tsan/; TALVENO_RELEASE_DIR, TALVENO_ASAN_DIR and TALVENO_TSAN_DIR move one
# tree elsewhere; TALVENO_JOBS sets the build parallelism (default: all cores).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${TALVENO_BUILD_ROOT:-$root/build}
jobs=${TALVENO_JOBS:-$(nproc)}
export CXX=${CXX:-g++}

phases=("$@")
if ((${#phases[@]} == 0)); then
    phases=(format release asan tsan fuzz i386 win32)
fi
for phase in "${phases[@]}"; do
    case "$phase" in
    format | release | asan | tsan | fuzz | i386 | win32) ;;
    *)
        echo "Unknown phase '$phase' (expected format, release, asan, tsan, fuzz, i386 or win32)" >&2
        exit 2
        ;;
    esac
done

summary=()
current=""
started=0

section() {
    echo
    echo "================================================================"
    echo "== $*"
    echo "================================================================"
}

begin_phase() {
    current=$1
    started=$SECONDS
    section "$current"
}

end_phase() {
    summary+=("$(printf '%-34s %4d s' "$current" $((SECONDS - started)))")
    echo "-- $current: done in $((SECONDS - started)) s"
    current=""
}

report_failure() {
    if [[ -n "$current" ]]; then
        echo
        echo "FAILED in phase: $current (after $((SECONDS - started)) s)" >&2
    fi
}
trap report_failure EXIT

# Configures, builds and runs the suite in one build tree.
# Arguments: name, build directory, extra CMake arguments...
build_and_test() {
    local name=$1 dir=$2
    shift 2

    begin_phase "$name: configure and build"
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build "$dir" --parallel "$jobs"
    end_phase

    begin_phase "$name: ctest"
    (cd "$dir" && ctest --output-on-failure --no-tests=error --timeout 600)
    end_phase
}

total_started=$SECONDS

begin_phase "install packages"
"$root/scripts/install-deps.sh"
end_phase

for phase in "${phases[@]}"; do
    case "$phase" in
    format)
        begin_phase "format"
        "$root/scripts/check-format.sh"
        end_phase
        ;;
    release)
        build_and_test release "${TALVENO_RELEASE_DIR:-$build_root/release}" \
            -DTALVENO_SANITIZER= -DTALVENO_BUILD_BENCHMARKS=ON
        ;;
    asan)
        # Every report stops the test at once and fails it, leaks included.
        ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1 \
        UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1 \
            build_and_test asan "${TALVENO_ASAN_DIR:-$build_root/asan}" \
            -DTALVENO_SANITIZER=address -DTALVENO_BUILD_BENCHMARKS=OFF
        ;;
    tsan)
        # Reports from inside Qt's uninstrumented core are suppressed; any other
        # report stops the test at once and fails it.
        TSAN_OPTIONS="suppressions=$root/tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1" \
            build_and_test tsan "${TALVENO_TSAN_DIR:-$build_root/tsan}" \
            -DTALVENO_SANITIZER=thread -DTALVENO_BUILD_BENCHMARKS=OFF
        ;;
    fuzz)
        begin_phase "fuzz: libFuzzer with ASan+UBSan"
        TALVENO_FUZZ_BUILD_DIR="$build_root/fuzz" "$root/scripts/fuzz.sh" --fixed
        end_phase
        ;;
    i386)
        begin_phase "i386: root, build and ctest"
        TALVENO_I386_ROOT="$build_root/i386-root" TALVENO_JOBS="$jobs" "$root/scripts/check-i386.sh"
        end_phase
        ;;
    win32)
        begin_phase "win32: Qt, build, exports and Wine"
        TALVENO_WIN32_BUILD="$build_root/win32" TALVENO_JOBS="$jobs" "$root/scripts/check-win32.sh"
        end_phase
        ;;
    esac
done

section "summary"
printf '%s\n' "${summary[@]}"
printf '%-34s %4d s\n' "total" $((SECONDS - total_started))
echo "All test phases passed."
