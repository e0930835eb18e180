// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QtGlobal>

#include <array>
#include <chrono>

/// One CAN frame, from a log line or from a bus.
struct CanFrame
{
    /// Timestamp in microseconds: since the epoch in an absolute log and on a bus,
    /// since the first frame (or the previous one) in a relative log.
    qint64 timeMicroseconds = 0;
    /// 11-bit identifier when extended is false, 29-bit identifier otherwise.
    quint32 id = 0;
    /// Which interface carried the frame: an index into the run's InterfaceNames.
    quint16 interfaceIndex = 0;
    bool extended = false;
    /// A remote request carries no data.
    bool remote = false;
    /// A CAN FD frame: "##" in a compact log line, more than 8 bytes in the
    /// screen layout, or so marked by the bus.
    bool flexibleDataRate = false;
    /// Number of valid bytes in data: 0 to 8, up to 64 for a CAN FD frame.
    quint8 length = 0;
    std::array<quint8, 64> data{};
};

/// Whether a frame may carry length data bytes: up to 8 in a classic frame, and
/// the few longer lengths of CAN FD.
inline bool isCanFdLength(int length)
{
    return length <= 8 || length == 12 || length == 16 || length == 20 || length == 24 || length == 32 || length == 48
        || length == 64;
}

/// The data bytes of a data length code: 0 to 8 as they are, then 12, 16, 20,
/// 24, 32, 48 and 64 for 9 to 15 (CAN FD; a classic frame carries 8 there).
inline int canFdDlcLength(int dlc)
{
    constexpr int lengths[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
    return dlc >= 0 && dlc <= 15 ? lengths[dlc] : 64;
}

/// The data length code of a CAN FD length (see isCanFdLength()).
inline int canFdDlc(int length)
{
    int dlc = 0;
    while (dlc < 15 && canFdDlcLength(dlc) < length) {
        ++dlc;
    }
    return dlc;
}

/// Microseconds since the epoch: the time of a frame whose source stamped none.
inline qint64 nowMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}
