// SPDX-License-Identifier: LGPL-2.1-or-later
#include "DbcMeaning.h"

#include <cmath>

namespace
{
DbcSignal *signalNamed(DbcMessage &m, const QByteArray &symbol)
{
    for (DbcSignal &s : m.signalList) {
        if (s.symbol == symbol) {
            return &s;
        }
    }
    return nullptr;
}
}

DbcMeaning::DbcMeaning(DbcDatabase &database,
                       const DbcAttributes &attributes,
                       const QVector<quint32> &rawIds,
                       const QHash<quint32, int> &byRawId)
    : database(database)
    , attributes(attributes)
    , rawIds(rawIds)
    , byRawId(byRawId)
{
}

DbcSignal *DbcMeaning::find(quint32 rawId, const QByteArray &symbol, int line)
{
    const int index = byRawId.value(rawId, -1);
    DbcSignal *found = index < 0 || symbol.isEmpty() ? nullptr : signalNamed(database.messages[index], symbol);
    if (index < 0 || (!symbol.isEmpty() && !found)) {
        firstDanglingLine = danglingReferences++ == 0 ? line : firstDanglingLine;
    }
    return found;
}

void DbcMeaning::setValueType(DbcSignal &s, qint64 type)
{
    using Encoding = SignalDefinition::Encoding;
    s.encoding = type == 1 ? Encoding::Float32 : type == 2 ? Encoding::Float64 : Encoding::Integer;
    if (type == 3) {
        s.problem = QStringLiteral("SIG_VALTYPE_ 3 is none of 0 (integer), 1 (float) and 2 (double)");
    }
}

void DbcMeaning::setMultiplexer(quint32 rawId,
                                DbcSignal &s,
                                const QByteArray &multiplexer,
                                const QVector<MultiplexRange> &ranges)
{
    DbcMessage &m = database.messages[byRawId.value(rawId)];
    const DbcSignal *selector = signalNamed(m, multiplexer);
    if (!selector) {
        s.problem = QStringLiteral("its multiplexer %1 (SG_MUL_VAL_) is not a signal of its message")
                        .arg(QString::fromUtf8(multiplexer));
        return;
    }
    const int index = static_cast<int>(selector - m.signalList.constData());
    if (s.multiplexer != index) {
        s.multiplexRanges.clear();
    }
    s.multiplexer = index;
    s.multiplexRanges += ranges;
}

void DbcMeaning::readMessage(int index, bool protocolJ1939)
{
    DbcMessage &m = database.messages[index];
    const quint32 rawId = rawIds.at(index);
    bool given = false;
    const QString format = attributes.messageText(rawId, "VFrameFormat", given);
    m.j1939 = m.extended && (format == QLatin1String("J1939PG") || (!given && protocolJ1939));
    m.flexibleDataRate = format.endsWith(QLatin1String("CAN_FD")) || m.length > 8;
    const double cycle = attributes.messageNumber(rawId, "GenMsgCycleTime");
    m.cycleTime = std::isfinite(cycle) && cycle > 0.0 ? cycle : 0.0;
    const QString longName = attributes.messageText(rawId, "SystemMessageLongSymbol", given);
    if (given && !longName.isEmpty()) {
        m.name = longName;
    }
    if (!attributes.anyForSignals()) {
        return;
    }
    for (DbcSignal &s : m.signalList) {
        const QString longSignalName = attributes.signalText(rawId, s.symbol, "SystemSignalLongSymbol");
        if (!longSignalName.isEmpty()) {
            s.name = longSignalName;
        }
    }
}

// mN without SG_MUL_VAL_ belongs to the message's multiplexer, the signal marked M.
void DbcMeaning::placeSimpleMultiplexing(DbcMessage &m)
{
    int selector = -1;
    for (int i = 0; i < m.signalList.size() && selector < 0; ++i) {
        const DbcSignal &s = m.signalList.at(i);
        selector = s.isMultiplexer && s.multiplexValue < 0 ? i : -1;
    }
    for (DbcSignal &s : m.signalList) {
        if (s.multiplexValue < 0 || s.multiplexer >= 0 || !s.problem.isEmpty()) {
            continue;
        }
        if (selector < 0) {
            s.problem = QStringLiteral("m%1, but its message has no multiplexer (M)").arg(s.multiplexValue);
            continue;
        }
        s.multiplexer = selector;
        s.multiplexRanges = {MultiplexRange{s.multiplexValue, s.multiplexValue}};
    }
}

QString DbcMeaning::ownProblem(const DbcSignal &s)
{
    using Encoding = SignalDefinition::Encoding;
    if (!s.problem.isEmpty()) {
        return s.problem;
    }
    if (s.length < 1 || s.length > 64) {
        return QStringLiteral("its length %1 is not 1 to 64 bits").arg(s.length);
    }
    if (lastBit(s.startBit, s.length, s.byteOrder) >= 64 * 8) {
        return QStringLiteral("its bits run past byte 64, the end of the longest CAN FD frame");
    }
    const int realBits = s.encoding == Encoding::Float32 ? 32 : s.encoding == Encoding::Float64 ? 64 : 0;
    if (realBits != 0 && s.length != realBits) {
        return QStringLiteral("an IEEE real of %1 bits (SIG_VALTYPE_) in %2 bits").arg(realBits).arg(s.length);
    }
    if (s.factor == 0.0) {
        return QStringLiteral("its factor 0 would make every value the offset");
    }
    return QString();
}

// A signal is decodable where it and every multiplexer above it are; multiplexers
// that select each other in a loop are not.
void DbcMeaning::findProblems(DbcMessage &m)
{
    QVector<QString> own;
    for (const DbcSignal &s : std::as_const(m.signalList)) {
        own.append(ownProblem(s));
    }
    for (int i = 0; i < m.signalList.size(); ++i) {
        QString problem = own.at(i);
        int steps = 0;
        for (int above = m.signalList.at(i).multiplexer; problem.isEmpty() && above >= 0;
             above = m.signalList.at(above).multiplexer) {
            if (++steps > m.signalList.size()) {
                problem = QStringLiteral("its multiplexers select each other in a loop");
            } else if (!own.at(above).isEmpty()) {
                problem = QStringLiteral("its multiplexer %1 cannot be decoded").arg(m.signalList.at(above).name);
            }
        }
        m.signalList[i].problem = problem;
    }
}

void DbcMeaning::finish()
{
    const bool protocolJ1939 = attributes.databaseText("ProtocolType") == QLatin1String("J1939");
    for (int i = 0; i < database.messages.size(); ++i) {
        readMessage(i, protocolJ1939);
        DbcMessage &m = database.messages[i];
        placeSimpleMultiplexing(m);
        findProblems(m);
        if (!m.problem.isEmpty() && !m.signalList.isEmpty()) {
            database.warnings.append(QStringLiteral("%1:%2: message %3: %4; its %5 signal(s) are skipped")
                                         .arg(database.file)
                                         .arg(m.line)
                                         .arg(m.name, m.problem)
                                         .arg(m.signalList.size()));
            continue;
        }
        for (const DbcSignal &s : std::as_const(m.signalList)) {
            if (!s.problem.isEmpty()) {
                database.warnings.append(QStringLiteral("%1:%2: signal %3.%4: %5; it is skipped")
                                             .arg(database.file)
                                             .arg(s.line)
                                             .arg(m.name, s.name, s.problem));
            }
        }
    }
    if (danglingReferences > 0) {
        database.warnings.append(QStringLiteral("%1: %2 statement(s) name messages or signals that it does not "
                                                "define (the first on line %3); they are passed over")
                                     .arg(database.file)
                                     .arg(danglingReferences)
                                     .arg(firstDanglingLine));
    }
}
