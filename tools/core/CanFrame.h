// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QtGlobal>

#include <array>

/// One frame of a recorded CAN log, as the log line states it.
struct CanFrame
{
    /// Timestamp of the line in microseconds: since the epoch in an absolute log,
    /// since the first frame (or the previous one) in a relative log.
    qint64 timeMicroseconds = 0;
    /// 11-bit identifier when extended is false, 29-bit identifier otherwise.
    quint32 id = 0;
    bool extended = false;
    /// A remote request carries no data.
    bool remote = false;
    /// Number of valid bytes in data: 0 to 8, up to 64 for a CAN FD frame.
    quint8 length = 0;
    std::array<quint8, 64> data{};
};
