// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LogParser.h"

#include <cstring>

namespace
{
// A position in the line; every read checks the end first.
class Cursor
{
public:
    Cursor(const char *begin, const char *end)
        : at(begin)
        , end(end)
    {
    }

    std::size_t offsetFrom(const char *begin) const
    {
        return static_cast<std::size_t>(at - begin);
    }
    bool atEnd() const
    {
        return at == end;
    }
    char peek() const
    {
        return at == end ? '\0' : *at;
    }
    bool take(char c)
    {
        if (peek() != c || at == end) {
            return false;
        }
        ++at;
        return true;
    }
    // Skips blanks; true when there was at least one.
    bool skipBlanks()
    {
        const char *start = at;
        while (at != end && (*at == ' ' || *at == '\t')) {
            ++at;
        }
        return at != start;
    }
    // Blanks and the line end only.
    bool onlyBlanksLeft()
    {
        while (at != end && (*at == ' ' || *at == '\t' || *at == '\r' || *at == '\n')) {
            ++at;
        }
        return at == end;
    }
    // Reads up to maxDigits decimal digits; the count read, 0 if none.
    int decimal(int maxDigits, qint64 &value)
    {
        int digits = 0;
        value = 0;
        while (at != end && *at >= '0' && *at <= '9' && digits < maxDigits) {
            value = value * 10 + (*at - '0');
            ++at;
            ++digits;
        }
        return digits;
    }
    // Reads up to maxDigits hex digits; the count read, 0 if none.
    int hex(int maxDigits, quint32 &value)
    {
        int digits = 0;
        value = 0;
        int nibble = 0;
        while (digits < maxDigits && (nibble = hexDigit(peek())) >= 0) {
            value = (value << 4) | static_cast<quint32>(nibble);
            ++at;
            ++digits;
        }
        return digits;
    }
    // A run of characters up to the next blank or line end; its length.
    int word()
    {
        const char *start = at;
        while (at != end && *at != ' ' && *at != '\t' && *at != '\r' && *at != '\n') {
            ++at;
        }
        return static_cast<int>(at - start);
    }
    bool takeWord(const char *expected)
    {
        const std::size_t n = std::strlen(expected);
        if (static_cast<std::size_t>(end - at) < n || std::memcmp(at, expected, n) != 0) {
            return false;
        }
        at += n;
        return true;
    }

    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        return -1;
    }

private:
    const char *at;
    const char *end;
};

LineParse malformed(const char *why)
{
    return LineParse{LineParse::Malformed, why};
}

bool isCanFdLength(int length)
{
    return length <= 8 || length == 12 || length == 16 || length == 20 || length == 24 || length == 32 || length == 48
        || length == 64;
}

// "(seconds.fraction)"; the fraction has 1 to 9 digits, kept to microseconds.
const char *readTimestamp(Cursor &in, qint64 &microseconds)
{
    if (!in.take('(')) {
        return "missing '(' before the timestamp";
    }
    qint64 seconds = 0;
    qint64 fraction = 0;
    if (in.decimal(12, seconds) == 0 || !in.take('.')) {
        return "timestamp is not seconds.fraction";
    }
    int digits = in.decimal(9, fraction);
    if (digits == 0) {
        return "timestamp is not seconds.fraction";
    }
    for (; digits < 6; ++digits) {
        fraction *= 10;
    }
    for (; digits > 6; --digits) {
        fraction /= 10;
    }
    if (!in.take(')')) {
        return "missing ')' after the timestamp";
    }
    microseconds = seconds * 1000000 + fraction;
    return nullptr;
}

const char *readIdentifier(Cursor &in, CanFrame &frame)
{
    const int digits = in.hex(9, frame.id);
    if (digits == 3) {
        frame.extended = false;
        return frame.id > 0x7FF ? "11-bit identifier above 7FF" : nullptr;
    }
    if (digits == 8) {
        frame.extended = true;
        return frame.id > 0x1FFFFFFF ? "29-bit identifier above 1FFFFFFF" : nullptr;
    }
    return "identifier is not 3 or 8 hex digits";
}

// Hex pairs without separators, up to maxBytes of them.
const char *readPackedBytes(Cursor &in, int maxBytes, CanFrame &frame)
{
    int count = 0;
    while (Cursor::hexDigit(in.peek()) >= 0) {
        quint32 byte = 0;
        if (in.hex(2, byte) != 2) {
            return "data is not whole hex bytes";
        }
        if (count == maxBytes) {
            return maxBytes == 8 ? "more than 8 data bytes" : "more than 64 data bytes";
        }
        frame.data[static_cast<std::size_t>(count++)] = static_cast<quint8>(byte);
    }
    frame.length = static_cast<quint8>(count);
    return nullptr;
}

// After "ID#": data bytes, "R" for a remote request, or "#F" and CAN FD data.
const char *readCompactPayload(Cursor &in, CanFrame &frame)
{
    if (in.take('R')) {
        frame.remote = true;
        qint64 dlc = 0;
        in.decimal(1, dlc);
        frame.length = 0;
        return nullptr;
    }
    if (in.take('#')) {
        quint32 flags = 0;
        if (in.hex(1, flags) != 1) {
            return "CAN FD flags are not one hex digit";
        }
        if (const char *error = readPackedBytes(in, 64, frame)) {
            return error;
        }
        return isCanFdLength(frame.length) ? nullptr : "CAN FD data length is not a valid one";
    }
    return readPackedBytes(in, 8, frame);
}

// After "ID": "[len]" and len blank-separated hex bytes, or "remote request".
const char *readScreenPayload(Cursor &in, CanFrame &frame)
{
    qint64 length = 0;
    if (!in.take('[') || in.decimal(2, length) == 0 || !in.take(']')) {
        return "expected the length in brackets after the identifier";
    }
    if (!isCanFdLength(static_cast<int>(length)) || length > 64) {
        return "length in brackets is not a valid CAN or CAN FD length";
    }
    in.skipBlanks();
    if (in.takeWord("remote request")) {
        frame.remote = true;
        frame.length = 0;
        return nullptr;
    }
    for (int i = 0; i < length; ++i) {
        const bool separated = i == 0 || in.skipBlanks();
        if (in.atEnd() || in.peek() == '\r' || in.peek() == '\n') {
            return "fewer data bytes than the length in brackets";
        }
        if (!separated) {
            return "data bytes are not separated by blanks";
        }
        quint32 byte = 0;
        if (in.hex(2, byte) != 2 || Cursor::hexDigit(in.peek()) >= 0) {
            return "data byte is not two hex digits";
        }
        frame.data[static_cast<std::size_t>(i)] = static_cast<quint8>(byte);
    }
    frame.length = static_cast<quint8>(length);
    return nullptr;
}
}

LineParse parseLogLine(const char *begin, std::size_t size, CanFrame &frame)
{
    Cursor in(begin, begin + size);
    if (in.onlyBlanksLeft()) {
        return LineParse{LineParse::Blank, nullptr};
    }
    in = Cursor(begin, begin + size);
    in.skipBlanks();
    frame = CanFrame();
    if (const char *error = readTimestamp(in, frame.timeMicroseconds)) {
        return malformed(error);
    }
    if (!in.skipBlanks()) {
        return malformed("missing interface name after the timestamp");
    }
    const std::size_t interfaceOffset = in.offsetFrom(begin);
    const int interfaceLength = in.word();
    if (interfaceLength == 0) {
        return malformed("missing interface name after the timestamp");
    }
    if (!in.skipBlanks()) {
        return malformed("missing identifier after the interface name");
    }
    if (const char *error = readIdentifier(in, frame)) {
        return malformed(error);
    }
    const char *error = in.take('#') ? readCompactPayload(in, frame)
        : in.skipBlanks()            ? readScreenPayload(in, frame)
                                     : "expected '#' or a blank after the identifier";
    if (error) {
        return malformed(error);
    }
    if (!in.onlyBlanksLeft()) {
        return malformed("unexpected text after the data");
    }
    return LineParse{LineParse::Frame, nullptr, interfaceOffset, static_cast<std::size_t>(interfaceLength)};
}
