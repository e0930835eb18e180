// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "DbcAttributes.h"
#include "DbcDatabase.h"

#include <QHash>
#include <QVector>

/**
 * What a database's statements mean together, once it has been read: which
 * messages are J1939 or CAN FD and how often they come, the long names, the
 * value types and multiplexers of the signals, and which of them cannot be
 * decoded and why (each with a warning).
 */
class DbcMeaning
{
public:
    /// rawIds are the BO_ identifiers as written, one per message; byRawId finds
    /// the first message of each.
    DbcMeaning(DbcDatabase &database,
               const DbcAttributes &attributes,
               const QVector<quint32> &rawIds,
               const QHash<quint32, int> &byRawId);

    /// The signal of the message that BO_ rawId defines, by the name of its SG_
    /// line; null for an empty name. A statement of the given line that names a
    /// message or signal the database does not define is counted for a warning.
    DbcSignal *find(quint32 rawId, const QByteArray &symbol, int line);
    /// SIG_VALTYPE_: 0 an integer, 1 an IEEE single, 2 an IEEE double.
    void setValueType(DbcSignal &s, qint64 type);
    /// SG_MUL_VAL_: the signal is in the frames where the named multiplexer of its
    /// message has a raw value in one of the ranges.
    void
    setMultiplexer(quint32 rawId, DbcSignal &s, const QByteArray &multiplexer, const QVector<MultiplexRange> &ranges);
    /// Works out the rest and adds the warnings.
    void finish();

private:
    void readMessage(int index, bool protocolJ1939);
    void placeSimpleMultiplexing(DbcMessage &m);
    static QString ownProblem(const DbcSignal &s);
    void findProblems(DbcMessage &m);

    DbcDatabase &database;
    const DbcAttributes &attributes;
    const QVector<quint32> &rawIds;
    const QHash<quint32, int> &byRawId;
    int danglingReferences = 0;
    int firstDanglingLine = 0;
};
