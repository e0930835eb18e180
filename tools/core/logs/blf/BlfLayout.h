// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// The layout of a BLF, for its reader and its writer. Every number is little
// endian.
//
// The file: a header, "LOGG" and its size (144 bytes as written), with the
// start and stop times as SYSTEMTIME at startTimeOffset and stopTimeOffset; then
// objects. An object starts with a base header: "LOBJ", the size of its headers
// (u16), the header's version (u16: 1 or 2), the object's size (u32, headers
// included) and type (u32). Version 1 adds flags (u32), a client index and the
// object's version (u16 each) and a timestamp (u64); version 2 flags (u32),
// timestamp status, a reserved byte, the object's version (u16), a timestamp and
// the original one (u64 each): flags and timestamp lie at the same places in
// both. After an object come objectSize % 4 bytes of padding.
//
// The file's objects are log containers, whose data (stored, or a zlib stream)
// holds the other objects, one after another across the containers: an object
// may begin in one container and end in the next.

#include <QtGlobal>

namespace Blf
{
constexpr char fileSignature[] = "LOGG";
constexpr char objectSignature[] = "LOBJ";
constexpr int fileHeaderSize = 144;
constexpr int fileSizeOffset = 16;
constexpr int uncompressedSizeOffset = 24;
constexpr int objectCountOffset = 32;
constexpr int startTimeOffset = 40;
constexpr int stopTimeOffset = 56;

constexpr int baseHeaderSize = 16;
constexpr int headerSizeV1 = 32;
constexpr int headerSizeV2 = 40;
constexpr int flagsOffset = 16;
constexpr int timestampOffset = 24;
/// Timestamp units named by the flags: 10 microseconds, else nanoseconds.
constexpr quint32 timeTenMicroseconds = 1;
constexpr quint32 timeOneNanosecond = 2;

/// A log container: its base header, then the compression method (u16, at 16)
/// and the size of its data uncompressed (u32, at 24); its data at 32.
constexpr int containerHeaderSize = 32;
constexpr int containerMethodOffset = 16;
constexpr int containerUncompressedOffset = 24;
constexpr quint16 stored = 0;
constexpr quint16 zlibDeflate = 2;
/// How much uncompressed data the writer puts into one container.
constexpr int containerDataSize = 128 * 1024;

enum ObjectType : quint32 {
    canMessage = 1,
    logContainer = 10,
    canErrorExt = 73,
    canMessage2 = 86,
    canFdMessage = 100,
    canFdMessage64 = 101,
};

/// The identifier's flag of a 29-bit frame, in every frame object.
constexpr quint32 extendedFlag = 0x80000000;

// CAN_MESSAGE and CAN_MESSAGE2, after the headers: channel (u16), flags (u8:
// 0x01 sent, 0x80 remote request), DLC (u8), identifier (u32), 8 data bytes;
// CAN_MESSAGE2 adds frame length (u32), bit count (u8) and 3 reserved bytes.
constexpr int canMessageSize = 16;
constexpr int canMessage2Size = 24;
constexpr quint8 remoteFlag = 0x80;

// CAN_FD_MESSAGE: channel (u16), flags (u8), DLC (u8), identifier (u32), frame
// length (u32), arbitration bit count (u8), CAN FD flags (u8: 0x1 a CAN FD
// frame, 0x2 bit rate switch, 0x4 error state), valid data bytes (u8), 5
// reserved bytes, then up to 64 data bytes.
constexpr int canFdMessageFixed = 20;
constexpr int canFdFlagsOffset = 13;
constexpr int canFdValidBytesOffset = 14;
constexpr quint8 canFdFormat = 0x1;

// CAN_FD_MESSAGE_64: channel (u8), DLC (u8), valid data bytes (u8), transmit
// count (u8), identifier (u32), frame length (u32), flags (u32: 0x10 remote
// request, 0x1000 a CAN FD frame), bit timings and offsets (4 x u32), bit count
// (u16), direction (u8), the offset of extended data from the object's start
// (u8, 0 for none), CRC (u32), then the data bytes.
constexpr int canFd64Fixed = 40;
constexpr int canFd64FlagsOffset = 12;
constexpr int canFd64ExtOffset = 35;
constexpr quint32 canFd64Remote = 0x10;
constexpr quint32 canFd64Format = 0x1000;

// CAN_ERROR_EXT: channel (u16), length (u16), flags (u32), ECC, position, DLC
// (u8 each), a reserved byte, frame length (u32), identifier (u32), extended
// flags (u16), 2 reserved bytes and 8 data bytes.
constexpr int canErrorExtSize = 32;
constexpr int canErrorExtDlcOffset = 10;
constexpr int canErrorExtIdOffset = 16;
}
