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
    /// Samples per value label of the definition, and the label of the newest
    /// sample: an index into its labels, -1 for a value without one.
    std::vector<Relaxed<quint64>> labelSamples;
    Relaxed<int> newestLabel{-1};
    /// For an interval signal, on the decoding thread only: the stamp of the
    /// frame before, once there was one.
    bool framed = false;
    qint64 previousFrameMicroseconds = 0;
};

/// One decoded raw value of one watched signal.
struct DecodedSample
{
    /// Which of the decoder's watched signals.
    int signal = 0;
    /// The raw value; the bits themselves for an IEEE real.
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
 * format and identifier, then looked up: finding them takes the same time
 * whatever the number of definitions, as they are indexed by identifier and by
 * parameter group (only definitions by identifier and partial mask are tried one
 * by one). Of a multiplexed message, only the signals that the frame's
 * multiplexer values select are extracted; each multiplexer is read once a frame.
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
    /// What the frames of one key feed.
    struct Route
    {
        /// A multiplexer's bits.
        struct Switch
        {
            int startBit;
            int length;
            ByteOrder byteOrder;
            bool isSigned;
        };
        /// Holds where the switch's raw value lies in one of the ranges.
        struct Condition
        {
            int switchIndex;
            const QVector<MultiplexRange> *ranges;
        };
        /// A watched signal, in the frame where its conditions all hold. The
        /// signal and its definition are reached directly: neither ever moves.
        /// What decoding reads of the definition is kept here, beside the rest.
        struct Target
        {
            int watched;
            WatchedSignal *signal;
            const SignalDefinition *definition;
            int firstCondition;
            int conditionCount;
            ValueBits bits;
            bool interval;
            bool labelled;
        };

        std::vector<Target> targets;
        std::vector<Condition> conditions;
        std::vector<Switch> switches;
        /// The frames of this key are J1939 traffic, for the listener.
        bool j1939Traffic = false;
    };

    const Route &route(const CanFrame &frame);
    const Route &addRoute(const CanFrame &frame, quint64 key);
    const Route &route(const J1939Group &group);
    /// A route without targets, and not J1939 traffic, as the shared empty one.
    const Route &stored(quint64 key, Route built);
    int decodeRouted(const Route &frameRoute,
                     const CanFrame &frame,
                     const FrameTimes &times,
                     std::vector<DecodedSample> &out);
    void addTarget(Route &built, int definition, quint16 interfaceIndex, int sourceAddress);
    QVector<int> candidates(const CanFrame &frame) const;
    int watchedFor(int definition, quint16 interfaceIndex, int sourceAddress);
    bool selected(const Route &route, const Route::Target &target, Payload payload);
    int decodeRoute(const Route &route,
                    Payload payload,
                    qint64 microseconds,
                    const FrameTimes &times,
                    std::vector<DecodedSample> &out);
    void countLabel(WatchedSignal &signal, const SignalDefinition &definition, qint64 raw);

    /// Never changed, so that routes may point into it.
    const QVector<SignalDefinition> signalDefinitions;
    QHash<quint64, QVector<int>> byIdentifier;
    QHash<quint32, QVector<int>> byPgn;
    QVector<int> byMask;
    PublishedList<WatchedSignal> watchedSignals;
    RouteTable<Route> routes;
    QHash<quint64, int> watchedByKey;
    /// The multiplexer values of the frame being decoded: 0 not read yet, 1 read
    /// into switchValues, -1 past the end of the frame.
    std::vector<qint64> switchValues;
    std::vector<signed char> switchStates;
    J1939Traffic *listener = nullptr;
};
