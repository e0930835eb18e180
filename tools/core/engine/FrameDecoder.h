// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"
#include "FrameTimes.h"
#include "J1939Traffic.h"
#include "PublishedList.h"
#include "Relaxed.h"
#include "RouteTable.h"
#include "SignalDecoding.h"
#include "SignalDefinition.h"

#include <QHash>
#include <QVector>

#include <vector>

/// One signal the engine watches: a definition on one interface and, for J1939,
/// from one sender. Its counts may be read from any thread.
struct WatchedSignal
{
    int definition = 0;
    quint16 interfaceIndex = 0;
    /// The sender of a J1939 signal; -1 for other signals.
    int sourceAddress = -1;
    /// The frames that carry the signal; of them, raw values that J1939 marks as
    /// not available (or reserved) and as an error, which are skipped, and frames
    /// that end before the signal's last bit.
    Relaxed<quint64> frames;
    Relaxed<quint64> notAvailableSamples;
    Relaxed<quint64> errorSamples;
    Relaxed<quint64> tooShortFrames;
};

/// One decoded raw value of one watched signal.
struct DecodedSample
{
    /// Which of the decoder's watched signals.
    int signal = 0;
    qint64 raw = 0;
    /// Seconds since the run's first frame.
    double logSeconds = 0.0;
};

/**
 * Routing and decoding: which signals a frame carries, and their raw values.
 *
 * A definition becomes one watched signal per interface and, for a J1939
 * definition that takes every sender, per source address, from the first frame
 * that matches it. The signals a frame feeds are worked out once per interface,
 * format and identifier, then looked up.
 *
 * A listener, where given, takes the frames of J1939 traffic (found by the same
 * lookup, so that other frames pay nothing for it); the groups it puts back
 * together are routed by interface, parameter group and sender, and decode from
 * their whole payload like frames.
 *
 * Frames are decoded on one thread; the watched signals may be walked from any
 * other meanwhile.
 */
class FrameDecoder
{
public:
    explicit FrameDecoder(const QVector<SignalDefinition> &definitions);

    /// Appends the frame's samples to out, timed on the run's clock; returns how
    /// many. Counts the not-available and error values and the frames too short.
    int decode(const CanFrame &frame, const FrameTimes &times, std::vector<DecodedSample> &out);
    /// Hands the frames of J1939 traffic to traffic from now on, and decodes the
    /// groups it completes with the frames that complete them; null stops that.
    void listen(J1939Traffic *traffic);

    const QVector<SignalDefinition> &definitions() const;
    /// In the order they were first seen.
    const PublishedList<WatchedSignal> &watched() const;

private:
    /// What the frames (or groups) of one key feed.
    struct Route
    {
        QVector<int> targets;
        /// The frames of this key are J1939 traffic, for the listener.
        bool j1939Traffic = false;
    };

    const Route &route(const CanFrame &frame);
    const Route &route(const J1939Group &group);
    int watchedFor(int definition, quint16 interfaceIndex, int sourceAddress);
    int decodeRoute(const Route &route,
                    Payload payload,
                    qint64 microseconds,
                    const FrameTimes &times,
                    std::vector<DecodedSample> &out);

    QVector<SignalDefinition> signalDefinitions;
    PublishedList<WatchedSignal> watchedSignals;
    RouteTable<Route> routes;
    QHash<quint64, int> watchedByKey;
    J1939Traffic *listener = nullptr;
};
