// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"

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
    /// length up to 64. Only validation reads it; decode() goes by each frame's own
    /// length.
    int frameLength = 8;
    ByteOrder byteOrder = ByteOrder::LittleEndian;
    bool isSigned = false;
    double factor = 1.0;
    double offset = 0.0;
    /// Real64 (17) keeps fractional physical values; an integer type cuts them.
    CAN::CANopenDataType dataType = CAN::Real64;
    /// The definition names its J1939 sender: --source-address all leaves it alone.
    bool fixedSourceAddress = false;
    /// J1939 parameters mark error, reserved and not-available values in the top
    /// range of the raw value; such samples are skipped.
    bool skipNotAvailable = false;
};

/// A data type that a definition may give: one for which the signal scales and
/// keeps statistics. integerBits is the width of the integer the signal scales
/// into (Integer24 scales in 32 bits, Integer40 in 8), 0 for a real type.
struct DataType
{
    const char *name;
    CAN::CANopenDataType type;
    int integerBits;
};

/// The entry of a data type by name or by number; null for one a definition may not give.
const DataType *findDataType(const QString &name);
const DataType *findDataType(CAN::CANopenDataType type);
/// Every name a definition may give, for messages: "Integer8, Integer16, ...".
QString dataTypeNames();

/// The J1939 parameter group number of a 29-bit identifier: data page bits and PDU
/// format, plus the PDU specific byte for the broadcast formats (PF 240 and up);
/// for PF below 240 that byte is a destination address and not part of the group.
quint32 j1939Pgn(quint32 id);

/// Whether the frame carries the signal.
bool matches(const SignalDefinition &signal, const CanFrame &frame);

/// What decode() made of a frame that matches.
enum class Decoding {
    Sample, ///< raw holds the raw value
    TooShort, ///< the frame has fewer bits than the signal needs
    NotAvailable, ///< a J1939 raw value marked not available, or a reserved one
    Error, ///< a J1939 raw value marked as an error
};

/// Extracts the raw value: zero-extended, or sign-extended for a signed signal.
Decoding decode(const SignalDefinition &signal, const CanFrame &frame, qint64 &raw);

/// How J1939 marks a raw value of a parameter of this length: for 8 bits and more
/// by its top byte, FB to FD reserved (taken as not available), FE an error, FF not
/// available; for 2 to 7 bits, the highest value is not available and the one
/// below it an error. Sample for every other value.
Decoding j1939Marker(quint64 raw, int length);

/// Empty when the definition can be used, else what is wrong with it, naming the
/// field as a definition file spells it: among others a signal that does not fit
/// in frameLength bytes in its byte order, or a zero factor.
QString validationError(const SignalDefinition &signal);
