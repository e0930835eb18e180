// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ChannelNames.h"

#include <cstdio>

ChannelNames::ChannelNames(InterfaceNames &interfaces)
    : interfaces(interfaces)
{
    known.fill(-1);
}

quint16 ChannelNames::add(quint32 channel)
{
    char name[16];
    const int length = std::snprintf(name, sizeof(name), "CAN%u", static_cast<unsigned>(channel));
    const quint16 index = interfaces.index(name, static_cast<std::size_t>(length));
    if (channel < known.size()) {
        known[channel] = index;
    }
    return index;
}

ChannelNumbers::ChannelNumbers(const InterfaceNames &interfaces)
    : interfaces(interfaces)
{
}

quint32 ChannelNumbers::choose(const QString &name) const
{
    int digits = 0;
    while (digits < name.size() && digits < 9 && name.at(name.size() - 1 - digits).isDigit()) {
        ++digits;
    }
    if (digits > 0) {
        const quint32 number = name.rightRef(digits).toUInt();
        const bool ours = name.size() == digits + 3 && name.startsWith(QLatin1String("CAN"));
        const quint32 wanted = ours ? number : number + 1;
        if (!taken.contains(wanted)) {
            return wanted;
        }
    }
    quint32 free = 1;
    while (taken.contains(free)) {
        ++free;
    }
    return free;
}

quint32 ChannelNumbers::channel(quint16 interfaceIndex)
{
    const auto known = byInterface.constFind(interfaceIndex);
    if (known != byInterface.cend()) {
        return known.value();
    }
    const quint32 number = choose(interfaces.name(interfaceIndex));
    byInterface.insert(interfaceIndex, number);
    taken.insert(number);
    return number;
}
