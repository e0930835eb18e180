#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""talveno-fleet on a local Dask cluster of two workers, against the monitor on the whole log.

usage: test_fleet.py FLEET MONITOR SAMPLE_LOG REPLAY [J1939_LOG]

The sample log, cut into four logs of two vehicles, must merge fleet-wide to what
the monitor reports for the whole log, past a FIFO in a vehicle's directory; a
corrupt log, a missing one and a FIFO that outlasts --timeout must be named as
failed while the good logs still merge; SIGTERM while the cluster starts must end
the run with status 130 and no traceback. The sample log written as BLF and ASC
by REPLAY, a vehicle each, must give each vehicle the whole log's statistics. A
real J1939 log, where given and there, cut in two logs of one vehicle and whole
as another: the cab's trouble codes, active at the end of the first piece, are
gone by the latest, and the fleet lists each vehicle's codes apart. Exit status
77 (skipped) where Dask's distributed package cannot be imported.
"""

import json
import os
import random
import signal
import subprocess
import sys
import tempfile

try:
    import distributed  # noqa: F401
except ImportError as error:
    print(f"SKIP: {sys.executable} cannot import distributed ({error}); install Debian's python3-distributed")
    sys.exit(77)

fleet, monitor, sample, replay = sys.argv[1:5]
j1939 = sys.argv[5] if len(sys.argv) > 5 and os.path.exists(sys.argv[5]) else None
problems = []


def check(condition, what):
    if not condition:
        problems.append(what)


def run_fleet(*arguments):
    run = subprocess.run([fleet, "--workers", "2", "--format", "json", *arguments],
                         capture_output=True, text=True, timeout=120)
    sys.stderr.write(run.stderr)
    return run.returncode, json.loads(run.stdout)


def same_statistics(expected, merged, case, by_interface=True):
    def identity(s):
        return s["name"], s["unit"], s["interface"] if by_interface else "", s["sourceAddress"]
    by_identity = {identity(s): s for s in merged["signals"]}
    for want in expected["signals"]:
        got = by_identity.get(identity(want))
        check(got is not None, f"{case}: {want['name']} missing")
        for key in ("count", "mean", "deviation", "min", "max") if got else ():
            close = abs(got[key] - want[key]) <= 1e-12 * max(abs(want[key]), abs(got[key]))
            check(close, f"{case}: {want['name']} {key} {got[key]!r}, whole log {want[key]!r}")


whole = json.loads(subprocess.run([monitor, sample, "--format", "json"], capture_output=True, check=True).stdout)
with open(sample, encoding="utf-8") as text:
    lines = text.readlines()

with tempfile.TemporaryDirectory() as directory:
    pieces = []
    for index, (vehicle, name) in enumerate([("v1", "a.log"), ("v1", "b.log"), ("v2", "c.log"), ("v2", "d.log")]):
        os.makedirs(os.path.join(directory, "fleet", vehicle), exist_ok=True)
        pieces.append(os.path.join(directory, "fleet", vehicle, name))
        with open(pieces[-1], "w", encoding="utf-8") as piece:
            piece.writelines(lines[index * len(lines) // 4:(index + 1) * len(lines) // 4])
            piece.write("not a frame\n" if name == "c.log" else "")
    fifo = os.path.join(directory, "fleet", "v2", "fifo")
    os.mkfifo(fifo)

    # The monitor found without --monitor, as a user runs the program.
    status, result = run_fleet(os.path.join(directory, "fleet"))
    check(status == 0, f"directory: exit status {status}")
    check(sorted(result["vehicles"]) == ["v1", "v2"], f"directory: vehicles {sorted(result['vehicles'])}")
    check(result["warnings"] == [{"vehicle": "v2", "log": pieces[2], "malformedLines": 1}],
          f"directory: warnings {result['warnings']}")
    same_statistics(whole, result["fleet"], "directory")

    corrupt = os.path.join(directory, "corrupt.log")
    with open(corrupt, "wb") as out:
        out.write(random.Random(7).randbytes(4096))
    missing = os.path.join(directory, "missing.log")
    listing = os.path.join(directory, "logs.txt")
    with open(listing, "w", encoding="utf-8") as out:
        out.write("\n".join(pieces[:2] + [corrupt] + pieces[2:] + [missing, fifo]) + "\n")
    status, result = run_fleet("--monitor", monitor, "--list", listing, "--timeout", "3")
    check(status == 1, f"list: exit status {status}")
    failed = {f["log"]: f["reason"] for f in result["failed"]}
    check(sorted(failed) == sorted([corrupt, missing, fifo]) and "--timeout" in failed.get(fifo, ""),
          f"list: failed {result['failed']}")
    merged = result["fleet"]["reports"] if result["fleet"] else []
    check(sorted(merged) == sorted(pieces), f"list: the fleet merged {merged}, not the four good logs")
    if result["fleet"]:
        same_statistics(whole, result["fleet"], "list")

    # Channel 1 of a BLF or ASC log is the interface CAN1, not can0.
    for suffix in ("blf", "asc"):
        os.makedirs(os.path.join(directory, "formats", suffix))
        subprocess.run([replay, sample, "--write", os.path.join(directory, "formats", suffix, "drive." + suffix)],
                       capture_output=True, check=True)
    status, result = run_fleet(os.path.join(directory, "formats"))
    check(status == 0 and sorted(result["vehicles"]) == ["asc", "blf"], f"formats: {status} {result['vehicles']}")
    for suffix, vehicle in result["vehicles"].items():
        same_statistics(whole, vehicle, f"formats: {suffix}", by_interface=False)

    if j1939:
        with open(j1939, encoding="utf-8") as text:
            drive = text.readlines()
        cut = next(i for i, line in enumerate(drive) if float(line[1:line.index(")")]) > 21.9)
        for vehicle, name, part in [("v3", "a.log", drive[:cut]), ("v3", "b.log", drive[cut:]), ("v4", "all.log", drive)]:
            os.makedirs(os.path.join(directory, "trucks", vehicle), exist_ok=True)
            with open(os.path.join(directory, "trucks", vehicle, name), "w", encoding="utf-8") as piece:
                piece.writelines(part)
        status, result = run_fleet(os.path.join(directory, "trucks"))
        cab = [(f["spn"], f["active"], f["occurrences"], round(f["firstSeen"], 3), round(f["lastSeen"], 3))
               for f in result["vehicles"]["v3"]["faults"] if f["sourceAddress"] == "0x31"]
        check(cab == [(96, False, 126, 21.848, 26.647), (829, False, 126, 21.848, 26.647)], f"cab's codes: {cab}")
        listed = sorted((f["vehicle"], f["sourceAddress"]) for f in result["fleet"]["faults"])
        check(listed == sorted([(v, sa) for v in ("v3", "v4") for sa in ["0x00"] * 3 + ["0x31"] * 2]),
              f"fleet's faults: {listed}")
    # A database passed on to every task, its J1939 groups from every sender.
    database = ["--no-builtin", "--dbc", os.path.join(os.path.dirname(sample), "j1939_parameters.dbc")]
    one_run = json.loads(subprocess.run([monitor, sample, "--format", "json", *database],
                                        capture_output=True, check=True).stdout)
    status, result = run_fleet(*database, os.path.join(directory, "fleet"))
    check(status == 0 and one_run["signals"], f"database: exit status {status}")
    same_statistics(one_run, result["fleet"], "database")

    starting = subprocess.Popen([fleet, "--workers", "2", "--progress", os.path.join(directory, "fleet")],
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    # Signalled as soon as the cluster is being started: a fixed wait let a fast
    # machine finish the whole run first.
    said = ""
    while "starting a local cluster" not in said and starting.poll() is None:
        said += starting.stderr.readline()
    starting.send_signal(signal.SIGTERM)
    said += starting.stderr.read()
    check(starting.wait(60) == 130 and "Traceback" not in said, f"SIGTERM while starting: {starting.returncode} {said}")

for problem in problems:
    print(f"FAIL: {problem}")
sys.exit(1 if problems else 0)
