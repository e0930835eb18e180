// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

/// An attribute's value as BA_ or BA_DEF_DEF_ writes it: a string, or a number
/// (for an ENUM attribute, the index of its label).
struct DbcValue
{
    bool isText = false;
    QString text;
    double number = 0.0;
};

/**
 * The attributes of a database that decide how its frames are read:
 * ProtocolType of the database; VFrameFormat, GenMsgCycleTime and
 * SystemMessageLongSymbol of a message; SystemSignalLongSymbol of a signal.
 * Others are read and passed over.
 */
class DbcAttributes
{
public:
    static bool kept(const QByteArray &name);

    /// BA_DEF_: labels are those of an ENUM attribute, empty for other kinds.
    void define(const QByteArray &name, const QStringList &labels);
    void setDefault(const QByteArray &name, const DbcValue &value);
    void setForDatabase(const QByteArray &name, const DbcValue &value);
    void setForMessage(quint32 id, const QByteArray &name, const DbcValue &value);
    void setForSignal(quint32 id, const QByteArray &signal, const QByteArray &name, const DbcValue &value);

    /// The value as text, an ENUM index as its label: the object's own value where
    /// it has one (and then given is true), else the default; empty without either.
    QString databaseText(const QByteArray &name) const;
    QString messageText(quint32 id, const QByteArray &name, bool &given) const;
    /// The signal's own value only: no default names a signal.
    QString signalText(quint32 id, const QByteArray &signal, const QByteArray &name) const;
    /// Whether any signal has a value of its own, which most databases do not:
    /// asking each of thousands of signals would take longer than reading them.
    bool anyForSignals() const
    {
        return signalValues > 0;
    }
    /// A number, explicit or default; 0 without either.
    double messageNumber(quint32 id, const QByteArray &name) const;

private:
    QString text(const QByteArray &name, const DbcValue &value) const;
    QString resolved(const QByteArray &name, const QByteArray &key, bool &given) const;

    QHash<QByteArray, QStringList> enumLabels;
    QHash<QByteArray, DbcValue> defaults;
    /// By object and attribute name, as key() joins them.
    QHash<QByteArray, DbcValue> values;
    int signalValues = 0;
};
