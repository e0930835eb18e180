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
 * - either "pgn" and "sourceAddress" (J1939, 29-bit identifiers; not-available
 *   values skipped unless "skipNotAvailable" is false), or "id", "mask" (default
 *   all bits) and "extended" (default: true when id is above 7FF);
 * - "startBit", "length" (bits), "byteOrder" ("little" or "big", default little),
 *   "signed" (default false), "factor" (default 1), "offset" (default 0),
 *   "dataType" (CANopen data type number or name such as "Real64", default 17).
 *
 * Integers may be JSON numbers or strings, decimal or with 0x. Returns false and
 * sets error, naming the signal and the field, on the first fault.
 */
bool parseDefinitions(const QByteArray &json, QVector<SignalDefinition> &definitions, QString &error);

/// parseDefinitions() on the file's contents; false with error also when unreadable.
bool readDefinitionFile(const QString &path, QVector<SignalDefinition> &definitions, QString &error);
