#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""Checks talveno-monitor's reading of a CAN database against canmatrix.

usage: compare_canmatrix.py MONITOR

Writes a database of every construct the monitor reads (both byte orders at odd
start bits and lengths, signed and 64-bit values, IEEE singles and doubles,
factors and offsets, a 29-bit identifier beside the same 11-bit one, simple and
extended multiplexing, CAN FD, value tables, J1939 groups from several senders
and to several destinations) and a log of random frames for it. The monitor
reads both; canmatrix loads the database and decodes every frame with
Frame.decode, the message found here by identifier, or by parameter group for
J1939. Each signal's count, mean, minimum and maximum must agree to 1e-9
relative. Exit status 77 (skipped) when canmatrix is missing.
"""

import json
import math
import os
import random
import struct
import subprocess
import sys
import tempfile

SKIPPED = 77
FRAMES = 4000
SENDERS = (0x00, 0x17, 0x31)

DATABASE = r'''VERSION ""

NS_ :
	BA_DEF_
	BA_
	VAL_

BS_:

BU_: Node

BO_ 256 Mixed: 8 Node
 SG_ A : 3|11@1+ (0.5,10) [0|0] "" Node
 SG_ B : 21|13@0- (0.25,-3) [0|0] "" Node
 SG_ C : 40|7@1- (1,0) [0|0] "" Node
 SG_ D : 55|9@0+ (3,-100) [0|0] "" Node

BO_ 257 Wide: 8 Node
 SG_ E : 0|64@1- (1,0) [0|0] "" Node

BO_ 258 WideMotorola: 8 Node
 SG_ F : 7|64@0+ (1,0) [0|0] "" Node

BO_ 259 Singles: 8 Node
 SG_ G : 0|32@1- (1,0) [0|0] "" Node
 SG_ H : 32|32@1- (2,1) [0|0] "" Node

BO_ 260 Double: 8 Node
 SG_ I : 7|64@0- (1,0) [0|0] "" Node

BO_ 2147484160 Extended: 8 Node
 SG_ J : 12|16@1+ (0.1,0) [0|0] "" Node

BO_ 512 Standard: 8 Node
 SG_ K : 0|8@1+ (1,0) [0|0] "" Node

BO_ 300 Mux: 8 Node
 SG_ M M : 0|4@1+ (1,0) [0|0] "" Node
 SG_ S1 m0 : 8|16@1+ (1,0) [0|0] "" Node
 SG_ S2 m1 : 15|12@0- (1,0) [0|0] "" Node
 SG_ S3 m2 : 8|32@1+ (0.01,0) [0|0] "" Node

BO_ 301 ExtMux: 8 Node
 SG_ MuxA M : 0|8@1+ (1,0) [0|0] "" Node
 SG_ MuxB m2M : 8|8@1+ (1,0) [0|0] "" Node
 SG_ C1 m1 : 16|16@1+ (1,0) [0|0] "" Node
 SG_ C2 m0 : 16|8@1- (1,0) [0|0] "" Node

BO_ 400 Fd: 64 Node
 SG_ L : 500|12@1+ (1,0) [0|0] "" Node
 SG_ N : 200|20@0- (0.5,0) [0|0] "" Node

BO_ 2566853374 Broadcast: 8 Node
 SG_ P : 0|16@1+ (0.125,0) [0|0] "" Node

BO_ 2565472510 Request: 8 Node
 SG_ Q : 0|24@1+ (1,0) [0|0] "" Node

BA_DEF_ BO_  "VFrameFormat" ENUM  "StandardCAN","ExtendedCAN","reserved","J1939PG","reserved","reserved","reserved","reserved","reserved","reserved","reserved","reserved","reserved","reserved","StandardCAN_FD","ExtendedCAN_FD";
BA_DEF_DEF_  "VFrameFormat" "StandardCAN";
BA_ "VFrameFormat" BO_ 2147484160 1;
BA_ "VFrameFormat" BO_ 400 14;
BA_ "VFrameFormat" BO_ 2566853374 3;
BA_ "VFrameFormat" BO_ 2565472510 3;
VAL_ 256 C -1 "minus one" 0 "zero" 1 "one" ;
SIG_VALTYPE_ 259 G : 1;
SIG_VALTYPE_ 259 H : 1;
SIG_VALTYPE_ 260 I : 2;
SG_MUL_VAL_ 301 MuxB MuxA 2-3;
SG_MUL_VAL_ 301 C1 MuxA 1-1;
SG_MUL_VAL_ 301 C2 MuxB 0-4, 10-12;
'''


def pgn_of(can_id):
    pgn = (can_id >> 8) & 0x3FF00
    if (can_id >> 16) & 0xFF >= 240:
        pgn |= (can_id >> 8) & 0xFF
    return pgn


def finite_real(rng, pack):
    return struct.pack(pack, rng.uniform(-1e6, 1e6))


def random_frame(rng):
    """(identifier, extended, data) of one message of the database, at random."""
    kind = rng.randrange(10)
    data = bytearray(rng.getrandbits(8) for _ in range(8))
    if kind == 0:
        return 256, False, data
    if kind == 1:
        return rng.choice((257, 258)), False, data
    if kind == 2:
        return 259, False, finite_real(rng, "<f") + finite_real(rng, "<f")
    if kind == 3:
        return 260, False, finite_real(rng, ">d")
    if kind == 4:
        return 0x200, rng.random() < 0.5, data
    if kind == 5:
        data[0] = rng.randrange(16) if rng.random() < 0.2 else rng.randrange(4)
        return 300, False, data
    if kind == 6:
        data[0], data[1] = rng.randrange(5), rng.randrange(16)
        return 301, False, data
    if kind == 7:
        return 400, False, bytearray(rng.getrandbits(8) for _ in range(64))
    # J1939 marks the top raw values as not available: the random ones stay below.
    sender = rng.choice(SENDERS)
    if kind == 8:
        data[1] = rng.randrange(0xFB)
        return 0x18FF1200 | sender, True, data
    data[2] = rng.randrange(0xFB)
    return 0x18EA0000 | rng.randrange(256) << 8 | sender, True, data


def write_log(path, frames):
    with open(path, "w", encoding="ascii") as log:
        for number, (can_id, extended, data) in enumerate(frames):
            identifier = "%08X" % can_id if extended else "%03X" % can_id
            separator = "##0" if len(data) > 8 else "#"
            log.write("(%.6f) can0 %s%s%s\n" % (number * 0.001, identifier, separator, bytes(data).hex().upper()))


def reference_values(database, frames):
    """(MESSAGE.SIGNAL, sender or None): [values] as canmatrix decodes them."""
    values = {}
    for can_id, extended, data in frames:
        if extended and any(f.is_j1939 for f in database.frames):
            message = next((f for f in database.frames if f.is_j1939 and f.arbitration_id.pgn == pgn_of(can_id)), None)
        else:
            message = None
        if message is None:
            message = next(f for f in database.frames
                           if f.arbitration_id.id == can_id and f.arbitration_id.extended == extended)
        sender = can_id & 0xFF if message.is_j1939 else None
        for name, decoded in message.decode(bytes(data)).items():
            values.setdefault(("%s.%s" % (message.name, name), sender), []).append(float(decoded.phys_value))
    return values


def relative_difference(a, b):
    return abs(a - b) / max(abs(a), abs(b), 1e-300) if a != b else 0.0


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        import canmatrix.formats
    except ImportError:
        print("SKIP: canmatrix is not importable")
        return SKIPPED
    rng = random.Random(18)
    frames = [random_frame(rng) for _ in range(FRAMES)]
    with tempfile.TemporaryDirectory() as scratch:
        database_path, log_path = os.path.join(scratch, "db.dbc"), os.path.join(scratch, "frames.log")
        with open(database_path, "w", encoding="ascii") as out:
            out.write(DATABASE)
        write_log(log_path, frames)
        run = subprocess.run([sys.argv[1], log_path, "--no-builtin", "--dbc", database_path, "--history", "0",
                              "--format", "json"], capture_output=True, check=False)
        database = canmatrix.formats.loadp_flat(database_path)
    if run.returncode != 0:
        print("FAIL: the monitor exited with %d: %s" % (run.returncode, run.stderr.decode()))
        return 1
    reference = reference_values(database, frames)
    report = {}
    for signal in json.loads(run.stdout)["signals"]:
        sender = signal.get("sourceAddress")
        report[(signal["name"], int(sender, 16) if sender else None)] = signal

    failures, largest = 0, 0.0
    for key in sorted(set(reference) | set(report), key=str):
        expected, signal = reference.get(key), report.get(key)
        if expected is None or signal is None:
            where = "not in the report" if signal is None else "not in canmatrix"
            print("FAIL: %s from %s: %s" % (key[0], key[1], where))
            failures += 1
            continue
        figures = [("count", signal["samples"], len(expected)),
                   ("mean", signal["mean"], math.fsum(expected) / len(expected)),
                   ("min", signal["min"], min(expected)), ("max", signal["max"], max(expected))]
        for field, got, want in figures:
            difference = relative_difference(got, want)
            largest = max(largest, difference)
            if difference > 1e-9:
                print("FAIL: %s from %s %s: monitor %r, canmatrix %r" % (key[0], key[1], field, got, want))
                failures += 1
    print("%d signals over %d frames; largest relative difference %.3g" % (len(reference), len(frames), largest))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
