#!/usr/bin/python3
# SPDX-License-Identifier: LGPL-2.1-or-later
"""Checks the monitor's J1939 diagnostics against an independent reading of a
real log.

usage: validate_j1939.py MONITOR LOG

Reads LOG (candump -l lines) here with plain Python: puts its broadcasts back
together, decodes the active faults of every sender from single frames and
groups, and one parameter of the 34-byte engine configuration group (SPN 544,
bytes 20-21). Then runs MONITOR on LOG with that parameter in a definition
file and compares the session counts, each sender's lamps, every trouble code
and the parameter's samples, and finds a few of them in the table's words; and
again with the parameter in a J1939 database, where the SPN attribute of another
signal names one of the engine's codes. Exit status 77 (skipped) when LOG is
missing.
"""

import json
import os
import re
import subprocess
import sys
import tempfile

DATABASE = """VERSION ""
BU_: Engine
BO_ 2566841088 EngineConfiguration: 34 Engine
 SG_ EngineReferenceTorque : 152|16@1+ (1,0) [0|64255] "Nm" Vector__XXX
BO_ 2364539395 TransmissionControl: 8 Engine
 SG_ OutputShaftSpeed : 8|16@1+ (0.125,0) [0|8031.875] "rpm" Vector__XXX
BA_DEF_ "ProtocolType" STRING ;
BA_DEF_ SG_ "SPN" INT 0 524287;
BA_ "ProtocolType" "J1939";
BA_ "SPN" SG_ 2566841088 EngineReferenceTorque 544;
BA_ "SPN" SG_ 2364539395 OutputShaftSpeed 191;
"""

SKIPPED = 77
LINE = re.compile(r"\((\d+\.\d+)\)\s+(\S+)\s+([0-9A-Fa-f]{8})#([0-9A-Fa-f]*)")
LAMPS = ["malfunctionIndicator", "redStop", "amberWarning", "protect"]
STATES = {0: "off", 1: "on"}


def lamp_state(status, flash):
    if status != 1:
        return STATES.get(status, "not available")
    return {0: "slow flash", 1: "fast flash"}.get(flash, "on")


class Reading:
    def __init__(self):
        self.broadcasts = {}
        self.sessions = 0
        self.completed = 0
        self.lamps = {}
        self.codes = {}
        self.listed = {}
        self.torques = []

    def frame(self, time, can_id, data):
        pdu_format = (can_id >> 16) & 0x3FF
        source = can_id & 0xFF
        if pdu_format == 0xEC and data[0] == 32:
            self.sessions += 1
            size = data[1] | data[2] << 8
            self.broadcasts[source] = [size, data[5] | data[6] << 8 | data[7] << 16, 1, b""]
        elif pdu_format == 0xEB and source in self.broadcasts:
            session = self.broadcasts[source]
            if data[0] != session[2]:
                del self.broadcasts[source]
                return
            session[2] += 1
            session[3] += bytes(data[1:8])
            if len(session[3]) >= session[0]:
                del self.broadcasts[source]
                self.completed += 1
                self.group(time, source, session[1], session[3][: session[0]])
        elif (can_id >> 8) & 0x3FFFF == 0xFECA:
            self.dm1(time, source, data)

    def group(self, time, source, pgn, payload):
        if pgn == 0xFECA:
            self.dm1(time, source, payload)
        elif pgn == 65251 and source == 0x00:
            self.torques.append(payload[19] | payload[20] << 8)

    def dm1(self, time, source, message):
        self.lamps[source] = {
            name: lamp_state((message[0] >> shift) & 3, (message[1] >> shift) & 3)
            for name, shift in zip(LAMPS, (6, 4, 2, 0))
        }
        listed = set()
        for at in range(2, len(message) - 3, 4):
            code = message[at : at + 4]
            if code in (b"\0\0\0\0", b"\xff\xff\xff\xff"):
                continue
            key = (source, code[0] | code[1] << 8 | (code[2] >> 5) << 16, code[2] & 0x1F)
            first = self.codes.get(key, {}).get("firstSeen", time)
            self.codes[key] = {"occurrences": code[3] & 0x7F, "firstSeen": first, "lastSeen": time}
            listed.add(key)
        self.listed[source] = listed


def main():
    monitor, log = sys.argv[1], sys.argv[2]
    if not os.path.exists(log):
        print(f"skipped: {log} is not there")
        return SKIPPED
    reading = Reading()
    start = None
    with open(log) as lines:
        for line in lines:
            match = LINE.match(line)
            time = float(match.group(1))
            start = time if start is None else start
            reading.frame(time - start, int(match.group(3), 16), bytes.fromhex(match.group(4)))

    definition = {"signals": [{"name": "engine reference torque", "unit": "Nm", "pgn": 65251, "spn": 544,
                               "startBit": 152, "length": 16, "factor": 1, "frameLength": 34}]}
    with tempfile.NamedTemporaryFile("w", suffix=".json") as file:
        json.dump(definition, file)
        file.flush()
        run = subprocess.run([monitor, "--format", "json", "--history", "0", "--definitions", file.name, log],
                             capture_output=True, text=True, check=True)
    report = json.loads(run.stdout)
    with tempfile.NamedTemporaryFile("w", suffix=".dbc") as file:
        file.write(DATABASE)
        file.flush()
        run = subprocess.run([monitor, "--format", "json", "--dbc", file.name, log],
                             capture_output=True, text=True, check=True)
    database = json.loads(run.stdout)
    failures = []

    def expect(what, got, wanted):
        if got != wanted:
            failures.append(f"{what}: monitor {got!r}, here {wanted!r}")

    transport = report["transport"]
    expect("sessions", transport["sessions"], reading.sessions)
    expect("completed", transport["completed"], reading.completed)
    for lamps in report["lamps"]:
        source = int(lamps["sourceAddress"], 16)
        expect(f"lamps of {source:#04x}", {n: lamps[n] for n in LAMPS}, reading.lamps.get(source))
    expect("senders", len(report["lamps"]), len(reading.lamps))
    got = {(int(f["sourceAddress"], 16), f["spn"], f["fmi"]): f for f in report["faults"]}
    expect("codes", sorted(got), sorted(reading.codes))
    for key, code in reading.codes.items():
        fault = got.get(key, {})
        expect(f"code {key} active", fault.get("active"), key in reading.listed[key[0]])
        expect(f"code {key} occurrences", fault.get("occurrences"), code["occurrences"])
        for seen in ("firstSeen", "lastSeen"):
            expect(f"code {key} {seen}", round(fault.get(seen, -1), 6), round(code[seen], 6))
    for signals, name in [(report["signals"], "engine reference torque"),
                          (database["signals"], "EngineConfiguration.EngineReferenceTorque")]:
        torque = next((s for s in signals if s["name"] == name), {})
        expect(f"{name} samples", torque.get("samples"), len(reading.torques))
        expect(f"{name} range", (torque.get("min"), torque.get("max")), (min(reading.torques), max(reading.torques)))
    named = {f["spn"]: f["spnName"] for f in database["faults"]}
    expect("SPN 191 named by the database", named.get(191), "TransmissionControl.OutputShaftSpeed")

    # What the log is known to carry: the engine's three codes throughout, its
    # malfunction lamp on; the cab's two codes gone by the end; 44 broadcasts.
    engine = [k for k, f in got.items() if k[0] == 0x00 and f["active"]]
    cab = [k for k, f in got.items() if k[0] == 0x31]
    expect("engine's active codes", len(engine), 3)
    expect("engine's lamp", reading.lamps[0x00]["malfunctionIndicator"], "on")
    expect("cab's codes active", [got[k]["active"] for k in cab], [False, False])
    expect("broadcasts", (reading.sessions, reading.completed), (44, 44))

    # The table says the same in words.
    table = subprocess.run([monitor, log], capture_output=True, text=True, check=True).stdout
    for line in ["can0, SA 0x00: malfunction indicator on, red stop off, amber warning off, protect not available",
                 "  SPN 84 vehicle speed, FMI 9 (abnormal update rate): active, 8 occurrences,"
                 " first seen 0.298 s, last seen 29.301 s",
                 "  SPN 96, FMI 3 (voltage above normal, or shorted to high source): no longer active, 126 occurrences,"
                 " first seen 21.848 s, last seen 26.647 s",
                 "transport: 44 sessions, 44 completed; dropped: 0 missing packet, 0 timeout, 0 aborted, 0 interrupted"]:
        expect("table line", line in table.splitlines(), True)

    for failure in failures:
        print(failure)
    print(f"{reading.completed} sessions, {len(got)} codes, {len(reading.torques)} torque samples compared")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
