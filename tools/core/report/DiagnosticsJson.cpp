// SPDX-License-Identifier: LGPL-2.1-or-later
#include "DiagnosticsJson.h"
#include "SignalSnapshot.h"

#include <QJsonArray>

#include <algorithm>

namespace
{
// The fields every entry of a sender has.
QJsonObject senderFields(const QString &interfaceName, int sourceAddress)
{
    return QJsonObject{{QStringLiteral("interface"), interfaceName},
                       {QStringLiteral("sourceAddress"), sourceAddressText(sourceAddress)}};
}

void readSender(const QJsonObject &object, QString &interfaceName, int &sourceAddress)
{
    interfaceName = object.value(QLatin1String("interface")).toString();
    bool ok = false;
    sourceAddress = object.value(QLatin1String("sourceAddress")).toString().mid(2).toInt(&ok, 16);
    if (!ok) {
        sourceAddress = 0;
    }
}

// 127 is the count of a code that has none.
constexpr int noOccurrences = 127;

QJsonObject write(const FaultSender &sender)
{
    QJsonObject object = senderFields(sender.interfaceName, sender.sourceAddress);
    for (std::size_t lamp = 0; lamp < sender.lamps.size(); ++lamp) {
        object.insert(QLatin1String(lampNames[lamp].key), lampStateText(sender.lamps[lamp]));
    }
    object.insert(QStringLiteral("lastSeen"), sender.lastSeen);
    return object;
}

QJsonObject write(const FaultCode &code)
{
    QJsonObject object = senderFields(code.interfaceName, code.sourceAddress);
    object.insert(QStringLiteral("spn"), static_cast<double>(code.spn));
    object.insert(QStringLiteral("spnName"), code.spnName.isEmpty() ? QJsonValue() : QJsonValue(code.spnName));
    object.insert(QStringLiteral("fmi"), code.fmi);
    object.insert(QStringLiteral("occurrences"),
                  code.occurrences == noOccurrences ? QJsonValue() : QJsonValue(code.occurrences));
    object.insert(QStringLiteral("active"), code.active);
    object.insert(QStringLiteral("firstSeen"), code.firstSeen);
    object.insert(QStringLiteral("lastSeen"), code.lastSeen);
    object.insert(QStringLiteral("olderConversionMethod"), code.olderConversionMethod);
    return object;
}

QJsonObject write(const RequestCount &request)
{
    QJsonObject object = senderFields(request.interfaceName, request.sourceAddress);
    object.insert(QStringLiteral("pgn"), static_cast<double>(request.pgn));
    object.insert(QStringLiteral("count"), static_cast<double>(request.count));
    return object;
}

template<typename T>
QJsonArray writeAll(const QVector<T> &items)
{
    QJsonArray list;
    for (const T &item : items) {
        list.append(write(item));
    }
    return list;
}

double number(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toDouble();
}

quint64 count(const QJsonObject &object, const char *key)
{
    return static_cast<quint64>(std::max(0.0, number(object, key)));
}
}

void writeDiagnostics(const J1939Diagnostics &diagnostics, QJsonObject &report)
{
    QJsonObject transport;
    for (const TransportCount &c : transportCounts) {
        transport.insert(QLatin1String(c.key), static_cast<double>(diagnostics.transport.*c.count));
    }
    report.insert(QStringLiteral("transport"), transport);
    report.insert(QStringLiteral("lamps"), writeAll(diagnostics.senders));
    report.insert(QStringLiteral("faults"), writeAll(diagnostics.faults));
    report.insert(QStringLiteral("requests"), writeAll(diagnostics.requests));
}

J1939Diagnostics readDiagnostics(const QJsonObject &report)
{
    J1939Diagnostics diagnostics;
    const QJsonObject transport = report.value(QLatin1String("transport")).toObject();
    for (const TransportCount &c : transportCounts) {
        diagnostics.transport.*c.count = count(transport, c.key);
    }
    for (const QJsonValue &value : report.value(QLatin1String("lamps")).toArray()) {
        const QJsonObject object = value.toObject();
        FaultSender sender;
        readSender(object, sender.interfaceName, sender.sourceAddress);
        for (std::size_t lamp = 0; lamp < sender.lamps.size(); ++lamp) {
            sender.lamps[lamp] = lampStateOf(object.value(QLatin1String(lampNames[lamp].key)).toString());
        }
        sender.lastSeen = number(object, "lastSeen");
        diagnostics.senders.append(sender);
    }
    for (const QJsonValue &value : report.value(QLatin1String("faults")).toArray()) {
        const QJsonObject object = value.toObject();
        FaultCode code;
        readSender(object, code.interfaceName, code.sourceAddress);
        code.spn = static_cast<quint32>(count(object, "spn"));
        code.spnName = object.value(QLatin1String("spnName")).toString();
        code.fmi = static_cast<int>(count(object, "fmi"));
        code.occurrences = object.value(QLatin1String("occurrences")).toInt(noOccurrences);
        code.active = object.value(QLatin1String("active")).toBool();
        code.firstSeen = number(object, "firstSeen");
        code.lastSeen = number(object, "lastSeen");
        code.olderConversionMethod = object.value(QLatin1String("olderConversionMethod")).toBool();
        diagnostics.faults.append(code);
    }
    for (const QJsonValue &value : report.value(QLatin1String("requests")).toArray()) {
        const QJsonObject object = value.toObject();
        RequestCount request;
        readSender(object, request.interfaceName, request.sourceAddress);
        request.pgn = static_cast<quint32>(count(object, "pgn"));
        request.count = count(object, "count");
        diagnostics.requests.append(request);
    }
    return diagnostics;
}
