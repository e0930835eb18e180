// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Report.h"

#include <QJsonArray>
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
                                    "outside",
                                    "age s"};

const char *const csvTitles[] = {
    "time",           "signal",      "unit",      "samples",       "stored", "newest", "cachedAverage",
    "liveAverage",    "deviation",   "min",       "max",           "median", "rating", "lowerThreshold",
    "upperThreshold", "outsideBand", "interface", "sourceAddress", "age",    "stale"};

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

QString ageText(double age)
{
    return age < 0.0 ? QString() : QString::number(age, 'f', 3);
}

QJsonValue orNull(bool present, const QJsonValue &value)
{
    return present ? value : QJsonValue();
}

QJsonObject toJson(const SignalSnapshot &s)
{
    return QJsonObject{
        {QStringLiteral("name"), s.name},
        {QStringLiteral("unit"), s.unit},
        {QStringLiteral("interface"), orNull(!s.interfaceName.isEmpty(), s.interfaceName)},
        {QStringLiteral("sourceAddress"), orNull(s.sourceAddress >= 0, s.sourceAddress)},
        {QStringLiteral("age"), orNull(s.age >= 0.0, s.age)},
        {QStringLiteral("logAge"), orNull(s.logAge >= 0.0, s.logAge)},
        {QStringLiteral("stale"), s.stale},
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

void Report::addSnapshot(double seconds, const QVector<SignalSnapshot> &signalStates)
{
    switch (settings.format) {
    case ReportFormat::Table:
        out << "at " << timeText(seconds) << ":\n";
        writeTable(signalStates);
        out << '\n';
        break;
    case ReportFormat::Csv:
        writeCsvRows(seconds, signalStates);
        break;
    case ReportFormat::Json:
        out << QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("snapshot")},
                                                           {QStringLiteral("time"), seconds},
                                                           {QStringLiteral("signals"), toJson(signalStates)}})
                                     .toJson(QJsonDocument::Compact))
            << '\n';
        break;
    }
    out.flush();
}

void Report::finish(const RunSummary &summary, const QVector<SignalSnapshot> &signalStates)
{
    switch (settings.format) {
    case ReportFormat::Table:
        out << (summary.ending == QLatin1String("end of input") ? QStringLiteral("end of input")
                                                                : QStringLiteral("stopped by ") + summary.ending)
            << ", " << timeText(summary.seconds) << ":\n";
        writeTable(signalStates);
        out << '\n'
            << summary.input << ": " << summary.lines << " lines, " << summary.frames << " frames, "
            << summary.malformedLines << " malformed lines skipped, " << summary.errorFrames
            << " error frames; band average -/+ " << readable(summary.band) << " x deviation, history capacity "
            << (summary.historyCapacity == 0 ? QStringLiteral("unbounded") : QString::number(summary.historyCapacity))
            << '\n';
        break;
    case ReportFormat::Csv:
        writeCsvRows(summary.seconds, signalStates);
        break;
    case ReportFormat::Json: {
        const QJsonObject document{
            {QStringLiteral("type"), QStringLiteral("report")},
            {QStringLiteral("input"), summary.input},
            {QStringLiteral("ending"), summary.ending},
            {QStringLiteral("lines"), static_cast<double>(summary.lines)},
            {QStringLiteral("frames"), static_cast<double>(summary.frames)},
            {QStringLiteral("malformedLines"), static_cast<double>(summary.malformedLines)},
            {QStringLiteral("errorFrames"), static_cast<double>(summary.errorFrames)},
            {settings.logTime ? QStringLiteral("logSeconds") : QStringLiteral("seconds"), summary.seconds},
            {QStringLiteral("band"), summary.band},
            {QStringLiteral("historyCapacity"), static_cast<double>(summary.historyCapacity)},
            {QStringLiteral("signals"), toJson(signalStates)},
        };
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

void Report::writeTable(const QVector<SignalSnapshot> &signalStates)
{
    QVector<QStringList> rows;
    QStringList titles;
    for (const char *title : columnTitles) {
        titles.append(QString::fromLatin1(title));
    }
    const bool staleColumn = settings.staleAfter > 0.0;
    if (staleColumn) {
        titles.append(QStringLiteral("stale"));
    }
    for (const SignalSnapshot &s : signalStates) {
        const QString name = s.origin.isEmpty() ? s.name : QStringLiteral("%1 [%2]").arg(s.name, s.origin);
        QStringList row = QStringList{name, s.unit} + numericCells(s, readable) + QStringList{ageText(s.age)};
        if (staleColumn) {
            row.append(s.stale ? QStringLiteral("STALE") : QString());
        }
        rows.append(row);
    }
    rows.prepend(titles);
    const int columns = titles.size();
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

void Report::writeCsvRows(double seconds, const QVector<SignalSnapshot> &signalStates)
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
        const QStringList cells = QStringList{exactNumber(seconds), csvField(s.name), csvField(s.unit)}
            + numericCells(s, exactNumber)
            + QStringList{csvField(s.interfaceName),
                          s.sourceAddress < 0 ? QString() : QString::number(s.sourceAddress),
                          ageText(s.age),
                          s.stale ? QStringLiteral("true") : QStringLiteral("false")};
        out << cells.join(QLatin1Char(',')) << '\n';
    }
}
