// SPDX-License-Identifier: LGPL-2.1-or-later
#include "MetricFamilies.h"
#include "FaultMetrics.h"

#include <QSet>
#include <QStringList>

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

namespace
{
// Which signals a figure exists for.
enum class Scope {
    WithSamples,
    Seen, ///< carried by a frame at least once
    Defined, ///< also those never seen
};

struct SignalMetric
{
    const char *name;
    const char *help;
    MetricType type;
    Scope scope;
    /// In the signal's own unit, which the help then names.
    bool inSignalUnit;
    double (*read)(const SignalSnapshot &);
};

// Every metric of a signal, once.
const SignalMetric signalMetrics[] = {
    {"talveno_signal_value",
     "The newest scaled sample",
     MetricType::Gauge,
     Scope::WithSamples,
     true,
     [](const SignalSnapshot &s) {
         return s.newest;
     }},
    {"talveno_signal_average",
     "The average of every sample since the start, as cached at the newest sample",
     MetricType::Gauge,
     Scope::WithSamples,
     true,
     [](const SignalSnapshot &s) {
         return s.cachedAverage;
     }},
    {"talveno_signal_deviation",
     "The population deviation of every sample since the start, as cached at the newest sample",
     MetricType::Gauge,
     Scope::WithSamples,
     true,
     [](const SignalSnapshot &s) {
         return s.deviation;
     }},
    {"talveno_signal_minimum",
     "The smallest sample since the start",
     MetricType::Gauge,
     Scope::WithSamples,
     true,
     [](const SignalSnapshot &s) {
         return s.minimum;
     }},
    {"talveno_signal_maximum",
     "The largest sample since the start",
     MetricType::Gauge,
     Scope::WithSamples,
     true,
     [](const SignalSnapshot &s) {
         return s.maximum;
     }},
    {"talveno_signal_median",
     "The median of the stored history",
     MetricType::Gauge,
     Scope::WithSamples,
     true,
     [](const SignalSnapshot &s) {
         return s.median;
     }},
    {"talveno_signal_rating",
     "How typical the newest sample is, from 100 within half the band around the average falling linearly to 0 "
     "at the band's edges, 0 outside it",
     MetricType::Gauge,
     Scope::WithSamples,
     false,
     [](const SignalSnapshot &s) {
         return double(s.rating);
     }},
    {"talveno_signal_lower_threshold",
     "The band's lower edge, average - k x deviation (--band k)",
     MetricType::Gauge,
     Scope::WithSamples,
     true,
     [](const SignalSnapshot &s) {
         return s.lowerThreshold;
     }},
    {"talveno_signal_upper_threshold",
     "The band's upper edge, average + k x deviation (--band k)",
     MetricType::Gauge,
     Scope::WithSamples,
     true,
     [](const SignalSnapshot &s) {
         return s.upperThreshold;
     }},
    {"talveno_signal_outside_band_samples",
     "Samples of the stored history outside the band",
     MetricType::Gauge,
     Scope::WithSamples,
     false,
     [](const SignalSnapshot &s) {
         return double(s.outsideBand);
     }},
    {"talveno_signal_age_seconds",
     "Seconds since the newest sample, by the wall clock",
     MetricType::Gauge,
     Scope::WithSamples,
     false,
     [](const SignalSnapshot &s) {
         return s.age;
     }},
    {"talveno_signal_stale",
     "1 when no sample came for longer than --stale (by the wall clock, on a log also by log time), else 0; "
     "always 0 without --stale",
     MetricType::Gauge,
     Scope::Defined,
     false,
     [](const SignalSnapshot &s) {
         return s.stale ? 1.0 : 0.0;
     }},
    {"talveno_signal_frames_total",
     "Frames that carried the signal",
     MetricType::Counter,
     Scope::Seen,
     false,
     [](const SignalSnapshot &s) {
         return double(s.frames);
     }},
    {"talveno_signal_samples_total",
     "Samples decoded and taken in",
     MetricType::Counter,
     Scope::Seen,
     false,
     [](const SignalSnapshot &s) {
         return double(s.decodedSamples);
     }},
    {"talveno_signal_not_available_values_total",
     "Raw values that J1939 marks as not available (or reserved), skipped",
     MetricType::Counter,
     Scope::Seen,
     false,
     [](const SignalSnapshot &s) {
         return double(s.notAvailableSamples);
     }},
    {"talveno_signal_error_values_total",
     "Raw values that J1939 marks as an error, skipped",
     MetricType::Counter,
     Scope::Seen,
     false,
     [](const SignalSnapshot &s) {
         return double(s.errorSamples);
     }},
};

struct InputMetric
{
    const char *name;
    const char *help;
    quint64 InputFigures::*count;
};

// Every metric of an input, once.
const InputMetric inputMetrics[] = {
    {"talveno_input_frames_total", "Frames read", &InputFigures::frames},
    {"talveno_input_malformed_lines_total",
     "Lines of a log that are not a frame, skipped",
     &InputFigures::malformedLines},
    {"talveno_input_error_frames_total", "Error frames, which carry no signal", &InputFigures::errorFrames},
};

bool inScope(const SignalSnapshot &s, Scope scope)
{
    switch (scope) {
    case Scope::WithSamples:
        return s.decodedSamples > 0;
    case Scope::Seen:
        return !s.interfaceName.isEmpty();
    case Scope::Defined:
        break;
    }
    return true;
}

ClientMetric::Label label(const char *name, const QString &value)
{
    return ClientMetric::Label{name, value.toStdString()};
}

std::vector<ClientMetric::Label> labelsOf(const SignalSnapshot &s)
{
    std::vector<ClientMetric::Label> labels{label("signal", s.name)};
    if (!s.message.isEmpty()) {
        labels.push_back(label("message", s.message));
    }
    if (!s.interfaceName.isEmpty()) {
        labels.push_back(label("interface", s.interfaceName));
    }
    if (s.sourceAddress >= 0) {
        labels.push_back(label("source_address", sourceAddressText(s.sourceAddress)));
    }
    return labels;
}

// ", in the signal's unit: rpm for engine speed; % for pedal, load", each name once.
std::string unitsText(const QVector<SignalSnapshot> &signalStates)
{
    QStringList units;
    QVector<QStringList> names;
    QSet<QString> seen;
    for (const SignalSnapshot &s : signalStates) {
        const QString unit = s.unit.isEmpty() ? QStringLiteral("no unit") : s.unit;
        if (seen.contains(unit + QLatin1Char('\n') + s.name)) {
            continue;
        }
        seen.insert(unit + QLatin1Char('\n') + s.name);
        const int at = units.indexOf(unit);
        if (at < 0) {
            units.append(unit);
            names.append(QStringList(s.name));
        } else {
            names[at].append(s.name);
        }
    }
    QStringList groups;
    for (int i = 0; i < units.size(); ++i) {
        groups.append(units.at(i) + QStringLiteral(" for ") + names.at(i).join(QLatin1String(", ")));
    }
    return groups.isEmpty()
        ? std::string()
        : (QStringLiteral(", in the signal's unit: ") + groups.join(QLatin1String("; "))).toStdString();
}
}

std::vector<MetricFamily> metricFamilies(const LiveFigures &figures)
{
    const QVector<SignalSnapshot> &signalStates = figures.signalStates;
    std::vector<std::vector<ClientMetric::Label>> labels;
    labels.reserve(static_cast<std::size_t>(signalStates.size()));
    for (const SignalSnapshot &s : signalStates) {
        labels.push_back(labelsOf(s));
    }
    const std::string units = unitsText(signalStates);
    std::vector<MetricFamily> families;
    for (const SignalMetric &metric : signalMetrics) {
        MetricFamily family{metric.name, metric.inSignalUnit ? metric.help + units : metric.help, metric.type, {}};
        family.metric.reserve(labels.size());
        for (int i = 0; i < signalStates.size(); ++i) {
            const SignalSnapshot &s = signalStates.at(i);
            if (!inScope(s, metric.scope)) {
                continue;
            }
            ClientMetric sample;
            sample.label = labels[static_cast<std::size_t>(i)];
            (metric.type == MetricType::Counter ? sample.counter.value : sample.gauge.value) = metric.read(s);
            family.metric.push_back(std::move(sample));
        }
        if (!family.metric.empty()) {
            families.push_back(std::move(family));
        }
    }
    for (const InputMetric &metric : inputMetrics) {
        MetricFamily family{metric.name, metric.help, MetricType::Counter, {}};
        for (const InputFigures &input : figures.inputs) {
            ClientMetric sample;
            sample.label = {label("input", input.name)};
            sample.counter.value = static_cast<double>(input.*metric.count);
            family.metric.push_back(std::move(sample));
        }
        if (!family.metric.empty()) {
            families.push_back(std::move(family));
        }
    }
    appendFaultFamilies(figures.diagnostics, families);
    return families;
}
