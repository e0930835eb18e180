// SPDX-License-Identifier: LGPL-2.1-or-later
#include "FrameDecoder.h"
#include "SignalDecoding.h"

namespace
{
quint64 routeKey(const CanFrame &frame)
{
    return (quint64(frame.interfaceIndex) << 32) | (quint64(frame.extended) << 31) | frame.id;
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

int FrameDecoder::watchedFor(int definition, const CanFrame &frame)
{
    const int sourceAddress = signalDefinitions.at(definition).j1939 ? static_cast<int>(frame.id & 0xFF) : -1;
    const quint64 key = watchedKey(definition, frame.interfaceIndex, sourceAddress);
    const auto known = watchedByKey.constFind(key);
    if (known != watchedByKey.cend()) {
        return known.value();
    }
    watchedSignals.append([&](WatchedSignal &signal) {
        signal.definition = definition;
        signal.interfaceIndex = frame.interfaceIndex;
        signal.sourceAddress = sourceAddress;
    });
    const int index = static_cast<int>(watchedSignals.size()) - 1;
    watchedByKey.insert(key, index);
    return index;
}

const QVector<int> &FrameDecoder::route(const CanFrame &frame)
{
    const quint64 key = routeKey(frame);
    if (const QVector<int> *known = routes.find(key)) {
        return *known;
    }
    QVector<int> targets;
    for (int i = 0; i < signalDefinitions.size(); ++i) {
        if (matches(signalDefinitions.at(i), frame)) {
            targets.append(watchedFor(i, frame));
        }
    }
    return routes.insert(key, targets);
}

int FrameDecoder::decode(const CanFrame &frame, const FrameTimes &times, std::vector<DecodedSample> &out)
{
    if (frame.remote) {
        return 0;
    }
    int found = 0;
    // Seconds are worked out for the frames that carry a sample only.
    double seconds = -1.0;
    for (const int target : route(frame)) {
        WatchedSignal &signal = watchedSignals[static_cast<std::size_t>(target)];
        ++signal.frames;
        DecodedSample sample;
        switch (::decode(signalDefinitions.at(signal.definition), frame, sample.raw)) {
        case Decoding::Sample:
            sample.signal = target;
            if (seconds < 0.0) {
                seconds = times.secondsAt(frame.timeMicroseconds);
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
