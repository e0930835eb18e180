// SPDX-License-Identifier: LGPL-2.1-or-later
#include "BusAddress.h"

#include <QCanBus>
#include <QHostAddress>
#include <QRegularExpression>
#include <QStringList>

namespace
{
// Qt's virtualcan serves this port on the loopback unless a URL names another.
constexpr int virtualCanPort = 35468;

struct InterfaceUrl
{
    QString host;
    int port = -1;
    QString name;
};

bool isUrl(const QString &interfaceName)
{
    return interfaceName.contains(QLatin1String("://"));
}

// tcp://HOST:PORT/NAME; false with the part at fault in error.
bool splitUrl(const QString &text, InterfaceUrl &url, QString &error)
{
    if (!text.startsWith(QLatin1String("tcp://"))) {
        error = QStringLiteral("the URL's scheme must be tcp");
        return false;
    }
    static const QRegularExpression form(QStringLiteral("^tcp://(\\[[^\\]/]*\\]|[^:/]*)(:[^/]*)?/([^/]+)$"));
    const QRegularExpressionMatch parts = form.match(text);
    if (!parts.hasMatch()) {
        error = QStringLiteral("expected tcp://HOST:PORT/NAME, e.g. tcp://127.0.0.1:35470/can0");
        return false;
    }
    url.host = parts.captured(1);
    if (url.host.startsWith(QLatin1Char('['))) {
        url.host = url.host.mid(1, url.host.size() - 2);
    }
    if (!url.host.isEmpty() && QHostAddress(url.host).isNull()) {
        error = QStringLiteral("host %1 is not an IP address, such as 127.0.0.1").arg(url.host);
        return false;
    }
    if (parts.capturedLength(2) > 0) {
        bool ok = false;
        url.port = parts.captured(2).mid(1).toInt(&ok, 10);
        if (!ok || url.port < 1 || url.port > 65535) {
            error = QStringLiteral("port %1 is not 1 to 65535").arg(parts.captured(2).mid(1));
            return false;
        }
    }
    url.name = parts.captured(3);
    return true;
}
}

bool BusAddress::parse(const QString &text, BusAddress &address, QString &error)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon == text.size() - 1) {
        error = QStringLiteral("--bus %1: expected PLUGIN:INTERFACE, e.g. socketcan:can0 or virtualcan:can0").arg(text);
        return false;
    }
    address.plugin = text.left(colon);
    address.interfaceName = text.mid(colon + 1);
    InterfaceUrl url;
    if (isUrl(address.interfaceName) && !splitUrl(address.interfaceName, url, error)) {
        error = QStringLiteral("--bus %1: %2").arg(text, error);
        return false;
    }
    return true;
}

QString BusAddress::text() const
{
    return plugin + QLatin1Char(':') + interfaceName;
}

QString BusAddress::channel() const
{
    InterfaceUrl url;
    QString error;
    return isUrl(interfaceName) && splitUrl(interfaceName, url, error) ? url.name : interfaceName;
}

QString BusAddress::canonical() const
{
    const bool virtualCan = plugin == QLatin1String("virtualcan");
    InterfaceUrl url;
    QString error;
    if (isUrl(interfaceName)) {
        splitUrl(interfaceName, url, error);
    } else if (virtualCan) {
        url.name = interfaceName;
    } else {
        return text();
    }
    const QString host = url.host.isEmpty() ? QStringLiteral("127.0.0.1") : QHostAddress(url.host).toString();
    const int port = url.port < 0 && virtualCan ? virtualCanPort : url.port;
    return QStringLiteral("%1:tcp://%2:%3/%4").arg(plugin, host).arg(port).arg(url.name);
}

QString BusAddress::unreportedInterfaceError() const
{
    QStringList names;
    for (const QCanBusDeviceInfo &device : QCanBus::instance()->availableDevices(plugin)) {
        names.append(device.name());
    }
    if (names.isEmpty() || names.contains(channel())) {
        return QString();
    }
    return QStringLiteral("%1 has no interface %2; it reports %3")
        .arg(plugin, channel(), names.join(QLatin1String(", ")));
}
