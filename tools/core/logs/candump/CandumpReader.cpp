// SPDX-License-Identifier: LGPL-2.1-or-later
#include "CandumpReader.h"

#include <utility>

CandumpReader::CandumpReader(LineInput input, InterfaceNames &interfaces)
    : TextLogReader(std::move(input))
    , interfaces(interfaces)
{
}

CandumpReader::CandumpReader(int fd, InterfaceNames &interfaces, int wakeFd)
    : CandumpReader(LineInput(fd, wakeFd), interfaces)
{
}

CandumpReader::CandumpReader(const QByteArray &text, InterfaceNames &interfaces)
    : CandumpReader(LineInput(text), interfaces)
{
}

LogReader::Next CandumpReader::next(CanFrame &frame)
{
    // Nearly every line is as long as the one before; where the shortcut reads
    // one whole at that length, the line ends there, found without a search.
    LineInput &input = lines();
    LineParse parsed;
    if (input.holdsLineEndAt(expectedLength) && parseCommonCandumpLine(input.ahead(), expectedLength, frame, parsed)) {
        frame.interfaceIndex = interfaces.index(input.ahead() + parsed.interfaceOffset, parsed.interfaceLength);
        input.takeLine(expectedLength);
        lastTimed = true;
        afterErrorFrame = false;
        return Next::Frame;
    }
    return TextLogReader::next(frame);
}

void CandumpReader::fillIn(const char *line, const LineParse &parsed, CanFrame &frame)
{
    frame.interfaceIndex = interfaces.index(line + parsed.interfaceOffset, parsed.interfaceLength);
    lastTimed = parsed.timed;
    if (!parsed.timed) {
        frame.timeMicroseconds = nowMicroseconds();
    }
}

TextLogReader::Line CandumpReader::parse(const char *line, std::size_t length, CanFrame &frame, const char *&error)
{
    const LineParse parsed = parseCandumpLine(line, length, frame);
    // candump -e writes what an error frame meant on the lines below it, each
    // led by a tab.
    if (afterErrorFrame && parsed.status == LineParse::Malformed && *line == '\t') {
        return Line::Blank;
    }
    afterErrorFrame = parsed.status == LineParse::ErrorFrame;
    switch (parsed.status) {
    case LineParse::Frame:
        expectedLength = length;
        fillIn(line, parsed, frame);
        return Line::Frame;
    case LineParse::ErrorFrame:
        fillIn(line, parsed, frame);
        return Line::ErrorFrame;
    case LineParse::Malformed:
        error = parsed.error;
        return Line::Malformed;
    case LineParse::Blank:
        break;
    }
    return Line::Blank;
}

bool CandumpReader::timed() const
{
    return lastTimed;
}

LogFormat CandumpReader::format() const
{
    return LogFormat::Candump;
}
