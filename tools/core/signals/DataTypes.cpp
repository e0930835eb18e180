// SPDX-License-Identifier: LGPL-2.1-or-later
#include "DataTypes.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <tuple>

const QVector<DataType> &DataType::all()
{
    static const QVector<DataType> table = {
        {"Integer8", CAN::Integer8, 8, Signed},
        {"Integer16", CAN::Integer16, 16, Signed},
        {"Integer24", CAN::Integer24, 32, Signed},
        {"Integer32", CAN::Integer32, 32, Signed},
        {"Integer40", CAN::Integer40, 8, Signed},
        {"Integer64", CAN::Integer64, 64, Signed},
        {"Unsigned8", CAN::Unsigned8, 8, Unsigned},
        {"Unsigned16", CAN::Unsigned16, 16, Unsigned},
        {"Unsigned24", CAN::Unsigned24, 32, Unsigned},
        {"Unsigned32", CAN::Unsigned32, 32, Unsigned},
        {"Unsigned40", CAN::Unsigned40, 64, Unsigned},
        {"Unsigned48", CAN::Unsigned48, 64, Unsigned},
        {"Unsigned64", CAN::Unsigned64, 64, Unsigned},
        {"Real32", CAN::Real32, 32, Real},
        {"Real64", CAN::Real64, 64, Real},
    };
    return table;
}

const DataType *DataType::find(const QString &name)
{
    const auto named = std::find_if(all().cbegin(), all().cend(), [&name](const DataType &known) {
        return name == QLatin1String(known.name);
    });
    return named == all().cend() ? nullptr : &*named;
}

const DataType *DataType::find(CAN::CANopenDataType type)
{
    const auto numbered =
        std::find_if(all().cbegin(), all().cend(), [type](const DataType &known) { return known.type == type; });
    return numbered == all().cend() ? nullptr : &*numbered;
}

namespace
{
bool holds(const DataType &type, double low, double high)
{
    if (type.kind == DataType::Real) {
        return false;
    }
    const double span = std::ldexp(1.0, type.kind == DataType::Signed ? type.bits - 1 : type.bits);
    const double lowest = type.kind == DataType::Signed ? -span : 0.0;
    return low >= lowest && high <= span - 1.0;
}

// Integer24, say, scales in 32 bits like Integer32: the name that says its width wins.
bool namedByWidth(const DataType &type)
{
    return QByteArray(type.name).endsWith(QByteArray::number(type.bits));
}
}

const DataType *DataType::holding(double low, double high)
{
    const auto rank = [low](const DataType &type) {
        const bool preferredKind = (type.kind == Unsigned) == (low >= 0.0);
        return std::make_tuple(type.bits, !namedByWidth(type), !preferredKind);
    };
    const DataType *best = nullptr;
    for (const DataType &type : all()) {
        if (holds(type, low, high) && (!best || rank(type) < rank(*best))) {
            best = &type;
        }
    }
    return best;
}

QString DataType::names()
{
    QStringList list;
    for (const DataType &type : all()) {
        list.append(QLatin1String(type.name));
    }
    return list.join(QLatin1String(", "));
}

QString DataType::scaledInto() const
{
    switch (kind) {
    case Signed:
        return QStringLiteral("a signed %1-bit integer").arg(bits);
    case Unsigned:
        return QStringLiteral("an unsigned %1-bit integer").arg(bits);
    case Real:
        return QStringLiteral("a %1-bit real").arg(bits);
    }
    return QString();
}
