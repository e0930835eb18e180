#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# The benchmark command. Builds talveno-bench in Release, runs every benchmark
# with repetitions, and ends with each target ratio of medians on a line of its
# own: the scaled intake against its plain-struct floor (and, for scale, the
# synchronization its lock rules fix per sample against the same floor), the median of the
# history against a copy of plain doubles plus one selection; then the worst call
# and the 99.9th percentile of getValue() and getAgeInSeconds() beside a thread
# that rebuilds the statistics or feeds samples, against the same getter alone,
# with a getter that takes no lock as the floor. Exits with 1 when a ratio misses its target, a
# getter's 99.9th percentile reaches 1 us or its worst call takes 50 us or more.
#
# Usage: scripts/bench.sh [talveno-bench arguments, e.g. --benchmark_filter=Median]
# Environment: TALVENO_BENCH_DIR (default build/bench), TALVENO_JOBS (default 2),
# TALVENO_BENCH_REPETITIONS (default 5).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TALVENO_BENCH_DIR:-$root/build/bench}
jobs=${TALVENO_JOBS:-2}
repetitions=${TALVENO_BENCH_REPETITIONS:-5}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTALVENO_BUILD_TESTS=OFF \
    -DTALVENO_BUILD_EXAMPLES=OFF -DTALVENO_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j"$jobs" --target talveno-bench

results=$(mktemp)
trap 'rm -f "$results"' EXIT
# Repetitions of all benchmarks are interleaved in random order, so that a slow
# spell of a shared machine falls on a measurement and its floor alike.
"$build/bench/talveno-bench" --benchmark_repetitions="$repetitions" --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$results" --benchmark_out_format=json "$@"

/usr/bin/python3 - "$results" <<'PYTHON'
import json
import sys

with open(sys.argv[1]) as f:
    report = json.load(f)

scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
medians = {}
for run in report["benchmarks"]:
    if run.get("aggregate_name") == "median":
        medians[run["run_name"]] = run["cpu_time"] * scale[run.get("time_unit", "ns")]

pairs = []
for history in ("policy:1", "capacity:1000", "capacity:10000"):
    for element in ("double", "qint32"):
        target = 6.0 if (element, history) == ("double", "capacity:10000") else None
        pairs.append((f"ScaledIntake/{element}/{history}", f"IntakeFloor/{history}", target))
# What the lock rules alone cost per sample, against the same floor: the part of
# the intake's ratio that no change to its work can take out.
pairs.append(("IntakeLockFloor", "IntakeFloor/capacity:10000", None))
for count in (1000, 100000, 1000000):
    pairs.append((f"CalcMedian/{count}", f"MedianFloor/{count}", 2.0))

print()
missed = 0
for measured, floor, target in pairs:
    if measured not in medians or floor not in medians:
        continue
    ratio = medians[measured] / medians[floor]
    line = f"ratio {measured} / {floor} = {ratio:.2f}"
    if target is not None:
        line += f" (target <= {target:g})"
        if ratio > target:
            line += " MISSED"
            missed += 1
    print(line)
for getter in ("CachedAverage", "CachedAverage/withWriter"):
    if getter in medians:
        print(f"median {getter} = {medians[getter]:.2f} ns for both cached getters")

# The getters of the newest sample and its age, call by call, beside a thread that
# rebuilds the statistics of a long history or feeds the scaled intake: the worst
# call of all repetitions (and of the median repetition), and the median of their
# 99.9th percentiles, each against the same getter with no other thread. The
# floor, a getter without a lock, shows what the machine itself allows.
getters = {}
for run in report["benchmarks"]:
    if run["run_name"].startswith(("Getter/", "GetterFloor/")):
        name = run["run_name"].split("/iterations:")[0]
        getters.setdefault(name, {})[run.get("aggregate_name", "single")] = run
worst_target = 50.0
p999_target = 1.0
for name, runs in sorted(getters.items()):
    worst = runs.get("max", runs.get("single"))
    typical = runs.get("median", runs.get("single"))
    if worst is None or typical is None:
        continue
    busy, alone = worst["worst_us"], worst["quiet_worst_us"]
    line = f"worst {name} = {busy:.2f} us (median run {typical['worst_us']:.2f} us), alone {alone:.2f} us,"
    line += f" ratio {busy / alone:.2f}"
    if name.startswith("GetterFloor/"):
        line += " (no lock: the floor)"
    else:
        line += f" (target < {worst_target:g} us)"
        if busy >= worst_target:
            line += " MISSED"
            missed += 1
    print(line)
    busy, alone = typical["p999_us"], typical["quiet_p999_us"]
    line = f"p99.9 {name} = {busy:.3f} us, alone {alone:.3f} us, ratio {busy / alone:.2f}"
    if not name.startswith("GetterFloor/"):
        line += f" (target < {p999_target:g} us)"
        if busy >= p999_target:
            line += " MISSED"
            missed += 1
    print(line)
sys.exit(1 if missed else 0)
PYTHON
