// SPDX-License-Identifier: LGPL-2.1-or-later
#include "SignalDefinition.h"
#include "CanFrame.h"
#include "DataTypes.h"

quint32 j1939Pgn(quint32 id)
{
    const quint32 pduFormat = (id >> 16) & 0xFF;
    const quint32 dataPages = (id >> 24) & 0x3;
    const quint32 pduSpecific = pduFormat >= 240 ? (id >> 8) & 0xFF : 0;
    return (dataPages << 16) | (pduFormat << 8) | pduSpecific;
}

int lastBit(int startBit, int length, ByteOrder byteOrder)
{
    if (byteOrder == ByteOrder::LittleEndian) {
        return startBit + length - 1;
    }
    const int bitsInFirstByte = startBit % 8 + 1;
    if (length <= bitsInFirstByte) {
        return startBit;
    }
    const int furtherBytes = (length - bitsInFirstByte + 7) / 8;
    return (startBit / 8 + furtherBytes) * 8 + 7;
}

int lastBit(const SignalDefinition &signal)
{
    return lastBit(signal.startBit, signal.length, signal.byteOrder);
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
    for (const MultiplexCondition &condition : signal.multiplexing) {
        if (condition.length < 1 || condition.length > 64 || condition.startBit < 0
            || lastBit(condition.startBit, condition.length, condition.byteOrder) >= frameBits) {
            return QStringLiteral("multiplexer %1 does not fit in the %2 data bytes of the frame")
                .arg(condition.multiplexer)
                .arg(signal.frameLength);
        }
    }
    const int floatBits = signal.encoding == SignalDefinition::Encoding::Float32 ? 32
        : signal.encoding == SignalDefinition::Encoding::Float64                 ? 64
                                                                                 : signal.length;
    if (signal.length != floatBits) {
        return QStringLiteral("\"length\" %1 cannot hold an IEEE %2-bit real").arg(signal.length).arg(floatBits);
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
    const DataType *dataType = DataType::find(signal.dataType);
    if (!dataType) {
        return QStringLiteral("\"dataType\" %1 is none of %2 (or its number)")
            .arg(signal.dataType)
            .arg(DataType::names());
    }
    if (dataType->kind != DataType::Real && dataType->bits < signal.length) {
        return QStringLiteral("\"dataType\" %1 scales in %2 bits, fewer than \"length\" %3: every sample would wrap")
            .arg(QLatin1String(dataType->name))
            .arg(dataType->bits)
            .arg(signal.length);
    }
    return QString();
}
