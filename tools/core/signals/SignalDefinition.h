// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <Orvanet/CANopenDataType.h>

#include <QString>
#include <QVector>

/// How the bits of a value run through the data bytes of a frame.
enum class ByteOrder {
    /// Intel: the start bit is the least significant bit; bit n is bit n % 8 of
    /// byte n / 8, and the value grows toward higher bytes.
    LittleEndian,
    /// Motorola, as CAN databases number it: the start bit is the most significant
    /// bit (bit n is bit n % 8 of byte n / 8), the value runs toward bit 0 of that
    /// byte and continues at bit 7 of the next byte.
    BigEndian,
};

/// The highest bit number a value touches, counted as its start bit is.
int lastBit(int startBit, int length, ByteOrder byteOrder);

/// A raw value that a database names, e.g. 2 "Signal error".
struct ValueLabel
{
    qint64 raw = 0;
    QString label;
};

/// Raw multiplexer values from low to high, both included.
struct MultiplexRange
{
    qint64 low = 0;
    qint64 high = 0;
};

/// The multiplexer signal that selects a multiplexed signal, and the raw values
/// of it that do.
struct MultiplexCondition
{
    /// The multiplexer's own name in its database, for listings.
    QString multiplexer;
    int startBit = 0;
    int length = 8;
    ByteOrder byteOrder = ByteOrder::LittleEndian;
    bool isSigned = false;
    QVector<MultiplexRange> ranges;
};

/// Where a signal sits in which frames, and how its raw value becomes physical:
/// scaled = raw * factor + offset, in the numeric type that dataType selects.
struct SignalDefinition
{
    using ByteOrder = ::ByteOrder;

    /// How the raw bits are read.
    enum class Encoding {
        Integer, ///< signed or not as isSigned says
        Float32, ///< the bits of an IEEE 754 single
        Float64, ///< the bits of an IEEE 754 double
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
    /// length up to 64. Only validation reads it; decoding goes by each frame's
    /// own length.
    int frameLength = 8;
    ByteOrder byteOrder = ByteOrder::LittleEndian;
    bool isSigned = false;
    Encoding encoding = Encoding::Integer;
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

    /// The physical range that a database gives; 0 to 0 where it gives none.
    double minimum = 0.0;
    double maximum = 0.0;
    /// Rated, and counted outside, against minimum and maximum instead of the band
    /// around the average.
    bool rateAgainstRange = false;
    /// The raw values the database names, ascending by raw value.
    QVector<ValueLabel> valueLabels;
    /// A multiplexed signal is in a frame only where every condition holds,
    /// outermost multiplexer first; empty for a signal in every frame.
    QVector<MultiplexCondition> multiplexing;
    /// The samples are not bits of the frame but the microseconds since the
    /// previous frame that matched, per interface and sender: a message's cycle.
    bool interval = false;
    /// Reports list the signal also before its first sample; a database's
    /// signals, thousands of them, are listed once they have one.
    bool listedWithoutSamples = true;
};

/// The J1939 parameter group number of a 29-bit identifier: data page bits and PDU
/// format, plus the PDU specific byte for the broadcast formats (PF 240 and up);
/// for PF below 240 that byte is a destination address and not part of the group.
quint32 j1939Pgn(quint32 id);

/// The highest bit number the signal touches, counted as for startBit.
int lastBit(const SignalDefinition &signal);

/// Empty when the definition can be used, else what is wrong with it, naming the
/// field as a definition file spells it: among others a signal that does not fit
/// in frameLength bytes in its byte order, or a zero factor.
QString validationError(const SignalDefinition &signal);
