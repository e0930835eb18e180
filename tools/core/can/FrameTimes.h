// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QtGlobal>

/// The stamps of a run's first and last frame, in microseconds on the frames'
/// clock: the first one starts the run's time, the last one is its present.
class FrameTimes
{
public:
    /// A frame's stamp: the first since the start becomes the first, each the last.
    void take(qint64 microseconds)
    {
        if (!any) {
            any = true;
            firstStamp = microseconds;
        }
        lastStamp = microseconds;
    }
    /// Moves the present on to the given stamp without a frame; never back, and
    /// not before any frame.
    void advanceTo(qint64 microseconds)
    {
        if (any && microseconds > lastStamp) {
            lastStamp = microseconds;
        }
    }
    /// Forgets the frames taken: the next one starts the time again.
    void restart()
    {
        *this = FrameTimes();
    }

    bool started() const
    {
        return any;
    }
    /// The stamps of the first and the last frame; 0 before any.
    qint64 first() const
    {
        return firstStamp;
    }
    qint64 last() const
    {
        return lastStamp;
    }
    /// Seconds from the first frame to the stamp; 0 before any frame.
    double secondsAt(qint64 microseconds) const
    {
        return any ? static_cast<double>(microseconds - firstStamp) / 1e6 : 0.0;
    }

private:
    bool any = false;
    qint64 firstStamp = 0;
    qint64 lastStamp = 0;
};
