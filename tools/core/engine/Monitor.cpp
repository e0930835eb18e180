// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Monitor.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace
{
// The first definition that gives an SPN names it.
QHash<quint32, QString> spnNamesOf(const QVector<SignalDefinition> &definitions)
{
    QHash<quint32, QString> names;
    for (const SignalDefinition &definition : definitions) {
        if (definition.spn >= 0 && !names.contains(static_cast<quint32>(definition.spn))) {
            names.insert(static_cast<quint32>(definition.spn), definition.name);
        }
    }
    return names;
}
}

Monitor::Monitor(const QVector<SignalDefinition> &definitions,
                 const InterfaceNames &interfaces,
                 const RunSettings &settings)
    : interfaces(interfaces)
    , settings(settings)
    , decoder(definitions)
    , objects(decoder)
    , traffic(interfaces, times, spnNamesOf(definitions))
{
    decoder.listen(&traffic);
    runTimer.start();
}

void Monitor::processFrame(const CanFrame &frame)
{
    times.take(frame.timeMicroseconds);
    present = times.secondsAt(times.last());
    ++frames;
    frameSamples.clear();
    decoder.decode(frame, times, frameSamples);
    for (const DecodedSample &sample : std::as_const(frameSamples)) {
        objects.feed(sample);
    }
}

double Monitor::logSeconds(const CanFrame &frame) const
{
    return times.secondsAt(frame.timeMicroseconds);
}

double Monitor::logSecondsAt(qint64 microseconds) const
{
    return times.secondsAt(microseconds);
}

double Monitor::lastLogSeconds() const
{
    return present;
}

void Monitor::advanceLogTime(double seconds)
{
    times.advanceTo(times.first() + static_cast<qint64>(std::llround(seconds * 1e6)));
    present = times.secondsAt(times.last());
}

quint64 Monitor::frameCount() const
{
    return frames;
}

const FrameTimes &Monitor::frameTimes() const
{
    return times;
}

QVector<Monitor::Row> Monitor::rows() const
{
    const PublishedList<WatchedSignal> &watched = decoder.watched();
    const int count = static_cast<int>(watched.size());
    const int definitions = decoder.definitions().size();
    QVector<Row> result;
    result.reserve(count + definitions);
    std::vector<bool> seen(static_cast<std::size_t>(definitions), false);
    for (int i = 0; i < count; ++i) {
        result.append(Row{watched[static_cast<std::size_t>(i)].definition, i});
        seen[static_cast<std::size_t>(result.last().definition)] = true;
    }
    for (int definition = 0; definition < definitions; ++definition) {
        if (!seen[static_cast<std::size_t>(definition)]) {
            result.append(Row{definition, -1});
        }
    }
    const auto key = [&watched](const Row &row) {
        const WatchedSignal *signal = row.watched < 0 ? nullptr : &watched[static_cast<std::size_t>(row.watched)];
        return std::make_tuple(row.definition,
                               signal ? signal->interfaceIndex : quint16(0),
                               signal ? signal->sourceAddress : -1);
    };
    std::sort(result.begin(), result.end(), [&key](const Row &a, const Row &b) { return key(a) < key(b); });
    return result;
}

QString Monitor::origin(const WatchedSignal &signal) const
{
    return originText(interfaces.count() > 1 ? interfaces.name(signal.interfaceIndex) : QString(),
                      decoder.definitions().at(signal.definition).anySourceAddress ? signal.sourceAddress : -1);
}

SignalSnapshot Monitor::emptySnapshot(int definition) const
{
    const SignalDefinition &d = decoder.definitions().at(definition);
    SignalSnapshot s;
    s.name = d.name;
    s.unit = d.unit;
    s.message = d.message;
    s.factor = d.factor;
    // Never seen at all: stale once the run has lasted longer than the limit.
    const double runSeconds = std::max(runTimer.elapsed() / 1000.0, settings.logTime ? lastLogSeconds() : 0.0);
    s.stale = settings.staleAfter > 0.0 && runSeconds > settings.staleAfter;
    return s;
}

SignalSnapshot Monitor::snapshotOf(int watched)
{
    const WatchedSignal &signal = decoder.watched()[static_cast<std::size_t>(watched)];
    SignalSnapshot s = emptySnapshot(signal.definition);
    s.interfaceName = interfaces.name(signal.interfaceIndex);
    s.sourceAddress = signal.sourceAddress;
    s.origin = origin(signal);
    s.frames = signal.frames;
    s.decodedSamples = objects.sampleCount(watched);
    s.notAvailableSamples = signal.notAvailableSamples;
    s.errorSamples = signal.errorSamples;
    s.tooShortFrames = signal.tooShortFrames;
    objects.readFigures(watched, settings.band, s);
    if (s.decodedSamples > 0) {
        s.logAge = settings.logTime ? lastLogSeconds() - objects.newestLogSeconds(watched) : -1.0;
        s.stale = settings.staleAfter > 0.0 && std::max(s.age, s.logAge) > settings.staleAfter;
    }
    return s;
}

QVector<SignalSnapshot> Monitor::snapshot()
{
    QVector<SignalSnapshot> result;
    for (const Row &row : rows()) {
        result.append(row.watched < 0 ? emptySnapshot(row.definition) : snapshotOf(row.watched));
    }
    return result;
}

QVector<SignalSeries> Monitor::series()
{
    QVector<SignalSeries> result;
    for (const Row &row : rows()) {
        const SignalDefinition &definition = decoder.definitions().at(row.definition);
        SignalSeries s;
        s.name = definition.name;
        s.unit = definition.unit;
        if (row.watched >= 0) {
            s.origin = origin(decoder.watched()[static_cast<std::size_t>(row.watched)]);
            objects.readHistory(row.watched, settings.band, s);
        }
        result.append(s);
    }
    return result;
}

J1939Diagnostics Monitor::diagnostics() const
{
    return traffic.diagnostics();
}

void Monitor::expireSessions()
{
    traffic.expire();
}
