// SPDX-License-Identifier: LGPL-2.1-or-later
#include "TransportSessions.h"
#include "J1939Ids.h"

#include <algorithm>

namespace
{
enum Control : quint8 {
    requestToSend = 16,
    clearToSendControl = 17,
    endOfMessageAcknowledge = 19,
    broadcastAnnounce = 32,
    abortControl = 255,
};

constexpr int bytesPerPacket = 7;

quint64 sessionKey(quint16 interfaceIndex, quint8 originator, quint8 responder)
{
    return (quint64(interfaceIndex) << 16) | (quint64(originator) << 8) | responder;
}
}

const TransportCounts &TransportSessions::counts() const
{
    return tally;
}

int TransportSessions::openSessions() const
{
    return sessions.size();
}

const J1939Group *TransportSessions::take(const CanFrame &frame)
{
    if (J1939Ids::pduFormat(frame.id) == J1939Ids::dataTransferFormat) {
        return data(frame);
    }
    control(frame);
    return nullptr;
}

void TransportSessions::expire(qint64 microseconds)
{
    for (auto session = sessions.begin(); session != sessions.end();) {
        if (microseconds > session->deadline) {
            ++tally.timeout;
            session = sessions.erase(session);
        } else {
            ++session;
        }
    }
}

TransportSessions::Session *TransportSessions::running(quint64 key, qint64 now)
{
    const auto found = sessions.find(key);
    if (found == sessions.end()) {
        return nullptr;
    }
    if (now > found->deadline) {
        ++tally.timeout;
        sessions.erase(found);
        return nullptr;
    }
    return &found.value();
}

void TransportSessions::drop(quint64 key, quint64 TransportCounts::*cause)
{
    ++(tally.*cause);
    sessions.remove(key);
}

void TransportSessions::control(const CanFrame &frame)
{
    if (frame.length < 8) {
        return;
    }
    const quint8 sender = J1939Ids::sourceAddress(frame.id);
    const quint8 receiver = J1939Ids::pduSpecific(frame.id);
    const quint64 own = sessionKey(frame.interfaceIndex, sender, receiver);
    // What the responder sends belongs to the session it answers.
    const quint64 answered = sessionKey(frame.interfaceIndex, receiver, sender);
    const qint64 now = frame.timeMicroseconds;
    switch (frame.data[0]) {
    case requestToSend:
        announce(frame, own, false);
        break;
    case broadcastAnnounce:
        announce(frame, own, true);
        break;
    case clearToSendControl:
        if (Session *session = running(answered, now); session && !session->broadcast) {
            clearToSend(frame, *session);
        }
        break;
    case endOfMessageAcknowledge:
        // Acknowledged while packets are still missing here: they went past unseen.
        if (running(answered, now)) {
            drop(answered, &TransportCounts::missingPacket);
        }
        break;
    case abortControl:
        if (running(own, now)) {
            drop(own, &TransportCounts::aborted);
        } else if (running(answered, now)) {
            drop(answered, &TransportCounts::aborted);
        }
        break;
    default:
        break;
    }
}

void TransportSessions::announce(const CanFrame &frame, quint64 key, bool broadcast)
{
    const int bytes = frame.data[1] | (frame.data[2] << 8);
    const int packets = frame.data[3];
    if (bytes < 1 || bytes > maxJ1939GroupBytes || packets != (bytes + bytesPerPacket - 1) / bytesPerPacket) {
        return;
    }
    if (running(key, frame.timeMicroseconds)) {
        drop(key, &TransportCounts::interrupted);
    }
    Session &session = sessions[key];
    session.broadcast = broadcast;
    session.waiting = broadcast ? Waiting::Data : Waiting::Cts;
    session.pgn = J1939Ids::pgnAt(&frame.data[5]);
    session.bytes = bytes;
    session.packets = packets;
    session.deadline = frame.timeMicroseconds + (broadcast ? packetGap : responseGap);
    session.payload.assign(static_cast<std::size_t>(packets * bytesPerPacket), 0xFF);
    ++tally.sessions;
}

void TransportSessions::clearToSend(const CanFrame &frame, Session &session)
{
    const int count = frame.data[1];
    const int next = frame.data[2];
    if (count == 0) {
        session.waiting = Waiting::Hold;
        session.deadline = frame.timeMicroseconds + holdGap;
        return;
    }
    // A CTS for a packet the message does not have asks for nothing.
    if (next < 1 || next > session.packets) {
        return;
    }
    session.waiting = Waiting::Data;
    session.nextPacket = next;
    session.windowEnd = std::min(session.packets, next + count - 1);
    session.deadline = frame.timeMicroseconds + responseGap;
}

const J1939Group *TransportSessions::data(const CanFrame &frame)
{
    const quint8 originator = J1939Ids::sourceAddress(frame.id);
    const quint64 key = sessionKey(frame.interfaceIndex, originator, J1939Ids::pduSpecific(frame.id));
    Session *session = running(key, frame.timeMicroseconds);
    if (!session || frame.length < 1) {
        return nullptr;
    }
    const int packet = frame.data[0];
    // A broadcast goes in sequence; a connection within the window the CTS
    // opened, where a packet the listener missed may be asked for again.
    const bool expected = session->broadcast
        ? packet == session->nextPacket
        : session->waiting == Waiting::Data && packet >= session->nextPacket && packet <= session->windowEnd;
    if (!expected) {
        drop(key, &TransportCounts::missingPacket);
        return nullptr;
    }
    const int carried = std::min(frame.length - 1, bytesPerPacket);
    std::copy_n(frame.data.cbegin() + 1,
                carried,
                session->payload.begin() + static_cast<std::ptrdiff_t>((packet - 1) * bytesPerPacket));
    if (!session->have[static_cast<std::size_t>(packet)]) {
        session->have.set(static_cast<std::size_t>(packet));
        ++session->received;
    }
    if (session->received == session->packets) {
        return complete(key, *session, frame);
    }
    session->nextPacket = packet + 1;
    session->deadline = frame.timeMicroseconds + packetGap;
    if (!session->broadcast && packet == session->windowEnd) {
        session->waiting = Waiting::Cts;
        session->deadline = frame.timeMicroseconds + responseGap;
    }
    return nullptr;
}

const J1939Group *TransportSessions::complete(quint64 key, Session &session, const CanFrame &frame)
{
    group.interfaceIndex = frame.interfaceIndex;
    group.pgn = session.pgn;
    group.sourceAddress = J1939Ids::sourceAddress(frame.id);
    group.destinationAddress = J1939Ids::pduSpecific(frame.id);
    group.timeMicroseconds = frame.timeMicroseconds;
    group.payload.swap(session.payload);
    group.payload.resize(static_cast<std::size_t>(session.bytes));
    ++tally.completed;
    sessions.remove(key);
    return &group;
}
