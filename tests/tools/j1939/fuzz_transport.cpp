// SPDX-License-Identifier: LGPL-2.1-or-later
// Any sequence of J1939 traffic through the listener: transport frames, requests
// and active faults from a few senders on a few interfaces, at times that may
// jump. Nothing may crash or read past a buffer, a group never exceeds 1,785
// bytes, and every session announced is open, completed or dropped for a cause.
//
// Each frame takes 12 input bytes: its kind and interface, source address,
// destination address, milliseconds since the frame before, and 8 data bytes.
#include "J1939Traffic.h"

#include <cstdint>
#include <cstdlib>

namespace
{
// Transport connections and data, requests, active faults, and a group the
// listener passes over.
const quint32 formats[] = {0xEC, 0xEB, 0xEA, 0xFE, 0xF0};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    InterfaceNames interfaces;
    FrameTimes times;
    J1939Traffic traffic(interfaces, times, {});
    CanFrame frame;
    frame.extended = true;
    qint64 now = 0;
    for (std::size_t at = 0; at + 12 <= size; at += 12) {
        const quint8 kind = data[at];
        const quint32 format = formats[(kind & 0x7) % 5];
        const quint8 destination = format == 0xFE ? 0xCA : data[at + 2];
        frame.id = 0x18000000u | (format << 16) | (quint32(destination) << 8) | data[at + 1];
        frame.interfaceIndex = (kind >> 3) & 0x3;
        frame.length = static_cast<quint8>(kind & 0x80 ? 8 : data[at + 4] % 9);
        now += data[at + 3] * 1000;
        frame.timeMicroseconds = kind & 0x40 ? now : now / 2;
        std::copy_n(data + at + 4, 8, frame.data.begin());
        times.take(frame.timeMicroseconds);
        if (!J1939Traffic::concerns(frame) && format != 0xF0) {
            std::abort();
        }
        if (J1939Traffic::concerns(frame)) {
            const J1939Group *group = traffic.take(frame);
            if (group && (group->payload.empty() || group->payload.size() > 1785)) {
                std::abort();
            }
        }
    }
    traffic.expire();
    const J1939Diagnostics diagnostics = traffic.diagnostics();
    const TransportCounts &c = diagnostics.transport;
    if (c.completed + c.missingPacket + c.timeout + c.aborted + c.interrupted > c.sessions) {
        std::abort();
    }
    return 0;
}
