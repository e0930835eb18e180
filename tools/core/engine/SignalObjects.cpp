// SPDX-License-Identifier: LGPL-2.1-or-later
#include "SignalObjects.h"
#include "DataTypes.h"
#include "MedianNear.h"

#include <QList>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

namespace
{
// Sets the raw value as the library reads it for the signal's data type: for a
// 64-bit real, the number itself, so that the scaling reads it without a
// conversion; otherwise an IEEE real as its number, an integer with its sign.
// Written over the variant in place, which the intake left empty: no variant is
// made or destroyed for it.
void setRaw(QVariant &rawValue, const SignalDefinition &definition, bool asReal64, qint64 raw)
{
    switch (definition.encoding) {
    case SignalDefinition::Encoding::Float32: {
        const auto bits = static_cast<quint32>(raw);
        float real = 0.0f;
        std::memcpy(&real, &bits, sizeof(real));
        if (asReal64) {
            rawValue.setValue(static_cast<double>(real));
        } else {
            rawValue.setValue(real);
        }
        return;
    }
    case SignalDefinition::Encoding::Float64: {
        double real = 0.0;
        std::memcpy(&real, &raw, sizeof(real));
        rawValue.setValue(real);
        return;
    }
    case SignalDefinition::Encoding::Integer:
        break;
    }
    if (asReal64) {
        rawValue.setValue(definition.isSigned ? static_cast<double>(raw)
                                              : static_cast<double>(static_cast<quint64>(raw)));
    } else if (definition.isSigned) {
        rawValue.setValue(static_cast<qlonglong>(raw));
    } else {
        rawValue.setValue(static_cast<qulonglong>(raw));
    }
}

// Whether the library scales the data type in a double.
bool scaledAsReal64(CAN::CANopenDataType type)
{
    const DataType *known = DataType::find(type);
    return known && known->kind == DataType::Real && known->bits == 64;
}

// The history's scaled values, oldest first, into values, which keeps its slots
// from one signal to the next.
void readScaled(const QVector<J1939Value> &history, QList<double> &values)
{
    while (values.size() < history.size()) {
        values.append(0.0);
    }
    values.erase(values.begin() + history.size(), values.end());
    auto slot = values.begin();
    for (const J1939Value &value : history) {
        *slot++ = value.scaledValue.toDouble();
    }
}

// The median as the library takes it for a Real64 signal, in the doubles of its
// history; tried first against the one found the last time.
double medianOf(const QList<double> &values, Relaxed<double> &previous)
{
    static const StatisticCalculator<double> inDoubles{std::optional<int>()};
    const std::optional<double> near = medianNear(values, previous);
    const double median = near ? *near : inDoubles.getMedian(values);
    previous = median;
    return median;
}

// The values strictly outside lower..upper, as the band's deviators are.
int countOutside(const QList<double> &values, double lower, double upper)
{
    return static_cast<int>(std::count_if(values.cbegin(), values.cend(), [lower, upper](double value) {
        return value < lower || value > upper;
    }));
}
}

SignalObjects::SignalObjects(const FrameDecoder &decoder)
    : decoder(decoder)
{
}

SignalObjects::~SignalObjects() = default;

SignalObjects::Entry &SignalObjects::create(std::size_t signal)
{
    while (signal >= entries.size()) {
        entries.append([](Entry &) {});
    }
    Entry &entry = entries[signal];
    const WatchedSignal &watched = decoder.watched()[signal];
    const SignalDefinition &definition = decoder.definitions().at(watched.definition);
    entry.definition = &definition;
    entry.object = std::make_unique<GenericSignalImpl<J1939Value>>();
    entry.object->setDatatype(definition.dataType);
    // The appending policy starts a refresher thread; the scaled intake already
    // stores the cached average and deviation at every sample, and nothing else
    // changes them, so the refresher would only cost a thread per signal.
    entry.object->setValueHandling(GenericSignal::Append);
    entry.object->setUpdatingEnabled(false);
    entry.real64 = scaledAsReal64(definition.dataType);
    entry.next.auxByte1 = static_cast<quint8>(std::max(watched.sourceAddress, 0));
    entry.next.auxInt = static_cast<qint32>(definition.j1939 ? definition.pgn : definition.id);
    entry.published.store(entry.object.get(), std::memory_order_release);
    return entry;
}

void SignalObjects::feed(const DecodedSample &sample)
{
    const auto signal = static_cast<std::size_t>(sample.signal);
    Entry &entry = signal < entries.size() && entries[signal].object ? entries[signal] : create(signal);
    const SignalDefinition &definition = *entry.definition;
    J1939Value &value = entry.next;
    setRaw(value.rawValue, definition, entry.real64, sample.raw);
    value.auxDouble = sample.logSeconds;
    // Handed over, not copied: the intake takes its sample by value.
    entry.object->setNewValue(std::move(value), definition.factor, definition.offset);
    ++entry.samples;
    entry.newestLogSeconds = sample.logSeconds;
}

const SignalObjects::Entry *SignalObjects::entry(int signal) const
{
    const auto index = static_cast<std::size_t>(signal);
    return index < entries.size() && entries[index].published.load(std::memory_order_acquire) ? &entries[index]
                                                                                              : nullptr;
}

quint64 SignalObjects::sampleCount(int signal) const
{
    const Entry *known = entry(signal);
    return known ? known->samples : 0;
}

double SignalObjects::newestLogSeconds(int signal) const
{
    const Entry *known = entry(signal);
    return known ? known->newestLogSeconds : 0.0;
}

void SignalObjects::readFigures(int signal, double band, SignalSnapshot &s)
{
    const Entry *known = entry(signal);
    if (!known) {
        return;
    }
    GenericSignalImpl<J1939Value> &object = *known->published.load(std::memory_order_acquire);
    // One copy of the history serves the stored count, the median and the count
    // outside the band. It shares the object's storage, which the next sample
    // would then have to copy whole: it is read into plain numbers and let go at
    // once, and nothing else is done while it is held.
    thread_local QList<double> scaled;
    {
        const QVector<J1939Value> history = object.getValues();
        s.storedSamples = history.size();
        readScaled(history, scaled);
    }
    s.newest = object.getValue().scaledValue.toDouble();
    s.cachedAverage = object.getAverage();
    s.liveAverage = object.calcAverage();
    s.deviation = object.getDeviation();
    const double liveDeviation = object.calcDeviation();
    s.m2 = liveDeviation * liveDeviation * static_cast<double>(known->samples);
    s.minimum = object.getMin();
    s.maximum = object.getMax();
    const SignalDefinition &d = *known->definition;
    s.median = known->real64 ? medianOf(scaled, known->previousMedian) : object.calcMedian();
    s.rating = object.getRating(band, d.rateAgainstRange, d.minimum, d.maximum);
    s.lowerThreshold = d.rateAgainstRange ? d.minimum : object.getLowerThreshold(band);
    s.upperThreshold = d.rateAgainstRange ? d.maximum : object.getUpperThreshold(band);
    s.outsideBand = countOutside(scaled, s.lowerThreshold, s.upperThreshold);
    s.age = object.getAgeInSeconds();
}

void SignalObjects::readHistory(int signal, double band, SignalSeries &s)
{
    const Entry *known = entry(signal);
    if (!known) {
        return;
    }
    GenericSignalImpl<J1939Value> &object = *known->published.load(std::memory_order_acquire);
    const QVector<J1939Value> history = object.getValues();
    for (const J1939Value &value : history) {
        s.samples.append(QPointF(value.auxDouble, value.scaledValue.toDouble()));
    }
    const SignalDefinition &d = *known->definition;
    const QVector<J1939Value> outside = d.rateAgainstRange ? history : object.getDeviators(band);
    for (const J1939Value &value : outside) {
        const QPointF point(value.auxDouble, value.scaledValue.toDouble());
        if (!d.rateAgainstRange || point.y() < d.minimum || point.y() > d.maximum) {
            s.outside.append(point);
        }
    }
    s.average = object.getAverage();
    s.lowerThreshold = d.rateAgainstRange ? d.minimum : object.getLowerThreshold(band);
    s.upperThreshold = d.rateAgainstRange ? d.maximum : object.getUpperThreshold(band);
}
