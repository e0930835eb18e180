// SPDX-License-Identifier: LGPL-2.1-or-later
// Any bytes as a BLF, an ASC and a TRC log: nothing may crash or read past the
// input, every frame must be one a CAN bus carries, every malformed record must
// say why, and a damaged BLF must end its reading.
#include "asc/AscReader.h"
#include "blf/BlfReader.h"
#include "trc/TrcReader.h"

#include <cstdint>
#include <cstdlib>

namespace
{
void readAll(LogReader &reader, bool endsAtDamage)
{
    CanFrame frame;
    for (;;) {
        const LogReader::Next next = reader.next(frame);
        if (next == LogReader::Next::End || next == LogReader::Next::ReadError) {
            return;
        }
        if (next == LogReader::Next::Malformed) {
            if (reader.error() == nullptr) {
                std::abort();
            }
            if (endsAtDamage && reader.line().startsWith("at byte") && reader.next(frame) != LogReader::Next::End) {
                std::abort();
            }
            continue;
        }
        if (next == LogReader::Next::Frame
            && (frame.id > (frame.extended ? 0x1FFFFFFFu : 0x7FFu) || !isCanFdLength(frame.length)
                || (frame.remote && frame.length != 0) || (!frame.flexibleDataRate && frame.length > 8))) {
            std::abort();
        }
    }
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The readers read the fuzzer's own bytes, so that a read past them is caught.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<int>(size));
    InterfaceNames interfaces;
    BlfReader blf(bytes, interfaces);
    readAll(blf, true);
    AscReader asc(bytes, interfaces);
    readAll(asc, false);
    TrcReader trc(bytes, interfaces);
    readAll(trc, false);
    return 0;
}
