// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Report.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>

QString exactNumber(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

namespace
{
QString readable(double value)
{
    return QString::number(value, 'g', 7);
}

const char *const columnTitles[] = {"signal",
                                    "unit",
                                    "samples",
                                    "stored",
                                    "newest",
                                    "cached avg",
                                    "live avg",
                                    "deviation",
                                    "min",
                                    "max",
                                    "median",
                                    "rating",
                                    "lower",
                                    "upper",
                                    "outside"};

const char *const csvTitles[] = {"time",
                                 "signal",
                                 "unit",
                                 "samples",
                                 "stored",
                                 "newest",
                                 "cachedAverage",
                                 "liveAverage",
                                 "deviation",
                                 "min",
                                 "max",
                                 "median",
                                 "rating",
                                 "lowerThreshold",
                                 "upperThreshold",
                                 "outsideBand"};

// The cells after signal and unit, in column order.
QStringList numericCells(const SignalSnapshot &s, QString (*number)(double))
{
    return {QString::number(s.decodedSamples),
            QString::number(s.storedSamples),
            s.hasNewest ? number(s.newest) : QString(),
            number(s.cachedAverage),
            number(s.liveAverage),
            number(s.deviation),
            number(s.minimum),
            number(s.maximum),
            number(s.median),
            QString::number(s.rating),
            number(s.lowerThreshold),
            number(s.upperThreshold),
            QString::number(s.outsideBand)};
}

QString csvField(QString text)
{
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n'))) {
        text.replace(QLatin1String("\""), QLatin1String("\"\""));
        return QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

QJsonObject toJson(const SignalSnapshot &s)
{
    return QJsonObject{
        {QStringLiteral("name"), s.name},
        {QStringLiteral("unit"), s.unit},
        {QStringLiteral("samples"), static_cast<double>(s.decodedSamples)},
        {QStringLiteral("notAvailable"), static_cast<double>(s.notAvailableSamples)},
        {QStringLiteral("stored"), s.storedSamples},
        {QStringLiteral("newest"), s.hasNewest ? QJsonValue(s.newest) : QJsonValue()},
        {QStringLiteral("cachedAverage"), s.cachedAverage},
        {QStringLiteral("liveAverage"), s.liveAverage},
        {QStringLiteral("deviation"), s.deviation},
        {QStringLiteral("min"), s.minimum},
        {QStringLiteral("max"), s.maximum},
        {QStringLiteral("median"), s.median},
        {QStringLiteral("rating"), s.rating},
        {QStringLiteral("lowerThreshold"), s.lowerThreshold},
        {QStringLiteral("upperThreshold"), s.upperThreshold},
        {QStringLiteral("outsideBand"), s.outsideBand},
    };
}

QJsonArray toJson(const QVector<SignalSnapshot> &signalStates)
{
    QJsonArray list;
    for (const SignalSnapshot &s : signalStates) {
        list.append(toJson(s));
    }
    return list;
}
}

Report::Report(ReportFormat format, QTextStream &out)
    : format(format)
    , out(out)
{
}

void Report::addSnapshot(double logSeconds, const QVector<SignalSnapshot> &signalStates)
{
    switch (format) {
    case ReportFormat::Table:
        out << "at " << QString::number(logSeconds, 'f', 3) << " s of log time:\n";
        writeTable(signalStates);
        out << '\n';
        break;
    case ReportFormat::Csv:
        writeCsvRows(logSeconds, signalStates);
        break;
    case ReportFormat::Json:
        snapshots.append(
            QJsonObject{{QStringLiteral("time"), logSeconds}, {QStringLiteral("signals"), toJson(signalStates)}});
        break;
    }
}

void Report::finish(const RunSummary &summary, const QVector<SignalSnapshot> &signalStates)
{
    switch (format) {
    case ReportFormat::Table:
        out << "end of log, " << QString::number(summary.logSeconds, 'f', 3) << " s of log time:\n";
        writeTable(signalStates);
        out << '\n'
            << summary.input << ": " << summary.lines << " lines, " << summary.frames << " frames, "
            << summary.malformedLines << " malformed lines skipped; band average -/+ " << readable(summary.band)
            << " x deviation, history capacity "
            << (summary.historyCapacity == 0 ? QStringLiteral("unbounded") : QString::number(summary.historyCapacity))
            << '\n';
        break;
    case ReportFormat::Csv:
        writeCsvRows(summary.logSeconds, signalStates);
        break;
    case ReportFormat::Json: {
        QJsonObject document{
            {QStringLiteral("input"), summary.input},
            {QStringLiteral("lines"), static_cast<double>(summary.lines)},
            {QStringLiteral("frames"), static_cast<double>(summary.frames)},
            {QStringLiteral("malformedLines"), static_cast<double>(summary.malformedLines)},
            {QStringLiteral("logSeconds"), summary.logSeconds},
            {QStringLiteral("band"), summary.band},
            {QStringLiteral("historyCapacity"), static_cast<double>(summary.historyCapacity)},
            {QStringLiteral("signals"), toJson(signalStates)},
        };
        if (!snapshots.isEmpty()) {
            document.insert(QStringLiteral("snapshots"), snapshots);
        }
        out << QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented));
        break;
    }
    }
    out.flush();
}

void Report::writeTable(const QVector<SignalSnapshot> &signalStates)
{
    constexpr int columns = sizeof(columnTitles) / sizeof(columnTitles[0]);
    QVector<QStringList> rows;
    QStringList titles;
    for (const char *title : columnTitles) {
        titles.append(QString::fromLatin1(title));
    }
    rows.append(titles);
    for (const SignalSnapshot &s : signalStates) {
        rows.append(QStringList{s.name, s.unit} + numericCells(s, readable));
    }
    QVector<int> widths(columns, 0);
    for (const QStringList &row : std::as_const(rows)) {
        for (int c = 0; c < columns; ++c) {
            widths[c] = std::max(widths[c], row.at(c).size());
        }
    }
    for (const QStringList &row : std::as_const(rows)) {
        QString line;
        for (int c = 0; c < columns; ++c) {
            // Names and units read from the left, numbers line up on the right.
            line += c < 2 ? row.at(c).leftJustified(widths[c]) : row.at(c).rightJustified(widths[c]);
            line += c + 1 < columns ? QStringLiteral("  ") : QString();
        }
        out << line.trimmed() << '\n';
    }
}

void Report::writeCsvRows(double logSeconds, const QVector<SignalSnapshot> &signalStates)
{
    if (!csvHeaderWritten) {
        QStringList titles;
        for (const char *title : csvTitles) {
            titles.append(QString::fromLatin1(title));
        }
        out << titles.join(QLatin1Char(',')) << '\n';
        csvHeaderWritten = true;
    }
    for (const SignalSnapshot &s : signalStates) {
        const QStringList cells =
            QStringList{exactNumber(logSeconds), csvField(s.name), csvField(s.unit)} + numericCells(s, exactNumber);
        out << cells.join(QLatin1Char(',')) << '\n';
    }
}
