#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each of them:
#
#   scripts/fuzz.sh [SECONDS]   from random seeds, for SECONDS per target
#                               (default 600): the long search, run by hand
#   scripts/fuzz.sh --fixed     from seed 1, for the target's own number of
#                               runs: the same inputs on every machine, as the
#                               test command runs it
#
# The build directory is build/fuzz, or $TALVENO_FUZZ_BUILD_DIR. Fails when any
# target reports a crash, leak, timeout or out-of-memory; the input that caused
# it is copied into the target's corpus directory, to be committed, so that
# every build replays it from then on. Inputs the fuzzer finds otherwise stay
# in a scratch directory: the committed corpus remains a short set of seeds. A
# fixed run starts from an empty scratch directory, so that it depends on the
# committed corpus alone.
set -euo pipefail

fixed=false
seconds=600
case "${1:-}" in
--fixed) fixed=true ;;
"") ;;
*) seconds=$1 ;;
esac
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

# A fixed run must not depend on where things land in memory either: libFuzzer
# counts the stack's depth as coverage, and Qt seeds its hashes at random. Where
# address randomisation cannot be turned off (some containers), the inputs tried
# still drift a little from run to run.
launcher=(env LD_PRELOAD="$runtime")
if $fixed; then
    launcher+=(QT_HASH_SEED=0)
    if setarch "$(uname -m)" -R true 2>/dev/null; then
        launcher=(setarch "$(uname -m)" -R "${launcher[@]}")
    fi
fi

status=0
while IFS=$'\t' read -r name corpus runs; do
    artifacts="$build/fuzz/artifacts/$name"
    scratch="$build/fuzz/scratch/$name"
    rm -rf "$artifacts"
    if $fixed; then
        rm -rf "$scratch"
        bound=(-seed=1 -runs="$runs" -reload=0)
        echo "== fuzzing $name for $runs runs from seed 1"
    else
        bound=(-max_total_time="$seconds")
        echo "== fuzzing $name for ${seconds}s"
    fi
    mkdir -p "$artifacts" "$scratch"
    if ! "${launcher[@]}" "$build/fuzz/$name" "${bound[@]}" -timeout=10 -rss_limit_mb=2048 \
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
