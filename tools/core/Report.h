// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "Monitor.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTextStream>

/// How the report is written to standard output.
enum class ReportFormat {
    Table, ///< aligned columns for a person, one table per snapshot
    Csv, ///< one header line, then a row per signal and snapshot
    Json, ///< one document; with snapshots, JSON Lines: one object per snapshot and one for the end
};

/// The run as a whole, for the end of the report.
struct RunSummary
{
    QString input;
    /// Why the run ended: "end of input", "SIGINT", "SIGTERM", "SIGHUP", "bus
    /// failure" or "malformed line" (--strict).
    QString ending = QStringLiteral("end of input");
    quint64 lines = 0;
    quint64 frames = 0;
    quint64 malformedLines = 0;
    /// Error frames, which carry no signal.
    quint64 errorFrames = 0;
    /// Log time for a log, seconds since the start on a bus.
    double seconds = 0.0;
    double band = 2.0;
    /// The history holds from this many samples up to a tenth more; 0: every sample.
    unsigned int historyCapacity = 0;
    /// Reports merged into this one, for a merged report; empty otherwise.
    QStringList mergedReports;
    /// The log's canonical path (empty: input names it), its size in bytes (0 for
    /// buses) and the stamps of its first and last frame in microseconds: with the
    /// frame count, what tells a merge that it was given one run's report twice.
    QString canonicalInput;
    qint64 inputBytes = 0;
    qint64 firstFrameMicroseconds = 0;
    qint64 lastFrameMicroseconds = 0;
    /// For a merged report: the identities of the runs merged into it.
    QJsonArray identities;
};

/// The run's identity as reports carry it (under "identities"): input, bytes,
/// frames, firstFrame and lastFrame.
QJsonObject inputIdentity(const RunSummary &summary);

/**
 * Writes each snapshot as soon as it is taken, flushed, in every format.
 *
 * The table fits 80 columns: two lines per signal, the name with its unit,
 * sample count, rating and outside count, then the values; --wide gives one
 * line per signal with every column. A signal without samples shows blanks
 * (null in JSON) where a statistic would be. The table shows a signal's values
 * in the decimals of its resolution; CSV and JSON in full.
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
        /// Times are log time (a log) or time since the start (a bus).
        bool logTime = true;
        /// The stale limit in seconds, 0 for none: the table then has no stale column.
        double staleAfter = 0.0;
        /// A report merged from others.
        bool merged = false;
    };

    Report(const Settings &settings, QTextStream &out);

    /// A snapshot taken at the given time while the frames stream in. False when
    /// the output has failed.
    bool addSnapshot(double seconds, const QVector<SignalSnapshot> &signalStates);
    /// Says that so many snapshots between the two times were left out (in the
    /// table and JSON; CSV has no line for it). False when the output has failed.
    bool addSkipped(double from, double to, quint64 snapshots);
    /// The final state.
    void finish(const RunSummary &summary, const QVector<SignalSnapshot> &signalStates);

private:
    void writeTable(QTextStream &to, const QVector<SignalSnapshot> &signalStates);
    void writeCsvRows(double seconds, const QVector<SignalSnapshot> &signalStates);
    void writeFooter(const RunSummary &summary);
    void writeTooShort(const QVector<SignalSnapshot> &signalStates);
    QString timeText(double seconds) const;

    Settings settings;
    QTextStream &out;
    bool csvHeaderWritten = false;
    QVector<int> keptFirstWidths;
    QVector<int> keptSecondWidths;
};
