// SPDX-License-Identifier: LGPL-2.1-or-later
#include "FrameDecoder.h"
#include "SignalDecoding.h"

namespace
{
quint64 routeKey(const CanFrame &frame)
{
    return (quint64(frame.interfaceIndex) << 32) | (quint64(frame.extended) << 31) | frame.id;
}

// Apart from every frame's key by the top bit.
quint64 groupKey(const J1939Group &group)
{
    return (quint64(1) << 63) | (quint64(group.interfaceIndex) << 32) | (quint64(group.pgn) << 8) | group.sourceAddress;
}

// Source address 0 to 255, or none as 256.
quint64 watchedKey(int definition, quint16 interfaceIndex, int sourceAddress)
{
    return (quint64(definition) << 32) | (quint64(interfaceIndex) << 16)
        | static_cast<quint64>(sourceAddress < 0 ? 256 : sourceAddress);
}
}

FrameDecoder::FrameDecoder(const QVector<SignalDefinition> &definitions)
    : signalDefinitions(definitions)
{
}

const QVector<SignalDefinition> &FrameDecoder::definitions() const
{
    return signalDefinitions;
}

const PublishedList<WatchedSignal> &FrameDecoder::watched() const
{
    return watchedSignals;
}

void FrameDecoder::listen(J1939Traffic *traffic)
{
    listener = traffic;
}

int FrameDecoder::watchedFor(int definition, quint16 interfaceIndex, int sender)
{
    const int sourceAddress = signalDefinitions.at(definition).j1939 ? sender : -1;
    const quint64 key = watchedKey(definition, interfaceIndex, sourceAddress);
    const auto known = watchedByKey.constFind(key);
    if (known != watchedByKey.cend()) {
        return known.value();
    }
    watchedSignals.append([&](WatchedSignal &signal) {
        signal.definition = definition;
        signal.interfaceIndex = interfaceIndex;
        signal.sourceAddress = sourceAddress;
    });
    const int index = static_cast<int>(watchedSignals.size()) - 1;
    watchedByKey.insert(key, index);
    return index;
}

const FrameDecoder::Route &FrameDecoder::route(const CanFrame &frame)
{
    const quint64 key = routeKey(frame);
    if (const Route *known = routes.find(key)) {
        return *known;
    }
    Route built;
    for (int i = 0; i < signalDefinitions.size(); ++i) {
        if (matches(signalDefinitions.at(i), frame)) {
            built.targets.append(watchedFor(i, frame.interfaceIndex, static_cast<int>(frame.id & 0xFF)));
        }
    }
    built.j1939Traffic = J1939Traffic::concerns(frame);
    return routes.insert(key, std::move(built));
}

const FrameDecoder::Route &FrameDecoder::route(const J1939Group &group)
{
    const quint64 key = groupKey(group);
    if (const Route *known = routes.find(key)) {
        return *known;
    }
    Route built;
    for (int i = 0; i < signalDefinitions.size(); ++i) {
        if (matches(signalDefinitions.at(i), group)) {
            built.targets.append(watchedFor(i, group.interfaceIndex, group.sourceAddress));
        }
    }
    return routes.insert(key, std::move(built));
}

// Inlined, so that a frame pays no call for sharing it with the groups.
Q_ALWAYS_INLINE int FrameDecoder::decodeRoute(const Route &route,
                                              Payload payload,
                                              qint64 microseconds,
                                              const FrameTimes &times,
                                              std::vector<DecodedSample> &out)
{
    int found = 0;
    // Seconds are worked out for the frames that carry a sample only.
    double seconds = -1.0;
    for (const int target : route.targets) {
        WatchedSignal &signal = watchedSignals[static_cast<std::size_t>(target)];
        ++signal.frames;
        DecodedSample sample;
        switch (::decode(signalDefinitions.at(signal.definition), payload, sample.raw)) {
        case Decoding::Sample:
            sample.signal = target;
            if (seconds < 0.0) {
                seconds = times.secondsAt(microseconds);
            }
            sample.logSeconds = seconds;
            out.push_back(sample);
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

int FrameDecoder::decode(const CanFrame &frame, const FrameTimes &times, std::vector<DecodedSample> &out)
{
    if (frame.remote) {
        return 0;
    }
    const Route &frameRoute = route(frame);
    int found = decodeRoute(frameRoute, Payload{frame.data.data(), frame.length}, frame.timeMicroseconds, times, out);
    // Not read again once the group is routed: adding its route may move this one.
    if (frameRoute.j1939Traffic && listener) {
        if (const J1939Group *group = listener->take(frame)) {
            found += decodeRoute(route(*group),
                                 Payload{group->payload.data(), static_cast<int>(group->payload.size())},
                                 group->timeMicroseconds,
                                 times,
                                 out);
        }
    }
    return found;
}
