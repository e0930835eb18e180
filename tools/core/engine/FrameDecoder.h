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

    /// Hands each of the frame's samples, timed on the run's clock, to
    /// take(const DecodedSample &) as it is decoded; returns how many. Counts the
    /// not-available and error values and the frames too short.
    template<typename Take>
    int decode(const CanFrame &frame, const FrameTimes &times, Take &&take);
    /// The same, the samples appended to out.
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
    template<typename Take>
    int decodeRouted(const Route &frameRoute, const CanFrame &frame, const FrameTimes &times, Take &take);
    /// The group that the frame completes, where its route is J1939 traffic and
    /// a listener takes it; null otherwise.
    const J1939Group *completedGroup(const Route &frameRoute, const CanFrame &frame);
    void addTarget(Route &built, int definition, quint16 interfaceIndex, int sourceAddress);
    QVector<int> candidates(const CanFrame &frame) const;
    int watchedFor(int definition, quint16 interfaceIndex, int sourceAddress);
    bool selected(const Route &route, const Route::Target &target, Payload payload);
    template<typename Take>
    int decodeRoute(const Route &route, Payload payload, qint64 microseconds, const FrameTimes &times, Take &take);
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

template<typename Take>
int FrameDecoder::decode(const CanFrame &frame, const FrameTimes &times, Take &&take)
{
    if (frame.remote) {
        return 0;
    }
    const Route &frameRoute = route(frame);
    // Most frames of a real log: they end here, having read their route's slot.
    if (routes.isEmpty(frameRoute)) {
        return 0;
    }
    return decodeRouted(frameRoute, frame, times, take);
}

// Out of line, so that the frames that feed nothing keep a short path.
template<typename Take>
Q_NEVER_INLINE int
FrameDecoder::decodeRouted(const Route &frameRoute, const CanFrame &frame, const FrameTimes &times, Take &take)
{
    int found = decodeRoute(frameRoute, payloadOf(frame), frame.timeMicroseconds, times, take);
    // Not read again once the group is routed: adding its route may move this one.
    if (const J1939Group *group = completedGroup(frameRoute, frame)) {
        const int size = static_cast<int>(group->payload.size());
        found += decodeRoute(route(*group),
                             Payload{group->payload.data(), size, size},
                             group->timeMicroseconds,
                             times,
                             take);
    }
    return found;
}

// Inlined, so that a frame pays no call for sharing it with the groups.
template<typename Take>
Q_ALWAYS_INLINE int
FrameDecoder::decodeRoute(const Route &route, Payload payload, qint64 microseconds, const FrameTimes &times, Take &take)
{
    // Only multiplexed signals read the switches: most routes have none.
    if (!route.switches.empty()) {
        switchStates.assign(route.switches.size(), 0);
        switchValues.resize(route.switches.size());
    }
    if (route.targets.empty()) {
        return 0;
    }
    int found = 0;
    const double seconds = times.secondsAt(microseconds);
    for (const Route::Target &target : route.targets) {
        if (target.conditionCount > 0 && !selected(route, target, payload)) {
            continue;
        }
        WatchedSignal &signal = *target.signal;
        ++signal.frames;
        if (target.interval) {
            if (signal.framed) {
                take(DecodedSample{target.watched, microseconds - signal.previousFrameMicroseconds, seconds});
                ++found;
            }
            signal.framed = true;
            signal.previousFrameMicroseconds = microseconds;
            continue;
        }
        qint64 raw = 0;
        switch (::decode(target.bits, payload, raw)) {
        case Decoding::Sample:
            if (target.labelled) {
                countLabel(signal, *target.definition, raw);
            }
            take(DecodedSample{target.watched, raw, seconds});
            ++found;
            break;
        case Decoding::NotAvailable:
            ++signal.notAvailableSamples;
            break;
        case Decoding::Error:
            ++signal.errorSamples;
            break;
        case Decoding::TooShort:
            ++signal.tooShortFrames;
            break;
        }
    }
    return found;
}
