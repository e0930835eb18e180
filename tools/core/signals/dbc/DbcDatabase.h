// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "SignalDefinition.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

/// A signal as a CAN database defines it.
struct DbcSignal
{
    /// The long name where the database gives one (SystemSignalLongSymbol),
    /// else the name of its SG_ line.
    QString name;
    /// The name of its SG_ line, by which the database's other statements refer to it.
    QByteArray symbol;
    int line = 0;
    int startBit = 0;
    int length = 0;
    ByteOrder byteOrder = ByteOrder::LittleEndian;
    bool isSigned = false;
    SignalDefinition::Encoding encoding = SignalDefinition::Encoding::Integer;
    double factor = 1.0;
    double offset = 0.0;
    double minimum = 0.0;
    double maximum = 0.0;
    QString unit;
    /// Marked M, or mNM: other signals of the message may depend on its value.
    bool isMultiplexer = false;
    /// N of mN or mNM; -1 where the SG_ line has none.
    qint64 multiplexValue = -1;
    /// The signal of the same message whose raw value selects this one, and the
    /// values that do (SG_MUL_VAL_, or N of mN); -1 where the signal is in every frame.
    int multiplexer = -1;
    QVector<MultiplexRange> multiplexRanges;
    QVector<ValueLabel> valueLabels;
    /// Why the signal cannot be decoded; empty when it can.
    QString problem;
};

/// A message as a CAN database defines it.
struct DbcMessage
{
    /// The long name where the database gives one (SystemMessageLongSymbol).
    QString name;
    int line = 0;
    /// The identifier without bit 31, which marks a 29-bit one.
    quint32 id = 0;
    bool extended = false;
    /// Data bytes, as the BO_ line gives them.
    int length = 0;
    /// Matched by parameter group from every source address.
    bool j1939 = false;
    bool flexibleDataRate = false;
    /// GenMsgCycleTime in milliseconds; 0 where there is none.
    double cycleTime = 0.0;
    QVector<DbcSignal> signalList;
    /// Why none of its signals can be decoded; empty when they can.
    QString problem;
};

/// What one database file defines.
struct DbcDatabase
{
    QString file;
    QVector<DbcMessage> messages;
    /// What was skipped or could not be used, each naming the file and line.
    QStringList warnings;
};
