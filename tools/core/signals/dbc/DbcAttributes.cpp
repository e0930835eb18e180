// SPDX-License-Identifier: LGPL-2.1-or-later
#include "DbcAttributes.h"

#include <cmath>
#include <iterator>

namespace
{
const char *const keptNames[] = {
    "ProtocolType",
    "VFrameFormat",
    "GenMsgCycleTime",
    "SystemMessageLongSymbol",
    "SystemSignalLongSymbol",
};

// VFrameFormat declared as INT, without labels, counts as its usual ENUM does.
const char *const frameFormats[] = {"StandardCAN",
                                    "ExtendedCAN",
                                    "reserved",
                                    "J1939PG",
                                    "reserved",
                                    "reserved",
                                    "reserved",
                                    "reserved",
                                    "reserved",
                                    "reserved",
                                    "reserved",
                                    "reserved",
                                    "reserved",
                                    "reserved",
                                    "StandardCAN_FD",
                                    "ExtendedCAN_FD"};

QByteArray key(char scope, quint32 id, const QByteArray &signal, const QByteArray &name)
{
    return scope + QByteArray::number(id) + '\0' + signal + '\0' + name;
}
}

bool DbcAttributes::kept(const QByteArray &name)
{
    for (const char *known : keptNames) {
        if (name == known) {
            return true;
        }
    }
    return false;
}

void DbcAttributes::define(const QByteArray &name, const QStringList &labels)
{
    if (kept(name)) {
        enumLabels.insert(name, labels);
    }
}

void DbcAttributes::setDefault(const QByteArray &name, const DbcValue &value)
{
    if (kept(name)) {
        defaults.insert(name, value);
    }
}

void DbcAttributes::setForDatabase(const QByteArray &name, const DbcValue &value)
{
    if (kept(name)) {
        values.insert(key('D', 0, QByteArray(), name), value);
    }
}

void DbcAttributes::setForMessage(quint32 id, const QByteArray &name, const DbcValue &value)
{
    if (kept(name)) {
        values.insert(key('M', id, QByteArray(), name), value);
    }
}

void DbcAttributes::setForSignal(quint32 id, const QByteArray &signal, const QByteArray &name, const DbcValue &value)
{
    if (kept(name)) {
        values.insert(key('S', id, signal, name), value);
        ++signalValues;
    }
}

QString DbcAttributes::text(const QByteArray &name, const DbcValue &value) const
{
    if (value.isText) {
        return value.text;
    }
    const auto labels = enumLabels.constFind(name);
    const bool labelled = labels != enumLabels.cend() && !labels->isEmpty();
    if (!labelled && name != "VFrameFormat") {
        return QString::number(value.number);
    }
    const double count = labelled ? labels->size() : static_cast<double>(std::size(frameFormats));
    const double index = value.number;
    if (index < 0.0 || index >= count || index != std::floor(index)) {
        return QString();
    }
    const int at = static_cast<int>(index);
    return labelled ? labels->at(at) : QString::fromLatin1(frameFormats[at]);
}

QString DbcAttributes::resolved(const QByteArray &name, const QByteArray &objectKey, bool &given) const
{
    const auto own = values.constFind(objectKey);
    given = own != values.cend();
    if (given) {
        return text(name, own.value());
    }
    const auto fallback = defaults.constFind(name);
    return fallback == defaults.cend() ? QString() : text(name, fallback.value());
}

QString DbcAttributes::databaseText(const QByteArray &name) const
{
    bool given = false;
    return resolved(name, key('D', 0, QByteArray(), name), given);
}

QString DbcAttributes::messageText(quint32 id, const QByteArray &name, bool &given) const
{
    return resolved(name, key('M', id, QByteArray(), name), given);
}

QString DbcAttributes::signalText(quint32 id, const QByteArray &signal, const QByteArray &name) const
{
    const auto own = values.constFind(key('S', id, signal, name));
    return own == values.cend() ? QString() : text(name, own.value());
}

double DbcAttributes::messageNumber(quint32 id, const QByteArray &name) const
{
    const auto own = values.constFind(key('M', id, QByteArray(), name));
    if (own != values.cend()) {
        return own.value().isText ? own.value().text.toDouble() : own.value().number;
    }
    const DbcValue fallback = defaults.value(name);
    return fallback.isText ? fallback.text.toDouble() : fallback.number;
}
