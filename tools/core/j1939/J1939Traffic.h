// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "ActiveFaults.h"
#include "CanFrame.h"
#include "FrameTimes.h"
#include "InterfaceNames.h"
#include "J1939Diagnostics.h"
#include "J1939Group.h"
#include "J1939Ids.h"
#include "TransportSessions.h"

#include <QHash>
#include <QMutex>

/**
 * What a listener makes of a J1939 network's own traffic beside its parameters:
 * the transport protocol's groups put back together, the active faults of each
 * sender, from single frames and from groups, and the requests each sender sent
 * for each group.
 *
 * Frames are taken on one thread; diagnostics() may be called from any, also
 * while frames come in. The tables are locked by the frames of this traffic
 * only, and by diagnostics() while it reads them.
 */
class J1939Traffic
{
public:
    /// Whether the frame is any of that traffic; cheap, for every frame.
    static bool concerns(const CanFrame &frame)
    {
        // Requests, transport data and connections are three formats in a row.
        const quint32 format = J1939Ids::pduFormat(frame.id);
        return frame.extended
            && ((format >= J1939Ids::requestFormat && format <= J1939Ids::connectionFormat)
                || J1939Ids::broadcastPgn(frame.id) == J1939Ids::activeFaultsPgn);
    }

    /// The diagnostics name interfaces by interfaces and give times in seconds on
    /// the run's clock, times; spnNames names the codes whose SPN a signal
    /// definition gives. interfaces and times must outlive the listener.
    J1939Traffic(const InterfaceNames &interfaces, const FrameTimes &times, const QHash<quint32, QString> &spnNames);

    /// Takes a frame that concerns(). Returns the group that it completes, valid
    /// until the next call; null otherwise.
    const J1939Group *take(const CanFrame &frame);
    /// Drops as timed out the sessions that waited too long by the run's present.
    void expire();

    /// The run so far; from any thread.
    J1939Diagnostics diagnostics() const;

private:
    /// Called with tablesMutex held.
    void countRequest(const CanFrame &frame);

    const InterfaceNames &interfaces;
    const FrameTimes &times;
    const QHash<quint32, QString> spnNames;

    TransportSessions transport;
    ActiveFaults faults;
    /// By sender key, as ActiveFaults keys senders, above the requested group.
    QHash<quint64, quint64> requests;
    mutable QMutex tablesMutex;
};
