// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QHostAddress>
#include <QString>

/// Where the metrics are served, as the command line names it: "ADDRESS:PORT",
/// such as "127.0.0.1:9108", "0.0.0.0:9108" or "[::1]:9108".
struct MetricsAddress
{
    QHostAddress host;
    /// 1 to 65535; 0 for no address.
    quint16 port = 0;

    /// False, with a message in error that names the part at fault, unless the
    /// text is an IP address (IPv6 in brackets), a colon and a port from 1 to 65535.
    static bool parse(const QString &text, MetricsAddress &address, QString &error);
    bool isSet() const;
    /// "ADDRESS:PORT" again, IPv6 in brackets.
    QString text() const;
};
