// SPDX-License-Identifier: LGPL-2.1-or-later
#include "DbcSignals.h"
#include "CanFrame.h"
#include "DataTypes.h"

#include <QSet>

#include <algorithm>
#include <cmath>
#include <utility>

namespace
{
// Frames carry the message's bytes as the database gives them, or as many as its
// signals need, rounded up to a length that a frame may have.
int frameLength(const DbcMessage &m)
{
    int bytes = std::max(m.length, 8);
    for (const DbcSignal &s : m.signalList) {
        if (s.problem.isEmpty()) {
            bytes = std::max(bytes, lastBit(s.startBit, s.length, s.byteOrder) / 8 + 1);
        }
    }
    while (bytes < 64 && !isCanFdLength(bytes)) {
        ++bytes;
    }
    return std::min(bytes, 64);
}

// Where a message's signals are: how frames are matched, and how long they are.
struct Placement
{
    const DbcMessage &message;
    int frameLength;
};

void address(const Placement &placement, const DatabaseChoices &choices, SignalDefinition &d)
{
    const DbcMessage &m = placement.message;
    d.message = m.name;
    d.j1939 = m.j1939;
    if (m.j1939) {
        d.pgn = j1939Pgn(m.id);
        d.anySourceAddress = choices.sourceAddress < 0;
        d.fixedSourceAddress = !d.anySourceAddress;
        d.sourceAddress = static_cast<quint8>(std::max(choices.sourceAddress, 0));
        d.extended = true;
    } else {
        d.id = m.id;
        d.extended = m.extended;
        d.mask = m.extended ? 0x1FFFFFFFu : 0x7FFu;
    }
    d.frameLength = placement.frameLength;
}

// The multiplexers above the signal, the outermost first.
QVector<MultiplexCondition> multiplexing(const DbcMessage &m, const DbcSignal &s)
{
    QVector<MultiplexCondition> conditions;
    for (const DbcSignal *inner = &s; inner->multiplexer >= 0;) {
        const DbcSignal &selector = m.signalList.at(inner->multiplexer);
        conditions.prepend(MultiplexCondition{selector.name,
                                              selector.startBit,
                                              selector.length,
                                              selector.byteOrder,
                                              selector.isSigned,
                                              inner->multiplexRanges});
        inner = &selector;
    }
    return conditions;
}

QVector<ValueLabel> sortedLabels(QVector<ValueLabel> labels)
{
    std::stable_sort(labels.begin(), labels.end(), [](const ValueLabel &a, const ValueLabel &b) {
        return a.raw < b.raw;
    });
    labels.erase(std::unique(labels.begin(),
                             labels.end(),
                             [](const ValueLabel &a, const ValueLabel &b) { return a.raw == b.raw; }),
                 labels.end());
    return labels;
}

SignalDefinition signalDefinition(const Placement &placement, const DbcSignal &s, const DatabaseChoices &choices)
{
    const DbcMessage &m = placement.message;
    SignalDefinition d;
    d.name = m.name + QLatin1Char('.') + s.name;
    d.unit = s.unit;
    address(placement, choices, d);
    d.startBit = s.startBit;
    d.length = s.length;
    d.byteOrder = s.byteOrder;
    d.isSigned = s.isSigned;
    d.encoding = s.encoding;
    d.factor = s.factor;
    d.offset = s.offset;
    d.dataType = scalingType(s);
    d.skipNotAvailable = m.j1939 && s.encoding == SignalDefinition::Encoding::Integer;
    d.minimum = s.minimum;
    d.maximum = s.maximum;
    d.rateAgainstRange = choices.databaseLimits && (s.minimum != 0.0 || s.maximum != 0.0) && s.minimum <= s.maximum;
    d.valueLabels = sortedLabels(s.valueLabels);
    d.multiplexing = multiplexing(m, s);
    d.listedWithoutSamples = false;
    return d;
}

SignalDefinition intervalDefinition(const Placement &placement, const DatabaseChoices &choices)
{
    const DbcMessage &m = placement.message;
    SignalDefinition d;
    d.name = m.name + QStringLiteral(" interval");
    d.unit = QStringLiteral("ms");
    address(placement, choices, d);
    d.interval = true;
    d.length = 64;
    d.isSigned = true;
    d.factor = 0.001;
    d.minimum = m.cycleTime * (1.0 - choices.timingTolerance);
    d.maximum = m.cycleTime * (1.0 + choices.timingTolerance);
    d.rateAgainstRange = true;
    return d;
}
}

CAN::CANopenDataType scalingType(const DbcSignal &s)
{
    using Encoding = SignalDefinition::Encoding;
    if (s.encoding != Encoding::Integer) {
        return s.encoding == Encoding::Float32 ? CAN::Real32 : CAN::Real64;
    }
    if (s.factor != std::floor(s.factor) || s.offset != std::floor(s.offset)) {
        return CAN::Real64;
    }
    const double rawLow = s.isSigned ? -std::ldexp(1.0, s.length - 1) : 0.0;
    const double rawHigh = std::ldexp(1.0, s.isSigned ? s.length - 1 : s.length) - 1.0;
    const double products[] = {rawLow * s.factor, rawHigh * s.factor};
    const double low = std::min({rawLow, products[0], products[1], products[0] + s.offset, products[1] + s.offset});
    const double high = std::max({rawHigh, products[0], products[1], products[0] + s.offset, products[1] + s.offset});
    const double exact = std::ldexp(1.0, 53);
    const DataType *type = low >= -exact && high <= exact ? DataType::holding(low, high) : nullptr;
    return type ? type->type : CAN::Real64;
}

bool appendDatabaseSignals(const DbcDatabase &database,
                           const DatabaseChoices &choices,
                           QVector<SignalDefinition> &definitions,
                           QString &error)
{
    QSet<QString> taken;
    for (const SignalDefinition &earlier : std::as_const(definitions)) {
        taken.insert(earlier.name);
    }
    const int earlier = definitions.size();
    int signalCount = 0;
    for (const DbcMessage &m : database.messages) {
        signalCount += m.signalList.size() + (choices.timing ? 1 : 0);
    }
    definitions.reserve(earlier + signalCount);
    const auto add = [&](SignalDefinition d, int line) {
        if (taken.contains(d.name)) {
            definitions.resize(earlier);
            error = QStringLiteral("%1:%2: a signal named %3 is defined already (earlier in this database, in an "
                                   "earlier one, in the definition file or among the built-in signals); reports "
                                   "tell signals apart by name")
                        .arg(database.file)
                        .arg(line)
                        .arg(d.name);
            return false;
        }
        taken.insert(d.name);
        definitions.append(std::move(d));
        return true;
    };
    for (const DbcMessage &m : database.messages) {
        if (!m.problem.isEmpty()) {
            continue;
        }
        const Placement placement{m, frameLength(m)};
        for (const DbcSignal &s : m.signalList) {
            if (s.problem.isEmpty() && (!choices.selection || choices.selection->selects(m.name, s.name))
                && !add(signalDefinition(placement, s, choices), s.line)) {
                return false;
            }
        }
        if (!choices.timing || m.cycleTime <= 0.0) {
            continue;
        }
        const SignalDefinition interval = intervalDefinition(placement, choices);
        if ((!choices.selection || choices.selection->selects(m.name, interval.name)) && !add(interval, m.line)) {
            return false;
        }
    }
    return true;
}
