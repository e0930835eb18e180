// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <Orvanet/CANopenDataType.h>

#include <QString>

/// Where a signal sits in which frames, and how its raw value becomes physical:
/// scaled = raw * factor + offset, in the numeric type that dataType selects.
struct SignalDefinition
{
    enum class ByteOrder {
        /// Intel: startBit is the least significant bit; bit n is bit n % 8 of
        /// byte n / 8, and the value grows toward higher bytes.
        LittleEndian,
        /// Motorola, as CAN databases number it: startBit is the most significant
        /// bit (bit n is bit n % 8 of byte n / 8), the value runs toward bit 0 of
        /// that byte and continues at bit 7 of the next byte.
        BigEndian,
    };

    QString name;
    QString unit;
    /// The database message that carries the signal; empty for built-in signals
    /// and those of a definition file.
    QString message;

    /// Frames match either by J1939 parameter group and source address (29-bit
    /// identifiers only) or by identifier and mask.
    bool j1939 = false;
    quint32 pgn = 0;
    quint8 sourceAddress = 0;
    /// A J1939 signal from every sender, each source address a signal of its own.
    bool anySourceAddress = false;
    quint32 id = 0;
    quint32 mask = 0x1FFFFFFF;
    bool extended = true;

    int startBit = 0;
    /// 1 to 64 bits.
    int length = 8;
    /// Data bytes of the frames that carry the signal: 8, or a longer CAN FD data
    /// length up to 64; for J1939, also a group of up to maxJ1939GroupBytes that
    /// the transport protocol carries. Only validation reads it; decoding goes by
    /// each frame's (or group's) own length.
    int frameLength = 8;
    ByteOrder byteOrder = ByteOrder::LittleEndian;
    bool isSigned = false;
    double factor = 1.0;
    double offset = 0.0;
    /// One of dataTypes(): Real64 (17) keeps fractional physical values; an
    /// integer type cuts them.
    CAN::CANopenDataType dataType = CAN::Real64;
    /// The definition names its J1939 sender: --source-address all leaves it alone.
    bool fixedSourceAddress = false;
    /// J1939 parameters mark error, reserved and not-available values in the top
    /// range of the raw value; such samples are skipped.
    bool skipNotAvailable = false;
    /// The J1939 suspect parameter number, which names the trouble codes that
    /// point at it; -1 when not known.
    int spn = -1;
};

/// The longest J1939 group: what the transport protocol carries in 255 packets
/// of 7 bytes.
constexpr int maxJ1939GroupBytes = 1785;

/// The highest bit number the signal touches, counted as for startBit.
int lastBit(const SignalDefinition &signal);

/// Empty when the definition can be used, else what is wrong with it, naming the
/// field as a definition file spells it: among others a signal that does not fit
/// in frameLength bytes in its byte order, or a zero factor.
QString validationError(const SignalDefinition &signal);
