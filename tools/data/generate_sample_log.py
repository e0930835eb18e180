#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""Writes the monitor's sample log: 20 s of synthetic J1939 traffic in the
compact candump -l layout with relative time. The built-in parameters from
source address 00 follow a drive (idle, pull away, cruise, slow down) with
noise and a few outliers; vehicle speed also comes from source 17, and an
11-bit frame passes by, both of which the monitor skips by default.
Deterministic: the same script writes the same bytes.

usage: generate_sample_log.py [output]   (default: sample.log beside this script)
"""

import math
import os
import random
import sys

SECONDS = 20.0
rng = random.Random(20240517)


def drive(t):
    """Engine speed (rpm) and vehicle speed (km/h) at log time t."""
    if t < 4.0:
        return 700.0, 0.0
    if t < 12.0:
        x = (t - 4.0) / 8.0
        return 700.0 + 1100.0 * math.sin(x * math.pi / 2), 65.0 * x
    if t < 16.0:
        return 1450.0, 65.0
    x = (t - 16.0) / 4.0
    return 1450.0 - 500.0 * x, 65.0 - 25.0 * x


def pedal(t):
    engine, _ = drive(t)
    return max(0.0, min(100.0, (engine - 650.0) / 12.0))


def le16(raw):
    return [raw & 0xFF, raw >> 8]


def clamp_raw(value, factor, offset, top):
    return max(0, min(top, round((value - offset) / factor)))


def eec1(t):
    engine, _ = drive(t)
    engine += rng.gauss(0.0, 12.0)
    if t < 0.1:
        speed = [0xFF, 0xFF]  # not available while the ECU starts
    else:
        if 9.0 <= t < 9.06:
            engine += 1900.0  # a burst of bad readings
        speed = le16(clamp_raw(engine, 0.125, 0.0, 0xFAFF))
    torque = 125 + int(pedal(t) * 0.6)
    return [0xF1, torque, torque, *speed, 0x00, 0xF0, torque]


def eec2(t):
    value = pedal(t) + rng.gauss(0.0, 0.8)
    if abs(t - 14.0) < 0.025:
        value = 97.0  # a stuck-pedal glitch
    return [0xF1, clamp_raw(value, 0.4, 0.0, 250), 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF]


def ccvs1(t, source):
    _, speed = drive(t)
    speed = max(0.0, speed + rng.gauss(0.0, 0.3))
    if source == 0x17:
        speed *= 1.02  # the cluster reads a little high
    return [0xF3, *le16(clamp_raw(speed, 1.0 / 256.0, 0.0, 0xFAFF)), 0x1F, 0x00, 0x00, 0x00, 0xC0]


def et1(t):
    coolant = 82.0 + 6.0 * t / SECONDS + rng.gauss(0.0, 0.4)
    return [clamp_raw(coolant, 1.0, -40.0, 250), 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF]


def eflp1(t):
    engine, _ = drive(t)
    pressure = 180.0 + engine * 0.12 + rng.gauss(0.0, 6.0)
    if abs(t - 17.0) < 0.25:
        pressure = 60.0  # a pressure drop worth a look
    return [0xFF, 0xFF, 0xFF, clamp_raw(pressure, 4.0, 0.0, 250), 0xFF, 0xFF, 0xFF, 0xFF]


def lfe1(t):
    engine, _ = drive(t)
    if t < 1.0:
        return [0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF]  # not available yet
    rate = 1.5 + pedal(t) * 0.35 + rng.gauss(0.0, 0.3)
    return [*le16(clamp_raw(rate, 0.05, 0.0, 0xFAFF)), 0xFF, 0xFF, 0x64, 0x00, 0xFF, 0xFF]


# (identifier, period in s, first send time, payload maker)
SCHEDULE = [
    (0x0CF00400, 0.020, 0.0031, eec1),
    (0x0CF00300, 0.050, 0.0107, eec2),
    (0x18FEF100, 0.100, 0.0213, lambda t: ccvs1(t, 0x00)),
    (0x18FEF117, 0.100, 0.0442, lambda t: ccvs1(t, 0x17)),
    (0x18FEEE00, 1.000, 0.0305, et1),
    (0x18FEEF00, 0.500, 0.0377, eflp1),
    (0x18FEF200, 0.100, 0.0158, lfe1),
    (0x123, 0.100, 0.0590, lambda t: [0x01, 0x00, 0x7F]),
]


def frames():
    events = []
    for order, (identifier, period, start, _) in enumerate(SCHEDULE):
        n = 0
        while start + n * period < SECONDS:
            events.append((start + n * period + rng.uniform(0.0, 0.0004), order, identifier))
            n += 1
    events.sort()
    for t, order, identifier in events:
        yield t, identifier, SCHEDULE[order][3](t)


def line(t, identifier, data):
    ident = "%08X" % identifier if identifier > 0x7FF else "%03X" % identifier
    return "(%010.6f) can0 %s#%s\n" % (t, ident, "".join("%02X" % b for b in data))


def main():
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "sample.log")
    output = sys.argv[1] if len(sys.argv) > 1 else default
    with open(output, "w", encoding="ascii", newline="\n") as log:
        for t, identifier, data in frames():
            log.write(line(t, identifier, data))


if __name__ == "__main__":
    main()
