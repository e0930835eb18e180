// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "J1939Diagnostics.h"

#include <map>
#include <tuple>

/**
 * The diagnostics of several reports of one vehicle, combined: transport counts
 * and requests add up; a sender's lamps are those of the latest report that saw
 * it (by its last frame); a code is active as the latest report that saw its
 * sender says, its occurrences the largest seen, first seen the earliest and
 * last seen the latest.
 */
class DiagnosticsMerge
{
public:
    /// A report's diagnostics, its times in seconds since originMicroseconds (its
    /// first frame), its last frame at lastFrameMicroseconds.
    void add(const J1939Diagnostics &diagnostics, qint64 originMicroseconds, qint64 lastFrameMicroseconds);
    /// The merged diagnostics, their times in seconds since the earliest origin.
    J1939Diagnostics result() const;

private:
    using SenderKey = std::tuple<QString, int>;

    TransportCounts transport;
    std::map<SenderKey, FaultSender> senders;
    std::map<std::tuple<QString, int, quint32, int>, FaultCode> codes;
    std::map<std::tuple<QString, int, quint32>, RequestCount> requests;
    /// Times are kept in seconds on the frames' clock until the result.
    bool anyOrigin = false;
    qint64 origin = 0;
};
