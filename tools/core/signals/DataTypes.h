// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <Orvanet/CANopenDataType.h>

#include <QString>
#include <QVector>

/// A data type that a definition may give: one for which the signal scales, and
/// keeps statistics, in a numeric type of GenericSignalImpl.
struct DataType
{
    /// What the scaled value is.
    enum Kind { Signed, Unsigned, Real };

    const char *name;
    CAN::CANopenDataType type;
    /// The width of the number the signal scales into: the library scales
    /// Integer24 in 32 bits, Integer40 in 8 and Unsigned40 in 64.
    int bits;
    Kind kind;

    /// Every data type a definition may give, in the order messages list them.
    static const QVector<DataType> &all();
    /// The entry of a data type by name or by number; null for one a definition may not give.
    static const DataType *find(const QString &name);
    static const DataType *find(CAN::CANopenDataType type);
    /// The narrowest integer type whose scaling holds every whole number from low
    /// to high (among equally wide ones, the type named after its width, and
    /// unsigned where low is not negative); null where none does.
    static const DataType *holding(double low, double high);
    /// Every name, for messages: "Integer8, Integer16, ...".
    static QString names();
    /// What it scales into: "a signed 32-bit integer", "a 64-bit real".
    QString scaledInto() const;
};
