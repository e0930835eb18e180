// SPDX-License-Identifier: LGPL-2.1-or-later
// What several unit tests need: samples, a capacity for one test, the thread count,
// and exact comparison of values.
#pragma once

#include <Talveno/Talveno.h>

#include <QByteArray>
#include <QDataStream>
#include <QDir>
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

// Threads of this process; -1 where the system does not list them. The worker is
// the only thread a signal starts, so the count shows whether one runs.
inline int threadCount()
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    return tasks.exists() ? tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() : -1;
}

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
