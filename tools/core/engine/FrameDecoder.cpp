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

void FrameDecoder::listen(J1939Traffic *traffic)
{
    listener = traffic;
}

int FrameDecoder::watchedFor(int definition, quint16 interfaceIndex, int sender)
{
    const SignalDefinition &d = signalDefinitions.at(definition);
    const int sourceAddress = d.j1939 ? sender : -1;
    const quint64 key = watchedKey(definition, interfaceIndex, sourceAddress);
    const auto known = watchedByKey.constFind(key);
    if (known != watchedByKey.cend()) {
        return known.value();
    }
    watchedSignals.append([&](WatchedSignal &signal) {
        signal.definition = definition;
        signal.interfaceIndex = interfaceIndex;
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

void FrameDecoder::addTarget(Route &built, int definition, quint16 interfaceIndex, int sourceAddress)
{
    const SignalDefinition &d = signalDefinitions.at(definition);
    const int firstCondition = static_cast<int>(built.conditions.size());
    for (const MultiplexCondition &condition : d.multiplexing) {
        const Route::Switch bits{condition.startBit, condition.length, condition.byteOrder, condition.isSigned};
        const auto same = std::find_if(built.switches.cbegin(), built.switches.cend(), [&bits](const Route::Switch &s) {
            return s.startBit == bits.startBit && s.length == bits.length && s.byteOrder == bits.byteOrder
                && s.isSigned == bits.isSigned;
        });
        const int switchIndex = static_cast<int>(same - built.switches.cbegin());
        if (same == built.switches.cend()) {
            built.switches.push_back(bits);
        }
        built.conditions.push_back(Route::Condition{switchIndex, &condition.ranges});
    }
    const int watched = watchedFor(definition, interfaceIndex, sourceAddress);
    built.targets.push_back(Route::Target{watched,
                                          &watchedSignals[static_cast<std::size_t>(watched)],
                                          &d,
                                          firstCondition,
                                          d.multiplexing.size(),
                                          ValueBits::of(d),
                                          d.interval,
                                          !d.valueLabels.isEmpty()});
}

const FrameDecoder::Route &FrameDecoder::route(const CanFrame &frame)
{
    const quint64 key = routeKey(frame);
    if (const Route *known = routes.find(key)) {
        return *known;
    }
    return addRoute(frame, key);
}

// Once per key: out of the frame path, which it would only make longer.
Q_NEVER_INLINE const FrameDecoder::Route &FrameDecoder::addRoute(const CanFrame &frame, quint64 key)
{
    Route built;
    for (const int definition : candidates(frame)) {
        if (matches(signalDefinitions.at(definition), frame)) {
            addTarget(built, definition, frame.interfaceIndex, static_cast<int>(frame.id & 0xFF));
        }
    }
    built.j1939Traffic = J1939Traffic::concerns(frame);
    return stored(key, std::move(built));
}

const FrameDecoder::Route &FrameDecoder::stored(quint64 key, Route built)
{
    if (built.targets.empty() && !built.j1939Traffic) {
        return routes.insertEmpty(key);
    }
    return routes.insert(key, std::move(built));
}

const FrameDecoder::Route &FrameDecoder::route(const J1939Group &group)
{
    const quint64 key = groupKey(group);
    if (const Route *known = routes.find(key)) {
        return *known;
    }
    Route built;
    for (const int definition : byPgn.value(group.pgn)) {
        if (matches(signalDefinitions.at(definition), group)) {
            addTarget(built, definition, group.interfaceIndex, group.sourceAddress);
        }
    }
    return stored(key, std::move(built));
}

bool FrameDecoder::selected(const Route &route, const Route::Target &target, Payload payload)
{
    for (int c = target.firstCondition; c < target.firstCondition + target.conditionCount; ++c) {
        const Route::Condition &condition = route.conditions[static_cast<std::size_t>(c)];
        const auto at = static_cast<std::size_t>(condition.switchIndex);
        if (switchStates[at] == 0) {
            const Route::Switch &bits = route.switches[at];
            switchStates[at] =
                extractBits(payload, bits.startBit, bits.length, bits.byteOrder, bits.isSigned, switchValues[at]) ? 1
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
    return decode(frame, times, [&out](const DecodedSample &sample) { out.push_back(sample); });
}

const J1939Group *FrameDecoder::completedGroup(const Route &frameRoute, const CanFrame &frame)
{
    return frameRoute.j1939Traffic && listener ? listener->take(frame) : nullptr;
}
