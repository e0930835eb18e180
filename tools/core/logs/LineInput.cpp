// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LineInput.h"

#include <cstring>
#include <utility>

LineInput::LineInput(ByteInput input)
    : input(std::move(input))
{
}

LineInput::LineInput(int fd, int wakeFd)
    : input(fd, wakeFd)
{
}

LineInput::LineInput(const QByteArray &text)
    : input(text)
{
}

void LineInput::setWaitLimit(int milliseconds)
{
    waitLimit = milliseconds;
}

// What a fill that brought no line means for next(); Line to go on looking.
LineInput::Next LineInput::filled(ByteInput::Fill fill)
{
    switch (fill) {
    case ByteInput::Fill::More:
    case ByteInput::Fill::End:
        return Next::Line;
    case ByteInput::Fill::Failed:
        return Next::ReadError;
    case ByteInput::Fill::Interrupted:
        return Next::Interrupted;
    case ByteInput::Fill::TimedOut:
        return Next::TimedOut;
    }
    return Next::ReadError;
}

// Drops the rest of a line that does not fit in maxLineLength, up to its end;
// its start is kept for line().
LineInput::Next LineInput::skipOverlongLine()
{
    ++lines;
    overlong = QByteArray(input.data(), maxLineLength);
    start = overlong.constData();
    length = static_cast<std::size_t>(overlong.size());
    for (;;) {
        const char *newline = static_cast<const char *>(std::memchr(input.data(), '\n', input.available()));
        if (newline) {
            input.consume(static_cast<std::size_t>(newline - input.data()) + 1);
            return Next::Overlong;
        }
        input.consume(input.available());
        // The rest of the line is waited for without limit: a line cut in two
        // would read as two.
        const ByteInput::Fill fill = input.fill(-1);
        if (fill == ByteInput::Fill::End) {
            return Next::Overlong;
        }
        const Next next = filled(fill);
        if (next != Next::Line && next != Next::TimedOut) {
            return next;
        }
    }
}

// next() when the bytes held end before the line does, or the line is too long.
LineInput::Next LineInput::nextAfterFill()
{
    for (;;) {
        const std::size_t held = input.available();
        // Empty bytes leave the buffer without storage, and memchr may not take a null pointer.
        const char *newline = held == 0 ? nullptr : findNewline(input.data(), held);
        std::size_t taken = 0;
        if (newline) {
            taken = static_cast<std::size_t>(newline - input.data()) + 1;
        } else if (held > static_cast<std::size_t>(maxLineLength)) {
            return skipOverlongLine();
        } else if (!input.atEnd()) {
            const Next next = filled(input.fill(waitLimit));
            if (next != Next::Line) {
                return next;
            }
            continue;
        } else if (held == 0) {
            return Next::End;
        } else {
            taken = held; // the last line, without a line end
        }
        if (taken > static_cast<std::size_t>(maxLineLength) + 1) {
            return skipOverlongLine();
        }
        takeLine(taken);
        return Next::Line;
    }
}

const char *LineInput::lineStart() const
{
    return start;
}

std::size_t LineInput::lineLength() const
{
    return length;
}

QByteArray LineInput::line() const
{
    std::size_t shown = length;
    while (shown > 0 && (start[shown - 1] == '\n' || start[shown - 1] == '\r')) {
        --shown;
    }
    return QByteArray(start, static_cast<int>(shown));
}

qint64 LineInput::lineNumber() const
{
    return lines;
}

qint64 LineInput::bytesRead() const
{
    return input.consumed();
}

QString LineInput::readError() const
{
    return input.readError();
}
