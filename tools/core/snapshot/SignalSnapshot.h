// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QMap>
#include <QPointF>
#include <QString>
#include <QVector>

/// What the library knows about one signal at one moment.
struct SignalSnapshot
{
    QString name;
    QString unit;
    /// The database message that carries the signal; empty for other signals.
    QString message;
    /// The interface that carried the signal; empty when no frame of it was seen.
    QString interfaceName;
    /// The sender of a J1939 signal; -1 for other signals and before any frame.
    int sourceAddress = -1;
    /// Interface and source address when the run has several of them, e.g.
    /// "can1, SA 0x17"; empty otherwise.
    QString origin;
    /// The frames that carried the signal.
    quint64 frames = 0;
    /// Every sample decoded so far, and the raw values that J1939 marks as not
    /// available (or reserved) and as an error, which are skipped.
    quint64 decodedSamples = 0;
    quint64 notAvailableSamples = 0;
    quint64 errorSamples = 0;
    /// The signal's resolution, the factor of its scaling; 0 when not known.
    double factor = 0.0;
    /// Frames that matched but end before the signal's last bit.
    quint64 tooShortFrames = 0;
    /// Samples in the history, at most the capacity plus a tenth.
    int storedSamples = 0;
    double newest = 0.0;
    /// The database's name of the newest raw value; empty where it names none.
    QString newestLabel;
    /// Samples per named raw value, for signals whose database names values.
    QMap<QString, quint64> labelSamples;
    double cachedAverage = 0.0;
    double liveAverage = 0.0;
    double deviation = 0.0;
    /// The sum of squared deviations from the average, which merges exactly
    /// where deviations do not.
    double m2 = 0.0;
    double minimum = 0.0;
    double maximum = 0.0;
    double median = 0.0;
    quint8 rating = 100;
    double lowerThreshold = 0.0;
    double upperThreshold = 0.0;
    int outsideBand = 0;
    /// Seconds since the newest sample by the library's clock; -1 before any.
    double age = -1.0;
    /// The same in log time, for a log; -1 on a bus and before any sample.
    double logAge = -1.0;
    /// No sample for longer than the stale limit, by either clock.
    bool stale = false;
};

/// A J1939 source address as every report writes it: "0x17".
QString sourceAddressText(int sourceAddress);
/// "can1, SA 0x17": the interface unless empty, the source address unless -1.
QString originText(const QString &interfaceName, int sourceAddress);

/// A signal's history against log time, for a plot.
struct SignalSeries
{
    QString name;
    /// Where the signal was seen when that is not plain: interface and source
    /// address, e.g. "can1, SA 0x17"; empty otherwise.
    QString origin;
    QString unit;
    QVector<QPointF> samples;
    QVector<QPointF> outside;
    double average = 0.0;
    double lowerThreshold = 0.0;
    double upperThreshold = 0.0;
};
