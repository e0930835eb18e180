// SPDX-License-Identifier: LGPL-2.1-or-later
#include "GeneratedDatabase.h"

namespace
{
// The built-in parameters as a database writes them: message, PGN, signal line.
struct Parameter
{
    const char *message;
    quint32 pgn;
    const char *signal;
};

const Parameter parameters[] = {
    {"EEC1", 61444, "EngineSpeed : 24|16@1+ (0.125,0) [0|8031.875] \"rpm\""},
    {"CCVS1", 65265, "WheelBasedVehicleSpeed : 8|16@1+ (0.00390625,0) [0|250.996] \"km/h\""},
    {"ET1", 65262, "EngineCoolantTemperature : 0|8@1+ (1,-40) [-40|210] \"degC\""},
    {"EFL_P1", 65263, "EngineOilPressure : 24|8@1+ (4,0) [0|1000] \"kPa\""},
    {"EEC2", 61443, "AcceleratorPedalPosition1 : 8|8@1+ (0.4,0) [0|100] \"%\""},
    {"LFE1", 65266, "EngineFuelRate : 0|16@1+ (0.05,0) [0|3212.75] \"L/h\""},
};

constexpr int parameterCount = static_cast<int>(sizeof(parameters) / sizeof(parameters[0]));

QByteArray identifier(quint32 pgn)
{
    return QByteArray::number(0x80000000u | (6u << 26) | (pgn << 8));
}
}

QByteArray generatedDatabase()
{
    QByteArray text = "VERSION \"\"\n\nNS_ :\n\tCM_\n\tBA_DEF_\n\tBA_\n\tVAL_\n\nBS_:\n\nBU_: Engine Body\n\n";
    QByteArray attributes = "BA_DEF_ \"ProtocolType\" STRING ;\nBA_DEF_ BO_ \"GenMsgCycleTime\" INT 0 65535;\n"
                            "BA_DEF_DEF_ \"ProtocolType\" \"J1939\";\nBA_DEF_DEF_ \"GenMsgCycleTime\" 0;\n";
    QByteArray tables;
    for (const Parameter &parameter : parameters) {
        text += "BO_ " + identifier(parameter.pgn) + ' ' + parameter.message + ": 8 Engine\n SG_ " + parameter.signal
            + " Body\n\n";
        attributes += "BA_ \"GenMsgCycleTime\" BO_ " + identifier(parameter.pgn) + " 100;\n";
    }
    // The others spread their signals so that the total comes out even: ten or eleven each.
    const int others = generatedMessages - parameterCount;
    const int spread = generatedSignals - parameterCount;
    for (int m = 0; m < others; ++m) {
        // Data page 1, PDU format 240 and up: no frame of the log has one of these.
        const QByteArray id = identifier(0x1F000u + static_cast<quint32>(m));
        const int signalCount = spread / others + (m < spread % others ? 1 : 0);
        const int bits = 64 / signalCount;
        text += "BO_ " + id + " PROP_" + QByteArray::number(m) + ": 8 Body\n";
        for (int s = 0; s < signalCount; ++s) {
            const QByteArray name = "Signal_" + QByteArray::number(m) + '_' + QByteArray::number(s);
            text += " SG_ " + name + " : " + QByteArray::number(s * bits) + '|' + QByteArray::number(bits)
                + "@1+ (0.5,-10) [-10|" + QByteArray::number((1 << bits) / 2 - 10) + "] \"unit\" Engine\n";
            if (s == 0) {
                tables += "VAL_ " + id + ' ' + name + " 0 \"Off\" 1 \"On\" 2 \"Error\" 3 \"Not available\" ;\n";
            }
        }
        text += '\n';
        attributes += "BA_ \"GenMsgCycleTime\" BO_ " + id + " " + QByteArray::number(10 * (1 + m % 100)) + ";\n";
    }
    return text + attributes + tables;
}
