// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "FrameDecoder.h"
#include "PublishedList.h"
#include "Relaxed.h"
#include "SignalSnapshot.h"

#include <Talveno/GenericSignalImpl.h>

#include <atomic>
#include <memory>

/**
 * The library's side of the engine: a GenericSignalImpl<J1939Value> for each
 * watched signal, made at its first sample under the appending policy and fed
 * through the scaled intake, without a refresher thread: the threads of a run
 * do not grow with its signals.
 *
 * The history capacity is the process-wide GenericSignal::setMaxValueCount().
 * Each stored sample carries its log time in auxDouble, its source address in
 * auxByte1 and its parameter group (or identifier) in auxInt.
 *
 * Samples are fed on one thread; the counts, figures and histories may be read
 * from any other meanwhile.
 */
class SignalObjects
{
public:
    /// For the signals that decoder watches; it must outlive the objects.
    explicit SignalObjects(const FrameDecoder &decoder);
    ~SignalObjects();
    SignalObjects(const SignalObjects &) = delete;
    SignalObjects &operator=(const SignalObjects &) = delete;

    /// Hands the sample to its signal's object.
    void feed(const DecodedSample &sample);

    /// Samples fed to the signal so far.
    quint64 sampleCount(int signal) const;
    /// The log time of the signal's newest sample; 0 before any.
    double newestLogSeconds(int signal) const;
    /// What the library knows about the signal, with the band factor band: the
    /// statistics, the rating, the band and its age. A definition rated against
    /// its range takes the library's fixed-limit rating, and its range as the band.
    /// Leaves s alone for a signal without samples.
    void readFigures(int signal, double band, SignalSnapshot &s);
    /// The signal's history against log time, its band and the samples outside it.
    void readHistory(int signal, double band, SignalSeries &s);

private:
    struct Entry
    {
        const SignalDefinition *definition = nullptr;
        std::unique_ptr<GenericSignalImpl<J1939Value>> object;
        /// The same object for readers on other threads, once it is set up.
        std::atomic<GenericSignalImpl<J1939Value> *> published{nullptr};
        /// The next sample, with the fields that never change for this signal
        /// filled in once; each intake takes it over and only the raw value and
        /// the time are set again.
        J1939Value next;
        /// The library keeps this signal in doubles: its raw value is handed over
        /// as one, and its median is taken from the history's doubles.
        bool real64 = false;
        Relaxed<quint64> samples;
        Relaxed<double> newestLogSeconds;
        /// The median that the last reading found; any reader may set it, as it
        /// is only the first guess of the next.
        mutable Relaxed<double> previousMedian;
    };

    Entry &create(std::size_t signal);
    const Entry *entry(int signal) const;

    const FrameDecoder &decoder;
    /// By watched signal; one without samples yet has no object.
    PublishedList<Entry> entries;
};
