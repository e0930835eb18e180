// SPDX-License-Identifier: LGPL-2.1-or-later
#include "MalformedLines.h"
#include "Messages.h"

#include <cstdio>

namespace
{
constexpr int shownCharacters = 80;

QString printable(const QByteArray &line)
{
    QString text;
    for (int i = 0; i < line.size() && i < shownCharacters; ++i) {
        const char c = line.at(i);
        text += c >= 0x20 && c < 0x7F ? QLatin1Char(c) : QLatin1Char('?');
    }
    return line.size() > shownCharacters ? text + QStringLiteral("...") : text;
}
}

MalformedLine MalformedLine::of(const LogReader &reader)
{
    return MalformedLine{logFormatInfo(reader.format()).record,
                         reader.lineNumber(),
                         QString::fromLatin1(reader.error()),
                         printable(reader.line())};
}

QString MalformedLine::description() const
{
    return QStringLiteral("%1 %2: %3: %4").arg(QLatin1String(record)).arg(lineNumber).arg(why, text);
}

void MalformedLines::add(const MalformedLine &line)
{
    ++lines;
    if (kept.size() < shown) {
        kept.append(line);
    }
}

quint64 MalformedLines::count() const
{
    return lines;
}

const QVector<MalformedLine> &MalformedLines::first() const
{
    return kept;
}

QString MalformedLines::summary() const
{
    return QStringLiteral("%1 malformed %2(s) skipped%3")
        .arg(lines)
        .arg(QLatin1String(kept.isEmpty() ? "line" : kept.first().record))
        .arg(lines > shown ? QStringLiteral(", the first %1:").arg(shown) : QStringLiteral(":"));
}

void MalformedLines::tell() const
{
    if (lines == 0) {
        return;
    }
    complain(summary());
    for (const MalformedLine &line : kept) {
        std::fprintf(stderr, "  %s\n", line.description().toLocal8Bit().constData());
    }
}
