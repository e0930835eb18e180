// SPDX-License-Identifier: LGPL-2.1-or-later
#include "CsvReport.h"
#include "NumberText.h"
#include "ReportFields.h"

namespace
{
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
        return NumberText::exact(value.toDouble());
    default:
        return QString();
    }
}
}

CsvReport::CsvReport(const Settings &settings, QTextStream &out)
    : Report(settings, out)
{
}

void CsvReport::writeSnapshot(double seconds, const QVector<SignalSnapshot> &signalStates)
{
    const bool merged = settings.merged;
    if (!headerWritten) {
        QStringList titles;
        if (!merged) {
            titles.append(QStringLiteral("time"));
        }
        for (const ReportField &field : reportFields()) {
            if (field.shownIn(merged, ShowCsv)) {
                titles.append(qstrcmp(field.key, "name") == 0 ? QStringLiteral("signal")
                                                              : QString::fromLatin1(field.key));
            }
        }
        out << titles.join(QLatin1Char(',')) << '\n';
        headerWritten = true;
    }
    for (const SignalSnapshot &s : signalStates) {
        QStringList cells;
        if (!merged) {
            cells.append(NumberText::exactTime(seconds));
        }
        for (const ReportField &field : reportFields()) {
            if (field.shownIn(merged, ShowCsv)) {
                cells.append(csvCell(field.write(s)));
            }
        }
        out << cells.join(QLatin1Char(',')) << '\n';
    }
}

void CsvReport::writeSkipped(double, double, quint64)
{
}

void CsvReport::writeEnd(const RunSummary &summary, const QVector<SignalSnapshot> &signalStates)
{
    writeSnapshot(summary.seconds, signalStates);
}
