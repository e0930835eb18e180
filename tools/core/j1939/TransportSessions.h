// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"
#include "J1939Diagnostics.h"
#include "J1939Group.h"
#include "SignalDefinition.h"

#include <QHash>

#include <bitset>

/**
 * Puts the parameter groups of the transport protocol back together from the
 * connection-management (TP.CM) and data (TP.DT) frames a listener sees: the
 * broadcasts (BAM) and the connections (RTS/CTS) alike, never sending anything.
 *
 * A session is keyed by interface, originator and responder (the global address
 * for a broadcast); a CTS, an end-of-message acknowledgement or an abort from
 * the responder belongs to the originator's session. A broadcast takes its
 * packets in sequence only. A connection follows the CTS: each names the next
 * packet and how many may come, and may ask for packets again; a CTS for none
 * holds the session. A session completes with its last missing packet, with or
 * without the acknowledgement. A missing or repeated packet, a timeout, an abort
 * or a new announcement over it drops a session.
 *
 * Times are the frames' stamps: a session that waited longer than the protocol
 * allows is dropped as timed out when its next frame comes, or by expire().
 * Memory holds the open sessions only, at most one per interface, originator and
 * responder, each at most 1,785 bytes.
 */
class TransportSessions
{
public:
    /// Microseconds the protocol allows between data packets (T1), for data after
    /// a CTS and for a CTS after a window (T2, T3), and after a hold (T4).
    static constexpr qint64 packetGap = 750000;
    static constexpr qint64 responseGap = 1250000;
    static constexpr qint64 holdGap = 1050000;

    /// Takes a frame of the protocol. Returns the group its last packet
    /// completes, valid until the next call; null otherwise.
    const J1939Group *take(const CanFrame &frame);
    /// Drops as timed out the sessions that have waited too long by the given stamp.
    void expire(qint64 microseconds);

    const TransportCounts &counts() const;
    /// Sessions running now.
    int openSessions() const;

private:
    enum class Waiting { Data, Cts, Hold };
    struct Session
    {
        bool broadcast = false;
        Waiting waiting = Waiting::Data;
        quint32 pgn = 0;
        int bytes = 0;
        int packets = 0;
        /// The next packet expected and, in a connection, the last of the window.
        int nextPacket = 1;
        int windowEnd = 0;
        int received = 0;
        qint64 deadline = 0;
        std::bitset<256> have;
        std::vector<quint8> payload;
    };

    void control(const CanFrame &frame);
    void announce(const CanFrame &frame, quint64 key, bool broadcast);
    void clearToSend(const CanFrame &frame, Session &session);
    const J1939Group *data(const CanFrame &frame);
    const J1939Group *complete(quint64 key, Session &session, const CanFrame &frame);
    /// The session of key, or null; drops it first when it has timed out by now.
    Session *running(quint64 key, qint64 now);
    void drop(quint64 key, quint64 TransportCounts::*cause);

    QHash<quint64, Session> sessions;
    TransportCounts tally;
    J1939Group group;
};
