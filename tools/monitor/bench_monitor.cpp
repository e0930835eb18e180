// SPDX-License-Identifier: LGPL-2.1-or-later
// talveno-monitor-bench [frames]: the monitor's path on generated log lines
// (default 10 million frames), timed in three stages: parsing the lines,
// decoding the frames into raw values, and feeding the samples to the library.
// Generating the lines is not timed.

#include "BuiltinSignals.h"
#include "LogParser.h"
#include "Monitor.h"

#include <Orvanet/GenericSignal.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstring>
#include <vector>

namespace
{
constexpr int batchFrames = 10000;

// Identifiers of the built-in parameters from source address 00, and traffic
// from other senders that the monitor has to look at and pass over.
const quint32 identifiers[] = {0x0CF00400,
                               0x0CF00300,
                               0x18FEF100,
                               0x18FEEE00,
                               0x18FEEF00,
                               0x18FEF200,
                               0x0CF00203,
                               0x18FEF117,
                               0x0C00000B,
                               0x18FECA00};

// A deterministic stream of compact log lines.
class LineGenerator
{
public:
    // Writes batchFrames lines into text, each ending in '\n'.
    void fill(std::vector<char> &text)
    {
        text.clear();
        char line[64];
        for (int i = 0; i < batchFrames; ++i) {
            microseconds += 500;
            const quint32 id = identifiers[frame++ % (sizeof(identifiers) / sizeof(identifiers[0]))];
            int n = std::snprintf(line,
                                  sizeof(line),
                                  "(%06lld.%06lld) can0 %08X#",
                                  microseconds / 1000000,
                                  microseconds % 1000000,
                                  id);
            for (int b = 0; b < 8; ++b) {
                n += std::snprintf(line + n, sizeof(line) - static_cast<std::size_t>(n), "%02X", nextByte());
            }
            line[n++] = '\n';
            text.insert(text.end(), line, line + n);
        }
    }

private:
    unsigned nextByte()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>(state >> 59) + 0x40; // stays below the not-available range
    }

    long long microseconds = 0;
    quint64 frame = 0;
    quint64 state = 42;
};
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const long long frames = argc > 1 ? std::atoll(argv[1]) : 10000000LL;
    if (frames <= 0) {
        std::fprintf(stderr, "usage: talveno-monitor-bench [frames]\n");
        return 2;
    }
    GenericSignal::setMaxValueCount(1000);
    const InterfaceNames interfaces;
    Monitor monitor(builtinSignals(), interfaces, Monitor::Settings());

    LineGenerator generator;
    std::vector<char> text;
    std::vector<CanFrame> parsed(batchFrames);
    QVector<DecodedSample> samples;
    qint64 parseNs = 0;
    qint64 decodeNs = 0;
    qint64 libraryNs = 0;
    long long done = 0;
    long long malformed = 0;
    QElapsedTimer timer;
    while (done < frames) {
        generator.fill(text);
        const int count = static_cast<int>(std::min<long long>(batchFrames, frames - done));

        timer.start();
        int parsedCount = 0;
        const char *at = text.data();
        const char *end = text.data() + text.size();
        for (int i = 0; i < count; ++i) {
            const char *lineEnd = static_cast<const char *>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
            if (parseLogLine(at, static_cast<std::size_t>(lineEnd - at), parsed[static_cast<std::size_t>(parsedCount)])
                    .status
                == LineParse::Frame) {
                ++parsedCount;
            } else {
                ++malformed;
            }
            at = lineEnd + 1;
        }
        parseNs += timer.nsecsElapsed();

        timer.start();
        samples.resize(0);
        for (int i = 0; i < parsedCount; ++i) {
            monitor.decode(parsed[static_cast<std::size_t>(i)], samples);
        }
        decodeNs += timer.nsecsElapsed();

        timer.start();
        for (const DecodedSample &sample : std::as_const(samples)) {
            monitor.feed(sample);
        }
        libraryNs += timer.nsecsElapsed();
        done += count;
    }

    const double total = static_cast<double>(parseNs + decodeNs + libraryNs) / 1e9;
    quint64 fed = 0;
    for (const SignalSnapshot &s : monitor.snapshot()) {
        fed += s.decodedSamples;
    }
    std::printf("frames            %lld (%lld malformed)\n", done, malformed);
    std::printf("samples fed       %llu\n", static_cast<unsigned long long>(fed));
    std::printf("parse             %8.3f s  %6.1f ns/frame\n", parseNs / 1e9, static_cast<double>(parseNs) / done);
    std::printf("decode            %8.3f s  %6.1f ns/frame\n", decodeNs / 1e9, static_cast<double>(decodeNs) / done);
    std::printf("library (intake)  %8.3f s  %6.1f ns/sample\n",
                libraryNs / 1e9,
                fed ? static_cast<double>(libraryNs) / static_cast<double>(fed) : 0.0);
    std::printf("total             %8.3f s  %.0f frames/s\n", total, static_cast<double>(done) / total);
    return 0;
}
