// SPDX-License-Identifier: LGPL-2.1-or-later
#include "TrcReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace
{
using Column = TrcReader::Column;

struct Layout
{
    int version;
    const char *columns;
};

// Each version's columns by their letters: N number, O time offset, T type, B
// bus, I identifier, d direction, R reserved, L data length code, l length in
// bytes, D data. From 2.0 on, ;$COLUMNS may give others.
const Layout layouts[] = {
    {10, "NOILD"},
    {11, "NOTILD"},
    {12, "NOBTILD"},
    {13, "NOBTIRLD"},
    {20, "NOTIdlD"},
    {21, "NOTBIdRLD"},
};

bool columnOf(char letter, Column &column)
{
    static const char letters[] = "NOTBIdRLlD";
    const char *found = letter ? std::strchr(letters, letter) : nullptr;
    if (!found) {
        return false;
    }
    column = static_cast<Column>(found - letters);
    return true;
}

void setColumns(const char *letters, std::vector<Column> &columns)
{
    columns.clear();
    for (Column column; *letters && columnOf(*letters, column); ++letters) {
        columns.push_back(column);
    }
}

bool endsWord(const TextCursor &in)
{
    const char c = in.peek();
    return c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Days since 1899-12-30 with their fraction, as microseconds since the epoch.
bool readStartTime(TextCursor &in, qint64 &microseconds)
{
    constexpr qint64 daysBeforeEpoch = 25569;
    constexpr double microsecondsPerDay = 86400e6;
    qint64 days = 0;
    // Six digits reach past the year 4000; more would not fit in microseconds.
    if (in.decimal(6, days) == 0) {
        return false;
    }
    double fraction = 0.0;
    double scale = 0.1;
    if (in.take('.')) {
        for (char c = in.peek(); c >= '0' && c <= '9'; c = in.peek()) {
            fraction += (c - '0') * scale;
            scale /= 10.0;
            in.advance(1);
        }
    }
    microseconds = (days - daysBeforeEpoch) * static_cast<qint64>(microsecondsPerDay)
        + std::llround(fraction * microsecondsPerDay);
    return in.onlyBlanksLeft();
}
}

TrcReader::TrcReader(LineInput input, InterfaceNames &interfaces)
    : TextLogReader(std::move(input))
    , channels(interfaces)
{
    setColumns(layouts[0].columns, columns);
    columnsChanged();
}

TrcReader::TrcReader(const QByteArray &text, InterfaceNames &interfaces)
    : TrcReader(LineInput(text), interfaces)
{
}

LogFormat TrcReader::format() const
{
    return LogFormat::Trc;
}

LogReader::Next TrcReader::next(CanFrame &frame)
{
    // Writers pad the columns to fixed widths, so nearly every record is as long
    // as the one before. Where quickRecord() reads one at that length up to a
    // '\n' at its end, every character before was one of its words or blanks:
    // the line ends there, found without a search.
    LineInput &input = lines();
    Line read = Line::Frame;
    const char *readTo = nullptr;
    if (input.holdsLineEndAt(expectedLength)
        && quickRecord(input.ahead(), input.ahead() + expectedLength, frame, read, readTo)
        && TextWords::endsAtFirstNewline(input.ahead(), readTo, input.ahead() + expectedLength)) {
        input.takeLine(expectedLength);
        return read == Line::Frame ? Next::Frame : Next::ErrorFrame;
    }
    return TextLogReader::next(frame);
}

TextLogReader::Line TrcReader::parse(const char *line, std::size_t length, CanFrame &frame, const char *&error)
{
    // Records are nearly every line: tried first, as a comment or blank line
    // never has the words of one.
    Line read = Line::Frame;
    const char *readTo = nullptr;
    if (quickRecord(line, line + length, frame, read, readTo)) {
        if (line[length - 1] == '\n') {
            expectedLength = length;
        }
        return read;
    }
    TextCursor in(line, line + length);
    in.skipBlanks();
    if (in.take(';')) {
        return header(in, error);
    }
    if (in.onlyBlanksLeft()) {
        return Line::Blank;
    }
    return record(in, frame, error);
}

void TrcReader::columnsChanged()
{
    layout = WordLayout();
    const int count = static_cast<int>(columns.size());
    int seen[static_cast<int>(Column::Data) + 1] = {};
    for (int i = 0; i < count; ++i) {
        const Column kind = columns[static_cast<std::size_t>(i)];
        ++seen[static_cast<int>(kind)];
        int *word = kind == Column::Offset                  ? &layout.offset
            : kind == Column::Type                          ? &layout.type
            : kind == Column::Bus                           ? &layout.bus
            : kind == Column::Id                            ? &layout.id
            : kind == Column::Dlc || kind == Column::Length ? &layout.length
                                                            : nullptr;
        if (word) {
            *word = i;
        }
        if (kind == Column::Dlc || kind == Column::Length) {
            layout.lengthKind = kind;
        }
    }
    // Each column once, the type read before the length it sets the meaning of,
    // and the data last.
    const auto once = [&seen](Column kind) {
        return seen[static_cast<int>(kind)] <= 1;
    };
    layout.words = count;
    layout.byWords = count <= LineWords::maxWords && count > 0 && columns.back() == Column::Data && once(Column::Data)
        && once(Column::Offset) && once(Column::Type) && once(Column::Bus) && once(Column::Id)
        && seen[static_cast<int>(Column::Dlc)] + seen[static_cast<int>(Column::Length)] <= 1
        && (layout.length < 0 || layout.type < layout.length);
}

TextLogReader::Line TrcReader::header(TextCursor &in, const char *&error)
{
    if (in.takeWord("$FILEVERSION=")) {
        qint64 major = 0;
        qint64 minor = 0;
        const bool read = in.decimal(1, major) == 1 && in.take('.') && in.decimal(1, minor) == 1;
        for (const Layout &layout : layouts) {
            if (read && layout.version == major * 10 + minor) {
                version = layout.version;
                if (!columnsGiven) {
                    setColumns(layout.columns, columns);
                    columnsChanged();
                }
                return Line::Blank;
            }
        }
        error = "file version is not one of 1.0 to 1.3, 2.0 or 2.1";
        return Line::Malformed;
    }
    if (in.takeWord("$STARTTIME=")) {
        if (!readStartTime(in, start)) {
            start = 0;
            error = "start time is not days since 1899-12-30";
            return Line::Malformed;
        }
        return Line::Blank;
    }
    if (in.takeWord("$COLUMNS=")) {
        std::vector<Column> given;
        Column column;
        do {
            if (!columnOf(in.peek(), column)) {
                error = "columns are not letters of N, O, T, B, I, d, R, L, l and D between commas";
                return Line::Malformed;
            }
            given.push_back(column);
            in.advance(1);
        } while (in.take(','));
        columns = std::move(given);
        columnsGiven = true;
        columnsChanged();
    }
    return Line::Blank;
}

void TrcReader::startRecord(CanFrame &frame)
{
    clearFrameHead(frame);
    fdType = false;
    errorFrame = false;
    bus = 1;
    length = -1;
}

TextLogReader::Line TrcReader::record(TextCursor &in, CanFrame &frame, const char *&error)
{
    startRecord(frame);
    Line ends = Line::Frame;
    for (const Column kind : columns) {
        // An error frame's line has the bus before the identifier, if at all.
        if (errorFrame && kind >= Column::Id) {
            break;
        }
        if (!column(kind, in, frame, ends, error)) {
            return ends;
        }
    }
    return endRecord(frame);
}

// Each column but the data is one word of a record that record() reads whole,
// so each is read here from where its word begins, to the same value; columns
// that only count or name are not read at all. Any line this declines (false),
// record() reads again from its start, whatever this found. readTo: where the
// data ended, every character before it one of the words or the blanks between.
bool TrcReader::quickRecord(const char *line, const char *end, CanFrame &frame, Line &read, const char *&readTo)
{
    if (!layout.byWords || words.find(line, TextWords::withoutLineEnd(line, end), layout.words) != layout.words
        || *words.start(0) == ';') {
        return false;
    }
    startRecord(frame);
    if (layout.type >= 0 && !quickType(layout.type, end, frame)) {
        return false;
    }
    int busNumber = 1;
    qint64 offset = 0;
    if (layout.bus >= 0) {
        wordNumber(layout.bus, 3, busNumber);
    }
    if ((layout.length >= 0 && !wordNumber(layout.length, 2, length))
        || (layout.offset >= 0
            && !TextWords::fixedPointWord(words.start(layout.offset), words.end(layout.offset), end, 3, offset))
        || (layout.id >= 0 && !quickIdentifier(layout.id, end, frame))) {
        return false;
    }
    bus = static_cast<quint32>(busNumber);
    if (layout.offset >= 0) {
        frame.timeMicroseconds = start + offset;
    }
    if (layout.length >= 0) {
        length = lengthOf(layout.lengthKind, length);
    }
    TextCursor in(words.start(layout.words - 1), end);
    const char *error = nullptr;
    // Eight spaced bytes, nearly every record, are read where the word begins:
    // a word that begins with a hex digit is no RTR.
    if (!frame.remote && length == 8 && in.hexBytesSpaced8(frame.data.data())) {
        frame.length = 8;
    } else if (!data(in, frame, error)) {
        return false;
    }
    readTo = in.position();
    read = endRecord(frame);
    return true;
}

// A type that leaves the rest of the line as a frame's, read as type() reads it.
bool TrcReader::quickType(int word, const char *end, CanFrame &frame)
{
    const char *at = words.start(word);
    if (version >= 20 && words.end(word) - at == 2 && at[0] == 'D' && at[1] == 'T') {
        return true;
    }
    TextCursor in(at, end);
    Line ends = Line::Frame;
    const char *error = nullptr;
    return type(in, frame, ends, error) && !errorFrame;
}

// Reads a word of 1 to maxDigits decimal digits into value; false, value
// untouched, for any other word.
bool TrcReader::wordNumber(int word, int maxDigits, int &value) const
{
    const char *at = words.start(word);
    const std::ptrdiff_t size = words.end(word) - at;
    int number = 0;
    for (std::ptrdiff_t i = 0; i < size; ++i) {
        const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(at[i])) - '0';
        if (digit > 9 || i == maxDigits) {
            return false;
        }
        number = number * 10 + static_cast<int>(digit);
    }
    value = number;
    return true;
}

// An identifier of 1 to 8 hex digits, as identifier() reads it; false to decline.
bool TrcReader::quickIdentifier(int word, const char *end, CanFrame &frame) const
{
    const char *at = words.start(word);
    const std::ptrdiff_t size = words.end(word) - at;
    TextCursor in(at, end);
    if (in.hex(8, frame.id) != size || (version < 20 && frame.id == 0xFFFFFFFF)) {
        return false;
    }
    frame.extended = size > 4;
    return frame.id <= (frame.extended ? 0x1FFFFFFFu : 0x7FFu);
}

Q_ALWAYS_INLINE int TrcReader::lengthOf(Column kind, int value) const
{
    return kind == Column::Length ? value : fdType ? canFdDlcLength(value) : std::min(value, 8);
}

TextLogReader::Line TrcReader::endRecord(CanFrame &frame)
{
    frame.interfaceIndex = channels.index(bus);
    if (errorFrame) {
        return Line::ErrorFrame;
    }
    frame.flexibleDataRate = fdType && !frame.remote;
    return Line::Frame;
}

bool TrcReader::column(Column kind, TextCursor &in, CanFrame &frame, Line &ends, const char *&error)
{
    ends = Line::Malformed;
    in.skipBlanks();
    qint64 value = 0;
    switch (kind) {
    case Column::Number:
    case Column::Direction:
    case Column::Reserved:
        if (in.word() == 0) {
            error = "fewer columns than the header gives";
            return false;
        }
        return true;
    case Column::Offset:
        if (!in.fixedPoint(3, value) || !endsWord(in)) {
            error = "time offset is not milliseconds";
            return false;
        }
        frame.timeMicroseconds = start + value;
        return true;
    case Column::Type:
        return type(in, frame, ends, error);
    case Column::Bus:
        if (in.decimal(3, value) > 0 && endsWord(in)) {
            bus = static_cast<quint32>(value);
        }
        in.word();
        return true;
    case Column::Id:
        return identifier(in, frame, ends, error);
    case Column::Dlc:
    case Column::Length:
        if (in.decimal(2, value) == 0 || !endsWord(in)) {
            error = "data length is not a number";
            return false;
        }
        length = lengthOf(kind, static_cast<int>(value));
        return true;
    case Column::Data:
        return data(in, frame, error);
    }
    return false;
}

bool TrcReader::type(TextCursor &in, CanFrame &frame, Line &ends, const char *&error)
{
    const char *word = in.position();
    const int size = in.word();
    // Every type of 2.x, and Rx and Tx of 1.x, is two letters: one switch on
    // both instead of a comparison with each name.
    const int pair = size == 2 ? static_cast<quint8>(word[0]) << 8 | static_cast<quint8>(word[1]) : 0;
    const auto is = [word, size](const char *name, int nameSize) {
        return size == nameSize && std::memcmp(word, name, static_cast<std::size_t>(nameSize)) == 0;
    };
    if (version < 20) {
        if (pair == ('R' << 8 | 'x') || pair == ('T' << 8 | 'x')) {
            return true;
        }
        if (is("Error", 5)) {
            errorFrame = true;
            return true;
        }
        if (is("Warng", 5)) {
            ends = Line::Skipped;
            return false;
        }
    } else {
        switch (pair) {
        case 'D' << 8 | 'T':
            return true;
        case 'R' << 8 | 'R':
            frame.remote = true;
            return true;
        case 'F' << 8 | 'D':
        case 'F' << 8 | 'B':
        case 'F' << 8 | 'E':
        case 'B' << 8 | 'I':
            fdType = true;
            return true;
        case 'E' << 8 | 'R':
            errorFrame = true;
            return true;
        case 'S' << 8 | 'T':
        case 'E' << 8 | 'C':
        case 'E' << 8 | 'V':
            ends = Line::Skipped;
            return false;
        default:
            break;
        }
    }
    error = "message type is not one of this version's";
    return false;
}

bool TrcReader::identifier(TextCursor &in, CanFrame &frame, Line &ends, const char *&error) const
{
    const int digits = in.hex(8, frame.id);
    if (digits == 0 || !endsWord(in)) {
        error = "identifier is not hex digits";
        return false;
    }
    // Version 1.x marks its status lines with this identifier.
    if (version < 20 && digits == 8 && frame.id == 0xFFFFFFFF) {
        ends = Line::Skipped;
        return false;
    }
    frame.extended = digits > 4;
    if (frame.id > (frame.extended ? 0x1FFFFFFFu : 0x7FFu)) {
        error = frame.extended ? "29-bit identifier above 1FFFFFFF" : "11-bit identifier above 7FF";
        return false;
    }
    return true;
}

bool TrcReader::data(TextCursor &in, CanFrame &frame, const char *&error) const
{
    frame.remote = frame.remote || in.takeWord("RTR");
    if (frame.remote) {
        return true;
    }
    if (length < 0 || length > 64 || !isCanFdLength(length) || (!fdType && length > 8)) {
        error = "data length is not one of a CAN frame of this type";
        return false;
    }
    if (!in.hexBytes(length, frame.data.data())) {
        error = "fewer data bytes than the length gives, or one that is not hex digits";
        return false;
    }
    frame.length = static_cast<quint8>(length);
    return true;
}
