// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QString>

/// A bus as the command line names it: "PLUGIN:INTERFACE", such as
/// "socketcan:can0" or "virtualcan:tcp://127.0.0.1:35470/can0". The text after
/// the first colon goes to Qt unchanged.
struct BusAddress
{
    QString plugin;
    QString interfaceName;

    /// False, with a message in error that names the part at fault, when the text
    /// has no plugin or no interface, or when an interface given as a URL is not
    /// tcp://HOST:PORT/NAME with an IP address for HOST (or none: the loopback)
    /// and a PORT from 1 to 65535 (or none: the plugin's default).
    static bool parse(const QString &text, BusAddress &address, QString &error);
    /// "PLUGIN:INTERFACE" again.
    QString text() const;
    /// The interface's own name: NAME of a URL, else the whole interface.
    QString channel() const;
    /// The bus as Qt opens it, so that two addresses of one bus compare equal:
    /// virtualcan's "can0" is "tcp://127.0.0.1:35468/can0".
    QString canonical() const;
    /// Empty when the plugin reports no interfaces, or reports this one; else a
    /// message that lists those it reports.
    QString unreportedInterfaceError() const;
};
