// SPDX-License-Identifier: LGPL-2.1-or-later
// Log text of any bytes through the line reader, the parser and the decoders of the
// built-in signals: nothing may crash, and every frame must be one a CAN bus carries.
// Each line also goes through the general parser alone, which must agree with the
// shortcut for compact lines.
#include "BuiltinSignals.h"
#include "SignalDecoding.h"
#include "candump/CandumpLine.h"
#include "candump/CandumpReader.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{
void compareParsers(const char *line, std::size_t size)
{
    CanFrame quick;
    CanFrame general;
    const LineParse a = parseCandumpLine(line, size, quick);
    const LineParse b = parseCandumpLineGeneral(line, size, general);
    if (a.status != b.status || a.interfaceOffset != b.interfaceOffset || a.interfaceLength != b.interfaceLength
        || a.timed != b.timed || (a.status == LineParse::Malformed && std::strcmp(a.error, b.error) != 0)) {
        std::abort();
    }
    if (a.status == LineParse::Frame
        && (quick.timeMicroseconds != general.timeMicroseconds || quick.id != general.id
            || quick.extended != general.extended || quick.remote != general.remote
            || quick.flexibleDataRate != general.flexibleDataRate || quick.length != general.length
            || std::memcmp(quick.data.data(), general.data.data(), quick.length) != 0)) {
        std::abort();
    }
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QVector<SignalDefinition> definitions = builtinSignals();
    // The reader reads the fuzzer's own bytes, so that a read past them is caught.
    const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<int>(size));
    for (const char *at = text.constData(), *end = at + text.size(); at != end;) {
        const void *newline = std::memchr(at, '\n', static_cast<std::size_t>(end - at));
        const char *next = newline ? static_cast<const char *>(newline) + 1 : end;
        compareParsers(at, static_cast<std::size_t>(next - at));
        at = next;
    }
    InterfaceNames interfaces;
    CandumpReader reader(text, interfaces);
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
