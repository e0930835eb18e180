#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# The main job: builds the library and the example program, then runs it.
# Shares the normal build tree with scripts/test.sh (build/release, or
# TALVENO_RELEASE_DIR); TALVENO_JOBS sets the build parallelism.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=${TALVENO_RELEASE_DIR:-${TALVENO_BUILD_ROOT:-$root/build}/release}
jobs=${TALVENO_JOBS:-$(nproc)}
export CXX=${CXX:-g++}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVENO_BUILD_EXAMPLES=ON
cmake --build "$dir" --parallel "$jobs" --target talveno-example
echo
"$dir/examples/talveno-example"
