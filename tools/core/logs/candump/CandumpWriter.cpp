// SPDX-License-Identifier: LGPL-2.1-or-later
#include "CandumpWriter.h"

#include <cstdio>

CandumpWriter::CandumpWriter(const QString &fileName, const InterfaceNames &interfaces)
    : LogWriter(LogFormat::Candump, fileName, interfaces)
    , interfaces(interfaces)
{
}

void CandumpWriter::writeFrame(const CanFrame &frame, bool errorFrame)
{
    static const char digits[] = "0123456789ABCDEF";
    char line[256];
    const QByteArray name = interfaces.name(frame.interfaceIndex).toUtf8();
    int n = std::snprintf(line,
                          sizeof(line),
                          "(%03lld.%06lld) %.64s ",
                          static_cast<long long>(frame.timeMicroseconds / 1000000),
                          static_cast<long long>(frame.timeMicroseconds % 1000000),
                          name.constData());
    if (errorFrame) {
        n += std::snprintf(line + n, sizeof(line) - static_cast<std::size_t>(n), "20000000#0000000000000000\n");
        put(line, static_cast<std::size_t>(n));
        return;
    }
    n += std::snprintf(line + n,
                       sizeof(line) - static_cast<std::size_t>(n),
                       frame.extended ? "%08X#" : "%03X#",
                       static_cast<unsigned>(frame.id));
    if (frame.remote) {
        line[n++] = 'R';
    } else if (frame.flexibleDataRate) {
        line[n++] = '#';
        line[n++] = '0';
    }
    for (int i = 0; !frame.remote && i < frame.length; ++i) {
        line[n++] = digits[frame.data[static_cast<std::size_t>(i)] >> 4];
        line[n++] = digits[frame.data[static_cast<std::size_t>(i)] & 0xF];
    }
    line[n++] = '\n';
    put(line, static_cast<std::size_t>(n));
}

void CandumpWriter::writeEnd()
{
}
