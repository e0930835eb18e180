// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"
#include "InterfaceNames.h"
#include "RouteTable.h"
#include "SignalDefinition.h"

#include <Talveno/GenericSignalImpl.h>

#include <QElapsedTimer>
#include <QHash>
#include <QPointF>
#include <QVector>

#include <memory>
#include <vector>

/// What the library knows about one signal at one moment.
struct SignalSnapshot
{
    QString name;
    QString unit;
    /// The interface that carried the signal; empty when no frame of it was seen.
    QString interfaceName;
    /// The sender of a J1939 signal; -1 for other signals and before any frame.
    int sourceAddress = -1;
    /// Interface and source address when the run has several of them, e.g.
    /// "can1, SA 0x17"; empty otherwise.
    QString origin;
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

/// One decoded raw value of one signal.
struct DecodedSample
{
    /// Which of the monitor's signals.
    int signal = 0;
    qint64 raw = 0;
    double logSeconds = 0.0;
};

/**
 * Decodes frames into samples and feeds each signal's samples, through the scaled
 * intake, into its own GenericSignalImpl<J1939Value> under the appending policy,
 * so that each signal's worker thread keeps its cached statistics fresh.
 *
 * A definition becomes one signal per interface and, for a J1939 definition
 * that takes every sender, per source address: each gets its signal object when
 * its first frame arrives.
 *
 * The history capacity is the process-wide GenericSignal::setMaxValueCount().
 * Each stored sample carries its log time in auxDouble, its source address in
 * auxByte1 and its parameter group (or identifier) in auxInt.
 */
class Monitor
{
public:
    struct Settings
    {
        /// The factor k of the band average -/+ k * deviation.
        double band = 2.0;
        /// Seconds without a sample after which a signal is stale; 0: never.
        double staleAfter = 0.0;
        /// Whether the frames come from a log, whose own time also measures age.
        bool logTime = true;
    };

    /// interfaces names the frames' interface indexes; it must outlive the monitor.
    Monitor(const QVector<SignalDefinition> &definitions, const InterfaceNames &interfaces, const Settings &settings);
    ~Monitor();
    Monitor(const Monitor &) = delete;
    Monitor &operator=(const Monitor &) = delete;

    /// decode() and feed() for every sample in the frame.
    void processFrame(const CanFrame &frame);
    /// Appends the frame's samples to out; returns how many. Counts the frame and
    /// the not-available and error values it carries.
    int decode(const CanFrame &frame, std::vector<DecodedSample> &out);
    /// Hands the sample to its signal.
    void feed(const DecodedSample &sample);

    /// Seconds since the first frame's timestamp; 0 before any frame.
    double logSeconds(const CanFrame &frame) const;
    /// The same for a time in microseconds on the frames' clock.
    double logSecondsAt(qint64 microseconds) const;
    /// The log's present: the newest frame's time, or a later one given to
    /// advanceLogTime().
    double lastLogSeconds() const;
    /// Moves the log's present on to the given seconds since the first frame, as
    /// a snapshot between two frames sees it; never back, and not before any frame.
    void advanceLogTime(double seconds);
    quint64 frameCount() const;
    /// The stamps of the first and the last frame, in microseconds; 0 before any.
    qint64 firstFrameMicroseconds() const;
    qint64 lastFrameMicroseconds() const;

    /// One per signal, in the order of the definitions, then of the interfaces
    /// and source addresses; a definition that no frame matched has one, empty.
    QVector<SignalSnapshot> snapshot();
    QVector<SignalSeries> series();

private:
    struct Watched
    {
        int definition = 0;
        quint16 interfaceIndex = 0;
        int sourceAddress = -1;
        std::unique_ptr<GenericSignalImpl<J1939Value>> signal;
        /// The next sample, with the fields that never change for this signal
        /// filled in once; each intake takes it over and only the raw value and
        /// the time are set again.
        J1939Value next;
        quint64 decodedSamples = 0;
        quint64 notAvailableSamples = 0;
        quint64 errorSamples = 0;
        quint64 tooShortFrames = 0;
        double newestLogSeconds = 0.0;
    };

    /// A line of the report: a signal, or a definition that no frame matched.
    struct Row
    {
        int definition = 0;
        /// Index into watched, or -1.
        int watched = -1;
    };

    const QVector<int> &route(const CanFrame &frame);
    int watchedFor(int definition, const CanFrame &frame);
    QVector<Row> rows() const;
    QString origin(const Watched &entry) const;
    SignalSnapshot emptySnapshot(int definition) const;
    SignalSnapshot snapshotOf(Watched &entry);

    QVector<SignalDefinition> definitions;
    const InterfaceNames &interfaces;
    Settings settings;
    std::vector<Watched> watched;
    /// The signals a frame feeds, by interface, format and identifier: worked out
    /// once per identifier, then looked up.
    RouteTable routes;
    QHash<quint64, int> watchedByKey;
    std::vector<DecodedSample> frameSamples;
    QElapsedTimer runTimer;
    quint64 frames = 0;
    bool haveFirstTime = false;
    qint64 firstTimeMicroseconds = 0;
    qint64 lastTimeMicroseconds = 0;
};
