// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Monitor.h"

Monitor::Monitor(const QVector<SignalDefinition> &definitions, double band)
    : band(band)
{
    watched.reserve(static_cast<std::size_t>(definitions.size()));
    for (const SignalDefinition &definition : definitions) {
        Watched entry;
        entry.definition = definition;
        entry.signal = std::make_unique<GenericSignalImpl<J1939Value>>();
        entry.signal->setDatatype(definition.dataType);
        entry.signal->setValueHandling(GenericSignal::Append);
        watched.push_back(std::move(entry));
    }
}

Monitor::~Monitor() = default;

double Monitor::logSeconds(const CanFrame &frame) const
{
    return haveFirstTime ? static_cast<double>(frame.timeMicroseconds - firstTimeMicroseconds) / 1e6 : 0.0;
}

int Monitor::decode(const CanFrame &frame, QVector<DecodedSample> &out)
{
    if (!haveFirstTime) {
        haveFirstTime = true;
        firstTimeMicroseconds = frame.timeMicroseconds;
    }
    ++frames;
    lastSeconds = logSeconds(frame);
    int found = 0;
    for (std::size_t i = 0; i < watched.size(); ++i) {
        Watched &entry = watched[i];
        if (!matches(entry.definition, frame)) {
            continue;
        }
        DecodedSample sample;
        switch (::decode(entry.definition, frame, sample.raw)) {
        case Decoding::Sample:
            sample.signal = static_cast<int>(i);
            sample.logSeconds = lastSeconds;
            sample.sourceAddress = frame.extended ? static_cast<quint8>(frame.id & 0xFF) : 0;
            out.append(sample);
            ++found;
            break;
        case Decoding::NotAvailable:
            ++entry.notAvailableSamples;
            break;
        case Decoding::TooShort:
            break;
        }
    }
    return found;
}

void Monitor::feed(const DecodedSample &sample)
{
    Watched &entry = watched[static_cast<std::size_t>(sample.signal)];
    J1939Value value;
    value.rawValue = entry.definition.isSigned ? QVariant(static_cast<qlonglong>(sample.raw))
                                               : QVariant(static_cast<qulonglong>(sample.raw));
    value.auxDouble = sample.logSeconds;
    value.auxByte1 = sample.sourceAddress;
    value.auxInt = static_cast<qint32>(entry.definition.j1939 ? entry.definition.pgn : entry.definition.id);
    entry.signal->setNewValue(value, entry.definition.factor, entry.definition.offset);
    ++entry.decodedSamples;
}

void Monitor::processFrame(const CanFrame &frame)
{
    frameSamples.resize(0);
    decode(frame, frameSamples);
    for (const DecodedSample &sample : std::as_const(frameSamples)) {
        feed(sample);
    }
}

double Monitor::lastLogSeconds() const
{
    return lastSeconds;
}

quint64 Monitor::frameCount() const
{
    return frames;
}

int Monitor::signalCount() const
{
    return static_cast<int>(watched.size());
}

QVector<SignalSnapshot> Monitor::snapshot()
{
    QVector<SignalSnapshot> result;
    for (Watched &entry : watched) {
        GenericSignalImpl<J1939Value> &signal = *entry.signal;
        SignalSnapshot s;
        s.name = entry.definition.name;
        s.unit = entry.definition.unit;
        s.decodedSamples = entry.decodedSamples;
        s.notAvailableSamples = entry.notAvailableSamples;
        s.storedSamples = signal.getValueCount();
        s.hasNewest = entry.decodedSamples > 0;
        s.newest = signal.getValue().scaledValue.toDouble();
        s.cachedAverage = signal.getAverage();
        s.liveAverage = signal.calcAverage();
        s.deviation = signal.getDeviation();
        s.minimum = signal.getMin();
        s.maximum = signal.getMax();
        s.median = signal.calcMedian();
        s.rating = signal.getRating(band, false, 0.0, 0.0);
        s.lowerThreshold = signal.getLowerThreshold(band);
        s.upperThreshold = signal.getUpperThreshold(band);
        s.outsideBand = signal.getDeviators(band).size();
        result.append(s);
    }
    return result;
}

QVector<SignalSeries> Monitor::series()
{
    QVector<SignalSeries> result;
    for (Watched &entry : watched) {
        GenericSignalImpl<J1939Value> &signal = *entry.signal;
        SignalSeries s;
        s.name = entry.definition.name;
        s.unit = entry.definition.unit;
        const QVector<J1939Value> history = signal.getValues();
        for (const J1939Value &value : history) {
            s.samples.append(QPointF(value.auxDouble, value.scaledValue.toDouble()));
        }
        const QVector<J1939Value> outside = signal.getDeviators(band);
        for (const J1939Value &value : outside) {
            s.outside.append(QPointF(value.auxDouble, value.scaledValue.toDouble()));
        }
        s.average = signal.getAverage();
        s.lowerThreshold = signal.getLowerThreshold(band);
        s.upperThreshold = signal.getUpperThreshold(band);
        result.append(s);
    }
    return result;
}
