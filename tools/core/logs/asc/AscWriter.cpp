// SPDX-License-Identifier: LGPL-2.1-or-later
#include "AscWriter.h"

#include <QDateTime>

#include <cstdarg>
#include <cstdio>

namespace
{
// "Sat Sep 30 15:06:13.191 2017", in English whatever the machine's language.
QByteArray dateText(qint64 microseconds)
{
    static const char *const weekdays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const months[] =
        {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(microseconds / 1000, Qt::UTC);
    const QDate date = time.date();
    char text[64];
    std::snprintf(text,
                  sizeof(text),
                  "%s %s %d %02d:%02d:%02d.%03d %d",
                  weekdays[date.dayOfWeek() - 1],
                  months[date.month() - 1],
                  date.day(),
                  time.time().hour(),
                  time.time().minute(),
                  time.time().second(),
                  time.time().msec(),
                  date.year());
    return QByteArray(text);
}

// A line, written in pieces; the longest, a CAN FD frame's, takes less than 400 characters.
struct Line
{
    char text[512];
    int size = 0;

    void add(const char *format, ...)
    {
        std::va_list arguments;
        va_start(arguments, format);
        size += std::vsnprintf(text + size, sizeof(text) - static_cast<std::size_t>(size), format, arguments);
        va_end(arguments);
    }
    void addBytes(const CanFrame &frame)
    {
        static const char digits[] = "0123456789ABCDEF";
        for (int i = 0; i < frame.length; ++i) {
            text[size++] = ' ';
            text[size++] = digits[frame.data[static_cast<std::size_t>(i)] >> 4];
            text[size++] = digits[frame.data[static_cast<std::size_t>(i)] & 0xF];
        }
    }
};
}

AscWriter::AscWriter(const QString &fileName, const InterfaceNames &interfaces)
    : LogWriter(LogFormat::Asc, fileName, interfaces)
{
}

void AscWriter::writeHeader(qint64 microseconds)
{
    started = true;
    start = microseconds - microseconds % 1000;
    const QByteArray date = dateText(start);
    put("date " + date + "\nbase hex  timestamps absolute\ninternal events logged\nBegin Triggerblock " + date
        + "\n   0.000000 Start of measurement\n");
}

void AscWriter::writeFrame(const CanFrame &frame, bool errorFrame)
{
    if (!started) {
        writeHeader(frame.timeMicroseconds);
    }
    Line line;
    line.add("%4lld.%06lld",
             static_cast<long long>((frame.timeMicroseconds - start) / 1000000),
             static_cast<long long>((frame.timeMicroseconds - start) % 1000000));
    const unsigned channelNumber = channel(frame);
    char id[16];
    std::snprintf(id, sizeof(id), frame.extended ? "%Xx" : "%X", static_cast<unsigned>(frame.id));
    if (errorFrame) {
        line.add(" %u  ErrorFrame", channelNumber);
    } else if (frame.flexibleDataRate) {
        // Bit rate switch and error state unknown, then the data, then message
        // duration and length unknown, the flags (a CAN FD frame), CRC and bit timings unknown.
        line.add(" CANFD %3u Rx   %10s %32s 0 0 %x %2d", channelNumber, id, "", canFdDlc(frame.length), frame.length);
        line.addBytes(frame);
        line.add(" %8d %4d %8X %8d %8d %8d %8d %8d", 0, 0, 0x1000, 0, 0, 0, 0, 0);
    } else if (frame.remote) {
        line.add(" %u  %-15s Rx   r", channelNumber, id);
    } else {
        line.add(" %u  %-15s Rx   d %X", channelNumber, id, frame.length);
        line.addBytes(frame);
    }
    line.add("\n");
    put(line.text, static_cast<std::size_t>(line.size));
}

void AscWriter::writeEnd()
{
    if (!started) {
        writeHeader(0);
    }
    put("End TriggerBlock\n");
}
