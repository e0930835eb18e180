// SPDX-License-Identifier: LGPL-2.1-or-later
#include "MetricsAddress.h"

bool MetricsAddress::parse(const QString &text, MetricsAddress &address, QString &error)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = text.left(colon);
    if (colon <= 0) {
        error = QStringLiteral("--metrics %1: expected ADDRESS:PORT, e.g. 127.0.0.1:9108").arg(text);
        return false;
    }
    const bool bracketed = host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'));
    if (bracketed) {
        host = host.mid(1, host.size() - 2);
    }
    const QHostAddress parsed(host);
    if (parsed.isNull() || bracketed != (parsed.protocol() == QAbstractSocket::IPv6Protocol)) {
        error = QStringLiteral("--metrics %1: %2 is not an IP address, such as 127.0.0.1 or [::1]")
                    .arg(text, text.left(colon));
        return false;
    }
    bool ok = false;
    const int port = text.mid(colon + 1).toInt(&ok, 10);
    if (!ok || port < 1 || port > 65535) {
        error = QStringLiteral("--metrics %1: port %2 is not 1 to 65535").arg(text, text.mid(colon + 1));
        return false;
    }
    address.host = parsed;
    address.port = static_cast<quint16>(port);
    return true;
}

bool MetricsAddress::isSet() const
{
    return port != 0;
}

QString MetricsAddress::text() const
{
    const QString host = this->host.toString();
    return (this->host.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + host + QLatin1Char(']') : host)
        + QLatin1Char(':') + QString::number(port);
}
