// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Report.h"
#include "StandardStreams.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace
{
// Shortest text that reads back as the same double.
QString exactNumber(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

// As exactNumber(), never in exponent notation: for times.
QString exactTime(double seconds)
{
    return QString::number(seconds, 'f', QLocale::FloatingPointShortest);
}

// For a person: a value with a short exact decimal in full (438978.375), any
// other with 7 significant digits; never in exponent notation within 1e-4 to 1e10.
QString readableNumber(double value)
{
    if (!std::isfinite(value)) {
        return exactNumber(value);
    }
    const QString shortest = exactNumber(value);
    int digits = 0;
    bool leading = true;
    for (const QChar c : shortest) {
        if (c == QLatin1Char('e')) {
            break;
        }
        if (c.isDigit() && !(leading && c == QLatin1Char('0'))) {
            ++digits;
            leading = false;
        }
    }
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0.0 || (magnitude >= 1e-4 && magnitude < 1e10);
    if (digits <= 10) {
        return plain ? exactTime(value) : shortest;
    }
    // Whole digits are never cut to an exponent.
    const int wholeDigits = magnitude >= 1.0 ? static_cast<int>(std::floor(std::log10(magnitude))) + 1 : 1;
    return QString::number(value, 'g', plain ? std::max(7, wholeDigits) : 7);
}

// Where a column appears.
enum Show : unsigned {
    Json = 1u << 0,
    Csv = 1u << 1,
    Wide = 1u << 2, // the one-line table of --wide
    FirstLine = 1u << 3, // the first line of a signal in the narrow table
    SecondLine = 1u << 4, // its second line
    Merged = 1u << 5, // merged reports too, in every format chosen above
    WideOnLog = 1u << 6, // the --wide table of a log only
    WideOnBus = 1u << 7, // the --wide table of a bus only
    Everywhere = Json | Csv | Wide,
};

enum class Kind { Text, Count, Value, Seconds, Flag };

struct Column
{
    const char *key;
    const char *title;
    Kind kind;
    unsigned show;
    QJsonValue (*value)(const SignalSnapshot &);
};

QJsonValue count(quint64 n)
{
    return static_cast<double>(n);
}

// A statistic exists once the signal has a sample.
QJsonValue statistic(const SignalSnapshot &s, double value)
{
    return s.decodedSamples > 0 ? QJsonValue(value) : QJsonValue();
}

QJsonValue seconds(double value)
{
    return value < 0.0 ? QJsonValue() : QJsonValue(value);
}

// A column's value straight from one field of the snapshot.
template<auto field>
QJsonValue fieldOf(const SignalSnapshot &s)
{
    return QJsonValue(s.*field);
}

template<auto field>
QJsonValue countOf(const SignalSnapshot &s)
{
    return count(s.*field);
}

template<auto field>
QJsonValue statisticOf(const SignalSnapshot &s)
{
    return statistic(s, s.*field);
}

template<auto field>
QJsonValue secondsOf(const SignalSnapshot &s)
{
    return seconds(s.*field);
}

// In the order of the CSV and wide table columns. The narrow table shows the
// identity as "name [unit] (origin)".
const Column columns[] = {
    {"name", "signal", Kind::Text, Json | Csv | Merged, fieldOf<&SignalSnapshot::name>},
    {"unit", "unit", Kind::Text, Everywhere | Merged, fieldOf<&SignalSnapshot::unit>},
    {"factor",
     "factor",
     Kind::Value,
     Json | Merged,
     [](const SignalSnapshot &s) {
         return s.factor == 0.0 ? QJsonValue() : QJsonValue(s.factor);
     }},
    {"samples", "count", Kind::Count, Everywhere | FirstLine | Merged, countOf<&SignalSnapshot::decodedSamples>},
    {"stored", "stored", Kind::Count, Everywhere, fieldOf<&SignalSnapshot::storedSamples>},
    {"newest", "newest", Kind::Value, Everywhere | SecondLine, statisticOf<&SignalSnapshot::newest>},
    {"cachedAverage", "cached avg", Kind::Value, Everywhere, statisticOf<&SignalSnapshot::cachedAverage>},
    {"liveAverage",
     "average",
     Kind::Value,
     Everywhere | SecondLine | Merged,
     statisticOf<&SignalSnapshot::liveAverage>},
    {"deviation", "deviation", Kind::Value, Everywhere | SecondLine | Merged, statisticOf<&SignalSnapshot::deviation>},
    {"min", "min", Kind::Value, Everywhere | SecondLine | Merged, statisticOf<&SignalSnapshot::minimum>},
    {"max", "max", Kind::Value, Everywhere | SecondLine | Merged, statisticOf<&SignalSnapshot::maximum>},
    {"median", "median", Kind::Value, Everywhere | SecondLine, statisticOf<&SignalSnapshot::median>},
    {"rating", "rating", Kind::Count, Everywhere | FirstLine, statisticOf<&SignalSnapshot::rating>},
    {"lowerThreshold", "lower", Kind::Value, Everywhere, statisticOf<&SignalSnapshot::lowerThreshold>},
    {"upperThreshold", "upper", Kind::Value, Everywhere, statisticOf<&SignalSnapshot::upperThreshold>},
    {"outsideBand", "outside", Kind::Count, Everywhere | FirstLine, statisticOf<&SignalSnapshot::outsideBand>},
    {"notAvailable", "n/a", Kind::Count, Everywhere | Merged, countOf<&SignalSnapshot::notAvailableSamples>},
    {"errors", "errors", Kind::Count, Everywhere | Merged, countOf<&SignalSnapshot::errorSamples>},
    {"tooShort", "too short", Kind::Count, Json | Csv | Merged, countOf<&SignalSnapshot::tooShortFrames>},
    {"interface",
     "interface",
     Kind::Text,
     Json | Csv | Merged,
     [](const SignalSnapshot &s) {
         return s.interfaceName.isEmpty() ? QJsonValue() : QJsonValue(s.interfaceName);
     }},
    {"sourceAddress",
     "SA",
     Kind::Text,
     Json | Csv | Merged,
     [](const SignalSnapshot &s) {
         return s.sourceAddress < 0 ? QJsonValue() : QJsonValue(sourceAddressText(s.sourceAddress));
     }},
    // A log is read faster than it was recorded: there, the wide table shows the
    // age in log time only.
    {"age", "age s", Kind::Seconds, Json | Csv | WideOnBus, secondsOf<&SignalSnapshot::age>},
    {"logAge", "log age s", Kind::Seconds, Json | Csv | WideOnLog, secondsOf<&SignalSnapshot::logAge>},
    {"stale", "stale", Kind::Flag, Json | Csv, fieldOf<&SignalSnapshot::stale>},
    // What an exact merge of reports needs, beside the counts, minimum and maximum.
    {"count", "count", Kind::Count, Json | Merged, countOf<&SignalSnapshot::decodedSamples>},
    {"mean", "mean", Kind::Value, Json | Merged, statisticOf<&SignalSnapshot::liveAverage>},
    {"m2", "M2", Kind::Value, Json | Csv | Merged, statisticOf<&SignalSnapshot::m2>},
};

bool shown(const Column &column, bool merged, unsigned where)
{
    return (column.show & where) != 0 && (!merged || (column.show & Merged) != 0);
}

// Which line of the narrow table shows the column. A merged report has no
// first- and second-line choice of its own: its counts go first, its values second.
bool onLine(const Column &column, bool merged, unsigned line)
{
    if (!merged) {
        return (column.show & line) != 0;
    }
    const Kind kind = line == FirstLine ? Kind::Count : Kind::Value;
    return shown(column, true, Wide) && column.kind == kind;
}

// The decimals in which a person reads a signal's values: those of its resolution,
// the factor (0.125 rpm gives 3); at least one, so that an average or a deviation
// of whole numbers keeps a first decimal, and at most four, which a reader of a
// physical value never misses (1/256 km/h would take eight); -1 for an unknown
// factor.
int decimalsOf(double factor)
{
    if (factor == 0.0 || !std::isfinite(factor)) {
        return -1;
    }
    const QString text = exactTime(std::fabs(factor));
    const int point = text.indexOf(QLatin1Char('.'));
    return qBound(1, point < 0 ? 0 : text.size() - point - 1, 4);
}

QString valueText(double value, int decimals)
{
    return decimals >= 0 && std::fabs(value) < 1e15 ? QString::number(value, 'f', decimals) : readableNumber(value);
}

QString tableCell(const Column &column, const SignalSnapshot &s)
{
    const QJsonValue value = column.value(s);
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        switch (column.kind) {
        case Kind::Seconds:
            return QString::number(value.toDouble(), 'f', 3);
        case Kind::Value:
            return valueText(value.toDouble(), decimalsOf(s.factor));
        default:
            return readableNumber(value.toDouble());
        }
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("yes") : QString();
    default:
        return QString();
    }
}

QString csvField(QString text)
{
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n'))) {
        text.replace(QLatin1String("\""), QLatin1String("\"\""));
        return QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

QString csvCell(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return csvField(value.toString());
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double:
        return exactNumber(value.toDouble());
    default:
        return QString();
    }
}

QJsonArray toJson(const QVector<SignalSnapshot> &signalStates, bool merged)
{
    QJsonArray list;
    for (const SignalSnapshot &s : signalStates) {
        QJsonObject object;
        for (const Column &column : columns) {
            if (shown(column, merged, Json)) {
                object.insert(QLatin1String(column.key), column.value(s));
            }
        }
        list.append(object);
    }
    return list;
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
int usualWidth(const Column *column)
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
steadyWidths(const QVector<QStringList> &rows, const QVector<const Column *> &chosen, const QVector<int> *kept)
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

QJsonObject inputIdentity(const RunSummary &summary)
{
    return QJsonObject{
        {QStringLiteral("input"), summary.canonicalInput.isEmpty() ? summary.input : summary.canonicalInput},
        {QStringLiteral("bytes"), static_cast<double>(summary.inputBytes)},
        {QStringLiteral("frames"), count(summary.frames)},
        {QStringLiteral("firstFrame"), static_cast<double>(summary.firstFrameMicroseconds)},
        {QStringLiteral("lastFrame"), static_cast<double>(summary.lastFrameMicroseconds)}};
}

Report::Report(const Settings &settings, QTextStream &out)
    : settings(settings)
    , out(out)
{
}

QString Report::timeText(double seconds) const
{
    return QString::number(seconds, 'f', 3)
        + (settings.logTime ? QStringLiteral(" s of log time") : QStringLiteral(" s"));
}

bool Report::addSnapshot(double seconds, const QVector<SignalSnapshot> &signalStates)
{
    switch (settings.format) {
    case ReportFormat::Table: {
        QString page;
        QTextStream text(&page);
        text << "at " << timeText(seconds) << ":\n";
        writeTable(text, signalStates);
        text.flush();
        out << (settings.redraw ? onScreen(page) : page + QLatin1Char('\n'));
        break;
    }
    case ReportFormat::Csv:
        writeCsvRows(seconds, signalStates);
        break;
    case ReportFormat::Json:
        out << QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("snapshot")},
                                                           {QStringLiteral("time"), seconds},
                                                           {QStringLiteral("signals"), toJson(signalStates, false)}})
                                     .toJson(QJsonDocument::Compact))
            << '\n';
        break;
    }
    out.flush();
    return out.status() == QTextStream::Ok;
}

bool Report::addSkipped(double from, double to, quint64 snapshots)
{
    switch (settings.format) {
    case ReportFormat::Table:
        out << '(' << snapshots << " snapshots left out: no frame between " << QString::number(from, 'f', 3) << " and "
            << timeText(to) << ")\n\n";
        break;
    case ReportFormat::Csv:
        break;
    case ReportFormat::Json:
        out << QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("skipped")},
                                                           {QStringLiteral("snapshots"), count(snapshots)},
                                                           {QStringLiteral("from"), from},
                                                           {QStringLiteral("to"), to}})
                                     .toJson(QJsonDocument::Compact))
            << '\n';
        break;
    }
    out.flush();
    return out.status() == QTextStream::Ok;
}

void Report::finish(const RunSummary &summary, const QVector<SignalSnapshot> &signalStates)
{
    switch (settings.format) {
    case ReportFormat::Table:
        if (settings.redraw) {
            out << cursorHome << clearBelow;
        }
        if (settings.merged) {
            out << "merged from " << summary.input << ":\n";
        } else {
            out << (summary.ending == QLatin1String("end of input") ? summary.ending
                                                                    : QStringLiteral("stopped by ") + summary.ending)
                << ", " << timeText(summary.seconds) << ":\n";
        }
        writeTable(out, signalStates);
        writeFooter(summary);
        writeTooShort(signalStates);
        break;
    case ReportFormat::Csv:
        writeCsvRows(summary.seconds, signalStates);
        break;
    case ReportFormat::Json: {
        QJsonObject document{
            {QStringLiteral("type"), settings.merged ? QStringLiteral("merged") : QStringLiteral("report")},
            {QStringLiteral("input"), summary.input},
            {QStringLiteral("lines"), count(summary.lines)},
            {QStringLiteral("frames"), count(summary.frames)},
            {QStringLiteral("malformedLines"), count(summary.malformedLines)},
            {QStringLiteral("errorFrames"), count(summary.errorFrames)},
            {QStringLiteral("signals"), toJson(signalStates, settings.merged)},
        };
        document.insert(QStringLiteral("identities"),
                        settings.merged ? summary.identities : QJsonArray{inputIdentity(summary)});
        if (settings.merged) {
            document.insert(QStringLiteral("reports"), QJsonArray::fromStringList(summary.mergedReports));
        } else {
            document.insert(QStringLiteral("ending"), summary.ending);
            document.insert(settings.logTime ? QStringLiteral("logSeconds") : QStringLiteral("seconds"),
                            summary.seconds);
            document.insert(QStringLiteral("band"), summary.band);
            document.insert(QStringLiteral("historyCapacity"), count(summary.historyCapacity));
        }
        // JSON Lines once snapshots went out; one readable document otherwise.
        out << QString::fromUtf8(
            QJsonDocument(document).toJson(settings.snapshots ? QJsonDocument::Compact : QJsonDocument::Indented));
        if (settings.snapshots) {
            out << '\n';
        }
        break;
    }
    }
    out.flush();
}

void Report::writeFooter(const RunSummary &summary)
{
    out << "\ninput: " << summary.input << '\n'
        << summary.frames << " frames in " << summary.lines << " lines; " << summary.malformedLines
        << " malformed lines skipped; " << summary.errorFrames << " error frames\n";
    if (settings.merged) {
        out << "medians, ratings and band counts do not merge and are left out\n";
        return;
    }
    out << "band: average -/+ " << readableNumber(summary.band)
        << " x deviation; rating: 100 within half the band\n"
           "around the average, falling to 0 at its edges\n"
        << historyText(summary.historyCapacity) << '\n';
}

// A definition whose bits lie past the frames that matched it has no samples
// for that reason, not for want of frames.
void Report::writeTooShort(const QVector<SignalSnapshot> &signalStates)
{
    for (const SignalSnapshot &s : signalStates) {
        if (s.tooShortFrames > 0) {
            out << s.tooShortFrames << (s.tooShortFrames == 1 ? " frame" : " frames") << " too short for the bits of "
                << signalLabel(s, false) << '\n';
        }
    }
}

void Report::writeTable(QTextStream &to, const QVector<SignalSnapshot> &signalStates)
{
    const bool merged = settings.merged;
    const bool wide = settings.wide;
    const bool staleColumn = settings.staleAfter > 0.0 && !merged;
    const unsigned wideTable = Wide | (settings.logTime ? WideOnLog : WideOnBus);
    // The columns of the signal's line, and of its indented second line (none with --wide).
    QVector<const Column *> first;
    QVector<const Column *> second;
    for (const Column &column : columns) {
        if (wide ? shown(column, merged, wideTable) : onLine(column, merged, FirstLine)) {
            first.append(&column);
        } else if (!wide && onLine(column, merged, SecondLine)) {
            second.append(&column);
        }
    }
    const auto titles = [](const QVector<const Column *> &chosen) {
        QStringList row;
        for (const Column *column : chosen) {
            row.append(QString::fromLatin1(column->title));
        }
        return row;
    };
    const auto cells = [](const QVector<const Column *> &chosen, const SignalSnapshot &s) {
        QStringList row;
        for (const Column *column : chosen) {
            row.append(tableCell(*column, s));
        }
        return row;
    };

    // Each kind of line aligned with its own title line. The label and the stale
    // flag are columns of their own, null here.
    QVector<QStringList> firstRows{QStringList{wide ? QStringLiteral("signal") : QStringLiteral("signal [unit]")}
                                   + titles(first)};
    QVector<QStringList> secondRows{titles(second)};
    QVector<const Column *> firstColumns = QVector<const Column *>{nullptr} + first;
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

void Report::writeCsvRows(double seconds, const QVector<SignalSnapshot> &signalStates)
{
    const bool merged = settings.merged;
    if (!csvHeaderWritten) {
        QStringList titles;
        if (!merged) {
            titles.append(QStringLiteral("time"));
        }
        for (const Column &column : columns) {
            if (shown(column, merged, Csv)) {
                titles.append(qstrcmp(column.key, "name") == 0 ? QStringLiteral("signal")
                                                               : QString::fromLatin1(column.key));
            }
        }
        out << titles.join(QLatin1Char(',')) << '\n';
        csvHeaderWritten = true;
    }
    for (const SignalSnapshot &s : signalStates) {
        QStringList cells;
        if (!merged) {
            cells.append(exactTime(seconds));
        }
        for (const Column &column : columns) {
            if (shown(column, merged, Csv)) {
                cells.append(csvCell(column.value(s)));
            }
        }
        out << cells.join(QLatin1Char(',')) << '\n';
    }
}
