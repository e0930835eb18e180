// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"
#include "LogFormat.h"

#include <QByteArray>
#include <QString>

/**
 * The frames of a recorded log, one at a time, whatever its format: what the
 * monitor and the replay read. A reader of a file descriptor waits for a pipe's
 * data as it comes, and can be woken by a second descriptor.
 *
 * A record is a line of a text log, an object of a BLF. A binary log that is
 * damaged (cut short, or corrupt) gives one Malformed record where the damage
 * begins, then ends.
 */
class LogReader
{
public:
    enum class Next {
        Frame, ///< the frame was filled in
        Malformed, ///< see lineNumber(), error() and line()
        ErrorFrame, ///< a CAN error frame, which carries no signal; the frame has its time and interface
        End, ///< no more input
        ReadError, ///< reading failed; see readError()
        Interrupted, ///< the wake-up descriptor became readable while waiting for input
        TimedOut, ///< no whole line came within the wait limit
    };

    virtual ~LogReader() = default;

    /// The next frame. A frame whose line carries no time gets the time it was
    /// read, in microseconds since the epoch.
    virtual Next next(CanFrame &frame) = 0;
    /// How long next() waits for input before it returns TimedOut; -1, the
    /// default, waits for ever.
    virtual void setWaitLimit(int milliseconds) = 0;
    /// Whether the frame read last carried its own time; false when it was
    /// stamped with the time it was read.
    virtual bool timed() const = 0;
    virtual LogFormat format() const = 0;

    /// 1-based number of the record read last.
    virtual qint64 lineNumber() const = 0;
    /// Why the record read last is malformed.
    virtual const char *error() const = 0;
    /// The line read last, without its line end; for a binary log, where in
    /// the file the damage lies.
    virtual QByteArray line() const = 0;
    virtual qint64 bytesRead() const = 0;
    virtual QString readError() const = 0;
    /// Records passed over that are well formed but carry no frame: events,
    /// statistics and status of a text log, objects of other kinds in a BLF.
    virtual quint64 skipped() const = 0;
};

/// Clears every field of a frame but its data, which a reader fills up to the
/// length it sets: far cheaper than a new frame for every record.
inline void clearFrameHead(CanFrame &frame)
{
    frame.timeMicroseconds = 0;
    frame.id = 0;
    frame.interfaceIndex = 0;
    frame.extended = false;
    frame.remote = false;
    frame.flexibleDataRate = false;
    frame.length = 0;
}
