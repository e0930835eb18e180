// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QtGlobal>

#include <vector>

/// A parameter group that came in several packets of the transport protocol,
/// put back together: too long for a frame, so a type of its own.
struct J1939Group
{
    /// Which interface carried it: an index into the run's InterfaceNames.
    quint16 interfaceIndex = 0;
    quint32 pgn = 0;
    quint8 sourceAddress = 0;
    /// 255 for a broadcast.
    quint8 destinationAddress = 255;
    /// The stamp of its last packet, in microseconds on the frames' clock.
    qint64 timeMicroseconds = 0;
    /// As many bytes as announced, up to 1,785.
    std::vector<quint8> payload;
};
