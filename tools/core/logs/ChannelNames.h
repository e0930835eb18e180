// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "InterfaceNames.h"

#include <QHash>
#include <QSet>

#include <array>

/**
 * The interfaces of a log that numbers its channels (ASC, BLF, TRC), as the
 * run's InterfaceNames: channel n is "CANn", as the tools that write these logs
 * show it.
 */
class ChannelNames
{
public:
    explicit ChannelNames(InterfaceNames &interfaces);
    quint16 index(quint32 channel)
    {
        if (channel < known.size() && known[channel] >= 0) {
            return static_cast<quint16>(known[channel]);
        }
        return add(channel);
    }

private:
    quint16 add(quint32 channel);

    InterfaceNames &interfaces;
    /// The interface index of each of the first channels, -1 before it is seen.
    std::array<int, 256> known;
};

/**
 * The channel numbers under which a writer records the run's interfaces:
 * "CANn" is channel n again; any other name that ends in a number n is channel
 * n + 1, as candump's interfaces count from 0 and channels from 1 (can0 is
 * channel 1). A name without a number, or whose number is taken, gets the
 * lowest channel still free.
 */
class ChannelNumbers
{
public:
    explicit ChannelNumbers(const InterfaceNames &interfaces);
    quint32 channel(quint16 interfaceIndex);

private:
    quint32 choose(const QString &name) const;

    const InterfaceNames &interfaces;
    QHash<quint16, quint32> byInterface;
    QSet<quint32> taken;
};
