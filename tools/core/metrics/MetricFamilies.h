// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "J1939Diagnostics.h"
#include "SignalSnapshot.h"

#include <prometheus/metric_family.h>

#include <QString>
#include <QVector>

#include <vector>

/// What one input of a run (a log, or a bus) has brought so far.
struct InputFigures
{
    /// The log as given ("-" for standard input), or the bus as PLUGIN:INTERFACE.
    QString name;
    quint64 frames = 0;
    quint64 malformedLines = 0;
    quint64 errorFrames = 0;
};

/// What one scrape shows: the engine's snapshot of the signals, and the inputs.
struct LiveFigures
{
    QVector<SignalSnapshot> signalStates;
    QVector<InputFigures> inputs;
    /// The J1939 active faults and lamps (appendFaultFamilies()).
    J1939Diagnostics diagnostics;
};

/**
 * The figures as Prometheus metric families, named by its conventions: the
 * prefix talveno_, seconds for times, _total on counters.
 *
 * A signal's series carry the labels signal, interface, source_address (J1939
 * signals) and message (database signals). Its statistics appear once it has a
 * sample, its counters once a frame carried it; the stale flag also for a signal
 * never seen, with the signal label alone. Figures in the signal's own unit name
 * the units of all signals in their help. An input's series carry the label input.
 */
std::vector<prometheus::MetricFamily> metricFamilies(const LiveFigures &figures);
