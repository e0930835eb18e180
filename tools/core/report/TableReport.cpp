// SPDX-License-Identifier: LGPL-2.1-or-later
#include "TableReport.h"
#include "NumberText.h"
#include "ReportFields.h"
#include "StandardStreams.h"

#include <algorithm>
#include <cmath>

namespace
{
using Kind = ReportField::Kind;

// Which line of the narrow table shows the column. A merged report has no
// first- and second-line choice of its own: its counts go first, its values second.
bool onLine(const ReportField &column, bool merged, unsigned line)
{
    if (!merged) {
        return (column.show & line) != 0;
    }
    const Kind kind = line == ShowFirstLine ? Kind::Count : Kind::Value;
    return column.shownIn(true, ShowWide) && column.kind == kind;
}

// The newest value shows its database label beside it, e.g. "2 Signal error".
QString withLabel(const ReportField &column, const SignalSnapshot &s, const QString &cell)
{
    return qstrcmp(column.key, "newest") == 0 && !s.newestLabel.isEmpty() ? cell + QLatin1Char(' ') + s.newestLabel
                                                                          : cell;
}

QString tableCell(const ReportField &column, const SignalSnapshot &s)
{
    const QJsonValue value = column.write(s);
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        switch (column.kind) {
        case Kind::Seconds:
            return QString::number(value.toDouble(), 'f', 3);
        case Kind::Value:
            return withLabel(column, s, NumberText::value(value.toDouble(), NumberText::decimalsOf(s.factor)));
        default:
            return NumberText::readable(value.toDouble());
        }
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("yes") : QString();
    default:
        return QString();
    }
}

QString signalLabel(const SignalSnapshot &s, bool withUnit)
{
    QString label = s.name;
    if (withUnit && !s.unit.isEmpty()) {
        label += QStringLiteral(" [%1]").arg(s.unit);
    }
    if (!s.origin.isEmpty()) {
        label += QStringLiteral(" (%1)").arg(s.origin);
    }
    return label;
}

// The narrow table's width.
constexpr int tableColumns = 80;

// The label cut with an ellipsis to the given width, keeping the unit and origin
// after the name where the name leaves room for them.
QString fittedLabel(const SignalSnapshot &s, int width)
{
    const QString label = signalLabel(s, true);
    if (label.size() <= width) {
        return label;
    }
    const QString after = label.mid(s.name.size());
    const int nameRoom = width - after.size() - 1;
    return nameRoom >= 8 ? s.name.left(nameRoom) + QChar(0x2026) + after : label.left(width - 1) + QChar(0x2026);
}

// Cuts the labels that would take the narrow table's first line past its width.
void fitLabels(QVector<QStringList> &rows, const QVector<SignalSnapshot> &signalStates, QVector<int> &widths)
{
    int others = 0;
    for (int c = 1; c < widths.size(); ++c) {
        others += widths.at(c) + 2;
    }
    const int room = std::max(tableColumns - others, 12);
    for (int i = 1; i < rows.size(); ++i) {
        rows[i][0] = fittedLabel(signalStates.at(i - 1), room);
    }
    widths[0] = std::min(widths.at(0), room);
}

// How wide a column of a screen redrawn in place starts out: as wide as most
// values and counts ever grow, so that it seldom has to widen.
int usualWidth(const ReportField *column)
{
    return column == nullptr ? 0 : column->kind == Kind::Value ? 10 : column->kind == Kind::Count ? 7 : 0;
}

// The second line of a signal in the narrow table starts here.
const char secondIndent[] = "  ";

// A row of cells, the first column left-aligned, the others right-aligned, two
// spaces apart; padded to its full width where the lines keep their widths.
void writeAligned(QTextStream &out,
                  const QStringList &row,
                  const QVector<int> &widths,
                  bool padded,
                  bool nameFirst = true,
                  const char *indent = "")
{
    QString line = QString::fromLatin1(indent);
    for (int c = 0; c < row.size(); ++c) {
        if (c > 0) {
            line += QStringLiteral("  ");
        }
        line += c == 0 && nameFirst ? row.at(c).leftJustified(widths.at(c)) : row.at(c).rightJustified(widths.at(c));
    }
    while (!padded && line.endsWith(QLatin1Char(' '))) {
        line.chop(1);
    }
    out << line << '\n';
}

QVector<int> widthsOf(const QVector<QStringList> &rows)
{
    QVector<int> widths;
    for (const QStringList &row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (int c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths.at(c), row.at(c).size());
        }
    }
    return widths;
}

// The widths of the rows' columns. On a screen redrawn in place (kept given), a
// column keeps its width from one snapshot to the next: as wide as the widest
// cell it has shown, and at least its usual width.
QVector<int>
steadyWidths(const QVector<QStringList> &rows, const QVector<const ReportField *> &chosen, const QVector<int> *kept)
{
    QVector<int> widths = widthsOf(rows);
    for (int c = 0; kept && c < widths.size(); ++c) {
        widths[c] = std::max({widths.at(c), kept->value(c), usualWidth(chosen.value(c))});
    }
    return widths;
}

// Home, clear to the end of the line, clear to the end of the screen.
const char cursorHome[] = "\x1b[H";
const char clearLine[] = "\x1b[K";
const char clearBelow[] = "\x1b[J";

// A page drawn over the one before, from the top left corner, each line cleared
// to its end and the screen cleared below it.
QString onScreen(const QString &page)
{
    QStringList lines = page.split(QLatin1Char('\n'));
    lines.removeLast();
    // One row stays free for the cursor, so that the screen never scrolls the
    // header away.
    const int rows = StandardStreams::terminalRows();
    if (rows > 2 && lines.size() > rows - 1) {
        const int hidden = lines.size() - (rows - 2);
        lines.erase(lines.begin() + (rows - 2), lines.end());
        lines.append(QStringLiteral("(%1 more lines: a taller terminal shows them)").arg(hidden));
    }
    QString text = QLatin1String(cursorHome);
    for (const QString &line : std::as_const(lines)) {
        text += line + QLatin1String(clearLine) + QLatin1Char('\n');
    }
    return text + QLatin1String(clearBelow);
}

QString historyText(unsigned int capacity)
{
    if (capacity == 0) {
        return QStringLiteral("history: every sample of each signal");
    }
    return QStringLiteral("history: the newest %1 to %2 samples of each signal")
        .arg(capacity)
        .arg(static_cast<quint64>(capacity) + capacity / 10);
}
}

TableReport::TableReport(const Settings &settings, QTextStream &out)
    : Report(settings, out)
{
}

QString TableReport::timeText(double seconds) const
{
    return QString::number(seconds, 'f', 3)
        + (settings.run.logTime ? QStringLiteral(" s of log time") : QStringLiteral(" s"));
}

void TableReport::writeSnapshot(double seconds, const QVector<SignalSnapshot> &signalStates)
{
    QString page;
    QTextStream text(&page);
    text << "at " << timeText(seconds) << ":\n";
    writeTable(text, signalStates);
    text.flush();
    out << (settings.redraw ? onScreen(page) : page + QLatin1Char('\n'));
}

void TableReport::writeSkipped(double from, double to, quint64 snapshots)
{
    out << '(' << snapshots << " snapshots left out: no frame between " << QString::number(from, 'f', 3) << " and "
        << timeText(to) << ")\n\n";
}

void TableReport::writeEnd(const RunSummary &summary, const QVector<SignalSnapshot> &signalStates)
{
    if (settings.redraw) {
        out << cursorHome << clearBelow;
    }
    if (settings.merged) {
        out << "merged from " << summary.input << ":\n";
    } else {
        out << (summary.ending == Ending::EndOfInput ? endingText(summary.ending)
                                                     : QStringLiteral("stopped by ") + endingText(summary.ending))
            << ", " << timeText(summary.seconds) << ":\n";
    }
    writeTable(out, signalStates);
    writeFooter(summary);
    writeTooShort(signalStates);
}

void TableReport::writeFooter(const RunSummary &summary)
{
    out << "\ninput: " << summary.input;
    if (!summary.inputFormat.isEmpty()) {
        out << " (" << summary.inputFormat << ')';
    }
    out << '\n' << summary.frames << " frames";
    // A bus delivers frames, not records: only a log has records to count and skip.
    if (settings.run.logTime) {
        out << " in " << summary.lines << ' ' << summary.records << "; " << summary.malformedLines << " malformed "
            << summary.records << " skipped";
    }
    out << "; " << summary.errorFrames << " error frames";
    if (summary.skippedRecords > 0) {
        out << "; " << summary.skippedRecords << " other " << summary.records << " skipped";
    }
    out << '\n';
    if (settings.merged) {
        out << "medians, ratings and band counts do not merge and are left out\n";
        return;
    }
    out << "band: average -/+ " << NumberText::readable(settings.run.band)
        << " x deviation; rating: 100 within half the band\n"
           "around the average, falling to 0 at its edges\n";
    if (settings.run.databaseLimits) {
        out << "signals with a range in their database: that range is the band\n";
    }
    out << historyText(settings.run.historyCapacity) << '\n';
    if (summary.silentSignals > 0) {
        out << summary.silentSignals << " selected database signal" << (summary.silentSignals == 1 ? "" : "s")
            << " received no sample and " << (summary.silentSignals == 1 ? "is" : "are") << " not listed\n";
    }
}

// A definition whose bits lie past the frames that matched it has no samples
// for that reason, not for want of frames.
void TableReport::writeTooShort(const QVector<SignalSnapshot> &signalStates)
{
    for (const SignalSnapshot &s : signalStates) {
        if (s.tooShortFrames > 0) {
            out << s.tooShortFrames << (s.tooShortFrames == 1 ? " frame" : " frames") << " too short for the bits of "
                << signalLabel(s, false) << '\n';
        }
    }
}

void TableReport::writeTable(QTextStream &to, const QVector<SignalSnapshot> &signalStates)
{
    const bool merged = settings.merged;
    const bool wide = settings.wide;
    const bool staleColumn = settings.run.staleAfter > 0.0 && !merged;
    const unsigned wideTable = ShowWide | (settings.run.logTime ? ShowWideOnLog : ShowWideOnBus);
    // The columns of the signal's line, and of its indented second line (none with --wide).
    QVector<const ReportField *> first;
    QVector<const ReportField *> second;
    for (const ReportField &column : reportFields()) {
        if (wide ? column.shownIn(merged, wideTable) : onLine(column, merged, ShowFirstLine)) {
            first.append(&column);
        } else if (!wide && onLine(column, merged, ShowSecondLine)) {
            second.append(&column);
        }
    }
    const auto titles = [](const QVector<const ReportField *> &chosen) {
        QStringList row;
        for (const ReportField *column : chosen) {
            row.append(QString::fromLatin1(column->title));
        }
        return row;
    };
    const auto cells = [](const QVector<const ReportField *> &chosen, const SignalSnapshot &s) {
        QStringList row;
        for (const ReportField *column : chosen) {
            row.append(tableCell(*column, s));
        }
        return row;
    };

    // Each kind of line aligned with its own title line. The label and the stale
    // flag are columns of their own, null here.
    QVector<QStringList> firstRows{QStringList{wide ? QStringLiteral("signal") : QStringLiteral("signal [unit]")}
                                   + titles(first)};
    QVector<QStringList> secondRows{titles(second)};
    QVector<const ReportField *> firstColumns = QVector<const ReportField *>{nullptr} + first;
    if (staleColumn) {
        firstRows[0].append(QStringLiteral("stale"));
        firstColumns.append(nullptr);
    }
    for (const SignalSnapshot &s : signalStates) {
        firstRows.append(QStringList{signalLabel(s, !wide)} + cells(first, s));
        if (staleColumn) {
            firstRows.last().append(s.stale ? QStringLiteral("STALE") : QString());
        }
        secondRows.append(cells(second, s));
    }
    QVector<int> firstWidths = steadyWidths(firstRows, firstColumns, settings.redraw ? &keptFirstWidths : nullptr);
    const QVector<int> secondWidths = steadyWidths(secondRows, second, settings.redraw ? &keptSecondWidths : nullptr);
    if (!wide) {
        fitLabels(firstRows, signalStates, firstWidths);
    }
    if (settings.redraw) {
        keptFirstWidths = firstWidths;
        keptSecondWidths = secondWidths;
    }
    for (int i = 0; i < firstRows.size(); ++i) {
        writeAligned(to, firstRows.at(i), firstWidths, settings.redraw);
        if (!wide) {
            writeAligned(to, secondRows.at(i), secondWidths, settings.redraw, false, secondIndent);
        }
    }
}
