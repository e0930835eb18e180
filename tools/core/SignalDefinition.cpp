// SPDX-License-Identifier: LGPL-2.1-or-later
#include "SignalDefinition.h"

#include <QStringList>

#include <algorithm>
#include <iterator>

quint32 j1939Pgn(quint32 id)
{
    const quint32 pduFormat = (id >> 16) & 0xFF;
    const quint32 dataPages = (id >> 24) & 0x3;
    const quint32 pduSpecific = pduFormat >= 240 ? (id >> 8) & 0xFF : 0;
    return (dataPages << 16) | (pduFormat << 8) | pduSpecific;
}

bool matches(const SignalDefinition &signal, const CanFrame &frame)
{
    if (frame.remote) {
        return false;
    }
    if (signal.j1939) {
        return frame.extended && j1939Pgn(frame.id) == signal.pgn
            && (signal.anySourceAddress || (frame.id & 0xFF) == signal.sourceAddress);
    }
    return frame.extended == signal.extended && (frame.id & signal.mask) == (signal.id & signal.mask);
}

Decoding j1939Marker(quint64 raw, int length)
{
    if (length >= 8) {
        const quint64 top = raw >> (length - 8);
        return top == 0xFE ? Decoding::Error : top >= 0xFB ? Decoding::NotAvailable : Decoding::Sample;
    }
    if (length >= 2) {
        const quint64 highest = (quint64(1) << length) - 1;
        return raw == highest ? Decoding::NotAvailable : raw == highest - 1 ? Decoding::Error : Decoding::Sample;
    }
    return Decoding::Sample;
}

namespace
{
// A byte at a time: the bits of a signal span at most nine bytes.
quint64 littleEndianBits(const CanFrame &frame, int startBit, int length)
{
    const std::size_t first = static_cast<std::size_t>(startBit / 8);
    const int shift = startBit % 8;
    const int bytes = (shift + length + 7) / 8;
    quint64 raw = 0;
    for (int i = 0; i < bytes && i < 8; ++i) {
        raw |= quint64(frame.data[first + static_cast<std::size_t>(i)]) << (8 * i);
    }
    raw >>= shift;
    if (bytes > 8) {
        raw |= quint64(frame.data[first + 8]) << (64 - shift);
    }
    return length == 64 ? raw : raw & ((quint64(1) << length) - 1);
}

// From the start bit down to bit 0 of its byte, then on through the next bytes
// from their bit 7.
quint64 bigEndianBits(const CanFrame &frame, int startBit, int length)
{
    std::size_t byte = static_cast<std::size_t>(startBit / 8);
    const int inFirstByte = startBit % 8 + 1;
    const int taken = std::min(inFirstByte, length);
    quint64 raw = (frame.data[byte] >> (inFirstByte - taken)) & ((1u << taken) - 1);
    int remaining = length - taken;
    for (; remaining >= 8; remaining -= 8) {
        raw = (raw << 8) | frame.data[++byte];
    }
    if (remaining > 0) {
        raw = (raw << remaining) | (frame.data[++byte] >> (8 - remaining));
    }
    return raw;
}

// The highest bit number the signal touches, counted as for startBit.
int lastBit(const SignalDefinition &signal)
{
    if (signal.byteOrder == SignalDefinition::ByteOrder::LittleEndian) {
        return signal.startBit + signal.length - 1;
    }
    const int bitsInFirstByte = signal.startBit % 8 + 1;
    if (signal.length <= bitsInFirstByte) {
        return signal.startBit;
    }
    const int furtherBytes = (signal.length - bitsInFirstByte + 7) / 8;
    return (signal.startBit / 8 + furtherBytes) * 8 + 7;
}
}

Decoding decode(const SignalDefinition &signal, const CanFrame &frame, qint64 &raw)
{
    if (lastBit(signal) >= frame.length * 8) {
        return Decoding::TooShort;
    }
    const quint64 bits = signal.byteOrder == SignalDefinition::ByteOrder::LittleEndian
        ? littleEndianBits(frame, signal.startBit, signal.length)
        : bigEndianBits(frame, signal.startBit, signal.length);
    if (signal.skipNotAvailable) {
        const Decoding marker = j1939Marker(bits, signal.length);
        if (marker != Decoding::Sample) {
            return marker;
        }
    }
    if (signal.isSigned && signal.length < 64 && (bits >> (signal.length - 1)) != 0) {
        raw = static_cast<qint64>(bits | (~quint64(0) << signal.length));
    } else {
        raw = static_cast<qint64>(bits);
    }
    return Decoding::Sample;
}

namespace
{
// In the numeric types of GenericSignalImpl: the width is that of the integer
// type the data type selects there.
const DataType dataTypes[] = {
    {"Integer8", CAN::Integer8, 8},
    {"Integer16", CAN::Integer16, 16},
    {"Integer24", CAN::Integer24, 32},
    {"Integer32", CAN::Integer32, 32},
    {"Integer40", CAN::Integer40, 8},
    {"Integer64", CAN::Integer64, 64},
    {"Unsigned8", CAN::Unsigned8, 8},
    {"Unsigned16", CAN::Unsigned16, 16},
    {"Unsigned24", CAN::Unsigned24, 32},
    {"Unsigned32", CAN::Unsigned32, 32},
    {"Unsigned40", CAN::Unsigned40, 64},
    {"Unsigned48", CAN::Unsigned48, 64},
    {"Unsigned64", CAN::Unsigned64, 64},
    {"Real32", CAN::Real32, 0},
    {"Real64", CAN::Real64, 0},
};
}

const DataType *findDataType(const QString &name)
{
    const auto named = std::find_if(std::cbegin(dataTypes), std::cend(dataTypes), [&name](const DataType &type) {
        return name == QLatin1String(type.name);
    });
    return named == std::cend(dataTypes) ? nullptr : named;
}

const DataType *findDataType(CAN::CANopenDataType type)
{
    const auto numbered = std::find_if(std::cbegin(dataTypes), std::cend(dataTypes), [type](const DataType &known) {
        return known.type == type;
    });
    return numbered == std::cend(dataTypes) ? nullptr : numbered;
}

QString dataTypeNames()
{
    QStringList names;
    for (const DataType &type : dataTypes) {
        names.append(QLatin1String(type.name));
    }
    return names.join(QLatin1String(", "));
}

QString validationError(const SignalDefinition &signal)
{
    if (signal.name.isEmpty()) {
        return QStringLiteral("\"name\" is empty");
    }
    if (signal.length < 1 || signal.length > 64) {
        return QStringLiteral("\"length\" %1 is not 1 to 64 bits").arg(signal.length);
    }
    if (signal.frameLength < 8 || !isCanFdLength(signal.frameLength)) {
        return QStringLiteral("\"frameLength\" %1 is not a CAN FD data length (8, 12, 16, 20, 24, 32, 48 or 64 bytes)")
            .arg(signal.frameLength);
    }
    const int frameBits = signal.frameLength * 8;
    if (signal.startBit < 0 || signal.startBit >= frameBits) {
        return QStringLiteral("\"startBit\" %1 lies past the %2 data bytes of the frame")
            .arg(signal.startBit)
            .arg(signal.frameLength);
    }
    if (lastBit(signal) >= frameBits) {
        return QStringLiteral("\"startBit\" %1 with \"length\" %2%3 runs past the %4 data bytes of the frame")
            .arg(signal.startBit)
            .arg(signal.length)
            .arg(signal.byteOrder == SignalDefinition::ByteOrder::BigEndian ? QStringLiteral(" and \"byteOrder\" big")
                                                                            : QString())
            .arg(signal.frameLength);
    }
    if (signal.factor == 0.0) {
        return QStringLiteral("\"factor\" 0 would make every sample the offset");
    }
    if (signal.j1939 && (signal.pgn > 0x3FFFF || (((signal.pgn >> 8) & 0xFF) < 240 && (signal.pgn & 0xFF) != 0))) {
        return QStringLiteral(
            "\"pgn\" must be an 18-bit parameter group number, its low byte 0 below PF 240 (that byte is then a "
            "destination address)");
    }
    if (!signal.j1939 && signal.id > (signal.extended ? 0x1FFFFFFFu : 0x7FFu)) {
        return signal.extended ? QStringLiteral("\"id\" must be at most 0x1FFFFFFF")
                               : QStringLiteral("\"id\" must be at most 0x7FF with \"extended\" false");
    }
    const DataType *dataType = findDataType(signal.dataType);
    if (!dataType) {
        return QStringLiteral("\"dataType\" %1 is none of %2 (or its number)")
            .arg(signal.dataType)
            .arg(dataTypeNames());
    }
    if (dataType->integerBits > 0 && dataType->integerBits < signal.length) {
        return QStringLiteral("\"dataType\" %1 scales in %2 bits, fewer than \"length\" %3: every sample would wrap")
            .arg(QLatin1String(dataType->name))
            .arg(dataType->integerBits)
            .arg(signal.length);
    }
    return QString();
}
