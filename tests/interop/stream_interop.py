# SPDX-License-Identifier: LGPL-2.1-or-later
"""Exchange sample records between the library and PyQt5, an independent Qt binding.

usage: stream_interop.py STREAM_PEER WORK_DIR

PyQt5 writes records field by field; stream_peer reads them with the library and
writes them back with the library; PyQt5 reads those field by field and compares
them with what it wrote (a J1939Value of version 1 comes back at version 2, with
auxDouble 0). Exits 77 where PyQt5 cannot be imported, 1 on any difference.
"""
import math
import os
import struct
import subprocess
import sys

try:
    from PyQt5.QtCore import QByteArray, QDataStream, QFile, QIODevice, QVariant
except ImportError as error:
    print(f"SKIP: PyQt5 cannot be imported by {sys.executable} ({error}); "
          "install Debian's python3-pyqt5 to run the record exchange")
    sys.exit(77)

# QMetaType ids as they appear on the stream.
TYPE_IDS = {"invalid": 0, "int": 2, "uint": 3, "qlonglong": 4, "double": 6, "QString": 10}
CONVERSIONS = {"int": QVariant.Int, "uint": QVariant.UInt, "qlonglong": QVariant.LongLong,
               "double": QVariant.Double}
ORDERS = {"big": QDataStream.BigEndian, "little": QDataStream.LittleEndian}

# Records PyQt5 writes: (kind, version, raw, scaled, remaining fields in stream order).
RECORDS = [
    ("J", 2, ("int", -7), ("double", 2.5), [("i32", 123456), ("f64", -0.125)]),
    ("J", 1, ("uint", 4000000000), ("qlonglong", -5000000000), [("i32", -1)]),
    ("J", 2, ("QString", "Öl 80 °C"), ("invalid", None), [("i32", 0), ("f64", 1e300)]),
    ("C", 1, ("int", 42), ("double", -1.5),
     [("i8", -1), ("i8", 127), ("f64", 3.25), ("f64", -0.0), ("i32", -2147483648)]),
    ("C", 1, ("invalid", None), ("QString", "x"),
     [("i8", -128), ("i8", 0), ("f64", 1e-300), ("f64", math.inf), ("i32", 7)]),
    ("J", 2, ("uint", 4294967295), ("double", -0.5), [("i32", 2147483647), ("f64", 6.5)]),
    ("C", 1, ("QString", "Drehzahl 1/min"), ("qlonglong", 9007199254740993),
     [("i8", -1), ("i8", -128), ("f64", 0.1), ("f64", -1e-300), ("i32", -5)]),
    ("J", 2, ("invalid", None), ("int", -1), [("i32", 0), ("f64", -0.0)]),
]


def written_back(record):
    """The record as the library writes it after reading it."""
    kind, version, raw, scaled, fields = record
    if kind == "J" and version == 1:
        return (kind, 2, raw, scaled, fields + [("f64", 0.0)])
    return record


J1939_NAMES = ["auxInt", "auxDouble"]
CANOPEN_NAMES = ["auxByte1", "auxByte2", "auxDouble1", "auxDouble2", "auxInt"]


def bits(number):
    return struct.pack(">d", number).hex()


def describe_variant(kind, value):
    if kind == "invalid":
        return "invalid"
    if kind == "double":
        return "double:" + bits(value)
    return f"{kind}:{value}"


def describe_field(encoding, value):
    return bits(value) if encoding == "f64" else str(value)


def describe(record):
    """One record, field by field, with its version."""
    kind, version, raw, scaled, fields = record
    names = J1939_NAMES if kind == "J" else CANOPEN_NAMES
    text = ("J1939" if kind == "J" else "CANopen") + f" v{version} raw=" + describe_variant(*raw)
    text += " scaled=" + describe_variant(*scaled)
    pairs = dict(zip(names, fields))
    return text + "".join(f" {name}={describe_field(*pairs[name])}" for name in names)


def make_variant(kind, value):
    """A QVariant of exactly this type: PyQt5 would otherwise pick the type from the Python value."""
    variant = QVariant() if kind == "invalid" else QVariant(value)
    if kind in CONVERSIONS and not variant.convert(CONVERSIONS[kind]):
        raise RuntimeError(f"{value!r} does not convert to {kind}")
    encoded = QByteArray()
    probe = QDataStream(encoded, QIODevice.WriteOnly)
    probe.setVersion(QDataStream.Qt_5_15)
    probe.writeQVariant(variant)
    type_id, null_flag = struct.unpack(">IB", bytes(encoded)[:5])
    if (type_id, null_flag) != (TYPE_IDS[kind], int(kind == "invalid")):
        raise RuntimeError(f"PyQt5 encoded {kind} {value!r} as type {type_id}, null {null_flag}")
    return variant


def open_stream(path, order, mode):
    file = QFile(path)
    if not file.open(mode):
        raise RuntimeError(f"cannot open {path}: {file.errorString()}")
    stream = QDataStream(file)
    stream.setVersion(QDataStream.Qt_5_15)
    stream.setByteOrder(ORDERS[order])
    return file, stream


def write_records(path, order):
    file, stream = open_stream(path, order, QIODevice.WriteOnly)
    writers = {"i8": stream.writeInt8, "i32": stream.writeInt32, "f64": stream.writeDouble}
    for _, version, raw, scaled, fields in RECORDS:
        stream.writeInt16(version)
        stream.writeQVariant(make_variant(*raw))
        stream.writeQVariant(make_variant(*scaled))
        for encoding, value in fields:
            writers[encoding](value)
    if stream.status() != QDataStream.Ok:
        raise RuntimeError(f"PyQt5 could not write {path}")
    file.close()


def read_variant(stream):
    type_id = stream.readUInt32()
    null_flag = stream.readInt8()
    kinds = {number: kind for kind, number in TYPE_IDS.items()}
    if type_id not in kinds:
        raise RuntimeError(f"unexpected QVariant type {type_id}")
    kind = kinds[type_id]
    if null_flag != int(kind == "invalid"):
        raise RuntimeError(f"{kind} QVariant with null flag {null_flag}")
    readers = {"invalid": lambda: None, "int": stream.readInt32, "uint": stream.readUInt32,
               "qlonglong": stream.readInt64, "double": stream.readDouble,
               "QString": stream.readQString}
    return kind, readers[kind]()


def read_records(path, order, expected):
    """Reads records laid out as the expected ones are, whatever their values."""
    file, stream = open_stream(path, order, QIODevice.ReadOnly)
    readers = {"i8": stream.readInt8, "i32": stream.readInt32, "f64": stream.readDouble}
    lines = []
    for kind, _, _, _, fields in expected:
        version = stream.readInt16()
        raw = read_variant(stream)
        scaled = read_variant(stream)
        read = [(encoding, readers[encoding]()) for encoding, _ in fields]
        lines.append(describe((kind, version, raw, scaled, read)))
    lines.append(f"end atEnd={int(stream.atEnd())} status={int(stream.status())}")
    file.close()
    return lines


def compare(what, actual, expected):
    if actual == expected:
        return True
    print(f"FAIL: {what}")
    for have, want in zip(actual + [""] * len(expected), expected + [""] * len(actual)):
        if have != want:
            print(f"  got:      {have}\n  expected: {want}")
    return False


def main():
    peer, work_dir = sys.argv[1], sys.argv[2]
    os.makedirs(work_dir, exist_ok=True)
    expected = [written_back(record) for record in RECORDS]
    results = []
    for order in ORDERS:
        python_file = os.path.join(work_dir, f"python_{order}.bin")
        library_file = os.path.join(work_dir, f"library_{order}.bin")
        write_records(python_file, order)
        sequence = "".join(record[0] for record in RECORDS)
        subprocess.run([peer, python_file, library_file, order, sequence], check=True)
        results.append(compare(f"PyQt5's {order}-endian records read and written back by the library",
                               read_records(library_file, order, expected),
                               [describe(record) for record in expected] + ["end atEnd=1 status=0"]))
    print(f"{results.count(True)} passed, {results.count(False)} failed")
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
