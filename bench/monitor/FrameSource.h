// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "CanFrame.h"

#include <cstdio>
#include <vector>

/// The benchmark's traffic: a deterministic stream of J1939 frames on can0, one
/// every 500 microseconds, 8 data bytes each.
class FrameSource
{
public:
    CanFrame next()
    {
        // Identifiers of the built-in parameters from source address 00, and traffic
        // from other senders that the monitor has to look at and pass over.
        static const quint32 identifiers[] = {0x0CF00400,
                                              0x0CF00300,
                                              0x18FEF100,
                                              0x18FEEE00,
                                              0x18FEEF00,
                                              0x18FEF200,
                                              0x0CF00203,
                                              0x18FEF117,
                                              0x0C00000B,
                                              0x18FECA00};
        CanFrame frame;
        microseconds += 500;
        frame.timeMicroseconds = microseconds;
        frame.id = identifiers[count++ % (sizeof(identifiers) / sizeof(identifiers[0]))];
        frame.extended = true;
        frame.length = 8;
        for (int i = 0; i < frame.length; ++i) {
            frame.data[static_cast<std::size_t>(i)] = nextByte();
        }
        return frame;
    }

private:
    quint8 nextByte()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<quint8>((state >> 59) + 0x40); // stays below the not-available range
    }

    long long microseconds = 0;
    quint64 count = 0;
    quint64 state = 42;
};

/// Appends a line to text, formatted by snprintf.
template<typename... Arguments>
void appendLine(std::vector<char> &text, const char *format, Arguments... arguments)
{
    char line[256];
    const int n = std::snprintf(line, sizeof(line), format, arguments...);
    text.insert(text.end(), line, line + n);
}
