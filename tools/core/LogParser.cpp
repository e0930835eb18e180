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
        if (at == end || *at != c) {
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
    // candump -a's data as text: one character per byte, '.' for what does not print.
    bool takeAscii(const quint8 *data, int length)
    {
        if (end - at < length) {
            return false;
        }
        for (int i = 0; i < length; ++i) {
            const quint8 byte = data[i];
            if (at[i] != (byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.')) {
                return false;
            }
        }
        at += length;
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

constexpr quint32 errorFrameFlag = 0x20000000;

LineParse malformed(const char *why)
{
    return LineParse{LineParse::Malformed, why};
}

bool isCanFdLength(int length)
{
    return length <= 8 || length == 12 || length == 16 || length == 20 || length == 24 || length == 32 || length == 48
        || length == 64;
}

bool isLeapYear(qint64 year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar, by
// counting in 400-year eras of 146097 days from a year that starts in March, so
// that the leap day falls at the end of the year.
qint64 daysSinceEpoch(qint64 year, qint64 month, qint64 day)
{
    year -= month <= 2 ? 1 : 0;
    const qint64 era = (year >= 0 ? year : year - 399) / 400;
    const qint64 yearOfEra = year - era * 400;
    const qint64 dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const qint64 dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// candump -tA: "MM-DD HH:MM:SS" after the year and its '-', as seconds since the
// epoch. candump writes its local time; with no zone in the line, UTC is the one
// reading that every machine makes alike.
const char *readDateAndTime(Cursor &in, qint64 year, qint64 &seconds)
{
    qint64 month = 0;
    qint64 day = 0;
    qint64 hour = 0;
    qint64 minute = 0;
    qint64 second = 0;
    if (in.decimal(2, month) != 2 || !in.take('-') || in.decimal(2, day) != 2 || !in.take(' ')
        || in.decimal(2, hour) != 2 || !in.take(':') || in.decimal(2, minute) != 2 || !in.take(':')
        || in.decimal(2, second) != 2) {
        return "date and time are not YYYY-MM-DD HH:MM:SS";
    }
    static const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > monthDays[month - 1] + (month == 2 && isLeapYear(year) ? 1 : 0)
        || hour > 23 || minute > 59 || second > 59) {
        return "date or time out of range";
    }
    seconds = daysSinceEpoch(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return nullptr;
}

// After '(': "seconds.fraction)" or "YYYY-MM-DD HH:MM:SS.fraction)"; the fraction
// has 1 to 9 digits, kept to microseconds.
const char *readTimestamp(Cursor &in, qint64 &microseconds)
{
    qint64 seconds = 0;
    qint64 fraction = 0;
    const int digits = in.decimal(12, seconds);
    if (digits == 4 && in.take('-')) {
        if (const char *error = readDateAndTime(in, seconds, seconds)) {
            return error;
        }
    } else if (digits == 0) {
        return "timestamp is not seconds.fraction";
    }
    if (!in.take('.')) {
        return "timestamp is not seconds.fraction";
    }
    int fractionDigits = in.decimal(9, fraction);
    if (fractionDigits == 0) {
        return "timestamp is not seconds.fraction";
    }
    for (; fractionDigits < 6; ++fractionDigits) {
        fraction *= 10;
    }
    for (; fractionDigits > 6; --fractionDigits) {
        fraction /= 10;
    }
    if (!in.take(')')) {
        return "missing ')' after the timestamp";
    }
    microseconds = seconds * 1000000 + fraction;
    return nullptr;
}

// candump -x: "RX" or "TX", then whether the bit rate switched ('B') and whether
// the sender was error passive ('E'), '-' for no. Leaves in at the identifier.
bool skipDirectionColumns(Cursor &in)
{
    Cursor columns = in;
    if (!(columns.takeWord("RX") || columns.takeWord("TX")) || !columns.skipBlanks()
        || !(columns.take('B') || columns.take('-')) || !columns.skipBlanks()
        || !(columns.take('E') || columns.take('-')) || !columns.skipBlanks()) {
        return false;
    }
    in = columns;
    return true;
}

const char *readIdentifier(Cursor &in, CanFrame &frame, bool &errorFrame)
{
    const int digits = in.hex(9, frame.id);
    if (digits == 3) {
        frame.extended = false;
        return frame.id > 0x7FF ? "11-bit identifier above 7FF" : nullptr;
    }
    if (digits == 8) {
        frame.extended = true;
        errorFrame = (frame.id & ~quint32(0x1FFFFFFF)) == errorFrameFlag;
        return frame.id > 0x1FFFFFFF && !errorFrame ? "29-bit identifier above 1FFFFFFF" : nullptr;
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

// After the data of a screen line: candump -a's column, 'text', if there is one.
const char *readAsciiColumn(Cursor &in, const CanFrame &frame)
{
    Cursor column = in;
    if (frame.remote || !column.skipBlanks() || !column.take('\'')) {
        return nullptr;
    }
    if (!column.takeAscii(frame.data.data(), frame.length) || !column.take('\'')) {
        return "text column does not match the data bytes";
    }
    in = column;
    return nullptr;
}

// After the data of a compact line: candump -x's " T" or " R", if there is one.
void skipDirectionMark(Cursor &in)
{
    Cursor mark = in;
    if (mark.skipBlanks() && (mark.take('T') || mark.take('R'))) {
        in = mark;
    }
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
    LineParse result{LineParse::Frame, nullptr};
    if (in.take('(')) {
        if (const char *error = readTimestamp(in, frame.timeMicroseconds)) {
            return malformed(error);
        }
        if (!in.skipBlanks()) {
            return malformed("missing interface name after the timestamp");
        }
    } else {
        result.timed = false;
    }

    result.interfaceOffset = in.offsetFrom(begin);
    result.interfaceLength = static_cast<std::size_t>(in.word());
    const bool interfaceThenBlank = result.interfaceLength > 0 && in.skipBlanks();
    const bool directionColumns = interfaceThenBlank && skipDirectionColumns(in);
    bool errorFrame = false;
    const char *error = !interfaceThenBlank ? nullptr : readIdentifier(in, frame, errorFrame);
    if (!result.timed) {
        // Only the screen layout goes without a timestamp (candump without -t).
        Cursor ahead = in;
        if (!interfaceThenBlank || error || !ahead.skipBlanks() || ahead.peek() != '[') {
            return malformed("missing '(' before the timestamp");
        }
    }
    if (result.interfaceLength == 0) {
        return malformed("missing interface name after the timestamp");
    }
    if (!interfaceThenBlank) {
        return malformed("missing identifier after the interface name");
    }
    if (error) {
        return malformed(error);
    }

    const bool compact = !directionColumns && in.take('#');
    if (compact) {
        error = readCompactPayload(in, frame);
    } else if (in.skipBlanks()) {
        error = readScreenPayload(in, frame);
    } else {
        error = directionColumns ? "expected the length in brackets after the identifier"
                                 : "expected '#' or a blank after the identifier";
    }
    if (error) {
        return malformed(error);
    }
    // candump follows an error frame's data with ERRORFRAME and, with -e, what the
    // error was; none of it is of use here.
    if (errorFrame) {
        result.status = LineParse::ErrorFrame;
        return result;
    }
    if (compact) {
        skipDirectionMark(in);
    } else if ((error = readAsciiColumn(in, frame))) {
        return malformed(error);
    }
    if (!in.onlyBlanksLeft()) {
        return malformed("unexpected text after the data");
    }
    return result;
}
