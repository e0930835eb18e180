// SPDX-License-Identifier: LGPL-2.1-or-later
#include "DbcListing.h"

#include <QStringList>

#include <algorithm>

namespace
{
QString identifierText(const DbcMessage &m)
{
    if (m.j1939) {
        return QStringLiteral("PGN %1").arg(j1939Pgn(m.id));
    }
    return QStringLiteral("0x")
        + QString::number(m.id, 16).toUpper().rightJustified(m.extended ? 8 : 3, QLatin1Char('0'));
}

QString typeText(const DbcSignal &s)
{
    switch (s.encoding) {
    case SignalDefinition::Encoding::Float32:
        return QStringLiteral("float");
    case SignalDefinition::Encoding::Float64:
        return QStringLiteral("double");
    case SignalDefinition::Encoding::Integer:
        break;
    }
    return s.isSigned ? QStringLiteral("signed") : QStringLiteral("unsigned");
}

QString rangesText(const QVector<MultiplexRange> &ranges)
{
    QStringList parts;
    for (const MultiplexRange &range : ranges) {
        parts.append(range.low == range.high ? QString::number(range.low)
                                             : QStringLiteral("%1-%2").arg(range.low).arg(range.high));
    }
    return parts.join(QLatin1Char(','));
}

QString multiplexingText(const DbcMessage &m, const DbcSignal &s)
{
    QStringList parts;
    for (const DbcSignal *inner = &s; inner->multiplexer >= 0;) {
        const DbcSignal &selector = m.signalList.at(inner->multiplexer);
        parts.prepend(selector.name + QLatin1Char('=') + rangesText(inner->multiplexRanges));
        inner = &selector;
    }
    if (s.isMultiplexer) {
        parts.append(QStringLiteral("M"));
    }
    return parts.join(QLatin1Char(' '));
}

QStringList row(const DbcMessage &m, const DbcSignal &s)
{
    const auto number = [](double value) {
        return QString::number(value, 'g', 12);
    };
    return {m.name,
            identifierText(m),
            s.name,
            QStringLiteral("%1|%2").arg(s.startBit).arg(s.length),
            s.byteOrder == ByteOrder::LittleEndian ? QStringLiteral("Intel") : QStringLiteral("Motorola"),
            typeText(s),
            number(s.factor),
            number(s.offset),
            s.unit,
            QStringLiteral("[%1|%2]").arg(number(s.minimum), number(s.maximum)),
            multiplexingText(m, s)};
}

QString aligned(const QVector<QStringList> &rows)
{
    QVector<int> widths;
    for (const QStringList &cells : rows) {
        widths.resize(std::max(widths.size(), cells.size()));
        for (int c = 0; c < cells.size(); ++c) {
            widths[c] = std::max(widths.at(c), cells.at(c).size());
        }
    }
    QString text;
    for (const QStringList &cells : rows) {
        QString line;
        for (int c = 0; c < cells.size(); ++c) {
            line += cells.at(c).leftJustified(widths.at(c)) + QStringLiteral("  ");
        }
        text += line.trimmed() + QLatin1Char('\n');
    }
    return text;
}
}

QString databaseListing(const QVector<DbcDatabase> &databases, const SignalSelection &selection)
{
    QString text;
    for (const DbcDatabase &database : databases) {
        QVector<QStringList> rows{{QStringLiteral("message"),
                                   QStringLiteral("identifier"),
                                   QStringLiteral("signal"),
                                   QStringLiteral("bits"),
                                   QStringLiteral("order"),
                                   QStringLiteral("type"),
                                   QStringLiteral("factor"),
                                   QStringLiteral("offset"),
                                   QStringLiteral("unit"),
                                   QStringLiteral("range"),
                                   QStringLiteral("multiplexing")}};
        int signalCount = 0;
        for (const DbcMessage &m : database.messages) {
            signalCount += m.signalList.size();
            for (const DbcSignal &s : m.signalList) {
                if (m.problem.isEmpty() && s.problem.isEmpty() && selection.selects(m.name, s.name)) {
                    rows.append(row(m, s));
                }
            }
        }
        text += QStringLiteral("%1: %2 messages, %3 signals\n")
                    .arg(database.file)
                    .arg(database.messages.size())
                    .arg(signalCount);
        text += aligned(rows) + QLatin1Char('\n');
    }
    return text;
}
