// SPDX-License-Identifier: LGPL-2.1-or-later
#include "QtSerialBus.h"

#include <QCanBus>
#include <QLoggingCategory>

QString describeBuses()
{
    QString text;
    for (const QString &plugin : QCanBus::instance()->plugins()) {
        QString error;
        const QList<QCanBusDeviceInfo> devices = QCanBus::instance()->availableDevices(plugin, &error);
        QStringList names;
        for (const QCanBusDeviceInfo &device : devices) {
            names.append(device.name());
        }
        text += plugin + QLatin1Char(':');
        if (!names.isEmpty()) {
            text += QLatin1Char(' ') + names.join(QLatin1Char(' '));
        } else {
            text += error.isEmpty() ? QStringLiteral(" (no interface found)") : QStringLiteral(" (%1)").arg(error);
        }
        text += QLatin1Char('\n');
    }
    return text;
}

void prepareQtSerialBus()
{
    QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus*=false"));
    if (!qEnvironmentVariableIsSet("TZ")) {
        qputenv("TZ", ":/etc/localtime");
    }
}
