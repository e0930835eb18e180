// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LogReader.h"

#include <algorithm>

LogReader::LogReader(QIODevice &device)
    : device(device)
{
}

LogReader::Next LogReader::next(CanFrame &frame)
{
    for (;;) {
        length = device.readLine(buffer, sizeof(buffer));
        if (length < 0) {
            return device.atEnd() ? Next::End : Next::ReadError;
        }
        if (length == 0) {
            return Next::End;
        }
        ++lines;
        bytes += length;
        if (buffer[length - 1] != '\n' && length == maxLineLength && !device.atEnd()) {
            // Drop the rest of an overlong line so the next call starts afresh.
            char rest[256];
            qint64 more = 0;
            while ((more = device.readLine(rest, sizeof(rest))) > 0) {
                bytes += more;
                if (rest[more - 1] == '\n') {
                    break;
                }
            }
            lastError = "line longer than 4096 characters";
            return Next::Malformed;
        }
        const LineParse parsed = parseLogLine(buffer, static_cast<std::size_t>(length), frame);
        if (parsed.status == LineParse::Frame) {
            return Next::Frame;
        }
        if (parsed.status == LineParse::Malformed) {
            lastError = parsed.error;
            return Next::Malformed;
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
    qint64 end = length;
    while (end > 0 && (buffer[end - 1] == '\n' || buffer[end - 1] == '\r')) {
        --end;
    }
    return QByteArray(buffer, static_cast<int>(std::max<qint64>(end, 0)));
}

qint64 LogReader::bytesRead() const
{
    return bytes;
}
