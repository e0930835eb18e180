// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"
#include "FrameTimes.h"
#include "J1939Group.h"
#include "RouteTable.h"
#include "SignalDecoding.h"
#include "SignalDefinition.h"

#include <QHash>
#include <QVector>

#include <vector>

/// One signal the engine watches: a definition on one interface and, for J1939,
/// from one sender.
struct WatchedSignal
{
    int definition = 0;
    quint16 interfaceIndex = 0;
    /// The sender of a J1939 signal; -1 for other signals.
    int sourceAddress = -1;
    /// Raw values that J1939 marks as not available (or reserved) and as an
    /// error, which are skipped, and matching frames that end before the signal's
    /// last bit.
    quint64 notAvailableSamples = 0;
    quint64 errorSamples = 0;
    quint64 tooShortFrames = 0;
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
 * format and identifier, then looked up; those a reassembled group feeds once
 * per interface, parameter group and sender.
 */
class FrameDecoder
{
public:
    explicit FrameDecoder(const QVector<SignalDefinition> &definitions);

    /// Appends the frame's samples to out, timed on the run's clock; returns how
    /// many. Counts the not-available and error values and the frames too short.
    int decode(const CanFrame &frame, const FrameTimes &times, std::vector<DecodedSample> &out);
    /// The same for a reassembled J1939 group, routed by parameter group and
    /// sender: its signals decode from the whole payload, timed by its last packet.
    int decode(const J1939Group &group, const FrameTimes &times, std::vector<DecodedSample> &out);

    const QVector<SignalDefinition> &definitions() const;
    /// In the order they were first seen.
    const std::vector<WatchedSignal> &watched() const;

private:
    const QVector<int> &route(const CanFrame &frame);
    const QVector<int> &route(const J1939Group &group);
    int watchedFor(int definition, quint16 interfaceIndex, int sourceAddress);
    int decodeTargets(const QVector<int> &targets,
                      Payload payload,
                      qint64 microseconds,
                      const FrameTimes &times,
                      std::vector<DecodedSample> &out);

    QVector<SignalDefinition> signalDefinitions;
    std::vector<WatchedSignal> watchedSignals;
    RouteTable routes;
    QHash<quint64, int> watchedByKey;
};
