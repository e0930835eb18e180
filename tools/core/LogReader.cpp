// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LogReader.h"

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <unistd.h>

namespace
{
constexpr std::size_t blockSize = 1 << 20;
}

LogReader::LogReader(int fd, InterfaceNames &interfaces, int wakeFd)
    : interfaces(interfaces)
    , fd(fd)
    , wakeFd(wakeFd)
    , buffer(blockSize + maxLineLength)
{
}

LogReader::LogReader(const QByteArray &text, InterfaceNames &interfaces)
    : interfaces(interfaces)
    , buffer(text.cbegin(), text.cend())
    , end(buffer.size())
    , atEnd(true)
{
}

// Waits until fd has data, wakeFd is readable, or the time is up. Only a pipe or
// a terminal can keep the reader waiting, but poll answers at once for a file, so
// it serves every kind. A signal that interrupts the wait restarts it whole: the
// stop it asks for makes wakeFd readable.
LogReader::Fill LogReader::waitForInput(int waitMilliseconds)
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

void LogReader::setWaitLimit(int milliseconds)
{
    waitLimit = milliseconds;
}

bool LogReader::timed() const
{
    return lastTimed;
}

LogReader::Fill LogReader::fill(int waitMilliseconds)
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
LogReader::Next LogReader::skipOverlongLine()
{
    ++lines;
    lastError = "line longer than 4096 characters";
    overlong = QByteArray(buffer.data() + begin, maxLineLength);
    lineStart = overlong.constData();
    lineLength = static_cast<std::size_t>(overlong.size());
    for (;;) {
        const char *newline = static_cast<const char *>(std::memchr(buffer.data() + begin, '\n', end - begin));
        if (newline) {
            const std::size_t taken = static_cast<std::size_t>(newline - buffer.data()) + 1;
            bytes += static_cast<qint64>(taken - begin);
            begin = taken;
            return Next::Malformed;
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
            return Next::Malformed;
        case Fill::Failed:
            return Next::ReadError;
        case Fill::Interrupted:
            return Next::Interrupted;
        }
    }
}

LogReader::Next LogReader::next(CanFrame &frame)
{
    for (;;) {
        // Empty bytes leave the buffer without storage, and memchr may not take a null pointer.
        const char *newline =
            begin == end ? nullptr : static_cast<const char *>(std::memchr(buffer.data() + begin, '\n', end - begin));
        std::size_t length = 0;
        if (newline) {
            length = static_cast<std::size_t>(newline - (buffer.data() + begin)) + 1;
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
            length = end - begin; // the last line, without a line end
        }
        if (length > static_cast<std::size_t>(maxLineLength) + 1) {
            return skipOverlongLine();
        }
        lineStart = buffer.data() + begin;
        lineLength = length;
        begin += length;
        bytes += static_cast<qint64>(length);
        ++lines;
        const LineParse parsed = parseLogLine(lineStart, length, frame);
        // candump -e writes what an error frame meant on the lines below it, each
        // led by a tab.
        if (afterErrorFrame && parsed.status == LineParse::Malformed && *lineStart == '\t') {
            continue;
        }
        afterErrorFrame = parsed.status == LineParse::ErrorFrame;
        switch (parsed.status) {
        case LineParse::Frame:
            frame.interfaceIndex = interfaces.index(lineStart + parsed.interfaceOffset, parsed.interfaceLength);
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

qint64 LogReader::lineNumber() const
{
    return lines;
}

const char *LogReader::error() const
{
    return lastError;
}

QByteArray LogReader::line() const
{
    std::size_t length = lineLength;
    while (length > 0 && (lineStart[length - 1] == '\n' || lineStart[length - 1] == '\r')) {
        --length;
    }
    return QByteArray(lineStart, static_cast<int>(length));
}

qint64 LogReader::bytesRead() const
{
    return bytes;
}

QString LogReader::readError() const
{
    return lastReadError;
}
