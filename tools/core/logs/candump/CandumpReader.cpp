// SPDX-License-Identifier: LGPL-2.1-or-later
#include "CandumpReader.h"
#include "CandumpLine.h"

CandumpReader::CandumpReader(int fd, InterfaceNames &interfaces, int wakeFd)
    : interfaces(interfaces)
    , input(fd, wakeFd)
{
}

CandumpReader::CandumpReader(const QByteArray &text, InterfaceNames &interfaces)
    : interfaces(interfaces)
    , input(text)
{
}

LogReader::Next CandumpReader::next(CanFrame &frame)
{
    for (;;) {
        switch (input.next()) {
        case LineInput::Next::Line:
            break;
        case LineInput::Next::Overlong:
            lastError = "line longer than 4096 characters";
            return Next::Malformed;
        case LineInput::Next::End:
            return Next::End;
        case LineInput::Next::ReadError:
            return Next::ReadError;
        case LineInput::Next::Interrupted:
            return Next::Interrupted;
        case LineInput::Next::TimedOut:
            return Next::TimedOut;
        }
        const char *const line = input.lineStart();
        const LineParse parsed = parseCandumpLine(line, input.lineLength(), frame);
        // candump -e writes what an error frame meant on the lines below it, each
        // led by a tab.
        if (afterErrorFrame && parsed.status == LineParse::Malformed && *line == '\t') {
            continue;
        }
        afterErrorFrame = parsed.status == LineParse::ErrorFrame;
        switch (parsed.status) {
        case LineParse::Frame:
            frame.interfaceIndex = interfaces.index(line + parsed.interfaceOffset, parsed.interfaceLength);
            lastTimed = parsed.timed;
            if (!parsed.timed) {
                frame.timeMicroseconds = nowMicroseconds();
            }
            return Next::Frame;
        case LineParse::ErrorFrame:
            return Next::ErrorFrame;
        case LineParse::Malformed:
            lastError = parsed.error;
            return Next::Malformed;
        case LineParse::Blank:
            break;
        }
    }
}

void CandumpReader::setWaitLimit(int milliseconds)
{
    input.setWaitLimit(milliseconds);
}

bool CandumpReader::timed() const
{
    return lastTimed;
}

qint64 CandumpReader::lineNumber() const
{
    return input.lineNumber();
}

const char *CandumpReader::error() const
{
    return lastError;
}

QByteArray CandumpReader::line() const
{
    return input.line();
}

qint64 CandumpReader::bytesRead() const
{
    return input.bytesRead();
}

QString CandumpReader::readError() const
{
    return input.readError();
}
