// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

/// Why a run ended.
enum class Ending {
    EndOfInput,
    Interrupted, ///< SIGINT
    Terminated, ///< SIGTERM
    HungUp, ///< SIGHUP: the terminal the run was started from has closed
    BusFailure,
    MalformedLine, ///< under --strict
};

/// As reports write it: "end of input", "SIGINT", "SIGTERM", "SIGHUP", "bus
/// failure" or "malformed line".
QString endingText(Ending ending);

/// The run as a whole, for the end of the report.
struct RunSummary
{
    QString input;
    /// The format the log was read in (candump, ASC, BLF, TRC), empty on buses;
    /// for a merged report, those of its runs, apart by ", ".
    QString inputFormat;
    /// What the log's records are: "lines", or "objects" in a BLF.
    QString records = QStringLiteral("lines");
    Ending ending = Ending::EndOfInput;
    quint64 lines = 0;
    quint64 frames = 0;
    quint64 malformedLines = 0;
    /// Error frames, which carry no signal.
    quint64 errorFrames = 0;
    /// Records passed over that are well formed but carry no frame: events and
    /// status of a text log, objects of other kinds in a BLF.
    quint64 skippedRecords = 0;
    /// Selected signals of databases that no frame brought a value, and that the
    /// report therefore leaves out.
    quint64 silentSignals = 0;
    /// Log time for a log, seconds since the start on a bus.
    double seconds = 0.0;
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

/// The counts of a run as JSON reports name them, which a merge adds up.
struct SummaryCount
{
    const char *key;
    quint64 RunSummary::*count;
};

inline constexpr SummaryCount summaryCounts[] = {
    {"lines", &RunSummary::lines},
    {"frames", &RunSummary::frames},
    {"malformedLines", &RunSummary::malformedLines},
    {"errorFrames", &RunSummary::errorFrames},
    {"skippedRecords", &RunSummary::skippedRecords},
};

/// The run's identity as reports carry it (under "identities"): input, bytes,
/// frames, firstFrame and lastFrame.
QJsonObject inputIdentity(const RunSummary &summary);
