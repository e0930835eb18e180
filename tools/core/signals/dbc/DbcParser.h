// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "DbcDatabase.h"

#include <QByteArray>
#include <QString>

/**
 * Reads a CAN database in the DBC format: VERSION, NS_, BS_, BU_, BO_ with its
 * SG_ lines, CM_, BA_DEF_, BA_DEF_DEF_, BA_, VAL_TABLE_, VAL_, SIG_VALTYPE_,
 * SG_MUL_VAL_ and BO_TX_BU_. Every other statement (EV_, ENVVAR_DATA_, SGTYPE_,
 * SIG_GROUP_, BA_DEF_REL_, ...) is skipped up to its ';', with one warning per
 * keyword. Strings are UTF-8, or where they are not valid UTF-8, Windows-1252.
 *
 * The database's meaning is worked out as it is read: bit 31 of a BO_
 * identifier (or a value above 0x7FF) marks a 29-bit one; J1939 messages are
 * those with VFrameFormat "J1939PG", or, without a VFrameFormat of their own, of
 * a database whose ProtocolType is "J1939"; CAN FD ones those with a CAN_FD
 * VFrameFormat or more than 8 bytes; long names replace the SG_ and BO_ names.
 * Overlapping signals are no fault. A signal that cannot be decoded (bits past
 * byte 64, a multiplexer that is not there) keeps a problem and a warning.
 *
 * False on a syntax error, with error "FILE:LINE:COLUMN: expected ..., found
 * ..."; database is then left as it was: nothing is half-loaded.
 */
bool parseDbc(const QByteArray &text, const QString &file, DbcDatabase &database, QString &error);

/// parseDbc() on the file's contents, named by path; false with error also when unreadable.
bool readDbcFile(const QString &path, DbcDatabase &database, QString &error);
