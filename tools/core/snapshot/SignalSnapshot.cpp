// SPDX-License-Identifier: LGPL-2.1-or-later
#include "SignalSnapshot.h"

#include <QStringList>

QString sourceAddressText(int sourceAddress)
{
    return QStringLiteral("0x") + QString::number(sourceAddress, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

QString originText(const QString &interfaceName, int sourceAddress)
{
    QStringList parts;
    if (!interfaceName.isEmpty()) {
        parts.append(interfaceName);
    }
    if (sourceAddress >= 0) {
        parts.append(QStringLiteral("SA ") + sourceAddressText(sourceAddress));
    }
    return parts.join(QLatin1String(", "));
}
