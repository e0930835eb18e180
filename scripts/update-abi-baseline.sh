#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Renews the baselines of the export and ABI checks from the current tree: the
# list of exported symbols (tests/abi/exported-symbols.txt) and the ABI
# description (tests/abi/libTalveno.abi, needs abidw from abigail-tools). Run it
# after an intended change of the exports, or with a new SOVERSION, and commit
# the result with that change. Use GCC on x86-64, as the checks do.
#
# Usage: scripts/update-abi-baseline.sh
# Environment: TALVENO_ABI_BUILD_DIR (default build/abi-baseline) is the build
# tree, a RelWithDebInfo build of the library alone; TALVENO_JOBS sets the build
# parallelism (default 2).
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${TALVENO_ABI_BUILD_DIR:-$source_dir/build/abi-baseline}
jobs=${TALVENO_JOBS:-2}
abi=$source_dir/tests/abi

cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVENO_SANITIZER= \
    -DTALVENO_BUILD_TESTS=OFF -DTALVENO_BUILD_BENCHMARKS=OFF -DTALVENO_BUILD_EXAMPLES=OFF
cmake --build "$build_dir" --target Talveno --parallel "$jobs"

library=$build_dir/src/libTalveno.so
"$abi/abi.sh" exports "$library" >"$abi/exported-symbols.txt"
"$abi/abi.sh" dump "$library" "$abi/libTalveno.abi" "$source_dir/include" "$build_dir/src/include"
echo "Renewed $abi/exported-symbols.txt and $abi/libTalveno.abi:"
git -C "$source_dir" diff --stat -- tests/abi
