// SPDX-License-Identifier: LGPL-2.1-or-later
#include "AscReader.h"

#include <QDateTime>

#include <algorithm>

#include <utility>

namespace
{
bool sameFolded(const char *word, int length, const char *lower)
{
    for (int i = 0; i < length; ++i) {
        if (lower[i] == '\0' || (word[i] | 0x20) != lower[i]) {
            return false;
        }
    }
    return lower[length] == '\0';
}

// The next word after blanks, compared without case.
bool takeFolded(TextCursor &in, const char *lower)
{
    TextCursor ahead = in;
    ahead.skipBlanks();
    const char *word = ahead.position();
    if (!sameFolded(word, ahead.word(), lower)) {
        return false;
    }
    in = ahead;
    return true;
}

// An English month's name, or its first three letters: 1 to 12, 0 for none.
int monthNumber(const char *word, int length)
{
    static const char *const months[] =
        {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    for (int month = 0; month < 12 && length >= 3; ++month) {
        if (sameFolded(word, 3, months[month])) {
            return month + 1;
        }
    }
    return 0;
}

// After "date": "weekday month day hh:mm:ss[.fraction] [am|pm] year". The
// weekday is passed over, as the tools that write it use the language of the
// machine for it.
bool readDate(TextCursor &in, qint64 &microseconds)
{
    in.skipBlanks();
    in.word();
    in.skipBlanks();
    const char *word = in.position();
    const int month = monthNumber(word, in.word());
    qint64 day = 0;
    qint64 hour = 0;
    qint64 minute = 0;
    qint64 second = 0;
    qint64 year = 0;
    in.skipBlanks();
    if (month == 0 || in.decimal(2, day) == 0 || !in.skipBlanks() || in.decimal(2, hour) == 0 || !in.take(':')
        || in.decimal(2, minute) != 2 || !in.take(':') || !in.fixedPoint(6, second) || second >= 60000000) {
        return false;
    }
    const bool pm = takeFolded(in, "pm");
    if (pm || takeFolded(in, "am")) {
        if (hour < 1 || hour > 12) {
            return false;
        }
        hour = hour % 12 + (pm ? 12 : 0);
    }
    in.skipBlanks();
    const QDate date(in.decimal(4, year) == 4 ? static_cast<int>(year) : 0, month, static_cast<int>(day));
    if (!date.isValid() || hour > 23 || minute > 59 || !in.onlyBlanksLeft()) {
        return false;
    }
    microseconds = QDateTime(date, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch() * 1000
        + (hour * 3600 + minute * 60) * 1000000 + second;
    return true;
}
}

AscReader::AscReader(LineInput input, InterfaceNames &interfaces)
    : TextLogReader(std::move(input))
    , channels(interfaces)
{
}

AscReader::AscReader(const QByteArray &text, InterfaceNames &interfaces)
    : AscReader(LineInput(text), interfaces)
{
}

LogFormat AscReader::format() const
{
    return LogFormat::Asc;
}

LogReader::Next AscReader::next(CanFrame &frame)
{
    // Most frame lines are as long as one of the two before (logs alternate
    // between widths of identifier). Where quickFrame() reads one at such a
    // length, to a '\n' at its end and no other, the line ends there, found
    // without a search.
    LineInput &input = lines();
    const std::size_t longer = std::max(expectedLengths[0], expectedLengths[1]);
    if (expectedLengths[0] != 0 && input.aheadSize() >= longer) {
        // Chosen without a branch, as the two alternate without a pattern.
        const bool second = input.ahead()[expectedLengths[0] - 1] != '\n';
        const std::size_t length = expectedLengths[second ? 1 : 0];
        if (input.holdsLineEndAt(length) && quickFrame(input.ahead(), input.ahead() + length, frame, true)) {
            expectedLengths[1] = expectedLengths[second ? 0 : 1];
            expectedLengths[0] = length;
            input.takeLine(length);
            return Next::Frame;
        }
    }
    return TextLogReader::next(frame);
}

TextLogReader::Line AscReader::parse(const char *line, std::size_t length, CanFrame &frame, const char *&error)
{
    // Frames are nearly every line: tried first, as no other line has their words.
    if (quickFrame(line, line + length, frame, false)) {
        if (line[length - 1] == '\n' && expectedLengths[0] != length) {
            expectedLengths[1] = expectedLengths[0] != 0 ? expectedLengths[0] : length;
            expectedLengths[0] = length;
        }
        return Line::Frame;
    }
    TextCursor in(line, line + length);
    in.skipBlanks();
    const char first = in.peek();
    if (first >= '0' && first <= '9') {
        return event(in, frame, error);
    }
    if (in.onlyBlanksLeft()) {
        return Line::Blank;
    }
    return header(in, error);
}

// The words of a classic data frame in a hex log, "time channel id[x] Rx|Tx d
// dlc", read where they lie, to what event() reads from them; any other line,
// or any doubt, is declined (false, the reader's state untouched) and left to
// event(). endsAtFirstNewline: decline a line unless its last character is its
// first '\n'.
bool AscReader::quickFrame(const char *line, const char *end, CanFrame &frame, bool endsAtFirstNewline)
{
    enum { time, channel, id, direction, data, dlc, firstByte, wordCount };
    if (base != 16 || words.find(line, TextWords::withoutLineEnd(line, end), wordCount) != wordCount) {
        return false;
    }
    const char *channelWord = words.start(channel);
    const char *idWord = words.start(id);
    const char *directionWord = words.start(direction);
    if (words.end(direction) - directionWord != 2 || directionWord[1] != 'x'
        || (directionWord[0] != 'R' && directionWord[0] != 'T') || words.end(data) - words.start(data) != 1
        || *words.start(data) != 'd' || *idWord == 'S' || *idWord == 'J' || *idWord == 'E') {
        return false;
    }
    quint32 channelNumber = 0;
    for (const char *at = channelWord; at != words.end(channel); ++at) {
        const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(*at)) - '0';
        if (digit > 9 || at - channelWord == 9) {
            return false;
        }
        channelNumber = channelNumber * 10 + digit;
    }
    qint64 seconds = 0;
    if (!TextWords::fixedPointWord(words.start(time), words.end(time), end, 6, seconds)
        || !quickIdentifier(idWord, words.end(id), end, frame)) {
        return false;
    }
    // One or two hex digits.
    const char *codeWord = words.start(dlc);
    const std::ptrdiff_t codeDigits = words.end(dlc) - codeWord;
    const int high = TextCursor::hexDigit(codeWord[0]);
    const int low = codeDigits == 2 ? TextCursor::hexDigit(codeWord[1]) : 0;
    if (codeDigits > 2 || (high | low) < 0) {
        return false;
    }
    const int code = codeDigits == 2 ? high << 4 | low : high;
    const int length = code <= 15 ? std::min(code, 8) : code;
    constexpr qint64 longestLog = 1000LL * 366 * 86400 * 1000000;
    const qint64 at = relative ? previous + seconds : seconds;
    if (!isCanFdLength(length) || length > 64 || at > longestLog) {
        return false;
    }
    TextCursor bytes(words.start(firstByte), end);
    TextCursor afterCode(words.end(dlc), end);
    const bool spaced8 = length == 8 && bytes.hexBytesSpaced8(frame.data.data());
    if (!spaced8 && !dataBytes(afterCode, length, frame)) {
        return false;
    }
    // Every character before the data's end was one of the words or the
    // blanks between them.
    if (endsAtFirstNewline
        && !TextWords::endsAtFirstNewline(line, spaced8 ? bytes.position() : afterCode.position(), end)) {
        return false;
    }
    previous = at;
    frame.timeMicroseconds = start + previous;
    frame.interfaceIndex = channels.index(channelNumber);
    frame.remote = false;
    frame.length = static_cast<quint8>(length);
    frame.flexibleDataRate = length > 8;
    return true;
}

// 1 to 8 hex digits and an 'x' for a 29-bit identifier, as identifier() reads them.
bool AscReader::quickIdentifier(const char *at, const char *wordEnd, const char *end, CanFrame &frame) const
{
    TextCursor in(at, end);
    const std::ptrdiff_t digits = in.hex(8, frame.id);
    frame.extended = digits + 1 == wordEnd - at && (at[digits] == 'x' || at[digits] == 'X');
    return digits > 0 && (digits == wordEnd - at || frame.extended)
        && frame.id <= (frame.extended ? 0x1FFFFFFFu : 0x7FFu);
}

TextLogReader::Line AscReader::header(TextCursor &in, const char *&error)
{
    if (in.takeWord("//")) {
        return Line::Blank;
    }
    if (takeFolded(in, "date")) {
        if (!readDate(in, start)) {
            start = 0;
            error = "date is not 'weekday month day hh:mm:ss.ms [am|pm] year' with an English month";
            return Line::Malformed;
        }
        return Line::Blank;
    }
    if (takeFolded(in, "base")) {
        const bool hex = takeFolded(in, "hex");
        if (!hex && !takeFolded(in, "dec")) {
            error = "base is not hex or dec";
            return Line::Malformed;
        }
        base = hex ? 16 : 10;
        if (takeFolded(in, "timestamps")) {
            relative = takeFolded(in, "relative");
            if (!relative && !takeFolded(in, "absolute")) {
                error = "timestamps are not absolute or relative";
                return Line::Malformed;
            }
        }
        return in.onlyBlanksLeft() ? Line::Blank : (error = "unexpected text after the base", Line::Malformed);
    }
    const bool events = takeFolded(in, "internal") || (takeFolded(in, "no") && takeFolded(in, "internal"));
    if ((events && takeFolded(in, "events")) || (takeFolded(in, "begin") && takeFolded(in, "triggerblock"))
        || (takeFolded(in, "end") && takeFolded(in, "triggerblock"))) {
        return Line::Blank;
    }
    error = "not a line of an ASC log";
    return Line::Malformed;
}

TextLogReader::Line AscReader::event(TextCursor &in, CanFrame &frame, const char *&error)
{
    qint64 time = 0;
    if (!in.fixedPoint(6, time) || !in.skipBlanks()) {
        error = "time is not seconds.fraction followed by a blank";
        return Line::Malformed;
    }
    // A relative log adds up its times: past a thousand years it is no log, and
    // far past, the sum would not fit.
    constexpr qint64 longestLog = 1000LL * 366 * 86400 * 1000000;
    const qint64 at = relative ? previous + time : time;
    if (at > longestLog) {
        error = "time more than a thousand years from the start";
        return Line::Malformed;
    }
    previous = at;
    clearFrameHead(frame);
    frame.timeMicroseconds = start + previous;
    const char first = in.peek();
    if (first == 'S' && in.takeWord("Start of measurement")) {
        return Line::Skipped;
    }
    if (first == 'C' && in.takeWordAlone("CANFD")) {
        return canFdFrame(in, frame, error);
    }
    const bool statusEvent = first == 'C' && in.takeWordAlone("CAN");
    qint64 channel = 0;
    in.skipBlanks();
    if (in.decimal(9, channel) == 0 || !in.skipBlanks()) {
        error = "expected a channel number after the time";
        return Line::Malformed;
    }
    frame.interfaceIndex = channels.index(static_cast<quint32>(channel));
    const char next = in.peek();
    if ((next == 'S' && (in.takeWord("Status:") || (!statusEvent && in.takeWord("Statistic:"))))
        || (next == 'J' && !statusEvent && in.takeWordAlone("J1939TP"))) {
        return Line::Skipped;
    }
    if (statusEvent) {
        error = "expected Status: after CAN and the channel";
        return Line::Malformed;
    }
    if (next == 'E' && in.takeWord("ErrorFrame")) {
        return Line::ErrorFrame;
    }
    return classicFrame(in, frame, error);
}

bool AscReader::identifier(TextCursor &in, CanFrame &frame, const char *&error) const
{
    if (in.number(base, base == 16 ? 8 : 10, frame.id) == 0) {
        error = "identifier is not a number in the log's base";
        return false;
    }
    frame.extended = in.take('x') || in.take('X');
    if (frame.id > (frame.extended ? 0x1FFFFFFFu : 0x7FFu)) {
        error = frame.extended ? "29-bit identifier above 1FFFFFFF" : "11-bit identifier above 7FF";
        return false;
    }
    if (!in.skipBlanks()) {
        error = "expected a blank after the identifier";
        return false;
    }
    return true;
}

bool AscReader::dataBytes(TextCursor &in, int count, CanFrame &frame) const
{
    if (base == 16) {
        return in.hexBytes(count, frame.data.data());
    }
    for (int i = 0; i < count; ++i) {
        qint64 byte = 0;
        in.skipBlanks();
        if (in.decimal(3, byte) == 0 || byte > 0xFF || static_cast<unsigned char>(in.peek()) > ' ') {
            return false;
        }
        frame.data[static_cast<std::size_t>(i)] = static_cast<quint8>(byte);
    }
    return true;
}

TextLogReader::Line AscReader::classicFrame(TextCursor &in, CanFrame &frame, const char *&error)
{
    if (!identifier(in, frame, error)) {
        return Line::Malformed;
    }
    if (!(in.takeWord("Rx") || in.takeWord("Tx")) || !in.skipBlanks()) {
        error = "expected Rx or Tx after the identifier";
        return Line::Malformed;
    }
    if (in.take('r')) {
        frame.remote = true;
        return Line::Frame;
    }
    quint32 dlc = 0;
    if (!in.take('d') || !in.skipBlanks() || in.number(base, base == 16 ? 2 : 3, dlc) == 0) {
        error = "expected d and the DLC, or r, after the direction";
        return Line::Malformed;
    }
    // A DLC of 9 to 15 means 8 bytes in a classic frame; some tools write a
    // CAN FD frame's length there instead.
    const int length = dlc <= 15 ? std::min(static_cast<int>(dlc), 8) : static_cast<int>(dlc);
    if (!isCanFdLength(length) || length > 64) {
        error = "DLC is neither 0 to 15 nor a CAN FD length";
        return Line::Malformed;
    }
    if (!dataBytes(in, length, frame)) {
        error = "fewer data bytes than the DLC gives, or one that is not a byte in the log's base";
        return Line::Malformed;
    }
    frame.length = static_cast<quint8>(length);
    frame.flexibleDataRate = length > 8;
    return Line::Frame;
}

TextLogReader::Line AscReader::canFdFrame(TextCursor &in, CanFrame &frame, const char *&error)
{
    qint64 channel = 0;
    in.skipBlanks();
    if (in.decimal(9, channel) == 0 || !in.skipBlanks() || !(in.takeWord("Rx") || in.takeWord("Tx"))
        || !in.skipBlanks()) {
        error = "expected the channel and Rx or Tx after CANFD";
        return Line::Malformed;
    }
    frame.interfaceIndex = channels.index(static_cast<quint32>(channel));
    if (in.takeWord("ErrorFrame")) {
        return Line::ErrorFrame;
    }
    if (!identifier(in, frame, error)) {
        return Line::Malformed;
    }
    // The frame's symbolic name, where the database gave one, stands before the
    // bit rate switch.
    TextCursor ahead = in;
    const char *word = ahead.position();
    if (ahead.word() != 1 || (*word != '0' && *word != '1')) {
        ahead.skipBlanks();
        in = ahead;
    }
    const auto flag = [&in] {
        return (in.take('0') || in.take('1')) && in.skipBlanks();
    };
    quint32 dlc = 0;
    qint64 length = 0;
    if (!flag() || !flag() || in.number(base, 2, dlc) == 0 || !in.skipBlanks() || in.decimal(2, length) == 0
        || !isCanFdLength(static_cast<int>(length)) || length > 64) {
        error = "expected bit rate switch, error state, DLC and a CAN FD data length after the identifier";
        return Line::Malformed;
    }
    if (!dataBytes(in, static_cast<int>(length), frame)) {
        error = "fewer data bytes than the data length gives, or one that is not a byte in the log's base";
        return Line::Malformed;
    }
    // Message duration, message length, then the flags: 0x1000 a CAN FD frame,
    // 0x10 a remote request.
    TextCursor after = in;
    quint32 flags = 0;
    after.skipBlanks();
    after.word();
    after.skipBlanks();
    after.word();
    const bool flagsGiven = after.skipBlanks() && after.hex(8, flags) > 0;
    frame.remote = flagsGiven ? (flags & 0x10) != 0 : length == 0 && dlc != 0;
    frame.flexibleDataRate = !frame.remote && (length > 8 || !flagsGiven || (flags & 0x1000) != 0);
    frame.length = frame.remote ? 0 : static_cast<quint8>(length);
    return Line::Frame;
}
