// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"
#include "SignalDefinition.h"

#include <Talveno/GenericSignalImpl.h>

#include <QPointF>
#include <QVector>

#include <memory>
#include <vector>

/// What the library knows about one signal at one moment.
struct SignalSnapshot
{
    QString name;
    QString unit;
    /// Every sample decoded so far, and those skipped as not available.
    quint64 decodedSamples = 0;
    quint64 notAvailableSamples = 0;
    /// Samples in the history, at most the capacity plus a tenth.
    int storedSamples = 0;
    bool hasNewest = false;
    double newest = 0.0;
    double cachedAverage = 0.0;
    double liveAverage = 0.0;
    double deviation = 0.0;
    double minimum = 0.0;
    double maximum = 0.0;
    double median = 0.0;
    quint8 rating = 100;
    double lowerThreshold = 0.0;
    double upperThreshold = 0.0;
    int outsideBand = 0;
};

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

/// One decoded raw value of one signal.
struct DecodedSample
{
    int signal = 0;
    qint64 raw = 0;
    double logSeconds = 0.0;
    quint8 sourceAddress = 0;
};

/**
 * Decodes frames into samples and feeds each signal's samples, through the scaled
 * intake, into its own GenericSignalImpl<J1939Value> under the appending policy,
 * so that each signal's worker thread keeps its cached statistics fresh.
 *
 * The history capacity is the process-wide GenericSignal::setMaxValueCount().
 * Each stored sample carries its log time in auxDouble, its source address in
 * auxByte1 and its parameter group (or identifier) in auxInt.
 */
class Monitor
{
public:
    /// band is the factor k of the band average -/+ k * deviation.
    Monitor(const QVector<SignalDefinition> &definitions, double band);
    ~Monitor();
    Monitor(const Monitor &) = delete;
    Monitor &operator=(const Monitor &) = delete;

    /// decode() and feed() for every sample in the frame.
    void processFrame(const CanFrame &frame);
    /// Appends the frame's samples to out; returns how many. Counts the frame and
    /// the not-available values it carries.
    int decode(const CanFrame &frame, QVector<DecodedSample> &out);
    /// Hands the sample to its signal.
    void feed(const DecodedSample &sample);

    /// Seconds since the first frame's timestamp; 0 before any frame.
    double logSeconds(const CanFrame &frame) const;
    double lastLogSeconds() const;
    quint64 frameCount() const;

    int signalCount() const;
    QVector<SignalSnapshot> snapshot();
    QVector<SignalSeries> series();

private:
    struct Watched
    {
        SignalDefinition definition;
        std::unique_ptr<GenericSignalImpl<J1939Value>> signal;
        quint64 decodedSamples = 0;
        quint64 notAvailableSamples = 0;
    };

    std::vector<Watched> watched;
    QVector<DecodedSample> frameSamples;
    double band;
    quint64 frames = 0;
    bool haveFirstTime = false;
    qint64 firstTimeMicroseconds = 0;
    double lastSeconds = 0.0;
};
