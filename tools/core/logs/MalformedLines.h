// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once

#include "LogReader.h"

#include <QString>
#include <QVector>

/// A malformed line of a log (an object of a BLF), as a person reads it in a terminal.
struct MalformedLine
{
    /// "line", or what the log's records are.
    const char *record = "line";
    qint64 lineNumber = 0;
    QString why;
    /// Printable ASCII, at most 80 characters of the line.
    QString text;

    /// The line that the reader read last.
    static MalformedLine of(const LogReader &reader);
    /// "line 7: why: text", "object 7: ...".
    QString description() const;
};

/// The malformed lines of a log: how many, and the first few to show.
class MalformedLines
{
public:
    /// How many of them a program shows.
    static constexpr int shown = 5;

    void add(const MalformedLine &line);
    quint64 count() const;
    const QVector<MalformedLine> &first() const;
    /// "3 malformed line(s) skipped:", or with more than are shown, "..., the first 5:";
    /// "object(s)" in a BLF.
    QString summary() const;
    /// Tells the summary and the first few on standard error.
    void tell() const;

private:
    quint64 lines = 0;
    QVector<MalformedLine> kept;
};
