// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"
#include "SignalDefinition.h"

/// Whether the frame carries the signal.
bool matches(const SignalDefinition &signal, const CanFrame &frame);

/// What decode() made of a frame that matches.
enum class Decoding {
    Sample, ///< raw holds the raw value
    TooShort, ///< the frame has fewer bits than the signal needs
    NotAvailable, ///< a J1939 raw value marked not available, or a reserved one
    Error, ///< a J1939 raw value marked as an error
};

/// The bits of a value placed so in the frame: zero-extended, or sign-extended
/// when isSigned. False when the frame ends before its last bit.
bool extractBits(const CanFrame &frame, int startBit, int length, ByteOrder byteOrder, bool isSigned, qint64 &raw);

/// Extracts the raw value: zero-extended, or sign-extended for a signed signal;
/// the bits as they are for an IEEE real.
Decoding decode(const SignalDefinition &signal, const CanFrame &frame, qint64 &raw);

/// How J1939 marks a raw value of a parameter of this length: for 8 bits and more
/// by its top byte, FB to FD reserved (taken as not available), FE an error, FF not
/// available; for 2 to 7 bits, the highest value is not available and the one
/// below it an error. Sample for every other value.
Decoding j1939Marker(quint64 raw, int length);
