// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "RunSummary.h"
#include "SignalSnapshot.h"

#include <QStringList>
#include <QVector>

/// Reports of many runs, combined signal by signal.
struct MergedReport
{
    RunSummary summary;
    QVector<SignalSnapshot> signalStates;
};

/**
 * Reads JSON reports of talveno-monitor (a document, the last line of JSON
 * Lines, or a merged report) and merges them exactly: counts add up, minima
 * and maxima combine, and averages and deviations combine through each
 * signal's count, mean and sum of squared deviations. Signals are the same
 * when name, unit, interface and source address are. False, with a message
 * naming the file (and the signal), for a file that is not such a report.
 */
bool mergeReports(const QStringList &files, MergedReport &merged, QString &error);

/// Adds the samples that from describes to those that into describes, by the
/// pairwise update of Chan, Golub and LeVeque: the means and the sums of squared
/// deviations (m2) combine without cancellation, whatever the sizes and means;
/// the samples per value label add up.
void mergeStatistics(SignalSnapshot &into, const SignalSnapshot &from);
