// SPDX-License-Identifier: LGPL-2.1-or-later
#include "TextLogReader.h"

#include <utility>

TextLogReader::TextLogReader(LineInput input)
    : input(std::move(input))
{
}

LogReader::Next TextLogReader::next(CanFrame &frame)
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
        switch (parse(input.lineStart(), input.lineLength(), frame, lastError)) {
        case Line::Frame:
            return Next::Frame;
        case Line::ErrorFrame:
            return Next::ErrorFrame;
        case Line::Malformed:
            return Next::Malformed;
        case Line::Skipped:
            ++skippedLines;
            break;
        case Line::Blank:
            break;
        }
    }
}

void TextLogReader::setWaitLimit(int milliseconds)
{
    input.setWaitLimit(milliseconds);
}

bool TextLogReader::timed() const
{
    return true;
}

qint64 TextLogReader::lineNumber() const
{
    return input.lineNumber();
}

const char *TextLogReader::error() const
{
    return lastError;
}

QByteArray TextLogReader::line() const
{
    return input.line();
}

qint64 TextLogReader::bytesRead() const
{
    return input.bytesRead();
}

QString TextLogReader::readError() const
{
    return input.readError();
}

quint64 TextLogReader::skipped() const
{
    return skippedLines;
}
