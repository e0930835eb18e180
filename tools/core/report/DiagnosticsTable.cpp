// SPDX-License-Identifier: LGPL-2.1-or-later
#include "DiagnosticsTable.h"
#include "SignalSnapshot.h"

#include <QStringList>

namespace
{
const char *const failureModes[] = {
    "data valid but above normal operating range, most severe level",
    "data valid but below normal operating range, most severe level",
    "data erratic, intermittent or incorrect",
    "voltage above normal, or shorted to high source",
    "voltage below normal, or shorted to low source",
    "current below normal or open circuit",
    "current above normal or grounded circuit",
    "mechanical system not responding or out of adjustment",
    "abnormal frequency or pulse width or period",
    "abnormal update rate",
    "abnormal rate of change",
    "root cause not known",
    "bad intelligent device or component",
    "out of calibration",
    "special instructions",
    "data valid but above normal operating range, least severe level",
    "data valid but above normal operating range, moderately severe level",
    "data valid but below normal operating range, least severe level",
    "data valid but below normal operating range, moderately severe level",
    "received network data in error",
    "data drifted high",
    "data drifted low",
};

QString seconds(double value)
{
    return QString::number(value, 'f', 3) + QStringLiteral(" s");
}

QString lampsText(const FaultSender &sender)
{
    QStringList lamps;
    for (std::size_t lamp = 0; lamp < sender.lamps.size(); ++lamp) {
        lamps.append(QLatin1String(lampNames[lamp].text) + QLatin1Char(' ') + lampStateText(sender.lamps[lamp]));
    }
    return lamps.join(QLatin1String(", "));
}

QString codeLine(const FaultCode &code)
{
    const QString number = QStringLiteral("SPN %1").arg(code.spn);
    QString line = QStringLiteral("  ") + number;
    if (!code.spnName.isEmpty()) {
        // The built-in names already end in their number: "vehicle speed (SPN 84)".
        const QString repeated = QStringLiteral(" (%1)").arg(number);
        line +=
            QLatin1Char(' ') + (code.spnName.endsWith(repeated) ? code.spnName.chopped(repeated.size()) : code.spnName);
    }
    line += QStringLiteral(", FMI %1 (%2): ").arg(code.fmi).arg(failureModeText(code.fmi));
    line += code.active ? QStringLiteral("active") : QStringLiteral("no longer active");
    line += code.occurrences == 127 ? QStringLiteral(", occurrences not available")
                                    : QStringLiteral(", %1 occurrence%2")
                                          .arg(code.occurrences)
                                          .arg(code.occurrences == 1 ? QString() : QStringLiteral("s"));
    return line + QStringLiteral(", first seen %1, last seen %2").arg(seconds(code.firstSeen), seconds(code.lastSeen));
}
}

QString failureModeText(int fmi)
{
    constexpr int described = sizeof(failureModes) / sizeof(failureModes[0]);
    if (fmi >= 0 && fmi < described) {
        return QString::fromLatin1(failureModes[fmi]);
    }
    return fmi == 31 ? QStringLiteral("condition exists") : QStringLiteral("reserved");
}

void writeDiagnosticsSection(QTextStream &out, const J1939Diagnostics &diagnostics)
{
    if (diagnostics.senders.isEmpty()) {
        return;
    }
    out << "\nDiagnostics\n";
    for (const FaultSender &sender : diagnostics.senders) {
        out << originText(sender.interfaceName, sender.sourceAddress) << ": " << lampsText(sender) << '\n';
        int codes = 0;
        int older = 0;
        for (const FaultCode &code : diagnostics.faults) {
            if (code.interfaceName == sender.interfaceName && code.sourceAddress == sender.sourceAddress) {
                out << codeLine(code) << '\n';
                ++codes;
                older += code.olderConversionMethod ? 1 : 0;
            }
        }
        if (codes == 0) {
            out << "  no trouble codes\n";
        }
        if (older > 0) {
            out << "  " << older << (older == 1 ? " code carries" : " codes carry")
                << " the older SPN conversion method, decoded by the current one\n";
        }
    }
}

QString transportLine(const TransportCounts &counts)
{
    if (counts.sessions == 0) {
        return QString();
    }
    QStringList dropped;
    for (const TransportCount &c : transportCounts) {
        if (c.dropText) {
            dropped.append(QStringLiteral("%1 %2").arg(counts.*c.count).arg(QLatin1String(c.dropText)));
        }
    }
    return QStringLiteral("transport: %1 sessions, %2 completed; dropped: %3")
        .arg(counts.sessions)
        .arg(counts.completed)
        .arg(dropped.join(QLatin1String(", ")));
}
