// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Monitor.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

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
    present = times.last() - times.first();
    ++frames;
    decoder.decode(frame, times, [this](const DecodedSample &sample) { objects.feed(sample); });
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
    return static_cast<double>(present) / 1e6;
}

void Monitor::advanceLogTime(double seconds)
{
    times.advanceTo(times.first() + static_cast<qint64>(std::llround(seconds * 1e6)));
    present = times.last() - times.first();
}

quint64 Monitor::frameCount() const
{
    return frames;
}

const FrameTimes &Monitor::frameTimes() const
{
    return times;
}

bool Monitor::received(int watched) const
{
    const WatchedSignal &signal = decoder.watched()[static_cast<std::size_t>(watched)];
    return objects.sampleCount(watched) > 0 || signal.notAvailableSamples > 0 || signal.errorSamples > 0
        || signal.tooShortFrames > 0;
}

QVector<Monitor::Row> Monitor::rows() const
{
    const PublishedList<WatchedSignal> &watched = decoder.watched();
    const QVector<SignalDefinition> &definitions = decoder.definitions();
    QVector<Row> result;
    std::vector<bool> seen(static_cast<std::size_t>(definitions.size()), false);
    for (int i = 0; i < static_cast<int>(watched.size()); ++i) {
        const int definition = watched[static_cast<std::size_t>(i)].definition;
        if (definitions.at(definition).listedWithoutSamples || received(i)) {
            result.append(Row{definition, i});
            seen[static_cast<std::size_t>(definition)] = true;
        }
    }
    for (int definition = 0; definition < definitions.size(); ++definition) {
        if (!seen[static_cast<std::size_t>(definition)] && definitions.at(definition).listedWithoutSamples) {
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

quint64 Monitor::silentSignals() const
{
    const QVector<SignalDefinition> &definitions = decoder.definitions();
    std::vector<bool> heard(static_cast<std::size_t>(definitions.size()), false);
    for (int i = 0; i < static_cast<int>(decoder.watched().size()); ++i) {
        if (received(i)) {
            heard[static_cast<std::size_t>(decoder.watched()[static_cast<std::size_t>(i)].definition)] = true;
        }
    }
    quint64 silent = 0;
    for (int definition = 0; definition < definitions.size(); ++definition) {
        silent += !definitions.at(definition).listedWithoutSamples && !heard[static_cast<std::size_t>(definition)];
    }
    return silent;
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
    const QVector<ValueLabel> &labels = decoder.definitions().at(signal.definition).valueLabels;
    if (signal.newestLabel >= 0) {
        s.newestLabel = labels.at(signal.newestLabel).label;
    }
    for (std::size_t i = 0; i < signal.labelSamples.size(); ++i) {
        if (signal.labelSamples[i] > 0) {
            s.labelSamples[labels.at(static_cast<int>(i)).label] += signal.labelSamples[i];
        }
    }
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
