// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "ByteInput.h"

#include <QByteArray>
#include <QString>

/**
 * Text read line by line from a ByteInput: what the readers of text log formats
 * stand on.
 *
 * Each line costs a scan for its end and no copy. A pipe is read as its data
 * comes: every whole line that has arrived is handed out before the input waits
 * for more.
 */
class LineInput
{
public:
    enum class Next {
        Line, ///< see lineStart() and lineLength()
        Overlong, ///< a line longer than maxLineLength, skipped; line() has its start
        End, ///< no more input
        ReadError, ///< reading failed; see readError()
        Interrupted, ///< the wake-up descriptor became readable while waiting for input
        TimedOut, ///< no whole line came within the wait limit
    };

    explicit LineInput(ByteInput input);
    /// Reads fd, which stays open and owned by the caller. While waiting for
    /// input, also watches wakeFd (if not -1) and returns Interrupted when it
    /// becomes readable.
    explicit LineInput(int fd, int wakeFd = -1);
    /// Reads the given bytes.
    explicit LineInput(const QByteArray &text);

    Next next();
    /// How long next() waits for input before it returns TimedOut; -1, the
    /// default, waits for ever.
    void setWaitLimit(int milliseconds);

    /// The line read last, with its line end if it has one.
    const char *lineStart() const;
    std::size_t lineLength() const;
    /// The line read last, without its line end.
    QByteArray line() const;
    /// 1-based number of the line read last.
    qint64 lineNumber() const;
    qint64 bytesRead() const;
    QString readError() const;

    static constexpr int maxLineLength = 4096;

private:
    Next skipOverlongLine();
    Next filled(ByteInput::Fill fill);

    ByteInput input;
    int waitLimit = -1;
    QByteArray overlong;
    const char *start = nullptr;
    std::size_t length = 0;
    qint64 lines = 0;
};
