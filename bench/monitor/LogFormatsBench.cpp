// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LogFormatsBench.h"
#include "FrameSource.h"
#include "LogWriter.h"
#include "asc/AscReader.h"
#include "blf/BlfLayout.h"
#include "blf/BlfReader.h"
#include "candump/CandumpReader.h"
#include "trc/TrcReader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <zlib.h>

#include <cstdio>
#include <ctime>

#include <fcntl.h>
#include <unistd.h>

namespace
{
constexpr int batchFrames = 10000;

// The time this thread spent on a core, so that other programs sharing the
// machine do not count against a reader.
class CpuTimer
{
public:
    void start()
    {
        started = now();
    }
    qint64 nsecsElapsed() const
    {
        return now() - started;
    }

private:
    static qint64 now()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<qint64>(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
    qint64 started = 0;
};

// A batch of frames as log text in each text format, as the tools that write
// these formats lay out their lines.
struct TextBatch
{
    std::vector<char> candump;
    std::vector<char> asc;
    std::vector<char> trc;

    void fill(FrameSource &frames, int count)
    {
        candump.clear();
        asc.clear();
        trc.clear();
        appendLine(asc, "date Sat Sep 30 15:06:13.191 2017\nbase hex  timestamps absolute\n");
        appendLine(trc, ";$FILEVERSION=2.1\n;$STARTTIME=43008.920986006946\n;$COLUMNS=N,O,T,B,I,d,R,L,D\n");
        for (int i = 0; i < count; ++i) {
            const CanFrame f = frames.next();
            const long long seconds = f.timeMicroseconds / 1000000;
            const long long micro = f.timeMicroseconds % 1000000;
            const unsigned id = f.id;
            const auto *d = f.data.data();
            appendLine(candump,
                       "(%06lld.%06lld) can0 %08X#%02X%02X%02X%02X%02X%02X%02X%02X\n",
                       seconds,
                       micro,
                       id,
                       d[0],
                       d[1],
                       d[2],
                       d[3],
                       d[4],
                       d[5],
                       d[6],
                       d[7]);
            appendLine(asc,
                       "%4lld.%06lld 1  %Xx       Rx   d 8 %02X %02X %02X %02X %02X %02X %02X %02X  "
                       "Length = 273910 BitCount = 141 ID = %ux\n",
                       seconds,
                       micro,
                       id,
                       d[0],
                       d[1],
                       d[2],
                       d[3],
                       d[4],
                       d[5],
                       d[6],
                       d[7],
                       id);
            appendLine(trc,
                       "%7d %9lld.%03lld DT 1  %08X Rx -  8    %02X %02X %02X %02X %02X %02X %02X %02X\n",
                       i + 1,
                       f.timeMicroseconds / 1000,
                       f.timeMicroseconds % 1000,
                       id,
                       d[0],
                       d[1],
                       d[2],
                       d[3],
                       d[4],
                       d[5],
                       d[6],
                       d[7]);
        }
    }
};

template<typename Reader>
qint64 readAll(const std::vector<char> &text, long long &read)
{
    InterfaceNames names;
    CpuTimer timer;
    timer.start();
    Reader reader(QByteArray::fromRawData(text.data(), static_cast<int>(text.size())), names);
    CanFrame frame;
    while (reader.next(frame) == LogReader::Next::Frame) {
        ++read;
    }
    return timer.nsecsElapsed();
}

// zlib's own time for the containers of a BLF: uncompress() on each in turn.
qint64 zlibFloor(const QByteArray &file, long long &containers)
{
    std::vector<Bytef> out(Blf::containerDataSize);
    qint64 ns = 0;
    CpuTimer timer;
    const auto *bytes = reinterpret_cast<const unsigned char *>(file.constData());
    for (std::size_t at = Blf::fileHeaderSize;
         at + Blf::containerHeaderSize <= static_cast<std::size_t>(file.size());) {
        const quint32 size = qFromLittleEndian<quint32>(bytes + at + 8);
        uLongf length = qFromLittleEndian<quint32>(bytes + at + Blf::containerUncompressedOffset);
        out.resize(length);
        timer.start();
        uncompress(out.data(), &length, bytes + at + Blf::containerHeaderSize, size - Blf::containerHeaderSize);
        ns += timer.nsecsElapsed();
        ++containers;
        at += size + size % 4;
    }
    return ns;
}

void row(const char *name, qint64 ns, long long frames, const char *after)
{
    std::printf("%-32s %8.3f  %9.1f  %s\n",
                name,
                static_cast<double>(ns) / 1e9,
                static_cast<double>(ns) / static_cast<double>(frames),
                after);
}
}

bool benchLogFormats(long long frames)
{
    FrameSource source;
    TextBatch batch;
    qint64 candumpNs = 0;
    qint64 ascNs = 0;
    qint64 trcNs = 0;
    long long read[3] = {};
    for (long long done = 0; done < frames; done += batchFrames) {
        batch.fill(source, static_cast<int>(std::min<long long>(batchFrames, frames - done)));
        candumpNs += readAll<CandumpReader>(batch.candump, read[0]);
        ascNs += readAll<AscReader>(batch.asc, read[1]);
        trcNs += readAll<TrcReader>(batch.trc, read[2]);
    }

    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("bench.blf"));
    InterfaceNames names;
    names.index(QStringLiteral("can0"));
    QString error;
    FrameSource blfSource;
    {
        const std::unique_ptr<LogWriter> writer = LogWriter::create(path, names, error);
        for (long long i = 0; writer && i < frames; ++i) {
            writer->write(blfSource.next(), false);
        }
        if (!writer || !writer->finish(error)) {
            std::fprintf(stderr, "cannot write the BLF: %s\n", qPrintable(error));
            return false;
        }
    }
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray bytes = file.readAll();
    long long containers = 0;
    const qint64 floorNs = zlibFloor(bytes, containers);

    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    CpuTimer timer;
    timer.start();
    BlfReader reader(ByteInput(fd), names);
    CanFrame frame;
    long long blfRead = 0;
    while (reader.next(frame) == LogReader::Next::Frame) {
        ++blfRead;
    }
    const qint64 blfNs = timer.nsecsElapsed();
    ::close(fd);

    const double ascRatio = static_cast<double>(ascNs) / static_cast<double>(candumpNs);
    const double trcRatio = static_cast<double>(trcNs) / static_cast<double>(candumpNs);
    const double blfRate = static_cast<double>(blfRead) / (static_cast<double>(blfNs) / 1e9) / 1e6;
    std::printf("\nlog readers, the same frames in each format, time on a core:\n");
    std::printf("%-32s %8s  %9s\n", "", "seconds", "ns/frame");
    row("candump reader", candumpNs, read[0], "");
    row("ASC reader", ascNs, read[1], "");
    row("TRC reader", trcNs, read[2], "");
    row("BLF reader, zlib, from a file", blfNs, blfRead, "");
    std::printf("floor, on the same containers:\n");
    row("zlib's uncompress() alone", floorNs, blfRead, "");
    std::printf("\n%lld frames in a BLF of %.0f MB, %lld containers; read %lld, %lld, %lld and %lld frames\n",
                frames,
                static_cast<double>(bytes.size()) / 1e6,
                containers,
                read[0],
                read[1],
                read[2],
                blfRead);
    std::printf("ASC reader / candump reader  %6.2f x (target at most 2)\n", ascRatio);
    std::printf("TRC reader / candump reader  %6.2f x (target at most 2)\n", trcRatio);
    std::printf("BLF reader / zlib floor      %6.2f x\n", static_cast<double>(blfNs) / static_cast<double>(floorNs));
    std::printf("BLF frames per second        %6.2f million (target at least 5)\n", blfRate);
    return ascRatio <= 2.0 && trcRatio <= 2.0 && blfRate >= 5.0 && blfRead == frames && read[1] == frames
        && read[2] == frames;
}
