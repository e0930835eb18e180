#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""Checks the ASC, BLF and TRC readers and writers against python-can's.

usage: compare_python_can.py MONITOR REPLAY LOG...

Each candump LOG (a missing one is skipped) is written as ASC, BLF and TRC by
python-can's writers; the monitor reads each, and every signal's count,
average, minimum and maximum must equal those of the candump run, and the
frame count its own. talveno-replay --write then turns each back into a
candump log, whose frames must be the original's, their times counted from
the first frame within 1 us for BLF and 1 ms for ASC and TRC. Last, the replay
writes the candump log as ASC and BLF, which python-can must read back as the
same frames.

python-can 4.1's writers do not keep a log's start: its ASC writer dates the
file when it writes it, its BLF writer leaves the start out of a log of times
before 1990, as candump's relative logs are, and its TRC writer writes a wrong
$STARTTIME; its ASC reader takes the date as local time. So times are compared
from the first frame on, but for our BLF read by python-can. The TRC writer
also drops CAN FD, remote and error frames: only the frames it keeps are
compared.
Exit status 77 (skipped) when python-can or every LOG is missing.
"""

import json
import os
import subprocess
import sys
import tempfile

SKIPPED = 77
TOLERANCE = {"asc": 1e-3, "blf": 1e-6, "trc": 1e-3}


def monitor_report(monitor, log, *options):
    run = subprocess.run([monitor, log, "--history", "0", "--format", "json", *options], capture_output=True,
                         check=True)
    report = json.loads(run.stdout)
    signals = {s["name"]: (s["samples"], s["liveAverage"], s["min"], s["max"]) for s in report["signals"]}
    return report, signals


def frames_of(reader):
    return [(m.timestamp, m.arbitration_id, m.is_extended_id, m.is_remote_frame, m.is_error_frame, bytes(m.data))
            for m in reader]


def write_with(writer, messages):
    for message in messages:
        writer.on_message_received(message)
    writer.stop()


def compare_frames(name, got, want, tolerance, relative):
    """Frames equal but for time; the largest time difference, or None on a mismatch."""
    if len(got) != len(want):
        print(f"FAIL: {name}: {len(got)} frames, expected {len(want)}")
        return None
    shift = (got[0][0] - want[0][0]) if relative and got else 0.0
    largest = 0.0
    for index, (g, w) in enumerate(zip(got, want)):
        difference = abs(g[0] - shift - w[0])
        largest = max(largest, difference)
        if g[1:] != w[1:] or difference > tolerance:
            print(f"FAIL: {name}: frame {index + 1} is {g}, expected {w}")
            return None
    return largest


def check_override(monitor, path, signals):
    """An ASC log without its date and base lines is read as ASC only when so told."""
    headless = path + ".headless"
    with open(path, encoding="utf-8") as full, open(headless, "w", encoding="utf-8") as out:
        out.writelines(full.readlines()[2:])
    guessed = subprocess.run([monitor, headless], capture_output=True, text=True, check=False)
    told, told_signals = monitor_report(monitor, headless, "--input-format", "asc")
    if guessed.returncode != 2 or "not a CAN log" not in guessed.stderr or told_signals != signals:
        print(f"FAIL: {headless}: {guessed.stderr.strip()}; read as {told['inputFormat']} when told ASC")
        return 1
    return 0


def check_log(can, monitor, replay, log, directory):
    failures = 0
    original = frames_of(can.CanutilsLogReader(log))
    messages = list(can.CanutilsLogReader(log))
    kept_by_trc = [f for f in original if not f[3] and not f[4]]
    reference, reference_signals = monitor_report(monitor, log)
    base = os.path.join(directory, os.path.basename(log))
    writers = {"asc": can.ASCWriter, "blf": can.BLFWriter, "trc": can.TRCWriter}
    for suffix, writer in writers.items():
        path = f"{base}.{suffix}"
        write_with(writer(path), messages)
        report, signals = monitor_report(monitor, path)
        expected_frames = len(kept_by_trc) if suffix == "trc" else reference["frames"]
        if report["inputFormat"].lower() != suffix or report["frames"] + report["errorFrames"] != expected_frames:
            print(f"FAIL: {path}: read as {report['inputFormat']}, {report['frames']} frames")
            failures += 1
        if signals != reference_signals:
            print(f"FAIL: {path}: signals {signals}, expected {reference_signals}")
            failures += 1
        if suffix == "asc":
            failures += check_override(monitor, path, signals)
        back = path + ".log"
        subprocess.run([replay, path, "--write", back], check=True)
        want = kept_by_trc if suffix == "trc" else original
        largest = compare_frames(path, frames_of(can.CanutilsLogReader(back)), want, TOLERANCE[suffix], relative=True)
        if largest is None:
            failures += 1
        else:
            print(f"{os.path.basename(path)}: {len(want)} frames, {len(signals)} signals equal, "
                  f"largest time difference {largest * 1e6:.3f} us")

    for suffix, reader in (("asc", can.ASCReader), ("blf", can.BLFReader)):
        path = f"{base}.ours.{suffix}"
        subprocess.run([replay, log, "--write", path], check=True)
        largest = compare_frames(path, frames_of(reader(path)), original, TOLERANCE[suffix],
                                 relative=suffix == "asc")
        if largest is None:
            failures += 1
        else:
            print(f"{os.path.basename(path)} read by python-can: {len(original)} frames, "
                  f"largest time difference {largest * 1e6:.3f} us")
    return failures


def main():
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    monitor, replay, logs = sys.argv[1], sys.argv[2], [log for log in sys.argv[3:] if os.path.isfile(log)]
    try:
        import can
    except ImportError:
        print("SKIP: python-can is not importable")
        return SKIPPED
    if not logs:
        print("SKIP: no log to compare")
        return SKIPPED
    with tempfile.TemporaryDirectory() as directory:
        failures = sum(check_log(can, monitor, replay, log, directory) for log in logs)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
