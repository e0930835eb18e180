// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "LogParser.h"

#include <QByteArray>
#include <QIODevice>

/// Reads a log device line by line and parses each line into a frame.
class LogReader
{
public:
    enum class Next {
        Frame, ///< the frame was filled in
        Malformed, ///< see lineNumber(), error() and line()
        End, ///< no more input
        ReadError, ///< the device failed; see the device's errorString()
    };

    explicit LogReader(QIODevice &device);

    /// Skips blank lines. Lines longer than maxLineLength count as malformed.
    Next next(CanFrame &frame);

    /// 1-based number of the line read last.
    qint64 lineNumber() const;
    /// Why the line read last is malformed.
    const char *error() const;
    /// The line read last, without its line end.
    QByteArray line() const;
    qint64 bytesRead() const;

    static constexpr int maxLineLength = 4096;

private:
    QIODevice &device;
    char buffer[maxLineLength + 1];
    qint64 length = 0;
    qint64 lines = 0;
    qint64 bytes = 0;
    const char *lastError = nullptr;
};
