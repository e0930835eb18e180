#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""Checks talveno-monitor against an independent reading of a real J1939 log.

usage: validate_monitor.py MONITOR LOG [DBC]

Runs MONITOR on LOG with an unbounded history and JSON output, reads LOG again
with python-can's log reader, decodes the built-in parameters here from their
J1939 parameter table with plain Python arithmetic, and compares each signal's
count, minimum, maximum, mean and population deviation to 1e-9 relative.
With DBC, a database of the same parameters, the monitor runs again with
--no-builtin --dbc DBC and must give each parameter's sender 0x00 the same
figures as the built-in signal. Exit status 77 (skipped) when LOG or python-can
is missing.
"""

import json
import math
import os
import subprocess
import sys

SKIPPED = 77

# SPN: (PGN, first byte counted from 1, bytes, factor, offset); source address 00.
PARAMETERS = {
    190: (61444, 4, 2, 0.125, 0.0),
    84: (65265, 2, 2, 1.0 / 256.0, 0.0),
    110: (65262, 1, 1, 1.0, -40.0),
    100: (65263, 4, 1, 4.0, 0.0),
    91: (61443, 2, 1, 0.4, 0.0),
    183: (65266, 1, 2, 0.05, 0.0),
}
SOURCE_ADDRESS = 0x00
# SPN: MESSAGE.SIGNAL in the database of these parameters.
DATABASE_NAMES = {
    190: "EEC1.EngSpeed",
    84: "CCVS1.WheelBasedVehicleSpeed",
    110: "ET1.EngCoolantTemp",
    100: "EFL_P1.EngOilPress",
    91: "EEC2.AccelPedalPos1",
    183: "LFE1.EngFuelRate",
}
FIGURES = ("samples", "stored", "notAvailable", "errors", "min", "max", "mean", "liveAverage", "cachedAverage",
           "deviation", "median", "newest", "rating", "outsideBand", "lowerThreshold", "upperThreshold")


def pgn_of(can_id):
    pdu_format = (can_id >> 16) & 0xFF
    pgn = (can_id >> 8) & 0x3FF00
    if pdu_format >= 240:
        pgn |= (can_id >> 8) & 0xFF
    return pgn


def reference_values(log, can):
    values = {spn: [] for spn in PARAMETERS}
    for message in can.CanutilsLogReader(log):
        if not message.is_extended_id or message.is_remote_frame:
            continue
        if message.arbitration_id & 0xFF != SOURCE_ADDRESS:
            continue
        pgn = pgn_of(message.arbitration_id)
        for spn, (parameter_group, first, count, factor, offset) in PARAMETERS.items():
            if pgn != parameter_group or len(message.data) < first - 1 + count:
                continue
            raw_bytes = message.data[first - 1:first - 1 + count]
            if raw_bytes[-1] >= 0xFB:  # error, reserved or not available
                continue
            raw = int.from_bytes(raw_bytes, "little")
            values[spn].append(raw * factor + offset)
    return values


def statistics(xs):
    n = len(xs)
    mean = sum(xs) / n
    deviation = math.sqrt(sum((x - mean) ** 2 for x in xs) / n)
    return {"min": min(xs), "max": max(xs), "mean": mean, "deviation": deviation}


def close(a, b):
    return math.isclose(a, b, rel_tol=1e-9, abs_tol=1e-12)


def run_monitor(monitor, arguments):
    run = subprocess.run([monitor, *arguments, "--history", "0", "--format", "json"], capture_output=True, check=False)
    if run.returncode != 0:
        print("FAIL: the monitor exited with %d: %s" % (run.returncode, run.stderr.decode()))
        return None
    return json.loads(run.stdout)


def compare_database(monitor, log, database, builtin_report):
    """The database's signals from sender 0x00 against the built-in ones."""
    report = run_monitor(monitor, [log, "--no-builtin", "--dbc", database])
    if report is None:
        return 1
    failures = 0
    for spn, name in DATABASE_NAMES.items():
        builtin = [s for s in builtin_report["signals"] if "(SPN %d)" % spn in s["name"]]
        found = [s for s in report["signals"] if s["name"] == name and s["sourceAddress"] == "0x00"]
        if len(found) != 1 or len(builtin) != 1:
            print("FAIL: %s from 0x00 not in the database's report" % name)
            failures += 1
            continue
        for key in FIGURES:
            if not close(found[0][key], builtin[0][key]):
                print("FAIL: %s %s: database %r, built-in %r" % (name, key, found[0][key], builtin[0][key]))
                failures += 1
        if not failures:
            print("%-30s the same figures as SPN %d" % (name, spn))
    return failures


def main():
    if len(sys.argv) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    monitor, log = sys.argv[1], sys.argv[2]
    if not os.path.isfile(log):
        print("SKIP: %s is absent" % log)
        return SKIPPED
    try:
        import can
    except ImportError:
        print("SKIP: python-can is not importable")
        return SKIPPED

    report = run_monitor(monitor, [log])
    if report is None:
        return 1
    reference = reference_values(log, can)

    failures = 0
    for spn, expected_values in reference.items():
        tag = "(SPN %d)" % spn
        found = [s for s in report["signals"] if tag in s["name"]]
        if len(found) != 1:
            print("FAIL: SPN %d not in the report" % spn)
            failures += 1
            continue
        signal = found[0]
        checks = [("count", signal["samples"], len(expected_values), signal["samples"] == len(expected_values)),
                  ("stored", signal["stored"], len(expected_values), signal["stored"] == len(expected_values))]
        if expected_values:
            expected = statistics(expected_values)
            for field, key in (("min", "min"), ("max", "max"), ("mean", "liveAverage"),
                               ("mean", "cachedAverage"), ("deviation", "deviation")):
                checks.append((key, signal[key], expected[field], close(signal[key], expected[field])))
        for name, got, want, ok in checks:
            if not ok:
                print("FAIL: SPN %d %s: monitor %r, reference %r" % (spn, name, got, want))
                failures += 1
        print("SPN %-3d %-30s n=%-5d mean=%.12g deviation=%.12g %s"
              % (spn, signal["name"], len(expected_values),
                 signal["liveAverage"], signal["deviation"], "ok" if not failures else ""))
    if len(sys.argv) == 4:
        failures += compare_database(monitor, log, sys.argv[3], report)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
