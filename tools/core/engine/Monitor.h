// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"
#include "FrameDecoder.h"
#include "FrameTimes.h"
#include "InterfaceNames.h"
#include "J1939Diagnostics.h"
#include "J1939Traffic.h"
#include "Relaxed.h"
#include "RunSettings.h"
#include "SignalDefinition.h"
#include "SignalObjects.h"
#include "SignalSnapshot.h"

#include <QElapsedTimer>
#include <QVector>

/**
 * The engine: frames in, through the decoder's routing and decoding, into the
 * library's signal objects; snapshots and histories out, for the reports. The
 * J1939 transport protocol's groups, put back together, go the frames' way; the
 * active faults and requests are kept apart, for the diagnostics.
 *
 * Frames are taken in on one thread. Snapshots may be taken on any thread, also
 * while frames come in (a signal first seen meanwhile is in the next one), and
 * are plain values, to be handed to any other.
 */
class Monitor
{
public:
    /// interfaces names the frames' interface indexes; it must outlive the monitor.
    Monitor(const QVector<SignalDefinition> &definitions,
            const InterfaceNames &interfaces,
            const RunSettings &settings);
    Monitor(const Monitor &) = delete;
    Monitor &operator=(const Monitor &) = delete;

    /// Takes in every sample in the frame.
    void processFrame(const CanFrame &frame);

    /// Seconds since the first frame's timestamp; 0 before any frame. On the
    /// thread that takes the frames, as are logSecondsAt(), advanceLogTime() and
    /// frameTimes().
    double logSeconds(const CanFrame &frame) const;
    /// The same for a time in microseconds on the frames' clock.
    double logSecondsAt(qint64 microseconds) const;
    /// The log's present: the newest frame's time, or a later one given to
    /// advanceLogTime(). From any thread, as frameCount().
    double lastLogSeconds() const;
    /// Moves the log's present on to the given seconds since the first frame, as
    /// a snapshot between two frames sees it; never back, and not before any frame.
    void advanceLogTime(double seconds);
    quint64 frameCount() const;
    const FrameTimes &frameTimes() const;

    /// One per signal, in the order of the definitions, then of the interfaces
    /// and source addresses. A definition that no frame matched has one, empty,
    /// unless it is listed only once it has samples (a database's signals), as
    /// its senders and interfaces are then.
    QVector<SignalSnapshot> snapshot();
    /// The definitions listed only with samples that have none yet.
    quint64 silentSignals() const;
    /// The same signals' histories.
    QVector<SignalSeries> series();
    /// The transport sessions, active faults and requests so far; a code is named
    /// by the definition that gives its SPN. From any thread.
    J1939Diagnostics diagnostics() const;
    /// Drops, as timed out, the transport sessions that have waited too long by
    /// the log's present, as at the end of a run.
    void expireSessions();

private:
    /// A line of the report: a watched signal, or a definition that no frame matched.
    struct Row
    {
        int definition = 0;
        /// Index into the decoder's watched signals, or -1.
        int watched = -1;
    };

    QVector<Row> rows() const;
    /// Whether any frame brought the watched signal a value, skipped or not.
    bool received(int watched) const;
    QString origin(const WatchedSignal &signal) const;
    SignalSnapshot emptySnapshot(int definition) const;
    SignalSnapshot snapshotOf(int watched);

    const InterfaceNames &interfaces;
    const RunSettings settings;
    FrameDecoder decoder;
    SignalObjects objects;
    J1939Traffic traffic;
    FrameTimes times;
    QElapsedTimer runTimer;
    Relaxed<quint64> frames;
    /// lastLogSeconds() in microseconds, for the threads that take snapshots:
    /// kept whole, so that a frame pays no division for it.
    Relaxed<qint64> present;
};
