#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# The main job: builds the library and every program (the monitor, the replay,
# the example and the monitor's benchmark, so that `cmake --install` finds all
# it installs), then runs the signal monitor. Without arguments it reads the
# sample log that ships in tools/data; any arguments go to talveno-monitor (see
# --help).
# Shares the normal build tree with scripts/test.sh (build/release, or
# TALVENO_RELEASE_DIR); TALVENO_JOBS sets the build parallelism.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=${TALVENO_RELEASE_DIR:-${TALVENO_BUILD_ROOT:-$root/build}/release}
jobs=${TALVENO_JOBS:-$(nproc)}
export CXX=${CXX:-g++}

"$root/scripts/install-deps.sh" >&2
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVENO_BUILD_EXAMPLES=ON >&2
cmake --build "$dir" --parallel "$jobs" --target talveno-programs >&2
echo >&2
exec "$dir/tools/monitor/talveno-monitor" "$@"
