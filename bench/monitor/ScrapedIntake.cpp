// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ScrapedIntake.h"

#include "MetricsEndpoint.h"
#include "Monitor.h"

#include <prometheus/text_serializer.h>

#include <QElapsedTimer>
#include <QTcpServer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

namespace
{
constexpr int identifiers = 125;
constexpr int signalsPerFrame = 8;
constexpr int variants = 16;
constexpr long long roundFrames = 1000000;
constexpr int roundPairs = 4;
constexpr auto scrapeInterval = std::chrono::milliseconds(100);

// 125 identifiers, each with eight one-byte signals: 1,000 signals.
QVector<SignalDefinition> thousandSignals()
{
    QVector<SignalDefinition> definitions;
    for (int i = 0; i < identifiers * signalsPerFrame; ++i) {
        SignalDefinition d;
        d.name = QStringLiteral("signal %1").arg(i, 4, 10, QLatin1Char('0'));
        d.unit = QStringLiteral("V");
        d.id = 0x10000000u + static_cast<quint32>(i / signalsPerFrame);
        d.startBit = (i % signalsPerFrame) * 8;
        d.factor = 0.5;
        definitions.append(d);
    }
    return definitions;
}

// Frames of every identifier in turn, a few data variants each.
std::vector<CanFrame> frameRing()
{
    std::vector<CanFrame> ring;
    quint64 state = 42;
    for (int v = 0; v < variants; ++v) {
        for (int i = 0; i < identifiers; ++i) {
            CanFrame frame;
            frame.id = 0x10000000u + static_cast<quint32>(i);
            frame.extended = true;
            frame.length = 8;
            for (quint8 &byte : frame.data) {
                state = state * 6364136223846793005ULL + 1442695040888963407ULL;
                byte = static_cast<quint8>(state >> 56);
            }
            ring.push_back(frame);
        }
    }
    return ring;
}

// One GET of /metrics as Prometheus sends it; the milliseconds until the answer
// has been read whole, or -1.
double scrape(quint16 port, std::size_t &bytes)
{
    QElapsedTimer timer;
    timer.start();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const char request[] =
        "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept-Encoding: gzip\r\nConnection: close\r\n\r\n";
    bytes = 0;
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0
        || ::send(fd, request, std::strlen(request), 0) < 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1.0;
    }
    char buffer[65536];
    for (ssize_t got; (got = ::recv(fd, buffer, sizeof(buffer), 0)) > 0;) {
        bytes += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// Scrapes every 100 ms while asked to, and keeps each scrape's time.
class Scraper
{
public:
    explicit Scraper(quint16 port)
        : port(port)
        , thread([this] { loop(); })
    {
    }
    ~Scraper()
    {
        done = true;
        thread.join();
    }

    std::atomic<bool> active{false};
    std::vector<double> milliseconds;
    std::size_t bytes = 0;
    int failed = 0;

private:
    void loop()
    {
        auto next = std::chrono::steady_clock::now();
        while (!done) {
            next += scrapeInterval;
            if (active) {
                const double taken = scrape(port, bytes);
                if (taken < 0) {
                    ++failed;
                } else {
                    milliseconds.push_back(taken);
                }
            }
            std::this_thread::sleep_until(next);
        }
    }

    const quint16 port;
    std::atomic<bool> done{false};
    std::thread thread;
};

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

LiveFigures liveFigures(Monitor &monitor)
{
    LiveFigures figures;
    figures.signalStates = monitor.snapshot();
    figures.inputs.append(InputFigures{QStringLiteral("bench"), monitor.frameCount(), 0, 0});
    return figures;
}

double cpuMilliseconds()
{
    timespec now = {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The text gzipped as the exposer does it for Prometheus; the compressed size.
std::size_t gzipped(const std::string &text)
{
    z_stream stream = {};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    std::vector<Bytef> out(deflateBound(&stream, static_cast<uLong>(text.size())));
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    deflateEnd(&stream);
    return stream.total_out;
}

// A scrape's stages, each timed in this thread's CPU time (which a busy machine
// does not inflate as it does the wall clock), with no intake running.
void printScrapeStages(Monitor &monitor)
{
    constexpr int repeats = 21;
    std::vector<double> read, families, text, gzip;
    std::size_t textBytes = 0;
    std::size_t gzipBytes = 0;
    for (int i = 0; i < repeats; ++i) {
        double at = cpuMilliseconds();
        const LiveFigures figures = liveFigures(monitor);
        read.push_back(cpuMilliseconds() - at);
        at = cpuMilliseconds();
        const std::vector<prometheus::MetricFamily> built = metricFamilies(figures);
        families.push_back(cpuMilliseconds() - at);
        at = cpuMilliseconds();
        const std::string written = prometheus::TextSerializer().Serialize(built);
        text.push_back(cpuMilliseconds() - at);
        at = cpuMilliseconds();
        gzipBytes = gzipped(written);
        gzip.push_back(cpuMilliseconds() - at);
        textBytes = written.size();
    }
    std::printf("a scrape's stages, CPU ms (median of %d, no intake running):\n", repeats);
    std::printf("  reading the signals     %6.1f\n", median(read));
    std::printf("  metric families         %6.1f\n", median(families));
    std::printf("  text                    %6.1f  (%zu bytes)\n", median(text), textBytes);
    std::printf("  gzip                    %6.1f  (%zu bytes)\n", median(gzip), gzipBytes);
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
}

bool benchScrapedIntake()
{
    InterfaceNames interfaces;
    const quint16 can0 = interfaces.index(QStringLiteral("can0"));
    Monitor monitor(thousandSignals(), interfaces, RunSettings());
    std::vector<CanFrame> ring = frameRing();
    for (CanFrame &frame : ring) {
        frame.interfaceIndex = can0;
    }
    qint64 microseconds = 0;
    std::size_t at = 0;
    const auto feed = [&](long long frames) {
        for (long long i = 0; i < frames; ++i) {
            CanFrame &frame = ring[at];
            at = at + 1 == ring.size() ? 0 : at + 1;
            microseconds += 100;
            frame.timeMicroseconds = microseconds;
            monitor.processFrame(frame);
        }
    };

    MetricsAddress address;
    address.host = QHostAddress::LocalHost;
    address.port = freePort();
    QString error;
    const auto endpoint = MetricsEndpoint::start(
        address,
        [&monitor] { return liveFigures(monitor); },
        error);
    if (!endpoint) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return false;
    }
    Scraper scraper(address.port);
    // Every history full before the rounds.
    feed(static_cast<long long>(identifiers) * 1100 * 2);

    std::vector<double> unscraped;
    std::vector<double> scraped;
    // The same by the intake thread's CPU time, for a machine busy with other work,
    // where the wall clock also counts the time the intake waited for a core. It
    // leaves out the time the intake waited for a lock, too: a hint, not the target.
    std::vector<double> unscrapedCpu;
    std::vector<double> scrapedCpu;
    QElapsedTimer timer;
    for (int round = 0; round < 2 * roundPairs; ++round) {
        const bool scraping = round % 2 == 1;
        scraper.active = scraping;
        const double cpuAt = cpuMilliseconds();
        timer.start();
        feed(roundFrames);
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        const double cpuSeconds = (cpuMilliseconds() - cpuAt) / 1e3;
        (scraping ? scraped : unscraped).push_back(static_cast<double>(roundFrames) / seconds);
        (scraping ? scrapedCpu : unscrapedCpu).push_back(static_cast<double>(roundFrames) / cpuSeconds);
    }
    scraper.active = false;
    std::this_thread::sleep_for(2 * scrapeInterval);

    const double plain = median(unscraped);
    const double busy = median(scraped);
    std::printf("\nthe engine's intake, %d signals, %d to a frame, %d rounds of %lld frames each:\n",
                identifiers * signalsPerFrame,
                signalsPerFrame,
                roundPairs,
                roundFrames);
    std::printf("unscraped                 %6.3f million frames/s (median)\n", plain / 1e6);
    std::printf("scraped every 100 ms      %6.3f million frames/s (median)\n", busy / 1e6);
    std::printf("scraped / unscraped       %6.1f %%  (target: at least 95 %%)\n", 100.0 * busy / plain);
    std::printf("the same by CPU time      %6.1f %%  (the intake thread's: no waits for a core, nor for a lock)\n",
                100.0 * median(scrapedCpu) / median(unscrapedCpu));
    if (scraper.milliseconds.empty()) {
        std::printf("no scrape answered (%d failed)\n", scraper.failed);
        return false;
    }
    std::printf("scrape of %d signals      %6.1f ms median, %.1f ms slowest of %zu, %zu bytes gzip "
                "(target: within 50 ms)%s\n",
                identifiers * signalsPerFrame,
                median(scraper.milliseconds),
                *std::max_element(scraper.milliseconds.cbegin(), scraper.milliseconds.cend()),
                scraper.milliseconds.size(),
                scraper.bytes,
                scraper.failed > 0 ? ", some failed" : "");
    printScrapeStages(monitor);
    return scraper.failed == 0;
}
