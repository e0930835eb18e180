// SPDX-License-Identifier: LGPL-2.1-or-later
#include "FrameDecoder.h"
#include "SignalDecoding.h"

#include <algorithm>

namespace
{
quint64 identifierKey(bool extended, quint32 id)
{
    return (quint64(extended) << 31) | id;
}

quint64 routeKey(const CanFrame &frame)
{
    return (quint64(frame.interfaceIndex) << 32) | identifierKey(frame.extended, frame.id);
}

// Source address 0 to 255, or none as 256.
quint64 watchedKey(int definition, quint16 interfaceIndex, int sourceAddress)
{
    return (quint64(definition) << 32) | (quint64(interfaceIndex) << 16)
        | static_cast<quint64>(sourceAddress < 0 ? 256 : sourceAddress);
}

bool wholeMask(const SignalDefinition &definition)
{
    const quint32 every = definition.extended ? 0x1FFFFFFFu : 0x7FFu;
    return (definition.mask & every) == every;
}

bool inRanges(const QVector<MultiplexRange> &ranges, qint64 value)
{
    return std::any_of(ranges.cbegin(), ranges.cend(), [value](const MultiplexRange &range) {
        return range.low <= value && value <= range.high;
    });
}
}

FrameDecoder::FrameDecoder(const QVector<SignalDefinition> &definitions)
    : signalDefinitions(definitions)
{
    for (int i = 0; i < signalDefinitions.size(); ++i) {
        const SignalDefinition &definition = signalDefinitions.at(i);
        if (definition.j1939) {
            byPgn[definition.pgn].append(i);
        } else if (wholeMask(definition)) {
            byIdentifier[identifierKey(definition.extended, definition.id)].append(i);
        } else {
            byMask.append(i);
        }
    }
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
    const SignalDefinition &d = signalDefinitions.at(definition);
    const int sourceAddress = d.j1939 ? static_cast<int>(frame.id & 0xFF) : -1;
    const quint64 key = watchedKey(definition, frame.interfaceIndex, sourceAddress);
    const auto known = watchedByKey.constFind(key);
    if (known != watchedByKey.cend()) {
        return known.value();
    }
    watchedSignals.append([&](WatchedSignal &signal) {
        signal.definition = definition;
        signal.interfaceIndex = frame.interfaceIndex;
        signal.sourceAddress = sourceAddress;
        signal.labelSamples.resize(static_cast<std::size_t>(d.valueLabels.size()));
    });
    const int index = static_cast<int>(watchedSignals.size()) - 1;
    watchedByKey.insert(key, index);
    return index;
}

// The definitions that may match the frame, in their order.
QVector<int> FrameDecoder::candidates(const CanFrame &frame) const
{
    QVector<int> found = byIdentifier.value(identifierKey(frame.extended, frame.id));
    if (frame.extended) {
        found += byPgn.value(j1939Pgn(frame.id));
    }
    found += byMask;
    std::sort(found.begin(), found.end());
    return found;
}

const FrameDecoder::Route &FrameDecoder::route(const CanFrame &frame)
{
    const quint64 key = routeKey(frame);
    if (const Route *known = routes.find(key)) {
        return *known;
    }
    Route built;
    for (const int definition : candidates(frame)) {
        const SignalDefinition &d = signalDefinitions.at(definition);
        if (!matches(d, frame)) {
            continue;
        }
        const int firstCondition = static_cast<int>(built.conditions.size());
        for (const MultiplexCondition &condition : d.multiplexing) {
            const Route::Switch bits{condition.startBit, condition.length, condition.byteOrder, condition.isSigned};
            const auto same =
                std::find_if(built.switches.cbegin(), built.switches.cend(), [&bits](const Route::Switch &s) {
                    return s.startBit == bits.startBit && s.length == bits.length && s.byteOrder == bits.byteOrder
                        && s.isSigned == bits.isSigned;
                });
            const int switchIndex = static_cast<int>(same - built.switches.cbegin());
            if (same == built.switches.cend()) {
                built.switches.push_back(bits);
            }
            built.conditions.push_back(Route::Condition{switchIndex, &condition.ranges});
        }
        built.targets.push_back(Route::Target{watchedFor(definition, frame), firstCondition, d.multiplexing.size()});
    }
    return routes.insert(key, std::move(built));
}

bool FrameDecoder::selected(const Route &route, const Route::Target &target, const CanFrame &frame)
{
    for (int c = target.firstCondition; c < target.firstCondition + target.conditionCount; ++c) {
        const Route::Condition &condition = route.conditions[static_cast<std::size_t>(c)];
        const auto at = static_cast<std::size_t>(condition.switchIndex);
        if (switchStates[at] == 0) {
            const Route::Switch &bits = route.switches[at];
            switchStates[at] =
                extractBits(frame, bits.startBit, bits.length, bits.byteOrder, bits.isSigned, switchValues[at]) ? 1
                                                                                                                : -1;
        }
        if (switchStates[at] < 0 || !inRanges(*condition.ranges, switchValues[at])) {
            return false;
        }
    }
    return true;
}

void FrameDecoder::countLabel(WatchedSignal &signal, const SignalDefinition &definition, qint64 raw)
{
    const QVector<ValueLabel> &labels = definition.valueLabels;
    const auto label =
        std::lower_bound(labels.cbegin(), labels.cend(), raw, [](const ValueLabel &l, qint64 r) { return l.raw < r; });
    signal.newestLabel = label != labels.cend() && label->raw == raw ? static_cast<int>(label - labels.cbegin()) : -1;
    if (signal.newestLabel >= 0) {
        ++signal.labelSamples[static_cast<std::size_t>(signal.newestLabel)];
    }
}

int FrameDecoder::decode(const CanFrame &frame, const FrameTimes &times, std::vector<DecodedSample> &out)
{
    if (frame.remote) {
        return 0;
    }
    const Route &frameRoute = route(frame);
    switchStates.assign(frameRoute.switches.size(), 0);
    switchValues.resize(frameRoute.switches.size());
    int found = 0;
    // Seconds are worked out for the frames that carry a sample only.
    double seconds = -1.0;
    const auto take = [&](int target, qint64 raw) {
        if (seconds < 0.0) {
            seconds = times.secondsAt(frame.timeMicroseconds);
        }
        out.push_back(DecodedSample{target, raw, seconds});
        ++found;
    };
    for (const Route::Target &target : frameRoute.targets) {
        if (target.conditionCount > 0 && !selected(frameRoute, target, frame)) {
            continue;
        }
        WatchedSignal &signal = watchedSignals[static_cast<std::size_t>(target.watched)];
        ++signal.frames;
        const SignalDefinition &definition = signalDefinitions.at(signal.definition);
        if (definition.interval) {
            if (signal.framed) {
                take(target.watched, frame.timeMicroseconds - signal.previousFrameMicroseconds);
            }
            signal.framed = true;
            signal.previousFrameMicroseconds = frame.timeMicroseconds;
            continue;
        }
        qint64 raw = 0;
        switch (::decode(definition, frame, raw)) {
        case Decoding::Sample:
            if (!definition.valueLabels.isEmpty()) {
                countLabel(signal, definition, raw);
            }
            take(target.watched, raw);
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
