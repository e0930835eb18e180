// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <Talveno/CANopenObjectValue.h>
#include <Talveno/J1939Value.h>
#include <Talveno/talveno_export.h>

#include <QDataStream>

/*
 * The records on a QDataStream: a qint16 version, then fixed fields, each in the
 * stream's own byte order, QVariant format (QDataStream::version()) and
 * floating-point precision, none of which the operators change. No record type,
 * length or terminator is written: the reader must know which record comes next.
 *
 * J1939Value, version 2: version, rawValue, scaledValue, qint32 auxInt, double auxDouble.
 * J1939Value, version 1 (read only): version, rawValue, scaledValue, qint32 auxInt.
 * CANopenObjectValue, version 1: version, rawValue, scaledValue, qint8 auxByte1,
 * qint8 auxByte2, double auxDouble1, double auxDouble2, qint32 auxInt.
 */

/// Writes the record at version 2; excluded, auxByte1 and auxByte2 are not written.
TALVENO_EXPORT QDataStream &operator<<(QDataStream &stream, const J1939Value &value);

/// Reads a record of version 1 (auxDouble keeps its value) or 2 straight into value;
/// any other version consumes only its two bytes and changes neither value nor the
/// stream's status, and a stream that runs short leaves the remaining fields as
/// QDataStream stores them on a failed read (0, an invalid QVariant) with its status set.
TALVENO_EXPORT QDataStream &operator>>(QDataStream &stream, J1939Value &value);

/// Writes the record at version 1; auxDouble and excluded are not written.
TALVENO_EXPORT QDataStream &operator<<(QDataStream &stream, const CANopenObjectValue &value);

/// Reads a record of version 1 straight into value; any other version consumes only
/// its two bytes and changes neither value nor the stream's status, and a stream that
/// runs short leaves the remaining fields as QDataStream stores them on a failed read
/// (0, an invalid QVariant) with its status set.
TALVENO_EXPORT QDataStream &operator>>(QDataStream &stream, CANopenObjectValue &value);
