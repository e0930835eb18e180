// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "SignalDefinition.h"

#include <QByteArray>
#include <QString>
#include <QVector>

/**
 * Signal definitions from JSON: `{"signals": [ {...}, ... ]}`, each with
 *
 * - "name" (required), "unit";
 * - either "pgn" (J1939, 29-bit identifiers) with "sourceAddress" (default 0;
 *   not-available values skipped unless "skipNotAvailable" is false), or "id"
 *   with "mask" (default all bits) and "extended" (default: true when id is
 *   above 7FF);
 * - "startBit", "length" (bits) and "factor" (all required), "byteOrder"
 *   ("little" or "big", default little), "signed" (default false), "offset"
 *   (default 0), "dataType" (a name of DataType::all() or its CANopen number,
 *   default Real64; an integer type no narrower than "length");
 * - "frameLength": the data bytes of the frame, 8 (the default) or a longer CAN
 *   FD length (12, 16, 20, 24, 32, 48, 64); the signal must fit in them.
 *
 * Integers may be JSON numbers or strings, decimal or with 0x. Unknown keys, and
 * keys of the other kind of addressing, are refused, and so is a name that an
 * earlier signal has, in the file or in definitions as given (the built-in
 * signals); the new signals are appended. Returns false and sets error,
 * naming the signal (position from 1 and name) and the field, on the first fault.
 */
bool parseDefinitions(const QByteArray &json, QVector<SignalDefinition> &definitions, QString &error);

/// parseDefinitions() on the file's contents; false with error also when unreadable.
bool readDefinitionFile(const QString &path, QVector<SignalDefinition> &definitions, QString &error);
