// SPDX-License-Identifier: LGPL-2.1-or-later
#include "SignalDefinition.h"
#include "CanFrame.h"
#include "DataTypes.h"

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

QString validationError(const SignalDefinition &signal)
{
    if (signal.name.isEmpty()) {
        return QStringLiteral("\"name\" is empty");
    }
    if (signal.length < 1 || signal.length > 64) {
        return QStringLiteral("\"length\" %1 is not 1 to 64 bits").arg(signal.length);
    }
    if (signal.j1939 && (signal.frameLength < 8 || signal.frameLength > maxJ1939GroupBytes)) {
        return QStringLiteral("\"frameLength\" %1 is not 8 to %2 bytes, the longest J1939 group")
            .arg(signal.frameLength)
            .arg(maxJ1939GroupBytes);
    }
    if (!signal.j1939 && (signal.frameLength < 8 || !isCanFdLength(signal.frameLength))) {
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
