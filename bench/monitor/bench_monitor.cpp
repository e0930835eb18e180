// SPDX-License-Identifier: LGPL-2.1-or-later
// talveno-monitor-bench [frames | --scrape]: the monitor's path on generated log lines
// (default 10 million frames), timed in three stages: parsing the lines,
// decoding the frames into raw values, and feeding the samples to the library.
// Beside them, on the same bytes and samples, two floors: a plain scan for the
// line ends, and the intake's work done on plain structs (the IntakeFloor of
// bench/bench_intake.cpp). Generating the lines is not timed.
//
// A second run decodes and feeds the same frames through the signals of a
// generated database of 2,000 messages and 20,000 signals (GeneratedDatabase.h),
// of which the frames hit the six that the built-in signals are; its senders
// kept to source address 00 as the built-in ones are, it feeds the same samples.
// Its loading (parsing the text, making the definitions and the decoder's index)
// is timed too.
//
// Last, the engine's intake of 1,000 signals with and without scraping
// (ScrapedIntake.h); --scrape runs that part alone.

#include "BuiltinSignals.h"
#include "FrameDecoder.h"
#include "FrameSource.h"
#include "GeneratedDatabase.h"
#include "IntakeFloor.h"
#include "LogFormatsBench.h"
#include "ScrapedIntake.h"
#include "SignalObjects.h"
#include "candump/CandumpLine.h"
#include "dbc/DbcParser.h"
#include "dbc/DbcSignals.h"

#include <Orvanet/GenericSignal.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
constexpr int batchFrames = 10000;

// A deterministic stream of compact log lines.
class LineGenerator
{
public:
    // Writes batchFrames lines into text, each ending in '\n'.
    void fill(std::vector<char> &text)
    {
        text.clear();
        for (int i = 0; i < batchFrames; ++i) {
            const CanFrame frame = frames.next();
            appendLine(text,
                       "(%06lld.%06lld) can0 %08X#%02X%02X%02X%02X%02X%02X%02X%02X\n",
                       static_cast<long long>(frame.timeMicroseconds / 1000000),
                       static_cast<long long>(frame.timeMicroseconds % 1000000),
                       static_cast<unsigned>(frame.id),
                       frame.data[0],
                       frame.data[1],
                       frame.data[2],
                       frame.data[3],
                       frame.data[4],
                       frame.data[5],
                       frame.data[6],
                       frame.data[7]);
        }
    }

private:
    FrameSource frames;
};

// Decoding and feeding, timed apart.
struct DecodeRun
{
    explicit DecodeRun(const QVector<SignalDefinition> &definitions)
        : decoder(definitions)
        , objects(decoder)
    {
    }

    void process(const std::vector<CanFrame> &frames, int count)
    {
        QElapsedTimer timer;
        timer.start();
        samples.clear();
        for (int i = 0; i < count; ++i) {
            const CanFrame &frame = frames[static_cast<std::size_t>(i)];
            times.take(frame.timeMicroseconds);
            decoder.decode(frame, times, samples);
        }
        decodeNs += timer.nsecsElapsed();
        timer.start();
        for (const DecodedSample &sample : std::as_const(samples)) {
            objects.feed(sample);
        }
        libraryNs += timer.nsecsElapsed();
        fed += samples.size();
    }

    FrameDecoder decoder;
    SignalObjects objects;
    FrameTimes times;
    std::vector<DecodedSample> samples;
    qint64 decodeNs = 0;
    qint64 libraryNs = 0;
    quint64 fed = 0;
};

// The generated database's signals from source address 00, and how long making
// them took.
QVector<SignalDefinition> databaseSignals(double &loadMilliseconds)
{
    const QByteArray text = generatedDatabase();
    QElapsedTimer timer;
    timer.start();
    DbcDatabase database;
    QVector<SignalDefinition> definitions;
    QString error;
    DatabaseChoices choices;
    choices.sourceAddress = 0;
    if (!parseDbc(text, QStringLiteral("generated.dbc"), database, error)
        || !appendDatabaseSignals(database, choices, definitions, error)) {
        std::fprintf(stderr, "the generated database does not load: %s\n", qPrintable(error));
        std::exit(1);
    }
    const FrameDecoder index(definitions);
    loadMilliseconds = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    return definitions;
}

// The intake floor for every signal of the monitor.
class IntakeFloors
{
public:
    explicit IntakeFloors(unsigned int capacity)
        : capacity(capacity)
    {
    }

    void feed(const DecodedSample &sample)
    {
        if (static_cast<std::size_t>(sample.signal) >= states.size()) {
            states.resize(static_cast<std::size_t>(sample.signal) + 1);
        }
        IntakeFloor::PlainSample plain;
        plain.raw = static_cast<double>(sample.raw);
        plain.auxDouble = sample.logSeconds;
        states[static_cast<std::size_t>(sample.signal)].intake(plain, capacity);
    }

    // Something of every signal's state, so that none of the work can be left out.
    double sum() const
    {
        double total = 0.0;
        for (const IntakeFloor::PlainSignal &signal : states) {
            total += signal.average + signal.deviation + signal.latest.scaled;
        }
        return total;
    }

private:
    const unsigned int capacity;
    std::vector<IntakeFloor::PlainSignal> states;
};
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    constexpr unsigned int capacity = 1000;
    GenericSignal::setMaxValueCount(capacity);
    if (argc > 1 && std::strcmp(argv[1], "--scrape") == 0) {
        return benchScrapedIntake() ? 0 : 1;
    }
    const long long frames = argc > 1 ? std::atoll(argv[1]) : 10000000LL;
    if (frames <= 0) {
        std::fprintf(stderr, "usage: talveno-monitor-bench [frames | --scrape]\n");
        return 2;
    }
    DecodeRun builtins(builtinSignals());
    double loadMilliseconds = 0.0;
    DecodeRun database(databaseSignals(loadMilliseconds));
    IntakeFloors floor(capacity);

    LineGenerator generator;
    std::vector<char> text;
    std::vector<CanFrame> parsed(batchFrames);
    qint64 scanNs = 0;
    qint64 parseNs = 0;
    qint64 floorNs = 0;
    long long done = 0;
    long long malformed = 0;
    std::size_t scanned = 0;
    QElapsedTimer timer;
    while (done < frames) {
        generator.fill(text);
        const int count = static_cast<int>(std::min<long long>(batchFrames, frames - done));
        const char *const end = text.data() + text.size();

        timer.start();
        const char *at = text.data();
        for (int i = 0; i < count; ++i) {
            at = static_cast<const char *>(std::memchr(at, '\n', static_cast<std::size_t>(end - at))) + 1;
        }
        scanNs += timer.nsecsElapsed();
        scanned += static_cast<std::size_t>(at - text.data());

        timer.start();
        int parsedCount = 0;
        at = text.data();
        for (int i = 0; i < count; ++i) {
            const char *lineEnd = static_cast<const char *>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
            if (parseCandumpLine(at,
                                 static_cast<std::size_t>(lineEnd - at),
                                 parsed[static_cast<std::size_t>(parsedCount)])
                    .status
                == LineParse::Frame) {
                ++parsedCount;
            } else {
                ++malformed;
            }
            at = lineEnd + 1;
        }
        parseNs += timer.nsecsElapsed();

        builtins.process(parsed, parsedCount);
        database.process(parsed, parsedCount);

        timer.start();
        for (const DecodedSample &sample : std::as_const(builtins.samples)) {
            floor.feed(sample);
        }
        floorNs += timer.nsecsElapsed();
        done += count;
    }

    const quint64 fed = builtins.fed;
    const qint64 decodeNs = builtins.decodeNs;
    const qint64 libraryNs = builtins.libraryNs;
    const double perFrame = static_cast<double>(done);
    const double perSample = fed ? static_cast<double>(fed) : 1.0;
    const auto row = [&](const char *name, qint64 ns, bool perSampleToo) {
        std::printf("%-14s %8.3f  %9.1f", name, static_cast<double>(ns) / 1e9, static_cast<double>(ns) / perFrame);
        if (perSampleToo) {
            std::printf("  %10.1f", static_cast<double>(ns) / perSample);
        }
        std::printf("\n");
    };
    const qint64 totalNs = parseNs + decodeNs + libraryNs;
    std::printf("%lld frames in %.0f MB of log text (%lld malformed), %llu samples fed\n\n",
                done,
                static_cast<double>(scanned) / 1e6,
                malformed,
                static_cast<unsigned long long>(fed));
    std::printf("%-14s %8s  %9s  %10s\n", "", "seconds", "ns/frame", "ns/sample");
    row("parse", parseNs, false);
    row("decode", decodeNs, false);
    row("library", libraryNs, true);
    row("all stages", totalNs, false);
    std::printf("floors, on the same bytes and samples:\n");
    row("line scan", scanNs, false);
    row("intake floor", floorNs, true);
    std::printf("\n");
    std::printf("parse / line scan       %6.1f x\n", static_cast<double>(parseNs) / static_cast<double>(scanNs));
    std::printf("library / intake floor  %6.1f x\n", static_cast<double>(libraryNs) / static_cast<double>(floorNs));
    std::printf("frames per second       %6.2f million, all stages\n",
                perFrame / (static_cast<double>(totalNs) / 1e9) / 1e6);

    const qint64 databaseNs = parseNs + database.decodeNs + database.libraryNs;
    std::printf("\ndatabase of %d messages and %d signals, loaded in %.1f ms; %llu samples fed\n",
                generatedMessages,
                generatedSignals,
                loadMilliseconds,
                static_cast<unsigned long long>(database.fed));
    row("decode", database.decodeNs, false);
    row("library", database.libraryNs, true);
    row("all stages", databaseNs, false);
    std::printf("frames per second       %6.2f million, all stages\n",
                perFrame / (static_cast<double>(databaseNs) / 1e9) / 1e6);
    std::printf("database / built-in     %6.2f x time, all stages (%.2f x decode and library)\n",
                static_cast<double>(databaseNs) / static_cast<double>(totalNs),
                static_cast<double>(database.decodeNs + database.libraryNs)
                    / static_cast<double>(decodeNs + libraryNs));
    // Read, so that none of the floor's work can be left out.
    volatile double floorState = floor.sum();
    static_cast<void>(floorState);
    // Every part runs, whichever misses its target.
    const bool scrapedMet = benchScrapedIntake();
    const bool logsMet = benchLogFormats(frames);
    return scrapedMet && logsMet ? 0 : 1;
}
