// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

// The numeric-type table: the element type that a data type selects, shared by
// the scaling, the rating and the choice of calculator; and the reading of a
// QVariant as such a type.

#include <Orvanet/CANopenDataType.h>

#include <QVariant>

#include <cstring>

namespace TalvenoNumeric
{
template<typename N>
struct NumericTag
{
    using type = N;
};

// Calls f(NumericTag<N>{}) for the element type N that the data type selects and
// returns true; returns false, without calling f, when it selects none.
template<typename F>
Q_ALWAYS_INLINE bool visitNumericType(CAN::CANopenDataType type, F &&f)
{
    switch (static_cast<quint32>(type)) {
    case 0:
    case 17:
        f(NumericTag<double>{});
        return true;
    case 2:
    case 18:
        f(NumericTag<qint8>{});
        return true;
    case 3:
        f(NumericTag<qint16>{});
        return true;
    case 4:
    case 16:
        f(NumericTag<qint32>{});
        return true;
    case 5:
        f(NumericTag<quint8>{});
        return true;
    case 6:
        f(NumericTag<quint16>{});
        return true;
    case 7:
    case 22:
        f(NumericTag<quint32>{});
        return true;
    case 8:
        f(NumericTag<float>{});
        return true;
    case 21:
        f(NumericTag<qint64>{});
        return true;
    case 24:
    case 25:
    case 27:
        f(NumericTag<quint64>{});
        return true;
    default:
        return false;
    }
}

// The stored N when the variant holds the meta-type of N, else the converted
// value, else 0.
template<typename N>
N readAs(const QVariant &value)
{
    // A variant that stores N itself (the usual case: a scaled value in the
    // signal's own type) is read in place, without the calls into QtCore that
    // value<N>() makes for every sample of a median list or a replay.
    const QVariant::DataPtr &data = value.data_ptr();
    if (data.type == static_cast<uint>(qMetaTypeId<N>()) && !data.is_shared) {
        N stored;
        std::memcpy(&stored, &data.data, sizeof stored);
        return stored;
    }
    return value.value<N>();
}
}
