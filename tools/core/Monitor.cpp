// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Monitor.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

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

Monitor::Monitor(const QVector<SignalDefinition> &definitions,
                 const InterfaceNames &interfaces,
                 const Settings &settings)
    : definitions(definitions)
    , interfaces(interfaces)
    , settings(settings)
{
    runTimer.start();
}

Monitor::~Monitor() = default;

double Monitor::logSeconds(const CanFrame &frame) const
{
    return logSecondsAt(frame.timeMicroseconds);
}

double Monitor::logSecondsAt(qint64 microseconds) const
{
    return haveFirstTime ? static_cast<double>(microseconds - firstTimeMicroseconds) / 1e6 : 0.0;
}

void Monitor::advanceLogTime(double seconds)
{
    if (haveFirstTime) {
        lastTimeMicroseconds =
            std::max(lastTimeMicroseconds, firstTimeMicroseconds + static_cast<qint64>(std::llround(seconds * 1e6)));
    }
}

int Monitor::watchedFor(int definition, const CanFrame &frame)
{
    const SignalDefinition &d = definitions.at(definition);
    const int sourceAddress = d.j1939 ? static_cast<int>(frame.id & 0xFF) : -1;
    const quint64 key = watchedKey(definition, frame.interfaceIndex, sourceAddress);
    const auto known = watchedByKey.constFind(key);
    if (known != watchedByKey.cend()) {
        return known.value();
    }
    Watched entry;
    entry.definition = definition;
    entry.interfaceIndex = frame.interfaceIndex;
    entry.sourceAddress = sourceAddress;
    entry.signal = std::make_unique<GenericSignalImpl<J1939Value>>();
    entry.signal->setDatatype(d.dataType);
    entry.signal->setValueHandling(GenericSignal::Append);
    entry.next.auxByte1 = static_cast<quint8>(std::max(sourceAddress, 0));
    entry.next.auxInt = static_cast<qint32>(d.j1939 ? d.pgn : d.id);
    watched.push_back(std::move(entry));
    const int index = static_cast<int>(watched.size()) - 1;
    watchedByKey.insert(key, index);
    return index;
}

const QVector<int> &Monitor::route(const CanFrame &frame)
{
    const quint64 key = routeKey(frame);
    if (const QVector<int> *known = routes.find(key)) {
        return *known;
    }
    QVector<int> targets;
    for (int i = 0; i < definitions.size(); ++i) {
        if (matches(definitions.at(i), frame)) {
            targets.append(watchedFor(i, frame));
        }
    }
    return routes.insert(key, targets);
}

int Monitor::decode(const CanFrame &frame, std::vector<DecodedSample> &out)
{
    if (!haveFirstTime) {
        haveFirstTime = true;
        firstTimeMicroseconds = frame.timeMicroseconds;
    }
    ++frames;
    // Seconds are worked out for the frames that carry a sample, and on demand.
    lastTimeMicroseconds = frame.timeMicroseconds;
    if (frame.remote) {
        return 0;
    }
    int found = 0;
    double seconds = -1.0;
    for (const int target : route(frame)) {
        Watched &entry = watched[static_cast<std::size_t>(target)];
        DecodedSample sample;
        switch (::decode(definitions.at(entry.definition), frame, sample.raw)) {
        case Decoding::Sample:
            sample.signal = target;
            if (seconds < 0.0) {
                seconds = logSeconds(frame);
            }
            sample.logSeconds = seconds;
            out.push_back(sample);
            ++found;
            break;
        case Decoding::NotAvailable:
            ++entry.notAvailableSamples;
            break;
        case Decoding::Error:
            ++entry.errorSamples;
            break;
        case Decoding::TooShort:
            ++entry.tooShortFrames;
            break;
        }
    }
    return found;
}

void Monitor::feed(const DecodedSample &sample)
{
    Watched &entry = watched[static_cast<std::size_t>(sample.signal)];
    const SignalDefinition &definition = definitions.at(entry.definition);
    J1939Value &value = entry.next;
    value.rawValue = definition.isSigned ? QVariant(static_cast<qlonglong>(sample.raw))
                                         : QVariant(static_cast<qulonglong>(sample.raw));
    value.auxDouble = sample.logSeconds;
    // Handed over, not copied: the intake takes its sample by value.
    entry.signal->setNewValue(std::move(value), definition.factor, definition.offset);
    ++entry.decodedSamples;
    entry.newestLogSeconds = sample.logSeconds;
}

void Monitor::processFrame(const CanFrame &frame)
{
    frameSamples.clear();
    decode(frame, frameSamples);
    for (const DecodedSample &sample : std::as_const(frameSamples)) {
        feed(sample);
    }
}

double Monitor::lastLogSeconds() const
{
    return logSecondsAt(lastTimeMicroseconds);
}

quint64 Monitor::frameCount() const
{
    return frames;
}

qint64 Monitor::firstFrameMicroseconds() const
{
    return firstTimeMicroseconds;
}

qint64 Monitor::lastFrameMicroseconds() const
{
    return lastTimeMicroseconds;
}

QVector<Monitor::Row> Monitor::rows() const
{
    QVector<Row> result;
    result.reserve(static_cast<int>(watched.size()) + definitions.size());
    for (int i = 0; i < static_cast<int>(watched.size()); ++i) {
        result.append(Row{watched[static_cast<std::size_t>(i)].definition, i});
    }
    for (int definition = 0; definition < definitions.size(); ++definition) {
        const auto hasSignal = [definition](const Row &row) {
            return row.definition == definition;
        };
        if (std::none_of(result.cbegin(), result.cend(), hasSignal)) {
            result.append(Row{definition, -1});
        }
    }
    std::sort(result.begin(), result.end(), [this](const Row &a, const Row &b) {
        const auto key = [this](const Row &row) {
            const Watched *entry = row.watched < 0 ? nullptr : &watched[static_cast<std::size_t>(row.watched)];
            return std::make_tuple(row.definition,
                                   entry ? entry->interfaceIndex : quint16(0),
                                   entry ? entry->sourceAddress : -1);
        };
        return key(a) < key(b);
    });
    return result;
}

QString sourceAddressText(int sourceAddress)
{
    return QStringLiteral("0x") + QString::number(sourceAddress, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

QString originText(const QString &interfaceName, int sourceAddress)
{
    QStringList parts;
    if (!interfaceName.isEmpty()) {
        parts.append(interfaceName);
    }
    if (sourceAddress >= 0) {
        parts.append(QStringLiteral("SA ") + sourceAddressText(sourceAddress));
    }
    return parts.join(QLatin1String(", "));
}

QString Monitor::origin(const Watched &entry) const
{
    return originText(interfaces.count() > 1 ? interfaces.name(entry.interfaceIndex) : QString(),
                      definitions.at(entry.definition).anySourceAddress ? entry.sourceAddress : -1);
}

SignalSnapshot Monitor::emptySnapshot(int definition) const
{
    SignalSnapshot s;
    s.name = definitions.at(definition).name;
    s.unit = definitions.at(definition).unit;
    s.factor = definitions.at(definition).factor;
    // Never seen at all: stale once the run has lasted longer than the limit.
    const double runSeconds = std::max(runTimer.elapsed() / 1000.0, settings.logTime ? lastLogSeconds() : 0.0);
    s.stale = settings.staleAfter > 0.0 && runSeconds > settings.staleAfter;
    return s;
}

SignalSnapshot Monitor::snapshotOf(Watched &entry)
{
    GenericSignalImpl<J1939Value> &signal = *entry.signal;
    const double band = settings.band;
    SignalSnapshot s = emptySnapshot(entry.definition);
    s.interfaceName = interfaces.name(entry.interfaceIndex);
    s.sourceAddress = entry.sourceAddress;
    s.origin = origin(entry);
    s.decodedSamples = entry.decodedSamples;
    s.notAvailableSamples = entry.notAvailableSamples;
    s.errorSamples = entry.errorSamples;
    s.tooShortFrames = entry.tooShortFrames;
    s.storedSamples = signal.getValueCount();
    s.newest = signal.getValue().scaledValue.toDouble();
    s.cachedAverage = signal.getAverage();
    s.liveAverage = signal.calcAverage();
    s.deviation = signal.getDeviation();
    const double liveDeviation = signal.calcDeviation();
    s.m2 = liveDeviation * liveDeviation * static_cast<double>(entry.decodedSamples);
    s.minimum = signal.getMin();
    s.maximum = signal.getMax();
    s.median = signal.calcMedian();
    s.rating = signal.getRating(band, false, 0.0, 0.0);
    s.lowerThreshold = signal.getLowerThreshold(band);
    s.upperThreshold = signal.getUpperThreshold(band);
    s.outsideBand = signal.getDeviators(band).size();
    if (entry.decodedSamples > 0) {
        s.age = signal.getAgeInSeconds();
        s.logAge = settings.logTime ? lastLogSeconds() - entry.newestLogSeconds : -1.0;
        s.stale = settings.staleAfter > 0.0 && std::max(s.age, s.logAge) > settings.staleAfter;
    }
    return s;
}

QVector<SignalSnapshot> Monitor::snapshot()
{
    QVector<SignalSnapshot> result;
    for (const Row &row : rows()) {
        result.append(row.watched < 0 ? emptySnapshot(row.definition)
                                      : snapshotOf(watched[static_cast<std::size_t>(row.watched)]));
    }
    return result;
}

QVector<SignalSeries> Monitor::series()
{
    QVector<SignalSeries> result;
    for (const Row &row : rows()) {
        SignalSeries s;
        s.name = definitions.at(row.definition).name;
        s.unit = definitions.at(row.definition).unit;
        if (row.watched >= 0) {
            const Watched &entry = watched[static_cast<std::size_t>(row.watched)];
            GenericSignalImpl<J1939Value> &signal = *entry.signal;
            s.origin = origin(entry);
            const QVector<J1939Value> history = signal.getValues();
            for (const J1939Value &value : history) {
                s.samples.append(QPointF(value.auxDouble, value.scaledValue.toDouble()));
            }
            const QVector<J1939Value> outside = signal.getDeviators(settings.band);
            for (const J1939Value &value : outside) {
                s.outside.append(QPointF(value.auxDouble, value.scaledValue.toDouble()));
            }
            s.average = signal.getAverage();
            s.lowerThreshold = signal.getLowerThreshold(settings.band);
            s.upperThreshold = signal.getUpperThreshold(settings.band);
        }
        result.append(s);
    }
    return result;
}
