// SPDX-License-Identifier: LGPL-2.1-or-later
#include "SignalDecoding.h"

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
}

bool extractBits(const CanFrame &frame, int startBit, int length, ByteOrder byteOrder, bool isSigned, qint64 &raw)
{
    if (lastBit(startBit, length, byteOrder) >= frame.length * 8) {
        return false;
    }
    const quint64 bits = byteOrder == ByteOrder::LittleEndian ? littleEndianBits(frame, startBit, length)
                                                              : bigEndianBits(frame, startBit, length);
    if (isSigned && length < 64 && (bits >> (length - 1)) != 0) {
        raw = static_cast<qint64>(bits | (~quint64(0) << length));
    } else {
        raw = static_cast<qint64>(bits);
    }
    return true;
}

Decoding decode(const SignalDefinition &signal, const CanFrame &frame, qint64 &raw)
{
    const bool isSigned = signal.isSigned && signal.encoding == SignalDefinition::Encoding::Integer;
    if (!extractBits(frame, signal.startBit, signal.length, signal.byteOrder, isSigned, raw)) {
        return Decoding::TooShort;
    }
    if (signal.skipNotAvailable) {
        const quint64 bits = signal.length == 64 ? static_cast<quint64>(raw)
                                                 : static_cast<quint64>(raw) & ((quint64(1) << signal.length) - 1);
        const Decoding marker = j1939Marker(bits, signal.length);
        if (marker != Decoding::Sample) {
            return marker;
        }
    }
    return Decoding::Sample;
}
