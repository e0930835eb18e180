// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "InterfaceNames.h"
#include "LogParser.h"

#include <QByteArray>
#include <QString>

#include <vector>

/**
 * Reads a log line by line from a file descriptor (a file, a pipe, standard
 * input) or from bytes in memory, and parses each line into a frame.
 *
 * Reads in large blocks straight into its own buffer, so that each line costs a
 * scan for its end and no copy. A pipe is read as its data comes: every whole
 * line that has arrived is handed out before the reader waits for more.
 */
class LogReader
{
public:
    enum class Next {
        Frame, ///< the frame was filled in
        Malformed, ///< see lineNumber(), error() and line()
        ErrorFrame, ///< a CAN error frame, which carries no signal
        End, ///< no more input
        ReadError, ///< reading failed; see readError()
        Interrupted, ///< the wake-up descriptor became readable while waiting for input
        TimedOut, ///< no whole line came within the wait limit
    };

    /// Reads fd, which stays open and owned by the caller. While waiting for
    /// input, also watches wakeFd (if not -1) and returns Interrupted when it
    /// becomes readable.
    LogReader(int fd, InterfaceNames &interfaces, int wakeFd = -1);
    /// Reads the given bytes.
    LogReader(const QByteArray &text, InterfaceNames &interfaces);

    /// Skips blank lines, and the tab-led lines with which candump -e explains an
    /// error frame. Lines longer than maxLineLength count as malformed. A frame
    /// from a line without a timestamp gets the time it was read, in microseconds
    /// since the epoch.
    Next next(CanFrame &frame);
    /// How long next() waits for input before it returns TimedOut; -1, the
    /// default, waits for ever.
    void setWaitLimit(int milliseconds);
    /// Whether the frame read last carried its own time; false when it was
    /// stamped with the time it was read.
    bool timed() const;

    /// 1-based number of the line read last.
    qint64 lineNumber() const;
    /// Why the line read last is malformed.
    const char *error() const;
    /// The line read last, without its line end.
    QByteArray line() const;
    qint64 bytesRead() const;
    QString readError() const;

    static constexpr int maxLineLength = 4096;

private:
    enum class Fill { More, End, Failed, Interrupted, TimedOut };
    Fill fill(int waitMilliseconds);
    Fill waitForInput(int waitMilliseconds);
    Next skipOverlongLine();

    InterfaceNames &interfaces;
    int fd = -1;
    int wakeFd = -1;
    int waitLimit = -1;
    bool lastTimed = true;
    std::vector<char> buffer;
    std::size_t begin = 0;
    std::size_t end = 0;
    bool atEnd = false;
    bool afterErrorFrame = false;
    QByteArray overlong;
    const char *lineStart = nullptr;
    std::size_t lineLength = 0;
    qint64 lines = 0;
    qint64 bytes = 0;
    const char *lastError = nullptr;
    QString lastReadError;
};
