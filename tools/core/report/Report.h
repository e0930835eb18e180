// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "RunSettings.h"
#include "RunSummary.h"
#include "SignalSnapshot.h"

#include <QTextStream>
#include <QVector>

#include <memory>

/// How the report is written to standard output.
enum class ReportFormat {
    Table, ///< aligned columns for a person, one table per snapshot
    Csv, ///< one header line, then a row per signal and snapshot
    Json, ///< one document; with snapshots, JSON Lines: one object per snapshot and one for the end
};

/**
 * Writes each snapshot as soon as it is taken, flushed, in every format; each
 * format in a class of its own. A signal without samples shows blanks (null in
 * JSON) where a statistic would be.
 *
 * A merged report shows only what merges exactly: counts, mean, deviation (and
 * the sum of squared deviations it comes from), minimum and maximum.
 */
class Report
{
public:
    struct Settings
    {
        ReportFormat format = ReportFormat::Table;
        /// One table line per signal with every column.
        bool wide = false;
        /// Whether snapshots come before the end (JSON then goes out as JSON Lines).
        bool snapshots = false;
        /// A table on a terminal: each snapshot is drawn over the one before, from
        /// the top left corner, in columns that keep their widths.
        bool redraw = false;
        /// A report merged from others.
        bool merged = false;
        /// What the figures were worked out by: times are log time (a log) or time
        /// since the start (a bus); the table has a stale column with a stale
        /// limit; the band and the history explain the figures.
        RunSettings run;
    };

    /// The report in the format that settings chooses.
    static std::unique_ptr<Report> make(const Settings &settings, QTextStream &out);
    virtual ~Report();
    Report(const Report &) = delete;
    Report &operator=(const Report &) = delete;

    /// A snapshot taken at the given time while the frames stream in. False when
    /// the output has failed.
    bool addSnapshot(double seconds, const QVector<SignalSnapshot> &signalStates);
    /// Says that so many snapshots between the two times were left out (in the
    /// table and JSON; CSV has no line for it). False when the output has failed.
    bool addSkipped(double from, double to, quint64 snapshots);
    /// The final state.
    void finish(const RunSummary &summary, const QVector<SignalSnapshot> &signalStates);

protected:
    Report(const Settings &settings, QTextStream &out);

    virtual void writeSnapshot(double seconds, const QVector<SignalSnapshot> &signalStates) = 0;
    virtual void writeSkipped(double from, double to, quint64 snapshots) = 0;
    virtual void writeEnd(const RunSummary &summary, const QVector<SignalSnapshot> &signalStates) = 0;

    const Settings settings;
    QTextStream &out;
};
