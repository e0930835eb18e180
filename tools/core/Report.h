// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "Monitor.h"

#include <QJsonArray>
#include <QTextStream>

/// How the report is written to standard output.
enum class ReportFormat {
    Table, ///< aligned columns for a person, one table per snapshot
    Csv, ///< one header line, then a row per signal and snapshot
    Json, ///< one document at the end
};

/// The run as a whole, for the end of the report.
struct RunSummary
{
    QString input;
    quint64 lines = 0;
    quint64 frames = 0;
    quint64 malformedLines = 0;
    double logSeconds = 0.0;
    double band = 2.0;
    unsigned int historyCapacity = 0;
};

/// Writes snapshots as they come (table, csv) or collects them (json).
class Report
{
public:
    Report(ReportFormat format, QTextStream &out);

    /// A snapshot taken at the given log time while the log streams in.
    void addSnapshot(double logSeconds, const QVector<SignalSnapshot> &signalStates);
    /// The final state, after the whole log.
    void finish(const RunSummary &summary, const QVector<SignalSnapshot> &signalStates);

private:
    void writeTable(const QVector<SignalSnapshot> &signalStates);
    void writeCsvRows(double logSeconds, const QVector<SignalSnapshot> &signalStates);

    ReportFormat format;
    QTextStream &out;
    bool csvHeaderWritten = false;
    QJsonArray snapshots;
};

/// Shortest text that reads back as the same double.
QString exactNumber(double value);
