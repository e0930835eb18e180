// SPDX-License-Identifier: LGPL-2.1-or-later
// What several unit tests need: samples, a capacity for one test and exact
// comparison of values.
#pragma once

#include <Talveno/Talveno.h>

#include <QByteArray>
#include <QDataStream>
#include <QVariant>

namespace TestSupport
{
// An excluded sample keeps the scaled value it brings under every data type with a
// numeric type, so a test can put exactly the values it names into a history.
template<typename T = J1939Value>
T sample(const QVariant &raw, const QVariant &scaled = QVariant(), bool excluded = false)
{
    T value;
    value.rawValue = raw;
    value.scaledValue = scaled;
    value.excluded = excluded;
    return value;
}

// The capacity of every history while the object lives; the default again after.
class Capacity
{
public:
    explicit Capacity(unsigned int count)
    {
        GenericSignal::setMaxValueCount(count);
    }
    ~Capacity()
    {
        GenericSignal::setMaxValueCount(1000);
    }
    Capacity(const Capacity &) = delete;
    Capacity &operator=(const Capacity &) = delete;
};

// A value as the hex of its stream bytes: exact in type and bits, where QVariant's
// equality converts between types and QCOMPARE on doubles is fuzzy.
template<typename V>
QByteArray bytesOf(const V &value)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << value;
    return bytes.toHex(' ');
}
}
