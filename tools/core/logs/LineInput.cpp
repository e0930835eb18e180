// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LineInput.h"

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <unistd.h>

namespace
{
constexpr std::size_t blockSize = 1 << 20;
}

LineInput::LineInput(int fd, int wakeFd)
    : fd(fd)
    , wakeFd(wakeFd)
    , buffer(blockSize + maxLineLength)
{
}

LineInput::LineInput(const QByteArray &text)
    : buffer(text.cbegin(), text.cend())
    , end(buffer.size())
    , atEnd(true)
{
}

// Waits until fd has data, wakeFd is readable, or the time is up. Only a pipe or
// a terminal can keep the input waiting, but poll answers at once for a file, so
// it serves every kind. A signal that interrupts the wait restarts it whole: the
// stop it asks for makes wakeFd readable.
LineInput::Fill LineInput::waitForInput(int waitMilliseconds)
{
    if (wakeFd < 0 && waitMilliseconds < 0) {
        return Fill::More;
    }
    pollfd watched[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(watched, 2, waitMilliseconds);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready > 0 && (watched[1].revents & POLLIN)) {
            return Fill::Interrupted;
        }
        return ready == 0 ? Fill::TimedOut : Fill::More;
    }
}

void LineInput::setWaitLimit(int milliseconds)
{
    waitLimit = milliseconds;
}

LineInput::Fill LineInput::fill(int waitMilliseconds)
{
    if (atEnd) {
        return Fill::End;
    }
    // Keep the unfinished line: move it to the front, then read behind it.
    if (begin > 0) {
        std::memmove(buffer.data(), buffer.data() + begin, end - begin);
        end -= begin;
        begin = 0;
    }
    for (;;) {
        const Fill waited = waitForInput(waitMilliseconds);
        if (waited != Fill::More) {
            return waited;
        }
        const ssize_t got = ::read(fd, buffer.data() + end, buffer.size() - end);
        if (got > 0) {
            end += static_cast<std::size_t>(got);
            return Fill::More;
        }
        if (got == 0) {
            atEnd = true;
            return Fill::End;
        }
        if (errno != EINTR) {
            lastReadError = QString::fromLocal8Bit(std::strerror(errno));
            return Fill::Failed;
        }
    }
}

// Drops the rest of a line that does not fit in maxLineLength, up to its end;
// its start is kept for line().
LineInput::Next LineInput::skipOverlongLine()
{
    ++lines;
    overlong = QByteArray(buffer.data() + begin, maxLineLength);
    start = overlong.constData();
    length = static_cast<std::size_t>(overlong.size());
    for (;;) {
        const char *newline = static_cast<const char *>(std::memchr(buffer.data() + begin, '\n', end - begin));
        if (newline) {
            const std::size_t taken = static_cast<std::size_t>(newline - buffer.data()) + 1;
            bytes += static_cast<qint64>(taken - begin);
            begin = taken;
            return Next::Overlong;
        }
        bytes += static_cast<qint64>(end - begin);
        begin = end;
        // The rest of the line is waited for without limit: a line cut in two
        // would read as two.
        switch (fill(-1)) {
        case Fill::More:
        case Fill::TimedOut:
            continue;
        case Fill::End:
            return Next::Overlong;
        case Fill::Failed:
            return Next::ReadError;
        case Fill::Interrupted:
            return Next::Interrupted;
        }
    }
}

LineInput::Next LineInput::next()
{
    for (;;) {
        // Empty bytes leave the buffer without storage, and memchr may not take a null pointer.
        const char *newline =
            begin == end ? nullptr : static_cast<const char *>(std::memchr(buffer.data() + begin, '\n', end - begin));
        std::size_t taken = 0;
        if (newline) {
            taken = static_cast<std::size_t>(newline - (buffer.data() + begin)) + 1;
        } else if (end - begin > static_cast<std::size_t>(maxLineLength)) {
            return skipOverlongLine();
        } else if (!atEnd) {
            switch (fill(waitLimit)) {
            case Fill::More:
            case Fill::End:
                continue;
            case Fill::Failed:
                return Next::ReadError;
            case Fill::Interrupted:
                return Next::Interrupted;
            case Fill::TimedOut:
                return Next::TimedOut;
            }
        } else if (begin == end) {
            return Next::End;
        } else {
            taken = end - begin; // the last line, without a line end
        }
        if (taken > static_cast<std::size_t>(maxLineLength) + 1) {
            return skipOverlongLine();
        }
        start = buffer.data() + begin;
        length = taken;
        begin += taken;
        bytes += static_cast<qint64>(taken);
        ++lines;
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
    return bytes;
}

QString LineInput::readError() const
{
    return lastReadError;
}
