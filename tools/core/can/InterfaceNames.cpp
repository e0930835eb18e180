// SPDX-License-Identifier: LGPL-2.1-or-later
#include "InterfaceNames.h"

#include <cstring>
#include <limits>

quint16 InterfaceNames::index(const QString &name)
{
    const QByteArray utf8 = name.toUtf8();
    return index(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

quint16 InterfaceNames::lookUp(const char *name, std::size_t length)
{
    const auto same = [name, length](const QByteArray &known) {
        return static_cast<std::size_t>(known.size()) == length && std::memcmp(known.constData(), name, length) == 0;
    };
    if (last >= 0 && same(bytes.at(last))) {
        return static_cast<quint16>(last);
    }
    for (int i = 0; i < bytes.size(); ++i) {
        if (same(bytes.at(i))) {
            remember(i, name, length);
            return static_cast<quint16>(i);
        }
    }
    // A log that names more interfaces than that is not a CAN log; the rest share
    // the last index.
    if (bytes.size() > std::numeric_limits<quint16>::max()) {
        return std::numeric_limits<quint16>::max();
    }
    bytes.append(QByteArray(name, static_cast<int>(length)));
    const QMutexLocker locker(&namesMutex);
    names.append(QString::fromUtf8(name, static_cast<int>(length)));
    remember(bytes.size() - 1, name, length);
    return static_cast<quint16>(last);
}

void InterfaceNames::remember(int index, const char *name, std::size_t length)
{
    last = index;
    const bool kept = length <= sizeof(lastName);
    lastLength = kept ? length : ~std::size_t(0);
    if (kept && length > 0) {
        std::memcpy(lastName, name, length);
    }
}

QString InterfaceNames::name(quint16 index) const
{
    const QMutexLocker locker(&namesMutex);
    return index < names.size() ? names.at(index) : QString();
}

int InterfaceNames::count() const
{
    const QMutexLocker locker(&namesMutex);
    return names.size();
}
