// SPDX-License-Identifier: LGPL-2.1-or-later
// Frames of the J1939 transport protocol and of active faults, written as a
// script: each step at the script's present, which at() moves on.
#pragma once

#include "CanFrame.h"

#include <QByteArray>
#include <QVector>

#include <algorithm>

// The byte at a position of every message the script sends, so that a group put
// together in the wrong order shows.
inline quint8 messageByte(int position)
{
    return static_cast<quint8>(position * 7 + 3);
}

class J1939Script
{
public:
    static constexpr quint8 engine = 0x00;
    static constexpr quint8 tool = 0xF9;

    J1939Script &at(int milliseconds)
    {
        now = qint64(milliseconds) * 1000;
        return *this;
    }
    J1939Script &after(int milliseconds)
    {
        return at(static_cast<int>(now / 1000) + milliseconds);
    }
    J1939Script &frame(quint32 id, const QByteArray &data)
    {
        CanFrame f;
        f.id = id;
        f.extended = true;
        f.timeMicroseconds = now;
        f.length = static_cast<quint8>(data.size());
        std::copy(data.cbegin(), data.cend(), f.data.begin());
        frames.append(f);
        return *this;
    }
    // A connection-management frame from sender to receiver.
    J1939Script &control(quint8 sender, quint8 receiver, int control, int a, int b, int c, quint32 pgn = 65251)
    {
        const char bytes[] = {char(control),
                              char(a),
                              char(b),
                              char(c),
                              char(0xFF),
                              char(pgn & 0xFF),
                              char((pgn >> 8) & 0xFF),
                              char(pgn >> 16)};
        return frame(0x1CEC0000u | (quint32(receiver) << 8) | sender, QByteArray(bytes, sizeof(bytes)));
    }
    J1939Script &bam(int bytes, quint8 sender = 0x00, quint32 pgn = 65251)
    {
        size = bytes;
        return control(sender, 0xFF, 32, bytes & 0xFF, bytes >> 8, (bytes + 6) / 7, pgn);
    }
    // A connection, from the engine to a tool: its announcement, a CTS, one for
    // count packets from next and those packets, the acknowledgement, an abort
    // by the tool, and packets sent.
    J1939Script &rts(int bytes)
    {
        size = bytes;
        return control(engine, tool, 16, bytes & 0xFF, bytes >> 8, (bytes + 6) / 7);
    }
    J1939Script &cts(int count, int next)
    {
        return control(tool, engine, 17, count, next, 0xFF);
    }
    J1939Script &window(int next, int count)
    {
        return cts(count, next).sent(next, next + count - 1);
    }
    J1939Script &acknowledge()
    {
        return control(tool, engine, 19, size & 0xFF, size >> 8, (size + 6) / 7);
    }
    J1939Script &abort()
    {
        return control(tool, engine, 255, 3, 0xFF, 0xFF);
    }
    J1939Script &sent(int first, int last)
    {
        return packets(first, last, engine, tool);
    }
    // Data packets first to last, 10 ms apart, of the message announced last.
    J1939Script &packets(int first, int last, quint8 sender = 0x00, quint8 receiver = 0xFF)
    {
        for (int packet = first; packet <= last; ++packet) {
            QByteArray data(1, char(packet));
            for (int i = 0; i < 7; ++i) {
                const int position = (packet - 1) * 7 + i;
                data.append(position < size ? char(messageByte(position)) : char(0xFF));
            }
            after(10).frame(0x1CEB0000u | (quint32(receiver) << 8) | sender, data);
        }
        return *this;
    }
    // An active-faults message in one frame.
    J1939Script &dm1(quint8 sender, const char *hex)
    {
        return frame(0x18FECA00u | sender, QByteArray::fromHex(hex));
    }

    QVector<CanFrame> frames;
    qint64 now = 0;
    int size = 0;
};
