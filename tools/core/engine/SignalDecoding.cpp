// SPDX-License-Identifier: LGPL-2.1-or-later
#include "SignalDecoding.h"

#include <QtEndian>

#include <algorithm>

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

bool matches(const SignalDefinition &signal, const J1939Group &group)
{
    return signal.j1939 && group.pgn == signal.pgn
        && (signal.anySourceAddress || group.sourceAddress == signal.sourceAddress);
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
// The bits of a signal span at most nine bytes: the first eight as one word
// where the payload may be read so far, else a byte at a time.
quint64 littleEndianBits(Payload payload, int startBit, int length)
{
    const quint8 *data = payload.bytes;
    const std::size_t first = static_cast<std::size_t>(startBit / 8);
    const int shift = startBit % 8;
    const int bytes = (shift + length + 7) / 8;
    quint64 raw = 0;
    if (first + 8 <= static_cast<std::size_t>(payload.readable)) {
        raw = qFromLittleEndian<quint64>(data + first);
    } else {
        for (int i = 0; i < bytes && i < 8; ++i) {
            raw |= quint64(data[first + static_cast<std::size_t>(i)]) << (8 * i);
        }
    }
    raw >>= shift;
    if (bytes > 8) {
        raw |= quint64(data[first + 8]) << (64 - shift);
    }
    return length == 64 ? raw : raw & ((quint64(1) << length) - 1);
}

// From the start bit down to bit 0 of its byte, then on through the next bytes
// from their bit 7.
quint64 bigEndianBits(const quint8 *data, int startBit, int length)
{
    std::size_t byte = static_cast<std::size_t>(startBit / 8);
    const int inFirstByte = startBit % 8 + 1;
    const int taken = std::min(inFirstByte, length);
    quint64 raw = (data[byte] >> (inFirstByte - taken)) & ((1u << taken) - 1);
    int remaining = length - taken;
    for (; remaining >= 8; remaining -= 8) {
        raw = (raw << 8) | data[++byte];
    }
    if (remaining > 0) {
        raw = (raw << remaining) | (data[++byte] >> (8 - remaining));
    }
    return raw;
}

// The value of a payload that holds its bits.
qint64 valueAt(Payload payload, int startBit, int length, ByteOrder byteOrder, bool isSigned)
{
    const quint64 bits = byteOrder == ByteOrder::LittleEndian ? littleEndianBits(payload, startBit, length)
                                                              : bigEndianBits(payload.bytes, startBit, length);
    if (isSigned && length < 64 && (bits >> (length - 1)) != 0) {
        return static_cast<qint64>(bits | (~quint64(0) << length));
    }
    return static_cast<qint64>(bits);
}
}

ValueBits ValueBits::of(const SignalDefinition &signal)
{
    return ValueBits{signal.startBit,
                     signal.length,
                     ::lastBit(signal),
                     signal.byteOrder,
                     signal.isSigned && signal.encoding == SignalDefinition::Encoding::Integer,
                     signal.skipNotAvailable};
}

bool extractBits(Payload payload, int startBit, int length, ByteOrder byteOrder, bool isSigned, qint64 &raw)
{
    if (lastBit(startBit, length, byteOrder) >= payload.length * 8) {
        return false;
    }
    raw = valueAt(payload, startBit, length, byteOrder, isSigned);
    return true;
}

Decoding decode(const ValueBits &bits, Payload payload, qint64 &raw)
{
    if (bits.lastBit >= payload.length * 8) {
        return Decoding::TooShort;
    }
    raw = valueAt(payload, bits.startBit, bits.length, bits.byteOrder, bits.isSigned);
    if (bits.skipNotAvailable) {
        const quint64 value = bits.length == 64 ? static_cast<quint64>(raw)
                                                : static_cast<quint64>(raw) & ((quint64(1) << bits.length) - 1);
        return j1939Marker(value, bits.length);
    }
    return Decoding::Sample;
}
