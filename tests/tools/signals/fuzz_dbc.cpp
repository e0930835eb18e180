// SPDX-License-Identifier: LGPL-2.1-or-later
// Database text of any bytes through the parser, and what it defines through the
// engine: nothing may crash, a refused text names where and keeps nothing, and
// every frame of every message decodes.
#include "Monitor.h"
#include "dbc/DbcParser.h"
#include "dbc/DbcSignals.h"

#include <cstdint>
#include <cstdlib>

namespace
{
// One frame of every identifier the definitions name, all bits set, the longest
// CAN FD carries.
void decodeEach(const QVector<SignalDefinition> &definitions)
{
    static const InterfaceNames interfaces;
    Monitor monitor(definitions, interfaces, RunSettings());
    CanFrame frame;
    frame.length = 64;
    frame.data.fill(0xFF);
    for (const SignalDefinition &definition : definitions) {
        frame.extended = definition.extended;
        frame.id = definition.j1939 ? definition.pgn << 8 | definition.sourceAddress : definition.id;
        monitor.processFrame(frame);
    }
    monitor.snapshot();
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<int>(size));
    DbcDatabase database;
    QString error;
    if (!parseDbc(text, QStringLiteral("fuzz.dbc"), database, error)) {
        if (!error.startsWith(QLatin1String("fuzz.dbc:")) || !database.messages.isEmpty()) {
            std::abort();
        }
        return 0;
    }
    QVector<SignalDefinition> definitions;
    if (appendDatabaseSignals(database, DatabaseChoices(), definitions, error)) {
        decodeEach(definitions);
    }
    return 0;
}
