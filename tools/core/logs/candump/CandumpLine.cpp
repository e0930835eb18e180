// SPDX-License-Identifier: LGPL-2.1-or-later
#include "CandumpLine.h"
#include "TextCursor.h"
#include "TextWords.h"

#include <QtEndian>

#include <cstring>

namespace
{
using namespace TextWords;

// candump -a's data as text: one character per byte, '.' for what does not print.
bool takeAscii(TextCursor &in, const quint8 *data, int length)
{
    if (in.left() < static_cast<std::size_t>(length)) {
        return false;
    }
    const char *at = in.position();
    for (int i = 0; i < length; ++i) {
        const quint8 byte = data[i];
        if (at[i] != (byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.')) {
            return false;
        }
    }
    in.advance(static_cast<std::size_t>(length));
    return true;
}

constexpr quint32 errorFrameFlag = 0x20000000;

LineParse malformed(const char *why)
{
    return LineParse{LineParse::Malformed, why};
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
const char *readDateAndTime(TextCursor &in, qint64 year, qint64 &seconds)
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
const char *readTimestamp(TextCursor &in, qint64 &microseconds)
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
bool skipDirectionColumns(TextCursor &in)
{
    TextCursor columns = in;
    if (!(columns.takeWord("RX") || columns.takeWord("TX")) || !columns.skipBlanks()
        || !(columns.take('B') || columns.take('-')) || !columns.skipBlanks()
        || !(columns.take('E') || columns.take('-')) || !columns.skipBlanks()) {
        return false;
    }
    in = columns;
    return true;
}

const char *readIdentifier(TextCursor &in, CanFrame &frame, bool &errorFrame)
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
const char *readPackedBytes(TextCursor &in, int maxBytes, CanFrame &frame)
{
    int count = 0;
    while (TextCursor::hexDigit(in.peek()) >= 0) {
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
const char *readCompactPayload(TextCursor &in, CanFrame &frame)
{
    if (in.take('R')) {
        frame.remote = true;
        qint64 dlc = 0;
        in.decimal(1, dlc);
        frame.length = 0;
        return nullptr;
    }
    if (in.take('#')) {
        frame.flexibleDataRate = true;
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
const char *readScreenPayload(TextCursor &in, CanFrame &frame)
{
    qint64 length = 0;
    const int digits = in.take('[') ? in.decimal(2, length) : 0;
    if (digits == 0 || !in.take(']')) {
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
    // candump writes a CAN FD frame's length in two digits: [08], [12].
    frame.flexibleDataRate = digits == 2;
    for (int i = 0; i < length; ++i) {
        const bool separated = i == 0 || in.skipBlanks();
        if (in.atEnd() || in.peek() == '\r' || in.peek() == '\n') {
            return "fewer data bytes than the length in brackets";
        }
        if (!separated) {
            return "data bytes are not separated by blanks";
        }
        quint32 byte = 0;
        if (in.hex(2, byte) != 2 || TextCursor::hexDigit(in.peek()) >= 0) {
            return "data byte is not two hex digits";
        }
        frame.data[static_cast<std::size_t>(i)] = static_cast<quint8>(byte);
    }
    frame.length = static_cast<quint8>(length);
    return nullptr;
}

// After the data of a screen line: candump -a's column, 'text', if there is one.
const char *readAsciiColumn(TextCursor &in, const CanFrame &frame)
{
    TextCursor column = in;
    if (frame.remote || !column.skipBlanks() || !column.take('\'')) {
        return nullptr;
    }
    if (!takeAscii(column, frame.data.data(), frame.length) || !column.take('\'')) {
        return "text column does not match the data bytes";
    }
    in = column;
    return nullptr;
}

// After the data of a compact line: candump -x's " T" or " R", if there is one.
void skipDirectionMark(TextCursor &in)
{
    TextCursor mark = in;
    if (mark.skipBlanks() && (mark.take('T') || mark.take('R'))) {
        in = mark;
    }
}

constexpr qint64 powersOf10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

// "seconds.fraction) " after the '(' of a compact line, with up to 12 digits of
// seconds and 7 of fraction, read in whole words; at least 15 characters lie
// between at and end. Where the frame's fields begin, or null for another form.
const char *readCompactTime(const char *at, const char *end, qint64 &microseconds)
{
    const quint64 head = load8(at);
    int digits = leadingDigits(head);
    qint64 seconds = 0;
    if (digits == 0) {
        return nullptr;
    }
    if (digits < 8) {
        seconds = static_cast<qint64>(digitsValue(head, digits));
        at += digits;
    } else {
        if (end - at < 16) {
            return nullptr;
        }
        const quint64 tail = load8(at + 8);
        const int more = leadingDigits(tail);
        if (more > 4) {
            return nullptr;
        }
        seconds = static_cast<qint64>(digitsValue(head, 8)) * powersOf10[more]
            + (more > 0 ? static_cast<qint64>(digitsValue(tail, more)) : 0);
        at += 8 + more;
    }
    if (*at != '.' || end - ++at < 8) {
        return nullptr;
    }
    const quint64 fractionDigits = load8(at);
    digits = leadingDigits(fractionDigits);
    if (digits == 0 || digits > 7) {
        return nullptr;
    }
    qint64 fraction = static_cast<qint64>(digitsValue(fractionDigits, digits));
    fraction = digits <= 6 ? fraction * powersOf10[6 - digits] : fraction / 10;
    at += digits;
    if (end - at < 2 || at[0] != ')' || at[1] != ' ') {
        return nullptr;
    }
    microseconds = seconds * 1000000 + fraction;
    return at + 2;
}

// Fills in the frame, and the result, of a compact line that a shortcut read:
// its time, identifier and data length, and where its interface name lies.
struct CompactLine
{
    const char *begin;
    qint64 microseconds;
    CanFrame &frame;
    LineParse &result;

    bool accept(quint32 id, bool extended, std::size_t length, const char *name, std::size_t nameLength) const
    {
        frame.timeMicroseconds = microseconds;
        frame.id = id;
        frame.interfaceIndex = 0;
        frame.extended = extended;
        frame.remote = false;
        frame.flexibleDataRate = false;
        frame.length = static_cast<quint8>(length);
        result = LineParse{LineParse::Frame, nullptr, static_cast<std::size_t>(name - begin), nameLength};
        return true;
    }
};

// A 29-bit identifier and 8 data bytes, as on nearly every J1939 line, lie at
// fixed places before the line end: read there, they need not wait for the end
// of the name to be found.
bool isFixedJ1939Line(const char *at, const char *last)
{
    return last - at >= 27 && last - at <= 34 && last[-17] == '#' && last[-26] == ' ';
}

bool readFixedJ1939Line(const char *at, const char *last, const CompactLine &line)
{
    const std::ptrdiff_t nameLength = last - 26 - at;
    quint32 id = 0;
    if (!hexValue8(last - 25, id) || !hexBytes16(last - 16, line.frame.data.data())
        || (inRange(load8(at), 0, ' ') & (highBits >> (8 * (8 - nameLength)))) != 0) {
        return false;
    }
    return id <= 0x1FFFFFFF && line.accept(id, true, 8, at, static_cast<std::size_t>(nameLength));
}

#if defined(__SSE2__)
// The whole J1939 line as candump -l writes it with its relative or absolute
// time, "(seconds.micros) name id#bytes", read in the vector registers: the
// time and the name from marks over its first 32 characters, the identifier
// and the 8 data bytes from the last 26 before its '\n', if it has one.
// Declines every other line, its time or name longer, a tab or "\r" in it
// included.
Q_ALWAYS_INLINE bool readWholeJ1939Line(const char *begin, const char *end, CanFrame &frame, LineParse &result)
{
    if (end - begin < 38) {
        return false;
    }
    const char *last = end[-1] == '\n' ? end - 1 : end;
    if (last - begin < 38 || last[-17] != '#' || last[-26] != ' ' || last - 26 - begin > 32) {
        return false;
    }
    const int nameEnd = static_cast<int>(last - 26 - begin);
    const __m128i front = _mm_loadu_si128(reinterpret_cast<const __m128i *>(begin));
    const __m128i back = _mm_loadu_si128(reinterpret_cast<const __m128i *>(begin + 16));
    const auto marks = [](__m128i inFront, __m128i inBack) {
        return static_cast<quint64>(static_cast<unsigned>(_mm_movemask_epi8(inFront)))
            | static_cast<quint64>(static_cast<unsigned>(_mm_movemask_epi8(inBack))) << 16;
    };
    const quint64 digits = marks(inRange(front, '0', 9), inRange(back, '0', 9));
    const quint64 parens = marks(_mm_cmpeq_epi8(front, _mm_set1_epi8(')')), _mm_cmpeq_epi8(back, _mm_set1_epi8(')')));
    // Bytes above 0x7F count too: such a name is left to the other parsers.
    const quint64 blanks = marks(_mm_cmplt_epi8(front, _mm_set1_epi8('!')), _mm_cmplt_epi8(back, _mm_set1_epi8('!')));
    // '(', 1 to 12 digits of seconds, '.', 6 of microseconds, ')', one blank,
    // then the name up to the blank before the identifier.
    const int paren = parens == 0 ? 0 : static_cast<int>(qCountTrailingZeroBits(parens));
    if (paren < 9 || paren > 20 || nameEnd < paren + 3) {
        return false;
    }
    const quint64 beforeParen = (quint64(1) << paren) - 1;
    const quint64 point = quint64(1) << (paren - 7);
    if (begin[0] != '(' || begin[paren - 7] != '.' || (digits & beforeParen) != (beforeParen & ~(point | 1))
        || begin[paren + 1] != ' ' || (blanks & ((quint64(1) << nameEnd) - (quint64(4) << paren))) != 0) {
        return false;
    }
    __m128i idNibbles;
    __m128i dataNibbles;
    if ((hexNibbles(_mm_loadu_si128(reinterpret_cast<const __m128i *>(last - 25)), idNibbles) & 0xFF) != 0xFF
        || hexNibbles(_mm_loadu_si128(reinterpret_cast<const __m128i *>(last - 16)), dataNibbles) != 0xFFFF) {
        return false;
    }
    // The data bytes, then the identifier's four, the first the most significant.
    const __m128i bytes = _mm_packus_epi16(pairNibbles(dataNibbles), pairNibbles(idNibbles));
    const quint32 id = qFromBigEndian(static_cast<quint32>(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 8))));
    if (id > 0x1FFFFFFF) {
        return false;
    }
    _mm_storel_epi64(reinterpret_cast<__m128i *>(frame.data.data()), bytes);
    const int secondsDigits = paren - 8;
    const quint64 head = load8(begin + 1);
    const qint64 seconds = secondsDigits <= 8
        ? static_cast<qint64>(digitsValue(head, secondsDigits))
        : static_cast<qint64>(digitsValue(head, 8)) * powersOf10[secondsDigits - 8]
            + static_cast<qint64>(digitsValue(load8(begin + 9), secondsDigits - 8));
    const qint64 microseconds = seconds * 1000000 + static_cast<qint64>(digitsValue(load8(begin + paren - 6), 6));
    const CompactLine line{begin, microseconds, frame, result};
    return line.accept(id, true, 8, begin + paren + 2, static_cast<std::size_t>(nameEnd - paren - 2));
}
#endif

// "ID#" with 3 or 8 hex digits; where the data begins, or null.
const char *readCompactIdentifier(const char *at, const char *last, quint32 &id, bool &extended)
{
    if (at[3] == '#') {
        const int digit0 = TextCursor::hexDigit(at[0]);
        const int digit1 = TextCursor::hexDigit(at[1]);
        const int digit2 = TextCursor::hexDigit(at[2]);
        if ((digit0 | digit1 | digit2) < 0) {
            return nullptr;
        }
        id = static_cast<quint32>(digit0 << 8 | digit1 << 4 | digit2);
        extended = false;
        return id > 0x7FF ? nullptr : at + 4;
    }
    if (last - at >= 9 && at[8] == '#' && hexValue8(at, id)) {
        extended = true;
        return id > 0x1FFFFFFF ? nullptr : at + 9;
    }
    return nullptr;
}

// Classic data packed up to the line end, at most 8 bytes.
bool readCompactData(const char *at, const char *last, quint8 *data)
{
    const std::size_t hexDigits = static_cast<std::size_t>(last - at);
    if (hexDigits > 16 || hexDigits % 2 != 0) {
        return false;
    }
    if (hexDigits == 16) {
        return hexBytes16(at, data);
    }
    for (; last - at >= 8; at += 8, data += 4) {
        quint32 bytes = 0;
        if (!hexBytes8(at, bytes)) {
            return false;
        }
        qToLittleEndian(bytes, data);
    }
    for (; at != last; at += 2, ++data) {
        const int high = TextCursor::hexDigit(at[0]);
        const int low = TextCursor::hexDigit(at[1]);
        if ((high | low) < 0) {
            return false;
        }
        *data = static_cast<quint8>(high << 4 | low);
    }
    return true;
}

// Any other compact line: the name ends at the first blank (a control character
// in it is left to the general parser), then the identifier and the data.
bool readCompactLine(const char *at, const char *last, const CompactLine &line)
{
    const char *name = at;
    if (last - at >= 8) {
        at += firstMarked(inRange(load8(at), 0, ' '));
    }
    while (at != last && static_cast<quint8>(*at) > ' ') {
        ++at;
    }
    if (at == name || last - at < 5 || *at != ' ') {
        return false;
    }
    const std::size_t nameLength = static_cast<std::size_t>(at - name);
    quint32 id = 0;
    bool extended = false;
    const char *data = readCompactIdentifier(at + 1, last, id, extended);
    return data && readCompactData(data, last, line.frame.data.data())
        && line.accept(id, extended, static_cast<std::size_t>(last - data) / 2, name, nameLength);
}

// The compact line as candump -l writes it: '(' first, single blanks, classic
// data; its fields read in whole words, never past the line. Anything else,
// valid or not, is declined (false) and left to the general parser, which reads
// what this accepts to the same frame.
bool parseCompactLine(const char *begin, const char *end, CanFrame &frame, LineParse &result)
{
#if defined(__SSE2__)
    if (readWholeJ1939Line(begin, end, frame, result)) {
        return true;
    }
#endif
    if (end - begin < 16 || begin[0] != '(') {
        return false;
    }
    const char *last = end;
    if (last[-1] == '\n') {
        --last;
    }
    if (last[-1] == '\r') {
        --last;
    }
    qint64 microseconds = 0;
    const char *at = readCompactTime(begin + 1, end, microseconds);
    if (!at) {
        return false;
    }
    const CompactLine line{begin, microseconds, frame, result};
    return isFixedJ1939Line(at, last) ? readFixedJ1939Line(at, last, line) : readCompactLine(at, last, line);
}
}

LineParse parseCandumpLineGeneral(const char *begin, std::size_t size, CanFrame &frame)
{
    TextCursor in(begin, begin + size);
    if (in.onlyBlanksLeft()) {
        return LineParse{LineParse::Blank, nullptr};
    }
    in = TextCursor(begin, begin + size);
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
        TextCursor ahead = in;
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

bool parseCommonCandumpLine(const char *begin, std::size_t size, CanFrame &frame, LineParse &result)
{
    return parseCompactLine(begin, begin + size, frame, result);
}

LineParse parseCandumpLine(const char *begin, std::size_t size, CanFrame &frame)
{
    LineParse result;
    if (parseCompactLine(begin, begin + size, frame, result)) {
        return result;
    }
    return parseCandumpLineGeneral(begin, size, frame);
}
