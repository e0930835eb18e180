#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a bounded time.
#
#   scripts/fuzz.sh [seconds per target, default 60]
#
# The build directory is build/fuzz, or $TALVENO_FUZZ_BUILD_DIR. Fails when any
# target reports a crash, leak, timeout or out-of-memory; the input that caused
# it is copied into the target's corpus directory, to be committed, so that
# every build replays it from then on. Inputs the fuzzer finds otherwise stay
# in a scratch directory: the committed corpus remains a short set of seeds.
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TALVENO_FUZZ_BUILD_DIR:-$root/build/fuzz}

# clang links its sanitizer runtimes statically by default, which leaves the
# shared libraries' sanitizer and coverage references undefined; the shared
# runtimes keep -Wl,--no-undefined working. The runtime is preloaded when a
# target runs, as it must come before every other library.
runtime=$(clang++ -print-file-name=libclang_rt.asan-x86_64.so)
cmake -S "$root" -B "$build" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
    -DCMAKE_SHARED_LINKER_FLAGS=-shared-libsan -DCMAKE_EXE_LINKER_FLAGS=-shared-libsan \
    -DTALVENO_SANITIZER=address -DTALVENO_FUZZ=ON \
    -DTALVENO_BUILD_BENCHMARKS=OFF
cmake --build "$build" --target talveno_fuzzers -j2

# The targets carry their own AddressSanitizer and LeakSanitizer defaults
# (tests/fuzz/sanitizer_defaults.cpp).
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
while IFS=$'\t' read -r name corpus; do
    artifacts="$build/fuzz/artifacts/$name"
    scratch="$build/fuzz/scratch/$name"
    rm -rf "$artifacts"
    mkdir -p "$artifacts" "$scratch"
    echo "== fuzzing $name for ${seconds}s"
    if ! LD_PRELOAD=$runtime "$build/fuzz/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$artifacts/" -print_final_stats=1 "$scratch" "$corpus"; then
        echo "== $name failed" >&2
        status=1
    fi
    # The input is also printed, so that a failure on a machine that is gone
    # afterwards (CI) can be replayed: base64 -d > file; <name>_replay file.
    for found in "$artifacts"/*; do
        [ -e "$found" ] || continue
        cp "$found" "$corpus/"
        echo "== kept $(basename "$found") in $corpus: commit it; its bytes in base64:" >&2
        base64 -w0 "$found" >&2
        echo >&2
    done
done < "$build/fuzz/targets.txt"
exit $status
