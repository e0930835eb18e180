// SPDX-License-Identifier: LGPL-2.1-or-later
// Log text of any bytes through the line reader, the parser and the decoders of the
// built-in signals: nothing may crash, and every frame must be one a CAN bus carries.
#include "BuiltinSignals.h"
#include "LogReader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QVector<SignalDefinition> definitions = builtinSignals();
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<int>(size));
    InterfaceNames interfaces;
    LogReader reader(text, interfaces);
    CanFrame frame;
    for (;;) {
        const LogReader::Next next = reader.next(frame);
        if (next == LogReader::Next::End || next == LogReader::Next::ReadError) {
            break;
        }
        if (next == LogReader::Next::ErrorFrame) {
            continue;
        }
        if (next == LogReader::Next::Malformed) {
            if (reader.error() == nullptr) {
                std::abort();
            }
            continue;
        }
        if (frame.id > (frame.extended ? 0x1FFFFFFFu : 0x7FFu) || frame.length > 64
            || (frame.remote && frame.length != 0)) {
            std::abort();
        }
        for (const SignalDefinition &signal : definitions) {
            qint64 raw = 0;
            if (matches(signal, frame) && decode(signal, frame, raw) == Decoding::Sample
                && (raw < 0 || raw >= (qint64(1) << signal.length))) {
                std::abort();
            }
        }
    }
    return 0;
}
