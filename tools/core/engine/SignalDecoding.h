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
    /// Bytes that may be read from bytes on, length or more: a frame's whole data
    /// array, so that a value is read as one word, whatever the bytes past length.
    int readable;
};

/// A payload of a frame.
inline Payload payloadOf(const CanFrame &frame)
{
    return Payload{frame.data.data(), frame.length, static_cast<int>(frame.data.size())};
}

/// Where a signal's raw value lies and how it is read, worked out once from its
/// definition: all that decoding a payload reads of it.
struct ValueBits
{
    int startBit;
    int length;
    /// The payload must hold more bits than this.
    int lastBit;
    ByteOrder byteOrder;
    bool isSigned;
    bool skipNotAvailable;

    static ValueBits of(const SignalDefinition &signal);
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
    return extractBits(payloadOf(frame), startBit, length, byteOrder, isSigned, raw);
}

/// Extracts the raw value: zero-extended, or sign-extended for a signed signal;
/// the bits as they are for an IEEE real.
Decoding decode(const ValueBits &bits, Payload payload, qint64 &raw);
inline Decoding decode(const SignalDefinition &signal, Payload payload, qint64 &raw)
{
    return decode(ValueBits::of(signal), payload, raw);
}
inline Decoding decode(const SignalDefinition &signal, const CanFrame &frame, qint64 &raw)
{
    return decode(signal, payloadOf(frame), raw);
}

/// How J1939 marks a raw value of a parameter of this length: for 8 bits and more
/// by its top byte, FB to FD reserved (taken as not available), FE an error, FF not
/// available; for 2 to 7 bits, the highest value is not available and the one
/// below it an error. Sample for every other value.
Decoding j1939Marker(quint64 raw, int length);
