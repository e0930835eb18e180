// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"
#include "FrameTimes.h"
#include "PublishedList.h"
#include "Relaxed.h"
#include "RouteTable.h"
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

    const QVector<SignalDefinition> &definitions() const;
    /// In the order they were first seen.
    const PublishedList<WatchedSignal> &watched() const;

private:
    const QVector<int> &route(const CanFrame &frame);
    int watchedFor(int definition, const CanFrame &frame);

    QVector<SignalDefinition> signalDefinitions;
    PublishedList<WatchedSignal> watchedSignals;
    RouteTable routes;
    QHash<quint64, int> watchedByKey;
};
