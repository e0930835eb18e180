// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"
#include "J1939Group.h"
#include "SignalDefinition.h"

/// Whether the frame carries the signal.
bool matches(const SignalDefinition &signal, const CanFrame &frame);
/// Whether the reassembled group carries the signal: a J1939 signal of its
/// parameter group, from its sender.
bool matches(const SignalDefinition &signal, const J1939Group &group);

/// The data bytes a signal is decoded from: a frame's, or a reassembled group's.
struct Payload
{
    const quint8 *bytes;
    int length;
};

/// What decode() made of a frame that matches.
enum class Decoding {
    Sample, ///< raw holds the raw value
    TooShort, ///< the frame has fewer bits than the signal needs
    NotAvailable, ///< a J1939 raw value marked not available, or a reserved one
    Error, ///< a J1939 raw value marked as an error
};

/// The bits of a value placed so in the payload: zero-extended, or sign-extended
/// when isSigned. False when the payload ends before its last bit.
bool extractBits(Payload payload, int startBit, int length, ByteOrder byteOrder, bool isSigned, qint64 &raw);
inline bool
extractBits(const CanFrame &frame, int startBit, int length, ByteOrder byteOrder, bool isSigned, qint64 &raw)
{
    return extractBits(Payload{frame.data.data(), frame.length}, startBit, length, byteOrder, isSigned, raw);
}

/// Extracts the raw value: zero-extended, or sign-extended for a signed signal;
/// the bits as they are for an IEEE real.
Decoding decode(const SignalDefinition &signal, Payload payload, qint64 &raw);
inline Decoding decode(const SignalDefinition &signal, const CanFrame &frame, qint64 &raw)
{
    return decode(signal, Payload{frame.data.data(), frame.length}, raw);
}

/// How J1939 marks a raw value of a parameter of this length: for 8 bits and more
/// by its top byte, FB to FD reserved (taken as not available), FE an error, FF not
/// available; for 2 to 7 bits, the highest value is not available and the one
/// below it an error. Sample for every other value.
Decoding j1939Marker(quint64 raw, int length);
